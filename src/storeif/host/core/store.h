// The state behind a host store and its handles, and the registry that turns the opaque pointers
// callers hold into that state.
//
// Locking: each store has one mutex (`qel_store_s::mutex`) that guards its tree, its handles'
// subscriptions, queues, scratch memory and service records, and its settings; the attributes
// below let Clang check it. The event log serialises its own work and is called without the
// store's lock; so does the store file, whose commits run without it (persist/group_commit.h says
// in which order its locks are taken). The registry has its own lock, never taken while holding a
// store's lock.
#ifndef NYR_HOST_CORE_STORE_H
#define NYR_HOST_CORE_STORE_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/mutex.h"
#include "core/owned_event.h"
#include "core/scratch.h"
#include "core/subscriptions.h"
#include "core/tree.h"
#include "history/history.h"
#include "log/event_log.h"
#include "nyr_host.h"
#include "persist/group_commit.h"
#include "persist/store_file.h"

namespace nyrremote {
class RemoteHandle;
}  // namespace nyrremote

namespace nyrhost {

struct Watchdog {
    bool registered = false;
    std::string text;
    uint32_t number = 0;
    bool flag = false;
    uint32_t pings = 0;
};

// The other end of a handle that nyrd serves: the peer's user and process from its socket.
struct PeerInfo {
    bool known = false;
    uint32_t uid = 0, pid = 0;
};

struct SyslogEntry {
    std::string first, second, third;
    syslog_severity_t severity = 0;
};

}  // namespace nyrhost

struct qel_store_s {
    nyrhost::Mutex mutex;
    nyrhost::Tree tree GUARDED_BY(mutex);
    std::vector<qel_handle_s*> handles GUARDED_BY(mutex);    // open handles
    nyrhost::Subscriptions subscriptions GUARDED_BY(mutex);  // every handle's registrations
    uint32_t event_wait_ms GUARDED_BY(mutex) = QEL_HOST_DEFAULT_EVENT_WAIT_MS;
    uint32_t queue_capacity GUARDED_BY(mutex) = QEL_HOST_DEFAULT_QUEUE_CAPACITY;
    uint64_t queue_bytes GUARDED_BY(mutex) = QEL_HOST_DEFAULT_QUEUE_BYTES;
    std::map<nyrverb_thread_t, uint32_t> verbosity GUARDED_BY(mutex);
    std::vector<nyrhost::SyslogEntry> syslog GUARDED_BY(mutex);
    // The file that keeps the tree, for a store opened on one; set at opening, then only read;
    // serialises itself. Declared before the log, so that it goes after it: its lock on the file
    // is given up once the connection to the file is closed.
    std::unique_ptr<nyrhost::StoreFile> file;
    // The writes waiting for the file, and the commit in flight.
    nyrhost::CommitQueue commit_queue;
    // Set when a failed save could not be undone by reading the tree back: the tree may then hold
    // what the file does not, and every later write is refused.
    bool file_failed GUARDED_BY(mutex) = false;
    std::string file_path;  // the store file's name, set at opening; empty in memory
    // Writes committed to the file and the time their groups' commits took, for qel_host_stats().
    uint64_t commits GUARDED_BY(mutex) = 0;
    uint64_t commit_us GUARDED_BY(mutex) = 0;
    // The tree's history: the file's for a store opened on one, else `memory_history`. Set at
    // opening.
    std::unique_ptr<nyrhost::History> memory_history PT_GUARDED_BY(mutex);
    nyrhost::History* history PT_GUARDED_BY(mutex) = nullptr;
    // The newest revision taken by a write on its way to the store file, and its time: the next
    // write takes the one after (persist/commit.cpp).
    uint64_t revision_taken GUARDED_BY(mutex) = 0;
    int64_t time_taken GUARDED_BY(mutex) = INT64_MIN;
    // Set at opening, then only read; serialises itself.
    std::unique_ptr<nyrhost::EventLog> log;
};

struct qel_handle_s {
    std::shared_ptr<qel_store_s> store;  // set at opening, then only read
    bool open GUARDED_BY(store->mutex) = true;
    // The paths this handle is registered at, to end its registrations when it closes.
    std::unordered_set<std::string> registered GUARDED_BY(store->mutex);
    std::deque<nyrhost::OwnedEvent> queue GUARDED_BY(store->mutex);
    uint64_t queued_bytes GUARDED_BY(store->mutex) = 0;  // footprint() of what `queue` holds
    unsigned long long overflow GUARDED_BY(store->mutex) = 0;
    // The revisions of the events the last fetch handed out, one each (0 for other events).
    std::vector<uint64_t> handed_revisions GUARDED_BY(store->mutex);
    nyrhost::CondVar arrived;  // notified when an event is queued or the handle closes
    nyrhost::Watchdog watchdog GUARDED_BY(store->mutex);
    // Whose calls these are, for a handle that nyrd opened for a peer; recorded in the history.
    nyrhost::PeerInfo peer GUARDED_BY(store->mutex);
    // One entry per thread that has called on this handle, kept as long as the handle is open.
    std::unordered_map<std::thread::id, nyrhost::Scratch> scratch GUARDED_BY(store->mutex);

