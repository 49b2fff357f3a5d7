// The one connection to a store file. The event log and the store's tree share it, so that
// neither ever waits for an SQLite lock that the other holds, and no call can fail for want of
// it: work on the file is ordered by `mutex` instead, each transaction whole, one at a time.
//
// Durability is chosen per transaction: the event log's batches sync the write-ahead file at
// their commit (synchronous=FULL), the tree's commits leave it to the next checkpoint (NORMAL).
// Only built with SQLite (NYR_HAVE_SQLITE).
#ifndef NYR_HOST_LOG_SQLITE_CONNECTION_H
#define NYR_HOST_LOG_SQLITE_CONNECTION_H

#include "core/mutex.h"
#include "log/sqlite_db.h"

namespace nyrhost {

class SqliteConnection {
public:
    explicit SqliteConnection(Database db) : db_(std::move(db)) {}
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Held around every use of the connection and of the statements prepared on it.
    Mutex mutex;

    sqlite3* db() REQUIRES(mutex) { return db_.get(); }
    // Makes the next commits sync the write-ahead file (`full`) or not; runs the pragma only when
    // the level changes. False when it fails.
    bool sync_full(bool full) REQUIRES(mutex) {
        const int level = full ? 2 : 1;
        if (level_ == level) return true;
        if (!exec(db_.get(), full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL"))
            return false;
        level_ = level;
        return true;
    }

private:
    Database db_ GUARDED_BY(mutex);
    int level_ GUARDED_BY(mutex) = 0;  // 0: not set by us yet
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SQLITE_CONNECTION_H
