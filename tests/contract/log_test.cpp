// Contract of CLog with the store: which events are stored, records released once each, the
// order in which retrieved events are appended, and the texts and bounds passed through.
#include <toolkit/log.h>

#include <deque>
#include <list>
#include <string>
#include <vector>

#include "contract/client_support.h"
#include "double/store_double.h"

using clienttest::free_store_array;
using clienttest::record_pointers;
using clienttest::store_array;
using nyrdouble::DoubleTest;
using nyrdouble::Text;
using toolkit::CEvent;
using toolkit::CLog;

namespace {

class EventLog : public DoubleTest {
protected:
    // Remembers the record array of each qel_log_store call.
    void watch_store(int result = 0) {
        store().hooks.log_store = [this, result](qel_handle_t, const _event_t* records, uint32_t,
                                                 bool) {
            stored_arrays.push_back(records);
            return result;
        };
    }
    std::vector<std::string> stored_paths() {
        std::vector<std::string> paths;
        for (const nyrdouble::RecordedEvent& e : store().last("log_store").events)
            paths.push_back(e.path);
        return paths;
    }
    // Hands `array` of `count` records over on the next qel_log_retrieve, with `result`.
    void hand_over(_event_t* array, uint32_t count, int result = 0) {
        store().hooks.log_retrieve = [=](qel_handle_t, _event_t** records, uint32_t* out_count,
                                         const char*, const timeval*, const timeval*, uint32_t,
                                         bool, uint32_t) {
            *records = array;
            *out_count = count;
            return result;
        };
    }
    CLog log{fake_handle()};
    std::vector<const _event_t*> stored_arrays;
};

std::vector<CEvent> numbered_events(int count) {
    std::vector<CEvent> events;
    for (int i = 0; i < count; ++i) {
        CEvent event(0x8);
        event.path = "/e" + std::to_string(i);
        event.waveform_urls = {"w"};  // the record owns an array that must be released
        events.push_back(event);
    }
    return events;
}

TEST_F(EventLog, StoreSendsTheChosenEventsAndReleasesEachRecordOnce) {
    const std::vector<CEvent> five = numbered_events(5);
    const std::deque<CEvent> deque(five.begin(), five.end());
    watch_store();

    EXPECT_EQ(log.store(deque, 3, true), 0);
    EXPECT_EQ(stored_paths(), (std::vector<std::string>{"/e0", "/e1", "/e2"}));
    EXPECT_EQ(store().last("log_store").numbers, (std::vector<long long>{3, 1}));
    EXPECT_EQ(store().last("log_store").handle, fake_handle());
    EXPECT_EQ(store().destructed, record_pointers(stored_arrays.back(), 3));
    EXPECT_EQ(store().call_names(), (std::vector<std::string>{"log_store", "destruct_event",
                                                              "destruct_event", "destruct_event"}));

    for (unsigned count : {0u, 5u, 9u}) {
        store().destructed.clear();
        EXPECT_EQ(log.store(deque, count, false), 0);
        EXPECT_EQ(stored_paths().size(), 5u);
        EXPECT_EQ(store().last("log_store").numbers, (std::vector<long long>{5, 0}));
        EXPECT_EQ(store().destructed, record_pointers(stored_arrays.back(), 5));
    }

    const std::list<CEvent> list(five.begin(), five.end());
    store().destructed.clear();
    EXPECT_EQ(log.store(list, true), 0);
    EXPECT_EQ(stored_paths(), (std::vector<std::string>{"/e0", "/e1", "/e2", "/e3", "/e4"}));
    EXPECT_EQ(store().destructed, record_pointers(stored_arrays.back(), 5));

    // A failure is returned, and the records are released all the same.
    watch_store(-7);
    store().destructed.clear();
    EXPECT_EQ(log.store(five, false), -7);
    EXPECT_EQ(stored_paths(), (std::vector<std::string>{"/e0", "/e1", "/e2", "/e3", "/e4"}));
    EXPECT_EQ(store().destructed, record_pointers(stored_arrays.back(), 5));
}

TEST_F(EventLog, StoringNothingStillCallsTheStoreWithANullArray) {
    watch_store(3);
    EXPECT_EQ(log.store(std::list<CEvent>(), true), 3);
    EXPECT_EQ(log.store(std::vector<CEvent>(), true), 3);
    EXPECT_EQ(log.store(std::deque<CEvent>(), 2, true), 3);
    EXPECT_EQ(stored_arrays, (std::vector<const _event_t*>(3, nullptr)));
    EXPECT_EQ(store().last("log_store").numbers, (std::vector<long long>{0, 1}));
    EXPECT_TRUE(store().destructed.empty());
}

TEST_F(EventLog, RetrievePassesPathBoundsAndOptionsThrough) {
    const timeval from{100, 1};
    const timeval to{200, 2};
    std::vector<CEvent> out;
    store().script_result("log_retrieve", 0);
    EXPECT_EQ(log.retrieve(out, "/plant", &from, &to, 7, true, false, 9), 0);
    const nyrdouble::Call& call = store().last("log_retrieve");
    EXPECT_EQ(call.handle, fake_handle());
    EXPECT_EQ(call.texts, (std::vector<Text>{std::string("/plant")}));
    EXPECT_EQ(call.numbers, (std::vector<long long>{7, 1, 9}));
    EXPECT_EQ(call.pointers[2], &from);
    EXPECT_EQ(call.pointers[3], &to);

    EXPECT_EQ(log.retrieve(out, "", nullptr, nullptr, 0, false, true, 0), 0);
    const nyrdouble::Call& open = store().last("log_retrieve");
    EXPECT_EQ(open.texts, (std::vector<Text>{std::nullopt}));
    EXPECT_EQ(open.numbers, (std::vector<long long>{0, 0, 0}));
    EXPECT_EQ(open.pointers[2], nullptr);
    EXPECT_EQ(open.pointers[3], nullptr);
    EXPECT_TRUE(out.empty());
}

TEST_F(EventLog, RetrieveAppendsInStoreOrderWhenTheFlagsAgreeAndReversedOtherwise) {
    struct Case {
        bool flag_a, flag_b, reversed;
    };
    for (const Case& c : {Case{false, false, false}, Case{true, true, false},
                          Case{true, false, true}, Case{false, true, true}}) {
        SCOPED_TRACE(std::to_string(c.flag_a) + std::to_string(c.flag_b));
        store().destructed.clear();
        _event_t* array =
            store_array({{0x1, "/first", ""}, {0x1, "/second", ""}, {0x1, "/third", ""}});
        hand_over(array, 3);
        std::vector<CEvent> out(2, CEvent(0x4));
        out[0].path = "/earlier";
        EXPECT_EQ(log.retrieve(out, "", nullptr, nullptr, 0, c.flag_a, c.flag_b, 0), 0);
        std::vector<std::string> paths;
        for (const CEvent& e : out) paths.push_back(e.path);
        if (c.reversed)
            EXPECT_EQ(paths,
                      (std::vector<std::string>{"/earlier", "/", "/third", "/second", "/first"}));
        else
            EXPECT_EQ(paths,
                      (std::vector<std::string>{"/earlier", "/", "/first", "/second", "/third"}));
        // Each record released once, in visiting order; the array is freed by the client.
        EXPECT_EQ(store().destructed, record_pointers(array, 3, c.reversed));
    }
}

TEST_F(EventLog, RetrievedEventsCarryOverWhatTheirKindDoesNotCarry) {
    _event_t* array = store_array({{0x8, "/alarm", "x"}, {0x1, "/plain", "ignored"}});
    array[0].ack_status = 4;
    hand_over(array, 2);
    std::vector<CEvent> out;
    EXPECT_EQ(log.retrieve(out, "/", nullptr, nullptr, 0, false, false, 0), 0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].note, "x");
    EXPECT_EQ(out[1].type, 0x1);
    EXPECT_EQ(out[1].path, "/plain");
    EXPECT_EQ(out[1].note, "x");
    EXPECT_EQ(out[1].ack_status, 4);
    EXPECT_EQ(out[1].event_time.tv_sec, 1001);
    // The first record visited starts from a kind 0 event's defaults.
    array = store_array({{0x1, "/plain", "ignored"}});
    hand_over(array, 1);
    EXPECT_EQ(log.retrieve(out, "/", nullptr, nullptr, 0, false, false, 0), 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].note, "");
    EXPECT_EQ(out[2].ack_status, 0);
}

