// The store at scale, through the client object on the in-process host store: the cost of a
// delivered event and of a write nobody watches as registrations on other paths grow, and of
// single reads and writes at random paths as the tree grows. Each family's first size is its
// baseline: the figures that matter are the ratios to it, measured in the same run.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <nyr_host.h>
#include <toolkit/nyr.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

constexpr api_event_t kWatchedKind = 0x8;
constexpr int kOtherHandles = 10;

// A store whose receiver watches /watched, while `others` registrations of other handles cover
// other paths (some with their subtrees, all for the same kind).
struct WatchedStore {
    explicit WatchedStore(int others)
        : store(qel_host_store_open(nullptr)),
          sender_handle(qel_host_handle_open(store)),
          receiver_handle(qel_host_handle_open(store)),
          sender(sender_handle),
          receiver(receiver_handle) {
        api_status_t status = 0;
        receiver.event_register("/watched", kWatchedKind | QEL_HOST_EVENT_TREE_CHANGE, true,
                                status);
        for (int h = 0; h < kOtherHandles; ++h) {
            CNyr other(qel_host_handle_open(store));
            for (int i = h; i < others; i += kOtherHandles) {
                const std::string path =
                    "/other/g" + std::to_string(i % 97) + "/r" + std::to_string(i);
                other.event_register(path, kWatchedKind | QEL_HOST_EVENT_TREE_CHANGE, i % 2 == 0,
                                     status);
            }
        }
    }
    ~WatchedStore() { qel_host_store_close(store); }

    qel_store_t* store;
    qel_handle_t sender_handle, receiver_handle;
    CNyr sender, receiver;
};

