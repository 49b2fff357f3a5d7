// The event log through CLog against the host store: round trip by path and time range, and a
// log file that outlives the store.
#include <unistd.h>

#include <cstdio>

#include "host_client.h"

using namespace integration;
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

}  // namespace

TEST_F(HostClientTest, LogRoundTripByPathAndTimeRange) {
    CLog writer(first_handle);
    CLog reader(second_handle);
    std::vector<CEvent> events = {alarm_at("/line/a", 100, "one"), alarm_at("/line/b", 200, "two"),
                                  alarm_at("/yard", 300, "three"),
                                  alarm_at("/line/a", 400, "four")};
    ASSERT_EQ(writer.store(events, false), 0);

    std::vector<CEvent> out;
    const timeval from = tv(150), to = tv(400);
    ASSERT_EQ(reader.retrieve(out, "/line", &from, &to, 0, false, false, 0), 0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].note, "two");
    EXPECT_EQ(out[1].note, "four");
    EXPECT_EQ(out[1].ack_status, 2);
    EXPECT_EQ(out[1].event_time.tv_sec, 400);

    // Everything, newest first through the client's reversal.
    std::vector<CEvent> all;
    ASSERT_EQ(reader.retrieve(all, "", nullptr, nullptr, 0, false, true, 0), 0);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].note, "four");
    EXPECT_EQ(all[3].note, "one");

    ASSERT_EQ(writer.clear("/line/a", nullptr, nullptr), 0);
    all.clear();
    ASSERT_EQ(reader.retrieve(all, "", nullptr, nullptr, 0, false, false, 0), 0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].note, "two");
    EXPECT_EQ(all[1].note, "three");
}

#ifdef NYR_HAVE_SQLITE
TEST(HostClientLogFile, EventsPersistAcrossReopening) {
    char dir[] = "/tmp/nyr-client-log-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/events.db";
    {
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        CLog log(qel_host_handle_open(store));
        std::deque<CEvent> events = {alarm_at("/p/1", 10, "kept"), alarm_at("/p/2", 20, "also"),
                                     alarm_at("/p/3", 30, "not sent")};
        ASSERT_EQ(log.store(events, 2, true), 0);
        qel_host_store_close(store);
    }
    {
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        CLog log(qel_host_handle_open(store));
        std::vector<CEvent> out;
        ASSERT_EQ(log.retrieve(out, "/p", nullptr, nullptr, 0, false, false, 0), 0);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].note, "kept");
        EXPECT_EQ(out[1].note, "also");
        EXPECT_EQ(out[1].event_time.tv_sec, 20);
        qel_host_store_close(store);
    }
    std::remove(file.c_str());
    std::remove((file + "-wal").c_str());
    std::remove((file + "-shm").c_str());
    rmdir(dir);
}
#endif
