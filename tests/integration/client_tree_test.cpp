// Leaves, nodes, batches, listing, and subtree copy and move through the client object against
// the host store.
#include <sys/time.h>

#include <algorithm>
#include <cstdio>

#include "host_client.h"

using namespace integration;
using toolkit::CElement;
using Statuses = std::vector<api_status_t>;

namespace {

// Writes /src/g<i>/m<j>/leaf<k>, 10 x 10 x 10 leaves of mixed types and stamps, every fifth of
// property 1; `relative` gets the paths below /src, `values` the values.
void build_source(toolkit::CNyr& client, std::vector<std::string>& relative,
                  std::vector<CElement>& values) {
    std::vector<std::string> paths;
    std::vector<qel_tribool_t> tribools;
    for (int i = 0; i < 1000; ++i) {
        relative.push_back("/g" + std::to_string(i / 100) + "/m" + std::to_string(i / 10 % 10) +
                           "/leaf" + std::to_string(i % 10));
        paths.push_back("/src" + relative.back());
        if (i % 2)
            values.emplace_back(std::string("v") + std::to_string(i), tv(5000 + i, i));
        else
            values.emplace_back(double(i) / 4, tv(5000 + i, i));
        tribools.push_back(i % 5 == 0 ? 1 : 0);
    }
    Statuses statuses;
    ASSERT_EQ(client.set_leaves(paths, values, tribools, statuses, "build"), 0);
    ASSERT_EQ(std::count(statuses.begin(), statuses.end(), 1), 1000);
}

// Expects the leaves below `root` at the relative paths to hold `values` with their stamps, and
// every fifth to have property 1.
void expect_leaves_under(toolkit::CNyr& client, const std::string& root,
                         const std::vector<std::string>& relative,
                         const std::vector<CElement>& values) {
    std::vector<std::string> paths;
    for (const auto& r : relative) paths.push_back(root + r);
    Statuses statuses;
    std::vector<CElement> read;
    std::vector<element_property_t> properties;
    ASSERT_EQ(client.get_leaves(paths, statuses, read, properties), 0);
    ASSERT_EQ(read.size(), values.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        ASSERT_EQ(statuses[i], 1) << paths[i];
        ASSERT_EQ(read[i], values[i]) << paths[i];
        ASSERT_EQ(read[i].timestamp.tv_sec, values[i].timestamp.tv_sec) << paths[i];
        ASSERT_EQ(read[i].timestamp.tv_usec, values[i].timestamp.tv_usec) << paths[i];
        ASSERT_EQ(properties[i], i % 5 == 0 ? 1u : 0u) << paths[i];
    }
}

}  // namespace

TEST_F(HostClientTest, LeafWrittenAndReadBackWithAndWithoutTimeStamp) {
    api_status_t status = 0;
    element_property_t property = 99;

    // No time stamp: under the initial settings the store stamps the write with its own time.
    timeval before{};
    gettimeofday(&before, nullptr);
    CElement text(std::string("pump running")), read;
    ASSERT_EQ(first->set_leaf("/plant/pump/state", text, status, 1, "op"), 0);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(second->get_leaf("/plant/pump/state", status, read, property), 0);
    ASSERT_EQ(status, 1);
    EXPECT_EQ(read, text);
    EXPECT_EQ(property, 1u);
    EXPECT_GE(read.timestamp.tv_sec, before.tv_sec);
    EXPECT_LE(read.timestamp.tv_sec, before.tv_sec + 5);
    text = CElement(std::string("changed afterwards"));
    std::string shown;
    read.to_string(shown);
    EXPECT_EQ(shown, "pump running");  // the read value owns its text

    // With a time stamp: kept as written; forced auto-time stamps it all the same.
    CElement stamped(int32_t(42), tv(1700000000, 250000));
    ASSERT_EQ(first->set_leaf("/plant/pump/speed", stamped, status, 0, ""), 0);
    ASSERT_EQ(second->get_leaf("/plant/pump/speed", status, read, property), 0);
    EXPECT_EQ(read.to_int(), 42);
    EXPECT_EQ(read.timestamp.tv_sec, 1700000000);
    EXPECT_EQ(read.timestamp.tv_usec, 250000);
    EXPECT_EQ(property, 0u);
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
    EXPECT_EQ(node_status("/a"), 1);
    first->setReadOnly();
    ASSERT_EQ(first->remove_node("/a", status, ""), 0);
    EXPECT_EQ(status, 1);  // refused, reported as success
    EXPECT_EQ(node_status("/a/b"), 1);
    first->clearReadOnly();
    ASSERT_EQ(first->remove_node("/a", status, ""), 0);
    EXPECT_EQ(node_status("/a/b"), QEL_STATUS_NOT_FOUND);
    // The store's own failure statuses pass through the client.
    ASSERT_EQ(first->add_node("bad//path", status, ""), 0);
    EXPECT_EQ(status, QEL_STATUS_BAD_PATH);
}

