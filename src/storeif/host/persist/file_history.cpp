// The history's rows in a store file.
#include "persist/file_history.h"

#ifdef NYR_HAVE_SQLITE

#include <algorithm>
#include <string>

#include "history/epoch.h"
#include "history/history_codec.h"
#include "log/sqlite_connection.h"
#include "log/sqlite_db.h"
#include "nyr_host.h"
#include "persist/history_row.h"
#include "persist/history_signature.h"

namespace nyrhost {

namespace {

const char* const kColumns = kHistoryRowColumns;
const char* const kBytesOfRow =
    "48 + length(path) + length(source) + ifnull(length(old), 0) + ifnull(length(new), 0)";

using FileRow = HistoryRow;

// What retention and the counters need to know of the history, kept in memory.
struct State {
    uint64_t revision = 0;          // newest, recorded or dropped
    uint64_t dropped_revision = 0;  // newest dropped
    int64_t dropped_time = INT64_MIN;
    uint64_t count = 0, bytes = 0;          // held
    uint64_t run_count = 0, run_bytes = 0;  // of the newest row ever written
    int64_t last_time = INT64_MIN;          // of the newest revision
    int64_t oldest_time = INT64_MAX;        // of the oldest held change
};

// The few columns of a row that bisections and retention read.
struct Probe {
    uint64_t revision = 0;
    uint32_t index = 0;
    int64_t time = 0;
};

// A span of running counts, both ends included; empty when first > last.
struct Runs {
    uint64_t first = 1, last = 0;
    bool empty() const { return first > last; }
    // The part of this span in `block`.
    Runs in_block(uint64_t block) const {
        return {std::max(first, first_run_of_block(block)),
                std::min(last, last_run_of_block(block))};
    }
};

class FileHistory final : public History {
public:
    FileHistory(SqliteConnection& connection, sqlite3* db)
        : mutex_(connection.mutex), db_(db), signer_(db) {}
    ~FileHistory() override = default;

