// The event log at 1,000, 100,000 and 1,000,000 events, through the client object on the
// in-process host store: storing batches of 1,000 and a narrow retrieval (one path, its newest ten
// seconds: 100 events), in memory and in SQLite. Each family's first size is its baseline for the
// cost at size; beside them, in the same run, copying the same events (memory) and the same rows
// and queries written with sqlite3 directly at the same durability (WAL, synchronous=FULL, one
// transaction per batch).
//
// The memory log is bounded at the size measured, so that storing keeps it at that size (its
// oldest events dropped). A SQLite log starts at its size and grows by its few timed batches.
#include <benchmark/benchmark.h>
#include <nyr_host.h>
#include <toolkit/log.h>
#include <toolkit/serialize.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"

#ifdef TOOLKIT_BENCH_SQLITE
#include <sqlite3.h>
#endif

using toolkit::CEvent;
using toolkit::CLog;

namespace {

constexpr int kPaths = 10;      // events go round /log/0 ... /log/9
constexpr int kPerSecond = 10;  // events per path and second
constexpr int64_t kStart = 1700000000;
constexpr uint64_t kBatch = 1000;
constexpr uint64_t kFillBatch = 10000;
const char* const kQueryPath = "/log/3";

// The i-th event of the log: kind 0x8 at /log/<i % 10>, each path ten events a second.
timeval time_of(uint64_t i) {
    const uint64_t k = i / kPaths;
    return timeval{static_cast<time_t>(kStart + static_cast<int64_t>(k / kPerSecond)),
                   static_cast<suseconds_t>(k % kPerSecond * 100000)};
}

std::vector<CEvent> events(uint64_t first, uint64_t count) {
    std::vector<CEvent> out(count, CEvent(0x8));
    for (uint64_t n = 0; n < count; ++n) {
        out[n].path = "/log/" + std::to_string((first + n) % kPaths);
        out[n].event_time = time_of(first + n);
        out[n].description = "pressure above limit";
        out[n].note = "logged";
    }
    return out;
}

// Moves a batch on in time by one batch's span, as the next batch of a running store would be.
void advance(std::vector<CEvent>& batch) {
    for (CEvent& event : batch) event.event_time.tv_sec += kBatch / (kPaths * kPerSecond);
}

using benchsupport::Store;

bool fill(CLog& log, uint64_t size) {
    for (uint64_t first = 0; first < size; first += kFillBatch)
        if (log.store(events(first, std::min(kFillBatch, size - first)), false) != 0) return false;
    return true;
}

// The narrow window: the newest ten seconds of kQueryPath in a log of `size` events.
struct Window {
    explicit Window(uint64_t size)
        : from(time_of(size - kPaths * kPerSecond * 10)), to(time_of(size - 1)) {}
    timeval from, to;
};

void BM_LogBaseline_CopyEvents(benchmark::State& state) {
    const std::vector<CEvent> batch = events(0, static_cast<uint64_t>(state.range(0)));
    std::vector<CEvent> copy(batch.size(), CEvent(0));
    for (auto _ : state) {
        for (std::size_t i = 0; i < batch.size(); ++i) copy[i] = batch[i];
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LogBaseline_CopyEvents)->Arg(kBatch)->MinTime(0.1);

void BM_LogStore_Memory(benchmark::State& state) {
    const auto size = static_cast<uint64_t>(state.range(0));
    Store s;
    qel_host_set_log_capacity(s.store, static_cast<uint32_t>(size));
    CLog log(s.handle);
    if (!fill(log, size)) state.SkipWithError("fill failed");
    std::vector<CEvent> batch = events(size, kBatch);
    for (auto _ : state) {
        if (log.store(batch, false) != 0) state.SkipWithError("store failed");
        advance(batch);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBatch));
}
BENCHMARK(BM_LogStore_Memory)->Arg(1000)->Arg(100000)->Arg(1000000)->MinTime(0.2);

void BM_LogRetrieve_Memory(benchmark::State& state) {
    const auto size = static_cast<uint64_t>(state.range(0));
    Store s;
    CLog log(s.handle);
    if (!fill(log, size)) state.SkipWithError("fill failed");
    const Window window(size);
    benchsupport::retrieve_window(state, log, kQueryPath, window.from, window.to, kPerSecond * 10);
}
BENCHMARK(BM_LogRetrieve_Memory)->Arg(1000)->Arg(100000)->Arg(1000000)->MinTime(0.2);

#ifdef TOOLKIT_BENCH_SQLITE

namespace fs = std::filesystem;

// Log files of each size, filled once and copied for each benchmark that writes; removed when the
// program ends.
class LogFiles {
public:
    ~LogFiles() {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }
    // A filled log of `size` events; "" when it cannot be made.
    const std::string& filled(uint64_t size) {
        std::string& file = filled_[size];
        if (!file.empty()) return file;
        const std::string path = name("filled-" + std::to_string(size) + ".db");
        Store s(path.c_str());
        CLog log(s.handle);
        if (s.store != nullptr && fill(log, size)) file = path;
        return file;
    }
    // A fresh copy of the filled log of `size` events; "" when it cannot be made.
    std::string copy(uint64_t size) {
        const std::string& from = filled(size);
        const std::string to = name("copy.db");
        std::error_code error;
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(to + suffix, error);
        if (from.empty() || !fs::copy_file(from, to, error)) return "";
        return to;
    }

private:
    std::string name(const std::string& file) {
        if (dir_.empty()) {
            std::string dir = (fs::temp_directory_path() / "nyr-bench-XXXXXX").string();
            if (::mkdtemp(&dir[0]) != nullptr) dir_ = dir;
        }
        return dir_ + "/" + file;
    }
    std::string dir_;
    std::map<uint64_t, std::string> filled_;
};

LogFiles& log_files() {
    static LogFiles files;
    return files;
}

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Database open_direct(const std::string& file) {
    if (file.empty()) return nullptr;
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    Database owned(db);
    if (sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        return nullptr;
    return owned;
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

void BM_LogStore_Sqlite(benchmark::State& state) {
    const auto size = static_cast<uint64_t>(state.range(0));
    const std::string file = log_files().copy(size);
    if (file.empty()) return state.SkipWithError("no log file");
    Store s(file.c_str());
    CLog log(s.handle);
    std::vector<CEvent> batch = events(size, kBatch);
    for (auto _ : state) {
        if (log.store(batch, false) != 0) state.SkipWithError("store failed");
        advance(batch);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBatch));
}
BENCHMARK(BM_LogStore_Sqlite)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(200000)
    ->Arg(1000000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The rows the log writes for the same batch (the event encoding as the body, its columns beside
// it), inserted with sqlite3 directly into a copy of the same log. The row's checksum is a number
// the log works out before it inserts; here it is a constant, so the baseline is SQLite's work on
// the same bytes alone.
void BM_LogStore_SqliteDirect(benchmark::State& state) {
    const auto size = static_cast<uint64_t>(state.range(0));
    const std::string file = log_files().copy(size);
    Database db = open_direct(file);
    if (!db) return state.SkipWithError("no log file");
    struct Row {
        std::string path;
        int64_t sec, usec;
        std::vector<char> body;
    };
    std::vector<Row> rows;
    for (const CEvent& event : events(size, kBatch)) {
        _event_t record = event.get_base();
        Row row{event.path, event.event_time.tv_sec, event.event_time.tv_usec, {}};
        toolkit::serialize_event(row.body, record);
        destruct_event(&record);
        rows.push_back(std::move(row));
    }
    Statement insert =
        prepare(db.get(),
                "INSERT INTO events(path, sec, usec, kind, body, value_fill, raw_value, checksum)"
                " VALUES(?1, ?2, ?3, 8, ?4, 0, NULL, 2147483647)");
    if (!insert) return state.SkipWithError("prepare failed");
    for (auto _ : state) {
        sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (Row& row : rows) {
            sqlite3_bind_blob(insert.get(), 1, row.path.data(), static_cast<int>(row.path.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int64(insert.get(), 2, row.sec);
            sqlite3_bind_int64(insert.get(), 3, row.usec);
            sqlite3_bind_blob(insert.get(), 4, row.body.data(), static_cast<int>(row.body.size()),
                              SQLITE_STATIC);
            if (sqlite3_step(insert.get()) != SQLITE_DONE) state.SkipWithError("insert failed");
            sqlite3_reset(insert.get());
            row.sec += kBatch / (kPaths * kPerSecond);
        }
        if (sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            state.SkipWithError("commit failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBatch));
}
BENCHMARK(BM_LogStore_SqliteDirect)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(200000)
    ->Arg(1000000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_LogRetrieve_Sqlite(benchmark::State& state) {
    const auto size = static_cast<uint64_t>(state.range(0));
    const std::string& file = log_files().filled(size);
    if (file.empty()) return state.SkipWithError("no log file");
    Store s(file.c_str());
    CLog log(s.handle);
    const Window window(size);
    benchsupport::retrieve_window(state, log, kQueryPath, window.from, window.to, kPerSecond * 10);
}
BENCHMARK(BM_LogRetrieve_Sqlite)->Arg(1000)->Arg(100000)->Arg(1000000)->MinTime(0.2);

// The same rows read with sqlite3 directly: one path and a time range on the log's own index,
// the bodies copied out.
void BM_LogRetrieve_SqliteDirect(benchmark::State& state) {
    const auto size = static_cast<uint64_t>(state.range(0));
    Database db = open_direct(log_files().filled(size));
    if (!db) return state.SkipWithError("no log file");
    Statement query =
        prepare(db.get(),
                "SELECT body, value_fill, raw_value FROM events WHERE path = ?1"
                " AND (sec, usec) >= (?2, ?3) AND (sec, usec) <= (?4, ?5) ORDER BY id");
    if (!query) return state.SkipWithError("prepare failed");
    const Window window(size);
    std::vector<std::string> out;
    for (auto _ : state) {
        out.clear();
        sqlite3_bind_blob(query.get(), 1, kQueryPath, 6, SQLITE_STATIC);
        sqlite3_bind_int64(query.get(), 2, window.from.tv_sec);
        sqlite3_bind_int64(query.get(), 3, window.from.tv_usec);
        sqlite3_bind_int64(query.get(), 4, window.to.tv_sec);
        sqlite3_bind_int64(query.get(), 5, window.to.tv_usec);
        while (sqlite3_step(query.get()) == SQLITE_ROW)
            out.emplace_back(static_cast<const char*>(sqlite3_column_blob(query.get(), 0)),
                             static_cast<size_t>(sqlite3_column_bytes(query.get(), 0)));
        sqlite3_reset(query.get());
        benchmark::DoNotOptimize(out.data());
    }
    if (out.size() != kPerSecond * 10) state.SkipWithError("unexpected hits");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_LogRetrieve_SqliteDirect)->Arg(1000)->Arg(100000)->Arg(1000000)->MinTime(0.2);

#endif  // TOOLKIT_BENCH_SQLITE

}  // namespace
