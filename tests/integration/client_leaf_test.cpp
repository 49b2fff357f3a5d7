// A leaf written through the client object and read back from the host store.
#include "host_client.h"

using namespace integration;
using toolkit::CElement;

TEST_F(HostClientTest, LeafWrittenAndReadBackWithAndWithoutTimeStamp) {
    api_status_t status = 0;
    element_property_t property = 99;

    // No time stamp: under the initial settings the store stamps the write with its own time.
    timeval before{};
    gettimeofday(&before, nullptr);
    CElement text(std::string("pump running"));
    ASSERT_EQ(first->set_leaf("/plant/pump/state", text, status, 1, "op"), 0);
    ASSERT_EQ(status, 1);
    CElement read;
    ASSERT_EQ(second->get_leaf("/plant/pump/state", status, read, property), 0);
    ASSERT_EQ(status, 1);
    std::string shown;
    read.to_string(shown);
    EXPECT_EQ(shown, "pump running");
    EXPECT_EQ(read, text);
    EXPECT_EQ(property, 1u);
    EXPECT_GE(read.timestamp.tv_sec, before.tv_sec);
    EXPECT_LE(read.timestamp.tv_sec, before.tv_sec + 5);
    text = CElement(std::string("changed afterwards"));
    read.to_string(shown);
    EXPECT_EQ(shown, "pump running");  // the read value owns its text

    // With a time stamp: kept as written.
    CElement stamped(int32_t(42), tv(1700000000, 250000));
    ASSERT_EQ(first->set_leaf("/plant/pump/speed", stamped, status, 0, ""), 0);
    ASSERT_EQ(second->get_leaf("/plant/pump/speed", status, read, property), 0);
    EXPECT_EQ(read.to_int(), 42);
    EXPECT_EQ(read.timestamp.tv_sec, 1700000000);
    EXPECT_EQ(read.timestamp.tv_usec, 250000);
    EXPECT_EQ(property, 0u);

    // Forced auto-time stamps even a value that has its own time stamp.
    CElement::_forced_auto_time = true;
    ASSERT_EQ(first->set_leaf("/plant/pump/speed", stamped, status, 0, ""), 0);
    ASSERT_EQ(second->get_leaf("/plant/pump/speed", status, read, property), 0);
    EXPECT_GE(read.timestamp.tv_sec, before.tv_sec);

    // A failed read leaves the element as it was.
    ASSERT_EQ(second->get_leaf("/plant/none", status, read, property), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(read.to_int(), 42);
}

TEST_F(HostClientTest, NodesAndReadOnlyModeAgainstTheStore) {
    api_status_t status = 0;
    ASSERT_EQ(first->add_node("/a/b", status, ""), 0);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(second->test_node("/a", status), 0);
    EXPECT_EQ(status, 1);
    first->setReadOnly();
    ASSERT_EQ(first->remove_node("/a", status, ""), 0);
    EXPECT_EQ(status, 1);  // refused, reported as success
    ASSERT_EQ(second->test_node("/a/b", status), 0);
    EXPECT_EQ(status, 1);  // still there
    first->clearReadOnly();
    ASSERT_EQ(first->remove_node("/a", status, ""), 0);
    ASSERT_EQ(second->test_node("/a/b", status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    // The store's own failure statuses pass through the client.
    ASSERT_EQ(first->add_node("bad//path", status, ""), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_PATH);
}
