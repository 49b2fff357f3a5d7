// The history kept in a store file: kept across reopening with its epoch, continued without a
// gap after a failed commit and after the writer is killed at any write or sync of the file,
// agreeing with the tree at every revision, and a damaged history row reported, never read.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "host/history_support.h"
#include "host/log_support.h"

#ifdef NYR_HAVE_SQLITE
#include <sqlite3.h>

#include "host/killing_vfs.h"

namespace {

using logtest::FileSizeLimit;
using logtest::TempDir;
using namespace storetest;
using namespace historytest;

std::string epoch_of(qel_handle_t h) {
    uint64_t revision = 0, oldest = 0;
    const char* epoch = nullptr;
    EXPECT_EQ(qel_host_history_info(h, &revision, &oldest, &epoch), 0);
    return epoch ? epoch : "";
}

// The writes the crash test makes, one revision each.
const std::vector<std::function<api_status_t(qel_handle_t)>> kWrites = {
    [](qel_handle_t h) { return put(h, "/k/a", 1); },
    [](qel_handle_t h) { return put(h, "/k/b/c", 2); },
    [](qel_handle_t h) { return put(h, "/k/a", 3); },
    [](qel_handle_t h) { return remove_node(h, "/k/b"); },
    [](qel_handle_t h) { return clear_leaf(h, "/k/a"); },
    [](qel_handle_t h) { return put(h, "/k/d", 4); },
};

TEST(HistoryFile, IsKeptAcrossReopeningWithItsEpochAndGoesOnFromItsRevision) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    for (const auto& write : kWrites) ASSERT_EQ(write(h), QEL_STATUS_OK);
    const std::string epoch = epoch_of(h);
    const auto changes = changes_of(h, "/");
    std::vector<std::vector<std::string>> trees;
    for (uint64_t r = 0; r <= kWrites.size(); ++r) trees.push_back(tree_at(h, r));
    qel_host_store_close(store);

    store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    h = qel_host_handle_open(store);
    EXPECT_EQ(epoch_of(h), epoch);
    EXPECT_EQ(changes_of(h, "/"), changes);
    for (uint64_t r = 0; r <= kWrites.size(); ++r) EXPECT_EQ(tree_at(h, r), trees[r]) << r;
    ASSERT_EQ(put(h, "/after", 5), QEL_STATUS_OK);
    EXPECT_EQ(revision_of(h), kWrites.size() + 1);
    // Retention survives reopening too: the oldest kept stays the oldest kept.
    ASSERT_EQ(qel_host_set_history_limits(store, 3, 1 << 20, 3600), 0);
    ASSERT_EQ(put(h, "/after", 6), QEL_STATUS_OK);
    const uint64_t oldest = oldest_of(h);
    EXPECT_GT(oldest, 1u);
    qel_host_store_close(store);
    store = qel_host_store_open(file.c_str());
    h = qel_host_handle_open(store);
    EXPECT_EQ(oldest_of(h), oldest);
    EXPECT_EQ(revision_of(h), kWrites.size() + 2);
    qel_host_store_close(store);

    // Another file is another epoch.
    store = qel_host_store_open(dir.file("other.db").c_str());
    EXPECT_NE(epoch_of(qel_host_handle_open(store)), epoch);
    qel_host_store_close(store);
}

TEST(HistoryFile, AFileOfTheLayoutBeforeGetsAnEmptyHistoryAndKeepsItsTree) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    for (const auto& write : kWrites) ASSERT_EQ(write(h), QEL_STATUS_OK);
    const auto tree = tree_now(h);
    qel_host_store_close(store);
    // The layout before this one: the log and the tree, no history.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "DROP TABLE history; DROP TABLE history_signatures; DROP TABLE history_meta;"
                     "PRAGMA user_version = 4",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    h = qel_host_handle_open(store);
    EXPECT_EQ(tree_now(h), tree);
    EXPECT_EQ(revision_of(h), 0u);
    EXPECT_EQ(epoch_of(h).size(), 32u);
    EXPECT_EQ(tree_at(h, 0), tree) << "the tree as the file had it is revision 0";
    ASSERT_EQ(put(h, "/new", 1), QEL_STATUS_OK);
    EXPECT_EQ(revision_of(h), 1u);
    qel_host_store_close(store);
}