void BM_DeliveredEvent_RegistrationsElsewhere(benchmark::State& state) {
    WatchedStore s(static_cast<int>(state.range(0)));
    std::vector<CEvent> batch(1, CEvent(kWatchedKind));
    batch[0].path = "/watched/pump/alarm";
    std::vector<api_status_t> statuses;
    std::vector<CEvent> got;
    for (auto _ : state) {
        s.sender.events_send(batch, statuses);
        s.receiver.events_get_nonblocking(got);
        if (got.size() != 1) state.SkipWithError("the event was not delivered");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DeliveredEvent_RegistrationsElsewhere)->Arg(1)->Arg(100)->Arg(1000)->Arg(10000);

void BM_UnwatchedSetLeaf_RegistrationsElsewhere(benchmark::State& state) {
    WatchedStore s(static_cast<int>(state.range(0)));
    const CElement value(int32_t(7), timeval{1, 0});
    api_status_t status = 0;
    for (auto _ : state) {
        s.sender.set_leaf("/plain/pump/speed", value, status, 0, "bench");
        benchmark::DoNotOptimize(status);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnwatchedSetLeaf_RegistrationsElsewhere)->Arg(1)->Arg(100)->Arg(1000)->Arg(10000);

// A tree of `leaves` leaves, a thousand to a node, and its paths in a random order.
struct GrownTree {
    explicit GrownTree(int leaves)
        : store(qel_host_store_open(nullptr)), handle(qel_host_handle_open(store)), client(handle) {
        for (int i = 0; i < leaves; ++i)
            paths.push_back("/plant/area" + std::to_string(i / 1000) + "/sensor" +
                            std::to_string(i % 1000));
        const std::size_t before = mallinfo2().uordblks;
        std::vector<CElement> values(1000, CElement(int32_t(1), timeval{1, 0}));
        std::vector<qel_tribool_t> tribools(1000, 0);
        std::vector<api_status_t> statuses;
        for (std::size_t at = 0; at < paths.size(); at += 1000) {
            const std::vector<std::string> part(
                paths.begin() + static_cast<long>(at),
                paths.begin() + static_cast<long>(std::min(paths.size(), at + 1000)));
            values.resize(part.size(), values.front());
            tribools.resize(part.size(), 0);
            client.set_leaves(part, values, tribools, statuses, "bench");
        }
        bytes_per_leaf = static_cast<double>(mallinfo2().uordblks - before) / leaves;
        // The texts are made anew in the visiting order, so that reading the caller's own path
        // is not a cache miss of its own: what grows with the tree is the store's work.
        std::vector<std::string> shuffled(paths.size());
        std::vector<std::size_t> order(paths.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(42));
        for (std::size_t i = 0; i < order.size(); ++i) shuffled[i] = paths[order[i]];
        paths.swap(shuffled);
    }
    ~GrownTree() { qel_host_store_close(store); }

    qel_store_t* store;
    qel_handle_t handle;
    CNyr client;
    std::vector<std::string> paths;
    double bytes_per_leaf = 0;
};

void BM_GetLeaf_TreeSize(benchmark::State& state) {
    GrownTree tree(static_cast<int>(state.range(0)));
    api_status_t status = 0;
    CElement value;
    element_property_t property = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        tree.client.get_leaf(tree.paths[next], status, value, property);
        if (status != QEL_STATUS_OK) state.SkipWithError("a leaf was not found");
        next = next + 1 == tree.paths.size() ? 0 : next + 1;
    }
    state.counters["bytes_per_leaf"] = tree.bytes_per_leaf;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetLeaf_TreeSize)->Arg(1000)->Arg(100000)->Arg(1000000);

void BM_SetLeaf_TreeSize(benchmark::State& state) {
    GrownTree tree(static_cast<int>(state.range(0)));
    api_status_t status = 0;
    const CElement value(int32_t(2), timeval{1, 0});
    std::size_t next = 0;
    for (auto _ : state) {
        tree.client.set_leaf(tree.paths[next], value, status, 0, "bench");
        next = next + 1 == tree.paths.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetLeaf_TreeSize)->Arg(1000)->Arg(100000)->Arg(1000000);

}  // namespace

namespace {

// One node with `children` leaves below it.
struct WideNode {
    explicit WideNode(int children)
        : store(qel_host_store_open(nullptr)), handle(qel_host_handle_open(store)), client(handle) {
        std::vector<std::string> paths;
        for (int i = 0; i < children; ++i) paths.push_back("/wide/leaf" + std::to_string(i));
        std::vector<CElement> values(paths.size(), CElement(int32_t(1), timeval{1, 0}));
        std::vector<qel_tribool_t> tribools(paths.size(), 0);
        std::vector<api_status_t> statuses;
        client.set_leaves(paths, values, tribools, statuses, "bench");
        // The node's listing is made on its first listing; both benchmarks measure later ones.
        api_status_t status = 0;
        uint32_t total = 0;
        qel_list_node(handle, "/wide", &status, &total, nullptr, 0, nullptr, 0, nullptr, 0);
    }
    ~WideNode() { qel_host_store_close(store); }

    qel_store_t* store;
    qel_handle_t handle;
    CNyr client;
};

// The client lists with arrays that grow by a fixed step, asking the store again each time.
void BM_ListNode_Client(benchmark::State& state) {
    WideNode wide(static_cast<int>(state.range(0)));
    api_status_t status = 0;
    CNyr::listing_t entries;
    for (auto _ : state) {
        wide.client.list_node("/wide", status, entries);
        if (entries.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("the listing is incomplete");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListNode_Client)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The baseline: one raw call with room for every entry.
void BM_ListNode_Raw(benchmark::State& state) {
    WideNode wide(static_cast<int>(state.range(0)));
    const auto n = static_cast<uint32_t>(state.range(0));
    std::vector<element_type_t> types(n);
    std::vector<element_property_t> properties(n);
    std::vector<_byte_array_t> names(n);
    api_status_t status = 0;
    uint32_t total = 0;
    for (auto _ : state) {
        qel_list_node(wide.handle, "/wide", &status, &total, types.data(), n, properties.data(), n,
                      names.data(), n);
        benchmark::DoNotOptimize(names.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListNode_Raw)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
