// The host store's tree through the single-item and listing calls: paths, leaves, nodes,
// conflicts, bad arguments, and the total-and-capacity contract of listing and fetching.
#include <sys/time.h>

#include "store_fixture.h"

using namespace storetest;

TEST_F(StoreTest, PathsAreRootOrSlashSeparatedNonEmptyNames) {
    EXPECT_EQ(test_node(a, "/"), QEL_STATUS_OK);
    for (const char* bad : {"", "a", "/a/", "/a//", "a/b"}) {
        EXPECT_EQ(add_node(a, bad), QEL_STATUS_BAD_PATH) << bad;
        EXPECT_EQ(put(a, bad, 1), QEL_STATUS_BAD_PATH) << bad;
        EXPECT_EQ(test_node(a, bad), QEL_STATUS_BAD_PATH) << bad;
    }
    EXPECT_EQ(test_node(a, "/a"), QEL_STATUS_NOT_FOUND) << "the refused calls created nothing";
    // Names may hold any character but "/".
    EXPECT_EQ(put(a, "/with space/d.o.t/ü", 3), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/with space/d.o.t"), QEL_STATUS_OK);
    // A run of slashes separates like one, so a copy onto the root ("/" + "/" + name) works.
    EXPECT_EQ(test_node(a, "//with space///d.o.t"), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "//"), QEL_STATUS_OK);
}

TEST_F(StoreTest, LeafKeepsDeepCopyOfItsValueTimeStampAndProperty) {
    std::string text = "hello";
    ASSERT_EQ(set(a, "/s", text_value(text, 1234), 5, false, "src"), QEL_STATUS_OK);
    text.assign("XXXXX");  // the caller's buffer changes after the write

    _element_datatype_t record{};
    element_property_t property = 0;
    ASSERT_EQ(get(b, "/s", record, property), QEL_STATUS_OK);
    EXPECT_EQ(record.type, DATATYPE_STRING);
    EXPECT_EQ(bytes_of(record.value.string_value), "hello");
    EXPECT_EQ(record.timestamp.tv_sec, 1234);
    EXPECT_EQ(property, 5u);

    // A later write replaces value, stamp and property; the auto-time flag stamps it now.
    timeval before{};
    gettimeofday(&before, nullptr);
    ASSERT_EQ(set(a, "/s", int_value(7, -1), 1, true, ""), QEL_STATUS_OK);
    get(a, "/s", record, property);
    EXPECT_EQ(record.type, DATATYPE_INT);
    EXPECT_EQ(record.value.int_value, 7);
    EXPECT_GE(record.timestamp.tv_sec, before.tv_sec);
    EXPECT_LE(record.timestamp.tv_sec, before.tv_sec + 5);
    EXPECT_EQ(property, 1u);

    // Without the flag a value without a time stamp stays without one.
    ASSERT_EQ(set(a, "/s", int_value(8, -1)), QEL_STATUS_OK);
    get(a, "/s", record, property);
    EXPECT_EQ(record.timestamp.tv_sec, -1);
    EXPECT_EQ(property, 0u);

    // An empty text is a valid value.
    std::string empty;
    ASSERT_EQ(set(a, "/e", text_value(empty)), QEL_STATUS_OK);
    ASSERT_EQ(get(a, "/e", record, property), QEL_STATUS_OK);
    EXPECT_EQ(record.value.string_value.length, 0u);
}

