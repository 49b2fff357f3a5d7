// The client objects end to end on the host store: one path through each family of calls, with
// two client objects on two handles of one store. The rules themselves are checked nearer the
// code: the client's against the double (tests/contract), the store's through its qel_ calls
// (tests/host).
#include <sys/time.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include <algorithm>

#include "host/log_support.h"
#include "host/store_fixture.h"

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CLog;
using toolkit::CNyr;
using Statuses = std::vector<api_status_t>;

namespace {

timeval tv(long seconds, long micros = 0) {
    timeval t{};
    t.tv_sec = seconds;
    t.tv_usec = micros;
    return t;
}

class ClientOnHostStore : public storetest::StoreTest {
protected:
    api_status_t node_status(CNyr& client, const std::string& path) {
        api_status_t status = 0;
        EXPECT_EQ(client.test_node(path, status), 0);
        return status;
    }
};

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

TEST_F(ClientOnHostStore, LeavesBatchesAndListingsRoundTripBetweenClients) {
    CNyr first(a), second(b);
    api_status_t status = 0;
    element_property_t property = 0;
    timeval before{};
    gettimeofday(&before, nullptr);
    CElement read;
    ASSERT_EQ(first.set_leaf("/plant/pump/state", CElement("running"), status, 1, "op"), 0);
    ASSERT_EQ(second.get_leaf("/plant/pump/state", status, read, property), 0);
    ASSERT_EQ(status, 1);
    EXPECT_EQ(read, CElement("running"));
    EXPECT_EQ(property, 1u);
    EXPECT_GE(read.timestamp.tv_sec, before.tv_sec) << "an unstamped value is stamped by the store";

    // 600 leaves need a second listing pass; 40 of them a second fetch pass.
    std::vector<std::string> paths, few;
    std::vector<CElement> values;
    for (int i = 0; i < 600; ++i) {
        std::string number = std::to_string(i);
        paths.push_back("/list/e" + std::string(3 - number.size(), '0') + number);
        values.emplace_back(int32_t(i), tv(1000 + i, i));
        if (i < 40) few.push_back("/few" + paths.back().substr(5));
    }
    Statuses statuses;
    ASSERT_EQ(first.set_leaves(paths, values, std::vector<qel_tribool_t>(600, 1), statuses, ""), 0);
    EXPECT_EQ(statuses, Statuses(600, 1));
    values.resize(40);
    ASSERT_EQ(first.set_leaves(few, values, std::vector<qel_tribool_t>(40, 0), statuses, ""), 0);
    ASSERT_EQ(first.add_node("/list/zz_node", status, ""), 0);

    std::vector<CElement> got;
    std::vector<element_property_t> properties;
    ASSERT_EQ(second.get_leaves({paths[5], paths[7]}, statuses, got, properties), 0);
    EXPECT_EQ(statuses, (Statuses{1, 1}));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].to_int(), 5);
    EXPECT_EQ(got[0].timestamp.tv_sec, 1005);
    EXPECT_EQ(got[0].timestamp.tv_usec, 5);

    CNyr::listing_t listing(3);
    ASSERT_EQ(second.list_node("/list", status, listing), 0);
    ASSERT_EQ(listing.size(), 601u);
    EXPECT_EQ(listing[599].first, "e599");
    EXPECT_EQ(listing[599].second, std::make_pair(QEL_ELEMENT_LEAF, element_property_t{1}));
    EXPECT_EQ(listing[600].first, "zz_node");
    EXPECT_EQ(listing[600].second.first, QEL_ELEMENT_NODE);
    CNyr::fetch_t fetched;
    ASSERT_EQ(second.mpl_fetch("/few", status, fetched), 0);
    ASSERT_EQ(fetched.size(), 40u);
    EXPECT_EQ(fetched[39].first, "e039");
    EXPECT_EQ(fetched[39].second.to_int(), 39);
}

