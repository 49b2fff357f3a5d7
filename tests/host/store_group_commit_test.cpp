// Writes to a store file commit in groups: many writers at once keep every write, in order, with
// the event log on the same connection; a write waiting for the file holds up no read and joins
// the next group; a failed group fails every write in it and behind it, undone and unannounced;
// and a writer killed at any change to the disk loses no acknowledged write and no writer's order.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/store.h"
#include "host/killing_vfs.h"
#include "host/log_support.h"
#include "host/store_fixture.h"

#ifdef NYR_HAVE_SQLITE
#include "log/sqlite_connection.h"

namespace {

using logtest::FileSizeLimit;
using logtest::TempDir;
using namespace storetest;

_element_datatype_t text_of(std::string& text) {
    return text_value(text, 100);
}

// The leaf's text, or "-" when there is none.
std::string text_at(qel_handle_t handle, const std::string& path) {
    api_status_t status = 0;
    _element_datatype_t record{};
    element_property_t property = 0;
    if (qel_get_leaf(handle, path.c_str(), &status, &record, &property) != 0 ||
        status != QEL_STATUS_OK)
        return "-";
    return bytes_of(record.value.string_value);
}

// Waits (at most 10 s) until `done` holds.
template <typename Condition>
bool eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(GroupCommitThreads, EightWritersAndALoggerKeepEveryWriteInOrder) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    constexpr int kWriters = 8, kWrites = 150, kBatches = 20, kBatch = 100;
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_host_set_queue_capacity(store, 1 << 16);
    qel_handle_t watcher = open_handle(store);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(watcher, "/", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);

    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int k = 0; k < kWriters; ++k) {
        threads.emplace_back([&, k] {
            qel_handle_t h = open_handle(store);
            const std::string base = "/w" + std::to_string(k);
            for (int i = 0; i < kWrites; ++i) {
                std::string text = std::to_string(i);
                api_status_t s = 0;
                if (qel_set_leaf(h, (base + "/last").c_str(), text_of(text), 0, false, base.c_str(),
                                 &s) != 0 ||
                    s != QEL_STATUS_OK ||
                    qel_set_leaf(h, (base + "/n" + text).c_str(), text_of(text), 0, false,
                                 base.c_str(), &s) != 0 ||
                    s != QEL_STATUS_OK)
                    ++failures;
            }
        });
    }
    threads.emplace_back([&] {
        qel_handle_t h = open_handle(store);
        std::vector<_event_t> batch(kBatch);
        for (int i = 0; i < kBatch; ++i) batch[i].path = {const_cast<char*>("/logged"), 7};
        for (int b = 0; b < kBatches; ++b)
            if (qel_log_store(h, batch.data(), kBatch, false) != 0) ++failures;
    });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);

    // Each writer's leaf was announced once per write, in the order written, with its source.
    std::map<std::string, std::vector<std::string>> announced;
    for (;;) {
        const auto seen = take_events(watcher);
        if (seen.empty()) break;
        for (const Seen& event : seen) {
            if (event.cmd != QEL_HOST_CHANGE_LEAF_SET || event.path.size() < 5 ||
                event.path.compare(event.path.size() - 5, 5, "/last") != 0)
                continue;
            EXPECT_EQ(event.source + "/last", event.path);
            announced[event.path].push_back(event.payload);
        }
    }
    ASSERT_EQ(announced.size(), size_t{kWriters});
    std::vector<std::string> in_order;
    for (int i = 0; i < kWrites; ++i) in_order.push_back(std::to_string(i));
    for (const auto& leaf : announced) EXPECT_EQ(leaf.second, in_order) << leaf.first;

    // The file holds every write and every logged event.
    close_store(store);
    store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    for (int k = 0; k < kWriters; ++k) {
        const std::string base = "/w" + std::to_string(k);
        EXPECT_EQ(text_at(h, base + "/last"), std::to_string(kWrites - 1));
        for (int i = 0; i < kWrites; ++i)
            ASSERT_EQ(text_at(h, base + "/n" + std::to_string(i)), std::to_string(i)) << base;
    }
    _event_t* records = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_log_retrieve(h, &records, &count, nullptr, nullptr, nullptr, 0, false, 0), 0);
    EXPECT_EQ(count, uint32_t{kBatches * kBatch});
    for (uint32_t i = 0; i < count; ++i) destruct_event(&records[i]);
    std::free(records);
    qel_host_store_close(store);
}

