// Checking a store file row by row, and copying its healthy rows into a new one.
//
// Both read the file through a read-only connection, so it is never changed, and both judge rows
// the same way: a tree row as loading the tree would (its checksum, its value, a path written as
// the tree writes it, a parent node that is itself healthy), an event row as the log would read it.
// Rows are read in key order; where SQLite cannot read a table further (a damaged page), the rest
// of that table is reported unreadable and left out. The copy goes into a file laid out as a new
// store's, with the rows as they were, checksums included, in one transaction.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>

#include "core/path.h"
#include "log/log_entry.h"
#include "nyr_host.h"
#include "persist/tree_row.h"

#ifdef NYR_HAVE_SQLITE
#include "log/sqlite_db.h"
#endif

namespace nyrhost {
namespace {

#ifdef NYR_HAVE_SQLITE

// Counts go to the caller's report, lines to its sink.
class Reporter {
public:
    Reporter(qel_host_file_report_t* report, qel_host_report_sink_t sink, void* context)
        : report_(report), sink_(sink), context_(context) {
        std::memset(report_, 0, sizeof *report_);
    }
    void line(const std::string& text) const {
        if (sink_) sink_(context_, text.c_str());
    }
    qel_host_file_report_t& counts() const { return *report_; }

private:
    qel_host_file_report_t* report_;
    qel_host_report_sink_t sink_;
    void* context_;
};

// A tree row is healthy when it loads: nodes are read before what lies below them.
class TreeRows {
public:
    static constexpr const char* kColumns = "path, value, fill, property, checksum";
    bool healthy(sqlite3_stmt* rows) {
        TreeRow row;
        row.path = column_bytes(rows, 0);
        if (sqlite3_column_type(rows, 1) != SQLITE_NULL) row.value = column_bytes(rows, 1);
        row.fill = sqlite3_column_int64(rows, 2);
        row.property = sqlite3_column_int64(rows, 3);
        row.checksum = sqlite3_column_int64(rows, 4);
        Path path;
        if (Path::parse(row.path, path) != QEL_STATUS_OK || path.text() != row.path) return false;
        const std::string_view parent = row.path.substr(0, row.path.rfind('/'));
        if (!parent.empty() && nodes_.count(std::string(parent)) == 0) return false;
        LeafValue leaf;
        const bool ok = row.value ? leaf_of(row, leaf)
                                  : row.fill == 0 && row.property == 0 &&
                                        row.checksum == int64_t{tree_row_checksum(row)};
        if (ok && !row.value) nodes_.emplace(row.path);
        return ok;
    }
    static std::string key(sqlite3_stmt* rows) { return std::string(column_bytes(rows, 0)); }

private:
    std::unordered_set<std::string> nodes_;
};

class EventRows {
public:
    static constexpr const char* kColumns =
        "id, path, sec, usec, kind, body, value_fill, raw_value, checksum";
    bool healthy(sqlite3_stmt* rows) {
        EntryRow row;
        row.path = column_bytes(rows, 1);
        row.sec = sqlite3_column_int64(rows, 2);
        row.usec = sqlite3_column_int64(rows, 3);
        row.kind = sqlite3_column_int64(rows, 4);
        row.body = column_bytes(rows, 5);
        row.value_fill = sqlite3_column_int64(rows, 6);
        if (sqlite3_column_type(rows, 7) != SQLITE_NULL) row.raw_value = column_bytes(rows, 7);
        row.checksum = sqlite3_column_int64(rows, 8);
        OwnedEvent event;
        return event_of(row, event);
    }
    static std::string key(sqlite3_stmt* rows) {
        return "event " + std::to_string(sqlite3_column_int64(rows, 0));
    }
};

// Reads `table` in key order, counting each row and its health; each healthy row goes to `copy`
// (when not null), each other one to the report. False when the copy failed.
template <typename Rows>
bool scan(sqlite3* db, const char* table, const char* order, uint64_t& read, uint64_t& damaged,
          const Reporter& reporter, sqlite3_stmt* copy) {
    Rows rows;
    Statement select = prepare(
        db, std::string("SELECT ") + Rows::kColumns + " FROM " + table + " ORDER BY " + order);
    std::string last = "its start";
    int step = select ? SQLITE_ROW : SQLITE_ERROR;
    while (select && (step = sqlite3_step(select.get())) == SQLITE_ROW) {
        ++read;
        const std::string key = Rows::key(select.get());
        if (!rows.healthy(select.get())) {
            ++damaged;
            reporter.line(std::string(table) + ": damaged: " + key);
        } else if (copy) {
            sqlite3_reset(copy);
            for (int c = 0; c < sqlite3_column_count(select.get()); ++c)
                sqlite3_bind_value(copy, c + 1, sqlite3_column_value(select.get(), c));
            if (sqlite3_step(copy) != SQLITE_DONE) return false;
        }
        last = key;
    }
    if (step != SQLITE_DONE) {
        ++reporter.counts().unreadable;
        reporter.line(std::string(table) + ": unreadable after " + last + ": " +
                      sqlite3_errmsg(db));
    }
    return true;
}

// The file through a read-only connection: never written, not even its journal.
int open_read_only(const char* file, Database& db) {
    struct stat st {};
    if (file == nullptr || ::stat(file, &st) != 0 || !S_ISREG(st.st_mode))
        return QEL_HOST_OPEN_UNREADABLE;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file, &raw, SQLITE_OPEN_READONLY, nullptr);
    db.reset(raw);
    if (opened != SQLITE_OK) return QEL_HOST_OPEN_UNREADABLE;
    int64_t id = 0;
    if (!query_int(db.get(), "PRAGMA application_id", id)) return QEL_HOST_OPEN_FOREIGN;
    return id == 0x4E59524C ? QEL_HOST_OPEN_OK : QEL_HOST_OPEN_FOREIGN;  // "NYRL"
}

void integrity(sqlite3* db, const Reporter& reporter) {
    Statement check = prepare(db, "PRAGMA integrity_check");
    bool ok = check != nullptr;
    while (check && sqlite3_step(check.get()) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        const std::string line = text ? text : "";
        if (line == "ok") continue;
        ok = false;
        reporter.line("integrity: " + line);
    }
    reporter.counts().integrity_ok = ok ? 1 : 0;
}

int check_file(const char* file, const Reporter& reporter) {
    Database db;
    if (const int failed = open_read_only(file, db)) return failed;
    qel_host_file_report_t& n = reporter.counts();
    scan<TreeRows>(db.get(), "tree", "path", n.tree_rows, n.tree_damaged, reporter, nullptr);
    scan<EventRows>(db.get(), "events", "id", n.event_rows, n.event_damaged, reporter, nullptr);
    integrity(db.get(), reporter);
    return QEL_HOST_OPEN_OK;
}

int salvage_file(const char* file, const char* new_file, const Reporter& reporter) {
    Database from;
    if (const int failed = open_read_only(file, from)) return failed;
    struct stat st {};
    if (new_file == nullptr || ::stat(new_file, &st) == 0) return QEL_HOST_OPEN_IN_USE;
    int made = QEL_HOST_OPEN_OK;
    qel_host_store_close(qel_host_store_open_ex(new_file, &made));  // laid out as a new store's
    if (made != QEL_HOST_OPEN_OK) return made;
    bool copied = false;
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(new_file, &raw, SQLITE_OPEN_READWRITE, nullptr);
        Database to(raw);
        Statement tree = prepare(to.get(), "INSERT INTO tree VALUES(?, ?, ?, ?, ?)");
        Statement events =
            prepare(to.get(), "INSERT INTO events VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
        Transaction transaction(to.get());
        qel_host_file_report_t& n = reporter.counts();
        copied = tree && events && transaction.is_open() &&
                 scan<TreeRows>(from.get(), "tree", "path", n.tree_rows, n.tree_damaged, reporter,
                                tree.get()) &&
                 scan<EventRows>(from.get(), "events", "id", n.event_rows, n.event_damaged,
                                 reporter, events.get()) &&
                 transaction.commit();
    }
    integrity(from.get(), reporter);
    if (copied) return QEL_HOST_OPEN_OK;
    for (const char* side : {"", "-wal", "-shm", "-journal"})
        ::unlink((new_file + std::string(side)).c_str());
    return QEL_HOST_OPEN_FAILED;
}

// Runs a check or salvage at the C boundary.
template <typename Body>
int guarded(qel_host_file_report_t* report, Body body) noexcept {
    if (report == nullptr) return QEL_HOST_OPEN_FAILED;
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return QEL_HOST_OPEN_NO_MEMORY;
    }
}

}  // namespace
}  // namespace nyrhost

extern "C" {

int qel_host_store_check(const char* file, qel_host_file_report_t* report,
                         qel_host_report_sink_t sink, void* context) {
    return nyrhost::guarded(report, [&] {
        return nyrhost::check_file(file, nyrhost::Reporter(report, sink, context));
    });
}

int qel_host_store_salvage(const char* file, const char* new_file, qel_host_file_report_t* report,
                           qel_host_report_sink_t sink, void* context) {
    return nyrhost::guarded(report, [&] {
        return nyrhost::salvage_file(file, new_file, nyrhost::Reporter(report, sink, context));
    });
}

#else  // without SQLite there are no store files

}  // namespace
}  // namespace nyrhost

extern "C" {

int qel_host_store_check(const char*, qel_host_file_report_t* report, qel_host_report_sink_t,
                         void*) {
    if (report) std::memset(report, 0, sizeof *report);
    return QEL_HOST_OPEN_NO_SQLITE;
}

int qel_host_store_salvage(const char*, const char*, qel_host_file_report_t* report,
                           qel_host_report_sink_t, void*) {
    if (report) std::memset(report, 0, sizeof *report);
    return QEL_HOST_OPEN_NO_SQLITE;
}

#endif  // NYR_HAVE_SQLITE

}  // extern "C"