    int open() {
        insert_ = prepare(db_, std::string("INSERT INTO history(") + kColumns +
                                   ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        first_ = prepare(
            db_, std::string("SELECT ") + kColumns + " FROM history ORDER BY run_count LIMIT 1");
        last_ = prepare(db_, std::string("SELECT ") + kColumns +
                                 " FROM history ORDER BY run_count DESC LIMIT 1");
        held_ = prepare(db_,
                        "SELECT (SELECT min(run_count) FROM history),"
                        " (SELECT max(run_count) FROM history)");
        probe_ = prepare(db_, std::string("SELECT run_count, revision, idx, time, ") + kBytesOfRow +
                                  " FROM history WHERE run_count >= ? ORDER BY run_count");
        before_ = prepare(db_,
                          "SELECT revision FROM history WHERE run_count < ?"
                          " ORDER BY run_count DESC LIMIT 1");
        drop_ = prepare(db_, "DELETE FROM history WHERE run_count BETWEEN ? AND ?");
        signatures_ = prepare(db_,
                              "SELECT block, bits FROM history_signatures"
                              " WHERE block BETWEEN ? AND ? ORDER BY block");
        drop_signatures_ = prepare(db_, "DELETE FROM history_signatures WHERE block < ?");
        first_in_block_ = prepare(db_, std::string("SELECT ") + kColumns +
                                           " FROM history WHERE run_count BETWEEN ? AND ?"
                                           " AND path = ? ORDER BY run_count LIMIT 1");
        meta_ = prepare(db_, kHistoryMetaWrite);
        if (!insert_ || !first_ || !last_ || !held_ || !probe_ || !before_ || !drop_ ||
            !signatures_ || !drop_signatures_ || !first_in_block_ || !meta_ || !signer_.ready())
            return QEL_HOST_OPEN_FAILED;
        HistoryMeta meta;
        bool healthy = false;
        const int step = read_history_meta(db_, meta, healthy);
        const int64_t meta_revision = meta.revision, meta_time = meta.time;
        if (step == SQLITE_ROW) {
            if (!healthy) return QEL_HOST_OPEN_DAMAGED;
            epoch_ = std::move(meta.epoch);
        } else if (step == SQLITE_DONE) {
            // A file without a history yet: it gets its epoch now, in a transaction of its own.
            epoch_ = new_epoch();
            Transaction transaction(db_);
            if (!transaction.is_open() || !write_meta(0, INT64_MIN) || !transaction.commit())
                return QEL_HOST_OPEN_FAILED;
        } else {
            return (step & 0xFF) == SQLITE_CORRUPT ? QEL_HOST_OPEN_DAMAGED : QEL_HOST_OPEN_FAILED;
        }
        state_.revision = state_.dropped_revision = static_cast<uint64_t>(meta_revision);
        state_.dropped_time = meta_time;
        state_.last_time = meta_time;
        FileRow first, last;
        bool found = false;
        if (!one_row(first_.get(), first, found)) return QEL_HOST_OPEN_DAMAGED;
        if (found) {
            if (!one_row(last_.get(), last, found) || !found) return QEL_HOST_OPEN_DAMAGED;
            state_.dropped_revision = first.change.revision - 1;
            state_.dropped_time = first.prev_time;
            state_.revision = last.change.revision;
            state_.count = last.run_count - first.run_count + 1;
            state_.bytes = last.run_bytes - first.run_bytes + first.change.bytes();
            state_.run_count = last.run_count;
            state_.run_bytes = last.run_bytes;
            state_.last_time = last.change.time_us;
            state_.oldest_time = first.change.time_us;
            if (last.change.revision < first.change.revision || state_.count == 0)
                return QEL_HOST_OPEN_DAMAGED;
        }
        next_ = state_;
        return QEL_HOST_OPEN_OK;
    }

    const std::string& epoch() const override { return epoch_; }
    uint64_t revision() const override { return state_.revision; }
    uint64_t held_changes() const override { return state_.count; }
    uint64_t held_bytes() const override { return state_.bytes; }
    uint64_t oldest() const override { return state_.dropped_revision + 1; }
    uint64_t dropped_revision() const override { return state_.dropped_revision; }
    int64_t dropped_time_us() const override { return state_.dropped_time; }
    int64_t last_time_us() const override { return state_.last_time; }
    void set_limits(const HistoryLimits& limits) override {
        MutexLock hold(mutex_);  // the committer reads them in record()
        limits_ = limits;
    }

    // The writes of a group follow each other in one transaction: each starts where the one
    // before ended (next_), and settle() makes the group's end the history's, or drops it.
    bool record(const Tree::Changes& changes, const WriteInfo& info) override {
        mutex_.assert_held();  // inside the group's transaction
        if (keeps_nothing() && next_.count == 0) {
            // Only the counter is kept: the revision is dropped as it is made.
            next_.revision = next_.dropped_revision = info.revision;
            next_.dropped_time = next_.last_time = info.time_us;
            return write_meta(clamp(info.revision), info.time_us);
        }
        FileRow row;
        row.prev_time = next_.last_time;
        for (HistoryChange& change : rows_of(changes, info)) {
            row.change = std::move(change);
            row.run_count = ++next_.run_count;
            row.run_bytes = next_.run_bytes += row.change.bytes();
            if (!insert(row)) return false;
            // The row that completes its block: the block gets its signature.
            const uint64_t block = row.run_count >> kHistoryBlockShift;
            if (row.run_count == last_run_of_block(block) && !signer_.sign(block, block))
                return false;
            ++next_.count;
            next_.bytes += row.change.bytes();
            next_.oldest_time = std::min(next_.oldest_time, row.change.time_us);
        }
        next_.revision = info.revision;
        next_.last_time = info.time_us;
        return trim(info.time_us);
    }

    void settle(bool committed) override {
        if (committed) state_ = next_;
        next_ = state_;
    }

    // The rows are read in the order of their running counts, which is that of (revision, idx):
    // the revision bounds become bounds of running counts by bisection. A subtree's rows are
    // first read straight along that span, which suits a subtree written often; past a budget
    // the rest is read only in the blocks whose signatures may hold a change of the subtree.
    int select(const HistorySelection& s, std::vector<HistoryChange>& out) override {
        MutexLock hold(mutex_);
        const std::size_t kept = out.size();
        Runs runs;
        int failed = held_runs(runs);
        const auto from = std::make_pair(s.from_revision, s.from_index);
        if (!failed && !runs.empty())
            failed = first_run_where(
                runs, [&](const Probe& p) { return std::make_pair(p.revision, p.index) >= from; },
                runs.first);
        uint64_t beyond = runs.last + 1;
        if (!failed && !runs.empty())
            failed = first_run_where(
                runs, [&](const Probe& p) { return p.revision > s.until_revision; }, beyond);
        runs.last = beyond - 1;
        if (!failed && !runs.empty()) failed = select_runs(s, runs, out);
        if (failed) {
            out.resize(kept);
            return failed;
        }
        if (s.newest) std::reverse(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
        return QEL_RESULT_OK;
    }

    int first_after(const std::vector<std::string>& paths, uint64_t revision, HistoryChange& out,
                    bool& found) override {
        MutexLock hold(mutex_);
        found = false;
        Runs runs;
        if (const int failed = held_runs(runs)) return failed;
        if (runs.empty()) return QEL_RESULT_OK;
        if (const int failed = first_run_where(
                runs, [&](const Probe& p) { return p.revision > revision; }, runs.first))
            return failed;
        FileRow row;
        if (const int failed = first_of_paths(paths, runs, row, found)) return failed;
        if (found) out = std::move(row.change);
        return QEL_RESULT_OK;
    }

    int held_revision_at(int64_t time_us, uint64_t& revision) override {
        MutexLock hold(mutex_);
        // Times follow running counts: the rows made by then are a first part of them, and the
        // newest of it is the revision.
        revision = 0;
        Runs runs;
        if (const int failed = held_runs(runs)) return failed;
        if (runs.empty()) return QEL_RESULT_OK;
        uint64_t later = 0;
        if (const int failed = first_run_where(
                runs, [&](const Probe& p) { return p.time > time_us; }, later))
            return failed;
        if (later == runs.first) return QEL_RESULT_OK;
        sqlite3_stmt* st = before_.get();
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, clamp(later));
        const int step = sqlite3_step(st);
        if (step == SQLITE_ROW) revision = static_cast<uint64_t>(sqlite3_column_int64(st, 0));
        sqlite3_reset(st);
        return step == SQLITE_ROW ? QEL_RESULT_OK : failure_of(step);
    }

private:
    // Rows read straight before the blocks are consulted: at least this many, and 16 for each
    // change asked for.
    static constexpr uint64_t kStraightRows = 8192, kStraightPerChange = 16;

    bool keeps_nothing() const {
        return limits_.changes == 0 || limits_.bytes == 0 || limits_.seconds == 0;
    }

    static int64_t clamp(uint64_t v) {
        return v > uint64_t{INT64_MAX} ? INT64_MAX : static_cast<int64_t>(v);
    }

    static int failure_of(int step) {
        return (step & 0xFF) == SQLITE_CORRUPT ? QEL_RESULT_DAMAGED : QEL_RESULT_DATABASE;
    }

    static bool one_row(sqlite3_stmt* st, FileRow& row, bool& found) {
        sqlite3_reset(st);
        const int step = sqlite3_step(st);
        found = step == SQLITE_ROW;
        const bool ok = step == SQLITE_DONE || (found && history_row_at(st, row));
        sqlite3_reset(st);
        return ok;
    }

    // The running counts the file holds, oldest to newest (empty for an empty history). Read
    // from the file itself, so that a salvaged file's gaps and a commit not yet settled are seen.
    int held_runs(Runs& runs) {
        sqlite3_stmt* st = held_.get();
        sqlite3_reset(st);
        const int step = sqlite3_step(st);
        if (step == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL) {
            runs.first = static_cast<uint64_t>(std::max<int64_t>(0, sqlite3_column_int64(st, 0)));
            runs.last = static_cast<uint64_t>(std::max<int64_t>(0, sqlite3_column_int64(st, 1)));
        }
        sqlite3_reset(st);
        return step == SQLITE_ROW ? QEL_RESULT_OK : failure_of(step);
    }

    // The first row at or after the running count `run`, into `probe`; `found` false when none.
    int probe_at(uint64_t run, Probe& probe, bool& found) {
        sqlite3_stmt* st = probe_.get();
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, clamp(run));
        const int step = sqlite3_step(st);
        found = step == SQLITE_ROW;
        if (found) {
            probe.revision = static_cast<uint64_t>(sqlite3_column_int64(st, 1));
            probe.index = static_cast<uint32_t>(sqlite3_column_int64(st, 2));
            probe.time = sqlite3_column_int64(st, 3);
        }
        sqlite3_reset(st);
        return found || step == SQLITE_DONE ? QEL_RESULT_OK : failure_of(step);
    }