TEST_F(HostClientTest, TenThousandLeavesWrittenAndReadInOneBatch) {
    constexpr int kLeaves = 10000;
    std::vector<std::string> paths;
    std::vector<CElement> values;
    for (int i = 0; i < kLeaves; ++i) {
        paths.push_back("/batch/n" + std::to_string(i / 100) + "/leaf" + std::to_string(i));
        if (i % 3 == 0)
            values.emplace_back(std::string("text ") + std::to_string(i), tv(1000 + i));
        else
            values.emplace_back(int32_t(i), tv(1000 + i));
    }
    Statuses statuses = {7, 7};
    ASSERT_EQ(
        first->set_leaves(paths, values, std::vector<qel_tribool_t>(kLeaves, 0), statuses, "batch"),
        0);
    EXPECT_EQ(statuses, Statuses(kLeaves, 1));

    std::vector<CElement> read;
    std::vector<element_property_t> properties;
    ASSERT_EQ(second->get_leaves(paths, statuses, read, properties), 0);
    EXPECT_EQ(statuses, Statuses(kLeaves, 1));
    ASSERT_EQ(read.size(), static_cast<std::size_t>(kLeaves));
    for (int i = 0; i < kLeaves; ++i) {
        ASSERT_EQ(read[i], values[i]) << paths[i];
        ASSERT_EQ(read[i].timestamp.tv_sec, 1000 + i);
    }

    // One missing path among them: still one element per path, the missing one invalid.
    ASSERT_EQ(
        second->get_leaves({paths[5], "/batch/missing", paths[7]}, statuses, read, properties), 0);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(statuses[1], QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(read[1].type, DATATYPE_INVALID);
    EXPECT_EQ(read[2].to_int(), 7);

    ASSERT_EQ(second->test_nodes({"/batch/n0", paths[0], "/none"}, statuses), 0);
    EXPECT_EQ(statuses, (Statuses{1, QEL_STATUS_IS_LEAF, QEL_STATUS_NOT_FOUND}));
    ASSERT_EQ(first->clear_leaves({paths[0], paths[0]}, statuses, ""), 0);
    EXPECT_EQ(statuses, (Statuses{1, QEL_STATUS_NOT_FOUND}));
    ASSERT_EQ(first->remove_nodes({"/batch"}, statuses, ""), 0);
    EXPECT_EQ(node_status("/batch"), QEL_STATUS_NOT_FOUND);
}

TEST_F(HostClientTest, ListingAndFetchGrowPastTheirFirstCapacity) {
    // 600 entries need a second listing pass; 40 values a second fetch pass.
    std::vector<std::string> paths, few;
    std::vector<CElement> values;
    for (int i = 0; i < 600; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/list/e%03d", i);
        paths.push_back(name);
        values.emplace_back(int32_t(i));
        if (i < 40) few.push_back("/few" + paths.back().substr(5));
    }
    Statuses statuses;
    ASSERT_EQ(first->set_leaves(paths, values, std::vector<qel_tribool_t>(600, 1), statuses, ""),
              0);
    values.resize(40);
    ASSERT_EQ(first->set_leaves(few, values, std::vector<qel_tribool_t>(40, 0), statuses, ""), 0);
    api_status_t status = 0;
    ASSERT_EQ(first->add_node("/list/zz_node", status, ""), 0);

    toolkit::CNyr::listing_t listing(3);
    ASSERT_EQ(second->list_node("/list", status, listing), 0);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(listing.size(), 601u);
    EXPECT_EQ(listing[0].first, "e000");
    EXPECT_EQ(listing[599].first, "e599");
    EXPECT_EQ(listing[599].second, std::make_pair(QEL_ELEMENT_LEAF, element_property_t{1}));
    EXPECT_EQ(listing[600].first, "zz_node");
    EXPECT_EQ(listing[600].second.first, QEL_ELEMENT_NODE);

    toolkit::CNyr::fetch_t fetched;
    ASSERT_EQ(second->mpl_fetch("/few", status, fetched), 0);
    ASSERT_EQ(fetched.size(), 40u);
    EXPECT_EQ(fetched[39].first, "e039");
    EXPECT_EQ(fetched[39].second.to_int(), 39);

    // A missing node: status says so and the result is left alone.
    ASSERT_EQ(second->list_node("/nothing", status, listing), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(listing.size(), 601u);
}

TEST_F(HostClientTest, CopyAndMoveOfAThreeLevelSubtreeKeepValuesStampsAndProperties) {
    std::vector<std::string> relative;
    std::vector<CElement> values;
    build_source(*first, relative, values);
    api_status_t status = 0;
    ASSERT_EQ(first->add_node("/src/empty/inner", status, ""), 0);

    ASSERT_EQ(first->copy_node_recursive("/src", "/dst/copy", status, "copy"), 0);
    ASSERT_EQ(status, 1);
    expect_leaves_under(*second, "/dst/copy", relative, values);
    // Empty nodes are copied as empty nodes; the source is still there.
    EXPECT_EQ(node_status("/dst/copy/empty/inner"), 1);
    expect_leaves_under(*second, "/src", relative, values);

    // A leaf whose property is above 1 is not copied.
    ASSERT_EQ(first->set_leaf("/src/g0/odd", CElement(int32_t(1)), status, 7, ""), 0);
    ASSERT_EQ(first->copy_node_recursive("/src/g0", "/dst/g0only", status, ""), 0);
    ASSERT_EQ(status, 1);
    EXPECT_EQ(node_status("/dst/g0only/m9"), 1);
    EXPECT_EQ(node_status("/dst/g0only/odd"), QEL_STATUS_NOT_FOUND);

    // A move onto an existing node is refused; otherwise it takes the subtree away.
    ASSERT_EQ(first->move_node("/src", "/dst", status, ""), 0);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(node_status("/src/g9/m9"), 1);
    ASSERT_EQ(first->move_node("/src", "/moved/here", status, "move"), 0);
    ASSERT_EQ(status, 1);
    EXPECT_EQ(node_status("/src"), QEL_STATUS_NOT_FOUND);
    expect_leaves_under(*second, "/moved/here", relative, values);

    // A copy that cannot write (a leaf where the target's node would go) stops with the store's
    // status, and the move keeps its source.
    ASSERT_EQ(first->set_leaf("/blocked", CElement(int32_t(0)), status, 0, ""), 0);
    ASSERT_EQ(first->move_node("/moved", "/blocked/below", status, ""), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_LEAF);
    EXPECT_EQ(node_status("/moved/here/g0"), 1);
}
