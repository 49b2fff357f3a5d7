// The event log kept in a file: it survives reopening, refuses files that are not its own without
// touching them, and never loses a batch it reported as stored.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <map>

#include "host/killing_vfs.h"
#include "host/log_support.h"
#include "log/log_entry.h"

#ifdef NYR_HAVE_SQLITE
#include <sqlite3.h>

#include "host/killing_vfs.h"
#endif

namespace {

using namespace logtest;
using nyrhost::EventLog;

#ifdef NYR_HAVE_SQLITE
// Opens the file's log. A refusal fails the test and gives an empty memory log instead, so that
// the checks after it fail rather than crash.
std::unique_ptr<EventLog> must_open(const std::string& file) {
    int result = 1;
    auto log = EventLog::open(file.c_str(), &result);
    EXPECT_EQ(result, QEL_HOST_OPEN_OK) << file;
    return log ? std::move(log) : EventLog::open(nullptr, &result);
}
#endif

#ifdef NYR_HAVE_SQLITE

// Runs SQL on the file through a connection of the test's own.
void run_sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST(LogFile, SurvivesClosingAndReopening) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    ASSERT_EQ(store_samples(*must_open(file), {{"/a", 1}, {"/b", 2}, {"/a/c", 3}}), 0);
    {
        auto log = must_open(file);
        EXPECT_EQ(paths_of(everything(*log)), (Paths{"/a", "/b", "/a/c"}));
        ASSERT_EQ(log->clear({"/a", nullptr, nullptr}), 0);
        ASSERT_EQ(store_samples(*log, {{"/d", 4}}), 0);
    }
    const auto back = everything(*must_open(file));
    EXPECT_EQ(paths_of(back), (Paths{"/b", "/d"}));
    EXPECT_EQ(back.at(1).scalars.event_time.tv_sec, 4);

    // An existing empty file becomes a new log.
    write_file(dir.file("empty.db"), "");
    EXPECT_TRUE(everything(*must_open(dir.file("empty.db"))).empty());
}

// Every file in the directory with its bytes.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = read_file(entry.path().string());
    return files;
}

// A log of 300 events of every kind, closed.
void write_sample_log(const std::string& file) {
    std::deque<eventsamples::RecordBuilder> builders;
    std::vector<_event_t> many;
    for (int i = 0; i < 300; ++i) many.push_back(builders.emplace_back(1 << (i % 5), i).record);
    ASSERT_EQ(must_open(file)->store(many.data(), 300, false), 0);
}