    // The smallest running count m in [runs.first, runs.last + 1] for which `past` holds of the
    // first row at or after m (m = runs.last + 1 when it holds for none), by bisection: `past`
    // must stay true along the rows once it is. With gaps in the running counts the rows at or
    // after m are still exactly those it holds for.
    template <typename Past>
    int first_run_where(const Runs& runs, Past past, uint64_t& m) {
        uint64_t low = runs.first, high = runs.last + 1;
        // Most reads start at the oldest row or end at the newest: the ends are tried first.
        Probe probe;
        bool found = false;
        if (const int failed = probe_at(runs.first, probe, found)) return failed;
        if (!found || past(probe)) high = low;
        if (low < high) {
            if (const int failed = probe_at(runs.last, probe, found)) return failed;
            if (found && !past(probe)) low = high;
        }
        while (low < high) {
            const uint64_t middle = low + (high - low) / 2;
            if (const int failed = probe_at(middle, probe, found)) return failed;
            if (!found || past(probe))
                high = middle;
            else
                low = middle + 1;
        }
        m = low;
        return QEL_RESULT_OK;
    }

    // Calls visit(span) for each span of `runs`, oldest first, that may hold a change `may`
    // lets through (given a block's signature): each block whose signature it passes, and the
    // running counts no signature covers (the newest block, not yet complete). Stops once visit
    // gives false.
    template <typename May, typename Visit>
    int spans_of(const Runs& runs, May may, Visit visit) {
        sqlite3_stmt* st = signatures_.get();
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, clamp(runs.first >> kHistoryBlockShift));
        sqlite3_bind_int64(st, 2, clamp(runs.last >> kHistoryBlockShift));
        uint64_t uncovered = runs.first;  // the first running count not yet looked at
        bool more = true;
        int step = SQLITE_DONE;
        while (more && (step = sqlite3_step(st)) == SQLITE_ROW) {
            const Runs block = runs.in_block(static_cast<uint64_t>(sqlite3_column_int64(st, 0)));
            if (uncovered < block.first) more = visit(Runs{uncovered, block.first - 1});
            if (more && may(column_bytes(st, 1))) more = visit(block);
            uncovered = block.last + 1;
        }
        sqlite3_reset(st);
        if (more && step != SQLITE_DONE) return failure_of(step);
        if (more && uncovered <= runs.last) visit(Runs{uncovered, runs.last});
        return QEL_RESULT_OK;
    }