TEST_F(StoreTest, NodeLeafConflictsAreRefusedAndLeaveEarlierDataIntact) {
    ASSERT_EQ(put(a, "/n/leaf", 42), QEL_STATUS_OK);
    // A leaf where a node is; a node or leaf below a leaf; removing a leaf as a node, clearing a
    // node as a leaf, removing the root.
    EXPECT_EQ(put(a, "/n", 1), QEL_STATUS_IS_NODE);
    EXPECT_EQ(put(a, "/", 1), QEL_STATUS_IS_NODE);
    EXPECT_EQ(add_node(a, "/n/leaf"), QEL_STATUS_IS_LEAF);
    EXPECT_EQ(add_node(a, "/n/leaf/deeper/still"), QEL_STATUS_IS_LEAF);
    EXPECT_EQ(put(a, "/n/leaf/x", 1), QEL_STATUS_IS_LEAF);
    EXPECT_EQ(remove_node(a, "/n/leaf"), QEL_STATUS_IS_LEAF);
    EXPECT_EQ(clear_leaf(a, "/n"), QEL_STATUS_IS_NODE);
    EXPECT_EQ(remove_node(a, "/"), QEL_STATUS_ROOT);
    // Unknown type codes, and text without bytes, are refused.
    for (int32_t code : {0, 11, 255, -1}) {
        _element_datatype_t bad = int_value(9);
        bad.type = static_cast<data_type_t>(code);
        EXPECT_EQ(set(a, "/n/leaf", bad), QEL_STATUS_BAD_TYPE) << code;
    }
    _element_datatype_t dangling{};
    dangling.type = DATATYPE_BLOB;
    dangling.value.blob_value = {nullptr, 4};
    EXPECT_EQ(set(a, "/n/leaf", dangling), QEL_STATUS_BAD_ARGUMENT);

    _element_datatype_t record{};
    element_property_t property = 0;
    EXPECT_EQ(get(b, "/n/leaf", record, property), QEL_STATUS_OK);
    EXPECT_EQ(record.value.int_value, 42);
    EXPECT_EQ(test_node(a, "/n/leaf/deeper"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(test_node(a, "/"), QEL_STATUS_OK);
}

TEST_F(StoreTest, WritesCreateMissingParentsAndRemovalsTakeWholeSubtrees) {
    EXPECT_EQ(put(a, "/x/y/z/leaf", 1), QEL_STATUS_OK);
    EXPECT_EQ(test_node(b, "/x/y/z"), QEL_STATUS_OK);
    EXPECT_EQ(add_node(a, "/p/q/r"), QEL_STATUS_OK);
    EXPECT_EQ(test_node(b, "/p/q"), QEL_STATUS_OK);
    EXPECT_EQ(add_node(a, "/p/q"), QEL_STATUS_OK) << "adding an existing node is no failure";

    EXPECT_EQ(clear_leaf(a, "/x/y/z/leaf"), QEL_STATUS_OK);
    EXPECT_EQ(get(a, "/x/y/z/leaf"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(clear_leaf(a, "/x/y/z/leaf"), QEL_STATUS_NOT_FOUND);
    ASSERT_EQ(put(a, "/x/y/z/leaf", 1), QEL_STATUS_OK);
    EXPECT_EQ(remove_node(a, "/x/y"), QEL_STATUS_OK);
    EXPECT_EQ(test_node(a, "/x/y/z"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(test_node(a, "/x"), QEL_STATUS_OK);
    EXPECT_EQ(remove_node(a, "/x/y"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(add_node(a, "/x/y"), QEL_STATUS_OK);
    EXPECT_EQ(get(a, "/x/y/z/leaf"), QEL_STATUS_NOT_FOUND) << "a recreated node starts empty";
}

TEST_F(StoreTest, BadHandlesAndNullArgumentsGiveDocumentedResults) {
    api_status_t status = 77;
    _element_datatype_t record{};
    element_property_t property = 0;
    EXPECT_EQ(qel_add_node(nullptr, "/a", "", &status), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_get_leaf(nullptr, "/a", &status, &record, &property), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(status, 77);
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
    EXPECT_EQ(add_node(a, nullptr), QEL_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(get(a, nullptr), QEL_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(qel_add_node(a, "/a", nullptr, &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);

    // Stores are separate; a closed store closes its handles and opens no more.
    qel_store_t* other = qel_host_store_open("");
    qel_handle_t c = qel_host_handle_open(other);
    EXPECT_EQ(test_node(c, "/a"), QEL_STATUS_NOT_FOUND);
    qel_host_store_close(other);
    EXPECT_EQ(qel_test_node(c, "/", &status), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_host_handle_open(other), nullptr);
}

TEST_F(StoreTest, ListNodeGivesEntriesInNameOrderAndTheTotalWhateverTheCapacity) {
    ASSERT_EQ(put(a, "/l/delta", 4, 2), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/alpha", 1, 1), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/charlie/x", 3), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/bravo", 2), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/echo", 5), QEL_STATUS_OK);
    ASSERT_EQ(add_node(a, "/empty"), QEL_STATUS_OK);

    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t types[8] = {};
    element_property_t properties[8] = {};
    _byte_array_t names[8] = {};
    auto list = [&](const char* path) {
        EXPECT_EQ(qel_list_node(b, path, &status, &total, types, 8, properties, 8, names, 8), 0);
        return status;
    };
    ASSERT_EQ(list("/l"), QEL_STATUS_OK);
    ASSERT_EQ(total, 5u);
    const char* expected[] = {"alpha", "bravo", "charlie", "delta", "echo"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(bytes_of(names[i]), expected[i]);
    EXPECT_EQ(std::vector<element_type_t>(types, types + 3),
              (std::vector<element_type_t>{QEL_ELEMENT_LEAF, QEL_ELEMENT_LEAF, QEL_ELEMENT_NODE}));
    EXPECT_EQ(std::vector<element_property_t>(properties, properties + 4),
              (std::vector<element_property_t>{1, 0, 0, 2}));

    // Capacity 2: two entries filled, the whole total reported, nothing written past them.
    element_type_t small_types[3] = {-7, -7, -7};
    _byte_array_t small_names[3] = {};
    ASSERT_EQ(qel_list_node(b, "/l", &status, &total, small_types, 2, nullptr, 0, small_names, 2),
              0);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(bytes_of(small_names[1]), "bravo");
    EXPECT_EQ(small_names[2].data, nullptr);
    EXPECT_EQ(small_types[2], -7);

    EXPECT_EQ(list("/empty"), QEL_STATUS_OK);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(list("/none"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(list("/l/alpha"), QEL_STATUS_IS_LEAF);
    EXPECT_EQ(list("/l/"), QEL_STATUS_BAD_PATH);
    // A capacity without an array, or no place for the status, is refused as a whole.
    EXPECT_EQ(qel_list_node(b, "/l", &status, &total, nullptr, 3, properties, 8, names, 8),
              QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_list_node(b, "/l", nullptr, &total, types, 8, properties, 8, names, 8),
              QEL_RESULT_BAD_ARGUMENT);
}

TEST_F(StoreTest, MplFetchGivesANodesLeavesOrTheLeafItself) {
    std::string text = "t";
    ASSERT_EQ(set(a, "/f/b", text_value(text, 9)), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/f/a", 1), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/f/sub/c", 3), QEL_STATUS_OK);

    api_status_t status = 0;
    uint32_t total = 0;
    _element_datatype_t values[4] = {};
    _byte_array_t names[4] = {};
    ASSERT_EQ(qel_mpl_fetch(b, "/f", &status, &total, values, 4, names, 4), 0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(total, 2u);  // the sub-node is not a value
    EXPECT_EQ(bytes_of(names[0]), "a");
    EXPECT_EQ(values[0].value.int_value, 1);
    EXPECT_EQ(bytes_of(names[1]), "b");
    EXPECT_EQ(bytes_of(values[1].value.string_value), "t");
    EXPECT_EQ(values[1].timestamp.tv_sec, 9);

    ASSERT_EQ(qel_mpl_fetch(b, "/f/sub/c", &status, &total, values, 1, names, 1), 0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(total, 1u);
    EXPECT_EQ(bytes_of(names[0]), "c");
    EXPECT_EQ(values[0].value.int_value, 3);

    // Capacity 0 still reports the total, so that the caller can grow its arrays.
    ASSERT_EQ(qel_mpl_fetch(b, "/f", &status, &total, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(total, 2u);
    ASSERT_EQ(qel_mpl_fetch(b, "/nothing", &status, &total, values, 4, names, 4), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(total, 0u);
}