TEST(HistoryFile, AFailedCommitTakesNoRevision) {
    TempDir dir;
    qel_store_t* store = qel_host_store_open(dir.file("store.db").c_str());
    ASSERT_NE(store, nullptr);
    qel_handle_t h = qel_host_handle_open(store);
    ASSERT_EQ(put(h, "/a", 1), QEL_STATUS_OK);
    std::string big(2 << 20, 'b');
    api_status_t status = 0;
    {
        FileSizeLimit full(1 << 20);
        EXPECT_EQ(qel_set_leaf(h, "/big", text_value(big), 0, false, "", &status),
                  QEL_RESULT_DATABASE);
    }
    EXPECT_EQ(revision_of(h), 1u);
    ASSERT_EQ(put(h, "/b", 2), QEL_STATUS_OK);
    EXPECT_EQ(
        changes_of(h, "/"),
        (std::vector<std::string>{"1.0 1 /a - -> " + leaf_text(int_value(1, 100), 0) + " test",
                                  "2.0 1 /b - -> " + leaf_text(int_value(2, 100), 0) + " test"}));
    qel_host_store_close(store);
}

TEST(HistoryFile, AWriterKilledAtAnyWriteOrSyncLeavesHistoryAndTreeAgreeing) {
    // Its handles are in process either way: once, in the run on in-process handles, is enough.
    if (remote_handles()) GTEST_SKIP() << "runs with in-process handles";
    // The trees a writer that is not killed goes through, revision by revision.
    std::vector<std::vector<std::string>> expected;
    {
        qel_store_t* model = qel_host_store_open(nullptr);
        qel_handle_t h = qel_host_handle_open(model);
        expected.push_back(tree_now(h));
        for (const auto& write : kWrites) {
            ASSERT_EQ(write(h), QEL_STATUS_OK);
            expected.push_back(tree_now(h));
        }
        qel_host_store_close(model);
    }
    int crashes = 0;
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        TempDir dir;
        const std::string file = dir.file("store.db");
        int acks[2];
        ASSERT_EQ(::pipe(acks), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Makes the file and writes, telling the parent each revision it was given.
            ::close(acks[0]);
            killing::arm(n);
            qel_store_t* store = qel_host_store_open(file.c_str());
            if (!store) ::_exit(2);
            qel_handle_t h = qel_host_handle_open(store);
            for (uint8_t r = 1; r <= kWrites.size(); ++r) {
                if (kWrites[r - 1](h) != QEL_STATUS_OK) ::_exit(3);
                if (::write(acks[1], &r, 1) != 1) ::_exit(4);
            }
            qel_host_store_close(store);
            ::_exit(0);
        }
        ::close(acks[1]);
        uint8_t acked = 0, got = 0;
        while (::read(acks[0], &got, 1) == 1) acked = got;
        ::close(acks[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << status;

        // Every acknowledged revision is there, at most one more, each once and in order, and
        // the history reads back the tree the model went through at each.
        qel_store_t* store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        qel_handle_t h = qel_host_handle_open(store);
        const uint64_t revision = revision_of(h);
        EXPECT_GE(revision, acked);
        EXPECT_LE(revision, acked + 1u);
        EXPECT_EQ(oldest_of(h), 1u);
        uint64_t last = 0;
        uint32_t index = 0;
        api_status_t item = 0;
        qel_host_change_t* changes = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(qel_host_history_changes(h, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false,
                                           &item, &changes, &count),
                  0);
        for (uint32_t i = 0; i < count; ++i) {
            if (changes[i].revision != last) {
                ASSERT_EQ(changes[i].revision, last + 1) << "no revision skipped or used twice";
                last = changes[i].revision;
                index = 0;
            }
            ASSERT_EQ(changes[i].index, index++);
        }
        EXPECT_EQ(last, revision);
        EXPECT_EQ(tree_now(h), expected[revision]);
        for (uint64_t r = 0; r <= revision; ++r) EXPECT_EQ(tree_at(h, r), expected[r]) << r;
        // The next write goes on from there.
        if (revision < kWrites.size()) {
            ASSERT_EQ(kWrites[revision](h), QEL_STATUS_OK);
            EXPECT_EQ(revision_of(h), revision + 1);
        }
        qel_host_store_close(store);
        if (WIFEXITED(status)) break;
        ++crashes;
        ASSERT_LT(n, 400) << "the writer never got through";
    }
    EXPECT_GT(crashes, 10);
}

TEST(HistoryFile, ADamagedHistoryRowIsReportedNeverReadAltered) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = qel_host_store_open(file.c_str());
    qel_handle_t h = qel_host_handle_open(store);
    for (const auto& write : kWrites) ASSERT_EQ(write(h), QEL_STATUS_OK);
    qel_host_store_close(store);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE history SET source = 'other' WHERE revision = 3", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    store = qel_host_store_open(file.c_str());
    ASSERT_NE(store, nullptr);
    h = qel_host_handle_open(store);
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    uint32_t count = 7;
    EXPECT_EQ(qel_host_history_changes(h, "/", 0, 0, UINT64_MAX, nullptr, nullptr, 0, false,
                                       &status, &changes, &count),
              QEL_RESULT_DAMAGED);
    // Reading /k/a at revision 1 needs the change of revision 3 on it.
    _element_datatype_t value{};
    element_property_t property = 0;
    uint64_t at = 0;
    EXPECT_EQ(qel_host_leaf_at(h, "/k/a", 1, nullptr, &status, &value, &property, &at),
              QEL_RESULT_DAMAGED);
    // What does not need it still reads.
    EXPECT_EQ(changes_of(h, "/k/d").size(), 1u);
    qel_host_store_close(store);
}

