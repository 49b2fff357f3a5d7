// Subtree copy and move through the client object against the host store.
#include <algorithm>

#include "host_client.h"

using namespace integration;
using toolkit::CElement;

namespace {

// Three levels: /src/g<i>/m<j>/leaf<k>, 10 x 10 x 10 = 1,000 leaves, mixed types and stamps.
void build_source(toolkit::CNyr& client, std::vector<std::string>& relative,
                  std::vector<CElement>& values) {
    std::vector<std::string> paths;
    for (int g = 0; g < 10; ++g)
        for (int m = 0; m < 10; ++m)
            for (int k = 0; k < 10; ++k) {
                const int i = g * 100 + m * 10 + k;
                relative.push_back("/g" + std::to_string(g) + "/m" + std::to_string(m) + "/leaf" +
                                   std::to_string(k));
                paths.push_back("/src" + relative.back());
                if (k % 2)
                    values.emplace_back(std::string("v") + std::to_string(i), tv(5000 + i, i));
                else
                    values.emplace_back(double(i) / 4, tv(5000 + i, i));
            }
    std::vector<qel_tribool_t> tribools(paths.size());
    for (std::size_t i = 0; i < tribools.size(); ++i) tribools[i] = i % 5 == 0 ? 1 : 0;
    std::vector<api_status_t> statuses;
    ASSERT_EQ(client.set_leaves(paths, values, tribools, statuses, "build"), 0);
    ASSERT_EQ(std::count(statuses.begin(), statuses.end(), 1), 1000);
}

// Reads the leaves below `root` at the relative paths.
void read_under(toolkit::CNyr& client, const std::string& root,
                const std::vector<std::string>& relative, std::vector<api_status_t>& statuses,
                std::vector<CElement>& values, std::vector<element_property_t>& properties) {
    std::vector<std::string> paths;
    for (const auto& r : relative) paths.push_back(root + r);
    ASSERT_EQ(client.get_leaves(paths, statuses, values, properties), 0);
}

}  // namespace

TEST_F(HostClientTest, CopyOfAThreeLevelSubtreeKeepsValuesStampsAndProperties) {
    std::vector<std::string> relative;
    std::vector<CElement> values;
    build_source(*first, relative, values);
    api_status_t status = 0;
    ASSERT_EQ(first->add_node("/src/empty/inner", status, ""), 0);

    ASSERT_EQ(first->copy_node_recursive("/src", "/dst/copy", status, "copy"), 0);
    ASSERT_EQ(status, 1);

    std::vector<api_status_t> statuses;
    std::vector<CElement> copied;
    std::vector<element_property_t> properties;
    read_under(*second, "/dst/copy", relative, statuses, copied, properties);
    ASSERT_EQ(copied.size(), 1000u);
    for (std::size_t i = 0; i < copied.size(); ++i) {
        ASSERT_EQ(statuses[i], 1) << relative[i];
        ASSERT_EQ(copied[i], values[i]) << relative[i];
        ASSERT_EQ(copied[i].timestamp.tv_sec, values[i].timestamp.tv_sec) << relative[i];
        ASSERT_EQ(copied[i].timestamp.tv_usec, values[i].timestamp.tv_usec) << relative[i];
        ASSERT_EQ(properties[i], i % 5 == 0 ? 1u : 0u) << relative[i];
    }
    // Empty nodes are copied as empty nodes; the source is still there.
    ASSERT_EQ(second->test_node("/dst/copy/empty/inner", status), 0);
    EXPECT_EQ(status, 1);
    read_under(*second, "/src", relative, statuses, copied, properties);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 1), 1000);

    // A leaf whose property is above 1 is not copied.
    CElement odd(int32_t(1));
    ASSERT_EQ(first->set_leaf("/src/g0/odd", odd, status, 7, ""), 0);
    ASSERT_EQ(first->copy_node_recursive("/src/g0", "/dst/g0only", status, ""), 0);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(second->test_node("/dst/g0only/m9", status), 0);
    EXPECT_EQ(status, 1);
    CElement missing;
    element_property_t property = 0;
    ASSERT_EQ(second->get_leaf("/dst/g0only/odd", status, missing, property), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
}

TEST_F(HostClientTest, MoveTakesTheSubtreeAwayAndRefusesAnExistingTarget) {
    std::vector<std::string> relative;
    std::vector<CElement> values;
    build_source(*first, relative, values);
    api_status_t status = 0;

    ASSERT_EQ(first->add_node("/taken", status, ""), 0);
    ASSERT_EQ(first->move_node("/src", "/taken", status, ""), 0);
    EXPECT_EQ(status, 3);
    ASSERT_EQ(second->test_node("/src/g9/m9", status), 0);
    EXPECT_EQ(status, 1);

    ASSERT_EQ(first->move_node("/src", "/moved/here", status, "move"), 0);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(second->test_node("/src", status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    std::vector<api_status_t> statuses;
    std::vector<CElement> moved;
    std::vector<element_property_t> properties;
    read_under(*second, "/moved/here", relative, statuses, moved, properties);
    ASSERT_EQ(moved.size(), 1000u);
    for (std::size_t i = 0; i < moved.size(); ++i) {
        ASSERT_EQ(statuses[i], 1);
        ASSERT_EQ(moved[i], values[i]);
        ASSERT_EQ(moved[i].timestamp.tv_sec, values[i].timestamp.tv_sec);
    }

    // A copy that cannot write (a leaf where the target's node would go) stops with the store's
    // status, and the move keeps its source.
    CElement blocker(int32_t(0));
    ASSERT_EQ(first->set_leaf("/blocked", blocker, status, 0, ""), 0);
    ASSERT_EQ(first->move_node("/moved", "/blocked/below", status, ""), 0);
    EXPECT_EQ(status, QEL_STATUS_IS_LEAF);
    ASSERT_EQ(second->test_node("/moved/here/g0", status), 0);
    EXPECT_EQ(status, 1);
}
