// The host store's event log: in memory, or in an SQLite file that survives reopening.
//
// Selection (a LogSelection, log/selection.h, parsed once from the C arguments), shared by
// retrieve() and clear():
//  - path: a subtree. Null, "" and "/" select every event; otherwise trailing '/' are ignored and
//    "/a" selects the events whose path is "/a" or starts with "/a/" (not "/ab").
//  - from, to: bounds on event_time, both inclusive, compared as (seconds, microseconds); a null
//    bound is open. from later than to selects nothing (not an error).
//
// Retrieval window, applied to the selected events in insertion order:
//  - option_b: how many selected events to pass over first (0: none);
//  - option_a: how many events to give at most after that (0: no limit);
//  - flag_a false: both count from the oldest event; true: both count from the newest one, so
//    (option_a 10, flag_a true, option_b 0) gives the ten most recent events.
//  Either way the events come back in insertion order, oldest first.
//
// store()'s `flag` is accepted and has no effect; every event is kept with every field its kind
// carries (was_logged included, unchanged).
//
// Results: 0 (QEL_RESULT_OK) on success; QEL_RESULT_BAD_ARGUMENT for null records with a non-zero
// count; QEL_RESULT_NO_MEMORY when a copy cannot be allocated; QEL_RESULT_DAMAGED when a
// retrieval meets a damaged entry (one that fails its checksum or does not decode, or a page
// SQLite finds corrupt); QEL_RESULT_DATABASE when the database fails otherwise. A failed call
// changes nothing: a failed store() keeps none of its batch, a failed retrieve() leaves `out` as
// it was, so a damaged entry is never handed out altered.
//
// The SQLite log keeps each event in the event encoding of serialize_event, with the value's fill
// word and, for a value of type 0 or of an unknown type code, its raw bytes beside it, and a
// checksum over the whole row (log/log_entry.h). Files of earlier layouts (1: events in an
// encoding of their own; 2: no checksums) are refused as foreign and left as they are; they are
// not converted. A file of layout 3 (the log without the store's tree) is given the empty tree
// table when it is opened (log/sqlite_log.h).
//
// Durability of the SQLite log: the database runs in WAL mode with synchronous=FULL and each
// store() is one transaction, so a batch is on disk when store() returns, and a crash or power
// loss during a batch loses that batch only, never an earlier one.
//
// Size: the memory log holds at most its bound of events (MemoryLog::set_capacity, default
// QEL_HOST_DEFAULT_LOG_CAPACITY); a store() past it drops the oldest events and counts them, and
// succeeds. The SQLite log has no bound of its own: when its file can grow no further (a full
// disk, a file size limit), store() gives QEL_RESULT_DATABASE and keeps none of that batch, every
// earlier batch stays as it was, and the log works on once there is room again.
//
// Cost: both logs find a selection through indexes by path and time, so retrieve() costs in
// proportion to the events it selects, not to the size of the log, and store() costs the same per
// event at any size.
//
// Thread safety: every member may be called from any thread; the log serialises its own work.
// Several logs (in this or another process) may share one file; SQLite's locking orders them.
#ifndef NYR_HOST_LOG_EVENT_LOG_H
#define NYR_HOST_LOG_EVENT_LOG_H

#include <memory>
#include <vector>

#include "core/owned_event.h"
#include "log/selection.h"
#include "nyr.h"

namespace nyrhost {

// The records of one store(), read one at a time: from an array, or from a request as it arrived,
// so that a large batch is not held as records beside the log's own copies.
class RecordSource {
public:
    virtual ~RecordSource() = default;
    // The next record, valid until the next call. Throws std::bad_alloc.
    virtual const _event_t& next() = 0;
};

class EventLog {
public:
    // `database` null or "": in memory. Otherwise the SQLite file at that path, created when
    // missing or empty (sqlite_log.h says how a file is recognised). Null when the file cannot be
    // opened or is not an event log of ours, with *result (when `result` is not null) set to the
    // QEL_HOST_OPEN_ code that says why; QEL_HOST_OPEN_NO_SQLITE for any file when libnyr was
    // built without SQLite. A file refused as foreign is left as it was, side files included.
    // On success *result is QEL_HOST_OPEN_OK.
    static std::unique_ptr<EventLog> open(const char* database, int* result);
    virtual ~EventLog() = default;

    // Appends `count` records in one transaction: either all are kept or none.
    int store(const _event_t* records, uint32_t count, bool flag);
    // The same for `count` records read from `source`.
    virtual int store_from(RecordSource& source, uint32_t count) = 0;
    // Appends to `out` the logged events the selection picks, through its window.
    virtual int retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) = 0;
    // Removes every logged event the selection picks; its window is not used.
    virtual int clear(const LogSelection& selection) = 0;
    // The bound in events of a log that keeps one (0 is taken as 1); a log kept in a file has
    // none and ignores it.
    virtual void set_capacity(uint32_t /*capacity*/) {}
    // Events dropped by the bound since the log was opened; 0 for a log without one.
    virtual uint64_t dropped() { return 0; }
    // The events the log holds.
    virtual uint64_t size() = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_EVENT_LOG_H
