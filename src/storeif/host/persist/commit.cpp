// Committing writes to the store file in groups, and undoing them in the tree when a commit fails.
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <new>

#include "core/store.h"

namespace nyrhost {

namespace {

// Commits `group` (taken from the queue; the caller is the one committer) and then, under the
// store's lock, announces it or undoes it. Gives the group's result.
int commit_group(qel_store_s& store, PendingWrite* group) EXCLUDES(store.mutex) {
    int result = QEL_RESULT_DATABASE;
    const auto start = std::chrono::steady_clock::now();
    try {
        result = store.file->save(group);
    } catch (const std::bad_alloc&) {
        result = QEL_RESULT_NO_MEMORY;  // before anything was committed
    }
    const auto took = std::chrono::steady_clock::now() - start;
    MutexLock hold(store.mutex);
    // The history's rows were written with the group: they are its now, or never were.
    store.history->settle(result == QEL_RESULT_OK);
    if (result != QEL_RESULT_OK) {
        roll_back(store);
        return result;
    }
    store.commit_us +=
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(took).count());
    for (const PendingWrite* write = group; write; write = write->next) {
        ++store.commits;
        announce(store, *write->changes, write->info);
    }
    return QEL_RESULT_OK;
}

}  // namespace

WriteInfo write_info(const qel_handle_s& handle, const char* source) {
    WriteInfo info;
    info.source = source != nullptr ? source : "";
    info.has_peer = handle.peer.known;
    info.uid = handle.peer.uid;
    info.pid = handle.peer.pid;
    return info;
}

// Revisions are taken in the order writes are made in the tree, under the store's lock: past the
// history's newest and past those still on their way to the file. A write that is not kept gives
// its revision back (roll_back), so the history never holds a gap.
void take_revision(qel_store_s& store, WriteInfo& info) {
    const History& history = *store.history;
    timeval now{};
    gettimeofday(&now, nullptr);
    info.revision = std::max(store.revision_taken, history.revision()) + 1;
    info.time_us = std::max(
        {int64_t{now.tv_sec} * 1000000 + now.tv_usec, history.last_time_us(), store.time_taken});
    store.revision_taken = info.revision;
    store.time_taken = info.time_us;
}

void queue_write(qel_store_s& store, PendingWrite& write) {
    MutexLock hold(store.commit_queue.mutex);
    store.commit_queue.push(write);
}

int await_commit(qel_store_s& store, PendingWrite& write) {
    CommitQueue& queue = store.commit_queue;
    queue.mutex.lock();
    while (!write.done) {
        if (queue.committing) {
            write.woken.wait(queue.mutex);
            continue;
        }
        // No commit in flight, and this write still queued: commit everything queued so far.
        queue.committing = true;
        PendingWrite* group = queue.take();
        queue.mutex.unlock();
        const int result = commit_group(store, group);
        queue.mutex.lock();
        queue.finish(group, result);
        queue.committing = false;
        queue.wake_next();
        queue.finished.notify_all();
    }
    const int result = write.result;
    queue.mutex.unlock();
    return result;
}

void undo_uncommitted(qel_store_s& store) {
    if (!store.file) return;
    CommitQueue& queue = store.commit_queue;
    // The commit in flight is let finish, and no other starts: the tree is read back from a file
    // that no one is writing.
    queue.mutex.lock();
    while (queue.committing) queue.finished.wait(queue.mutex);
    queue.committing = true;
    queue.mutex.unlock();
    {
        MutexLock hold(store.mutex);
        roll_back(store);
    }
    MutexLock hold(queue.mutex);
    queue.committing = false;
    queue.wake_next();
    queue.finished.notify_all();
}

// The tree changes are undone by reading the tree back from the file, which holds none of them: a
// failed commit is rare (a full disk, an I/O error), and this way no write needs to keep a copy of
// what it replaced. The writes queued behind are in the tree that is dropped, so they fail too.
void roll_back(qel_store_s& store) {
    if (!store.file) return;
    store.revision_taken = 0;  // none of the writes on their way is kept
    store.time_taken = INT64_MIN;
    {
        MutexLock hold(store.commit_queue.mutex);
        store.commit_queue.finish(store.commit_queue.take(), QEL_RESULT_DATABASE);
    }
    try {
        Tree before;
        if (store.file->read(before) == QEL_HOST_OPEN_OK) return store.tree.swap(before);
    } catch (const std::bad_alloc&) {
    }
    store.file_failed = true;
}

}  // namespace nyrhost
