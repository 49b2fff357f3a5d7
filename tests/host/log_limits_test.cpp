// Where the event log stops: the memory log's bound, and a log file whose disk is full.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "host/log_support.h"
#include "host/store_fixture.h"

namespace {

using namespace logtest;

// Stores events of kind 0x4 at /log/<n>, stamped at second n, through a handle.
int store_numbered(qel_handle_t handle, std::vector<int32_t> numbers) {
    std::deque<eventsamples::RecordBuilder> builders;
    std::vector<_event_t> batch;
    for (int32_t n : numbers) {
        builders.emplace_back(0x4).set_path("/log/" + std::to_string(n));
        builders.back().record.event_time = {n, 0};
        batch.push_back(builders.back().record);
    }
    return qel_log_store(handle, batch.data(), static_cast<uint32_t>(batch.size()), false);
}

Paths retrieved(qel_handle_t handle, const char* path, int32_t from = 0, int32_t to = 1 << 30) {
    _event_t* records = nullptr;
    uint32_t count = 0;
    const timeval from_time{from, 0}, to_time{to, 0};
    EXPECT_EQ(qel_log_retrieve(handle, &records, &count, path, &from_time, &to_time, 0, false, 0),
              0);
    Paths paths;
    for (uint32_t i = 0; i < count; ++i) {
        paths.push_back(storetest::bytes_of(records[i].path));
        destruct_event(&records[i]);
    }
    std::free(records);
    return paths;
}

TEST(LogBound, DropsTheOldestEventsAndCountsThem) {
    qel_store_t* store = qel_host_store_open(nullptr);
    qel_handle_t handle = qel_host_handle_open(store);
    EXPECT_EQ(qel_host_log_dropped_count(store), 0);
    ASSERT_EQ(qel_host_set_log_capacity(store, 3), 0);

    ASSERT_EQ(store_numbered(handle, {1, 2}), 0);
    ASSERT_EQ(store_numbered(handle, {3, 4, 5}), 0);
    EXPECT_EQ(retrieved(handle, "/log"), (Paths{"/log/3", "/log/4", "/log/5"}));
    EXPECT_EQ(qel_host_log_dropped_count(store), 2);
    // Dropped events are gone from every way of finding them.
    EXPECT_EQ(retrieved(handle, "/log/1"), Paths{});
    EXPECT_EQ(retrieved(handle, nullptr, 1, 3), (Paths{"/log/3"}));

    // A lower bound drops at once; a batch larger than the bound keeps its newest events.
    ASSERT_EQ(qel_host_set_log_capacity(store, 1), 0);
    EXPECT_EQ(retrieved(handle, nullptr), (Paths{"/log/5"}));
    EXPECT_EQ(qel_host_log_dropped_count(store), 4);
    ASSERT_EQ(store_numbered(handle, {6, 7, 8}), 0);
    EXPECT_EQ(retrieved(handle, nullptr), (Paths{"/log/8"}));
    EXPECT_EQ(qel_host_log_dropped_count(store), 7);
    ASSERT_EQ(qel_host_set_log_capacity(store, 0), 0);  // taken as 1
    ASSERT_EQ(store_numbered(handle, {9}), 0);
    EXPECT_EQ(retrieved(handle, "/log/9"), (Paths{"/log/9"}));
    qel_host_store_close(store);

    EXPECT_EQ(qel_host_set_log_capacity(store, 1), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_host_log_dropped_count(store), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_host_log_dropped_count(nullptr), QEL_RESULT_BAD_HANDLE);
}

#ifdef NYR_HAVE_SQLITE

TEST(LogFile, AFullDiskFailsTheBatchAndKeepsEveryEarlierOne) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t handle = qel_host_handle_open(store);
    ASSERT_EQ(store_numbered(handle, {1, 2, 3}), 0);
    // The file log has no bound of its own: the setting changes nothing.
    ASSERT_EQ(qel_host_set_log_capacity(store, 1), 0);
    ASSERT_EQ(store_numbered(handle, {4}), 0);
    EXPECT_EQ(qel_host_log_dropped_count(store), 0);

    std::vector<int32_t> large(2000);
    for (int32_t i = 0; i < 2000; ++i) large[i] = 100 + i;
    {
        // No file may grow beyond what the log's files hold now.
        std::error_code ignored;
        const auto size = [&](const std::string& f) {
            const auto bytes = std::filesystem::file_size(f, ignored);
            return ignored ? 0 : bytes;
        };
        FileSizeLimit full(std::max({size(file), size(file + "-wal"), size(file + "-shm")}));
        EXPECT_EQ(store_numbered(handle, large), QEL_RESULT_DATABASE);
        EXPECT_EQ(retrieved(handle, nullptr), (Paths{"/log/1", "/log/2", "/log/3", "/log/4"}));
    }
    // With room again the log works on, and a reopened log holds the same.
    ASSERT_EQ(store_numbered(handle, {5}), 0);
    qel_host_store_close(store);
    store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(retrieved(qel_host_handle_open(store), nullptr),
              (Paths{"/log/1", "/log/2", "/log/3", "/log/4", "/log/5"}));
    qel_host_store_close(store);
}

#endif

}  // namespace
