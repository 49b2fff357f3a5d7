// Contract of the CNyr event members with the store: subscription arguments, records built for a
// send and released once each, fetched arrays released once, and which elements a fetch reuses.
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include <string>
#include <vector>

#include "contract/client_support.h"
#include "double/store_double.h"

using clienttest::hand_over;
using clienttest::record_pointers;
using clienttest::store_array;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

class ClientEvents : public nyrdouble::DoubleTest {
protected:
    CNyr client{fake_handle()};
};

// An alarm with every list filled, so that its record owns arrays that must be released.
CEvent alarm_event(const std::string& path, const std::string& note) {
    CEvent event(0x8);
    event.path = path;
    event.note = note;
    event.description = "description of " + path;
    event.waveform_urls = {"w1", "w2"};
    event.details = {{"b", "2"}, {"a", "1"}};
    return event;
}

TEST_F(ClientEvents, SendBuildsOneRecordPerEventAndReleasesEachOnceWhateverTheResult) {
    const std::vector<CEvent> events{alarm_event("/p1", "n1"), CEvent(0x1), alarm_event("/p3", "")};
    store().script_statuses("events_send", {1, 5, 1, 9});  // more than asked: copied as reported
    std::vector<api_status_t> statuses{7};
    EXPECT_EQ(client.events_send(events, statuses), 0);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{1, 5, 1, 9}));
    const nyrdouble::Call& call = store().last("events_send");
    const auto* sent = static_cast<const _event_t*>(call.pointers[0]);
    EXPECT_EQ(store().destructed, record_pointers(sent, 3));
    EXPECT_EQ(call.numbers[0], 3);
    ASSERT_EQ(call.events.size(), 3u);
    EXPECT_EQ(call.events[0].path, "/p1");
    EXPECT_EQ(call.events[0].note, "n1");
    EXPECT_EQ(call.events[0].waveform_urls, (std::vector<std::string>{"w1", "w2"}));
    EXPECT_EQ(call.events[0].detail_keys, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(call.events[1].raw.type, 0x1);
    EXPECT_EQ(call.events[2].path, "/p3");
    EXPECT_EQ(call.events[0].raw.path.data, events[0].path.data());  // borrowed characters
    // The release comes after the send and nothing else reaches the store.
    EXPECT_EQ(store().call_names(), (std::vector<std::string>{"events_send", "destruct_event",
                                                              "destruct_event", "destruct_event"}));

    // A failed send: the result comes back, statuses stay, the records are released all the same.
    store().destructed.clear();
    store().script_result("events_send", -4);
    EXPECT_EQ(client.events_send(events, statuses), -4);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{1, 5, 1, 9}));
    EXPECT_EQ(
        store().destructed,
        record_pointers(static_cast<const _event_t*>(store().last("events_send").pointers[0]), 3));

    // No events: the store is still called, with a null array, and nothing is released.
    store().destructed.clear();
    store().script_result("events_send", 0);
    store().script_statuses("events_send", {3, 3, 3});
    statuses.clear();
    EXPECT_EQ(client.events_send({}, statuses), 0);
    EXPECT_EQ(store().last("events_send").pointers[0], nullptr);
    EXPECT_EQ(store().last("events_send").numbers[0], 0);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{3, 3, 3}));
    EXPECT_TRUE(store().destructed.empty());
}

TEST_F(ClientEvents, EventsGetReusesTheVectorsElementsAndNonblockingBuildsFreshOnes) {
    _event_t* array = store_array({{0x1, "/first", "ignored"}, {0x8, "/second", "n2"}});
    hand_over(store(), array, 2);
    std::vector<CEvent> events(5, alarm_event("/old", "x"));
    EXPECT_EQ(client.events_get(events), 2);
    // Each record released once, in order; the array itself is freed by the client (a leak or
    // double free shows under the sanitizers).
    EXPECT_EQ(store().destructed, record_pointers(array, 2));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, 0x1);
    EXPECT_EQ(events[0].path, "/first");
    EXPECT_EQ(events[0].value.to_int(), 0);
    EXPECT_EQ(events[0].note, "x");  // kind 0x1 carries no alarm fields: the old note stays
    EXPECT_EQ(events[0].description, "description of /old");
    EXPECT_EQ(events[1].note, "n2");
    EXPECT_EQ(events[1].path, "/second");

    // Into an empty vector: new elements that started as kind 0 events.
    array = store_array({{0x1, "/a", "ignored"}, {0x1, "/b", "ignored"}});
    hand_over(store(), array, 2);
    store().destructed.clear();
    std::vector<CEvent> fresh;
    EXPECT_EQ(client.events_get(fresh), 2);
    EXPECT_EQ(store().destructed, record_pointers(array, 2));
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(fresh[1].path, "/b");
    EXPECT_EQ(fresh[1].note, "");
    EXPECT_EQ(fresh[1].ack_status, 0);

    // The non-blocking fetch never reuses what the vector held.
    array = store_array({{0x1, "/first", "ignored"}, {0x8, "/second", "n2"}});
    hand_over(store(), array, 2);
    store().destructed.clear();
    events.assign(5, alarm_event("/old", "x"));
    EXPECT_EQ(client.events_get_nonblocking(events), 2);
    EXPECT_EQ(store().destructed, record_pointers(array, 2));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].path, "/first");
    EXPECT_EQ(events[0].note, "");
    EXPECT_TRUE(events[0].waveform_urls.empty());
    EXPECT_EQ(events[1].waveform_urls, (std::vector<std::string>{"url"}));
}

TEST_F(ClientEvents, AFetchOfNothingOrAFailureReleasesNothing) {
    // The store misbehaves and hands an array over anyway: no fetch may take it over.
    _event_t* array = store_array({{0x1, "/x", ""}});
    toolkit::CLog log(fake_handle());
    for (auto [count, failure] : {std::pair{0u, 0}, {1u, -5}}) {
        SCOPED_TRACE(failure);
        hand_over(store(), array, count, failure);
        std::vector<CEvent> events(3, alarm_event("/kept", "x"));
        EXPECT_EQ(client.events_get(events), failure);
        EXPECT_EQ(client.events_get_nonblocking(events), failure);
        EXPECT_EQ(log.retrieve(events, "", nullptr, nullptr, 0, false, false, 0), failure);
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[2].path, "/kept");
    }
    EXPECT_TRUE(store().destructed.empty());
    clienttest::free_store_array(array, 1);

    // A count without an array cannot be delivered.
    hand_over(store(), nullptr, 2);
    std::vector<CEvent> events(1);
    EXPECT_EQ(client.events_get(events), -1);
    EXPECT_EQ(events.size(), 1u);
}

}  // namespace
