// Events in the host store: subscriptions by subtree and kind, delivery to every matching handle,
// tree-change announcements, bounded queues and bounded waits.
#include <atomic>
#include <chrono>
#include <thread>

#include "store_fixture.h"

using namespace storetest;

namespace {

Statuses send(qel_handle_t handle, std::vector<_event_t> records) {
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_events_send(handle, records.data(), static_cast<uint32_t>(records.size()),
                              &statuses, &count),
              0);
    return statuses_of(statuses, count);
}

api_status_t subscribe(qel_handle_t handle, const char* path, api_event_t kind, bool subtree) {
    api_status_t status = 0;
    EXPECT_EQ(qel_event_register(handle, path, kind, subtree, &status), 0);
    return status;
}

std::vector<std::string> paths_of(const std::vector<Seen>& seen) {
    std::vector<std::string> paths;
    for (const Seen& s : seen) paths.push_back(s.path);
    return paths;
}

}  // namespace

TEST_F(StoreTest, EventsReachHandlesRegisteredForTheirKindAndPath) {
    ASSERT_EQ(subscribe(b, "/plant", 0x8, true), QEL_STATUS_OK);   // alarms, whole subtree
    ASSERT_EQ(subscribe(b, "/exact", 0x4, false), QEL_STATUS_OK);  // one path only
    std::string in_tree = "/plant/pump/1", other_kind = "/plant/x", outside = "/plantation",
                exact = "/exact", below_exact = "/exact/child", bad = "no-slash";
    EXPECT_EQ(
        send(a, {event_at(in_tree, 0x8, 11), event_at(other_kind, 0x4), event_at(outside, 0x8),
                 event_at(exact, 0x4, 12), event_at(below_exact, 0x4), event_at(bad, 0x8)}),
        (Statuses{1, 1, 1, 1, 1, QEL_STATUS_BAD_PATH}));
    std::vector<Seen> seen = take_events(b);
    EXPECT_EQ(paths_of(seen), (std::vector<std::string>{"/plant/pump/1", "/exact"}));
    EXPECT_EQ(seen.at(0).cmd, 11);
    EXPECT_EQ(take_events(b).size(), 0u);  // handed out once
    EXPECT_EQ(take_events(a).size(), 0u);  // the sender did not register

    // The sender gets its own events when it is registered; clearing the kind bits stops them.
    ASSERT_EQ(subscribe(a, "/", -1, true), QEL_STATUS_OK);
    send(a, {event_at(in_tree, 0x8)});
    EXPECT_EQ(take_events(a).size(), 1u);
    EXPECT_EQ(take_events(b).size(), 1u);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_clear(b, "/plant", 0x8, &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(qel_event_clear(b, "/plant", 0x8, &status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    send(a, {event_at(in_tree, 0x8)});
    EXPECT_EQ(take_events(b).size(), 0u);

    // An empty batch is carried out; bad arguments are refused as a whole.
    EXPECT_TRUE(send(a, {}).empty());
    api_status_t* out = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_events_send(a, nullptr, 2, &out, &count), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(subscribe(a, "/a/", 1, true), QEL_STATUS_BAD_PATH);
    _event_t* records = nullptr;
    EXPECT_EQ(qel_events_get_nonblocking(nullptr, &records), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_events_get_nonblocking(a, nullptr), QEL_RESULT_BAD_ARGUMENT);
}

TEST_F(StoreTest, TreeChangesAreAnnouncedToWatchersOfTheSubtree) {
    ASSERT_EQ(subscribe(b, "/watched", QEL_HOST_EVENT_TREE_CHANGE, true), QEL_STATUS_OK);
    std::string text = "on";
    ASSERT_EQ(set(a, "/watched/dev/state", text_value(text), 0, false, "writer"), QEL_STATUS_OK);
    ASSERT_EQ(clear_leaf(a, "/watched/dev/state"), QEL_STATUS_OK);
    ASSERT_EQ(remove_node(a, "/watched/dev"), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/elsewhere/x", 1), QEL_STATUS_OK);   // not watched
    ASSERT_EQ(put(a, "/watched/dev", 1), QEL_STATUS_OK);   // a leaf where the node was
    EXPECT_EQ(put(a, "/watched", 1), QEL_STATUS_IS_NODE);  // refused: no event

    // The write created /watched and /watched/dev, then the leaf was set, cleared and removed
    // with its node, then /watched/dev was written as a leaf.
    const struct {
        int32_t cmd;
        const char* path;
    } expected[] = {{QEL_HOST_CHANGE_NODE_ADDED, "/watched"},
                    {QEL_HOST_CHANGE_NODE_ADDED, "/watched/dev"},
                    {QEL_HOST_CHANGE_LEAF_SET, "/watched/dev/state"},
                    {QEL_HOST_CHANGE_LEAF_CLEARED, "/watched/dev/state"},
                    {QEL_HOST_CHANGE_NODE_REMOVED, "/watched/dev"},
                    {QEL_HOST_CHANGE_LEAF_SET, "/watched/dev"}};
    std::vector<Seen> seen = take_events(b);
    ASSERT_EQ(seen.size(), std::size(expected));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].cmd, expected[i].cmd) << i;
        EXPECT_EQ(seen[i].path, expected[i].path) << i;
        EXPECT_EQ(seen[i].type, QEL_HOST_EVENT_TREE_CHANGE) << i;
    }
    EXPECT_EQ(seen[2].source, "writer");
    EXPECT_EQ(seen[2].payload, "on");

    // Batches announce each item that changed something.
    const char* paths[] = {"/watched/p", "/watched/q", "/watched/p"};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_add_nodes(a, paths, 3, "", &statuses, &count), 0);
    EXPECT_EQ(paths_of(take_events(b)), (std::vector<std::string>{"/watched/p", "/watched/q"}));
}

