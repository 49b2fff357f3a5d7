// Batches, listing and multi-path fetch through the client object against the host store.
#include <algorithm>
#include <cstdio>

#include "host_client.h"

using namespace integration;
using toolkit::CElement;

TEST_F(HostClientTest, TenThousandLeavesWrittenAndReadInOneBatch) {
    constexpr int kLeaves = 10000;
    std::vector<std::string> paths;
    std::vector<CElement> values;
    std::vector<qel_tribool_t> tribools(kLeaves, 0);
    for (int i = 0; i < kLeaves; ++i) {
        paths.push_back("/batch/n" + std::to_string(i / 100) + "/leaf" + std::to_string(i));
        if (i % 3 == 0)
            values.emplace_back(std::string("text ") + std::to_string(i), tv(1000 + i));
        else
            values.emplace_back(int32_t(i), tv(1000 + i));
    }
    std::vector<api_status_t> statuses = {7, 7};
    ASSERT_EQ(first->set_leaves(paths, values, tribools, statuses, "batch"), 0);
    ASSERT_EQ(statuses.size(), static_cast<std::size_t>(kLeaves));
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 1), kLeaves);

    std::vector<CElement> read;
    std::vector<element_property_t> properties;
    ASSERT_EQ(second->get_leaves(paths, statuses, read, properties), 0);
    ASSERT_EQ(read.size(), static_cast<std::size_t>(kLeaves));
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 1), kLeaves);
    for (int i = 0; i < kLeaves; ++i) {
        ASSERT_EQ(read[i], values[i]) << paths[i];
        ASSERT_EQ(read[i].timestamp.tv_sec, 1000 + i);
    }

    // One missing path among them: still one element per path, the missing one invalid.
    std::vector<std::string> some = {paths[5], "/batch/missing", paths[7]};
    ASSERT_EQ(second->get_leaves(some, statuses, read, properties), 0);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(statuses[1], QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(read[1].type, DATATYPE_INVALID);
    EXPECT_EQ(read[2].to_int(), 7);

    std::vector<api_status_t> tested;
    ASSERT_EQ(second->test_nodes({"/batch/n0", paths[0], "/none"}, tested), 0);
    EXPECT_EQ(tested, (std::vector<api_status_t>{1, QEL_STATUS_IS_LEAF, QEL_STATUS_NOT_FOUND}));
    ASSERT_EQ(first->clear_leaves({paths[0], paths[0]}, statuses, ""), 0);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{1, QEL_STATUS_NOT_FOUND}));
    ASSERT_EQ(first->remove_nodes({"/batch"}, statuses, ""), 0);
    ASSERT_EQ(second->test_node("/batch", statuses[0]), 0);
    EXPECT_EQ(statuses[0], QEL_STATUS_NOT_FOUND);
}

TEST_F(HostClientTest, ListingAndFetchGrowPastTheirFirstCapacity) {
    // 600 entries need a second listing pass; 40 values a second fetch pass.
    std::vector<std::string> paths;
    std::vector<CElement> values;
    for (int i = 0; i < 600; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/list/e%03d", i);
        paths.push_back(name);
        values.emplace_back(int32_t(i));
    }
    std::vector<api_status_t> statuses;
    ASSERT_EQ(first->set_leaves(paths, values, std::vector<qel_tribool_t>(600, 1), statuses, ""),
              0);
    api_status_t status = 0;
    ASSERT_EQ(first->add_node("/list/zz_node", status, ""), 0);

    toolkit::CNyr::listing_t listing(3);
    ASSERT_EQ(second->list_node("/list", status, listing), 0);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(listing.size(), 601u);
    EXPECT_EQ(listing[0].first, "e000");
    EXPECT_EQ(listing[599].first, "e599");
    EXPECT_EQ(listing[599].second.first, QEL_ELEMENT_LEAF);
    EXPECT_EQ(listing[599].second.second, 1u);
    EXPECT_EQ(listing[600].first, "zz_node");
    EXPECT_EQ(listing[600].second.first, QEL_ELEMENT_NODE);

    std::vector<std::string> few(paths.begin(), paths.begin() + 40);
    for (auto& p : few) p.replace(0, 5, "/few");
    ASSERT_EQ(first->set_leaves(few, std::vector<CElement>(values.begin(), values.begin() + 40),
                                std::vector<qel_tribool_t>(40, 0), statuses, ""),
              0);
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
