// The event log kept in an SQLite file.
#include "log/sqlite_log.h"

#include "nyr_host.h"

#ifndef NYR_HAVE_SQLITE

namespace nyrhost {

std::unique_ptr<EventLog> open_sqlite_log(const char* /*file*/, int* result) {
    *result = QEL_RESULT_DATABASE;  // built without SQLite: only the memory log exists
    return nullptr;
}

}  // namespace nyrhost

#else

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <string>

#include "log/log_entry.h"
#include "log/sqlite_db.h"

namespace nyrhost {

namespace {

constexpr int kApplicationId = 0x4E59524C;  // "NYRL"
constexpr int kLayoutVersion = 2;           // 1 kept events in an encoding of its own
constexpr int kBusyTimeoutMs = 5000;

const char* const kCreateSchema =
    "CREATE TABLE events(id INTEGER PRIMARY KEY, path BLOB NOT NULL, sec INTEGER NOT NULL,"
    " usec INTEGER NOT NULL, kind INTEGER NOT NULL, body BLOB NOT NULL,"
    " value_fill INTEGER NOT NULL, raw_value BLOB);"
    "CREATE INDEX events_by_time ON events(sec, usec);"
    "PRAGMA application_id = 1314476620;"  // kApplicationId
    "PRAGMA user_version = 2;";            // kLayoutVersion
static_assert(kApplicationId == 1314476620 && kLayoutVersion == 2,
              "the schema text repeats the application id and the layout version");

// Reads only: the file must already be a log of ours, of this layout, and undamaged.
bool is_our_log(sqlite3* db) {
    int64_t id = 0, version = 0, tables = 0;
    std::string check;
    return query_int(db, "PRAGMA application_id", id) && id == kApplicationId &&
           query_int(db, "PRAGMA user_version", version) && version == kLayoutVersion &&
           query_int(db,
                     "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'events'",
                     tables) &&
           tables == 1 && query_text(db, "PRAGMA quick_check", check) && check == "ok";
}

// Lays out a new log in an empty database. Another opener may have done it in the meantime; the
// write lock taken first makes that visible here.
bool lay_out(sqlite3* db) {
    Transaction transaction(db);
    if (!transaction.is_open()) return false;
    int64_t objects = 0, id = 0;
    if (!query_int(db, "SELECT count(*) FROM sqlite_master", objects)) return false;
    if (!query_int(db, "PRAGMA application_id", id)) return false;
    if (objects == 0 && id == 0 && !exec(db, kCreateSchema)) return false;
    return transaction.commit();
}

// Retrieval searches events_by_path_time, by path and then time, which takes the place of the
// index on path alone that logs were first laid out with. A log without it gets it here, once;
// one that has it is only read.
bool index_paths_by_time(sqlite3* db) {
    int64_t present = 0;
    if (!query_int(db,
                   "SELECT count(*) FROM sqlite_master"
                   " WHERE type = 'index' AND name = 'events_by_path_time'",
                   present))
        return false;
    if (present == 1) return true;
    Transaction transaction(db);
    return transaction.is_open() &&
           exec(db,
                "CREATE INDEX IF NOT EXISTS events_by_path_time ON events(path, sec, usec);"
                "DROP INDEX IF EXISTS events_by_path;") &&
           transaction.commit();
}

// `head` ("SELECT ... FROM events" or "DELETE FROM events") over the rows the selection picks,
// and for a retrieval in its order through its window, with every parameter bound. The text and
// its bindings are made side by side here; null when either fails. A newest-first window is read
// backwards; the caller turns it round.
//
// Every part of a selection runs on an index, so that its cost follows its hits, not the size of
// the log. Blobs compare byte by byte, so "/a/" <= path < "/a0" is exactly the paths that start
// with "/a/". A subtree is walked as its distinct paths (the recursive `below`, one index step per
// path), and each of them, with the subtree's own path, is a search of events_by_path_time on the
// path and the time range; without a subtree the time range is a search of events_by_time.
Statement selection_statement(sqlite3* db, const char* head, const LogSelection& selection,
                              bool windowed) {
    std::string sql;
    const std::string subtree(selection.subtree);
    const std::string below = subtree + "/", beyond = subtree + "0";
    std::vector<Binding> bindings;
    if (!selection.subtree.empty()) {
        sql +=
            "WITH RECURSIVE below(path) AS ("
            " SELECT (SELECT path FROM events WHERE path >= :below AND path < :beyond"
            " ORDER BY path LIMIT 1)"
            " UNION ALL SELECT (SELECT e.path FROM events e WHERE e.path > below.path"
            " AND e.path < :beyond ORDER BY e.path LIMIT 1) FROM below WHERE below.path NOT NULL),"
            " paths(path) AS (SELECT :path UNION ALL SELECT path FROM below WHERE path NOT NULL) ";
        bindings.insert(bindings.end(),
                        {{":path", selection.subtree}, {":below", below}, {":beyond", beyond}});
    }
    sql += head;
    sql += " WHERE 1";
    if (!selection.subtree.empty()) sql += " AND path IN paths";
    if (selection.from) {
        sql += " AND (sec, usec) >= (:from_sec, :from_usec)";
        bindings.insert(bindings.end(),
                        {{":from_sec", selection.from->sec}, {":from_usec", selection.from->usec}});
    }
    if (selection.to) {
        sql += " AND (sec, usec) <= (:to_sec, :to_usec)";
        bindings.insert(bindings.end(),
                        {{":to_sec", selection.to->sec}, {":to_usec", selection.to->usec}});
    }
    if (windowed) {
        sql += selection.from_newest ? " ORDER BY id DESC" : " ORDER BY id";
        sql += " LIMIT :limit OFFSET :skip";
        const int64_t limit = selection.most == 0 ? -1 : int64_t{selection.most};
        bindings.insert(bindings.end(), {{":limit", limit}, {":skip", int64_t{selection.skip}}});
    }
    Statement statement = prepare(db, sql);
    if (!statement || !bind_all(statement.get(), bindings)) return nullptr;
    return statement;
}

std::string_view column_bytes(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data ? std::string_view(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string_view();
}

// The event of the row `statement` stands on (columns body, value_fill, raw_value).
bool read_row(sqlite3_stmt* statement, OwnedEvent& out) {
    std::optional<std::string_view> raw_value;
    if (sqlite3_column_type(statement, 2) != SQLITE_NULL) raw_value = column_bytes(statement, 2);
    return event_of(column_bytes(statement, 0), sqlite3_column_int64(statement, 1), raw_value, out);
}

class SqliteLog final : public EventLog {
public:
    explicit SqliteLog(Database db) : db_(std::move(db)) {}
    ~SqliteLog() override {
        insert_.reset();  // finalised before the database closes
    }

    bool prepare_insert() {
        insert_ = prepare(db_.get(),
                          "INSERT INTO events(path, sec, usec, kind, body, value_fill, raw_value)"
                          " VALUES(:path, :sec, :usec, :kind, :body, :value_fill, :raw_value)");
        return insert_ != nullptr;
    }

    int store(const _event_t* records, uint32_t count, bool /*flag*/) override {
        if (records == nullptr && count != 0) return QEL_RESULT_BAD_ARGUMENT;
        if (count == 0) return QEL_RESULT_OK;
        std::lock_guard<std::mutex> lock(mutex_);
        Transaction transaction(db_.get());
        if (!transaction.is_open()) return QEL_RESULT_DATABASE;
        try {
            for (uint32_t i = 0; i < count; ++i) {
                if (!insert(from_record(records[i]))) return QEL_RESULT_DATABASE;
            }
        } catch (const std::bad_alloc&) {
            return QEL_RESULT_NO_MEMORY;
        }
        return transaction.commit() ? QEL_RESULT_OK : QEL_RESULT_DATABASE;
    }

    int retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) override {
        const size_t kept = out.size();
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            Statement statement = selection_statement(
                db_.get(), "SELECT body, value_fill, raw_value FROM events", selection, true);
            if (!statement) return QEL_RESULT_DATABASE;
            int step;
            while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
                out.emplace_back();
                if (!read_row(statement.get(), out.back())) {
                    step = SQLITE_CORRUPT;
                    break;
                }
            }
            if (step != SQLITE_DONE) {
                out.resize(kept);
                return QEL_RESULT_DATABASE;
            }
        } catch (const std::bad_alloc&) {
            out.resize(kept);
            return QEL_RESULT_NO_MEMORY;
        }
        if (selection.from_newest)
            std::reverse(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
        return QEL_RESULT_OK;
    }

