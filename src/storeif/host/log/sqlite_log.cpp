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

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <string>

#include "log/body_codec.h"
#include "log/selection.h"

namespace nyrhost {

namespace {

constexpr int kApplicationId = 0x4E59524C;  // "NYRL"
constexpr int kLayoutVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

const char* const kCreateSchema =
    "CREATE TABLE events(id INTEGER PRIMARY KEY, path BLOB NOT NULL, sec INTEGER NOT NULL,"
    " usec INTEGER NOT NULL, kind INTEGER NOT NULL, body BLOB NOT NULL);"
    "CREATE INDEX events_by_path ON events(path);"
    "CREATE INDEX events_by_time ON events(sec, usec);"
    "PRAGMA application_id = 1314476620;"  // kApplicationId
    "PRAGMA user_version = 1;";            // kLayoutVersion
static_assert(kApplicationId == 1314476620, "the schema text repeats the application id");

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The single integer or text a query gives; false when it gives no row or fails.
bool query_int(sqlite3* db, const char* sql, int64_t& value) {
    Statement statement = prepare(db, sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return false;
    value = sqlite3_column_int64(statement.get(), 0);
    return true;
}

bool query_text(sqlite3* db, const char* sql, std::string& value) {
    Statement statement = prepare(db, sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return false;
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    value = text ? reinterpret_cast<const char*>(text) : "";
    return true;
}

// Rolls back unless committed, so that every early return leaves the log as it was.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db), open_(exec(db, "BEGIN IMMEDIATE")) {}
    ~Transaction() {
        if (open_) exec(db_, "ROLLBACK");
    }
    bool is_open() const { return open_; }
    bool commit() {
        if (!exec(db_, "COMMIT")) return false;  // the destructor rolls back
        open_ = false;
        return true;
    }

private:
    sqlite3* db_;
    bool open_;
};

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

void bind_bytes(sqlite3_stmt* statement, const char* name, const std::string& bytes) {
    const int index = sqlite3_bind_parameter_index(statement, name);
    // A non-null pointer makes an empty text an empty blob rather than NULL.
    if (index > 0)
        sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
}

void bind_int(sqlite3_stmt* statement, const char* name, int64_t value) {
    const int index = sqlite3_bind_parameter_index(statement, name);
    if (index > 0) sqlite3_bind_int64(statement, index, value);
}

// The WHERE clause of a selection; blobs compare byte by byte, so "/a/" <= path < "/a0" is
// exactly the paths that start with "/a/".
std::string where_clause(const LogSelection& selection) {
    std::string where = " WHERE 1";
    if (!selection.subtree.empty())
        where += " AND (path = :path OR (path >= :below AND path < :beyond))";
    if (selection.has_from) where += " AND (sec, usec) >= (:from_sec, :from_usec)";
    if (selection.has_to) where += " AND (sec, usec) <= (:to_sec, :to_usec)";
    return where;
}

void bind_selection(sqlite3_stmt* statement, const LogSelection& selection) {
    if (!selection.subtree.empty()) {
        bind_bytes(statement, ":path", selection.subtree);
        bind_bytes(statement, ":below", selection.subtree + "/");
        bind_bytes(statement, ":beyond", selection.subtree + "0");
    }
    bind_int(statement, ":from_sec", selection.from.sec);
    bind_int(statement, ":from_usec", selection.from.usec);
    bind_int(statement, ":to_sec", selection.to.sec);
    bind_int(statement, ":to_usec", selection.to.usec);
}

class SqliteLog final : public EventLog {
public:
    explicit SqliteLog(Database db) : db_(std::move(db)) {}
    ~SqliteLog() override {
        insert_.reset();  // finalised before the database closes
    }

    bool prepare_insert() {
        insert_ = prepare(db_.get(),
                          "INSERT INTO events(path, sec, usec, kind, body)"
                          " VALUES(:path, :sec, :usec, :kind, :body)");
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

    int retrieve(std::vector<OwnedEvent>& out, const char* path, const timeval* from,
                 const timeval* to, uint32_t option_a, bool flag_a, uint32_t option_b) override {
        const LogSelection selection = LogSelection::make(path, from, to);
        const size_t kept = out.size();
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            // Newest-first windows are read backwards and turned round below.
            Statement statement = prepare(
                db_.get(), "SELECT body FROM events" + where_clause(selection) + " ORDER BY id" +
                               (flag_a ? " DESC" : "") + " LIMIT :limit OFFSET :skip");
            if (!statement) return QEL_RESULT_DATABASE;
            bind_selection(statement.get(), selection);
            bind_int(statement.get(), ":limit", option_a == 0 ? -1 : int64_t{option_a});
            bind_int(statement.get(), ":skip", option_b);
            int step;
            while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
                const void* body = sqlite3_column_blob(statement.get(), 0);
                const int size = sqlite3_column_bytes(statement.get(), 0);
                out.emplace_back();
                if (!decode_logged_event(static_cast<const unsigned char*>(body),
                                         static_cast<size_t>(size), out.back())) {
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
        if (flag_a) std::reverse(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
        return QEL_RESULT_OK;
    }

    int clear(const char* path, const timeval* from, const timeval* to) override {
        const LogSelection selection = LogSelection::make(path, from, to);
        std::lock_guard<std::mutex> lock(mutex_);
        Statement statement = prepare(db_.get(), "DELETE FROM events" + where_clause(selection));
        if (!statement) return QEL_RESULT_DATABASE;
        bind_selection(statement.get(), selection);
        return sqlite3_step(statement.get()) == SQLITE_DONE ? QEL_RESULT_OK : QEL_RESULT_DATABASE;
    }

private:
    // One row; called inside the store's transaction with the lock held.
    bool insert(const OwnedEvent& event) {
        sqlite3_stmt* statement = insert_.get();
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        bind_bytes(statement, ":path", event.path);
        bind_int(statement, ":sec", event.scalars.event_time.tv_sec);
        bind_int(statement, ":usec", event.scalars.event_time.tv_usec);
        bind_int(statement, ":kind", event.scalars.type);
        bind_bytes(statement, ":body", encode_logged_event(event));
        const bool done = sqlite3_step(statement) == SQLITE_DONE;
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

    auto log = std::make_unique<SqliteLog>(std::move(db));
    if (!log->prepare_insert()) return nullptr;
    *result = QEL_RESULT_OK;
    return log;
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