    // The first row of any of `paths` within `runs`, found in one pass over the blocks whose
    // signatures may hold one of them: the first block that holds one holds the first.
    int first_of_paths(const std::vector<std::string>& paths, const Runs& runs, FileRow& row,
                       bool& found) {
        int result = QEL_RESULT_OK;
        found = false;
        const auto may = [&](std::string_view bits) {
            return std::any_of(paths.begin(), paths.end(), [&](const std::string& path) {
                return BlockSignature::may_change(bits, path);
            });
        };
        // The earliest row of the paths in `span`, if any: each path's first, the first of them.
        const auto look = [&](const Runs& span) {
            sqlite3_stmt* st = first_in_block_.get();
            for (const std::string& path : paths) {
                sqlite3_reset(st);
                sqlite3_bind_int64(st, 1, clamp(span.first));
                sqlite3_bind_int64(st, 2, clamp(found ? row.run_count - 1 : span.last));
                sqlite3_bind_blob(st, 3, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
                const int step = sqlite3_step(st);
                if (step == SQLITE_ROW && !history_row_at(st, row)) result = QEL_RESULT_DAMAGED;
                if (step != SQLITE_ROW && step != SQLITE_DONE) result = failure_of(step);
                found = found || step == SQLITE_ROW;
                sqlite3_reset(st);
                if (result) return false;
            }
            return !found;
        };
        const int scanned = spans_of(runs, may, look);
        return result ? result : scanned;
    }

    // The selection's rows within `runs`, in its order, appended to `out` (newest first for a
    // newest selection).
    int select_runs(const HistorySelection& s, const Runs& runs, std::vector<HistoryChange>& out) {
        const bool all = s.subtree == "/";
        std::string sql = std::string("SELECT ") + kColumns +
                          " FROM history WHERE run_count BETWEEN ?1 AND ?2"
                          " AND (revision, idx) >= (?3, ?4) AND revision <= ?5"
                          " AND time >= ?6 AND time <= ?7";
        if (!all) sql += " AND (path = ?8 OR (path >= ?9 AND path < ?10))";
        sql += s.newest ? " ORDER BY run_count DESC" : " ORDER BY run_count";
        sql += " LIMIT ?11";
        Statement statement = prepare(db_, sql);
        if (!statement) return QEL_RESULT_DATABASE;
        sqlite3_stmt* st = statement.get();
        const std::string below = s.subtree + "/", beyond = s.subtree + "0";
        sqlite3_bind_int64(st, 3, clamp(s.from_revision));
        sqlite3_bind_int64(st, 4, s.from_index);
        sqlite3_bind_int64(st, 5, clamp(s.until_revision));
        sqlite3_bind_int64(st, 6, s.since_us);
        sqlite3_bind_int64(st, 7, s.until_us);
        if (!all) {
            sqlite3_bind_blob(st, 8, s.subtree.data(), static_cast<int>(s.subtree.size()),
                              SQLITE_STATIC);
            sqlite3_bind_blob(st, 9, below.data(), static_cast<int>(below.size()), SQLITE_STATIC);
            sqlite3_bind_blob(st, 10, beyond.data(), static_cast<int>(beyond.size()),
                              SQLITE_STATIC);
        }
        const std::size_t kept = out.size();
        const auto wanted = [&]() -> int64_t {
            return s.limit == 0 ? -1 : int64_t{s.limit} - static_cast<int64_t>(out.size() - kept);
        };
        // Rows of `part` into `out`, as many as are still wanted.
        const auto read = [&](const Runs& part) -> int {
            sqlite3_reset(st);
            sqlite3_bind_int64(st, 1, clamp(part.first));
            sqlite3_bind_int64(st, 2, clamp(part.last));
            sqlite3_bind_int64(st, 11, wanted());
            FileRow row;
            int step;
            while ((step = sqlite3_step(st)) == SQLITE_ROW) {
                if (!history_row_at(st, row)) return QEL_RESULT_DAMAGED;
                out.push_back(std::move(row.change));
            }
            return step == SQLITE_DONE ? QEL_RESULT_OK : failure_of(step);
        };
        const uint64_t straight =
            all ? UINT64_MAX : std::max(kStraightRows, kStraightPerChange * s.limit);
        if (runs.last - runs.first < straight) return read(runs);
        // Straight along the first part, from the end the selection starts at.
        Runs first_part = runs, rest = runs;
        if (s.newest)
            first_part.first = rest.last + 1 - straight, rest.last = first_part.first - 1;
        else
            first_part.last = runs.first + straight - 1, rest.first = first_part.last + 1;
        if (const int failed = read(first_part)) return failed;
        if (wanted() == 0) return QEL_RESULT_OK;
        // The rest in the spans that may hold a change of the subtree, from the same end.
        std::vector<Runs> spans;
        const auto may = [&](std::string_view bits) {
            return BlockSignature::may_change_within(bits, s.subtree);
        };
        if (const int failed = spans_of(rest, may, [&](const Runs& span) {
                spans.push_back(span);
                return true;
            }))
            return failed;
        if (s.newest) std::reverse(spans.begin(), spans.end());
        for (const Runs& span : spans) {
            if (const int failed = read(span)) return failed;
            if (wanted() == 0) break;
        }
        return QEL_RESULT_OK;
    }

    bool insert(const FileRow& row) {
        const HistoryChange& c = row.change;
        const SqlValue none(nullptr);
        const SqlValue old_value = c.old_value ? SqlValue(std::string_view(*c.old_value)) : none;
        const SqlValue new_value = c.new_value ? SqlValue(std::string_view(*c.new_value)) : none;
        const SqlValue uid = c.has_peer ? SqlValue(int64_t{c.uid}) : none;
        const SqlValue pid = c.has_peer ? SqlValue(int64_t{c.pid}) : none;
        sqlite3_stmt* st = insert_.get();
        sqlite3_reset(st);
        const bool done =
            bind_in_order(st, {clamp(c.revision), int64_t{c.index}, c.time_us, row.prev_time,
                               int64_t{c.kind}, std::string_view(c.path), old_value, new_value,
                               std::string_view(c.source), uid, pid, clamp(row.run_count),
                               clamp(row.run_bytes), int64_t{history_row_checksum(row)}}) &&
            sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        return done;
    }

    bool write_meta(int64_t revision, int64_t time) {
        return write_history_meta(meta_.get(), HistoryMeta{epoch_, revision, time});
    }

    // The oldest revision's rows, which lead the rows: their span of running counts, how many
    // they are and their bytes, their revision and time; and the time of the row after them
    // (INT64_MAX when none). False when the history has no rows or they cannot be read.
    bool oldest_revision(Runs& runs, uint64_t& count, uint64_t& bytes, Probe& first,
                         int64_t& next_time) {
        sqlite3_stmt* st = probe_.get();
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, 0);
        count = bytes = 0;
        next_time = INT64_MAX;
        int step;
        while ((step = sqlite3_step(st)) == SQLITE_ROW) {
            const auto run = static_cast<uint64_t>(sqlite3_column_int64(st, 0));
            const auto revision = static_cast<uint64_t>(sqlite3_column_int64(st, 1));
            const int64_t time = sqlite3_column_int64(st, 3);
            if (count == 0) {
                first.revision = revision;
                first.time = time;
                runs.first = run;
            } else if (revision != first.revision) {
                next_time = time;
                break;
            }
            runs.last = run;
            ++count;
            bytes += static_cast<uint64_t>(sqlite3_column_int64(st, 4));
        }
        sqlite3_reset(st);
        return count > 0 && (step == SQLITE_ROW || step == SQLITE_DONE);
    }

