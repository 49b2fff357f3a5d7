// Events between two client objects through the host store: sent events and tree changes,
// fetched with and without waiting; and the event log through CLog, in memory and in a file that
// outlives the store.
#include <chrono>
#include <thread>

#include "host/log_support.h"
#include "host_client.h"

using namespace integration;
using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CLog;

namespace {

CEvent alarm_at(const std::string& path, long seconds, const std::string& note) {
    CEvent event(0x8);
    event.path = path;
    event.event_time = tv(seconds);
    event.note = note;
    event.ack_status = 2;
    return event;
}

std::vector<std::string> notes_of(const std::vector<CEvent>& events) {
    std::vector<std::string> notes;
    for (const CEvent& event : events) notes.push_back(event.note);
    return notes;
}

}  // namespace

TEST_F(HostClientTest, SentEventsReachTheOtherClient) {
    api_status_t status = 0;
    ASSERT_EQ(second->event_register("/alarms", 0x8, true, status), 0);
    ASSERT_EQ(status, 1);

    CEvent alarm = alarm_at("/alarms/boiler", 0, "pressure high");
    alarm.base_priority = 3;
    alarm.details["limit"] = "12 bar";
    alarm.value = CElement(double(13.5));
    CEvent elsewhere(0x8), badly_placed(0x8);
    elsewhere.path = "/other";
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
    got.clear();
    EXPECT_EQ(second->events_get(got), 1);
    later.join();
    EXPECT_EQ(notes_of(got), std::vector<std::string>{"pressure high"});

    // After clearing the registration, nothing arrives and the wait ends with 0.
    ASSERT_EQ(qel_host_set_event_wait(store, 50), 0);
    ASSERT_EQ(second->event_clear("/alarms", 0x8, status), 0);
    ASSERT_EQ(first->events_send({alarm}, statuses), 0);
    EXPECT_EQ(second->events_get(got), 0);
    EXPECT_EQ(got.size(), 1u);
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

TEST_F(HostClientTest, LogIsSharedByTheHandlesAndSelectsByPathAndTimeRange) {
    CLog writer(first_handle), reader(second_handle);
    ASSERT_EQ(
        writer.store(
            std::vector<CEvent>{alarm_at("/line/a", 100, "one"), alarm_at("/line/b", 200, "two"),
                                alarm_at("/yard", 300, "three"), alarm_at("/line/a", 400, "four")},
            false),
        0);

    std::vector<CEvent> out;
    const timeval from = tv(150), to = tv(400);
    ASSERT_EQ(reader.retrieve(out, "/line", &from, &to, 0, false, false, 0), 0);
    EXPECT_EQ(notes_of(out), (std::vector<std::string>{"two", "four"}));
    EXPECT_EQ(out.at(1).ack_status, 2);
    EXPECT_EQ(out.at(1).event_time.tv_sec, 400);

    // Everything, newest first through the client's reversal.
    out.clear();
    ASSERT_EQ(reader.retrieve(out, "", nullptr, nullptr, 0, false, true, 0), 0);
    EXPECT_EQ(notes_of(out), (std::vector<std::string>{"four", "three", "two", "one"}));

    ASSERT_EQ(writer.clear("/line/a", nullptr, nullptr), 0);
    out.clear();
    ASSERT_EQ(reader.retrieve(out, "", nullptr, nullptr, 0, false, false, 0), 0);
    EXPECT_EQ(notes_of(out), (std::vector<std::string>{"two", "three"}));

    // The store's own answers to bad input; an empty selection hands back no array.
    _event_t sentinel{};
    _event_t* records = &sentinel;
    uint32_t count = 9;
    EXPECT_EQ(
        qel_log_retrieve(first_handle, &records, &count, "/none", nullptr, nullptr, 0, false, 0),
        0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(records, nullptr);
    EXPECT_EQ(qel_log_store(first_handle, nullptr, 2, false), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_log_store(nullptr, nullptr, 0, false), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(
        qel_log_retrieve(first_handle, nullptr, &count, nullptr, nullptr, nullptr, 0, false, 0),
        QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_log_retrieve(nullptr, &records, &count, nullptr, nullptr, nullptr, 0, false, 0),
              QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_log_clear(nullptr, nullptr, nullptr, nullptr), QEL_RESULT_BAD_HANDLE);
}

#ifdef NYR_HAVE_SQLITE
TEST(HostClientLogFile, EventsPersistAcrossReopeningButTheTreeDoesNot) {
    logtest::TempDir dir;
    const std::string file = dir.file("events.db");
    for (int round = 0; round < 2; ++round) {
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        qel_handle_t handle = qel_host_handle_open(store);
        CLog log(handle);
        toolkit::CNyr client(handle);
        api_status_t status = 0;
        if (round == 0) {
            const std::deque<CEvent> events = {alarm_at("/p/1", 10, "kept"),
                                               alarm_at("/p/2", 20, "also"),
                                               alarm_at("/p/3", 30, "not sent")};
            ASSERT_EQ(log.store(events, 2, true), 0);
            ASSERT_EQ(client.add_node("/p", status, ""), 0);
        } else {
            std::vector<CEvent> out;
            ASSERT_EQ(log.retrieve(out, "/p", nullptr, nullptr, 0, false, false, 0), 0);
            EXPECT_EQ(notes_of(out), (std::vector<std::string>{"kept", "also"}));
            EXPECT_EQ(out.at(1).event_time.tv_sec, 20);
            ASSERT_EQ(client.test_node("/p", status), 0);
            EXPECT_EQ(status, QEL_STATUS_NOT_FOUND) << "only the log lives in the file";
        }
        qel_host_store_close(store);
    }
    // A file that is not a log of ours opens no store.
    logtest::write_file(dir.file("junk.db"),
                        "certainly not an SQLite database, just text long enough to be read");
    EXPECT_EQ(qel_host_store_open(dir.file("junk.db").c_str()), nullptr);
}
#endif
