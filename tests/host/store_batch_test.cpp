// The host store's batch calls: one status per item, in path order, and whole-batch refusals
// that change nothing.
#include <thread>

#include "store_fixture.h"

using namespace storetest;

TEST_F(StoreTest, SetAndGetLeavesReportEachItemInPathOrder) {
    std::string text = "payload";
    const char* paths[] = {"/b/one", "bad", "/b/two", "/b/three", "/b"};
    _element_datatype_t values[] = {int_value(1, 10), int_value(2), text_value(text, 30),
                                    int_value(4), int_value(5)};
    values[3].type = static_cast<data_type_t>(42);
    const qel_tribool_t tribools[] = {0, 0, 1, 0, 0};
    const bool auto_time[5] = {};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_set_leaves(a, paths, 5, values, tribools, auto_time, "src", &statuses, &count),
              0);
    EXPECT_EQ(statuses_of(statuses, count),
              (Statuses{QEL_STATUS_OK, QEL_STATUS_BAD_PATH, QEL_STATUS_OK, QEL_STATUS_BAD_TYPE,
                        QEL_STATUS_IS_NODE}));

    const char* reads[] = {"/b/two", "/b/missing", "/b/one", "/b"};
    _element_datatype_t got[4];
    std::memset(got, 0xAB, sizeof got);  // the store fills every record, found or not
    element_property_t properties[4] = {9, 9, 9, 9};
    ASSERT_EQ(qel_get_leaves(b, reads, 4, &statuses, &count, got, properties, 4), 0);
    EXPECT_EQ(statuses_of(statuses, count),
              (Statuses{QEL_STATUS_OK, QEL_STATUS_NOT_FOUND, QEL_STATUS_OK, QEL_STATUS_IS_NODE}));
    EXPECT_EQ(got[0].type, DATATYPE_STRING);
    EXPECT_EQ(bytes_of(got[0].value.string_value), "payload");
    EXPECT_EQ(got[0].timestamp.tv_sec, 30);
    EXPECT_EQ(properties[0], 1u);
    EXPECT_EQ(got[1].type, DATATYPE_INVALID);
    EXPECT_EQ(got[1].timestamp.tv_sec, 0);
    EXPECT_EQ(got[1].timestamp.tv_usec, 0);
    EXPECT_EQ(properties[1], 0u);
    EXPECT_EQ(got[2].value.int_value, 1);
    EXPECT_EQ(got[2].timestamp.tv_sec, 10);
}

TEST_F(StoreTest, BatchesRefusedAsAWholeChangeNothing) {
    const char* paths[] = {"/r/1", "/r/2"};
    _element_datatype_t values[] = {int_value(1), int_value(2)};
    const qel_tribool_t t[2] = {};
    const bool at[2] = {};
    api_status_t* s = nullptr;
    uint32_t n = 99;
    EXPECT_EQ(qel_set_leaves(a, paths, 2, nullptr, t, at, "", &s, &n), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_set_leaves(a, nullptr, 2, values, t, at, "", &s, &n), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_set_leaves(a, paths, 2, values, t, at, "", nullptr, &n), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_set_leaves(nullptr, paths, 2, values, t, at, "", &s, &n), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_add_nodes(a, nullptr, 3, "", &s, &n), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(test_node(a, "/r"), QEL_STATUS_NOT_FOUND);

    // get_leaves needs one record per path.
    ASSERT_EQ(put(a, "/r/1", 1), QEL_STATUS_OK);
    _element_datatype_t got[2];
    element_property_t properties[2];
    EXPECT_EQ(qel_get_leaves(a, paths, 2, &s, &n, got, properties, 1), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_test_nodes(a, paths, 2, nullptr), QEL_RESULT_BAD_ARGUMENT);

    // Empty batches are carried out and hand back an empty, non-null status array.
    EXPECT_EQ(qel_add_nodes(a, nullptr, 0, "", &s, &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(s, nullptr);
    EXPECT_EQ(qel_test_nodes(a, nullptr, 0, nullptr), 0);
}

TEST_F(StoreTest, NodeBatchesAndTestNodesWriteOneStatusPerPath) {
    const char* nodes[] = {"/m/a", "/m/b", "/m/c/", nullptr};
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_add_nodes(a, nodes, 4, "", &statuses, &count), 0);
    EXPECT_EQ(
        statuses_of(statuses, count),
        (Statuses{QEL_STATUS_OK, QEL_STATUS_OK, QEL_STATUS_BAD_PATH, QEL_STATUS_BAD_ARGUMENT}));
    ASSERT_EQ(put(a, "/m/leaf", 1), QEL_STATUS_OK);

    const char* tests[] = {"/m/a", "/m/leaf", "/m/none", "/"};
    api_status_t in_place[4] = {};
    ASSERT_EQ(qel_test_nodes(b, tests, 4, in_place), 0);
    EXPECT_EQ(statuses_of(in_place, 4),
              (Statuses{QEL_STATUS_OK, QEL_STATUS_IS_LEAF, QEL_STATUS_NOT_FOUND, QEL_STATUS_OK}));

    const char* leaves[] = {"/m/leaf", "/m/a", "/m/leaf"};
    ASSERT_EQ(qel_clear_leaves(a, leaves, 3, "", &statuses, &count), 0);
    EXPECT_EQ(statuses_of(statuses, count),
              (Statuses{QEL_STATUS_OK, QEL_STATUS_IS_NODE, QEL_STATUS_NOT_FOUND}));
    const char* removals[] = {"/m/a", "/", "/m/a"};
    ASSERT_EQ(qel_remove_nodes(a, removals, 3, "", &statuses, &count), 0);
    EXPECT_EQ(statuses_of(statuses, count),
              (Statuses{QEL_STATUS_OK, QEL_STATUS_ROOT, QEL_STATUS_NOT_FOUND}));
    EXPECT_EQ(test_node(a, "/m/b"), QEL_STATUS_OK);
}

TEST_F(StoreTest, MemoryHandedBackStaysValidUntilTheSameThreadsNextCallOnThatHandle) {
    std::string text = "first", other = "second, and longer than the first";
    ASSERT_EQ(set(a, "/v", text_value(text)), QEL_STATUS_OK);
    _element_datatype_t record{}, again{};
    element_property_t property = 0;
    get(a, "/v", record, property);
    // Calls on another handle, including one overwriting the leaf, leave it alone.
    ASSERT_EQ(set(b, "/v", text_value(other)), QEL_STATUS_OK);
    get(b, "/v", again, property);
    EXPECT_EQ(bytes_of(record.value.string_value), "first");
    EXPECT_EQ(bytes_of(again.value.string_value), other);

    // Statuses handed back to one thread survive a call of another thread on the same handle.
    const char* paths[] = {"/v", "/nothing"};
    _element_datatype_t got[2];
    element_property_t properties[2];
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_get_leaves(a, paths, 2, &statuses, &count, got, properties, 2), 0);
    std::thread([&] {
        api_status_t* theirs = nullptr;
        uint32_t n = 0;
        EXPECT_EQ(qel_get_leaves(a, paths + 1, 1, &theirs, &n, got + 1, properties + 1, 1), 0);
    }).join();
    EXPECT_EQ(statuses_of(statuses, count), (Statuses{QEL_STATUS_OK, QEL_STATUS_NOT_FOUND}));
    EXPECT_EQ(bytes_of(got[0].value.string_value), other);
}
