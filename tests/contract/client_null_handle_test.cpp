// Every CNyr member that uses the store handle gives -1 for a client without a store, in
// read-only mode as well, and touches neither its arguments nor the store.
#include <toolkit/nyr.h>

#include <string>
#include <vector>

#include "double/store_double.h"

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

class ClientWithoutStore : public nyrdouble::DoubleTest {};

TEST_F(ClientWithoutStore, EveryMemberGivesMinusOneAndTouchesNothing) {
    for (bool read_only : {false, true}) {
        SCOPED_TRACE(read_only ? "read-only" : "writable");
        CNyr client(nullptr, read_only);
        const std::vector<std::string> paths{"/a", "/b"};
        const std::vector<CElement> values(2, CElement(true));
        const std::vector<qel_tribool_t> tribools{0, 1};
        api_status_t status = 42;
        std::vector<api_status_t> statuses{42};
        CElement value(int32_t{42});
        element_property_t property = 42;
        std::vector<CElement> read{value};
        std::vector<element_property_t> properties{42};
        CNyr::listing_t listing{{"kept", {1, 42}}};
        CNyr::fetch_t fetched{{"kept", CElement(int32_t{42})}};
        std::vector<CEvent> events{CEvent(0x8)};

        EXPECT_EQ(client.add_node("/a", status, ""), -1);
        EXPECT_EQ(client.remove_node("/a", status, ""), -1);
        EXPECT_EQ(client.clear_leaf("/a", status, ""), -1);
        EXPECT_EQ(client.set_leaf("/a", value, status, 0, ""), -1);
        EXPECT_EQ(client.test_node("/a", status), -1);
        EXPECT_EQ(client.get_leaf("/a", status, value, property), -1);
        EXPECT_EQ(client.test_nodes(paths, statuses), -1);
        EXPECT_EQ(client.add_nodes(paths, statuses, ""), -1);
        EXPECT_EQ(client.remove_nodes(paths, statuses, ""), -1);
        EXPECT_EQ(client.clear_leaves(paths, statuses, ""), -1);
        EXPECT_EQ(client.set_leaves(paths, values, tribools, statuses, ""), -1);
        EXPECT_EQ(client.get_leaves(paths, statuses, read, properties), -1);
        EXPECT_EQ(client.list_node("/a", status, listing), -1);
        EXPECT_EQ(client.mpl_fetch("/a", status, fetched), -1);
        EXPECT_EQ(client.copy_node_recursive("/a", "/b", status, ""), -1);
        EXPECT_EQ(client.move_node("/a", "/b", status, ""), -1);
        EXPECT_EQ(client.event_register("/a", 1, true, status), -1);
        EXPECT_EQ(client.event_clear("/a", 1, status), -1);
        EXPECT_EQ(client.events_send(events, statuses), -1);
        EXPECT_EQ(client.events_get(events), -1);
        EXPECT_EQ(client.events_get_nonblocking(events), -1);
        EXPECT_EQ(client.watchdog_register(status, "w", 1, true), -1);
        EXPECT_EQ(client.watchdog_ping(status), -1);
        EXPECT_EQ(client.watchdog_clear(status), -1);
        EXPECT_EQ(client.set_verbosity(0, 1, "", status), -1);
        EXPECT_EQ(client.syslog_add("a", 1, "b", "c"), -1);

        EXPECT_EQ(status, 42);
        EXPECT_EQ(property, 42u);
        EXPECT_EQ(value.to_int(), 42);
        EXPECT_EQ(statuses, (std::vector<api_status_t>{42}));
        EXPECT_EQ(properties, (std::vector<element_property_t>{42}));
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].to_int(), 42);
        EXPECT_EQ(listing, (CNyr::listing_t{{"kept", {1, 42}}}));
        ASSERT_EQ(fetched.size(), 1u);
        EXPECT_EQ(fetched[0].first, "kept");
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].type, 0x8);
        EXPECT_TRUE(store().calls.empty());
    }
}

}  // namespace
