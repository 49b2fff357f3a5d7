// The spool in SQLite: one table of rows in the order taken, one of marks.
#include "spool.h"

#include <sqlite3.h>

#include <memory>

#include "tool_error.h"

namespace nyr_bridge {

namespace {

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw nyr_tool::refused(std::string("spool: ") + sqlite3_errmsg(db));
    return Statement(statement);
}

void bind_text(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_blob(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

std::string column_text(sqlite3_stmt* statement, int index) {
    const void* data = sqlite3_column_blob(statement, index);
    const int size = sqlite3_column_bytes(statement, index);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

// Per row besides its texts: the row id and SQLite's own bookkeeping, roughly.
constexpr uint64_t kRowOverhead = 32;

}  // namespace

uint64_t row_bytes(const SpoolRow& row) {
    return row.topic.size() + row.payload.size() + kRowOverhead;
}

Spool::Spool(const std::string& file, uint64_t max_bytes) : _max_bytes(max_bytes) {
    const std::string name = file.empty() ? ":memory:" : file;
    if (sqlite3_open_v2(name.c_str(), &_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string why = _db != nullptr ? sqlite3_errmsg(_db) : "out of memory";
        sqlite3_close(_db);
        throw nyr_tool::refused(file + ": the spool cannot be opened: " + why);
    }
    try {
        sqlite3_busy_timeout(_db, 2000);
        // WAL with normal syncing: a committed row survives the process being killed; a power
        // loss may cost the latest rows, never the file.
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec(
            "CREATE TABLE IF NOT EXISTS spool(id INTEGER PRIMARY KEY AUTOINCREMENT, "
            "topic BLOB NOT NULL, payload BLOB NOT NULL)");
        exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value BLOB NOT NULL)");
        Statement totals = prepare(
            _db, "SELECT count(*), coalesce(sum(length(topic) + length(payload)), 0) FROM spool");
        if (sqlite3_step(totals.get()) == SQLITE_ROW) {
            _rows = static_cast<uint64_t>(sqlite3_column_int64(totals.get(), 0));
            _bytes =
                static_cast<uint64_t>(sqlite3_column_int64(totals.get(), 1)) + _rows * kRowOverhead;
        }
        const std::string dropped = meta("dropped");
        if (!dropped.empty()) _dropped = std::stoull(dropped);
        const std::string seconds = meta("mark_sec");
        if (!seconds.empty()) {
            _mark.set = true;
            _mark.time.tv_sec = std::stoll(seconds);
            _mark.time.tv_usec = std::stoll(meta("mark_usec"));
            _mark.key = meta("mark_key");
        }
    } catch (const nyr_tool::ToolError& error) {
        sqlite3_close(_db);
        throw nyr_tool::refused(file + ": not a spool of nyr-bridge (" + error.what() + ")");
    } catch (const std::exception&) {
        sqlite3_close(_db);
        throw nyr_tool::refused(file + ": not a spool of nyr-bridge");
    }
}

Spool::~Spool() {
    sqlite3_close(_db);
}

void Spool::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string why = message != nullptr ? message : sqlite3_errmsg(_db);
        sqlite3_free(message);
        throw nyr_tool::refused("spool: " + why);
    }
}

void Spool::store_meta(const char* key, const std::string& value) {
    Statement statement = prepare(_db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    sqlite3_bind_text(statement.get(), 1, key, -1, SQLITE_STATIC);
    bind_text(statement.get(), 2, value);
    if (sqlite3_step(statement.get()) != SQLITE_DONE)
        throw nyr_tool::refused(std::string("spool: ") + sqlite3_errmsg(_db));
}

std::string Spool::meta(const char* key) {
    Statement statement = prepare(_db, "SELECT value FROM meta WHERE key = ?");
    sqlite3_bind_text(statement.get(), 1, key, -1, SQLITE_STATIC);
    return sqlite3_step(statement.get()) == SQLITE_ROW ? column_text(statement.get(), 0)
                                                       : std::string();
}

uint64_t Spool::append(std::vector<SpoolRow>& rows, const SpoolMark& mark) {
    if (rows.empty()) return 0;
    exec("BEGIN IMMEDIATE");
    try {
        Statement insert = prepare(_db, "INSERT INTO spool(topic, payload) VALUES(?, ?)");
        for (SpoolRow& row : rows) {
            bind_text(insert.get(), 1, row.topic);
            bind_text(insert.get(), 2, row.payload);
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                throw nyr_tool::refused(std::string("spool: ") + sqlite3_errmsg(_db));
            sqlite3_reset(insert.get());
            row.id = sqlite3_last_insert_rowid(_db);
            _bytes += row_bytes(row);
            ++_rows;
        }
        uint64_t dropped = 0;
        if (_bytes > _max_bytes) {
            // The oldest go first, one at a time, until the rest fits.
            Statement oldest = prepare(
                _db, "SELECT id, length(topic) + length(payload) FROM spool ORDER BY id LIMIT 1");
            Statement erase = prepare(_db, "DELETE FROM spool WHERE id = ?");
            while (_bytes > _max_bytes && _rows > 0 && sqlite3_step(oldest.get()) == SQLITE_ROW) {
                const int64_t id = sqlite3_column_int64(oldest.get(), 0);
                _bytes -=
                    static_cast<uint64_t>(sqlite3_column_int64(oldest.get(), 1)) + kRowOverhead;
                --_rows;
                sqlite3_reset(oldest.get());
                sqlite3_bind_int64(erase.get(), 1, id);
                sqlite3_step(erase.get());
                sqlite3_reset(erase.get());
                ++dropped;
            }
            _dropped += dropped;
            store_meta("dropped", std::to_string(_dropped));
        }
        if (mark.set) {
            store_meta("mark_sec", std::to_string(mark.time.tv_sec));
            store_meta("mark_usec", std::to_string(mark.time.tv_usec));
            store_meta("mark_key", mark.key);
            _mark = mark;
        }
        exec("COMMIT");
        return dropped;
    } catch (...) {
        sqlite3_exec(_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<SpoolRow> Spool::pending() {
    std::vector<SpoolRow> rows;
    Statement select = prepare(_db, "SELECT id, topic, payload FROM spool ORDER BY id");
    while (sqlite3_step(select.get()) == SQLITE_ROW)
        rows.push_back(SpoolRow{sqlite3_column_int64(select.get(), 0), column_text(select.get(), 1),
                                column_text(select.get(), 2)});
    return rows;
}

void Spool::remove(const std::vector<int64_t>& ids) {
    if (ids.empty()) return;
    exec("BEGIN IMMEDIATE");
    Statement select =
        prepare(_db, "SELECT length(topic) + length(payload) FROM spool WHERE id = ?");
    Statement erase = prepare(_db, "DELETE FROM spool WHERE id = ?");
    for (const int64_t id : ids) {
        sqlite3_bind_int64(select.get(), 1, id);
        if (sqlite3_step(select.get()) == SQLITE_ROW) {
            _bytes -= static_cast<uint64_t>(sqlite3_column_int64(select.get(), 0)) + kRowOverhead;
            --_rows;
            sqlite3_bind_int64(erase.get(), 1, id);
            sqlite3_step(erase.get());
            sqlite3_reset(erase.get());
        }
        sqlite3_reset(select.get());
    }
    exec("COMMIT");
}

}  // namespace nyr_bridge
