// Listing a node and fetching values: name order, and the total-and-capacity contract.
#include "store_fixture.h"

using namespace storetest;

TEST_F(StoreTest, ListNodeGivesEntriesInNameOrderAndTheTotalWhateverTheCapacity) {
    ASSERT_EQ(put(a, "/l/delta", 4, 2), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/alpha", 1, 1), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/charlie/x", 3), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/bravo", 2), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/l/echo", 5), QEL_STATUS_OK);

    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t types[8] = {};
    element_property_t properties[8] = {};
    _byte_array_t names[8] = {};
    ASSERT_EQ(qel_list_node(b, "/l", &status, &total, types, 8, properties, 8, names, 8), 0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(total, 5u);
    const char* expected[] = {"alpha", "bravo", "charlie", "delta", "echo"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(bytes_of(names[i]), expected[i]);
    EXPECT_EQ(types[2], QEL_ELEMENT_NODE);
    EXPECT_EQ(types[0], QEL_ELEMENT_LEAF);
    EXPECT_EQ(properties[0], 1u);
    EXPECT_EQ(properties[3], 2u);

    // Capacity 2: two entries filled, the whole total reported, nothing written past them.
    element_type_t small_types[3] = {-7, -7, -7};
    _byte_array_t small_names[3] = {};
    ASSERT_EQ(qel_list_node(b, "/l", &status, &total, small_types, 2, nullptr, 0, small_names, 2),
              0);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(bytes_of(small_names[1]), "bravo");
    EXPECT_EQ(small_names[2].data, nullptr);
    EXPECT_EQ(small_types[2], -7);

    // An empty node, a missing node, a leaf, a bad path.
    ASSERT_EQ(qel_add_node(a, "/empty", "", &status), 0);
    ASSERT_EQ(qel_list_node(b, "/empty", &status, &total, types, 8, properties, 8, names, 8), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    EXPECT_EQ(total, 0u);
    ASSERT_EQ(qel_list_node(b, "/none", &status, &total, types, 8, properties, 8, names, 8), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    ASSERT_EQ(qel_list_node(b, "/l/alpha", &status, &total, types, 8, properties, 8, names, 8), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_LEAF);
    ASSERT_EQ(qel_list_node(b, "/l/", &status, &total, types, 8, properties, 8, names, 8), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_PATH);
    // A capacity without an array is refused as a whole.
    EXPECT_EQ(qel_list_node(b, "/l", &status, &total, nullptr, 3, properties, 8, names, 8),
              QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_list_node(b, "/l", nullptr, &total, types, 8, properties, 8, names, 8),
              QEL_RESULT_BAD_ARGUMENT);
}

TEST_F(StoreTest, MplFetchGivesANodesLeavesOrTheLeafItself) {
    std::string text = "t";
    api_status_t status = 0;
    ASSERT_EQ(qel_set_leaf(a, "/f/b", text_value(text, 9), 0, false, "", &status), 0);
    ASSERT_EQ(put(a, "/f/a", 1), QEL_STATUS_OK);
    ASSERT_EQ(put(a, "/f/sub/c", 3), QEL_STATUS_OK);

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