TEST(LogFile, RefusesFilesThatAreNotItsOwnOrDamagedAndLeavesThemUntouched) {
    TempDir dir;
    write_sample_log(dir.file("good.db"));
    const std::string good = read_file(dir.file("good.db"));
    ASSERT_GT(good.size(), 4u * 4096);
    std::string header = good, pages = good;
    header.replace(0, 16, "not SQLite here!");
    for (size_t i = 2 * 4096; i < 4 * 4096; ++i) pages[i] = static_cast<char>(i * 131 + 7);

    // Our own log, but of an earlier layout or a later one.
    for (const std::string layout : {"2", "8"}) {
        write_file(dir.file("layout" + layout), good);
        run_sql(dir.file("layout" + layout), "PRAGMA user_version = " + layout + ";");
    }
    // Another schema under our application id and layout.
    run_sql(dir.file("impostor.db"),
            "CREATE TABLE events(x); INSERT INTO events VALUES (1);"
            "PRAGMA application_id = 1314476620; PRAGMA user_version = 3;");
    // Another application's WAL database whose content is only in the frames of its -wal.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dir.file("framed.db").c_str(), &db), SQLITE_OK);
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        EXPECT_EQ(sqlite3_exec(db,
                               "PRAGMA journal_mode = WAL; CREATE TABLE t(x);"
                               "INSERT INTO t VALUES (1); PRAGMA application_id = 1314476620;"
                               "PRAGMA user_version = 3;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_GT(read_file(dir.file("framed.db-wal")).size(), 0u);
    const std::pair<std::string, std::string> damaged[] = {
        {"notes.txt", "plain text, not a database\n" + std::string(5000, 'x')},
        {"cut.db", good.substr(0, good.size() / 2)},
        {"header.db", header},
        {"pages.db", pages}};
    for (const auto& [name, bytes] : damaged) write_file(dir.file(name), bytes);

    const std::pair<std::string, int> refused[] = {
        {"layout2", QEL_HOST_OPEN_FOREIGN},
        {"layout8", QEL_HOST_OPEN_FOREIGN},
        {"impostor.db", QEL_HOST_OPEN_FOREIGN},
        {"framed.db", QEL_HOST_OPEN_FOREIGN},
        {"notes.txt", QEL_HOST_OPEN_FOREIGN},
        {"header.db", QEL_HOST_OPEN_FOREIGN},
        {"cut.db", QEL_HOST_OPEN_DAMAGED},
        {"pages.db", QEL_HOST_OPEN_DAMAGED},
        {"no/such/dir/events.db", QEL_HOST_OPEN_UNREADABLE},
        {"", QEL_HOST_OPEN_UNREADABLE}};  // the directory itself
    for (const auto& [name, reason] : refused) {
        SCOPED_TRACE(name);
        const auto before = snapshot(dir.file(""));
        int result = 0;
        EXPECT_EQ(qel_host_store_open_ex(dir.file(name).c_str(), &result), nullptr);
        EXPECT_EQ(result, reason);
        EXPECT_EQ(snapshot(dir.file("")), before) << "files and side files as they were";
    }
    int result = 1;
    qel_store_t* store = qel_host_store_open_ex(dir.file("good.db").c_str(), &result);
    EXPECT_NE(store, nullptr);
    EXPECT_EQ(result, QEL_HOST_OPEN_OK);
    qel_host_store_close(store);
}

// Everything a log gives back, as the log's own encoding of each event.
std::vector<std::string> encoded(const std::vector<nyrhost::OwnedEvent>& events) {
    std::vector<std::string> out;
    for (const auto& event : events) {
        const nyrhost::LogEntry entry = nyrhost::entry_of(event);
        out.push_back(entry.body + std::to_string(entry.value_fill) + entry.raw_value.value_or(""));
    }
    return out;
}

TEST(LogFile, ADamagedFileGivesAFailureNeverAlteredEvents) {
    TempDir dir;
    write_sample_log(dir.file("good.db"));
    const std::string good = read_file(dir.file("good.db"));
    const auto expected = encoded(everything(*must_open(dir.file("good.db"))));
    ASSERT_EQ(expected.size(), 300u);

    // One byte flipped at a time, all over the file: the open refuses it, or a retrieval fails
    // with QEL_RESULT_DAMAGED, or every event comes back as it was stored.
    int refused = 0, damaged = 0;
    for (size_t at = 7; at < good.size(); at += 331) {
        SCOPED_TRACE(at);
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x24);
        const std::string file = dir.file("flipped" + std::to_string(at));
        write_file(file, bytes);
        int result = 0;
        auto log = EventLog::open(file.c_str(), &result);
        if (!log) {
            ++refused;
            EXPECT_NE(result, QEL_HOST_OPEN_OK);
            continue;
        }
        std::vector<nyrhost::OwnedEvent> out;
        const int retrieved = log->retrieve(out, {nullptr, nullptr, nullptr});
        if (retrieved == QEL_RESULT_OK)
            EXPECT_EQ(encoded(out), expected);
        else
            EXPECT_EQ(retrieved, QEL_RESULT_DAMAGED);
        damaged += retrieved == QEL_RESULT_DAMAGED;
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(damaged, 10) << "flips inside events are caught by their checksums";
}

TEST(LogFile, ACrashWhileANewLogIsMadeLeavesAFileTheNextOpenTakes) {
    // A writer that makes a new log and stores one event, killed at its 1st, 2nd, ... change to
    // the disk until it gets through.
    int crashes = 0;
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        TempDir dir;
        const std::string file = dir.file("events.db");
        int stored[2];
        ASSERT_EQ(::pipe(stored), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            killing::arm(n);
            int result = 0;
            auto log = EventLog::open(file.c_str(), &result);
            if (!log) ::_exit(2);
            if (store_samples(*log, {{"/crash", 7}}) != 0) ::_exit(3);
            if (::write(stored[1], "s", 1) != 1) ::_exit(4);
            log.reset();
            ::_exit(0);
        }
        ::close(stored[1]);
        char byte = 0;
        const bool reported = ::read(stored[0], &byte, 1) == 1;
        ::close(stored[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << status;

        // The file is taken, and holds the event when the writer was told it was stored (and
        // perhaps when it was killed while being told).
        const auto events = everything(*must_open(file));
        if (reported) {
            EXPECT_EQ(paths_of(events), (Paths{"/crash"}));
        } else {
            EXPECT_LE(events.size(), 1u);
        }
        if (WIFEXITED(status)) break;
        ++crashes;
        ASSERT_LT(n, 200) << "the writer never got through";
    }
    EXPECT_GT(crashes, 5);
}

TEST(LogFile, KilledWriterLosesAtMostTheBatchInFlight) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    constexpr uint32_t kBatchSize = 40;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Stores numbered batches until it is killed, telling the parent after the first.
        int result = 0;
        auto log = EventLog::open(file.c_str(), &result);
        if (!log) ::_exit(2);
        std::deque<eventsamples::RecordBuilder> builders;
        std::vector<_event_t> batch;
        for (uint32_t i = 0; i < kBatchSize; ++i)
            batch.push_back(builders.emplace_back(0x4).record);
        for (uint32_t n = 0;; ++n) {
            for (uint32_t i = 0; i < kBatchSize; ++i) batch[i].sequence_id = n * kBatchSize + i;
            if (log->store(batch.data(), kBatchSize, false) != 0) ::_exit(3);
            if (n == 0 && ::write(ready[1], "r", 1) != 1) ::_exit(4);
        }
    }
    ::close(ready[1]);
    char byte = 0;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::usleep(60 * 1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;

    const auto all = everything(*must_open(file));
    EXPECT_GT(all.size(), 0u);
    EXPECT_EQ(all.size() % kBatchSize, 0u);
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i].scalars.sequence_id, i) << "batches are whole and in order";
}

#else

TEST(LogFile, NeedsSQLite) {
    TempDir dir;
    int result = 0;
    EXPECT_EQ(EventLog::open(dir.file("events.db").c_str(), &result), nullptr);
    EXPECT_EQ(result, QEL_HOST_OPEN_NO_SQLITE);
    EXPECT_NE(EventLog::open("", &result), nullptr);
}

#endif

}  // namespace
