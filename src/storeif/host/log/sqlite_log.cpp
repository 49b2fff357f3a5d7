// The event log kept in an SQLite file.
#include "log/sqlite_log.h"

#include "nyr_host.h"

#ifndef NYR_HAVE_SQLITE

namespace nyrhost {

std::unique_ptr<EventLog> open_sqlite_log(const char* /*file*/, int* result,
                                          std::shared_ptr<SqliteConnection>* /*connection*/) {
    *result = QEL_HOST_OPEN_NO_SQLITE;  // built without SQLite: only the memory log exists
    return nullptr;
}

}  // namespace nyrhost

#else

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "core/mutex.h"
#include "log/log_entry.h"
#include "log/sqlite_connection.h"
#include "log/sqlite_db.h"
#include "persist/history_row.h"
#include "persist/history_signature.h"

namespace nyrhost {

namespace {

constexpr int kApplicationId = 0x4E59524C;  // "NYRL"
// 1: events in an encoding of their own; 2: no checksums; 3: no tree table; 4: events and tree;
// 5: events, tree and the tree's history keyed by revision; 6: the history keyed by its running
// count, with an index of the blocks a path's changes lie in; 7: that index replaced by a
// signature of each block.
constexpr int kLayoutVersion = 7;
constexpr int kEventsOnlyLayout = 3;
constexpr int kTreeLayout = 4;
constexpr int kRevisionKeyedLayout = 5;
constexpr int kBlockIndexedLayout = 6;
constexpr int kBusyTimeoutMs = 5000;

const char* const kCreateEvents =
    "CREATE TABLE events(id INTEGER PRIMARY KEY, path BLOB NOT NULL, sec INTEGER NOT NULL,"
    " usec INTEGER NOT NULL, kind INTEGER NOT NULL, body BLOB NOT NULL,"
    " value_fill INTEGER NOT NULL, raw_value BLOB, checksum INTEGER NOT NULL);"
    "CREATE INDEX events_by_path_time ON events(path, sec, usec);"
    "CREATE INDEX events_by_time ON events(sec, usec);";
const char* const kCreateTree =
    "CREATE TABLE tree(path BLOB PRIMARY KEY, value BLOB, fill INTEGER NOT NULL,"
    " property INTEGER NOT NULL, checksum INTEGER NOT NULL) WITHOUT ROWID;";
// The history's rows are appended in the order of their running count, their key, so that each
// append goes to the table's last page. history_signatures holds, for each block of 64 running
// counts whose rows are all written, a Bloom filter of the paths they change
// (persist/history_signature.h): one row per 64 changes, appended as well, so that no change
// writes a page of its own for its path.
const char* const kCreateHistoryTable =
    "CREATE TABLE history(revision INTEGER NOT NULL, idx INTEGER NOT NULL, time INTEGER NOT NULL,"
    " prev_time INTEGER NOT NULL, kind INTEGER NOT NULL, path BLOB NOT NULL, old BLOB, new BLOB,"
    " source BLOB NOT NULL, uid INTEGER, pid INTEGER, run_count INTEGER PRIMARY KEY,"
    " run_bytes INTEGER NOT NULL, checksum INTEGER NOT NULL);";
const char* const kCreateSignatures =
    "CREATE TABLE history_signatures(block INTEGER PRIMARY KEY, bits BLOB NOT NULL);";
// Layout 6's history: the same rows, with an index of the blocks each path's changes lie in, kept
// by triggers. Its index gives way to the signatures when the file is upgraded.
const char* const kCreateBlockIndex =
    "CREATE TABLE history_blocks(path BLOB NOT NULL, block INTEGER NOT NULL,"
    " PRIMARY KEY(path, block)) WITHOUT ROWID;"
    "CREATE TRIGGER history_block_in AFTER INSERT ON history BEGIN"
    " INSERT OR IGNORE INTO history_blocks VALUES(new.path, new.run_count >> 6); END;"
    "CREATE TRIGGER history_block_out AFTER DELETE ON history"
    " WHEN NOT EXISTS(SELECT 1 FROM history WHERE run_count >= (old.run_count >> 6) << 6"
    " AND run_count < ((old.run_count >> 6) + 1) << 6 AND path = old.path) BEGIN"
    " DELETE FROM history_blocks WHERE path = old.path AND block = old.run_count >> 6; END;";
const char* const kDropBlockIndex =
    "DROP TRIGGER history_block_in; DROP TRIGGER history_block_out; DROP TABLE history_blocks;";
const char* const kCreateHistoryMeta =
    "CREATE TABLE history_meta(id INTEGER PRIMARY KEY, epoch BLOB NOT NULL,"
    " dropped_revision INTEGER NOT NULL, dropped_time INTEGER NOT NULL,"
    " checksum INTEGER NOT NULL);";
// Layout 5's history rows, keyed by revision and change, with an index of (path, revision).
const char* const kCreateRevisionKeyedRows =
    "CREATE TABLE history(revision INTEGER NOT NULL, idx INTEGER NOT NULL, time INTEGER NOT NULL,"
    " prev_time INTEGER NOT NULL, kind INTEGER NOT NULL, path BLOB NOT NULL, old BLOB, new BLOB,"
    " source BLOB NOT NULL, uid INTEGER, pid INTEGER, run_count INTEGER NOT NULL,"
    " run_bytes INTEGER NOT NULL, checksum INTEGER NOT NULL, PRIMARY KEY(revision, idx))"
    " WITHOUT ROWID;"
    "CREATE INDEX history_by_path ON history(path, revision);";
// Layout 5's rows into this layout's table, in their order, once the old table has been renamed to
// history_by_revision and the new one made.
const std::string& move_revision_keyed_rows() {
    static const std::string sql = std::string("INSERT INTO history(") + kHistoryRowColumns +
                                   ") SELECT " + kHistoryRowColumns +
                                   " FROM history_by_revision ORDER BY revision, idx;"
                                   "DROP TABLE history_by_revision;";
    return sql;
}
const char* const kMarkAsOurs =
    "PRAGMA application_id = 1314476620;"  // kApplicationId
    "PRAGMA user_version = 7;";            // kLayoutVersion
static_assert(kApplicationId == 1314476620 && kLayoutVersion == 7,
              "the pragma text repeats the application id and the layout version");

// This layout's history rows and their blocks' signatures, empty.
bool create_history_rows(sqlite3* db) {
    return exec(db, kCreateHistoryTable) && exec(db, kCreateSignatures);
}

std::unique_ptr<EventLog> fail(int* result, int reason) {
    *result = reason;
    return nullptr;
}

// The QEL_HOST_OPEN_ code for the error the connection last met.
int reason_of(sqlite3* db) {
    switch (db ? sqlite3_errcode(db) & 0xFF : SQLITE_NOMEM) {
        case SQLITE_NOTADB:
            return QEL_HOST_OPEN_FOREIGN;
        case SQLITE_CORRUPT:
            return QEL_HOST_OPEN_DAMAGED;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return QEL_HOST_OPEN_LOCKED;
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_IOERR:
            return QEL_HOST_OPEN_UNREADABLE;
        case SQLITE_READONLY:
            return QEL_HOST_OPEN_READ_ONLY;
        case SQLITE_FULL:
            return QEL_HOST_OPEN_FULL;
        case SQLITE_NOMEM:
            return QEL_HOST_OPEN_NO_MEMORY;
        default:
            return QEL_HOST_OPEN_FAILED;
    }
}

// The schema objects of a database (type, name, table, text), one per line in name order.
bool schema_of(sqlite3* db, std::string& out) {
    Statement statement = prepare(
        db, "SELECT type, name, tbl_name, ifnull(sql, '') FROM sqlite_master ORDER BY name");
    if (!statement) return false;
    int step;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        for (int column = 0; column < 4; ++column) {
            const unsigned char* text = sqlite3_column_text(statement.get(), column);
            out += text ? reinterpret_cast<const char*>(text) : "";
            out += column == 3 ? '\n' : '\t';
        }
    }
    return step == SQLITE_DONE;
}

// The schema that `create` lays out, as schema_of gives it (SQLite keeps the text of each CREATE
// as it was written, so it is read back from a database laid out in memory).
std::string schema_made_by(const std::string& create) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
    Database db(raw);
    std::string text;
    if (!db || !exec(db.get(), create.c_str()) || !schema_of(db.get(), text))
        throw std::bad_alloc();
    return text;
}