// One revision of `count` leaves under `prefix` (values from `first`, stamped at second 100).
void put_batch(qel_handle_t h, const std::string& prefix, uint32_t count, int32_t first) {
    std::vector<std::string> paths;
    std::vector<const char*> path_array;
    std::vector<_element_datatype_t> values;
    for (uint32_t i = 0; i < count; ++i) {
        paths.push_back(prefix + std::to_string(i));
        values.push_back(int_value(first + static_cast<int32_t>(i), 100));
    }
    for (const auto& path : paths) path_array.push_back(path.c_str());
    std::vector<qel_tribool_t> tribools(count, 0);
    std::unique_ptr<bool[]> auto_time(new bool[count]());
    api_status_t* statuses = nullptr;
    uint32_t done = 0;
    ASSERT_EQ(qel_set_leaves(h, path_array.data(), count, values.data(), tribools.data(),
                             auto_time.get(), "batch", &statuses, &done),
              0);
}

// The leaf at `path` as it was at `revision`, as text.
std::string leaf_at(qel_handle_t h, const char* path, uint64_t revision) {
    api_status_t status = 0;
    _element_datatype_t value{};
    element_property_t property = 0;
    uint64_t at = 0;
    EXPECT_EQ(qel_host_leaf_at(h, path, revision, nullptr, &status, &value, &property, &at), 0);
    EXPECT_EQ(at, revision);
    return status == QEL_STATUS_OK ? leaf_text(value, property) : std::to_string(status);
}

// What a file's reads are checked with: subtrees written often, seldom and never, read whole,
// first and newest ones, from a revision on, and the leaves of a subtree at revisions.
std::vector<std::string> reads_of(qel_handle_t h, uint64_t newest_revision) {
    const uint64_t oldest = oldest_of(h);
    std::vector<std::string> out;
    const auto add = [&](const std::vector<std::string>& lines) {
        out.insert(out.end(), lines.begin(), lines.end());
        out.emplace_back("--");
    };
    for (const char* path : {"/rare", "/rare/x", "/rare/y", "/busy/b7", "/none", "/"}) {
        add(changes_of(h, path, 0, 3, true));
        add(changes_of(h, path, 0, 2));
        add(changes_of(h, path, std::max(oldest, newest_revision * 2 / 3), 4));
    }
    add(changes_of(h, "/rare"));
    add(changes_of(h, "/rare/x", std::max(oldest, newest_revision / 3)));
    for (uint64_t r = std::max(oldest, newest_revision / 4); r <= newest_revision;
         r += std::max<uint64_t>(1, newest_revision / 8))
        add(tree_at(h, r, "/rare"));
    return out;
}

