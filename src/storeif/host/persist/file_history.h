// The history kept in a store file, on the connection of the file's tree (persist/store_file.h).
//
// Rows: history(revision, idx, time, prev_time, kind, path, old, new, source, uid, pid,
// run_count, run_bytes, checksum), keyed by run_count, which counts every change recorded up to
// this one (since the file was made) and so follows (revision, idx): each row is appended to the
// table's last page. history_signatures(block, bits) holds, for each block of 64 running counts
// (run_count >> 6) whose rows are all written, a Bloom filter of the paths its rows change
// (persist/history_signature.h), written with the block's last row; retention drops the
// signatures of the blocks it empties. Reads turn revisions and times into running counts by
// bisection over the rows, and look for a path's or a subtree's changes only in the blocks whose
// signatures may hold them, and in the newest block, which has none yet. `time` is the revision's
// time in microseconds and `prev_time` the time of the revision before it; `uid` and `pid` are null
// for a call made in process. `run_count` and `run_bytes` let the size of what is held be read from
// the first and the last row instead of a scan. CRC-32C over every other column is the row's
// checksum.
//
// history_meta holds one row: the epoch, and the newest dropped revision with its time for a
// history that retention has emptied (otherwise they follow from the oldest row). It is written
// when the file gets its history and when retention empties it, with a checksum of its own.
#ifndef NYR_HOST_PERSIST_FILE_HISTORY_H
#define NYR_HOST_PERSIST_FILE_HISTORY_H

#include <memory>

#include "history/history.h"

namespace nyrhost {

class SqliteConnection;

// Reads the history's state through the store file's connection (making its epoch when the file
// has none): null with *result set to the QEL_HOST_OPEN_ code that says why it cannot. record()
// runs inside a group's transaction, with the connection's lock held; every other use of the
// file takes that lock itself.
std::unique_ptr<History> open_file_history(SqliteConnection& connection, int* result);

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_FILE_HISTORY_H
