// Checkpoints of a store file's write-ahead file on a thread of their own.
#ifdef NYR_HAVE_SQLITE

#include "persist/checkpointer.h"

#include <algorithm>
#include <system_error>

namespace nyrhost {

Checkpointer::Checkpointer(SqliteConnection& connection) : connection_(connection) {
    sqlite3* db = connection.db();
    const char* file = sqlite3_db_filename(db, "main");
    file_ = file != nullptr ? file : "";
    // Replaces the connection's own checkpoints after each commit.
    sqlite3_wal_hook(db, &Checkpointer::committed, this);
}

Checkpointer::~Checkpointer() {
    {
        MutexLock hold(connection_.mutex);
        sqlite3_wal_autocheckpoint(connection_.db(), kDuePages);  // SQLite's own, in the commit
    }
    {
        MutexLock hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

int Checkpointer::committed(void* self, sqlite3* db, const char* /*name*/, int pages) {
    static_cast<Checkpointer*>(self)->due(db, pages);
    return SQLITE_OK;  // a checkpoint that cannot be had is no failure of the commit
}

void Checkpointer::due(sqlite3* db, int pages) {
    // The write-ahead file only shrinks when a commit starts it over.
    if (pages < last_pages_) started_over_.fetch_add(1, std::memory_order_relaxed);
    last_pages_ = pages;
    // Due a step past the thread's last checkpoint, or, when the file started over after that
    // checkpoint began, at kDuePages of the new file.
    const bool step_holds = checkpointed_in_.load(std::memory_order_acquire) ==
                            started_over_.load(std::memory_order_relaxed);
    const int due_at = step_holds ? next_due_.load(std::memory_order_relaxed) : int{kDuePages};
    if (pages < std::min(due_at, int{kLimitPages})) return;
    int frames = 0, left = 0;
    {
        MutexLock hold(mutex_);
        if (!started_ && !in_line_ && !file_.empty()) {
            started_ = true;
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                in_line_ = true;
            }
        }
        if (in_line_ || file_.empty() || pages >= kLimitPages) {
            // Behind, or no thread: the thread's checkpoint ends first (while it runs it never
            // waits for the connection's lock, which this commit holds), and none starts until
            // this one has copied what is left.
            while (running_) idle_.wait(mutex_);
            checkpoint(db, frames, left);
            return;
        }
        due_ = true;
    }
    wake_.notify_all();
}

bool Checkpointer::checkpoint(sqlite3* db, int& frames, int& left) {
    int copied = 0;
    const int rc =
        sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, &frames, &copied);
    left = frames - copied;
    return rc == SQLITE_OK && frames >= 0;
}

void Checkpointer::run() {
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(file_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database own(raw);
    // A first read opens the write-ahead file on this connection, which a checkpoint needs.
    int64_t version = 0;
    if (opened != SQLITE_OK || !query_int(own.get(), "PRAGMA schema_version", version)) {
        own.reset();
        MutexLock hold(mutex_);
        in_line_ = true;  // the next commit that finds a checkpoint due runs it
        return;
    }
    for (;;) {
        {
            MutexLock hold(mutex_);
            while (!due_ && !stopping_) wake_.wait(mutex_);
            if (stopping_) return;
            due_ = false;
            running_ = true;
        }
        int frames = 0, left = 0;
        const unsigned file_in = started_over_.load(std::memory_order_relaxed);
        const bool ran = checkpoint(own.get(), frames, left);
        if (ran) {
            next_due_.store(frames + kDuePages, std::memory_order_relaxed);
            checkpointed_in_.store(file_in, std::memory_order_release);
        }
        {
            MutexLock hold(mutex_);
            running_ = false;
        }
        idle_.notify_all();
        if (!ran || left == 0 || frames < kCatchUpPages) continue;
        // No commit can come between this checkpoint and the next commit's start, so the next
        // commit finds every frame copied and writes the file from its beginning again.
        MutexLock hold(connection_.mutex);
        checkpoint(own.get(), frames, left);
    }
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
