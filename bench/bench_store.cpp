// The client object against the host store, beside the same work through raw qel_ calls: batch
// writes and reads, single writes, subtree copies and events between two handles. The event log
// has its own benchmarks (bench_log.cpp).
#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <toolkit/nyr.h>

#include <string>
#include <vector>

#include "bench_support.h"

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

using benchsupport::batch_paths;
using benchsupport::Store;

std::vector<const char*> pointers(const std::vector<std::string>& paths) {
    std::vector<const char*> out;
    for (const auto& p : paths) out.push_back(p.c_str());
    return out;
}

// ---- Batches: client against raw calls ----------------------------------------------------

void BM_SetLeaves_Client(benchmark::State& state) {
    Store s;
    benchsupport::client_set_leaves(state, s.handle);
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
    benchsupport::client_get_leaves(state, s.handle);
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

}  // namespace
