// The tree kept in a store file: loading a file of 100,000 leaves against building the same tree
// in memory, and a single write and a batch of 10,000 on a store with a file against one without,
// in the same run. Each write to a file is one committed transaction.
#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kLoadLeaves = 100000;

// A directory of its own under the system's temporary directory, removed with its files.
struct ScratchDir {
    ScratchDir() : path((std::filesystem::temp_directory_path() / "nyrbench-XXXXXX").string()) {
        if (::mkdtemp(&path[0]) == nullptr) path.clear();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// `count` leaves under 100 nodes of 1000 names each, with int values, time stamps and a text
// every tenth leaf.
struct Leaves {
    explicit Leaves(int count) {
        for (int i = 0; i < count; ++i) {
            paths.push_back("/plant/unit" + std::to_string(i % 100) + "/v" + std::to_string(i));
            _element_datatype_t v{};
            v.timestamp = {1700000000 + i, i % 1000000};
            if (i % 10 == 0) {
                v.type = DATATYPE_STRING;
                v.value.string_value = {&text[0], static_cast<uint32_t>(text.size())};
            } else {
                v.type = DATATYPE_INT;
                v.value.int_value = i;
            }
            values.push_back(v);
        }
        for (const auto& p : paths) path_array.push_back(p.c_str());
        tribools.assign(paths.size(), 1);
        auto_time.reset(new bool[paths.size()]());
    }

    // Writes leaves [first, first + n) in one batch; false when the call fails.
    bool write(qel_handle_t handle, std::size_t first, std::size_t n) const {
        api_status_t* statuses = nullptr;
        uint32_t count = 0;
        return qel_set_leaves(handle, path_array.data() + first, static_cast<uint32_t>(n),
                              values.data() + first, tribools.data() + first,
                              auto_time.get() + first, "bench", &statuses, &count) == 0 &&
               count == n && statuses[n - 1] == QEL_STATUS_OK;
    }

    std::string text = "a text value of some length";
    std::vector<std::string> paths;
    std::vector<const char*> path_array;
    std::vector<_element_datatype_t> values;
    std::vector<qel_tribool_t> tribools;
    std::unique_ptr<bool[]> auto_time;
};

// A store on a new file in `dir` when `in_file`, else in memory; null when it cannot be opened.
qel_store_t* open_store(bool in_file, const ScratchDir& dir, const char* name) {
    return qel_host_store_open(in_file ? (dir.path + "/" + name).c_str() : nullptr);
}

// Baseline: the tree built in memory by batches of 10,000. Against it: the same tree read from a
// store file when the store opens.
void BM_LoadTree(benchmark::State& state, bool from_file) {
    ScratchDir dir;
    const Leaves leaves(kLoadLeaves);
    const std::string file = dir.path + "/load.db";
    if (from_file) {
        qel_store_t* store = qel_host_store_open(file.c_str());
        qel_handle_t handle = qel_host_handle_open(store);
        for (std::size_t first = 0; first < leaves.paths.size(); first += 10000) {
            if (!leaves.write(handle, first, 10000)) state.SkipWithError("cannot write the file");
        }
        qel_host_store_close(store);
    }
    for (auto _ : state) {
        qel_store_t* store = qel_host_store_open(from_file ? file.c_str() : nullptr);
        if (!from_file) {
            qel_handle_t handle = qel_host_handle_open(store);
            for (std::size_t first = 0; first < leaves.paths.size(); first += 10000)
                leaves.write(handle, first, 10000);
        }
        state.PauseTiming();
        api_status_t status = 0;
        qel_handle_t check = qel_host_handle_open(store);
        if (store == nullptr || qel_test_node(check, "/plant/unit99", &status) != 0 ||
            status != QEL_STATUS_OK)
            state.SkipWithError("the tree is not there");
        qel_host_store_close(store);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kLoadLeaves);
}
BENCHMARK_CAPTURE(BM_LoadTree, built_in_memory, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadTree, read_from_file, true)->Unit(benchmark::kMillisecond);

// One set_leaf per iteration, over 1000 paths.
void BM_PersistSetLeaf(benchmark::State& state, bool in_file) {
    ScratchDir dir;
    qel_store_t* store = open_store(in_file, dir, "single.db");
    qel_handle_t handle = qel_host_handle_open(store);
    const Leaves leaves(1000);
    std::size_t i = 0;
    for (auto _ : state) {
        api_status_t status = 0;
        if (qel_set_leaf(handle, leaves.path_array[i], leaves.values[i], 1, false, "bench",
                         &status) != 0)
            state.SkipWithError("write failed");
        i = (i + 1) % leaves.paths.size();
    }
    state.SetItemsProcessed(state.iterations());
    qel_host_store_close(store);
}
BENCHMARK_CAPTURE(BM_PersistSetLeaf, memory, false);
BENCHMARK_CAPTURE(BM_PersistSetLeaf, file, true);

// One set_leaves of 10,000 leaves per iteration, the same paths each time.
void BM_PersistSetLeaves(benchmark::State& state, bool in_file) {
    ScratchDir dir;
    qel_store_t* store = open_store(in_file, dir, "batch.db");
    qel_handle_t handle = qel_host_handle_open(store);
    const Leaves leaves(10000);
    for (auto _ : state) {
        if (!leaves.write(handle, 0, leaves.paths.size())) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    qel_host_store_close(store);
}
BENCHMARK_CAPTURE(BM_PersistSetLeaves, memory, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PersistSetLeaves, file, true)->Unit(benchmark::kMillisecond);

}  // namespace
