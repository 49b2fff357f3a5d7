// Contract of CLog with the store: which events are stored, records released once each, the
// order in which retrieved events are appended, and the texts and bounds passed through.
#include <toolkit/log.h>

#include <algorithm>
#include <deque>
#include <list>
#include <string>
#include <vector>

#include "contract/client_support.h"
#include "double/store_double.h"

using clienttest::hand_over;
using clienttest::record_pointers;
using clienttest::store_array;
using nyrdouble::Text;
using toolkit::CEvent;
using toolkit::CLog;

namespace {

class EventLog : public nyrdouble::DoubleTest {
protected:
    const _event_t* stored_array() {
        return static_cast<const _event_t*>(store().last("log_store").pointers[0]);
    }
    std::vector<std::string> stored_paths() {
        std::vector<std::string> paths;
        for (const nyrdouble::RecordedEvent& e : store().last("log_store").events)
            paths.push_back(e.path);
        return paths;
    }
    CLog log{fake_handle()};
};

TEST_F(EventLog, StoreSendsTheChosenEventsAndReleasesEachRecordOnce) {
    std::vector<CEvent> five(5, CEvent(0x8));
    for (int i = 0; i < 5; ++i) {
        five[i].path = "/e" + std::to_string(i);
        five[i].waveform_urls = {"w"};  // the record owns an array that must be released
    }
    const std::deque<CEvent> deque(five.begin(), five.end());
    const std::vector<std::string> all{"/e0", "/e1", "/e2", "/e3", "/e4"};
    EXPECT_EQ(log.store(deque, 3, true), 0);
    EXPECT_EQ(stored_paths(), (std::vector<std::string>{"/e0", "/e1", "/e2"}));
    EXPECT_EQ(store().last("log_store").numbers, (std::vector<long long>{3, 1}));
    EXPECT_EQ(store().last("log_store").handle, fake_handle());
    EXPECT_EQ(store().destructed, record_pointers(stored_array(), 3));
    EXPECT_EQ(store().call_names(), (std::vector<std::string>{"log_store", "destruct_event",
                                                              "destruct_event", "destruct_event"}));
    // A count of 0 or beyond the end stores them all.
    for (unsigned count : {0u, 5u, 9u}) {
        store().destructed.clear();
        EXPECT_EQ(log.store(deque, count, false), 0);
        EXPECT_EQ(stored_paths(), all);
        EXPECT_EQ(store().last("log_store").numbers, (std::vector<long long>{5, 0}));
        EXPECT_EQ(store().destructed, record_pointers(stored_array(), 5));
    }
    store().destructed.clear();
    EXPECT_EQ(log.store(std::list<CEvent>(five.begin(), five.end()), true), 0);
    EXPECT_EQ(stored_paths(), all);
    EXPECT_EQ(store().destructed, record_pointers(stored_array(), 5));

    // A failure is returned, and the records are released all the same.
    store().script_result("log_store", -7);
    store().destructed.clear();
    EXPECT_EQ(log.store(five, false), -7);
    EXPECT_EQ(stored_paths(), all);
    EXPECT_EQ(store().destructed, record_pointers(stored_array(), 5));

    // Storing nothing still calls the store, with a null array.
    store().script_result("log_store", 3);
    store().calls.clear();
    store().destructed.clear();
    EXPECT_EQ(log.store(std::list<CEvent>(), true), 3);
    EXPECT_EQ(log.store(std::vector<CEvent>(), true), 3);
    EXPECT_EQ(log.store(std::deque<CEvent>(), 2, true), 3);
    for (const nyrdouble::Call& call : store().calls) EXPECT_EQ(call.pointers[0], nullptr);
    EXPECT_EQ(store().count("log_store"), 3u);
    EXPECT_EQ(store().last("log_store").numbers, (std::vector<long long>{0, 1}));
    EXPECT_TRUE(store().destructed.empty());
}

TEST_F(EventLog, RetrieveAndClearPassPathOrNullBoundsAndOptionsThrough) {
    const timeval from{100, 1};
    const timeval to{200, 2};
    std::vector<CEvent> out;
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

    store().script_result("log_clear", 11);
    EXPECT_EQ(log.clear("", &from, nullptr), 11);
    EXPECT_EQ(store().last("log_clear").texts, (std::vector<Text>{std::nullopt}));
    EXPECT_EQ(store().last("log_clear").pointers, (std::vector<const void*>{&from, nullptr}));
    EXPECT_EQ(log.clear("/plant", nullptr, &to), 11);
    EXPECT_EQ(store().last("log_clear").texts, (std::vector<Text>{std::string("/plant")}));
    EXPECT_EQ(store().last("log_clear").pointers, (std::vector<const void*>{nullptr, &to}));
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
        hand_over(store(), array, 3);
        std::vector<CEvent> out(2, CEvent(0x4));
        out[0].path = "/earlier";
        EXPECT_EQ(log.retrieve(out, "", nullptr, nullptr, 0, c.flag_a, c.flag_b, 0), 0);
        std::vector<std::string> paths;
        for (const CEvent& e : out) paths.push_back(e.path);
        std::vector<std::string> fetched{"/first", "/second", "/third"};
        if (c.reversed) std::reverse(fetched.begin(), fetched.end());
        fetched.insert(fetched.begin(), {"/earlier", "/"});
        EXPECT_EQ(paths, fetched);
        // Each record released once, in visiting order; the array is freed by the client.
        EXPECT_EQ(store().destructed, record_pointers(array, 3, c.reversed));
    }
}

TEST_F(EventLog, RetrievedEventsCarryOverWhatTheirKindDoesNotCarry) {
    _event_t* array = store_array({{0x8, "/alarm", "x"}, {0x1, "/plain", "ignored"}});
    array[0].ack_status = 4;
    hand_over(store(), array, 2);
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
    hand_over(store(), array, 1);
    EXPECT_EQ(log.retrieve(out, "/", nullptr, nullptr, 0, false, false, 0), 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].note, "");
    EXPECT_EQ(out[2].ack_status, 0);
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
