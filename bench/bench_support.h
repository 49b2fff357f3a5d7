// What several benchmark programs share.
#ifndef TOOLKIT_BENCH_SUPPORT_H
#define TOOLKIT_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <toolkit/log.h>

#include <vector>

namespace benchsupport {

// A store with one handle, closed at the end of the benchmark.
struct Store {
    explicit Store(const char* log = nullptr)
        : store(qel_host_store_open(log)), handle(qel_host_handle_open(store)) {}
    ~Store() { qel_host_store_close(store); }
    qel_store_t* store;
    qel_handle_t handle;
};

// Retrieves one window of `log` per iteration and checks that it gave `hits` events.
inline void retrieve_window(benchmark::State& state, toolkit::CLog& log, const char* path,
                            const timeval& from, const timeval& to, std::size_t hits) {
    std::vector<toolkit::CEvent> out;
    for (auto _ : state) {
        out.clear();
        log.retrieve(out, path, &from, &to, 0, false, false, 0);
        benchmark::DoNotOptimize(out.data());
    }
    if (out.size() != hits) state.SkipWithError("unexpected hits");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}

}  // namespace benchsupport

#endif  // TOOLKIT_BENCH_SUPPORT_H