TEST_F(ClientOnHostStore, SubtreeCopyAndMoveKeepValuesStampsAndProperties) {
    CNyr first(a), second(b);
    // /src/g<i>/m<j>/leaf<k>: 3 x 3 x 3 leaves of mixed types, every fifth of property 1.
    std::vector<std::string> relative, paths;
    std::vector<CElement> values;
    std::vector<qel_tribool_t> tribools;
    for (int i = 0; i < 27; ++i) {
        relative.push_back("/g" + std::to_string(i / 9) + "/m" + std::to_string(i / 3 % 3) +
                           "/leaf" + std::to_string(i % 3));
        paths.push_back("/src" + relative.back());
        if (i % 2)
            values.emplace_back("v" + std::to_string(i), tv(5000 + i, i));
        else
            values.emplace_back(double(i) / 4, tv(5000 + i, i));
        tribools.push_back(i % 5 == 0 ? 1 : 0);
    }
    Statuses statuses;
    ASSERT_EQ(first.set_leaves(paths, values, tribools, statuses, "build"), 0);
    api_status_t status = 0;
    ASSERT_EQ(first.add_node("/src/empty/inner", status, ""), 0);
    ASSERT_EQ(first.set_leaf("/src/g0/odd", CElement(int32_t(1)), status, 7, ""), 0);
    auto expect_leaves_under = [&](const std::string& root) {
        std::vector<std::string> under;
        for (const auto& r : relative) under.push_back(root + r);
        std::vector<CElement> read;
        std::vector<element_property_t> properties;
        ASSERT_EQ(second.get_leaves(under, statuses, read, properties), 0);
        for (std::size_t i = 0; i < read.size(); ++i) {
            SCOPED_TRACE(under[i]);
            ASSERT_EQ(statuses[i], 1);
            EXPECT_EQ(read[i], values[i]);
            EXPECT_EQ(read[i].timestamp.tv_sec, values[i].timestamp.tv_sec);
            EXPECT_EQ(read[i].timestamp.tv_usec, values[i].timestamp.tv_usec);
            EXPECT_EQ(properties[i], element_property_t(tribools[i]));
        }
    };

    ASSERT_EQ(first.copy_node_recursive("/src", "/dst/copy", status, "copy"), 0);
    ASSERT_EQ(status, 1);
    expect_leaves_under("/dst/copy");
    EXPECT_EQ(node_status(second, "/dst/copy/empty/inner"), 1);
    EXPECT_EQ(node_status(second, "/dst/copy/g0/odd"), QEL_STATUS_NOT_FOUND) << "property 7";
    // Onto the root: the client joins "/" and each name with "/".
    ASSERT_EQ(first.copy_node_recursive("/dst/copy/empty", "/", status, "copy"), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(node_status(second, "/inner"), 1);

    ASSERT_EQ(first.move_node("/src", "/moved/here", status, "move"), 0);
    ASSERT_EQ(status, 1);
    EXPECT_EQ(node_status(second, "/src"), QEL_STATUS_NOT_FOUND);
    expect_leaves_under("/moved/here");
}

TEST_F(ClientOnHostStore, EventsAndTheLogCarryEveryFieldBetweenClients) {
    CNyr first(a), second(b);
    api_status_t status = 0;
    ASSERT_EQ(first.add_node("/alarms", status, ""), 0);
    ASSERT_EQ(second.event_register("/alarms", 0x8 | QEL_HOST_EVENT_TREE_CHANGE, true, status), 0);
    CEvent alarm = alarm_at("/alarms/boiler", 7, "pressure high");
    alarm.base_priority = 3;
    alarm.details["limit"] = "12 bar";
    alarm.waveform_urls = {"http://w/1"};
    alarm.value = CElement(13.5);
    std::vector<api_status_t> statuses;
    ASSERT_EQ(first.events_send({alarm, alarm_at("/other", 0, "")}, statuses), 0);
    EXPECT_EQ(statuses, (std::vector<api_status_t>{1, 1}));
    ASSERT_EQ(first.set_leaf("/alarms/limit", CElement("open"), status, 0, "panel"), 0);

    std::vector<CEvent> got;
    ASSERT_EQ(second.events_get_nonblocking(got), 2);
    EXPECT_EQ(got[0].to_string(), alarm.to_string());
    EXPECT_EQ(got[1].type, QEL_HOST_EVENT_TREE_CHANGE);
    EXPECT_EQ(got[1].path, "/alarms/limit");

    // The log is shared by the handles; the client reverses what the store hands back oldest
    // first when asked for the newest first.
    CLog writer(a), reader(b);
    ASSERT_EQ(writer.store(std::vector<CEvent>{alarm_at("/line/a", 100, "one"), alarm}, false), 0);
    std::vector<CEvent> out;
    ASSERT_EQ(reader.retrieve(out, "", nullptr, nullptr, 0, false, true, 0), 0);
    EXPECT_EQ(notes_of(out), (std::vector<std::string>{"pressure high", "one"}));
    EXPECT_EQ(out[0].to_string(), alarm.to_string());
}

#ifdef NYR_HAVE_SQLITE
TEST(ClientOnHostLogFile, EventsAndTheTreeOutliveTheStore) {
    logtest::TempDir dir;
    const std::string file = dir.file("events.db");
    for (int round = 0; round < 2; ++round) {
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        qel_handle_t handle = qel_host_handle_open(store);
        CLog log(handle);
        CNyr client(handle);
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
            EXPECT_EQ(status, QEL_STATUS_OK) << "the tree lives in the file beside the log";
        }
        qel_host_store_close(store);
    }
    // A file that is not a log of ours opens no store.
    logtest::write_file(dir.file("junk.db"), "not an SQLite database, just text long enough");
    EXPECT_EQ(qel_host_store_open(dir.file("junk.db").c_str()), nullptr);
}
#endif
