// What an idle connection costs nyrd: the daemon is started as a process of its own, N clients
// connect through qel_host_connect, make one call and stay idle, and the growth of the daemon's
// resident memory is divided among them. The limit is 64 KiB a connection.
#ifdef TOOLKIT_BENCH_NYRD

#include <benchmark/benchmark.h>
#include <nyr_host.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

constexpr double kLimitKiB = 64;

long resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

void BM_IdleConnectionMemory(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    double per_connection_kib = 0;
    for (auto _ : state) {
        benchsupport::Daemon daemon;
        // One connection first, so that what the first one alone pays for (the store's handle
        // table, the first thread's allocator arena) is not spread over the others.
        qel_handle_t first = qel_host_connect(daemon.socket.c_str());
        api_status_t first_status = 0;
        if (!first || qel_test_node(first, "/", &first_status) != 0) {
            qel_host_disconnect(first);  // a null one is ignored
            state.SkipWithError("cannot connect to nyrd");
            return;
        }
        settle();
        const long before = resident_kib(daemon.pid);
        std::vector<qel_handle_t> idle;
        bool served = true;
        for (std::size_t i = 0; i < count; ++i) {
            qel_handle_t handle = qel_host_connect(daemon.socket.c_str());
            if (!handle) break;
            idle.push_back(handle);
            // One call each, so that what a connection keeps after serving a call is counted.
            api_status_t status = 0;
            if (qel_test_node(handle, "/", &status) != 0) {
                served = false;
                break;
            }
        }
        settle();
        const long after = resident_kib(daemon.pid);
        for (qel_handle_t handle : idle) qel_host_disconnect(handle);
        qel_host_disconnect(first);
        if (!served || idle.size() != count || before < 0 || after < 0) {
            state.SkipWithError("connections or measurements failed");
            return;
        }
        per_connection_kib = static_cast<double>(after - before) / static_cast<double>(count);
    }
    state.counters["KiB_per_connection"] = per_connection_kib;
    if (per_connection_kib > kLimitKiB) state.SkipWithError("an idle connection costs > 64 KiB");
}
BENCHMARK(BM_IdleConnectionMemory)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // TOOLKIT_BENCH_NYRD
