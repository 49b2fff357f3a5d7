// The event-log calls of the host store: what is stored through one handle is retrieved and
// cleared through any handle of the store, and a log kept in a file outlives the store.
#include <unistd.h>

#include <cstdlib>

#include "store_fixture.h"

using namespace storetest;

namespace {

struct Logged {
    std::string path, note;
    int32_t seconds;
};

std::vector<Logged> retrieve(qel_handle_t handle, const char* path, const timeval* from,
                             const timeval* to) {
    _event_t* records = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_log_retrieve(handle, &records, &count, path, from, to, 0, false, 0), 0);
    std::vector<Logged> out;
    for (uint32_t i = 0; i < count; ++i) {
        out.push_back(
            {bytes_of(records[i].path), bytes_of(records[i].note), records[i].event_time.tv_sec});
        destruct_event(&records[i]);
    }
    if (count == 0) {
        EXPECT_EQ(records, nullptr);
    }
    std::free(records);
    return out;
}

// Stores alarms at (path, seconds) pairs, each with a note naming it.
void store_alarms(qel_handle_t handle, std::vector<std::pair<std::string, int32_t>> entries) {
    std::vector<std::string> notes;
    notes.reserve(entries.size());
    std::vector<_event_t> records;
    for (auto& [path, seconds] : entries) {
        _event_t record = event_at(path, 0x8);
        record.event_time = {seconds, 0};
        notes.push_back("note of " + path);
        record.note = {&notes.back()[0], static_cast<uint32_t>(notes.back().size())};
        records.push_back(record);
    }
    EXPECT_EQ(qel_log_store(handle, records.data(), static_cast<uint32_t>(records.size()), false),
              0);
}

}  // namespace

TEST_F(StoreTest, LogIsSharedByHandlesAndSelectsByPathAndTimeRange) {
    store_alarms(a, {{"/line/1", 100}, {"/line/2", 200}, {"/other", 300}, {"/line/1", 400}});
    std::vector<Logged> all = retrieve(b, nullptr, nullptr, nullptr);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].note, "note of /line/1");

    const timeval from{150, 0}, to{400, 0};
    std::vector<Logged> some = retrieve(b, "/line", &from, &to);
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0].path, "/line/2");
    EXPECT_EQ(some[1].seconds, 400);

    ASSERT_EQ(qel_log_clear(b, "/line", nullptr, nullptr), 0);
    all = retrieve(a, nullptr, nullptr, nullptr);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].path, "/other");

    // Bad input.
    _event_t* records = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_log_store(a, nullptr, 2, false), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_log_store(nullptr, nullptr, 0, false), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_log_retrieve(a, nullptr, &count, nullptr, nullptr, nullptr, 0, false, 0),
              QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_log_retrieve(nullptr, &records, &count, nullptr, nullptr, nullptr, 0, false, 0),
              QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_log_clear(nullptr, nullptr, nullptr, nullptr), QEL_RESULT_BAD_HANDLE);
}

#ifdef NYR_HAVE_SQLITE
TEST(HostStoreLogFile, SurvivesClosingAndReopeningTheStore) {
    char dir[] = "/tmp/nyr-store-log-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/log.db";
    {
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        qel_handle_t handle = qel_host_handle_open(store);
        store_alarms(handle, {{"/kept", 10}, {"/kept/too", 20}});
        qel_host_store_close(store);
    }
    {
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        qel_handle_t handle = qel_host_handle_open(store);
        std::vector<Logged> all = retrieve(handle, "/kept", nullptr, nullptr);
        ASSERT_EQ(all.size(), 2u);
        EXPECT_EQ(all[1].path, "/kept/too");
        EXPECT_EQ(all[1].note, "note of /kept/too");
        // The tree is not kept: only the log lives in the file.
        EXPECT_EQ(test_node(handle, "/kept"), QEL_STATUS_NOT_FOUND);
        qel_host_store_close(store);
    }
    // A file that is not a log of ours opens no store.
    const std::string junk = std::string(dir) + "/junk.db";
    FILE* f = std::fopen(junk.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("certainly not an SQLite database, just text long enough to be read", f);
    std::fclose(f);
    EXPECT_EQ(qel_host_store_open(junk.c_str()), nullptr);
    std::remove(file.c_str());
    std::remove((file + "-wal").c_str());
    std::remove((file + "-shm").c_str());
    std::remove(junk.c_str());
    rmdir(dir);
}
#endif
