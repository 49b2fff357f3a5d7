// The host store's limits and the values it hands out: handle values never come back, paths have
// a length and a depth, queues a byte bound, the root its own status, and listed names outlive
// changes made by others.
#include <gtest/gtest.h>
#include <nyr_host.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/handle_source.h"

namespace {

struct OpenStore {
    OpenStore() : store(qel_host_store_open(nullptr)), handle(storetest::open_handle(store)) {}
    ~OpenStore() { storetest::close_store(store); }
    qel_store_t* store;
    qel_handle_t handle;
};

int add_node(qel_handle_t handle, const std::string& path) {
    api_status_t status = 0;
    EXPECT_EQ(qel_add_node(handle, path.c_str(), "test", &status), QEL_RESULT_OK);
    return status;
}

TEST(HostStoreValues, AClosedHandleOrStoreValueIsNeverHandedOutAgain) {
    OpenStore s;
    qel_handle_t closed = qel_host_handle_open(s.store);
    qel_host_handle_close(closed);
    qel_store_t* closed_store = qel_host_store_open(nullptr);
    qel_host_store_close(closed_store);
    for (int i = 0; i < 20; ++i) {
        qel_handle_t fresh = qel_host_handle_open(s.store);
        EXPECT_NE(fresh, closed);
        qel_store_t* fresh_store = qel_host_store_open(nullptr);
        EXPECT_NE(fresh_store, closed_store);
        qel_host_store_close(fresh_store);
    }
    api_status_t status = 0;
    EXPECT_EQ(qel_add_node(closed, "/a", "", &status), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_host_set_event_wait(closed_store, 1), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_test_node(s.handle, "/a", &status), QEL_RESULT_OK);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
}

TEST(HostStoreLimits, PathsHaveALengthAndADepth) {
    OpenStore s;
    api_status_t status = 0;
    // A watcher of everything makes every created parent an announced change.
    ASSERT_EQ(qel_event_register(s.handle, "/", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);
    std::string deepest;
    for (unsigned i = 0; i < QEL_HOST_MAX_PATH_DEPTH; ++i) deepest += "/a";
    EXPECT_EQ(add_node(s.handle, deepest), QEL_STATUS_OK);
    EXPECT_EQ(add_node(s.handle, deepest + "/a"), QEL_STATUS_BAD_PATH);
    std::string longest = "/" + std::string(QEL_HOST_MAX_PATH_LENGTH - 1, 'n');
    EXPECT_EQ(add_node(s.handle, longest), QEL_STATUS_OK);
    EXPECT_EQ(add_node(s.handle, longest + "n"), QEL_STATUS_BAD_PATH);
    EXPECT_EQ(qel_event_register(s.handle, (deepest + "/a").c_str(), 0x8, true, &status), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_PATH);
    EXPECT_EQ(qel_host_queued_count(s.handle), QEL_HOST_MAX_PATH_DEPTH + 1);
    // A tree at the limit is removed, and closed with the store, in one piece.
    EXPECT_EQ(qel_remove_node(s.handle, "/a", "", &status), QEL_RESULT_OK);
    EXPECT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(add_node(s.handle, deepest), QEL_STATUS_OK);
}

TEST(HostStoreLimits, TheRootIsNeitherRemovedNorCleared) {
    OpenStore s;
    api_status_t status = 0;
    EXPECT_EQ(qel_clear_leaf(s.handle, "/", "", &status), QEL_RESULT_OK);
    EXPECT_EQ(status, QEL_STATUS_ROOT);
    EXPECT_EQ(qel_remove_node(s.handle, "/", "", &status), QEL_RESULT_OK);
    EXPECT_EQ(status, QEL_STATUS_ROOT);
}

// Sends one alarm whose note is `note_bytes` long to /q.
void send_alarm(qel_handle_t handle, std::size_t note_bytes) {
    const std::string note(note_bytes, 'x');
    _event_t event{};
    event.type = 0x8;
    event.path = _byte_array_t{const_cast<char*>("/q"), 2};
    event.note = _byte_array_t{const_cast<char*>(note.data()), static_cast<uint32_t>(note.size())};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_events_send(handle, &event, 1, &statuses, &count), QEL_RESULT_OK);
    ASSERT_EQ(statuses[0], QEL_STATUS_OK);
}

TEST(HostStoreLimits, QueuesAreBoundedInBytesDroppingTheOldest) {
    OpenStore s;
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(s.handle, "/q", 0x8, false, &status), 0);
    EXPECT_EQ(qel_host_set_queue_bytes(nullptr, 1), QEL_RESULT_BAD_HANDLE);
    ASSERT_EQ(qel_host_set_queue_bytes(s.store, 12000), QEL_RESULT_OK);
    for (int i = 0; i < 5; ++i) send_alarm(s.handle, 3000);  // three fit with their records
    EXPECT_EQ(qel_host_queued_count(s.handle), 3);
    EXPECT_EQ(qel_host_overflow_count(s.handle), 2);
    // An event larger than the whole bound goes nowhere; the queue keeps what it held.
    send_alarm(s.handle, 20000);
    EXPECT_EQ(qel_host_queued_count(s.handle), 3);
    EXPECT_EQ(qel_host_overflow_count(s.handle), 3);
    _event_t* records = nullptr;
    ASSERT_EQ(qel_events_get_nonblocking(s.handle, &records), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(records[i].note.length, 3000u);
        destruct_event(&records[i]);
    }
    free(records);
    send_alarm(s.handle, 9000);  // an emptied queue takes an event up to the bound
    EXPECT_EQ(qel_host_queued_count(s.handle), 1);
}

TEST(HostStoreListing, ListedNamesOutliveChangesByOthers) {
    OpenStore s;
    qel_handle_t other = storetest::open_handle(s.store);
    for (const char* path : {"/n/b", "/n/a", "/n/c"}) add_node(s.handle, path);
    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t types[3];
    element_property_t properties[3];
    _byte_array_t names[3];
    ASSERT_EQ(qel_list_node(s.handle, "/n", &status, &total, types, 3, properties, 3, names, 3), 0);
    ASSERT_EQ(total, 3u);
    EXPECT_EQ(qel_remove_node(other, "/n", "", &status), QEL_RESULT_OK);
    EXPECT_EQ(add_node(other, "/n/d"), QEL_STATUS_OK);
    const char* expected[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(std::string(names[i].data, names[i].length), expected[i]);
    // Listing again sees the change.
    ASSERT_EQ(qel_list_node(s.handle, "/n", &status, &total, types, 3, properties, 3, names, 3), 0);
    ASSERT_EQ(total, 1u);
    EXPECT_EQ(std::string(names[0].data, names[0].length), "d");
}

}  // namespace