    // This thread's scratch memory, emptied: the start of a call that hands memory back.
    nyrhost::Scratch& begin_call() REQUIRES(store->mutex) {
        nyrhost::Scratch& mine = scratch[std::this_thread::get_id()];
        mine.clear();
        return mine;
    }
};

namespace nyrhost {

// What a handle value stands for, kept alive for the duration of a call: the state of a handle
// on a store in this process, or a handle on the store nyrd serves; both null for a null, unknown
// or closed handle.
struct Found {
    std::shared_ptr<qel_handle_s> local;
    std::shared_ptr<nyrremote::RemoteHandle> remote;
    explicit operator bool() const { return local || remote; }
};
Found find(qel_handle_t handle);
std::shared_ptr<qel_store_s> acquire_store(qel_store_t* store);

// The registry's side of opening and closing (nyr_host.h documents them): a store with its event
// log, null when the log cannot be opened (with *result, when `result` is not null, the
// QEL_HOST_OPEN_ code that says why); a handle on an open store, null for any other pointer; a
// value for a connected remote handle. Closing something that is not open does nothing.
qel_store_t* open_store(const char* store_file, int* result);
void close_store(qel_store_t* store);
qel_handle_t open_handle(qel_store_t* store);
qel_handle_t add_remote(std::shared_ptr<nyrremote::RemoteHandle> remote);
void close_handle(qel_handle_t handle);
// Marks the calls on an in-process handle as those of a peer process (nyrd's sessions): its user
// and process id are recorded with each tree change it makes. Nothing for any other handle.
void set_peer(qel_handle_t handle, uint32_t uid, uint32_t pid);

// The current time as records carry it.
qel_time32_t now32();

// Queues `event`, whose path is `path`, on every handle of `store` registered for it.
void deliver(qel_store_s& store, const Path& path, const OwnedEvent& event) REQUIRES(store.mutex);
// Queues `event` on `handle` alone, within the queue's bounds.
void enqueue(qel_store_s& store, qel_handle_s& handle, const OwnedEvent& event)
    REQUIRES(store.mutex);
// The QEL_HOST_EVENT_TREE_CHANGE event of one change: `cmd`, `path`, the written leaf for a set,
// the write's time, source and revision.
OwnedEvent tree_event(int cmd, const std::string& path, const _element_datatype_t* written,
                      std::string_view payload, const WriteInfo& info);
// Announces tree changes as QEL_HOST_EVENT_TREE_CHANGE events, stamped with the write's time
// and revision.
void announce(qel_store_s& store, const Tree::Changes& changes, const WriteInfo& info)
    REQUIRES(store.mutex);
// The change list of a write: always kept, since the history records every change.
inline Tree::Changes* changes_for(qel_store_s& store, Tree::Changes& changes)
    REQUIRES(store.mutex) {
    (void)store;
    return &changes;
}
// Whether a write may be carried out: false once the tree and the file may differ.
inline bool writable(const qel_store_s& store) REQUIRES(store.mutex) {
    return !store.file_failed;
}
// The WriteInfo of a call on `handle` with `source`; take_revision() gives it its revision and
// time, under the store's lock, as the write is made in the tree.
WriteInfo write_info(const qel_handle_s& handle, const char* source) REQUIRES(handle.store->mutex);
void take_revision(qel_store_s& store, WriteInfo& info) REQUIRES(store.mutex);
// A write on a store that keeps its tree in a file (persist/group_commit.h): queue_write() queues
// the write made in the tree, in the same hold of the store's lock; await_commit(), with the lock
// let go, returns once the group holding it is committed and announced: QEL_RESULT_OK, or
// QEL_RESULT_DATABASE when the commit failed (QEL_RESULT_NO_MEMORY when memory ran out first).
// The file then rolled back, and the tree is read back from it, so that both are as they were
// before the write and nothing of it is announced.
void queue_write(qel_store_s& store, PendingWrite& write) REQUIRES(store.mutex);
int await_commit(qel_store_s& store, PendingWrite& write) EXCLUDES(store.mutex);
// Undoes every write made in the tree and not yet committed, for a store that keeps its tree in a
// file: the tree is read back from it, and every write still queued fails (or, when the file
// cannot be read, every later write is refused). The committer's, which holds the store's lock
// with no commit in flight.
void roll_back(qel_store_s& store) REQUIRES(store.mutex);

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_STORE_H
