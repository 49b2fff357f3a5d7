// Checkpoints of a store file's write-ahead file, away from its commits.
//
// SQLite copies the write-ahead file back into the database (a checkpoint) once it has grown past
// a thousand pages, and by default the connection that committed last does it inside its commit:
// two syncs of the files, milliseconds on a real disk, while every write queued behind waits. On
// a store file that is one commit in a few hundred, but it takes most of the time writers spend
// committing, and it keeps their groups small: writes queue during the stall and then trickle
// through one by one again.
//
// Here the committing connection only says that a checkpoint is due; a thread of the store file
// runs it, PASSIVE, on a connection of its own to the same file, while commits go on appending to
// the write-ahead file. A passive checkpoint copies the frames committed when it began; under a
// steady stream of writes the write-ahead file therefore never gets empty enough to start over,
// so once it holds more than kCatchUpPages the thread checkpoints again holding the committers'
// connection lock, which lets the next commit start the file from its beginning. Should the
// thread fall behind even so (a slow disk), the commit that takes the file past kLimitPages waits
// for the thread's checkpoint to end and checkpoints itself, as SQLite would. What reaches the
// disk, and when, is as before: the write-ahead file is synced by every checkpoint, the database
// after it, and each commit keeps its own synchronous level.
//
// Only built with SQLite (NYR_HAVE_SQLITE).
#ifndef NYR_HOST_PERSIST_CHECKPOINTER_H
#define NYR_HOST_PERSIST_CHECKPOINTER_H

#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "core/mutex.h"
#include "log/sqlite_connection.h"

namespace nyrhost {

class Checkpointer {
public:
    // A checkpoint is due at this many pages in the write-ahead file (SQLite's own threshold).
    static constexpr int kDuePages = 1000;
    // Past this many, a checkpoint that could not copy every frame is repeated under the
    // committers' lock, so that the write-ahead file starts over.
    static constexpr int kCatchUpPages = 8 * kDuePages;
    // The most the write-ahead file grows to (but for the commit that passes it): past it, the
    // committing connection checkpoints itself.
    static constexpr int kLimitPages = 2 * kCatchUpPages;

    // Takes over the checkpoints of `connection`'s file (its "main" database). The thread starts
    // with the first checkpoint due. Called with the connection's lock held.
    explicit Checkpointer(SqliteConnection& connection) REQUIRES(connection.mutex);
    // Ends the thread, and gives the checkpoints back to the committing connection (which runs
    // the last one as it closes). Called without the connection's lock.
    ~Checkpointer();
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

private:
    // sqlite3_wal_hook's callback, after each commit, with the connection's lock held.
    static int committed(void* self, sqlite3* db, const char* name, int pages);
    void due(sqlite3* db, int pages);
    void run();
    // One passive checkpoint through `db`: false when it could not run; else the frames in the
    // write-ahead file and how many of them are left to copy.
    static bool checkpoint(sqlite3* db, int& frames, int& left);

    SqliteConnection& connection_;
    std::string file_;  // the database's file name, for the thread's own connection
    Mutex mutex_;
    CondVar wake_;
    bool due_ GUARDED_BY(mutex_) = false;
    // The write-ahead file's size at which the next checkpoint is due: kDuePages past its size
    // at the thread's last checkpoint. Under a steady stream of commits the thread would
    // otherwise checkpoint without pause, two syncs for a few frames each time, taking processor
    // time from the writers and copying hot pages again and again.
    // Only the thread writes it, with the count of starts over (started_over_, counted by the
    // commits) that the file had had when that checkpoint began: a file that started over since
    // is due at kDuePages again, whichever of the two writes lands first.
    std::atomic<int> next_due_{kDuePages};
    std::atomic<unsigned> checkpointed_in_{0};
    std::atomic<unsigned> started_over_{0};
    int last_pages_ = 0;  // the write-ahead file's size after the last commit (commits only)
    bool stopping_ GUARDED_BY(mutex_) = false;
    bool started_ GUARDED_BY(mutex_) = false;
    // A checkpoint of the thread's is running without the connection's lock; `idle_` is notified
    // when it ends.
    bool running_ GUARDED_BY(mutex_) = false;
    CondVar idle_;
    // Set when the thread or its connection could not be had: checkpoints are then run by the
    // committing connection after its commit, as SQLite would.
    bool in_line_ GUARDED_BY(mutex_) = false;
    std::thread thread_;  // started by due(), under mutex_; joined by the destructor
};

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_CHECKPOINTER_H
