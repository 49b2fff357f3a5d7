// The history of a store's tree: every change of every write call, kept with the call's revision,
// time, source and peer, so that a client can read what changed, the tree as it was, and resume a
// watch where it stopped.
//
// Revisions: each write call that changes the tree takes the next revision (a batch takes one),
// under the store's lock, when it is carried out. The counter is the newest revision the history
// has recorded, so a write whose commit fails gives its number back and the next write takes it:
// no revision is skipped, and none is used twice. Revisions are numbered from 1; revision 0 is
// the tree before the first (empty for a new store).
//
// Times: each revision is stamped with the time of its write, never earlier than the revision
// before it, so that times follow revisions even when the clock steps back and a time finds its
// revision by bisection.
//
// Retention: the oldest revisions are dropped, whole, while the history holds more changes, more
// bytes (HistoryChange::bytes) or an older change than its limits allow. The newest dropped
// revision and its time are remembered, so that the tree is known exactly at every revision from
// that one on, and at any time from its time on.
#ifndef NYR_HOST_HISTORY_HISTORY_H
#define NYR_HOST_HISTORY_HISTORY_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/tree.h"

namespace nyrhost {

// Who made a write call and when: what each of its changes records.
struct WriteInfo {
    uint64_t revision = 0;
    int64_t time_us = 0;  // microseconds since the epoch
    std::string_view source;
    bool has_peer = false;  // a call through nyrd: the peer's user and process
    uint32_t uid = 0, pid = 0;
};

// One change as the history keeps it. `old_value` and `new_value` are leaves in the history's
// leaf encoding (history/history_codec.h): the leaf a change replaced or removed, and the leaf
// it wrote. For a removed node `old_value` holds everything that was below it (encode_removed).
struct HistoryChange {
    uint64_t revision = 0;
    uint32_t index = 0;  // its place among its revision's changes, from 0
    int64_t time_us = 0;
    int32_t kind = 0;  // QEL_HOST_CHANGE_*
    std::string path;
    std::optional<std::string> old_value, new_value;
    std::string source;
    bool has_peer = false;
    uint32_t uid = 0, pid = 0;

    // What the change counts against the byte limit: its texts and a fixed part.
    uint64_t bytes() const {
        return 48 + path.size() + source.size() + (old_value ? old_value->size() : 0) +
               (new_value ? new_value->size() : 0);
    }
};

// The bounds of a history: at most `changes` changes and `bytes` bytes, none older than
// `seconds`. Zero keeps nothing.
struct HistoryLimits {
    uint64_t changes = 1000000;
    uint64_t bytes = 256ull << 20;
    uint64_t seconds = 30ull * 24 * 3600;
};

// Which changes a selection picks: those at or below `subtree` (a path as the tree writes it),
// from the position (from_revision, from_index) on, up to until_revision, with times in
// [since_us, until_us]; at most `limit` of them (0: all), the first ones or, with `newest`, the
// last ones, handed back oldest first either way.
struct HistorySelection {
    std::string subtree = "/";
    uint64_t from_revision = 0;
    uint32_t from_index = 0;
    uint64_t until_revision = UINT64_MAX;
    int64_t since_us = INT64_MIN, until_us = INT64_MAX;
    uint32_t limit = 0;
    bool newest = false;
};

// True when `path` is `subtree` or lies below it (both as the tree writes paths).
bool within(std::string_view path, std::string_view subtree);

// Where a store keeps its history: in memory, or in its store file. Used under the store's lock.
class History {
public:
    virtual ~History() = default;

    // The store's epoch: 32 hexadecimal digits, random, made when the history was first made.
    virtual const std::string& epoch() const = 0;
    // The newest revision, recorded or dropped; 0 for a new store.
    virtual uint64_t revision() const = 0;
    // The oldest revision still held; revision() + 1 when none is.
    virtual uint64_t oldest() const = 0;
    // The newest dropped revision (0 when none was), and its time.
    virtual uint64_t dropped_revision() const = 0;
    virtual int64_t dropped_time_us() const = 0;
    // The time of the newest revision (INT64_MIN before the first).
    virtual int64_t last_time_us() const = 0;
    // The changes held, and what they count against the byte limit.
    virtual uint64_t held_changes() const = 0;
    virtual uint64_t held_bytes() const = 0;

    // New limits; the next write applies them.
    virtual void set_limits(const HistoryLimits& limits) = 0;

    // Records the changes of one write call, `info.revision` being revision() + 1, and drops
    // what the limits no longer allow. A history in memory that cannot take the rows for want of
    // memory drops every revision up to this one instead, so that it still holds no gap. For a
    // history in a store file, the rows are written on the file's connection inside the transaction
    // the caller has begun, and settle() follows its end. False when a row could not be written;
    // throws std::bad_alloc.
    virtual bool record(const Tree::Changes& changes, const WriteInfo& info) = 0;
    // The end of the transaction that holds the last record(): kept, or undone.
    virtual void settle(bool committed) = 0;

    // The changes `selection` picks, appended to `out` oldest first: QEL_RESULT_OK, or
    // QEL_RESULT_DATABASE / QEL_RESULT_DAMAGED for a file that fails.
    virtual int select(const HistorySelection& selection, std::vector<HistoryChange>& out) = 0;
    // The first change after `revision` whose path is one of `paths`; `found` says whether there
    // is one.
    virtual int first_after(const std::vector<std::string>& paths, uint64_t revision,
                            HistoryChange& out, bool& found) = 0;
    // The newest held revision stamped at or before `time_us`, or 0 when none is.
    virtual int held_revision_at(int64_t time_us, uint64_t& revision) = 0;
};

// A history in memory, for a store without a file.
std::unique_ptr<History> make_memory_history();

// The rows of one write call, in order: each change with its revision, time, source and peer.
// Throws std::bad_alloc.
std::vector<HistoryChange> rows_of(const Tree::Changes& changes, const WriteInfo& info);

}  // namespace nyrhost

#endif  // NYR_HOST_HISTORY_HISTORY_H
