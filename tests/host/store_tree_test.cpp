// The host store's tree through the single-item calls: paths, leaves, nodes and conflicts.
#include <sys/time.h>

#include "store_fixture.h"

using namespace storetest;

TEST_F(StoreTest, PathsAreRootOrSlashSeparatedNonEmptyNames) {
    EXPECT_EQ(test_node(a, "/"), QEL_STATUS_OK);
    for (const char* bad : {"", "a", "/a//b", "/a/", "//", "a/b"}) {
        api_status_t status = 0;
        EXPECT_EQ(qel_add_node(a, bad, "", &status), 0) << bad;
        EXPECT_EQ(status, QEL_STATUS_BAD_PATH) << bad;
        EXPECT_EQ(qel_set_leaf(a, bad, int_value(1), 0, false, "", &status), 0);
        EXPECT_EQ(status, QEL_STATUS_BAD_PATH) << bad;
        EXPECT_EQ(test_node(a, bad), QEL_STATUS_BAD_PATH) << bad;
    }
    // Nothing was created by the refused calls.
    EXPECT_EQ(test_node(a, "/a"), QEL_STATUS_NOT_FOUND);
    // Names may hold any character but "/".
    EXPECT_EQ(put(a, "/with space/d.o.t/ü", 3), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/with space/d.o.t"), QEL_STATUS_OK);
}

TEST_F(StoreTest, LeafKeepsDeepCopyOfItsValueTimeStampAndProperty) {
    std::string text = "hello";
    api_status_t status = 0;
    ASSERT_EQ(qel_set_leaf(a, "/s", text_value(text, 1234), 5, false, "src", &status), 0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    text.assign("XXXXX");  // the caller's buffer changes after the write

    _element_datatype_t record{};
    element_property_t property = 0;
    ASSERT_EQ(qel_get_leaf(b, "/s", &status, &record, &property), 0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(record.type, DATATYPE_STRING);
    EXPECT_EQ(bytes_of(record.value.string_value), "hello");
    EXPECT_EQ(record.timestamp.tv_sec, 1234);
    EXPECT_EQ(property, 5u);

    // A later write replaces value, stamp and property; the auto-time flag stamps it now.
    timeval before{};
    gettimeofday(&before, nullptr);
    ASSERT_EQ(qel_set_leaf(a, "/s", int_value(7, -1), 1, true, "", &status), 0);
    ASSERT_EQ(qel_get_leaf(a, "/s", &status, &record, &property), 0);
    EXPECT_EQ(record.type, DATATYPE_INT);
    EXPECT_EQ(record.value.int_value, 7);
    EXPECT_GE(record.timestamp.tv_sec, before.tv_sec);
    EXPECT_LE(record.timestamp.tv_sec, before.tv_sec + 5);
    EXPECT_EQ(property, 1u);

    // Without the flag a value without a time stamp stays without one.
    ASSERT_EQ(qel_set_leaf(a, "/s", int_value(8, -1), 0, false, "", &status), 0);
    ASSERT_EQ(qel_get_leaf(a, "/s", &status, &record, &property), 0);
    EXPECT_EQ(record.timestamp.tv_sec, -1);
    EXPECT_EQ(property, 0u);

    // An empty text is a valid value.
    std::string empty;
    ASSERT_EQ(qel_set_leaf(a, "/e", text_value(empty), 0, false, "", &status), 0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(qel_get_leaf(a, "/e", &status, &record, &property), 0);
    EXPECT_EQ(record.value.string_value.length, 0u);
}

TEST_F(StoreTest, WritesCreateMissingNodesAboveThem) {
    EXPECT_EQ(put(a, "/x/y/z/leaf", 1), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/x"), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/x/y/z"), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/x/y/z/leaf"), QEL_STATUS_IS_LEAF);
    api_status_t status = 0;
    EXPECT_EQ(qel_add_node(a, "/p/q/r", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(test_node(b, "/p/q"), QEL_STATUS_OK);
    // Adding an existing node again is no failure.
    EXPECT_EQ(qel_add_node(a, "/p/q", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
}

TEST_F(StoreTest, NodeLeafConflictsAreRefusedAndLeaveEarlierDataIntact) {
    ASSERT_EQ(put(a, "/n/leaf", 42), QEL_STATUS_OK);
    api_status_t status = 0;
    // A leaf written where a node is.
    EXPECT_EQ(put(a, "/n", 1), QEL_STATUS_IS_NODE);
    EXPECT_EQ(put(a, "/", 1), QEL_STATUS_IS_NODE);
    // A node or leaf below a leaf.
    EXPECT_EQ(qel_add_node(a, "/n/leaf", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_LEAF);
    EXPECT_EQ(qel_add_node(a, "/n/leaf/deeper/still", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_LEAF);
    EXPECT_EQ(put(a, "/n/leaf/x", 1), QEL_STATUS_IS_LEAF);
    // Removing a leaf as a node, clearing a node as a leaf, removing the root.
    EXPECT_EQ(qel_remove_node(a, "/n/leaf", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_LEAF);
    EXPECT_EQ(qel_clear_leaf(a, "/n", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_NODE);
    EXPECT_EQ(qel_remove_node(a, "/", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_ROOT);
    // Unknown type codes, and text without bytes, are refused.
    for (int32_t code : {0, 11, 255, -1}) {
        _element_datatype_t bad = int_value(9);
        bad.type = static_cast<data_type_t>(code);
        EXPECT_EQ(qel_set_leaf(a, "/n/leaf", bad, 0, false, "", &status), 0);
        EXPECT_EQ(status, QEL_STATUS_BAD_TYPE) << code;
    }
    _element_datatype_t dangling{};
    dangling.type = DATATYPE_BLOB;
    dangling.value.blob_value = {nullptr, 4};
    EXPECT_EQ(qel_set_leaf(a, "/n/leaf", dangling, 0, false, "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_ARGUMENT);

    EXPECT_EQ(get_int(b, "/n/leaf", status), 42);
    EXPECT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/n/leaf/deeper"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(test_node(a, "/"), QEL_STATUS_OK);
}

TEST_F(StoreTest, ClearAndRemoveTakeLeavesAndWholeSubtreesAway) {
    ASSERT_EQ(put(a, "/t/a/1", 1), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/t/a/2", 2), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/t/b", 3), QEL_STATUS_OK);
    api_status_t status = 0;
    EXPECT_EQ(qel_clear_leaf(a, "/t/b", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    get_int(a, "/t/b", status);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(qel_clear_leaf(a, "/t/b", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);

    EXPECT_EQ(qel_remove_node(a, "/t/a", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/t/a"), QEL_STATUS_NOT_FOUND);
    get_int(a, "/t/a/1", status);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(test_node(a, "/t"), QEL_STATUS_OK);
    EXPECT_EQ(qel_remove_node(a, "/t/a", "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    // A node recreated where a subtree was removed starts empty.
    EXPECT_EQ(qel_add_node(a, "/t/a", "", &status), 0);
    get_int(a, "/t/a/2", status);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
}

TEST_F(StoreTest, BadHandlesAndNullArgumentsGiveDocumentedResults) {
    api_status_t status = 77;
    _element_datatype_t record{};
    element_property_t property = 0;
    EXPECT_EQ(qel_add_node(nullptr, "/a", "", &status), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_get_leaf(nullptr, "/a", &status, &record, &property), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(status, 77);
    // Closed handles and closed stores.
    qel_host_handle_close(b);
    EXPECT_EQ(qel_test_node(b, "/", &status), QEL_RESULT_BAD_HANDLE);
    qel_host_handle_close(b);  // closing twice is harmless
    EXPECT_EQ(qel_host_handle_open(nullptr), nullptr);
    // Null out-parameters: nothing to report into.
    EXPECT_EQ(qel_add_node(a, "/a", "", nullptr), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_get_leaf(a, "/a", &status, nullptr, &property), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_get_leaf(a, "/a", &status, &record, nullptr), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(test_node(a, "/a"), QEL_STATUS_NOT_FOUND);
    // A null path is an item failure; a null source reads as "".
    EXPECT_EQ(qel_add_node(a, nullptr, "", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(qel_get_leaf(a, nullptr, &status, &record, &property), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(qel_add_node(a, "/a", nullptr, &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);

    qel_store_t* other = qel_host_store_open(nullptr);
    qel_handle_t c = qel_host_handle_open(other);
    qel_host_store_close(other);
    EXPECT_EQ(qel_test_node(c, "/", &status), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_host_handle_open(other), nullptr);
}

TEST_F(StoreTest, StoresAreSeparateAndHandlesOfOneStoreShareItsTree) {
    ASSERT_EQ(put(a, "/shared", 5), QEL_STATUS_OK);
    api_status_t status = 0;
    EXPECT_EQ(get_int(b, "/shared", status), 5);
    EXPECT_EQ(status, QEL_STATUS_OK);
    qel_store_t* other = qel_host_store_open("");
    ASSERT_NE(other, nullptr);
    qel_handle_t c = qel_host_handle_open(other);
    get_int(c, "/shared", status);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    qel_host_store_close(other);
}
