/**
 * @file
 * @brief Calls of our own host store that the device store does not have: opening and closing a
 * store and its handles, its settings, its status and result codes, and the hooks tests use to
 * watch it.
 *
 * Handles opened on one store share its tree, subscriptions and event log. Any number of threads
 * may call on any number of handles; each store serialises its work with one lock.
 *
 * Paths: "/" is the root; every other path is "/name" repeated, each name a non-empty run of
 * characters other than "/". A run of slashes separates like one ("/a//b" is "/a/b", "//" is the
 * root), so that a base joined to a name with "/" works below the root too. "", "a" and "/a/"
 * are bad paths (#QEL_STATUS_BAD_PATH), and so is a path longer than #QEL_HOST_MAX_PATH_LENGTH
 * bytes or deeper than #QEL_HOST_MAX_PATH_DEPTH names, wherever a path is taken (items, listings,
 * registrations, sent events). No operation recurses in proportion to a path's depth. Writing a
 * leaf or adding a node creates the missing nodes above it. Listings give entries sorted by name
 * (bytewise).
 *
 * Leaves: a leaf keeps a deep copy of the value written, its time stamp (the time of the write
 * when the auto-time flag is set, otherwise the record's own) and its property word, the
 * tri-state of its last write taken as an unsigned word. Types outside 1..10 are refused with
 * #QEL_STATUS_BAD_TYPE. qel_clear_leaf removes the leaf.
 *
 * Memory handed back (status arrays, value payloads, names, event texts) stays valid until the
 * same thread's next call on the same handle; threads sharing a handle do not disturb each other.
 * It is read-only: listed names may be shared with other callers.
 *
 * Handles and stores: a value handed out by qel_host_handle_open() or qel_host_store_open() is
 * never handed out again in the life of the process (up to 2^32 opens on a 32-bit host), so a
 * call through a closed one gives #QEL_RESULT_BAD_HANDLE, never another handle's work.
 *
 * Bad input: a null or closed handle gives #QEL_RESULT_BAD_HANDLE; a null out-parameter or array
 * with a non-zero count gives #QEL_RESULT_BAD_ARGUMENT and changes nothing; a null path inside a
 * call gives that item #QEL_STATUS_BAD_ARGUMENT; a null source is taken as "".
 *
 * qel_mpl_fetch of a node gives the node's leaves (not its sub-nodes) with their values, named
 * and sorted as in a listing; of a leaf, the leaf itself under its own name.
 *
 * Events: qel_event_register(path, kind, flag) subscribes the handle to events whose kind shares
 * a bit with `kind`, at `path` and, when `flag` is true, anywhere below it. Registering the same
 * path again adds the kind bits and takes the new flag. qel_event_clear(path, kind) removes those
 * kind bits from the registration at exactly `path` (status #QEL_STATUS_NOT_FOUND when there is
 * none); a registration left with no bits is dropped. qel_events_send queues a copy of each event
 * on every matching handle, the sender included, with status 1 (#QEL_STATUS_BAD_PATH for an event
 * whose path is not a valid path: it goes nowhere). Each handle's queue is bounded in events and
 * in bytes (drop oldest, counted). qel_events_get waits up to the store's event wait time for a
 * first event and then hands back everything queued; qel_events_get_nonblocking does not wait.
 *
 * Services: the watchdog, verbosity and system-log calls are recorded, never acted upon. UUIDs
 * are name-based (version 5, SHA-1, in the URL namespace of RFC 4122) for a non-empty text and
 * random (version 4) otherwise, written as 36 lower-case characters and a NUL.
 */
#ifndef NYR_STOREIF_NYR_HOST_H
#define NYR_STOREIF_NYR_HOST_H

#include "nyr.h"

