// A store file's tree table and the lock on the file.
#include "persist/store_file.h"

#include "nyr_host.h"

#ifndef NYR_HAVE_SQLITE

namespace nyrhost {

std::unique_ptr<StoreFile> StoreFile::open(const char* /*file*/, int* result) {
    *result = QEL_HOST_OPEN_NO_SQLITE;  // built without SQLite: the tree lives in memory only
    return nullptr;
}

}  // namespace nyrhost

#else

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/path.h"
#include "log/sqlite_db.h"
#include "persist/file_history.h"
#include "persist/tree_row.h"

namespace nyrhost {

namespace {

constexpr int kBusyTimeoutMs = 5000;

class SqliteStoreFile final : public StoreFile {
public:
    SqliteStoreFile(std::string file, int lock) : file_(std::move(file)), lock_(lock) {}
    ~SqliteStoreFile() override {
        history_.reset();
        put_.reset();
        remove_.reset();
        remove_below_.reset();
        db_.reset();
        ::close(lock_);  // only now: closing it drops this process's POSIX locks on the file
    }

    int load(Tree& tree) override {
        if (const int failed = connect()) return failed;
        int opened = QEL_HOST_OPEN_OK;
        history_ = open_file_history(db_.get(), &opened);
        if (!history_) return opened;
        return read(tree);
    }

    History& history() override { return *history_; }

    int read(Tree& tree) override {
        Statement rows = prepare(
            db_.get(), "SELECT path, value, fill, property, checksum FROM tree ORDER BY path");
        if (!rows) return QEL_HOST_OPEN_FAILED;
        Path path;
        int step;
        while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
            if (!restore_row(rows.get(), tree, path)) return QEL_HOST_OPEN_DAMAGED;
        }
        if (step == SQLITE_DONE) return QEL_HOST_OPEN_OK;
        return (step & 0xFF) == SQLITE_CORRUPT ? QEL_HOST_OPEN_DAMAGED : QEL_HOST_OPEN_FAILED;
    }

    bool save(const Tree::Changes& changes, const WriteInfo& info) override {
        if (changes.empty()) return true;
        bool committed = false;
        try {
            committed = write(changes, info);
        } catch (...) {
            history_->settle(false);
            throw;
        }
        history_->settle(committed);
        return committed;
    }

private:
    bool write(const Tree::Changes& changes, const WriteInfo& info) {
        Transaction transaction(db_.get());
        if (!transaction.is_open()) return false;
        for (const TreeChange& change : changes) {
            if (!apply(change)) return false;
        }
        return history_->record(changes, info) && transaction.commit();
    }

    // A connection of its own to the file the event log has laid out, and the statements a save
    // runs, prepared once.
    int connect() {
        sqlite3* raw = nullptr;
        const int opened = sqlite3_open_v2(file_.c_str(), &raw,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        db_.reset(raw);
        if (opened != SQLITE_OK) return QEL_HOST_OPEN_UNREADABLE;
        sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
        if (!exec(db_.get(), "PRAGMA synchronous = NORMAL")) return QEL_HOST_OPEN_FAILED;
        put_ = prepare(db_.get(),
                       "INSERT OR REPLACE INTO tree(path, value, fill, property, checksum)"
                       " VALUES(:path, :value, :fill, :property, :checksum)");
        remove_ = prepare(db_.get(), "DELETE FROM tree WHERE path = :path");
        remove_below_ =
            prepare(db_.get(), "DELETE FROM tree WHERE path >= :below AND path < :beyond");
        const bool ready =
            put_ && remove_ && remove_below_ &&
            has_parameters(put_.get(), {":path", ":value", ":fill", ":property", ":checksum"}) &&
            has_parameters(remove_.get(), {":path"}) &&
            has_parameters(remove_below_.get(), {":below", ":beyond"});
        return ready ? QEL_HOST_OPEN_OK : QEL_HOST_OPEN_FAILED;
    }

    // Rebuilds the entry of the row `rows` stands on; false for a damaged row.
    static bool restore_row(sqlite3_stmt* rows, Tree& tree, Path& path) {
        TreeRow row;
        row.path = column_bytes(rows, 0);
        if (sqlite3_column_type(rows, 1) != SQLITE_NULL) row.value = column_bytes(rows, 1);
        row.fill = sqlite3_column_int64(rows, 2);
        row.property = sqlite3_column_int64(rows, 3);
        row.checksum = sqlite3_column_int64(rows, 4);
        // Only a path written as the tree writes it, so that no two rows name one entry.
        if (Path::parse(row.path, path) != QEL_STATUS_OK || path.text() != row.path) return false;
        if (!row.value) {
            return row.fill == 0 && row.property == 0 &&
                   row.checksum == int64_t{tree_row_checksum(row)} &&
                   tree.restore(path, nullptr) == QEL_STATUS_OK;
        }
        LeafValue leaf;
        return leaf_of(row, leaf) && tree.restore(path, &leaf) == QEL_STATUS_OK;
    }

    bool apply(const TreeChange& change) {
        switch (change.cmd) {
            case QEL_HOST_CHANGE_LEAF_SET: {
                TreeRow row;
                row.path = change.path;
                const std::string value = encode_leaf_value(change.record, change.payload);
                row.value = value;
                row.fill = change.record._fill;
                row.property = change.property;
                return put(row);
            }
            case QEL_HOST_CHANGE_NODE_ADDED: {
                TreeRow row;
                row.path = change.path;
                return put(row);
            }
            case QEL_HOST_CHANGE_LEAF_CLEARED:
                return run(remove_.get(), {std::string_view(change.path)});
            case QEL_HOST_CHANGE_NODE_REMOVED: {
                // Blobs compare byte by byte: "/a/" <= path < "/a0" is everything below "/a".
                const std::string below = change.path + "/", beyond = change.path + "0";
                return run(remove_.get(), {std::string_view(change.path)}) &&
                       run(remove_below_.get(),
                           {std::string_view(below), std::string_view(beyond)});
            }
            default:
                return false;
        }
    }

    bool put(const TreeRow& row) {
        const SqlValue value = row.value ? SqlValue(*row.value) : SqlValue(nullptr);
        return run(put_.get(),
                   {row.path, value, row.fill, row.property, int64_t{tree_row_checksum(row)}});
    }

    // Runs a prepared statement once with `values` bound in the order its parameters were checked.
    static bool run(sqlite3_stmt* statement, std::initializer_list<SqlValue> values) {
        sqlite3_reset(statement);
        const bool done =
            bind_in_order(statement, values) && sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        return done;
    }

    std::string file_;
    int lock_;
    Database db_;
    Statement put_, remove_, remove_below_;
    std::unique_ptr<History> history_;
};

}  // namespace

std::unique_ptr<StoreFile> StoreFile::open(const char* file, int* result) {
    // Read-only and created when missing (as SQLite would create it): nothing else is written
    // before the file is known to be ours.
    const int fd = ::open(file, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        *result = QEL_HOST_OPEN_UNREADABLE;
        return nullptr;
    }
    struct stat info {};
    int reason = QEL_HOST_OPEN_OK;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        reason = QEL_HOST_OPEN_UNREADABLE;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        reason = errno == EWOULDBLOCK ? QEL_HOST_OPEN_IN_USE : QEL_HOST_OPEN_FAILED;
    if (reason != QEL_HOST_OPEN_OK) {
        ::close(fd);
        *result = reason;
        return nullptr;
    }
    try {
        return std::make_unique<SqliteStoreFile>(file, fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
