// Committing writes to the store file in groups, and undoing them in the tree when a commit fails.
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
    if (result != QEL_RESULT_OK) {
        roll_back(store);
        return result;
    }
    store.commit_us +=
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(took).count());
    for (const PendingWrite* write = group; write; write = write->next) {
        ++store.commits;
        announce(store, *write->changes, write->source);
    }
    return QEL_RESULT_OK;
}

}  // namespace

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