TEST_F(EventLog, RetrieveOfNothingOrAFailureReleasesNothing) {
    // A misbehaving store hands an array over anyway: the client must not take it over.
    _event_t* array = store_array({{0x1, "/x", ""}});
    std::vector<CEvent> out(1);
    hand_over(array, 1, -6);
    EXPECT_EQ(log.retrieve(out, "", nullptr, nullptr, 0, false, false, 0), -6);
    hand_over(array, 0, 0);
    EXPECT_EQ(log.retrieve(out, "", nullptr, nullptr, 0, false, false, 0), 0);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_TRUE(store().destructed.empty());
    free_store_array(array, 1);
}

TEST_F(EventLog, ClearPassesPathOrNullAndTheBoundsThrough) {
    const timeval from{5, 0};
    store().script_result("log_clear", 11);
    EXPECT_EQ(log.clear("", &from, nullptr), 11);
    const nyrdouble::Call& open = store().last("log_clear");
    EXPECT_EQ(open.texts, (std::vector<Text>{std::nullopt}));
    EXPECT_EQ(open.pointers, (std::vector<const void*>{&from, nullptr}));
    EXPECT_EQ(log.clear("/plant", nullptr, &from), 11);
    const nyrdouble::Call& path = store().last("log_clear");
    EXPECT_EQ(path.texts, (std::vector<Text>{std::string("/plant")}));
    EXPECT_EQ(path.pointers, (std::vector<const void*>{nullptr, &from}));
}

TEST_F(EventLog, ALogWithoutAStoreHandleStillCallsTheStore) {
    CLog detached(nullptr);
    std::vector<CEvent> out;
    EXPECT_EQ(detached.store(std::vector<CEvent>(), false), 0);
    EXPECT_EQ(detached.retrieve(out, "", nullptr, nullptr, 0, false, false, 0), 0);
    EXPECT_EQ(detached.clear("", nullptr, nullptr), 0);
    EXPECT_EQ(store().call_names(),
              (std::vector<std::string>{"log_store", "log_retrieve", "log_clear"}));
    for (const nyrdouble::Call& call : store().calls) EXPECT_EQ(call.handle, nullptr);
}

}  // namespace
