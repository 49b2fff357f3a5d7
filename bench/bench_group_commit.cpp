// Writes and reads through nyrd with a store file, with 1, 4 and 16 clients at once (threads of
// this process, each with a connection of its own): set_leaf calls per second, whose commits nyrd
// groups, against get_leaf calls per second of the same clients. With NYR_BENCH_BASELINE_NYRD set
// to another build's nyrd (of the same protocol), the same set_leaf family runs against it as
// well, in the same run: the cost of a single client's write before and after.
//
// A single client's calls are bound by how soon a sleeping CPU wakes for the next message, not by
// the work: on a 2-core VM, with another process keeping one CPU busy, both builds' one-client
// set_leaf and get_leaf run 2.5x and 10x as many calls. Figures of runs at other times, or under
// another load, therefore do not compare; only the baseline's of the same run do.
#ifdef TOOLKIT_BENCH_NYRD

#include <benchmark/benchmark.h>
#include <nyr_host.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bench_support.h"

namespace {

// One daemon of this build and, when asked for, one of the baseline build, each with a store
// file of its own, for all of this file's benchmarks.
benchsupport::Daemon* daemon_of(bool baseline) {
    static benchsupport::Daemon ours("store.sqlite");
    static std::unique_ptr<benchsupport::Daemon> theirs;
    static const char* program = std::getenv("NYR_BENCH_BASELINE_NYRD");
    if (!baseline) return &ours;
    if (program == nullptr || program[0] == '\0') return nullptr;
    static bool started = [] {
        theirs = std::make_unique<benchsupport::Daemon>("store.sqlite", program);
        return true;
    }();
    (void)started;
    return theirs.get();
}

// Each client writes its own 100 leaves in turn, one set_leaf per iteration.
void BM_StoreFileThroughNyrd_SetLeaf(benchmark::State& state, bool baseline) {
    benchsupport::Daemon* daemon = daemon_of(baseline);
    if (daemon == nullptr) return state.SkipWithError("NYR_BENCH_BASELINE_NYRD is not set");
    qel_handle_t handle = qel_host_connect(daemon->socket.c_str());
    if (handle == nullptr) return state.SkipWithError("cannot connect");
    std::vector<std::string> paths;
    const std::string base = "/bench/client" + std::to_string(state.thread_index());
    for (int i = 0; i < 100; ++i) paths.push_back(base + "/v" + std::to_string(i));
    benchsupport::set_leaf_loop(state, handle, paths);
    qel_host_disconnect(handle);
}

// The same clients reading one leaf each per iteration.
void BM_StoreFileThroughNyrd_GetLeaf(benchmark::State& state) {
    qel_handle_t handle = qel_host_connect(daemon_of(false)->socket.c_str());
    if (handle == nullptr) return state.SkipWithError("cannot connect");
    const std::string path = "/bench/read" + std::to_string(state.thread_index());
    api_status_t status = 0;
    qel_set_leaf(handle, path.c_str(), benchsupport::int_leaf(1), 0, false, "bench", &status);
    for (auto _ : state) {
        _element_datatype_t record{};
        element_property_t property = 0;
        if (qel_get_leaf(handle, path.c_str(), &status, &record, &property) != 0 ||
            status != QEL_STATUS_OK) {
            state.SkipWithError("get_leaf failed");
            break;
        }
    }
    qel_host_disconnect(handle);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_StoreFileThroughNyrd_SetLeaf, baseline_build, true)
    ->Threads(1)
    ->Threads(4)
    ->Threads(16)
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreFileThroughNyrd_SetLeaf, this_build, false)
    ->Threads(1)
    ->Threads(4)
    ->Threads(16)
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK(BM_StoreFileThroughNyrd_GetLeaf)
    ->Threads(1)
    ->Threads(4)
    ->Threads(16)
    ->MinTime(0.5)
    ->UseRealTime();

}  // namespace

#endif  // TOOLKIT_BENCH_NYRD
