// Checking a store file row by row, and copying its healthy rows into a new one.
//
// Both read the file through a read-only connection, so it is never changed, and both judge rows
// the same way: a tree row as loading the tree would (its checksum, its value, a path written as
// the tree writes it, a parent node that is itself healthy), an event row as the log would read it,
// a history row and the history's meta row by their checksums. Rows are read in key order; where
// SQLite cannot read a table further (a damaged page), the rest of that table is reported
// unreadable and left out. The copy goes into a file laid out as a new store's, with the rows as
// they were, checksums included, in one transaction.
//
// The copy keeps the history's epoch and revision counter, but holds only the revisions after the
// newest one it cannot hold whole (plan_history() says which), so that it never answers for a
// revision, or a resume from one, that it could no longer answer for rightly.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/path.h"
#include "log/log_entry.h"
#include "nyr_host.h"
#include "persist/tree_row.h"

#ifdef NYR_HAVE_SQLITE
#include "history/epoch.h"
#include "log/sqlite_db.h"
#include "persist/history_row.h"
#include "persist/history_signature.h"
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
    static std::string columns() { return kTreeRowColumns; }
    bool healthy(sqlite3_stmt* rows) {
        const TreeRow row = tree_row_at(rows);
        Path path;
        LeafValue leaf;
        if (!tree_entry_of(row, path, leaf)) return false;
        const std::string_view parent = row.path.substr(0, row.path.rfind('/'));
        if (!parent.empty() && nodes_.count(std::string(parent)) == 0) return false;
        if (!row.value) nodes_.emplace(row.path);
        return true;
    }
    static std::string key(sqlite3_stmt* rows) { return std::string(column_bytes(rows, 0)); }

private:
    std::unordered_set<std::string> nodes_;
};

class EventRows {
public:
    static std::string columns() { return std::string("id, ") + kEntryRowColumns; }
    static bool healthy(sqlite3_stmt* rows) {
        OwnedEvent event;
        return event_of(entry_row_at(rows, 1), event);
    }
    static std::string key(sqlite3_stmt* rows) {
        return "event " + std::to_string(sqlite3_column_int64(rows, 0));
    }
};

// History rows are healthy by their checksums. Read in revision order, they also tell which
// revisions may have lost a change: one a damaged row names, and one that follows a break in the
// rows' running count (a row missing there, whatever it says of itself, came just before).
class HistoryRows {
public:
    static std::string columns() { return kHistoryRowColumns; }
    bool healthy(sqlite3_stmt* rows) {
        const uint64_t named = static_cast<uint64_t>(std::max<int64_t>(0, column(rows, 0)));
        newest = std::max(newest, named);
        if (!history_row_at(rows, row_)) {
            incomplete = std::max(incomplete, named);
            ++damaged_since_;
            return false;
        }
        const HistoryChange& change = row_.change;
        const bool missing_before = seen_ ? row_.run_count != last_run_ + 1 : change.index != 0;
        if (missing_before && change.revision > 0)
            incomplete = std::max(incomplete, change.revision - (change.index == 0 ? 1 : 0));
        // More rows missing than the damaged ones between: some are gone without a trace.
        if (seen_ && row_.run_count > last_run_ + 1 + damaged_since_)
            gone_before.push_back(key(rows));
        seen_ = true;
        last_run_ = row_.run_count;
        damaged_since_ = 0;
        newest_time = std::max(newest_time, change.time_us);
        return true;
    }
    static std::string key(sqlite3_stmt* rows) {
        return "revision " + std::to_string(column(rows, 0)) + " change " +
               std::to_string(column(rows, 1));
    }

    uint64_t newest = 0;                   // the newest revision a row names
    uint64_t incomplete = 0;               // the newest revision that may have lost a change
    int64_t newest_time = INT64_MIN;       // the newest time of a healthy row
    std::vector<std::string> gone_before;  // healthy rows whose forerunners are gone

private:
    static int64_t column(sqlite3_stmt* rows, int c) { return sqlite3_column_int64(rows, c); }
    HistoryRow row_;
    bool seen_ = false;
    uint64_t last_run_ = 0, damaged_since_ = 0;
};

