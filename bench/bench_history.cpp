// The tree's history in a store file: a persisted set_leaf with the history kept against one that
// keeps only the revision counter (history limits of 0), and, in a file holding a million
// changes, the leaf at an old revision or time (of a leaf written often, and of one written once
// before all the rest) and the newest 1,000 changes of a subtree against a plain get_leaf, all in
// the same run.
#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <sys/time.h>

#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using benchsupport::int_leaf;
using benchsupport::TempFolder;

// One leaf written again and again on a store file, replacing its value each time; or 1,000
// leaves written in turn, so that no write finds its path among the history's newest 64 rows.
void BM_PersistedSetLeaf(benchmark::State& state, bool history, int leaves) {
    TempFolder dir;
    qel_store_t* store = qel_host_store_open((dir.path + "/set.db").c_str());
    if (!store) return state.SkipWithError("no store file");
    if (!history) qel_host_set_history_limits(store, 0, 0, 0);
    const auto paths = leaves == 1 ? std::vector<std::string>{"/plant/unit/speed"}
                                   : benchsupport::batch_paths(leaves);
    benchsupport::set_leaf_loop(state, qel_host_handle_open(store), paths);
    qel_host_store_close(store);
}
BENCHMARK_CAPTURE(BM_PersistedSetLeaf, history_off, false, 1)->UseRealTime();
BENCHMARK_CAPTURE(BM_PersistedSetLeaf, history_on, true, 1)->UseRealTime();
BENCHMARK_CAPTURE(BM_PersistedSetLeaf, history_off_1000_leaves, false, 1000)->UseRealTime();
BENCHMARK_CAPTURE(BM_PersistedSetLeaf, history_on_1000_leaves, true, 1000)->UseRealTime();

constexpr uint32_t kChanges = 1000000;
constexpr uint32_t kBatch = 10000;
// Written once, before all the others: its value at an early revision is told by its not having
// changed since, which every later block must be ruled out for.
constexpr const char* kRareLeaf = "/plant/rare";

// A store file whose history holds a million changes: batches of 10,000 leaves, 1,000 leaves
// under each of ten units written over and over, made once for the benchmarks below.
struct MillionChanges {
    MillionChanges() {
        file = dir.path + "/million.db";
        qel_store_t* store = qel_host_store_open(file.c_str());
        if (!store) return;
        qel_host_set_history_limits(store, 2 * kChanges, uint64_t{1} << 30,
                                    QEL_HOST_DEFAULT_HISTORY_SECONDS);
        qel_handle_t handle = qel_host_handle_open(store);
        api_status_t status = 0;
        qel_set_leaf(handle, kRareLeaf, int_leaf(1), 0, false, "bench", &status);
        std::vector<std::string> paths;
        for (uint32_t i = 0; i < kBatch; ++i)
            paths.push_back("/plant/unit" + std::to_string(i % 10) + "/v" +
                            std::to_string(i % 1000));
        std::vector<const char*> path_array;
        for (const auto& p : paths) path_array.push_back(p.c_str());
        std::vector<qel_tribool_t> tribools(kBatch, 0);
        std::unique_ptr<bool[]> auto_time(new bool[kBatch]());
        std::vector<_element_datatype_t> values(kBatch);
        for (uint32_t round = 0; round * kBatch < kChanges; ++round) {
            for (uint32_t i = 0; i < kBatch; ++i)
                values[i] = int_leaf(static_cast<int32_t>(round * kBatch + i));
            api_status_t* statuses = nullptr;
            uint32_t count = 0;
            if (qel_set_leaves(handle, path_array.data(), kBatch, values.data(), tribools.data(),
                               auto_time.get(), "bench", &statuses, &count) != 0)
                return;
            if (round == 1) {  // a revision early in the history, and its time
                uint64_t oldest = 0;
                const char* epoch = nullptr;
                qel_host_history_info(handle, &early, &oldest, &epoch);
                gettimeofday(&early_time, nullptr);
            }
        }
        qel_host_store_close(store);
        ready = true;
    }
    TempFolder dir;
    std::string file;
    bool ready = false;
    uint64_t early = 0;
    timeval early_time{};
};

MillionChanges& million() {
    static MillionChanges made;
    return made;
}

enum class Read { get_leaf, leaf_at_revision, leaf_at_time, rare_leaf_at_revision, newest_1000 };

void BM_MillionChanges(benchmark::State& state, Read read) {
    MillionChanges& file = million();
    if (!file.ready) return state.SkipWithError("the file of a million changes was not made");
    qel_store_t* store = qel_host_store_open(file.file.c_str());
    if (!store) return state.SkipWithError("cannot open the file");
    qel_handle_t handle = qel_host_handle_open(store);
    api_status_t status = 0;
    _element_datatype_t value{};
    element_property_t property = 0;
    uint64_t at = 0;
    qel_host_change_t* changes = nullptr;
    uint32_t count = 0;
    const char* leaf = "/plant/unit3/v503";
    for (auto _ : state) {
        int result = 0;
        switch (read) {
            case Read::get_leaf:
                result = qel_get_leaf(handle, leaf, &status, &value, &property);
                break;
            case Read::leaf_at_revision:
                result = qel_host_leaf_at(handle, leaf, file.early, nullptr, &status, &value,
                                          &property, &at);
                break;
            case Read::rare_leaf_at_revision:
                result = qel_host_leaf_at(handle, kRareLeaf, file.early, nullptr, &status, &value,
                                          &property, &at);
                break;
            case Read::leaf_at_time:
                result = qel_host_leaf_at(handle, leaf, 0, &file.early_time, &status, &value,
                                          &property, &at);
                break;
            case Read::newest_1000:
                result = qel_host_history_changes(handle, "/plant/unit3", 0, 0, UINT64_MAX, nullptr,
                                                  nullptr, 1000, true, &status, &changes, &count);
                if (count != 1000) result = -1;
                break;
        }
        if (result != 0 || status != QEL_STATUS_OK) return state.SkipWithError("read failed");
    }
    qel_host_store_close(store);
}
BENCHMARK_CAPTURE(BM_MillionChanges, get_leaf, Read::get_leaf)->UseRealTime();
BENCHMARK_CAPTURE(BM_MillionChanges, leaf_at_revision, Read::leaf_at_revision)->UseRealTime();
BENCHMARK_CAPTURE(BM_MillionChanges, leaf_at_time, Read::leaf_at_time)->UseRealTime();
BENCHMARK_CAPTURE(BM_MillionChanges, rare_leaf_at_revision, Read::rare_leaf_at_revision)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MillionChanges, newest_1000_of_a_subtree, Read::newest_1000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