// A store file whose connection the test can hold, as a long log batch would (a thread of its
// own holds it, taking no other lock meanwhile), and whose commits it counts.
class HeldFileThreads : public ::testing::Test {
protected:
    void SetUp() override {
        store = qel_host_store_open(dir.file("store.db").c_str());
        ASSERT_NE(store, nullptr);
        state = nyrhost::acquire_store(store);
        connection = state->file->connection();
        ASSERT_NE(connection, nullptr);
        nyrhost::MutexLock hold(connection->mutex);
        sqlite3_commit_hook(connection->db(), count_commit, &commits);
    }
    void TearDown() override {
        if (holder.joinable()) release_file();
        {
            nyrhost::MutexLock hold(connection->mutex);
            sqlite3_commit_hook(connection->db(), nullptr, nullptr);
        }
        state.reset();
        qel_host_store_close(store);
    }
    static int count_commit(void* counter) {
        ++*static_cast<std::atomic<int>*>(counter);
        return 0;  // let it commit
    }
    // Holds the file's connection until release_file().
    void hold_file() {
        std::atomic<bool> held{false};
        holder = std::thread([this, &held] {
            nyrhost::MutexLock hold(connection->mutex);
            held = true;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void release_file() {
        release = true;
        holder.join();
    }
    // Waits until a commit is in flight (it waits for the held connection).
    bool committing() {
        return eventually([&] {
            nyrhost::MutexLock hold(state->commit_queue.mutex);
            return state->commit_queue.committing;
        });
    }
    // Writes `text` at `path` on a handle of its own, in a thread; its result lands in `result`.
    std::thread write(const char* path, std::string text, std::atomic<int>& result) {
        return std::thread([this, path, text, &result]() mutable {
            qel_handle_t h = qel_host_handle_open(store);
            api_status_t status = 0;
            result = qel_set_leaf(h, path, text_of(text), 0, false, "held", &status);
            qel_host_handle_close(h);
        });
    }

    TempDir dir;
    qel_store_t* store = nullptr;
    std::shared_ptr<qel_store_s> state;
    nyrhost::SqliteConnection* connection = nullptr;
    std::atomic<int> commits{0};
    std::thread holder;
    std::atomic<bool> release{false};
};

// The history's rows are written by whichever writer commits a group, while other threads read
// the history under the store's lock: every revision a reader is told of is held, in order, with
// no gap, and in the end each write holds one.
TEST(GroupCommitThreads, HistoryReadersSeeEveryCommittedRevisionWithoutAGap) {
    TempDir dir;
    qel_store_t* store = qel_host_store_open(dir.file("store.db").c_str());
    ASSERT_NE(store, nullptr);
    constexpr int kWriters = 4, kWrites = 100;
    std::atomic<bool> writing{true};
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int k = 0; k < kWriters; ++k) {
        writers.emplace_back([&, k] {
            qel_handle_t h = open_handle(store);
            const std::string path = "/w" + std::to_string(k);
            for (int i = 0; i < kWrites; ++i) {
                std::string text = std::to_string(i);
                api_status_t s = 0;
                if (qel_set_leaf(h, path.c_str(), text_of(text), 0, false, "w", &s) != 0 ||
                    s != QEL_STATUS_OK)
                    ++failures;
            }
            qel_host_handle_close(h);
        });
    }
    // Every revision up to the current one, from the history: 1, 2, ... without a gap.
    auto revisions = [&](qel_handle_t h, uint64_t& current) {
        const char* epoch = nullptr;
        uint64_t oldest = 0;
        std::vector<uint64_t> seen;
        if (qel_host_history_info(h, &current, &oldest, &epoch) != 0) return seen;
        api_status_t status = 0;
        qel_host_change_t* changes = nullptr;
        uint32_t count = 0;
        if (qel_host_history_changes(h, "/", 0, 0, current, nullptr, nullptr, 0, false, &status,
                                     &changes, &count) != 0)
            return seen;
        for (uint32_t i = 0; i < count; ++i)
            if (seen.empty() || seen.back() != changes[i].revision)
                seen.push_back(changes[i].revision);
        return seen;
    };
    std::thread reader([&] {
        qel_handle_t h = open_handle(store);
        while (writing) {
            uint64_t current = 0;
            const std::vector<uint64_t> seen = revisions(h, current);
            for (std::size_t i = 0; i < seen.size(); ++i)
                if (seen[i] != i + 1) ++failures;
            if (seen.size() != current) ++failures;
        }
        qel_host_handle_close(h);
    });
    for (std::thread& t : writers) t.join();
    writing = false;
    reader.join();
    EXPECT_EQ(failures, 0);
    uint64_t current = 0;
    qel_handle_t h = open_handle(store);
    EXPECT_EQ(revisions(h, current).size(), std::size_t{kWriters * kWrites});
    EXPECT_EQ(current, uint64_t{kWriters * kWrites});
    qel_host_handle_close(h);
    qel_host_store_close(store);
}

TEST_F(HeldFileThreads, AWriteWaitingForTheFileHoldsUpNoReadAndTheNextOnesShareOneCommit) {
    qel_handle_t reader = qel_host_handle_open(store), watcher = qel_host_handle_open(store);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(watcher, "/", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);
    std::atomic<int> first{-1}, second{-1}, third{-1};
    std::vector<std::thread> writers;
    hold_file();
    {
        writers.push_back(write("/a", "1", first));
        EXPECT_TRUE(committing());
        writers.push_back(write("/b", "2", second));
        writers.push_back(write("/c", "3", third));
        // Made in the tree, so readers see them, while none is committed, and none announced.
        EXPECT_TRUE(eventually([&] {
            return text_at(reader, "/a") == "1" && text_at(reader, "/b") == "2" &&
                   text_at(reader, "/c") == "3";
        }));
        EXPECT_TRUE(take_events(watcher).empty());
        EXPECT_EQ(first.load(), -1);
        EXPECT_EQ(commits.load(), 0);
    }
    release_file();
    for (std::thread& t : writers) t.join();
    EXPECT_EQ(first.load(), 0);
    EXPECT_EQ(second.load(), 0);
    EXPECT_EQ(third.load(), 0);
    EXPECT_EQ(commits.load(), 2) << "the two writes that waited share the second commit";
    std::vector<std::string> paths;
    for (const Seen& event : take_events(watcher))
        if (event.cmd == QEL_HOST_CHANGE_LEAF_SET) paths.push_back(event.path);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "/a");
}

TEST_F(HeldFileThreads, AFailedGroupFailsEveryWriteInItAndBehindItAndAnnouncesNone) {
    qel_handle_t reader = qel_host_handle_open(store), watcher = qel_host_handle_open(store);
    ASSERT_EQ(put(reader, "/kept", 1), QEL_STATUS_OK);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(watcher, "/", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);
    std::atomic<int> big{-1}, small{-1}, batch{-1};
    std::vector<std::thread> writers;
    {
        FileSizeLimit full(1 << 20);  // below what the big write needs, above the small ones
        hold_file();
        {
            writers.push_back(write("/big", std::string(2 << 20, 'b'), big));
            EXPECT_TRUE(committing());
            writers.push_back(write("/small", "s", small));
            writers.emplace_back([&] {
                qel_handle_t h = qel_host_handle_open(store);
                std::string one = "x", two = "y";
                const char* paths[] = {"/batch/x", "/batch/y"};
                const _element_datatype_t values[] = {text_of(one), text_of(two)};
                const qel_tribool_t tribools[] = {0, 0};
                const bool auto_time[] = {false, false};
                api_status_t* statuses = nullptr;
                uint32_t count = 0;
                batch = qel_set_leaves(h, paths, 2, values, tribools, auto_time, "held", &statuses,
                                       &count);
                qel_host_handle_close(h);
            });
            EXPECT_TRUE(eventually([&] {
                return text_at(reader, "/small") == "s" && text_at(reader, "/batch/y") == "y";
            }));
        }
        release_file();
        for (std::thread& t : writers) t.join();
    }
    EXPECT_EQ(big.load(), QEL_RESULT_DATABASE);
    EXPECT_EQ(small.load(), QEL_RESULT_DATABASE) << "made on top of the failed group";
    EXPECT_EQ(batch.load(), QEL_RESULT_DATABASE);
    for (const char* path : {"/big", "/small", "/batch/x", "/batch/y"})
        EXPECT_EQ(text_at(reader, path), "-") << path;
    EXPECT_EQ(qel_test_node(reader, "/batch", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    EXPECT_TRUE(take_events(watcher).empty());

    // With room again writes go on, and the file holds exactly what the tree holds.
    std::string after = "after";
    EXPECT_EQ(set(reader, "/after", text_of(after)), QEL_STATUS_OK);
    state.reset();
    {
        nyrhost::MutexLock hold(connection->mutex);
        sqlite3_commit_hook(connection->db(), nullptr, nullptr);
    }
    qel_host_store_close(store);
    store = qel_host_store_open(dir.file("store.db").c_str());
    ASSERT_NE(store, nullptr);
    state = nyrhost::acquire_store(store);
    connection = state->file->connection();
    qel_handle_t h = qel_host_handle_open(store);
    EXPECT_EQ(text_at(h, "/after"), "after");
    EXPECT_EQ(text_at(h, "/small"), "-");
    EXPECT_EQ(qel_test_node(h, "/batch", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
}

TEST(GroupCommitCrash, AKillAtAnyWriteOrSyncLosesNoAcknowledgedWriteNorAWritersOrder) {
    // Three writer threads, each writing its own numbered leaves and telling the parent of each
    // one acknowledged, are killed at the 1st, 2nd, ... change to the disk until they get through.
    constexpr int kThreads = 3, kWrites = 6;
    int crashes = 0;
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        TempDir dir;
        const std::string file = dir.file("store.db");
        qel_host_store_close(qel_host_store_open(file.c_str()));  // laid out before the kills
        int acks[2];
        ASSERT_EQ(::pipe(acks), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(acks[0]);
            killing::arm(n);
            qel_store_t* store = qel_host_store_open(file.c_str());
            if (store == nullptr) ::_exit(2);
            std::vector<std::thread> threads;
            std::atomic<bool> failed{false};
            for (int k = 0; k < kThreads; ++k) {
                threads.emplace_back([&, k] {
                    qel_handle_t h = qel_host_handle_open(store);
                    for (int i = 0; i < kWrites && !failed; ++i) {
                        const std::string path = "/t" + std::to_string(k) + "/" + std::to_string(i);
                        if (put(h, path.c_str(), i) != QEL_STATUS_OK) failed = true;
                        const char ack[2] = {static_cast<char>(k), static_cast<char>(i)};
                        if (::write(acks[1], ack, 2) != 2) failed = true;
                    }
                });
            }
            for (std::thread& t : threads) t.join();
            qel_host_store_close(store);
            ::_exit(failed ? 3 : 0);
        }
        ::close(acks[1]);
        int acked[kThreads] = {-1, -1, -1};
        char ack[2];
        while (::read(acks[0], ack, 2) == 2) acked[int{ack[0]}] = ack[1];
        ::close(acks[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << status;

        // Each writer's leaves are a first part of what it wrote, holding every one acknowledged.
        int result = -1;
        qel_store_t* store = qel_host_store_open_ex(file.c_str(), &result);
        ASSERT_EQ(result, QEL_HOST_OPEN_OK);
        qel_handle_t h = qel_host_handle_open(store);
        for (int k = 0; k < kThreads; ++k) {
            int kept = 0;
            while (kept < kWrites) {
                _element_datatype_t record{};
                element_property_t property = 0;
                const std::string path = "/t" + std::to_string(k) + "/" + std::to_string(kept);
                api_status_t found = 0;
                ASSERT_EQ(qel_get_leaf(h, path.c_str(), &found, &record, &property), 0);
                if (found != QEL_STATUS_OK) break;
                ASSERT_EQ(record.value.int_value, kept);
                ++kept;
            }
            EXPECT_GT(kept, acked[k]) << "writer " << k;
            for (int i = kept + 1; i < kWrites; ++i) {
                api_status_t found = 0;
                _element_datatype_t record{};
                element_property_t property = 0;
                const std::string path = "/t" + std::to_string(k) + "/" + std::to_string(i);
                ASSERT_EQ(qel_get_leaf(h, path.c_str(), &found, &record, &property), 0);
                EXPECT_EQ(found, QEL_STATUS_NOT_FOUND) << path << " kept after a lost write";
            }
        }
        qel_host_store_close(store);
        if (WIFEXITED(status)) break;
        ++crashes;
        ASSERT_LT(n, 1000) << "the writers never got through";
    }
    EXPECT_GT(crashes, 20);
}

}  // namespace

#endif  // NYR_HAVE_SQLITE