    int clear(const LogSelection& selection) override {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            Statement statement =
                selection_statement(db_.get(), "DELETE FROM events", selection, false);
            if (!statement) return QEL_RESULT_DATABASE;
            return sqlite3_step(statement.get()) == SQLITE_DONE ? QEL_RESULT_OK
                                                                : QEL_RESULT_DATABASE;
        } catch (const std::bad_alloc&) {
            return QEL_RESULT_NO_MEMORY;
        }
    }

private:
    // One row; called inside the store's transaction with the lock held.
    bool insert(const OwnedEvent& event) {
        const LogEntry entry = entry_of(event);
        sqlite3_stmt* statement = insert_.get();
        sqlite3_reset(statement);
        const SqlValue raw_value =
            entry.raw_value ? SqlValue(std::string_view(*entry.raw_value)) : SqlValue(nullptr);
        const bool done = bind_all(statement, {{":path", event.path},
                                               {":sec", int64_t{event.scalars.event_time.tv_sec}},
                                               {":usec", int64_t{event.scalars.event_time.tv_usec}},
                                               {":kind", int64_t{event.scalars.type}},
                                               {":body", entry.body},
                                               {":value_fill", int64_t{entry.value_fill}},
                                               {":raw_value", raw_value}}) &&
                          sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        return done;
    }

    std::mutex mutex_;
    Database db_;       // used under mutex_
    Statement insert_;  // used under mutex_
};

}  // namespace

std::unique_ptr<EventLog> open_sqlite_log(const char* file, int* result) {
    *result = QEL_RESULT_DATABASE;
    struct stat info {};
    const bool exists = ::stat(file, &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) return nullptr;
    const bool empty = !exists || info.st_size == 0;

    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (!exists) flags |= SQLITE_OPEN_CREATE;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file, &raw, flags, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK) return nullptr;
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);

    // A file with content is checked before anything is written to it; only an empty or new
    // file is laid out.
    if (empty && !lay_out(db.get())) return nullptr;
    if (!is_our_log(db.get())) return nullptr;

    // WAL: a batch is one append to the write-ahead file, committed by its last frame, and a
    // crash before that frame leaves the earlier batches as they were. FULL syncs at every
    // commit, so a batch that store() reported is kept even across a power loss. Where WAL is
    // not available the rollback journal gives the same guarantees.
    std::string mode;
    query_text(db.get(), "PRAGMA journal_mode = WAL", mode);
    if (!exec(db.get(), "PRAGMA synchronous = FULL")) return nullptr;

    if (!index_paths_by_time(db.get())) return nullptr;
    auto log = std::make_unique<SqliteLog>(std::move(db));
    if (!log->prepare_insert()) return nullptr;
    *result = QEL_RESULT_OK;
    return log;
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