// The schema of a file of this layout, and of those of the layouts it upgrades.
const std::string& our_schema() {
    static const std::string schema =
        schema_made_by(std::string(kCreateEvents) + kCreateTree + kCreateHistoryTable +
                       kCreateSignatures + kCreateHistoryMeta);
    return schema;
}
const std::string& revision_keyed_schema() {
    static const std::string schema = schema_made_by(std::string(kCreateEvents) + kCreateTree +
                                                     kCreateRevisionKeyedRows + kCreateHistoryMeta);
    return schema;
}
const std::string& block_indexed_schema() {
    static const std::string schema =
        schema_made_by(std::string(kCreateEvents) + kCreateTree + kCreateHistoryTable +
                       kCreateBlockIndex + kCreateHistoryMeta);
    return schema;
}
const std::string& events_only_schema() {
    static const std::string schema = schema_made_by(kCreateEvents);
    return schema;
}
const std::string& tree_schema() {
    static const std::string schema = schema_made_by(std::string(kCreateEvents) + kCreateTree);
    return schema;
}

// What a database holds, as far as telling ours from others goes.
enum class Kind { ours, events_only, tree_only, revision_keyed, block_indexed, empty, other };

// Reads only. Kind::empty: no schema objects, application id and user version 0 (a database no
// one has laid out yet). QEL_HOST_OPEN_OK with `kind` set, or the code of the failure.
int kind_of(sqlite3* db, Kind& kind) {
    int64_t id = 0, version = 0;
    std::string schema;
    if (!query_int(db, "PRAGMA application_id", id) ||
        !query_int(db, "PRAGMA user_version", version) || !schema_of(db, schema))
        return reason_of(db);
    if (id == kApplicationId && version == kLayoutVersion && schema == our_schema())
        kind = Kind::ours;
    else if (id == kApplicationId && version == kEventsOnlyLayout && schema == events_only_schema())
        kind = Kind::events_only;
    else if (id == kApplicationId && version == kTreeLayout && schema == tree_schema())
        kind = Kind::tree_only;
    else if (id == kApplicationId && version == kRevisionKeyedLayout &&
             schema == revision_keyed_schema())
        kind = Kind::revision_keyed;
    else if (id == kApplicationId && version == kBlockIndexedLayout &&
             schema == block_indexed_schema())
        kind = Kind::block_indexed;
    else if (id == 0 && version == 0 && schema.empty())
        kind = Kind::empty;
    else
        kind = Kind::other;
    return QEL_HOST_OPEN_OK;
}

