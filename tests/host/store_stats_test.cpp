// qel_host_stats: the store's figures, in process and through the daemon alike: handles with
// their registrations, queues and overflow, and for a store on a file its size and commits.
#include <algorithm>
#include <vector>

#include "log_support.h"
#include "store_fixture.h"

using namespace storetest;
using logtest::TempDir;

namespace {

class StoreStatsTest : public StoreTest {};

TEST_F(StoreStatsTest, HandlesRegistrationsQueuesAndOverflowAreCounted) {
    ASSERT_EQ(qel_host_set_queue_capacity(store, 2), 0);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(a, "/x", 0x4, false, &status), 0);
    ASSERT_EQ(qel_event_register(a, "/y", 0x4, false, &status), 0);
    ASSERT_EQ(qel_event_register(b, "/x", 0x4, false, &status), 0);
    std::string path = "/x";
    std::vector<_event_t> events(3, event_at(path, 0x4));
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_events_send(b, events.data(), 3, &statuses, &count), 0);

    qel_host_stats_t stats{};
    ASSERT_EQ(qel_host_stats(a, &stats), 0);
    EXPECT_EQ(stats.handles, 2u);
    EXPECT_EQ(stats.registrations, 3u);
    EXPECT_EQ(stats.queued_events, 4u);
    EXPECT_EQ(stats.overflow, 2u);
    ASSERT_EQ(stats.handle_count, 2u);
    uint64_t bytes = 0;
    std::vector<uint32_t> registrations;
    for (uint32_t k = 0; k < stats.handle_count; ++k) {
        const qel_host_handle_stats_t& h = stats.per_handle[k];
        EXPECT_EQ(h.queued_events, 2u);
        EXPECT_EQ(h.overflow, 1u);
        EXPECT_GT(h.queued_bytes, 0u);
        bytes += h.queued_bytes;
        registrations.push_back(h.registrations);
    }
    EXPECT_EQ(stats.queued_bytes, bytes);
    std::sort(registrations.begin(), registrations.end());
    EXPECT_EQ(registrations, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(stats.file_bytes, 0u);  // in memory
    EXPECT_EQ(stats.commits, 0u);
    EXPECT_EQ(qel_host_stats(a, nullptr), QEL_RESULT_BAD_ARGUMENT);
}

TEST(StoreFileStatsTest, AStoreOnAFileCountsItsCommitsAndSize) {
    TempDir dir;
    qel_store_t* store = qel_host_store_open(dir.file("store.db").c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t handle = qel_host_handle_open(store);
    EXPECT_EQ(put(handle, "/a/b", 1), QEL_STATUS_OK);
    EXPECT_EQ(put(handle, "/a/c", 2), QEL_STATUS_OK);
    EXPECT_EQ(get(handle, "/a/b"), QEL_STATUS_OK);  // a read commits nothing
    qel_host_stats_t stats{};
    ASSERT_EQ(qel_host_stats(handle, &stats), 0);
    EXPECT_EQ(stats.commits, 2u);
    EXPECT_GT(stats.file_bytes, 0u);
    EXPECT_EQ(stats.served, 0u);
    qel_host_store_close(store);
}

// The log's events and the history's changes, for a store in memory and for one on a file: the
// history's count and bytes follow its bound down when the bound is lowered.
TEST(StoreFileStatsTest, TheLogAndTheHistoryReportWhatTheyHold) {
    TempDir dir;
    for (const std::string& file : {std::string(), dir.file("store.db")}) {
        SCOPED_TRACE(file.empty() ? "in memory" : "on a file");
        qel_store_t* store = qel_host_store_open(file.empty() ? nullptr : file.c_str());
        ASSERT_NE(store, nullptr);
        qel_handle_t handle = qel_host_handle_open(store);
        EXPECT_EQ(put(handle, "/a/b", 1), QEL_STATUS_OK);
        EXPECT_EQ(put(handle, "/a/c", 2), QEL_STATUS_OK);
        std::string path = "/a/b";
        std::vector<_event_t> events(3, event_at(path, 0x4));
        ASSERT_EQ(qel_log_store(handle, events.data(), 3, false), 0);
        qel_host_stats_t two{};
        ASSERT_EQ(qel_host_stats(handle, &two), 0);
        EXPECT_EQ(two.log_events, 3u);
        EXPECT_EQ(two.history_changes, 3u);  // the node /a made on the way, and two leaves
        EXPECT_GT(two.history_bytes, 0u);

        ASSERT_EQ(qel_host_set_history_limits(store, 1, QEL_HOST_DEFAULT_HISTORY_BYTES,
                                              QEL_HOST_DEFAULT_HISTORY_SECONDS),
                  0);
        EXPECT_EQ(put(handle, "/a/b", 3), QEL_STATUS_OK);
        qel_host_stats_t one{};
        ASSERT_EQ(qel_host_stats(handle, &one), 0);
        EXPECT_EQ(one.history_changes, 1u);
        EXPECT_LT(one.history_bytes, two.history_bytes);
        qel_host_store_close(store);
    }
}

}  // namespace
