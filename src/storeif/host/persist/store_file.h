// The part of a store file that keeps the store's tree, and the lock that gives the file to one
// store at a time. The event log in the same file is log/sqlite_log.h's; that opener lays the
// file out (the tree table included) and checks it, and this one reads and writes the tree table.
//
// Rows: tree(path, value, fill, property, checksum), one per node and leaf below the root, keyed
// by the path as the tree writes it (single slashes). A node has a null value and zero fill and
// property; a leaf has its record in the value encoding of serialize_element with the time stamp
// (codec/wire_format.h), the record's fill word and its property word. The checksum is CRC-32C
// over the path, whether a value is there, the value, the fill word and the property word, each
// length-prefixed or fixed-width, so a changed byte anywhere in a row is seen.
//
// Loading reads the rows in path order, where every node comes before what lies below it, and
// rebuilds the tree entry by entry. A row whose checksum does not match, whose value does not
// decode, or whose parent is missing is damage: the open fails with QEL_HOST_OPEN_DAMAGED, and
// nothing of the file is ever loaded altered.
//
// Saving writes a group of write calls (persist/group_commit.h) in one transaction, each call's
// changes (Tree::Changes) in their order: a set leaf or added node is one row put, a cleared leaf
// one row removed, a removed node its row and every row below it. The tree shares the event log's
// one connection to the file (log/sqlite_connection.h), so a save waits at most for the log's
// transaction in flight and never fails for it. The connection runs in WAL mode; a group commits
// with synchronous=NORMAL unless one of its writes asks for FULL: a commit is then an append to
// the write-ahead file, in the system's cache when the call returns, so a write the call reported
// survives the end of the process, kill -9 included. The write-ahead file is synced at each
// checkpoint, not at each commit, so a power loss or system crash may lose the writes made since
// the last checkpoint; every group is still kept whole or not at all, and the file is never left
// damaged by it.
//
// Locking: open() takes an exclusive flock(2) on the file, without waiting. It is held by the open
// file description, so it is also seen by another open of the same file in this process, and it
// goes when the store closes (or its process ends). The lock is released only after the
// database connection to the file is closed, since closing any descriptor of a file drops the
// process's POSIX locks on it, on which SQLite relies.
#ifndef NYR_HOST_PERSIST_STORE_FILE_H
#define NYR_HOST_PERSIST_STORE_FILE_H

#include <memory>

#include "core/mutex.h"
#include "core/tree.h"
#include "history/history.h"

namespace nyrhost {

class SqliteConnection;

// One write call on its way to the file: what it changed in the tree, in order, and where it
// came from. It lives on the caller's stack until the group holding it is done.
struct PendingWrite {
    const Tree::Changes* changes = nullptr;
    WriteInfo info;     // its revision, time, source string (as the writer gave it) and peer
    bool sync = false;  // its commit must reach the disk (synchronous=FULL)
    // Set by the commit queue (persist/group_commit.h), under its lock: the next write of the
    // queue or group, and once the group holding it is done, that it is and its result.
    PendingWrite* next = nullptr;
    bool done = false;
    int result = 0;  // QEL_RESULT_OK, or why the group failed
    // Notified when it is done, or when it is the first one waiting as a group ends: its caller
    // then commits the next group. Each caller waits on its own, so a group's end wakes only its
    // own callers and the next committer.
    CondVar woken;
};

class StoreFile {
public:
    // Takes the lock on `file`, creating the file empty when it is missing, before anything reads
    // or writes it. Null with *result set to QEL_HOST_OPEN_IN_USE when another store holds the
    // file, QEL_HOST_OPEN_UNREADABLE when it cannot be opened or is not a regular file,
    // QEL_HOST_OPEN_NO_SQLITE in a build without SQLite.
    static std::unique_ptr<StoreFile> open(const char* file, int* result);
    virtual ~StoreFile() = default;

    // Takes the event log's connection to the file (once the log's opener has laid the file out
    // and checked it) and reads the tree table into `tree`, which is empty. QEL_HOST_OPEN_OK, or
    // the QEL_HOST_OPEN_ code that says why not, with `tree` then unspecified.
    virtual int load(Tree& tree, std::shared_ptr<SqliteConnection> connection) = 0;
    // Reads the tree table again into `tree`, which is empty, after load(): as load() does.
    // Throws std::bad_alloc.
    virtual int read(Tree& tree) = 0;
    // Writes the changes of a group of calls (`group` and the writes linked from it) in one
    // transaction, in their order. QEL_RESULT_OK, or QEL_RESULT_DATABASE (QEL_RESULT_NO_MEMORY)
    // when it could not be committed: then the file is as it was before. May be called from any
    // thread: the file's connection orders the work on it.
    virtual int save(const PendingWrite* group) = 0;
    // The connection to the file that the tree shares with the event log; null before load().
    virtual SqliteConnection* connection() = 0;
    // The history kept in the file, after load() (persist/file_history.h).
    virtual History& history() = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_STORE_FILE_H
