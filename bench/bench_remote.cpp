// The store through nyrd, beside what bounds it: one leaf read against a bare request and reply of
// the same size over a Unix socket pair, batches of 10,000 leaves against the same batch in
// process, and events sent from one process and received by another.
#ifdef TOOLKIT_BENCH_NYRD

#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <toolkit/nyr.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench_support.h"

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

// One daemon, with a store in memory, for all of this file's benchmarks.
benchsupport::Daemon& daemon_for_benchmarks() {
    static benchsupport::Daemon daemon;
    return daemon;
}

// A connection to the benchmarks' daemon, closed at the end of the benchmark.
struct Remote {
    Remote() : handle(qel_host_connect(daemon_for_benchmarks().socket.c_str())) {}
    ~Remote() { qel_host_disconnect(handle); }
    qel_handle_t handle;
};

// ---- One leaf read against a bare round trip ------------------------------------------------

// The bytes of the get_leaf request and reply below on nyrd's socket, frame headers included (as
// the system calls show them): the path "/bench/leaf" and an int value with its time stamp.
constexpr std::size_t kRequestBytes = 21, kReplyBytes = 39;

bool exchange(int fd, char* buffer, std::size_t out, std::size_t in) {
    if (write(fd, buffer, out) != static_cast<ssize_t>(out)) return false;
    std::size_t got = 0;
    while (got < in) {
        const ssize_t n = read(fd, buffer + got, in - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// A request and reply of get_leaf's size between this process and another, which answers each
// request as it arrives: the least a round trip through a daemon can cost.
void BM_RoundTrip_BareSocketPair(benchmark::State& state) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return state.SkipWithError("socketpair");
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        char buffer[kReplyBytes] = {};
        while (exchange(fds[1], buffer, 0, kRequestBytes) &&
               write(fds[1], buffer, kReplyBytes) == static_cast<ssize_t>(kReplyBytes)) {
        }
        _exit(0);
    }
    close(fds[1]);
    char buffer[kReplyBytes] = {};
    for (auto _ : state) {
        if (!exchange(fds[0], buffer, kRequestBytes, kReplyBytes)) {
            state.SkipWithError("exchange");
            break;
        }
    }
    close(fds[0]);
    waitpid(child, nullptr, 0);
}
BENCHMARK(BM_RoundTrip_BareSocketPair)->UseRealTime();

void BM_RoundTrip_GetLeafThroughNyrd(benchmark::State& state) {
    Remote r;
    if (!r.handle) return state.SkipWithError("no nyrd");
    CNyr client(r.handle);
    api_status_t status = 0;
    client.set_leaf("/bench/leaf", CElement(int32_t(7), timeval{1, 0}), status, 0, "bench");
    CElement value;
    element_property_t property = 0;
    for (auto _ : state) {
        client.get_leaf("/bench/leaf", status, value, property);
        benchmark::DoNotOptimize(status);
    }
    if (status != QEL_STATUS_OK) state.SkipWithError("get_leaf failed");
}
BENCHMARK(BM_RoundTrip_GetLeafThroughNyrd)->UseRealTime();

// ---- Batches of 10,000 leaves through nyrd: their baselines in process are BM_SetLeaves_Client
// and BM_GetLeaves_Client (bench_store.cpp), the same work on a store in this process.

void BM_SetLeaves_ThroughNyrd(benchmark::State& state) {
    Remote r;
    if (!r.handle) return state.SkipWithError("no nyrd");
    benchsupport::client_set_leaves(state, r.handle);
}
BENCHMARK(BM_SetLeaves_ThroughNyrd)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetLeaves_ThroughNyrd(benchmark::State& state) {
    Remote r;
    if (!r.handle) return state.SkipWithError("no nyrd");
    benchsupport::client_get_leaves(state, r.handle);
}
// 65536 leaves are answered whole, 65537 a slice at a time (nyrd's sliced_get_leaves.h): the pair
// is the cost of slicing, measured in one run.
BENCHMARK(BM_GetLeaves_ThroughNyrd)
    ->Arg(10000)
    ->Arg(65536)
    ->Arg(65537)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- Events from one process to another -----------------------------------------------------

// Sends batches of 100 events from this process; a child process registered for them receives
// until it has them all and then says so through a pipe. Items are events that arrived.
void BM_Events_BetweenProcesses(benchmark::State& state) {
    constexpr int kBatch = 100;
    const int batches = static_cast<int>(state.range(0));
    const long long total = static_cast<long long>(kBatch) * batches;
    std::vector<CEvent> batch(kBatch, CEvent(0x8));
    for (CEvent& e : batch) e.path = "/bench/events";
    std::vector<api_status_t> statuses;
    long long received = 0, dropped = 0;
    for (auto _ : state) {
        state.PauseTiming();
        int ready[2], done[2];
        if (pipe(ready) != 0 || pipe(done) != 0) return state.SkipWithError("pipe");
        daemon_for_benchmarks();  // started here, not by the child, which ends without clean-up
        const pid_t child = fork();
        if (child == 0) {
            Remote r;
            CNyr receiver(r.handle);
            api_status_t status = 0;
            receiver.event_register("/bench/events", 0x8, true, status);
            char byte = 1;
            if (write(ready[1], &byte, 1) != 1) _exit(1);
            std::vector<CEvent> got;
            long long received = 0;
            while (received + qel_host_overflow_count(r.handle) < total) {
                const int n = receiver.events_get(got);
                if (n < 0) _exit(1);
                received += n;
            }
            const long long lost = qel_host_overflow_count(r.handle);
            if (write(done[1], &lost, sizeof lost) != sizeof lost) _exit(1);
            _exit(0);
        }
        char byte = 0;
        if (read(ready[0], &byte, 1) != 1) return state.SkipWithError("receiver did not start");
        Remote r;
        CNyr sender(r.handle);
        state.ResumeTiming();
        for (int i = 0; i < batches; ++i) sender.events_send(batch, statuses);
        long long lost = -1;
        if (read(done[0], &lost, sizeof lost) != sizeof lost) state.SkipWithError("no receiver");
        state.PauseTiming();
        received += total - lost;
        dropped += lost;
        waitpid(child, nullptr, 0);
        for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(received);
    state.counters["dropped"] = static_cast<double>(dropped);
}
BENCHMARK(BM_Events_BetweenProcesses)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

#endif  // TOOLKIT_BENCH_NYRD