TEST_F(StoreTest, FullQueuesDropTheOldestEventAndCountIt) {
    ASSERT_EQ(qel_host_set_queue_capacity(store, 3), 0);
    ASSERT_EQ(subscribe(b, "/", 0x1, true), QEL_STATUS_OK);
    std::vector<std::string> paths = {"/e1", "/e2", "/e3", "/e4", "/e5"};
    std::vector<_event_t> records;
    for (auto& p : paths) records.push_back(event_at(p, 0x1));
    send(a, records);
    EXPECT_EQ(qel_host_queued_count(b), 3);
    EXPECT_EQ(qel_host_overflow_count(b), 2);
    EXPECT_EQ(qel_host_overflow_count(a), 0);
    EXPECT_EQ(paths_of(take_events(b)), (std::vector<std::string>{"/e3", "/e4", "/e5"}));
    EXPECT_EQ(qel_host_queued_count(b), 0);
    EXPECT_EQ(qel_host_overflow_count(nullptr), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_host_set_queue_capacity(nullptr, 3), QEL_RESULT_BAD_HANDLE);
}

TEST_F(StoreTest, WaitingFetchWaitsABoundedTimeAndWakesOnArrival) {
    using namespace std::chrono;
    ASSERT_EQ(qel_host_set_event_wait(store, 150), 0);
    ASSERT_EQ(subscribe(b, "/", 0x1, true), QEL_STATUS_OK);

    // Nothing arrives: 0 after about the wait time, no array; the non-blocking form returns at
    // once.
    auto start = steady_clock::now();
    EXPECT_TRUE(take_events(b, true).empty());
    EXPECT_GE(steady_clock::now() - start, milliseconds(140));
    EXPECT_LT(steady_clock::now() - start, seconds(5));
    start = steady_clock::now();
    EXPECT_TRUE(take_events(b, false).empty());
    EXPECT_LT(steady_clock::now() - start, milliseconds(100));

    // An event sent from another thread wakes the waiter well before the wait time; then
    // closing the handle wakes its waiter with a bad-handle result.
    ASSERT_EQ(qel_host_set_event_wait(store, 10000), 0);
    std::string path = "/wake";
    std::atomic<bool> received{false};
    std::thread other([&] {
        std::this_thread::sleep_for(milliseconds(20));
        send(a, {event_at(path, 0x1)});
        while (!received.load()) std::this_thread::yield();
        std::this_thread::sleep_for(milliseconds(20));
        qel_host_handle_close(b);
    });
    start = steady_clock::now();
    EXPECT_EQ(paths_of(take_events(b, true)), std::vector<std::string>{"/wake"});
    received = true;
    _event_t* records = nullptr;
    EXPECT_EQ(qel_events_get(b, &records), QEL_RESULT_BAD_HANDLE);
    EXPECT_LT(steady_clock::now() - start, seconds(5));
    EXPECT_EQ(records, nullptr);
    other.join();
}

TEST_F(StoreTest, LogCallsRefuseBadHandlesAndArgumentsAndHandBackNoArrayForNothing) {
    _event_t sentinel{};
    _event_t* records = &sentinel;
    uint32_t count = 9;
    EXPECT_EQ(qel_log_retrieve(a, &records, &count, "/none", nullptr, nullptr, 0, false, 0), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(records, nullptr);
    EXPECT_EQ(qel_log_store(a, nullptr, 2, false), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_log_store(nullptr, nullptr, 0, false), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_log_retrieve(a, nullptr, &count, nullptr, nullptr, nullptr, 0, false, 0),
              QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_log_retrieve(nullptr, &records, &count, nullptr, nullptr, nullptr, 0, false, 0),
              QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_log_clear(nullptr, nullptr, nullptr, nullptr), QEL_RESULT_BAD_HANDLE);
}
