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

class FileHistory final : public History {
public:
    FileHistory(SqliteConnection& connection, sqlite3* db) : mutex_(connection.mutex), db_(db) {}
    ~FileHistory() override = default;

    int open() {
        insert_ = prepare(db_, std::string("INSERT INTO history(") + kColumns +
                                   ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        first_ = prepare(db_, std::string("SELECT ") + kColumns +
                                  " FROM history ORDER BY revision, idx LIMIT 1");
        last_ = prepare(db_, std::string("SELECT ") + kColumns +
                                 " FROM history ORDER BY revision DESC, idx DESC LIMIT 1");
        drop_ = prepare(db_, "DELETE FROM history WHERE revision = ?");
        revision_size_ = prepare(db_, std::string("SELECT count(*), ifnull(sum(") + kBytesOfRow +
                                          "), 0) FROM history WHERE revision = ?");
        after_ = prepare(db_, std::string("SELECT ") + kColumns +
                                  " FROM history WHERE path = ? AND revision > ?"
                                  " ORDER BY revision, idx LIMIT 1");
        time_of_ = prepare(db_, "SELECT time FROM history WHERE revision = ? LIMIT 1");
        meta_ = prepare(db_, kHistoryMetaWrite);
        if (!insert_ || !first_ || !last_ || !drop_ || !revision_size_ || !after_ || !time_of_ ||
            !meta_)
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

    int select(const HistorySelection& s, std::vector<HistoryChange>& out) override {
        MutexLock hold(mutex_);
        std::string sql = std::string("SELECT ") + kColumns +
                          " FROM history WHERE (revision, idx) >= (?1, ?2)"
                          " AND revision <= ?3 AND time >= ?4 AND time <= ?5";
        const bool all = s.subtree == "/";
        if (!all) sql += " AND (path = ?6 OR (path >= ?7 AND path < ?8))";
        sql += s.newest ? " ORDER BY revision DESC, idx DESC" : " ORDER BY revision, idx";
        sql += " LIMIT ?9";
        Statement statement = prepare(db_, sql);
        if (!statement) return QEL_RESULT_DATABASE;
        sqlite3_stmt* st = statement.get();
        const std::string below = s.subtree + "/", beyond = s.subtree + "0";
        sqlite3_bind_int64(st, 1, clamp(s.from_revision));
        sqlite3_bind_int64(st, 2, s.from_index);
        sqlite3_bind_int64(st, 3, clamp(s.until_revision));
        sqlite3_bind_int64(st, 4, s.since_us);
        sqlite3_bind_int64(st, 5, s.until_us);
        if (!all) {
            sqlite3_bind_blob(st, 6, s.subtree.data(), static_cast<int>(s.subtree.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_blob(st, 7, below.data(), static_cast<int>(below.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_blob(st, 8, beyond.data(), static_cast<int>(beyond.size()),
                              SQLITE_TRANSIENT);
        }
        sqlite3_bind_int64(st, 9, s.limit == 0 ? -1 : int64_t{s.limit});
        const std::size_t kept = out.size();
        FileRow row;
        int step;
        while ((step = sqlite3_step(st)) == SQLITE_ROW) {
            if (!history_row_at(st, row)) {
                out.resize(kept);
                return QEL_RESULT_DAMAGED;
            }
            out.push_back(std::move(row.change));
        }
        if (step != SQLITE_DONE) {
            out.resize(kept);
            return (step & 0xFF) == SQLITE_CORRUPT ? QEL_RESULT_DAMAGED : QEL_RESULT_DATABASE;
        }
        if (s.newest) std::reverse(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
        return QEL_RESULT_OK;
    }

    int first_after(const std::vector<std::string>& paths, uint64_t revision, HistoryChange& out,
                    bool& found) override {
        MutexLock hold(mutex_);
        found = false;
        for (const std::string& path : paths) {
            sqlite3_stmt* st = after_.get();
            sqlite3_reset(st);
            sqlite3_bind_blob(st, 1, path.data(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 2, clamp(revision));
            FileRow row;
            const int step = sqlite3_step(st);
            if (step == SQLITE_ROW) {
                if (!history_row_at(st, row)) return sqlite3_reset(st), QEL_RESULT_DAMAGED;
                if (!found || std::make_pair(row.change.revision, row.change.index) <
                                  std::make_pair(out.revision, out.index))
                    out = std::move(row.change);
                found = true;
            } else if (step != SQLITE_DONE) {
                sqlite3_reset(st);
                return (step & 0xFF) == SQLITE_CORRUPT ? QEL_RESULT_DAMAGED : QEL_RESULT_DATABASE;
            }
            sqlite3_reset(st);
        }
        return QEL_RESULT_OK;
    }

    int held_revision_at(int64_t time_us, uint64_t& revision) override {
        MutexLock hold(mutex_);
        // Times follow revisions, and the held revisions have no gaps: a bisection.
        revision = 0;
        uint64_t low = state_.dropped_revision + 1, high = state_.revision;
        if (state_.count == 0) return QEL_RESULT_OK;
        while (low <= high) {
            const uint64_t middle = low + (high - low) / 2;
            int64_t time = 0;
            if (!time_of(middle, time)) return QEL_RESULT_DATABASE;
            if (time <= time_us) {
                revision = middle;
                low = middle + 1;
            } else {
                if (middle == 0) break;
                high = middle - 1;
            }
        }
        return QEL_RESULT_OK;
    }

private:
    bool keeps_nothing() const {
        return limits_.changes == 0 || limits_.bytes == 0 || limits_.seconds == 0;
    }

    static int64_t clamp(uint64_t v) {
        return v > uint64_t{INT64_MAX} ? INT64_MAX : static_cast<int64_t>(v);
    }

    static bool one_row(sqlite3_stmt* st, FileRow& row, bool& found) {
        sqlite3_reset(st);
        const int step = sqlite3_step(st);
        found = step == SQLITE_ROW;
        const bool ok = step == SQLITE_DONE || (found && history_row_at(st, row));
        sqlite3_reset(st);
        return ok;
    }

    bool time_of(uint64_t revision, int64_t& time) {
        sqlite3_stmt* st = time_of_.get();
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, clamp(revision));
        const bool found = sqlite3_step(st) == SQLITE_ROW;
        if (found) time = sqlite3_column_int64(st, 0);
        sqlite3_reset(st);
        return found;
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

    // Drops the oldest revisions, whole, while a limit is passed; `next_` follows.
    bool trim(int64_t now_us) {
        const uint64_t seconds = std::min<uint64_t>(limits_.seconds, uint64_t{INT64_MAX} / 2000000);
        const int64_t oldest_allowed = now_us - static_cast<int64_t>(seconds * 1000000);
        bool emptied = false;
        while (next_.count > 0 && (next_.count > limits_.changes || next_.bytes > limits_.bytes ||
                                   next_.oldest_time < oldest_allowed || limits_.seconds == 0)) {
            const uint64_t dropped = next_.dropped_revision + 1;
            sqlite3_stmt* size = revision_size_.get();
            sqlite3_reset(size);
            sqlite3_bind_int64(size, 1, clamp(dropped));
            if (sqlite3_step(size) != SQLITE_ROW) return sqlite3_reset(size), false;
            const auto count = static_cast<uint64_t>(sqlite3_column_int64(size, 0));
            const auto bytes = static_cast<uint64_t>(sqlite3_column_int64(size, 1));
            sqlite3_reset(size);
            int64_t time = 0;
            if (!time_of(dropped, time)) return false;
            sqlite3_stmt* drop = drop_.get();
            sqlite3_reset(drop);
            sqlite3_bind_int64(drop, 1, clamp(dropped));
            const bool done = sqlite3_step(drop) == SQLITE_DONE;
            sqlite3_reset(drop);
            if (!done || count > next_.count) return false;
            next_.count -= count;
            next_.bytes -= std::min(bytes, next_.bytes);
            next_.dropped_revision = dropped;
            next_.dropped_time = time;
            emptied = next_.count == 0;
            int64_t oldest = INT64_MAX;
            if (!emptied && !time_of(dropped + 1, oldest)) return false;
            next_.oldest_time = oldest;
        }
        // An empty history keeps where it stands in its meta row; a held one in its rows.
        return !emptied || write_meta(clamp(next_.dropped_revision), next_.dropped_time);
    }

    Mutex& mutex_;  // the connection's: held around every use of db_ and the statements
    sqlite3* db_;
    std::string epoch_;
    HistoryLimits limits_;
    State state_, next_;
    Statement insert_, first_, last_, drop_, revision_size_, after_, time_of_, meta_;
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