// Reads that span many blocks of the history's rows, with a subtree's changes few and far apart,
// give what the history in memory gives, before and after retention drops the oldest revisions;
// the file's index of blocks stays exact throughout.
TEST(HistoryFile, ReadsAcrossManyBlocksAgreeWithTheHistoryInMemory) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* stores[2] = {qel_host_store_open(nullptr), qel_host_store_open(file.c_str())};
    ASSERT_NE(stores[1], nullptr);
    qel_handle_t handles[2] = {qel_host_handle_open(stores[0]), qel_host_handle_open(stores[1])};
    for (qel_handle_t h : handles) {
        for (int32_t round = 0; round < 40; ++round) {
            put_batch(h, "/busy/b", 700, round * 1000);
            if (round % 9 == 4) {
                ASSERT_EQ(put(h, "/rare/x", round), QEL_STATUS_OK);
            }
            if (round == 23) {
                ASSERT_EQ(put(h, "/rare/y/z", round), QEL_STATUS_OK);
            }
            if (round == 31) {
                ASSERT_EQ(remove_node(h, "/rare/y"), QEL_STATUS_OK);
            }
        }
    }
    ASSERT_EQ(changes_of(handles[0], "/rare").size(), 8u);  // /rare, /rare/y and z added too
    // Then 65 rows a round, so that /rare/x's change falls on every place of a block in turn.
    const uint64_t before = revision_of(handles[0]);
    for (qel_handle_t h : handles) {
        for (int32_t round = 0; round < 64; ++round) {
            put_batch(h, "/busy/c", 64, round * 100);
            ASSERT_EQ(put(h, "/rare/x", 1000 + round), QEL_STATUS_OK);
        }
    }
    const uint64_t newest = revision_of(handles[1]);
    ASSERT_EQ(revision_of(handles[0]), newest);
    for (uint64_t r = before; r <= newest; ++r) {
        ASSERT_EQ(tree_at(handles[1], r, "/rare"), tree_at(handles[0], r, "/rare")) << r;
        ASSERT_EQ(leaf_at(handles[1], "/rare/x", r), leaf_at(handles[0], "/rare/x", r)) << r;
    }
    const auto reads = reads_of(handles[0], newest);
    EXPECT_EQ(reads_of(handles[1], newest), reads);

    // Retention drops whole revisions from the front, rows of blocks with them.
    for (qel_store_t* store : stores)
        ASSERT_EQ(qel_host_set_history_limits(store, 12000, 1 << 30, 3600), 0);
    for (qel_handle_t h : handles) ASSERT_EQ(put(h, "/rare/x", 99), QEL_STATUS_OK);
    ASSERT_GT(oldest_of(handles[1]), 20u);
    EXPECT_EQ(oldest_of(handles[1]), oldest_of(handles[0]));
    EXPECT_EQ(reads_of(handles[1], newest + 1), reads_of(handles[0], newest + 1));
    const std::size_t held = changes_of(handles[0], "/").size();
    EXPECT_LE(held, 12000u);
    for (qel_store_t* store : stores) qel_host_store_close(store);

    qel_host_file_report_t report;
    ASSERT_EQ(qel_host_store_check(file.c_str(), &report, nullptr, nullptr), QEL_HOST_OPEN_OK);
    EXPECT_EQ(report.integrity_ok, 1u);
    EXPECT_EQ(report.history_rows, held);
}

