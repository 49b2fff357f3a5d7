// The event log kept in a file: it survives reopening, refuses files that are not its own without
// touching them, and never loses a batch it reported as stored.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "host/log_support.h"

#ifdef NYR_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

using namespace logtest;
using nyrhost::EventLog;

std::unique_ptr<EventLog> open_log(const std::string& file, int& result) {
    result = 1;
    return EventLog::open(file.c_str(), &result);
}

#ifdef NYR_HAVE_SQLITE
// Opens the file's log. A refusal fails the test and gives an empty memory log instead, so that
// the checks after it fail rather than crash.
std::unique_ptr<EventLog> must_open(const std::string& file) {
    int result = 1;
    auto log = EventLog::open(file.c_str(), &result);
    EXPECT_EQ(result, QEL_RESULT_OK) << file;
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

TEST(LogFile, RefusesFilesThatAreNotItsOwnOrDamagedAndLeavesThemUntouched) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    {
        auto log = must_open(file);
        std::deque<eventsamples::RecordBuilder> builders;
        std::vector<_event_t> many;
        for (int i = 0; i < 300; ++i) many.push_back(builders.emplace_back(0x8, i).record);
        ASSERT_EQ(log->store(many.data(), 300, false), 0);
    }
    const std::string good = read_file(file);
    ASSERT_GT(good.size(), 4u * 4096);
    std::string header = good, pages = good;
    header.replace(0, 16, "not SQLite here!");
    for (size_t i = 2 * 4096; i < 4 * 4096; ++i) pages[i] = static_cast<char>(i * 131 + 7);

    // Our own log, but of the layout before (its own event encoding) or a later one; another
    // application's database.
    for (const std::string layout : {"1", "3"}) {
        write_file(dir.file("layout" + layout), good);
        run_sql(dir.file("layout" + layout), "PRAGMA user_version = " + layout + ";");
    }
    run_sql(dir.file("other.db"),
            "CREATE TABLE events(id INTEGER PRIMARY KEY, body BLOB);"
            "INSERT INTO events(body) VALUES (x'0102');");
    const std::pair<std::string, std::string> damaged[] = {
        {"notes.txt", "plain text, not a database\n" + std::string(5000, 'x')},
        {"cut.db", good.substr(0, good.size() / 2)},
        {"header.db", header},
        {"pages.db", pages}};
    for (const auto& [name, bytes] : damaged) write_file(dir.file(name), bytes);
    for (const char* name :
         {"other.db", "layout1", "layout3", "notes.txt", "cut.db", "header.db", "pages.db"}) {
        SCOPED_TRACE(name);
        const std::string refused = dir.file(name);
        const std::string before = read_file(refused);
        int result = 0;
        EXPECT_EQ(open_log(refused, result), nullptr);
        EXPECT_EQ(result, QEL_RESULT_DATABASE);
        EXPECT_EQ(read_file(refused), before);
    }
    for (const std::string& unusable : {dir.file("no/such/dir/events.db"), dir.file("")}) {
        int result = 0;
        EXPECT_EQ(open_log(unusable, result), nullptr) << unusable;
        EXPECT_EQ(result, QEL_RESULT_DATABASE) << unusable;
    }
}

TEST(LogFile, DatabaseFailuresAreReportedAndKeepEveryEarlierBatch) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    auto log = must_open(file);
    ASSERT_EQ(store_samples(*log, {{"/first"}, {"/second"}, {"/third"}}), 0);

    // An entry that does not decode, or whose raw value stands beside a value the body holds
    // whole, fails a retrieval that meets it, and only such a one.
    run_sql(file,
            "UPDATE events SET body = x'01020304' WHERE path = CAST('/second' AS BLOB);"
            "UPDATE events SET raw_value = zeroblob(20) WHERE path = CAST('/third' AS BLOB);");
    std::vector<nyrhost::OwnedEvent> out(1);
    EXPECT_EQ(log->retrieve(out, {nullptr, nullptr, nullptr}), QEL_RESULT_DATABASE);
    EXPECT_EQ(log->retrieve(out, {"/third", nullptr, nullptr}), QEL_RESULT_DATABASE);
    EXPECT_EQ(out.size(), 1u);
    out.clear();
    EXPECT_EQ(log->retrieve(out, {"/first", nullptr, nullptr}), QEL_RESULT_OK);
    EXPECT_EQ(paths_of(out), (Paths{"/first"}));
    run_sql(file, "DELETE FROM events WHERE path <> CAST('/first' AS BLOB);");

    // The database refuses the third event of the next batch, after two have gone in: none of
    // the batch is kept.
    run_sql(file,
            "CREATE TRIGGER refuse BEFORE INSERT ON events WHEN NEW.kind = 30583"
            " BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    std::deque<eventsamples::RecordBuilder> builders;
    std::vector<_event_t> batch;
    for (int32_t kind : {0x4, 0x8, 0x7777, 0x4}) {
        builders.emplace_back(kind).set_path("/batch");
        batch.push_back(builders.back().record);
    }
    EXPECT_EQ(log->store(batch.data(), 4, false), QEL_RESULT_DATABASE);
    EXPECT_EQ(paths_of(everything(*log)), (Paths{"/first"}));

    // The log works on, and a reopened log sees the same.
    ASSERT_EQ(log->store(batch.data(), 2, false), 0);
    log.reset();
    EXPECT_EQ(paths_of(everything(*must_open(file))), (Paths{"/first", "/batch", "/batch"}));
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
    EXPECT_EQ(open_log(dir.file("events.db"), result), nullptr);
    EXPECT_EQ(result, QEL_RESULT_DATABASE);
    EXPECT_NE(EventLog::open("", &result), nullptr);
}

#endif

}  // namespace