// The file as a URI SQLite opens with `query`: '?', '#' and '%' escaped, and an absolute path
// given an empty authority so that one starting with "//" is not read as a host.
std::string uri_of(const std::string& file, const char* query) {
    std::string uri = file[0] == '/' ? "file://" : "file:";
    for (const char c : file) {
        if (c == '?' || c == '#' || c == '%') {
            static const char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[(c >> 4) & 0xF];
            uri += kHex[c & 0xF];
        } else {
            uri += c;
        }
    }
    return uri + "?" + query;
}

// True when a rollback journal beside the file (left by a crash) would, once rolled back, leave
// the database empty: its header records a size of 0 pages before the transaction. That is the
// state of a new log whose laying out was cut short, whatever the file holds now.
bool journal_empties(const std::string& file) {
    static const unsigned char kMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
    unsigned char header[20];
    std::ifstream journal(file + "-journal", std::ios::binary);
    if (!journal.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    return std::memcmp(header, kMagic, sizeof kMagic) == 0 && header[16] == 0 && header[17] == 0 &&
           header[18] == 0 && header[19] == 0;
}

// True when the file has a write-ahead file beside it holding frames.
bool has_wal_frames(const std::string& file) {
    struct stat info {};
    return ::stat((file + "-wal").c_str(), &info) == 0 && info.st_size > 0;
}

// True when the main file's header names it a store file of ours, of this layout or the one it
// upgrades: SQLite's magic text, our application id and the layout as its user version. Read
// straight from the file's first bytes, which a checkpoint rewrites whole as page 1.
bool header_says_ours(const std::string& file) {
    static const char kMagic[16] = "SQLite format 3";  // with its NUL: 16 bytes
    unsigned char header[100];
    std::ifstream main_file(file, std::ios::binary);
    if (!main_file.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    const auto word = [&](int at) {
        return static_cast<int>(static_cast<uint32_t>(header[at]) << 24 | header[at + 1] << 16 |
                                header[at + 2] << 8 | header[at + 3]);
    };
    const int version = word(60), id = word(68);
    return std::memcmp(header, kMagic, sizeof kMagic) == 0 && id == kApplicationId &&
           (version == kLayoutVersion || version == kEventsOnlyLayout || version == kTreeLayout ||
            version == kRevisionKeyedLayout || version == kBlockIndexedLayout);
}

// Decides from reading alone whether the file at `file` (which exists) may be opened for
// writing: QEL_HOST_OPEN_OK with `adopt` true for a database that is empty or will be once a
// leftover journal is rolled back, false for a file of ours (of this layout or the one it
// upgrades); otherwise the reason it is refused.
// The file is read through SQLite's immutable mode: no locks, and no side file read, made or
// changed. A log of ours keeps its identity and schema in the main file from the moment it is
// laid out (before it turns to WAL), so the main file alone tells.
int recognise(const std::string& file, off_t size, bool& adopt) {
    adopt = size == 0 || journal_empties(file);
    if (adopt) return QEL_HOST_OPEN_OK;
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(uri_of(file, "immutable=1").c_str(), &raw,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK) return reason_of(db.get());
    Kind kind = Kind::other;
    if (const int failed = kind_of(db.get(), kind)) {
        // A crash during a checkpoint leaves the main file part old, part new, which reads as
        // damaged on its own; the frames in the write-ahead file finish the checkpoint when the
        // file is opened for real, and verify() then checks the whole. The header tells whose
        // file it is.
        if (failed == QEL_HOST_OPEN_DAMAGED && has_wal_frames(file) && header_says_ours(file))
            return QEL_HOST_OPEN_OK;
        return failed;
    }
    // An empty main file with frames in its write-ahead file is someone's database whose content
    // is only in those frames: not for us to fold in.
    adopt = kind == Kind::empty && !has_wal_frames(file);
    const bool ours = kind == Kind::ours || kind == Kind::events_only || kind == Kind::tree_only ||
                      kind == Kind::revision_keyed || kind == Kind::block_indexed;
    return ours || adopt ? QEL_HOST_OPEN_OK : QEL_HOST_OPEN_FOREIGN;
}

// Lays out a new log in an empty database. Another opener may have done it in the meantime; the
// write lock taken first makes that visible here.
int lay_out(sqlite3* db) {
    Transaction transaction(db);
    if (!transaction.is_open()) return reason_of(db);
    Kind kind = Kind::other;
    if (const int failed = kind_of(db, kind)) return failed;
    if (kind == Kind::empty &&
        (!exec(db, kCreateEvents) || !exec(db, kCreateTree) || !create_history_rows(db) ||
         !exec(db, kCreateHistoryMeta) || !exec(db, kMarkAsOurs)))
        return reason_of(db);
    return transaction.commit() ? QEL_HOST_OPEN_OK : reason_of(db);
}

// Adds what a file of an earlier layout lacks (the tree table, the history's tables), empty;
// moves layout 5's history rows into this layout's table; and gives layouts 5 and 6 the blocks'
// signatures in place of their indexes. Events, tree and history rows stay as they are. Two rows
// of layout 5 with the same running count (a damaged file) fail the move: the file is then
// refused as damaged, untouched, for `nyr salvage` to read. Anything else is left for verify() to
// judge.
int upgrade(sqlite3* db) {
    Transaction transaction(db);
    if (!transaction.is_open()) return reason_of(db);
    Kind kind = Kind::other;
    if (const int failed = kind_of(db, kind)) return failed;
    if (kind == Kind::events_only && !exec(db, kCreateTree)) return reason_of(db);
    if ((kind == Kind::events_only || kind == Kind::tree_only) &&
        (!create_history_rows(db) || !exec(db, kCreateHistoryMeta) || !exec(db, kMarkAsOurs)))
        return reason_of(db);
    if (kind == Kind::revision_keyed &&
        (!exec(db, "ALTER TABLE history RENAME TO history_by_revision") ||
         !create_history_rows(db) || !exec(db, move_revision_keyed_rows().c_str())))
        return (sqlite3_errcode(db) & 0xFF) == SQLITE_CONSTRAINT ? QEL_HOST_OPEN_DAMAGED
                                                                 : reason_of(db);
    if (kind == Kind::block_indexed && (!exec(db, kDropBlockIndex) || !exec(db, kCreateSignatures)))
        return reason_of(db);
    if ((kind == Kind::revision_keyed || kind == Kind::block_indexed) &&
        (!BlockSigner(db).sign_complete() || !exec(db, kMarkAsOurs)))
        return reason_of(db);
    return transaction.commit() ? QEL_HOST_OPEN_OK : reason_of(db);
}

// Reads only: the file must now be a log of ours, of this layout, and pass SQLite's structural
// check.
int verify(sqlite3* db) {
    Kind kind = Kind::other;
    if (const int failed = kind_of(db, kind)) return failed;
    if (kind != Kind::ours) return QEL_HOST_OPEN_FOREIGN;
    std::string check;
    if (!query_text(db, "PRAGMA quick_check", check)) return reason_of(db);
    return check == "ok" ? QEL_HOST_OPEN_OK : QEL_HOST_OPEN_DAMAGED;
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

// The event of the row `statement` stands on (columns kEntryRowColumns); false for a damaged row.
bool read_row(sqlite3_stmt* statement, OwnedEvent& out) {
    return event_of(entry_row_at(statement, 0), out);
}

class SqliteLog final : public EventLog {
public:
    explicit SqliteLog(std::shared_ptr<SqliteConnection> connection)
        : connection_(std::move(connection)) {}
    ~SqliteLog() override {
        MutexLock lock(connection_->mutex);
        insert_.reset();  // finalised before the connection closes
    }

    bool prepare_insert() {
        MutexLock lock(connection_->mutex);
        insert_ = prepare(connection_->db(),
                          "INSERT INTO events(path, sec, usec, kind, body, value_fill, raw_value,"
                          " checksum) VALUES(:path, :sec, :usec, :kind, :body, :value_fill,"
                          " :raw_value, :checksum)");
        return insert_ != nullptr &&
               has_parameters(insert_.get(), {":path", ":sec", ":usec", ":kind", ":body",
                                              ":value_fill", ":raw_value", ":checksum"});
    }

    int store_from(RecordSource& source, uint32_t count) override {
        if (count == 0) return QEL_RESULT_OK;
        MutexLock lock(connection_->mutex);
        // A batch commits alone, so that it never fails a tree write, and syncs at its commit.
        if (!connection_->sync_full(true)) return QEL_RESULT_DATABASE;
        Transaction transaction(connection_->db());
        if (!transaction.is_open()) return QEL_RESULT_DATABASE;
        try {
            for (uint32_t i = 0; i < count; ++i) {
                if (!insert(from_record(source.next()))) return QEL_RESULT_DATABASE;
            }
        } catch (const std::bad_alloc&) {
            return QEL_RESULT_NO_MEMORY;
        }
        return transaction.commit() ? QEL_RESULT_OK : QEL_RESULT_DATABASE;
    }

    int retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) override {
        const size_t kept = out.size();
        try {
            MutexLock lock(connection_->mutex);
            Statement statement = selection_statement(
                connection_->db(),
                (std::string("SELECT ") + kEntryRowColumns + " FROM events").c_str(), selection,
                true);
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
                return (step & 0xFF) == SQLITE_CORRUPT ? QEL_RESULT_DAMAGED : QEL_RESULT_DATABASE;
            }
        } catch (const std::bad_alloc&) {
            out.resize(kept);
            return QEL_RESULT_NO_MEMORY;
        }
        if (selection.from_newest)
            std::reverse(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
        return QEL_RESULT_OK;
    }

    // A count of the rows: it reads the smaller index whole, which is for a view, not a loop.
    uint64_t size() override {
        MutexLock lock(connection_->mutex);
        int64_t rows = 0;
        return query_int(connection_->db(), "SELECT count(*) FROM events", rows)
                   ? static_cast<uint64_t>(rows)
                   : 0;
    }

    int clear(const LogSelection& selection) override {
        MutexLock lock(connection_->mutex);
        try {
            if (!connection_->sync_full(true)) return QEL_RESULT_DATABASE;
            Statement statement =
                selection_statement(connection_->db(), "DELETE FROM events", selection, false);
            if (!statement) return QEL_RESULT_DATABASE;
            return sqlite3_step(statement.get()) == SQLITE_DONE ? QEL_RESULT_OK
                                                                : QEL_RESULT_DATABASE;
        } catch (const std::bad_alloc&) {
            return QEL_RESULT_NO_MEMORY;
        }
    }

private:
    // One row; called inside the store's transaction with the lock held.
    bool insert(const OwnedEvent& event) REQUIRES(connection_->mutex) {
        const LogEntry entry = entry_of(event);
        sqlite3_stmt* statement = insert_.get();
        sqlite3_reset(statement);
        const SqlValue raw_value =
            entry.raw_value ? SqlValue(std::string_view(*entry.raw_value)) : SqlValue(nullptr);
        // In the order prepare_insert checked.
        const bool done =
            bind_in_order(
                statement,
                {event.path, int64_t{event.scalars.event_time.tv_sec},
                 int64_t{event.scalars.event_time.tv_usec}, int64_t{event.scalars.type}, entry.body,
                 int64_t{entry.value_fill}, raw_value, int64_t{entry.checksum}}) &&
            sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        return done;
    }

    const std::shared_ptr<SqliteConnection> connection_;
    Statement insert_ GUARDED_BY(connection_->mutex);
};

}  // namespace

std::unique_ptr<EventLog> open_sqlite_log(const char* file, int* result,
                                          std::shared_ptr<SqliteConnection>* connection) {
    struct stat info {};
    const bool exists = ::stat(file, &info) == 0;
    if (!exists && errno != ENOENT) return fail(result, QEL_HOST_OPEN_UNREADABLE);
    if (exists && !S_ISREG(info.st_mode)) return fail(result, QEL_HOST_OPEN_UNREADABLE);
    // Nothing is written to a file that already exists until it is known to be ours or empty.
    bool adopt = !exists;
    if (exists) {
        if (const int refused = recognise(file, info.st_size, adopt)) return fail(result, refused);
    }

    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (!exists) flags |= SQLITE_OPEN_CREATE;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file, &raw, flags, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK) return fail(result, reason_of(db.get()));
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    // A file the system lets us read but not write is opened read-only without a word.
    if (sqlite3_db_readonly(db.get(), "main") == 1) return fail(result, QEL_HOST_OPEN_READ_ONLY);

    // The first read rolls back a journal a crash left behind, so whether the database is empty
    // is decided inside lay_out's write transaction, not from the file's size.
    if (const int failed = adopt ? lay_out(db.get()) : upgrade(db.get()))
        return fail(result, failed);
    if (const int failed = verify(db.get())) return fail(result, failed);

    // WAL: a batch is one append to the write-ahead file, committed by its last frame, and a
    // crash before that frame leaves the earlier batches as they were. FULL syncs at every
    // commit, so a batch that store() reported is kept even across a power loss. Where WAL is
    // not available the rollback journal gives the same guarantees.
    std::string mode;
    query_text(db.get(), "PRAGMA journal_mode = WAL", mode);
    if (!exec(db.get(), "PRAGMA synchronous = FULL")) return fail(result, reason_of(db.get()));
    // Room in the page cache for the indexes' upper levels as the log grows, so that a batch
    // into a large log reads no more pages per event than one into a small log.
    if (!exec(db.get(), "PRAGMA cache_size = -32768")) return fail(result, reason_of(db.get()));

    auto shared = std::make_shared<SqliteConnection>(std::move(db));
    auto log = std::make_unique<SqliteLog>(shared);
    if (!log->prepare_insert()) return fail(result, QEL_HOST_OPEN_FAILED);
    if (connection) *connection = std::move(shared);
    *result = QEL_HOST_OPEN_OK;
    return log;
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