// Retention that cuts through a block keeps its signature, which then holds more than the rows
// left in it; what is left is still found, and the check takes it as sound.
TEST(HistoryFile, RetentionCuttingThroughABlockKeepsWhatIsLeftOfItFound) {
    TempDir dir;
    const std::string file = dir.file("store.db");
    qel_store_t* store = qel_host_store_open(file.c_str());
    qel_handle_t h = qel_host_handle_open(store);
    // Revision v writes v to /hot, or to /cold each tenth time.
    const auto path_of = [](int32_t v) { return v % 10 == 0 ? "/cold" : "/hot"; };
    for (int32_t v = 1; v <= 200; ++v) ASSERT_EQ(put(h, path_of(v), v), QEL_STATUS_OK);
    ASSERT_EQ(qel_host_set_history_limits(store, 100, 1 << 20, 3600), 0);
    ASSERT_EQ(put(h, "/hot", 201), QEL_STATUS_OK);
    const uint64_t oldest = oldest_of(h);
    ASSERT_GT(oldest % 64, 10u) << "the cut should fall inside a block, past a change of /cold";
    _element_datatype_t now{};
    element_property_t property = 0;
    ASSERT_EQ(get(h, "/hot", now, property), QEL_STATUS_OK);
    for (uint64_t r = oldest; r <= 201; ++r) {
        int32_t last = static_cast<int32_t>(r);
        while (path_of(last)[1] != 'h') --last;
        EXPECT_EQ(leaf_at(h, "/hot", r), leaf_text(int_value(last, 100), property)) << r;
    }
    qel_host_store_close(store);
    qel_host_file_report_t report;
    ASSERT_EQ(qel_host_store_check(file.c_str(), &report, nullptr, nullptr), QEL_HOST_OPEN_OK);
    EXPECT_EQ(report.integrity_ok, 1u);

    // The check tells a signature short of its block's rows, one missing, and one of no block.
    for (const char* tampering : {"UPDATE history_signatures SET bits = zeroblob(512)"
                                  " WHERE block = (SELECT max(block) FROM history_signatures)",
                                  "DELETE FROM history_signatures WHERE block = (SELECT max(block) "
                                  "FROM history_signatures)",
                                  "INSERT INTO history_signatures VALUES(1000, zeroblob(512))"}) {
        SCOPED_TRACE(tampering);
        const std::string copy = dir.file("tampered.db");
        logtest::write_file(copy, logtest::read_file(file));
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(copy.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, tampering, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        ASSERT_EQ(qel_host_store_check(copy.c_str(), &report, nullptr, nullptr), QEL_HOST_OPEN_OK);
        EXPECT_EQ(report.integrity_ok, 0u);
        std::remove(copy.c_str());
    }
}

// Files of the two layouts before: one whose history is keyed by revision has its rows moved,
// each as it was; both get the blocks' signatures in place of their indexes, and read as they did.
TEST(HistoryFile, HistoriesOfTheLayoutsBeforeAreUpgradedWhenTheFileIsOpened) {
    const char* const kKeyedByRevision =
        "ALTER TABLE history RENAME TO newer;"
        "CREATE TABLE history(revision INTEGER NOT NULL, idx INTEGER NOT NULL, time INTEGER NOT "
        "NULL, prev_time INTEGER NOT NULL, kind INTEGER NOT NULL, path BLOB NOT NULL, old BLOB, "
        "new BLOB, source BLOB NOT NULL, uid INTEGER, pid INTEGER, run_count INTEGER NOT NULL, "
        "run_bytes INTEGER NOT NULL, checksum INTEGER NOT NULL, PRIMARY KEY(revision, idx)) "
        "WITHOUT ROWID;"
        "CREATE INDEX history_by_path ON history(path, revision);"
        "INSERT INTO history SELECT * FROM newer; DROP TABLE newer; DROP TABLE history_signatures;"
        "PRAGMA user_version = 5;";
    const char* const kBlockIndexed =
        "DROP TABLE history_signatures;"
        "CREATE TABLE history_blocks(path BLOB NOT NULL, block INTEGER NOT NULL,"
        " PRIMARY KEY(path, block)) WITHOUT ROWID;"
        "CREATE TRIGGER history_block_in AFTER INSERT ON history BEGIN"
        " INSERT OR IGNORE INTO history_blocks VALUES(new.path, new.run_count >> 6); END;"
        "CREATE TRIGGER history_block_out AFTER DELETE ON history"
        " WHEN NOT EXISTS(SELECT 1 FROM history WHERE run_count >= (old.run_count >> 6) << 6"
        " AND run_count < ((old.run_count >> 6) + 1) << 6 AND path = old.path) BEGIN"
        " DELETE FROM history_blocks WHERE path = old.path AND block = old.run_count >> 6; END;"
        "INSERT INTO history_blocks SELECT DISTINCT path, run_count >> 6 FROM history;"
        "PRAGMA user_version = 6;";
    for (const char* layout_before : {kKeyedByRevision, kBlockIndexed}) {
        SCOPED_TRACE(layout_before);
        TempDir dir;
        const std::string file = dir.file("store.db");
        qel_store_t* store = qel_host_store_open(file.c_str());
        qel_handle_t h = qel_host_handle_open(store);
        for (const auto& write : kWrites) ASSERT_EQ(write(h), QEL_STATUS_OK);
        put_batch(h, "/many/m", 200, 0);
        ASSERT_EQ(put(h, "/k/a", 8), QEL_STATUS_OK);
        const std::string epoch = epoch_of(h);
        const auto reads = reads_of(h, revision_of(h));
        const auto changes = changes_of(h, "/");
        qel_host_store_close(store);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, layout_before, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        store = qel_host_store_open(file.c_str());
        ASSERT_NE(store, nullptr);
        h = qel_host_handle_open(store);
        EXPECT_EQ(epoch_of(h), epoch);
        EXPECT_EQ(changes_of(h, "/"), changes);
        EXPECT_EQ(reads_of(h, revision_of(h)), reads);
        ASSERT_EQ(put(h, "/k/a", 9), QEL_STATUS_OK);
        EXPECT_EQ(changes_of(h, "/k/a", 0, 1, true).at(0).substr(0, 4),
                  std::to_string(kWrites.size() + 3) + ".0 ");
        qel_host_store_close(store);
        qel_host_file_report_t report;
        ASSERT_EQ(qel_host_store_check(file.c_str(), &report, nullptr, nullptr), QEL_HOST_OPEN_OK);
        EXPECT_EQ(report.integrity_ok, 1u);
        EXPECT_EQ(report.history_rows, changes.size() + 1);
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* signed_blocks = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM history_signatures", -1,
                                     &signed_blocks, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(signed_blocks), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int64(signed_blocks, 0),
                  static_cast<int64_t>((changes.size() + 2) / 64));  // of the complete blocks
        sqlite3_finalize(signed_blocks);
        sqlite3_close(db);
    }
}

}  // namespace

#endif  // NYR_HAVE_SQLITE
