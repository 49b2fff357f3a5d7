// The client object against the host store, beside the same work through raw qel_ calls: batch
// writes and reads, single writes, subtree copies, events between two handles, and the event log
// in memory and in SQLite.
#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CLog;
using toolkit::CNyr;

namespace {

// A store with one handle, closed at the end of the benchmark.
struct Store {
    explicit Store(const char* log = nullptr)
        : store(qel_host_store_open(log)), handle(qel_host_handle_open(store)) {}
    ~Store() { qel_host_store_close(store); }
    qel_store_t* store;
    qel_handle_t handle;
};

std::vector<std::string> batch_paths(int n) {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i)
        paths.push_back("/bench/n" + std::to_string(i / 100) + "/leaf" + std::to_string(i));
    return paths;
}

std::vector<const char*> pointers(const std::vector<std::string>& paths) {
    std::vector<const char*> out;
    for (const auto& p : paths) out.push_back(p.c_str());
    return out;
}

// ---- Batches: client against raw calls ----------------------------------------------------

void BM_SetLeaves_Client(benchmark::State& state) {
    Store s;
    CNyr client(s.handle);
    const auto paths = batch_paths(static_cast<int>(state.range(0)));
    std::vector<CElement> values;
    for (std::size_t i = 0; i < paths.size(); ++i) values.emplace_back(int32_t(i), timeval{1, 0});
    std::vector<qel_tribool_t> tribools(paths.size(), 0);
    std::vector<api_status_t> statuses;
    for (auto _ : state) {
        client.set_leaves(paths, values, tribools, statuses, "bench");
        benchmark::DoNotOptimize(statuses.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetLeaves_Client)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SetLeaves_Raw(benchmark::State& state) {
    Store s;
    const auto paths = batch_paths(static_cast<int>(state.range(0)));
    const auto path_array = pointers(paths);
    std::vector<_element_datatype_t> values(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        values[i].type = DATATYPE_INT;
        values[i].timestamp = {1, 0};
        values[i].value.int_value = static_cast<int32_t>(i);
    }
    std::vector<qel_tribool_t> tribools(paths.size(), 0);
    std::vector<char> auto_time(paths.size(), 0);
    std::vector<api_status_t> statuses;
    for (auto _ : state) {
        api_status_t* out = nullptr;
        uint32_t count = 0;
        qel_set_leaves(s.handle, path_array.data(), static_cast<uint32_t>(paths.size()),
                       values.data(), tribools.data(), reinterpret_cast<bool*>(auto_time.data()),
                       "bench", &out, &count);
        statuses.assign(out, out + count);
        benchmark::DoNotOptimize(statuses.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetLeaves_Raw)->Arg(10000)->Unit(benchmark::kMillisecond);

void fill(Store& s, const std::vector<std::string>& paths) {
    CNyr client(s.handle);
    std::vector<CElement> values;
    for (std::size_t i = 0; i < paths.size(); ++i) values.emplace_back(int32_t(i), timeval{1, 0});
    std::vector<api_status_t> statuses;
    client.set_leaves(paths, values, std::vector<qel_tribool_t>(paths.size(), 0), statuses, "");
}

void BM_GetLeaves_Client(benchmark::State& state) {
    Store s;
    const auto paths = batch_paths(static_cast<int>(state.range(0)));
    fill(s, paths);
    CNyr client(s.handle);
    std::vector<api_status_t> statuses;
    std::vector<CElement> values;
    std::vector<element_property_t> properties;
    for (auto _ : state) {
        client.get_leaves(paths, statuses, values, properties);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GetLeaves_Client)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_GetLeaves_Raw(benchmark::State& state) {
    Store s;
    const auto paths = batch_paths(static_cast<int>(state.range(0)));
    fill(s, paths);
    const auto path_array = pointers(paths);
    std::vector<_element_datatype_t> values(paths.size());
    std::vector<element_property_t> properties(paths.size());
    std::vector<api_status_t> statuses;
    for (auto _ : state) {
        api_status_t* out = nullptr;
        uint32_t count = 0;
        qel_get_leaves(s.handle, path_array.data(), static_cast<uint32_t>(paths.size()), &out,
                       &count, values.data(), properties.data(),
                       static_cast<uint32_t>(values.size()));
        statuses.assign(out, out + count);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GetLeaves_Raw)->Arg(10000)->Unit(benchmark::kMillisecond);

// ---- Single writes ------------------------------------------------------------------------

void BM_SetLeaf_Client(benchmark::State& state) {
    Store s;
    CNyr client(s.handle);
    CElement value(std::string("running"));
    const std::string a = "/single/a", b = "/single/b", source = "bench";
    api_status_t status = 0;
    int i = 0;
    for (auto _ : state) client.set_leaf(i++ % 2 ? a : b, value, status, 0, source);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetLeaf_Client);

void BM_SetLeaf_Raw(benchmark::State& state) {
    Store s;
    std::string text = "running";
    _element_datatype_t value{};
    value.type = DATATYPE_STRING;
    value.timestamp = {-1, 0};
    value.value.string_value = {&text[0], static_cast<uint32_t>(text.size())};
    api_status_t status = 0;
    int i = 0;
    for (auto _ : state)
        qel_set_leaf(s.handle, i++ % 2 ? "/single/a" : "/single/b", value, 0, true, "bench",
                     &status);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetLeaf_Raw);

// ---- Subtree copy -------------------------------------------------------------------------

void BM_CopyNodeRecursive(benchmark::State& state) {
    Store s;
    CNyr client(s.handle);
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i)
        paths.push_back("/src/g" + std::to_string(i / 1000) + "/m" + std::to_string(i / 10 % 100) +
                        "/leaf" + std::to_string(i % 10));
    fill(s, paths);
    api_status_t status = 0;
    for (auto _ : state) {
        client.copy_node_recursive("/src", "/dst", status, "bench");
        state.PauseTiming();
        client.remove_node("/dst", status, "");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CopyNodeRecursive)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// ---- Events between two handles -----------------------------------------------------------

void BM_Events_SendAndGet(benchmark::State& state) {
    Store s;
    qel_handle_t receiver_handle = qel_host_handle_open(s.store);
    CNyr sender(s.handle), receiver(receiver_handle);
    api_status_t status = 0;
    receiver.event_register("/bench", 0x8, true, status);
    std::vector<CEvent> batch(static_cast<std::size_t>(state.range(0)), CEvent(0x8));
    for (std::size_t i = 0; i < batch.size(); ++i) {
        batch[i].path = "/bench/alarm" + std::to_string(i);
        batch[i].note = "note";
    }
    std::vector<api_status_t> statuses;
    std::vector<CEvent> got;
    for (auto _ : state) {
        sender.events_send(batch, statuses);
        receiver.events_get_nonblocking(got);
        benchmark::DoNotOptimize(got.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Events_SendAndGet)->Arg(64);

// ---- Event log ----------------------------------------------------------------------------

std::vector<CEvent> log_batch(int n) {
    std::vector<CEvent> events(static_cast<std::size_t>(n), CEvent(0x8));
    for (int i = 0; i < n; ++i) {
        events[i].path = "/log/" + std::to_string(i % 10);
        events[i].event_time = timeval{1700000000 + i, 0};
        events[i].note = "logged";
    }
    return events;
}

std::string temp_database() {
    char dir[] = "/tmp/nyr-bench-XXXXXX";
    if (!mkdtemp(dir)) return "";
    return std::string(dir) + "/log.db";
}

void remove_database(const std::string& file) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file + suffix).c_str());
    rmdir(file.substr(0, file.rfind('/')).c_str());
}

void log_store(benchmark::State& state, const char* database) {
    Store s(database);
    CLog log(s.handle);
    const auto events = log_batch(static_cast<int>(state.range(0)));
    for (auto _ : state) log.store(events, false);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void log_retrieve(benchmark::State& state, const char* database) {
    Store s(database);
    CLog log(s.handle);
    log.store(log_batch(1000), false);
    std::vector<CEvent> out;
    for (auto _ : state) {
        out.clear();
        log.retrieve(out, "/log", nullptr, nullptr, 0, false, false, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}

void BM_LogStore_Memory(benchmark::State& state) {
    log_store(state, nullptr);
}
BENCHMARK(BM_LogStore_Memory)->Arg(100);

void BM_LogStore_Sqlite(benchmark::State& state) {
    const std::string file = temp_database();
    log_store(state, file.c_str());
    remove_database(file);
}
BENCHMARK(BM_LogStore_Sqlite)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_LogRetrieve_Memory(benchmark::State& state) {
    log_retrieve(state, nullptr);
}
BENCHMARK(BM_LogRetrieve_Memory)->Unit(benchmark::kMillisecond);

void BM_LogRetrieve_Sqlite(benchmark::State& state) {
    const std::string file = temp_database();
    log_retrieve(state, file.c_str());
    remove_database(file);
}
BENCHMARK(BM_LogRetrieve_Sqlite)->Unit(benchmark::kMillisecond);

}  // namespace
