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
#include <new>
#include <string>

#include "core/path.h"
#include "log/sqlite_connection.h"
#include "log/sqlite_db.h"
#include "persist/checkpointer.h"
#include "persist/file_history.h"
#include "persist/tree_row.h"

namespace nyrhost {

namespace {

class SqliteStoreFile final : public StoreFile {
public:
    explicit SqliteStoreFile(int lock) : lock_(lock) {}
    ~SqliteStoreFile() override {
        checkpointer_.reset();  // its thread uses the file: it ends first
        history_.reset();
        if (connection_) {
            MutexLock hold(connection_->mutex);
            put_.reset();
            remove_.reset();
            remove_below_.reset();
            begin_.reset();
            commit_.reset();
            rollback_.reset();
        }
        connection_.reset();  // the log has gone before: the connection closes here
        ::close(lock_);       // only now: closing it drops this process's POSIX locks on the file
    }

    int load(Tree& tree, std::shared_ptr<SqliteConnection> connection) override {
        connection_ = std::move(connection);
        if (!connection_) return QEL_HOST_OPEN_FAILED;
        if (const int failed = prepare_statements()) return failed;
        {
            MutexLock hold(connection_->mutex);
            checkpointer_ = std::make_unique<Checkpointer>(*connection_);
        }
        int opened = QEL_HOST_OPEN_OK;
        history_ = open_file_history(*connection_, &opened);
        if (!history_) return opened;
        return read(tree);
    }

    History& history() override { return *history_; }

    int read(Tree& tree) override {
        MutexLock hold(connection_->mutex);
        Statement rows = prepare(connection_->db(), std::string("SELECT ") + kTreeRowColumns +
                                                        " FROM tree ORDER BY path");
        if (!rows) return QEL_HOST_OPEN_FAILED;
        Path path;
        int step;
        while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
            if (!restore_row(rows.get(), tree, path)) return QEL_HOST_OPEN_DAMAGED;
        }
        if (step == SQLITE_DONE) return QEL_HOST_OPEN_OK;
        return (step & 0xFF) == SQLITE_CORRUPT ? QEL_HOST_OPEN_DAMAGED : QEL_HOST_OPEN_FAILED;
    }

    int save(const PendingWrite* group) override {
        bool sync = false;
        for (const PendingWrite* write = group; write; write = write->next)
            sync = sync || write->sync;
        MutexLock hold(connection_->mutex);
        if (!connection_->sync_full(sync) || !step_once(begin_.get())) return QEL_RESULT_DATABASE;
        int result = QEL_RESULT_DATABASE;
        try {
            bool written = true;
            for (const PendingWrite* write = group; write && written; write = write->next)
                written = write_rows(*write);
            if (written && step_once(commit_.get())) return QEL_RESULT_OK;
        } catch (const std::bad_alloc&) {
            result = QEL_RESULT_NO_MEMORY;
        }
        // A failed COMMIT may leave the transaction open; it is rolled back either way.
        if (!sqlite3_get_autocommit(connection_->db())) step_once(rollback_.get());
        return result;
    }

    SqliteConnection* connection() override { return connection_.get(); }

private:
    // The rows of one write call, inside its group's transaction: everything a call keeps in the
    // file is written here, so that it commits or fails with the rest of the group.
    bool write_rows(const PendingWrite& write) REQUIRES(connection_->mutex) {
        for (const TreeChange& change : *write.changes) {
            if (!apply(change)) return false;
        }
        return history_->record(*write.changes, write.info);
    }

    // The statements a save runs, prepared once on the shared connection.
    int prepare_statements() {
        MutexLock hold(connection_->mutex);
        sqlite3* db = connection_->db();
        put_ = prepare(db,
                       "INSERT OR REPLACE INTO tree(path, value, fill, property, checksum)"
                       " VALUES(:path, :value, :fill, :property, :checksum)");
        remove_ = prepare(db, "DELETE FROM tree WHERE path = :path");
        remove_below_ = prepare(db, "DELETE FROM tree WHERE path >= :below AND path < :beyond");
        // Prepared once, since a group's own statements cost as much as its rows when it is small.
        begin_ = prepare(db, "BEGIN IMMEDIATE");
        commit_ = prepare(db, "COMMIT");
        rollback_ = prepare(db, "ROLLBACK");
        const bool ready =
            put_ && remove_ && remove_below_ && begin_ && commit_ && rollback_ &&
            has_parameters(put_.get(), {":path", ":value", ":fill", ":property", ":checksum"}) &&
            has_parameters(remove_.get(), {":path"}) &&
            has_parameters(remove_below_.get(), {":below", ":beyond"});
        return ready ? QEL_HOST_OPEN_OK : QEL_HOST_OPEN_FAILED;
    }

    // Rebuilds the entry of the row `rows` stands on; false for a damaged row.
    static bool restore_row(sqlite3_stmt* rows, Tree& tree, Path& path) {
        const TreeRow row = tree_row_at(rows);
        LeafValue leaf;
        return tree_entry_of(row, path, leaf) &&
               tree.restore(path, row.value ? &leaf : nullptr) == QEL_STATUS_OK;
    }

    bool apply(const TreeChange& change) REQUIRES(connection_->mutex) {
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

    bool put(const TreeRow& row) REQUIRES(connection_->mutex) {
        const SqlValue value = row.value ? SqlValue(*row.value) : SqlValue(nullptr);
        return run(put_.get(),
                   {row.path, value, row.fill, row.property, int64_t{tree_row_checksum(row)}});
    }

    // Runs a prepared statement without parameters once.
    static bool step_once(sqlite3_stmt* statement) {
        const bool done = sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        return done;
    }

    // Runs a prepared statement once with `values` bound in the order its parameters were checked.
    static bool run(sqlite3_stmt* statement, std::initializer_list<SqlValue> values) {
        sqlite3_reset(statement);
        const bool done =
            bind_in_order(statement, values) && sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        return done;
    }

    int lock_;
    std::shared_ptr<SqliteConnection> connection_;  // set by load(), then only read
    std::unique_ptr<History> history_;              // set by load(), on the same connection
    std::unique_ptr<Checkpointer> checkpointer_;    // set by load(): the file's checkpoints
    Statement put_ GUARDED_BY(connection_->mutex), remove_ GUARDED_BY(connection_->mutex),
        remove_below_ GUARDED_BY(connection_->mutex);
    Statement begin_ GUARDED_BY(connection_->mutex), commit_ GUARDED_BY(connection_->mutex),
        rollback_ GUARDED_BY(connection_->mutex);
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
        return std::make_unique<SqliteStoreFile>(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