#ifdef __cplusplus
extern "C" {
#endif

/** An open host store: its tree, subscriptions, event log and settings. Opaque. */
typedef struct qel_store_s qel_store_t;

/**
 * Per-item statuses of the host store. 1 is success; 2 and 3 belong to the client, so the
 * store's own failures start at 4.
 */
enum {
    QEL_STATUS_OK = 1,           /**< Success. */
    QEL_STATUS_NOT_FOUND = 4,    /**< No node or leaf at the path. */
    QEL_STATUS_BAD_PATH = 5,     /**< Not "/" or "/name(/name)*". */
    QEL_STATUS_IS_NODE = 6,      /**< A leaf operation met a node. */
    QEL_STATUS_IS_LEAF = 7,      /**< A node operation met a leaf, or a write a leaf on its way. */
    QEL_STATUS_BAD_TYPE = 8,     /**< A value whose type code is outside 1..10. */
    QEL_STATUS_ROOT = 9,         /**< The root cannot be removed or cleared. */
    QEL_STATUS_BAD_ARGUMENT = 10 /**< A null pointer where a text or record was needed. */
};

/** Results of the host store (a call that failed as a whole). */
enum {
    QEL_RESULT_OK = 0,            /**< The call was carried out. */
    QEL_RESULT_BAD_HANDLE = -2,   /**< Null or closed handle. */
    QEL_RESULT_BAD_ARGUMENT = -3, /**< Null pointer or inconsistent counts. */
    QEL_RESULT_NO_MEMORY = -4,    /**< Memory could not be allocated. */
    QEL_RESULT_DATABASE = -5,     /**< The store file's database failed (event log or tree). */
    QEL_RESULT_MALFORMED = -6,    /**< A source string or encoded bytes that do not parse. */
    QEL_RESULT_DAMAGED = -7,      /**< The event log's file holds an event that fails its check. */
    QEL_RESULT_LOST = -8,         /**< A remote handle's store is gone: the daemon went away or the
                                       connection broke. Every later call on the handle gives it. */
    QEL_RESULT_TIMED_OUT = -9,    /**< A call on a remote handle had no reply within the handle's
                                       call timeout (qel_host_set_call_timeout()). The handle is
                                       lost: every later call gives #QEL_RESULT_LOST. */
    QEL_RESULT_TOO_OLD = -10      /**< The tree's history no longer holds that revision or time
                                       (retention dropped it): nothing was handed back or
                                       registered; read the subtree afresh. */
};

/**
 * Why qel_host_store_open_ex() could not open a store file (its event log and tree). A file refused
 * as #QEL_HOST_OPEN_FOREIGN is left byte for byte as it was, its `-wal`, `-shm` and `-journal` side
 * files included: it is recognised from reading alone, before anything is written.
 */
enum {
    QEL_HOST_OPEN_OK = 0,         /**< The store is open. */
    QEL_HOST_OPEN_FOREIGN = 1,    /**< Not a store file of ours: not an SQLite database, another
                                       application's database, or a file of another layout. */
    QEL_HOST_OPEN_DAMAGED = 2,    /**< Our file, but it fails SQLite's structural check, or an
                                       entry of its tree fails its own. */
    QEL_HOST_OPEN_LOCKED = 3,     /**< Another connection held the file locked for too long. */
    QEL_HOST_OPEN_UNREADABLE = 4, /**< The file (or its folder) cannot be opened or read, or is
                                       not a regular file. */
    QEL_HOST_OPEN_READ_ONLY = 5,  /**< Our log, but it cannot be written (permissions, medium). */
    QEL_HOST_OPEN_FULL = 6,       /**< The disk is full: a new log could not be laid out. */
    QEL_HOST_OPEN_NO_MEMORY = 7,  /**< Memory could not be allocated. */
    QEL_HOST_OPEN_NO_SQLITE = 8,  /**< libnyr was built without SQLite: only a log in memory. */
    QEL_HOST_OPEN_FAILED = 9,     /**< Any other failure of the database. */
    QEL_HOST_OPEN_IN_USE = 10     /**< Another store (in this or another process, such as nyrd)
                                       holds the file. */
};

/**
 * Tree changes are announced as events of this kind to handles registered for it: `path` is the
 * changed leaf or node, `cmd` one of QEL_HOST_CHANGE_*, `source` the writer's source string,
 * `event_time` the time of the change and, for a written leaf, `value` its new value.
 */
#define QEL_HOST_EVENT_TREE_CHANGE 0x2
/** The `cmd` of a tree-change event (#QEL_HOST_EVENT_TREE_CHANGE): what changed. */
enum {
    QEL_HOST_CHANGE_LEAF_SET = 1,     /**< A leaf was written. */
    QEL_HOST_CHANGE_LEAF_CLEARED = 2, /**< A leaf was cleared. */
    QEL_HOST_CHANGE_NODE_ADDED = 3,   /**< A node was added. */
    QEL_HOST_CHANGE_NODE_REMOVED = 4  /**< A node was removed. */
};

/** Default of a new store's event wait (qel_host_set_event_wait()), in milliseconds. */
#define QEL_HOST_DEFAULT_EVENT_WAIT_MS 200u
/** Default of a new store's event queue bound (qel_host_set_queue_capacity()), in events. */
#define QEL_HOST_DEFAULT_QUEUE_CAPACITY 4096u
/** Default of a new store's event queue bound (qel_host_set_queue_bytes()), in bytes: 64 MiB. */
#define QEL_HOST_DEFAULT_QUEUE_BYTES 67108864u
/**
 * Default of a new store's in-memory event log bound (qel_host_set_log_capacity()), in events:
 * 2^20. An event takes about half a kilobyte there, plus its texts and lists.
 */
#define QEL_HOST_DEFAULT_LOG_CAPACITY 1048576u
/** The longest path the host store takes, in bytes (without the terminating NUL). */
#define QEL_HOST_MAX_PATH_LENGTH 4096u
/** The deepest path the host store takes, in names below the root. */
#define QEL_HOST_MAX_PATH_DEPTH 256u

/**
 * Opens a store.
 *
 * With a file, the store keeps its event log and its tree in that SQLite file: the tree is read
 * from it when the store opens, and every write call that changes the tree (a single item or a
 * whole batch) is committed to it in one transaction before the call returns, so an acknowledged
 * write survives closing, reopening and the end of the process, kill -9 included. The file runs
 * in WAL mode; the tree's commits are synced to disk at checkpoints, so a power loss or system
 * crash may lose the latest tree writes, each call whole, never leaving the file damaged (the
 * event log's batches are synced at every commit). When a commit fails (a full disk, an I/O
 * error), the call gives #QEL_RESULT_DATABASE and both the file and the tree are as they were
 * before it; nothing of it is announced. A file kept by an earlier version for its event log alone
 * is given an empty tree.
 *
 * One store at a time holds a file: opening takes an exclusive lock on it (flock(2), without
 * waiting) until the store is closed, so a second store on the same file, in this or any other
 * process (such as nyrd), is refused with #QEL_HOST_OPEN_IN_USE.
 *
 * @param store_file Null or "": the event log and the tree live in memory. Otherwise the SQLite
 *        file that keeps them. A missing or empty file becomes a new store file (so does one left
 *        by a crash while a new one was being laid out).
 * @return The store, or null when it cannot be opened (for example a file that is not a store
 *         file of ours, one that is damaged, or one another store holds);
 *         qel_host_store_open_ex() says why.
 */
NYR_API qel_store_t* qel_host_store_open(const char* store_file);
/**
 * Opens a store as qel_host_store_open() does, and says why when it cannot.
 * @param store_file As for qel_host_store_open().
 * @param[out] result When not null: #QEL_HOST_OPEN_OK with a store, otherwise one of the other
 *        QEL_HOST_OPEN_ codes.
 * @return The store, or null.
 */
NYR_API qel_store_t* qel_host_store_open_ex(const char* store_file, int* result);
/**
 * Closes the store; every handle still open on it is closed first.
 * @param store The store; one that is not open (null, or closed before) is ignored.
 */
NYR_API void qel_host_store_close(qel_store_t* store);
/**
 * Opens a handle on a store.
 * @param store The store.
 * @return The handle, or null for a store that is not open.
 */
NYR_API qel_handle_t qel_host_handle_open(qel_store_t* store);
/**
 * Closes a handle; its subscriptions and queued events go with it.
 * @param handle The handle; one that is not open (null, or closed before) is ignored.
 */
NYR_API void qel_host_handle_close(qel_handle_t handle);

/* ---- Remote handles ------------------------------------------------------------------------ */
/**
 * Writes the default socket of nyrd: `$XDG_RUNTIME_DIR/nyr/nyr.sock`, or, without that variable,
 * `/tmp/nyr-UID/nyr.sock` for the calling user's id.
 * @param buf Receives the path and a NUL.
 * @param size Bytes at `buf`.
 * @return 0; #QEL_RESULT_BAD_ARGUMENT for a null `buf` or one too small (nothing useful written).
 */
NYR_API int qel_host_default_socket(char* buf, uint32_t size);
/**
 * Connects to the store that nyrd serves. The handle works with every qel_ call exactly like one
 * from qel_host_handle_open(): same statuses, results and lifetime of returned memory. Its
 * subscriptions and queued events belong to it and end with it. When the daemon goes away or the
 * connection breaks, a call in flight and every later call give #QEL_RESULT_LOST.
 * @param socket_path The daemon's socket; null for qel_host_default_socket().
 * @return The handle, or null (with a report through qel_err() saying why: no daemon, refused,
 *         another protocol version).
 */
NYR_API qel_handle_t qel_host_connect(const char* socket_path);
/** Default of qel_host_set_connect_timeout(), in milliseconds. */
#define QEL_HOST_DEFAULT_CONNECT_TIMEOUT_MS 5000u
/**
 * How long qel_host_connect(), and a remote handle attaching one more connection for a thread,
 * wait for the daemon to accept and answer, for the whole process. A daemon that is stopped, or
 * whose connection queue is full, then gives a null handle with a report saying so.
 * @param milliseconds The bound; 0 waits for as long as the daemon takes.
 */
NYR_API void qel_host_set_connect_timeout(uint32_t milliseconds);
/**
 * Bounds every later call on a remote handle, from the request to the whole reply, except the
 * wait of qel_events_get() for a first event, which is the daemon's own (its event wait). A call
 * that runs out of time gives #QEL_RESULT_TIMED_OUT, and the handle is lost: its connections are
 * closed, so a reply that arrives late is never taken for that of another call. Without it a call
 * waits as long as the daemon takes. A handle of a store in this process takes the setting and
 * never waits on another process.
 * @param handle The handle.
 * @param milliseconds The bound; 0 for none.
 * @return 0; #QEL_RESULT_BAD_HANDLE for a handle that is not open.
 */
NYR_API int qel_host_set_call_timeout(qel_handle_t handle, uint32_t milliseconds);
/**
 * Closes a handle from qel_host_connect(), as qel_host_handle_close() does (which also takes it).
 * @param handle The handle; one that is not open is ignored.
 */
NYR_API void qel_host_disconnect(qel_handle_t handle);

/* ---- Settings ------------------------------------------------------------------------------ */
/**
 * How long qel_events_get() waits for a first event before it returns 0. Takes effect for waits
 * that start afterwards.
 * @param store The store.
 * @param milliseconds The new wait.
 * @return 0, or #QEL_RESULT_BAD_HANDLE for a store that is not open.
 */
NYR_API int qel_host_set_event_wait(qel_store_t* store, uint32_t milliseconds);
/**
 * Bound of every handle's event queue. When an event arrives at a full queue the oldest queued
 * event is dropped and the handle's overflow counter goes up by one. Queues already longer than a
 * new bound are trimmed the same way on their next arrival.
 * @param store The store.
 * @param capacity The new bound, at least 1; 0 is taken as 1.
 * @return 0, or #QEL_RESULT_BAD_HANDLE for a store that is not open.
 */
NYR_API int qel_host_set_queue_capacity(qel_store_t* store, uint32_t capacity);
/**
 * Bound of the memory every handle's event queue may hold, counted as the event records plus all
 * of their texts and lists. When an event arrives and its size would take the queue past the
 * bound, the oldest queued events are dropped until it fits, each counted as overflow; an event
 * larger than the whole bound is itself dropped and counted, and the queue keeps what it held.
 * @param store The store.
 * @param bytes The new bound; 0 is taken as 1, which lets no event through.
 * @return 0, or #QEL_RESULT_BAD_HANDLE for a store that is not open.
 */
NYR_API int qel_host_set_queue_bytes(qel_store_t* store, uint64_t bytes);
/**
 * Bound of the store's event log when it is kept in memory, in events. When qel_log_store() takes
 * the log past the bound, the oldest logged events are dropped (a batch larger than the whole
 * bound keeps only its newest events) and each is counted (qel_host_log_dropped_count()); the
 * store call itself succeeds. A log that already holds more than a new bound drops its oldest
 * events at once. A log kept in a file has no such bound: it grows until its file system is full,
 * and then qel_log_store() gives #QEL_RESULT_DATABASE and keeps none of that batch, while every
 * batch stored before stays as it was. For such a store this call changes nothing.
 * @param store The store.
 * @param capacity The new bound, at least 1; 0 is taken as 1. The default is
 *        #QEL_HOST_DEFAULT_LOG_CAPACITY.
 * @return 0, or #QEL_RESULT_BAD_HANDLE for a store that is not open.
 */
NYR_API int qel_host_set_log_capacity(qel_store_t* store, uint32_t capacity);

/* ---- History of the tree ------------------------------------------------------------------ */
/**
 * @name History of the tree
 * Every write call that changes the tree (a single item, or a whole batch) takes the next
 * **revision**, a 64-bit number counted from 1 and never used twice: revision 0 is the tree before
 * the first (the empty tree of a new store; for a store file made before it kept a history, its
 * tree then). A call that changes nothing takes none. Each of its changes is kept in the
 * store's history with the revision, its place in the call (`index`, from 0), the time, the path,
 * the kind (QEL_HOST_CHANGE_*), the leaf before and after, the call's source string and, for a
 * call through nyrd, the peer's user and process id from its socket. A store opened on a file
 * keeps the history in the file, in the same transaction as the tree; a store in memory keeps it
 * in memory. A write whose commit fails takes no revision: the next one takes its number.
 *
 * The store's **epoch** is a random identifier made when the file (or the store in memory) is
 * made, so that a client can tell a recreated or restored file from the one it knew.
 *
 * Retention (qel_host_set_history_limits()) drops the oldest revisions, whole, while the history
 * holds more changes, more bytes or an older change than allowed; qel_host_history_info() reports
 * the oldest revision held. The tree is known at every revision from the one before the oldest
 * held on; a revision or time before that gives #QEL_RESULT_TOO_OLD.
 *
 * Times follow revisions: a revision is never stamped earlier than the one before it. "The tree at
 * a time" is the tree after the newest revision stamped at or before that time.
 *
 * Memory handed back stays valid until the same thread's next call on the handle.
 * @{
 */

/** Default of a new store's history bound (qel_host_set_history_limits()), in changes. */
#define QEL_HOST_DEFAULT_HISTORY_CHANGES 1000000u
/** Default of a new store's history bound, in bytes: 256 MiB. */
#define QEL_HOST_DEFAULT_HISTORY_BYTES 268435456u
/** Default of a new store's history bound, in seconds of age: 30 days. */
#define QEL_HOST_DEFAULT_HISTORY_SECONDS 2592000u

/** One change of the tree as the history keeps it. */
typedef struct qel_host_change {
    uint64_t revision;               /**< The revision of the write call that made it. */
    uint32_t index;                  /**< Its place among that call's changes, from 0. */
    int32_t kind;                    /**< What changed: one of QEL_HOST_CHANGE_*. */
    struct timeval time;             /**< When the call was carried out. */
    const char* path;                /**< The changed leaf or node. */
    bool has_old;                    /**< A leaf was replaced or cleared: `old_value` holds it. */
    bool has_new;                    /**< A leaf was written: `new_value` holds it. */
    _element_datatype_t old_value;   /**< The leaf before (with `has_old`). */
    element_property_t old_property; /**< Its property word. */
    _element_datatype_t new_value;   /**< The leaf written (with `has_new`). */
    element_property_t new_property; /**< Its property word. */
    const char* source;              /**< The call's source string, as the writer gave it. */
    bool has_peer; /**< The call came through nyrd: `uid` and `pid` are the peer's. */
    uint32_t uid;  /**< The peer's user id. */
    uint32_t pid;  /**< The peer's process id. */
} qel_host_change_t;

/** One entry of a subtree as it was (qel_host_subtree_at()). */
typedef struct qel_host_entry {
    const char* path;            /**< The entry's path. */
    bool is_leaf;                /**< A leaf (with `value` and `property`), else a node. */
    _element_datatype_t value;   /**< The leaf's value. */
    element_property_t property; /**< The leaf's property word. */
} qel_host_entry_t;

/**
 * Bounds the store's history; the next write applies them. Zero keeps nothing of that kind
 * (revisions are still counted).
 * @param store The store.
 * @param changes At most this many changes; #QEL_HOST_DEFAULT_HISTORY_CHANGES by default.
 * @param bytes At most this many bytes (paths, sources and leaves, and 48 bytes a change);
 *        #QEL_HOST_DEFAULT_HISTORY_BYTES by default.
 * @param seconds No change older than this; #QEL_HOST_DEFAULT_HISTORY_SECONDS by default.
 * @return 0, or #QEL_RESULT_BAD_HANDLE for a store that is not open.
 */
NYR_API int qel_host_set_history_limits(qel_store_t* store, uint64_t changes, uint64_t bytes,
                                        uint64_t seconds);
/**
 * The store's current revision, the oldest one its history holds, and its epoch.
 * @param handle The handle.
 * @param[out] revision The newest revision (0 for a new store).
 * @param[out] oldest The oldest revision held; `revision` + 1 when none is.
 * @param[out] epoch 32 lower-case hexadecimal digits.
 * @return 0; #QEL_RESULT_BAD_HANDLE, #QEL_RESULT_BAD_ARGUMENT (a null out-parameter).
 */
NYR_API int qel_host_history_info(qel_handle_t handle, uint64_t* revision, uint64_t* oldest,
                                  const char** epoch);
/**
 * The changes at or below `path`, oldest first, one page at a time: those at or after the
 * position (`from_revision`, `from_index`), up to `until_revision`, whose times lie within
 * [`since`, `until`]. The next page starts after the last change handed back: its revision, and
 * its index + 1.
 * @param handle The handle.
 * @param path A path; "/" for the whole tree.
 * @param from_revision The first revision; 0 for the oldest held.
 * @param from_index The first index within `from_revision`.
 * @param until_revision The last revision; UINT64_MAX for no bound.
 * @param since Null, or the earliest time.
 * @param until Null, or the latest time.
 * @param limit At most this many changes (0: all).
 * @param newest With `limit`, the newest `limit` changes of the range instead of the first.
 * @param[out] status 1, or #QEL_STATUS_BAD_PATH.
 * @param[out] changes The changes.
 * @param[out] count How many.
 * @return 0; #QEL_RESULT_TOO_OLD when `from_revision` lies before the oldest revision held (and
 *         after 0); #QEL_RESULT_BAD_ARGUMENT for a null out-parameter; #QEL_RESULT_DAMAGED for a
 *         history row that fails its check; #QEL_RESULT_BAD_HANDLE.
 */
NYR_API int qel_host_history_changes(qel_handle_t handle, const char* path, uint64_t from_revision,
                                     uint32_t from_index, uint64_t until_revision,
                                     const struct timeval* since, const struct timeval* until,
                                     uint32_t limit, bool newest, api_status_t* status,
                                     qel_host_change_t** changes, uint32_t* count);
/**
 * The leaf at `path` as it was at a revision or a time.
 * @param handle The handle.
 * @param path The leaf's path.
 * @param revision The revision (when `at` is null).
 * @param at Null, or the time: the tree after the newest revision stamped at or before it.
 * @param[out] status As qel_get_leaf's would have been then: 1 with the value,
 *        #QEL_STATUS_NOT_FOUND, #QEL_STATUS_IS_NODE, #QEL_STATUS_BAD_PATH.
 * @param[out] value The leaf's value (with status 1).
 * @param[out] property Its property word.
 * @param[out] at_revision The revision read.
 * @return 0; #QEL_RESULT_TOO_OLD; #QEL_RESULT_BAD_ARGUMENT for a revision not made yet or a null
 *         out-parameter; #QEL_RESULT_DAMAGED; #QEL_RESULT_BAD_HANDLE.
 */
NYR_API int qel_host_leaf_at(qel_handle_t handle, const char* path, uint64_t revision,
                             const struct timeval* at, api_status_t* status,
                             _element_datatype_t* value, element_property_t* property,
                             uint64_t* at_revision);
/**
 * The entry at `path` and everything below it as it was at a revision or a time, in path order
 * (every node before what lies below it).
 * @param handle The handle.
 * @param path The subtree's path.
 * @param revision The revision (when `at` is null).
 * @param at Null, or the time.
 * @param[out] status 1, #QEL_STATUS_NOT_FOUND (nothing was at `path`), #QEL_STATUS_BAD_PATH.
 * @param[out] entries The entries (the first is `path` itself).
 * @param[out] count How many.
 * @param[out] at_revision The revision read.
 * @return As qel_host_leaf_at().
 */
NYR_API int qel_host_subtree_at(qel_handle_t handle, const char* path, uint64_t revision,
                                const struct timeval* at, api_status_t* status,
                                qel_host_entry_t** entries, uint32_t* count, uint64_t* at_revision);
/**
 * Registers for tree changes as qel_event_register() does, and first queues, from the history,
 * every tree change at `path` (and, with `subtree`, below it) made after `revision`, in order;
 * live changes follow without a gap or a duplicate. Other kinds in `kinds` are registered as
 * usual, from now on. The queue's bounds hold for the changes replayed as for any others.
 * @param handle The handle.
 * @param path The path.
 * @param kinds The kind bits; tree changes are replayed only when #QEL_HOST_EVENT_TREE_CHANGE is
 *        among them.
 * @param subtree Also below `path`.
 * @param revision The last revision the caller has seen.
 * @param[out] status 1, or #QEL_STATUS_BAD_PATH.
 * @return 0; #QEL_RESULT_TOO_OLD when the history no longer holds every revision after
 *         `revision` (nothing registered, nothing queued); #QEL_RESULT_BAD_ARGUMENT for a revision
 *         not made yet or a null `status`; #QEL_RESULT_DAMAGED; #QEL_RESULT_BAD_HANDLE.
 */
NYR_API int qel_host_event_register_from(qel_handle_t handle, const char* path, api_event_t kinds,
                                         bool subtree, uint64_t revision, api_status_t* status);
/**
 * The revisions of the events the last qel_events_get() or qel_events_get_nonblocking() on this
 * handle handed back, one per event in their order: a tree change's revision, 0 for any other
 * event. This is how a watcher learns the revision of each tree change it receives (tree-change
 * events carry no event or sequence id), and where to resume with
 * qel_host_event_register_from(). Meant for a handle on which one thread fetches events.
 * @param handle The handle.
 * @param[out] revisions The revisions.
 * @param[out] count How many (the number of events last handed back).
 * @return 0; #QEL_RESULT_BAD_ARGUMENT for a null out-parameter; #QEL_RESULT_BAD_HANDLE.
 */
NYR_API int qel_host_event_revisions(qel_handle_t handle, uint64_t** revisions, uint32_t* count);
/** @} */

/* ---- Observation (for tests and tools) ---------------------------------------------------- */
/**
 * Events dropped from this handle's queue since it was opened.
 * @param handle The handle.
 * @return The count; -2 for a bad handle.
 */
NYR_API long long qel_host_overflow_count(qel_handle_t handle);
/**
 * Events the store's in-memory event log has dropped to stay within its bound
 * (qel_host_set_log_capacity()) since the store was opened; always 0 for a log kept in a file.
 * @param store The store.
 * @return The count; -2 for a store that is not open.
 */
NYR_API long long qel_host_log_dropped_count(qel_store_t* store);
/**
 * Events waiting in this handle's queue.
 * @param handle The handle.
 * @return The count; -2 for a bad handle.
 */
NYR_API long long qel_host_queued_count(qel_handle_t handle);

/** Connections of one user to nyrd, as qel_host_stats() reports them. */
typedef struct qel_host_user_stats {
    uint32_t uid;         /**< The user. */
    uint32_t connections; /**< Its connections served now. */
} qel_host_user_stats_t;

/** One open handle of the store, as qel_host_stats() reports it. */
typedef struct qel_host_handle_stats {
    uint32_t registrations; /**< Paths it is registered at. */
    uint32_t queued_events; /**< Events waiting in its queue. */
    uint64_t queued_bytes;  /**< What those events take. */
    uint64_t overflow;      /**< Events its queue dropped since it opened. */
} qel_host_handle_stats_t;

/**
 * What a store, and the nyrd that serves it, are doing (qel_host_stats()). The arrays lie in the
 * handle's memory for the calling thread, valid until its next call on the handle.
 */
typedef struct qel_host_stats {
    /* The store. */
    uint32_t handles;         /**< Open handles (each nyrd session is one). */
    uint32_t registrations;   /**< Registrations of every handle. */
    uint64_t queued_events;   /**< Events waiting in every handle's queue. */
    uint64_t queued_bytes;    /**< What those events take. */
    uint64_t overflow;        /**< Events dropped by the open handles' queues. */
    uint64_t file_bytes;      /**< The store file with its write-ahead file; 0 in memory. */
    uint64_t commits;         /**< Writes committed to the store file since it opened. */
    uint64_t commit_us;       /**< Time those commits took, in microseconds. */
    uint64_t log_events;      /**< Events the event log holds. */
    uint64_t history_changes; /**< Changes the tree's history holds. */
    uint64_t history_bytes;   /**< What they count against its byte bound. */
    uint32_t handle_count;    /**< Entries of `per_handle`, one per open handle. */
    const qel_host_handle_stats_t* per_handle; /**< Each open handle's figures. */
    /* The daemon: all 0 for a store in this process. */
    uint32_t served;               /**< 1 when nyrd answered. */
    uint32_t connections;          /**< Connections served now. */
    uint32_t sessions;             /**< Sessions (remote handles) open now. */
    uint32_t requests_in_flight;   /**< Calls being carried out now. */
    uint64_t request_memory;       /**< Memory those calls hold of the budget, in bytes. */
    uint64_t request_memory_limit; /**< The budget (--max-request-memory); 0: none. */
    uint64_t requests_waited;      /**< Calls that waited for room in the budget. */
    uint64_t requests_refused;     /**< Calls refused for want of room (#QEL_RESULT_NO_MEMORY). */
    uint32_t user_count;           /**< Entries of `users`. */
    const qel_host_user_stats_t* users; /**< The connections of each user. */
} qel_host_stats_t;

/**
 * Reports what the store of `handle` is doing, and for a handle from qel_host_connect() what
 * nyrd is doing too.
 * @param handle The handle.
 * @param[out] stats The figures.
 * @return 0; #QEL_RESULT_BAD_HANDLE, #QEL_RESULT_BAD_ARGUMENT for a null `stats`, or a remote
 *         handle's result (#QEL_RESULT_LOST, ...).
 */
NYR_API int qel_host_stats(qel_handle_t handle, qel_host_stats_t* stats);
/**
 * The handle's watchdog.
 * @param handle The handle.
 * @param[out] registered 1 after qel_watchdog_register() until qel_watchdog_clear(), else 0.
 * @param[out] pings The pings since registering.
 * @param[out] number The number given when registering.
 * @return 0; #QEL_RESULT_BAD_HANDLE or #QEL_RESULT_BAD_ARGUMENT (a null out-parameter) with
 *         nothing written.
 */
NYR_API int qel_host_watchdog_state(qel_handle_t handle, int* registered, uint32_t* pings,
                                    uint32_t* number);
/**
 * The level last set for `thread` with qel_set_verbosity() on any handle of the store, or 0.
 * @param handle A handle on the store.
 * @param thread The thread.
 * @param[out] level The level.
 * @return 0; #QEL_RESULT_BAD_HANDLE or #QEL_RESULT_BAD_ARGUMENT (a null `level`).
 */
NYR_API int qel_host_verbosity(qel_handle_t handle, nyrverb_thread_t thread, uint32_t* level);
/**
 * Number of system-log entries the store has kept (added through any of its handles).
 * @param handle A handle on the store.
 * @return The count; -2 for a bad handle.
 */
NYR_API long long qel_host_syslog_count(qel_handle_t handle);
/**
 * One system-log entry, with its texts as given ("" for a null text), valid until the calling
 * thread's next call on this handle.
 * @param handle A handle on the store.
 * @param index The entry, 0 = oldest.
 * @param[out] severity The entry's severity.
 * @param[out] first The entry's first text.
 * @param[out] second The entry's second text.
 * @param[out] third The entry's third text.
 * @return 0; #QEL_RESULT_BAD_ARGUMENT for an index out of range or a null out-parameter,
 *         #QEL_RESULT_BAD_HANDLE for a bad handle.
 */
NYR_API int qel_host_syslog_entry(qel_handle_t handle, uint32_t index, syslog_severity_t* severity,
                                  const char** first, const char** second, const char** third);

/* ---- Checking and salvaging store files -------------------------------------------------- */
/** What qel_host_store_check() and qel_host_store_salvage() found in a store file. */
typedef struct qel_host_file_report_t {
    uint64_t tree_rows;        /**< Rows of the tree read. */
    uint64_t tree_damaged;     /**< Of them, damaged, or below a damaged or missing node. */
    uint64_t event_rows;       /**< Rows of the event log read. */
    uint64_t event_damaged;    /**< Of them, damaged. */
    uint32_t unreadable;       /**< Tables whose rest SQLite could not read past a point. */
    uint32_t integrity_ok;     /**< 1 when SQLite's own integrity check found nothing wrong. */
    uint64_t history_rows;     /**< Rows of the tree's history read (its changes). */
    uint64_t history_damaged;  /**< Of them, damaged. */
    uint64_t history_missing;  /**< Places where history rows are gone without a trace: more
                                    missing between two healthy rows than were damaged there. */
    uint64_t history_left_out; /**< Salvage only: healthy history rows not copied, since they
                                    belong to revisions up to the newest one the copy cannot hold
                                    whole (0 for a check). */
    uint32_t history_meta_ok;  /**< 1 when the history's own row (its epoch and newest dropped
                                    revision) is there and healthy. */
} qel_host_file_report_t;
/**
 * Receives one line of a check or salvage report: a damaged row (its table and key), a table read
 * only part way, or a complaint of SQLite's integrity check.
 */
typedef void (*qel_host_report_sink_t)(void* context, const char* line);
/**
 * Checks a store file without changing it: every row of the tree, of the event log and of the
 * tree's history against its checksum and its form (a tree row also needs its parent node), and
 * SQLite's integrity check.
 * The file may be in use by a store (reading does not disturb it).
 * @param file The store file.
 * @param[out] report What was found; zeroed first.
 * @param sink Receives each damage found, in table and key order; may be null.
 * @param context Handed to `sink`.
 * @return #QEL_HOST_OPEN_OK when the check ran (the report says whether anything is damaged), or
 *         the QEL_HOST_OPEN_ code that says why the file could not be read as a store file.
 */
NYR_API int qel_host_store_check(const char* file, qel_host_file_report_t* report,
                                 qel_host_report_sink_t sink, void* context);
/**
 * Copies every healthy row of a store file (as qel_host_store_check() judges them) into a new
 * store file, which then opens as a store; `file` is never changed. Each row left out is reported.
 * The copy keeps the history's epoch and revision counter but holds only the revisions after the
 * newest one that may have lost a change (a damaged or missing history row; with tree rows left
 * out, a revision of its own that stands for them), so that reading the tree at, or resuming from,
 * a revision before it gives #QEL_RESULT_TOO_OLD. A file that no longer tells its newest revision
 * (its history's meta row damaged, or its history read only part way) gets a new epoch.
 * @param file The damaged store file.
 * @param new_file Where the copy goes; refused with #QEL_HOST_OPEN_IN_USE when it exists.
 * @param[out] report What was found in `file`; zeroed first.
 * @param sink Receives each row left out; may be null.
 * @param context Handed to `sink`.
 * @return #QEL_HOST_OPEN_OK when the copy is made, otherwise a QEL_HOST_OPEN_ code saying why not
 *         (with no new file left behind).
 */
NYR_API int qel_host_store_salvage(const char* file, const char* new_file,
                                   qel_host_file_report_t* report, qel_host_report_sink_t sink,
                                   void* context);

/* ---- Texts ------------------------------------------------------------------------------- */
/**
 * The wording of a result for a person, the same in every program that reports one.
 * @param result A QEL_RESULT_ code (or any other integer).
 * @return A static text, never null; "an unknown result" for a code the store never gives.
 */
NYR_API const char* qel_host_result_text(int result);
/**
 * The wording of an open reason (qel_host_store_open_ex()) for a person.
 * @param reason A QEL_HOST_OPEN_ code; an unknown one reads as #QEL_HOST_OPEN_FAILED.
 * @return A static text, never null.
 */
NYR_API const char* qel_host_open_text(int reason);

/* ---- Error reports ------------------------------------------------------------------------- */
/**
 * Receives each qel_err() report as formatted text. Called on the reporting thread, one report at
 * a time.
 * @param context The context given to qel_host_set_err_sink().
 * @param code The report's code.
 * @param text The formatted text, valid during the call; cut to its first 4095 bytes.
 */
typedef void (*qel_host_err_sink_t)(void* context, int code, const char* text);
/**
 * Sends qel_err() reports to `sink`.
 * @param sink The new sink; null restores the default, one line on stderr.
 * @param context Handed to every call of `sink`.
 */
NYR_API void qel_host_set_err_sink(qel_host_err_sink_t sink, void* context);

#ifdef __cplusplus
}
#endif

#endif /* NYR_STOREIF_NYR_HOST_H */
