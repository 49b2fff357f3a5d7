// A store file's write-ahead file is checkpointed beside the commits: under writers that never
// pause, the pages reach the database while the store is open, the write-ahead file stays within
// its bound instead of growing with every commit, and the file keeps every write.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/log_support.h"
#include "host/store_fixture.h"

#ifdef NYR_HAVE_SQLITE
#include "persist/checkpointer.h"

namespace {

using logtest::TempDir;
using namespace storetest;

std::uintmax_t size_of(const std::string& file) {
    std::error_code missing;
    const std::uintmax_t size = std::filesystem::file_size(file, missing);
    return missing ? 0 : size;
}

TEST(StoreFileCheckpointThreads, WritersThatNeverPauseKeepTheWriteAheadFileBoundedAndLoseNothing) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    // Large values, kept by the tree and twice by the history, spill into overflow pages: each
    // write puts at least five pages into the write-ahead file (the tree's leaf and overflow
    // page, the history's leaf and two overflow pages), far more in all than its bound.
    constexpr int kWriters = 4, kWrites = 2000, kLeaves = 40;  // each leaf written 50 times
    constexpr std::uintmax_t kPage = 4096;
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    std::atomic<int> failures{0};
    std::vector<std::uintmax_t> largest(kWriters, 0);  // each writer's, so no 64-bit atomic
    std::vector<std::thread> threads;
    for (int k = 0; k < kWriters; ++k) {
        threads.emplace_back([&, k] {
            qel_handle_t h = open_handle(store);
            for (int i = 0; i < kWrites; ++i) {
                std::string text(3000, static_cast<char>('a' + k));
                text += std::to_string(i);
                const std::string path =
                    "/w" + std::to_string(k) + "/v" + std::to_string(i % kLeaves);
                api_status_t s = 0;
                if (qel_set_leaf(h, path.c_str(), text_value(text), 0, false, "writer", &s) != 0 ||
                    s != QEL_STATUS_OK)
                    ++failures;
                largest[k] = std::max(largest[k], size_of(file + "-wal"));
            }
        });
    }
    for (std::thread& t : threads) t.join();
    ASSERT_EQ(failures.load(), 0);
    const std::uintmax_t written = uintmax_t{kWriters} * kWrites * 5 * kPage;  // at least
    // The limit and the one commit that passes it, in frames of a page and a 24-byte header,
    // after the file's own 32-byte header.
    const std::uintmax_t bound = (nyrhost::Checkpointer::kLimitPages + 100) * (kPage + 24) + 32;
    ASSERT_GT(written, bound);  // the test writes enough to pass the bound without checkpoints
    EXPECT_LT(*std::max_element(largest.begin(), largest.end()), bound);
    // The checkpoints ran while the store was open: the pages are in the database itself.
    EXPECT_GT(size_of(file), uintmax_t{kWriters} * kLeaves * 3000);
    uint64_t revision = 0, oldest = 0;
    const char* epoch = nullptr;
    qel_handle_t h = open_handle(store);
    ASSERT_EQ(qel_host_history_info(h, &revision, &oldest, &epoch), 0);
    EXPECT_EQ(revision, uint64_t{kWriters} * kWrites);
    close_store(store);

    // Reopened, the file holds the last value of every leaf and every revision.
    store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    h = qel_host_handle_open(store);
    ASSERT_EQ(qel_host_history_info(h, &revision, &oldest, &epoch), 0);
    EXPECT_EQ(revision, uint64_t{kWriters} * kWrites);
    for (int k = 0; k < kWriters; ++k) {
        for (int leaf = 0; leaf < kLeaves; ++leaf) {
            const int last = kWrites - kLeaves + leaf;
            api_status_t status = 0;
            _element_datatype_t record{};
            element_property_t property = 0;
            const std::string path = "/w" + std::to_string(k) + "/v" + std::to_string(leaf);
            ASSERT_EQ(qel_get_leaf(h, path.c_str(), &status, &record, &property), 0);
            ASSERT_EQ(status, QEL_STATUS_OK);
            EXPECT_TRUE(bytes_of(record.value.string_value) ==
                        std::string(3000, static_cast<char>('a' + k)) + std::to_string(last))
                << path;
        }
    }
    qel_host_store_close(store);
}

}  // namespace

#endif  // NYR_HAVE_SQLITE
