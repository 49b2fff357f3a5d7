// The event log kept in a file: it survives reopening, refuses files that are not its own
// without touching them, and never loses a batch it reported as stored.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "host/event_copy_samples.h"
#include "host/log_support.h"
#include "nyr_host.h"

#ifdef NYR_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

using logtest::everything;
using logtest::paths_of;
using logtest::read_file;
using logtest::Sample;
using logtest::store_samples;
using logtest::TempDir;
using logtest::write_file;
using nyrhost::EventLog;
using Paths = std::vector<std::string>;

std::unique_ptr<EventLog> open_log(const std::string& file, int& result) {
    result = 1;
    return EventLog::open(file.c_str(), &result);
}

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

// Expects the file to be refused with the database result and left byte for byte as it was.
void expect_refused_untouched(const std::string& file) {
    const std::string before = read_file(file);
    int result = 0;
    EXPECT_EQ(open_log(file, result), nullptr);
    EXPECT_EQ(result, QEL_RESULT_DATABASE);
    EXPECT_EQ(read_file(file), before);
}

TEST(LogFile, SurvivesClosingAndReopening) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    int result = 0;
    {
        auto log = open_log(file, result);
        ASSERT_NE(log, nullptr);
        ASSERT_EQ(store_samples(*log, {{"/a", 1}, {"/b", 2}, {"/a/c", 3}}), 0);
    }
    {
        auto log = open_log(file, result);
        ASSERT_NE(log, nullptr);
        EXPECT_EQ(result, QEL_RESULT_OK);
        EXPECT_EQ(paths_of(everything(*log)), (Paths{"/a", "/b", "/a/c"}));
        ASSERT_EQ(log->clear("/a", nullptr, nullptr), 0);
        ASSERT_EQ(store_samples(*log, {{"/d", 4}}), 0);
    }
    auto log = open_log(file, result);
    ASSERT_NE(log, nullptr);
    const auto back = everything(*log);
    EXPECT_EQ(paths_of(back), (Paths{"/b", "/d"}));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].scalars.event_time.tv_sec, 4);

    // An existing empty file becomes a new log.
    write_file(dir.file("empty.db"), "");
    auto fresh = open_log(dir.file("empty.db"), result);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(everything(*fresh).empty());
}

TEST(LogFile, RefusesFilesThatAreNotItsOwn) {
    TempDir dir;
    const std::string text = dir.file("notes.txt");
    write_file(text, std::string("plain text, not a database\n") + std::string(5000, 'x'));
    expect_refused_untouched(text);

    const std::string other = dir.file("other.db");
    run_sql(other,
            "CREATE TABLE events(id INTEGER PRIMARY KEY, body BLOB);"
            "INSERT INTO events(body) VALUES (x'0102');");
    expect_refused_untouched(other);

    // Our own log, but of a later layout than this build knows.
    const std::string later = dir.file("later.db");
    {
        int result = 0;
        auto log = open_log(later, result);
        ASSERT_NE(log, nullptr);
        ASSERT_EQ(store_samples(*log, {{"/a"}}), 0);
    }
    run_sql(later, "PRAGMA user_version = 2;");
    expect_refused_untouched(later);

    int result = 0;
    EXPECT_EQ(open_log(dir.file("no/such/dir/events.db"), result), nullptr);
    EXPECT_EQ(result, QEL_RESULT_DATABASE);
    EXPECT_EQ(open_log(dir.file(""), result), nullptr);  // the directory itself
    EXPECT_EQ(result, QEL_RESULT_DATABASE);
}

TEST(LogFile, RefusesDamagedFilesUntouched) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    {
        int result = 0;
        auto log = open_log(file, result);
        ASSERT_NE(log, nullptr);
        std::deque<eventsamples::RecordBuilder> builders;
        std::vector<_event_t> many;
        for (int i = 0; i < 300; ++i) many.push_back(builders.emplace_back(0x8, i).record);
        ASSERT_EQ(log->store(many.data(), 300, false), 0);
    }
    const std::string good = read_file(file);
    ASSERT_GT(good.size(), 4u * 4096);

    std::string header = good;
    header.replace(0, 16, "not SQLite here!");
    write_file(file, header);
    expect_refused_untouched(file);

    std::string pages = good;
    for (size_t i = 2 * 4096; i < 4 * 4096; ++i) pages[i] = static_cast<char>(i * 131 + 7);
    write_file(file, pages);
    expect_refused_untouched(file);

    write_file(file, good.substr(0, good.size() / 2));
    expect_refused_untouched(file);
}

TEST(LogFile, ReportsAnEntryThatDoesNotDecode) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    int result = 0;
    auto log = open_log(file, result);
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(store_samples(*log, {{"/a"}, {"/b"}}), 0);
    run_sql(file, "UPDATE events SET body = x'01020304' WHERE path = CAST('/b' AS BLOB);");
    std::vector<nyrhost::OwnedEvent> out(1);
    EXPECT_EQ(log->retrieve(out, nullptr, nullptr, nullptr, 0, false, 0), QEL_RESULT_DATABASE);
    EXPECT_EQ(out.size(), 1u);
    out.clear();
    EXPECT_EQ(log->retrieve(out, "/a", nullptr, nullptr, 0, false, 0), QEL_RESULT_OK);
    EXPECT_EQ(paths_of(out), (Paths{"/a"}));
}

TEST(LogFile, FailedBatchKeepsNoneOfItAndEveryEarlierBatch) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    int result = 0;
    auto log = open_log(file, result);
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(store_samples(*log, {{"/first"}, {"/second"}}), 0);

    // The database refuses the third event of the next batch, after two have gone in.
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
    EXPECT_EQ(paths_of(everything(*log)), (Paths{"/first", "/second"}));

    // The log works on, and a reopened log sees the same.
    ASSERT_EQ(log->store(batch.data(), 2, false), 0);
    log.reset();
    log = open_log(file, result);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(paths_of(everything(*log)), (Paths{"/first", "/second", "/batch", "/batch"}));
}

TEST(LogFile, KilledWriterLosesAtMostTheBatchInFlight) {
    TempDir dir;
    const std::string file = dir.file("events.db");
    constexpr uint32_t kBatchSize = 40;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Stores numbered batches until it is killed.
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
        }
    }
    ::usleep(400 * 1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;

    int result = 0;
    auto log = open_log(file, result);
    ASSERT_NE(log, nullptr);
    const auto all = everything(*log);
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
