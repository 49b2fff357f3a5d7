// Group commit: the write calls of a store kept in a file wait here for their commit. A call's
// changes are made in the tree under the store's lock and queued in the same hold, so that the
// queue is in the tree's order; the call then lets the store's lock go and waits. When no commit
// is in flight, the first caller to find its write still waiting commits every write queued so
// far, its own among them, in one transaction; writes that arrive meanwhile wait for the next
// group. A single caller thus commits its own write with no hand-over to another thread, and
// many callers share each transaction.
//
// After the commit the same caller takes the store's lock and announces every write of the group
// in order, or, when the commit failed, undoes them: the tree is read back from the file, which
// holds none of them, and every write queued behind the group is failed too (it was made in the
// tree on top of the group's). Only then is the group marked done, so groups are announced in the
// order they were committed, and a write is never announced before the commit that holds it.
//
// Readers under the store's lock see a write from the moment it is made in the tree, before its
// commit; a failed commit (a full disk, an I/O error) takes it back.
//
// Locks: the store's lock may be held while taking the queue's (queueing, failing the queue) and
// the file's connection (reading the tree back); the queue's lock is never held while taking
// another, and a commit holds only the connection, so no order of them closes a circle.
#ifndef NYR_HOST_PERSIST_GROUP_COMMIT_H
#define NYR_HOST_PERSIST_GROUP_COMMIT_H

#include "core/mutex.h"
#include "persist/store_file.h"

namespace nyrhost {

class CommitQueue {
public:
    Mutex mutex;
    CondVar finished;  // notified when a group is done, for undo_uncommitted()
    bool committing GUARDED_BY(mutex) = false;

    void push(PendingWrite& write) REQUIRES(mutex) {
        write.next = nullptr;
        (last_ ? last_->next : first_) = &write;
        last_ = &write;
    }
    // Every write waiting, linked in order; the queue is then empty.
    PendingWrite* take() REQUIRES(mutex) {
        PendingWrite* taken = first_;
        first_ = last_ = nullptr;
        return taken;
    }
    // Marks the writes of `group` done with `result` and wakes their callers. Each one's caller
    // may return as soon as the queue's lock is let go, so nothing of a write is touched then.
    void finish(PendingWrite* group, int result) REQUIRES(mutex) {
        while (group) {
            PendingWrite* next = group->next;
            group->result = result;
            group->done = true;
            group->woken.notify_all();
            group = next;
        }
    }
    // Wakes the caller of the first write waiting, if any, to commit the next group.
    void wake_next() REQUIRES(mutex) {
        if (first_) first_->woken.notify_all();
    }

private:
    PendingWrite* first_ GUARDED_BY(mutex) = nullptr;
    PendingWrite* last_ GUARDED_BY(mutex) = nullptr;
};

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_GROUP_COMMIT_H