    // Drops the oldest revisions, whole, while a limit is passed; `next_` follows.
    bool trim(int64_t now_us) {
        const uint64_t seconds = std::min<uint64_t>(limits_.seconds, uint64_t{INT64_MAX} / 2000000);
        const int64_t oldest_allowed = now_us - static_cast<int64_t>(seconds * 1000000);
        bool emptied = false;
        while (next_.count > 0 && (next_.count > limits_.changes || next_.bytes > limits_.bytes ||
                                   next_.oldest_time < oldest_allowed || limits_.seconds == 0)) {
            Runs runs;
            uint64_t count = 0, bytes = 0;
            Probe oldest;
            int64_t next_time = INT64_MAX;
            if (!oldest_revision(runs, count, bytes, oldest, next_time)) return false;
            sqlite3_stmt* drop = drop_.get();
            sqlite3_reset(drop);
            sqlite3_bind_int64(drop, 1, clamp(runs.first));
            sqlite3_bind_int64(drop, 2, clamp(runs.last));
            bool done = sqlite3_step(drop) == SQLITE_DONE;
            sqlite3_reset(drop);
            // A drop that reaches the end of a block empties it, and the blocks before it were
            // emptied before: they lose their signatures. One cut through keeps its own, which
            // then only says more than its rows hold.
            const uint64_t kept_block = (runs.last + 1) >> kHistoryBlockShift;
            if (done && kept_block > runs.first >> kHistoryBlockShift) {
                sqlite3_stmt* unsign = drop_signatures_.get();
                sqlite3_reset(unsign);
                sqlite3_bind_int64(unsign, 1, clamp(kept_block));
                done = sqlite3_step(unsign) == SQLITE_DONE;
                sqlite3_reset(unsign);
            }
            if (!done || count > next_.count) return false;
            next_.count -= count;
            next_.bytes -= std::min(bytes, next_.bytes);
            next_.dropped_revision = oldest.revision;
            next_.dropped_time = oldest.time;
            emptied = next_.count == 0;
            next_.oldest_time = next_time;
        }
        // An empty history keeps where it stands in its meta row; a held one in its rows.
        return !emptied || write_meta(clamp(next_.dropped_revision), next_.dropped_time);
    }

    Mutex& mutex_;  // the connection's: held around every use of db_ and the statements
    sqlite3* db_;
    std::string epoch_;
    HistoryLimits limits_;
    State state_, next_;
    Statement insert_, first_, last_, held_, probe_, before_, drop_, signatures_, drop_signatures_,
        first_in_block_, meta_;
    BlockSigner signer_;
};

}  // namespace

std::unique_ptr<History> open_file_history(SqliteConnection& connection, int* result) {
    MutexLock hold(connection.mutex);
    auto history = std::make_unique<FileHistory>(connection, connection.db());
    *result = history->open();
    if (*result != QEL_HOST_OPEN_OK) return nullptr;
    return history;
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
