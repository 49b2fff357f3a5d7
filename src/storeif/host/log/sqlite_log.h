// The event log kept in an SQLite file, the store file that also keeps the store's tree
// (persist/tree_file.h).
//
// Layout (user_version 7, application_id 0x4E59524C, "NYRL"):
//   events(id INTEGER PRIMARY KEY, path BLOB, sec INTEGER, usec INTEGER, kind INTEGER, body BLOB,
//          value_fill INTEGER, raw_value BLOB NULL, checksum INTEGER)
//   tree(path BLOB PRIMARY KEY, value BLOB NULL, fill INTEGER, property INTEGER,
//        checksum INTEGER) WITHOUT ROWID
//   history, history_signatures and history_meta (persist/file_history.h)
// with indexes on events (path, sec, usec) and (sec, usec). `id` gives the insertion order; path,
// sec, usec and kind repeat what the body holds so that selections run on indexes; body,
// value_fill, raw_value and checksum are the event as log/log_entry.h describes. The tree table
// is persist/tree_file.h's. Earlier layouts are upgraded when opened for writing, in one
// transaction: 3 (the events table alone) and 4 (events and tree) get the tables they lack,
// empty; 5 (a history keyed by revision, with an index on path and revision) has its history rows
// moved into this layout's table, each as it was; 5 and 6 (an index of the blocks each path's
// changes lie in) get the blocks' signatures in place of their index. Layouts 1 (a body in an
// encoding of its own, no side columns) and 2 (no checksum) are refused like any file that is not
// ours.
//
// Opening an existing file reads it first through SQLite's immutable mode, which takes no lock
// and neither reads nor makes side files: only a file of ours (application id, layout and the
// exact schema) or an empty database is opened for writing; anything else is refused untouched,
// its -wal, -shm and -journal included. A new log is laid out in one transaction with a rollback
// journal and only then turned to WAL, so its identity is in the main file from the start. A
// crash while it is laid out leaves an empty file, or a partly written one whose journal records
// an empty database: both are taken as empty and laid out again (SQLite rolls the journal back
// first). Once open for writing, the log is checked again (identity and PRAGMA quick_check).
#ifndef NYR_HOST_LOG_SQLITE_LOG_H
#define NYR_HOST_LOG_SQLITE_LOG_H

#include <memory>

#include "log/event_log.h"

namespace nyrhost {

class SqliteConnection;

// Opens (or creates) the log at `file`. Null with *result set to the QEL_HOST_OPEN_ code that
// says why when the file cannot be opened, is not ours, is of another layout or is damaged.
// Without SQLite in the build, always QEL_HOST_OPEN_NO_SQLITE. When `connection` is not null it
// is given the log's connection to the file (log/sqlite_connection.h), for the store's tree to
// share.
std::unique_ptr<EventLog> open_sqlite_log(const char* file, int* result,
                                          std::shared_ptr<SqliteConnection>* connection = nullptr);

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SQLITE_LOG_H