// Binds the row `from` stands on, column by column, to `insert` and runs it.
bool copy_row(sqlite3_stmt* from, sqlite3_stmt* insert) {
    sqlite3_reset(insert);
    for (int c = 0; c < sqlite3_column_count(from); ++c)
        sqlite3_bind_value(insert, c + 1, sqlite3_column_value(from, c));
    return sqlite3_step(insert) == SQLITE_DONE;
}

struct Scanned {
    bool whole = true;   // SQLite read the table to its end
    bool copied = true;  // every healthy row went into the copy
};

// Reads `table` in key order, counting each row and its health; each healthy row goes to `copy`
// (when not null), each other one to the report.
template <typename Rows>
Scanned scan(sqlite3* db, Rows& rows, const char* table, const char* order, uint64_t& read,
             uint64_t& damaged, const Reporter& reporter, sqlite3_stmt* copy) {
    Scanned scanned;
    Statement select =
        prepare(db, "SELECT " + rows.columns() + " FROM " + table + " ORDER BY " + order);
    std::string last = "its start";
    int step = select ? SQLITE_ROW : SQLITE_ERROR;
    while (select && (step = sqlite3_step(select.get())) == SQLITE_ROW) {
        ++read;
        const std::string key = rows.key(select.get());
        if (!rows.healthy(select.get())) {
            ++damaged;
            reporter.line(std::string(table) + ": damaged: " + key);
        } else if (copy && !copy_row(select.get(), copy)) {
            scanned.copied = false;
            return scanned;
        }
        last = key;
    }
    if (step != SQLITE_DONE) {
        scanned.whole = false;
        ++reporter.counts().unreadable;
        reporter.line(std::string(table) + ": unreadable after " + last + ": " +
                      sqlite3_errmsg(db));
    }
    return scanned;
}

// The order of the history's rows: their key, the running count, or in layout 5 (revision, idx).
const char* history_order(sqlite3* db) {
    int64_t layout = 0;
    return query_int(db, "PRAGMA user_version", layout) && layout == 5 ? "revision, idx"
                                                                       : "run_count";
}

// The history's meta row, and whether it passed its checksum.
struct Meta : HistoryMeta {
    bool healthy = false;
};

Meta read_meta(sqlite3* db, const Reporter& reporter) {
    Meta meta;
    read_history_meta(db, meta, meta.healthy);
    reporter.counts().history_meta_ok = meta.healthy ? 1 : 0;
    if (!meta.healthy) reporter.line("history: damaged: its epoch and dropped revision");
    return meta;
}

// What the whole history looked like: its rows, its meta row, and whether it was read through.
// A file laid out before the tree had a history (user_version below 5) has none to read.
struct HistoryScan {
    bool present = true;
    HistoryRows rows;
    Meta meta;
    Scanned scanned;
};

