// Events between two client objects through the host store: sent events and tree changes,
// fetched with and without waiting.
#include <chrono>
#include <thread>

#include "host_client.h"

using namespace integration;
using toolkit::CElement;
using toolkit::CEvent;

TEST_F(HostClientTest, SentEventsReachTheOtherClient) {
    api_status_t status = 0;
    ASSERT_EQ(second->event_register("/alarms", 0x8, true, status), 0);
    ASSERT_EQ(status, 1);

    CEvent alarm(0x8);
    alarm.path = "/alarms/boiler";
    alarm.note = "pressure high";
    alarm.base_priority = 3;
    alarm.details["limit"] = "12 bar";
    alarm.value = CElement(double(13.5));
    CEvent elsewhere(0x8);
    elsewhere.path = "/other";
    CEvent badly_placed(0x8);
    badly_placed.path = "";
    std::vector<api_status_t> statuses;
    ASSERT_EQ(first->events_send({alarm, elsewhere, badly_placed}, statuses), 0);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{1, 1, QEL_STATUS_BAD_PATH}));

    std::vector<CEvent> got;
    ASSERT_EQ(second->events_get_nonblocking(got), 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].path, "/alarms/boiler");
    EXPECT_EQ(got[0].note, "pressure high");
    EXPECT_EQ(got[0].base_priority, 3u);
    EXPECT_EQ(got[0].details.at("limit"), "12 bar");
    EXPECT_DOUBLE_EQ(got[0].value.to_float(), 13.5);
    EXPECT_EQ(first->events_get_nonblocking(got), 0);  // not registered
    EXPECT_EQ(got.size(), 1u);

    // The waiting fetch: one event sent a little later from another thread.
    ASSERT_EQ(qel_host_set_event_wait(store, 5000), 0);
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::vector<api_status_t> s;
        EXPECT_EQ(first->events_send({alarm}, s), 0);
    });
    std::vector<CEvent> waited;
    EXPECT_EQ(second->events_get(waited), 1);
    later.join();
    ASSERT_EQ(waited.size(), 1u);
    EXPECT_EQ(waited[0].note, "pressure high");

    // After clearing the registration, nothing arrives and the wait ends with 0.
    ASSERT_EQ(qel_host_set_event_wait(store, 50), 0);
    ASSERT_EQ(second->event_clear("/alarms", 0x8, status), 0);
    ASSERT_EQ(first->events_send({alarm}, statuses), 0);
    EXPECT_EQ(second->events_get(waited), 0);
    EXPECT_EQ(waited.size(), 1u);
}

TEST_F(HostClientTest, TreeChangesReachAWatchingClient) {
    api_status_t status = 0;
    ASSERT_EQ(second->event_register("/watched", QEL_HOST_EVENT_TREE_CHANGE, true, status), 0);
    ASSERT_EQ(first->add_node("/watched", status, ""), 0);
    CElement value(std::string("open"));
    ASSERT_EQ(first->set_leaf("/watched/valve", value, status, 0, "panel"), 0);
    ASSERT_EQ(first->set_leaf("/unwatched/valve", value, status, 0, "panel"), 0);
    ASSERT_EQ(first->clear_leaf("/watched/valve", status, ""), 0);

    std::vector<CEvent> got;
    ASSERT_EQ(second->events_get(got), 3);
    EXPECT_EQ(got[0].cmd, QEL_HOST_CHANGE_NODE_ADDED);
    EXPECT_EQ(got[1].type, QEL_HOST_EVENT_TREE_CHANGE);
    EXPECT_EQ(got[1].cmd, QEL_HOST_CHANGE_LEAF_SET);
    EXPECT_EQ(got[1].path, "/watched/valve");
    EXPECT_EQ(got[1].source, "panel");
    EXPECT_EQ(got[1].value, value);
    EXPECT_GT(got[1].event_time.tv_sec, 0);
    EXPECT_EQ(got[2].cmd, QEL_HOST_CHANGE_LEAF_CLEARED);
}