HistoryScan scan_history(sqlite3* db, const Reporter& reporter) {
    HistoryScan history;
    qel_host_file_report_t& n = reporter.counts();
    int64_t layout = 0;
    history.present = !query_int(db, "PRAGMA user_version", layout) || layout >= 5;
    n.history_meta_ok = history.present ? 0 : 1;
    if (!history.present) return history;
    history.scanned = scan(db, history.rows, "history", history_order(db), n.history_rows,
                           n.history_damaged, reporter, nullptr);
    for (const std::string& key : history.rows.gone_before) {
        ++n.history_missing;
        reporter.line("history: missing before " + key);
    }
    history.meta = read_meta(db, reporter);
    return history;
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

// Whether each block of the history whose rows are all written has the signature of its rows
// (layout 7 on; layout 6's index is dropped, unread, when the file is upgraded). A signature short
// of a row's bits would hide that change from the reads of its path. The oldest block's may hold
// more than its rows: retention may have cut through it. One pass over the rows in their order.
bool history_signatures_exact(sqlite3* db, const Reporter& reporter) {
    int64_t layout = 0, stored = 0, newest = -1;
    if (!query_int(db, "PRAGMA user_version", layout) || layout < 7) return true;
    Statement rows = prepare(db, "SELECT run_count, path FROM history ORDER BY run_count");
    Statement stored_bits = prepare(db, "SELECT bits FROM history_signatures WHERE block = ?");
    bool read = rows && stored_bits &&
                query_int(db, "SELECT count(*) FROM history_signatures", stored) &&
                query_int(db, "SELECT ifnull(max(run_count), -1) FROM history", newest);
    const uint64_t complete = (static_cast<uint64_t>(newest) + 1) >> kHistoryBlockShift;
    uint64_t matched = 0, missing = 0, wrong = 0;
    bool oldest = true;
    // Compares a block's signature made from its rows with the stored one.
    const auto judge = [&](uint64_t block, const BlockSignature& signature) {
        const bool first = std::exchange(oldest, false);
        if (block >= complete) return true;
        sqlite3_stmt* lookup = stored_bits.get();
        sqlite3_reset(lookup);
        sqlite3_bind_int64(lookup, 1, static_cast<int64_t>(block));
        const int found = sqlite3_step(lookup);
        if (found == SQLITE_ROW) {
            ++matched;
            const std::string_view bits = column_bytes(lookup, 0);
            if (first ? !signature.covered_by(bits) : bits != signature.bits()) ++wrong;
        } else if (found == SQLITE_DONE) {
            ++missing;
        }
        sqlite3_reset(lookup);
        return found == SQLITE_ROW || found == SQLITE_DONE;
    };
    read = read && sign_rows(rows.get(), judge) == SQLITE_DONE;
    const int64_t stale = stored - static_cast<int64_t>(matched);
    if (!read) reporter.line("integrity: history_signatures: unreadable");
    if (read && missing > 0)
        reporter.line("integrity: history_signatures: " + std::to_string(missing) +
                      " blocks without their signature");
    if (read && wrong > 0)
        reporter.line("integrity: history_signatures: " + std::to_string(wrong) +
                      " signatures that differ from their blocks' rows");
    if (read && stale > 0)
        reporter.line("integrity: history_signatures: " + std::to_string(stale) +
                      " signatures of no complete block held");
    return read && missing == 0 && wrong == 0 && stale == 0;
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
    ok = history_signatures_exact(db, reporter) && ok;
    reporter.counts().integrity_ok = ok ? 1 : 0;
}

int check_file(const char* file, const Reporter& reporter) {
    Database db;
    if (const int failed = open_read_only(file, db)) return failed;
    qel_host_file_report_t& n = reporter.counts();
    TreeRows tree;
    EventRows events;
    scan(db.get(), tree, "tree", "path", n.tree_rows, n.tree_damaged, reporter, nullptr);
    scan(db.get(), events, "events", "id", n.event_rows, n.event_damaged, reporter, nullptr);
    scan_history(db.get(), reporter);
    integrity(db.get(), reporter);
    return QEL_HOST_OPEN_OK;
}

// Where the copy's history begins: it keeps the epoch and the revision counter, and holds only
// the revisions after `floor`, the newest revision it cannot hold whole.
struct HistoryPlan {
    std::string epoch;
    uint64_t revision = 0, floor = 0;
    bool lost = false;  // something the history stood for was left out
};

HistoryPlan plan_history(const HistoryScan& history, bool tree_whole, const Reporter& reporter) {
    HistoryPlan plan;
    const Meta& meta = history.meta;
    const HistoryRows& rows = history.rows;
    plan.revision = std::max(rows.newest, meta.healthy ? uint64_t(meta.revision) : 0);
    plan.floor = std::max(rows.incomplete, meta.healthy ? uint64_t(meta.revision) : 0);
    plan.epoch = meta.epoch;
    // An epoch lost, or rows past a point SQLite cannot read (so that the file no longer says how
    // far its revisions went): the copy's revisions cannot be vouched for as the file's, and get
    // an epoch of their own, which tells every client so. Without the newest changes, the tree
    // before them cannot be told either.
    if (!meta.healthy || !history.scanned.whole) {
        plan.epoch = new_epoch();
        reporter.line(meta.healthy ? "history: a new epoch, since the newest revision is unknown"
                                   : "history: a new epoch, since the file's own is damaged");
    }
    if (!history.scanned.whole) plan.floor = plan.revision;
    // A tree row left out is a change no revision holds: the copy's tree takes a revision of
    // its own, which the history cannot replay, so that no client takes the tree before it
    // for the tree now.
    if (!tree_whole) {
        plan.floor = ++plan.revision;
        reporter.line("history: tree rows left out: revision " + std::to_string(plan.revision) +
                      " stands for them, and no revision before it is held");
    }
    plan.lost = !tree_whole || !history.scanned.whole || !meta.healthy ||
                reporter.counts().history_damaged > 0 || rows.incomplete > 0;
    return plan;
}

// Copies the healthy history rows after `plan.floor`, counting the healthy ones left out, and
// writes the meta row: the epoch and the floor with its time.
bool copy_history(sqlite3* from, sqlite3* to, const HistoryPlan& plan, const HistoryScan& history,
                  const Reporter& reporter) {
    Statement select = prepare(from, std::string("SELECT ") + kHistoryRowColumns +
                                         " FROM history ORDER BY " + history_order(from));
    Statement insert =
        prepare(to, std::string("INSERT OR IGNORE INTO history(") + kHistoryRowColumns +
                        ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    Statement meta = prepare(to, kHistoryMetaWrite);
    if (!select || !insert || !meta) return false;
    HistoryRow row;
    uint64_t copied = 0, left_out = 0;
    int64_t floor_time = INT64_MIN;
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        if (!history_row_at(select.get(), row)) continue;  // reported by the scan
        if (row.change.revision <= plan.floor) {
            ++left_out;
            continue;
        }
        if (copied++ == 0) floor_time = row.prev_time;
        if (!copy_row(select.get(), insert.get())) return false;
    }
    if (copied == 0) {
        // Nothing held: the floor's time is the newest the file tells of or, where changes were
        // lost whose times are unknown, now (times follow revisions, so none can be later).
        floor_time = std::max(history.meta.time, history.rows.newest_time);
        if (plan.lost) floor_time = std::max(floor_time, int64_t{std::time(nullptr)} * 1000000);
    }
    reporter.counts().history_left_out = left_out;
    if (left_out > 0)
        reporter.line("history: " + std::to_string(left_out) +
                      " healthy changes left out, of revisions up to " +
                      std::to_string(plan.floor) + ", which the copy cannot hold whole");
    const auto floor = static_cast<int64_t>(std::min<uint64_t>(plan.floor, INT64_MAX));
    return write_history_meta(meta.get(), HistoryMeta{plan.epoch, floor, floor_time}) &&
           BlockSigner(to).sign_complete();
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
        // A damaged page can lead SQLite to the same row twice: a tree or history row's key is
        // under its checksum, so a second one with the same key is the same row, left out. An
        // event's id is not: a flipped id can name another healthy event's, and the second one
        // then goes in under a new id, at the end.
        Statement tree_insert =
            prepare(to.get(), "INSERT OR IGNORE INTO tree VALUES(?, ?, ?, ?, ?)");
        Statement event_insert =
            prepare(to.get(),
                    "INSERT INTO events VALUES(CASE WHEN EXISTS(SELECT 1 FROM events WHERE id = ?1)"
                    " THEN NULL ELSE ?1 END, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        Transaction transaction(to.get());
        qel_host_file_report_t& n = reporter.counts();
        TreeRows tree;
        EventRows events;
        if (tree_insert && event_insert && transaction.is_open()) {
            const Scanned tree_scan = scan(from.get(), tree, "tree", "path", n.tree_rows,
                                           n.tree_damaged, reporter, tree_insert.get());
            const Scanned event_scan = scan(from.get(), events, "events", "id", n.event_rows,
                                            n.event_damaged, reporter, event_insert.get());
            const HistoryScan history = scan_history(from.get(), reporter);
            const bool tree_whole = tree_scan.whole && n.tree_damaged == 0;
            copied = tree_scan.copied && event_scan.copied &&
                     copy_history(from.get(), to.get(), plan_history(history, tree_whole, reporter),
                                  history, reporter) &&
                     transaction.commit();
        }
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
