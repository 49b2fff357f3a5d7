// The event log kept in an SQLite file.
//
// Layout (user_version 2, application_id 0x4E59524C, "NYRL"):
//   events(id INTEGER PRIMARY KEY, path BLOB, sec INTEGER, usec INTEGER, kind INTEGER, body BLOB,
//          value_fill INTEGER, raw_value BLOB NULL)
// with indexes on path and on (sec, usec). `id` gives the insertion order; path, sec, usec and
// kind repeat what the body holds so that selections run on indexes; body, value_fill and
// raw_value are the event as log/log_entry.h describes. Layout 1 (a body in an encoding of its
// own, no side columns) is refused like any file that is not ours.
#ifndef NYR_HOST_LOG_SQLITE_LOG_H
#define NYR_HOST_LOG_SQLITE_LOG_H

#include <memory>

#include "log/event_log.h"

namespace nyrhost {

// Opens (or creates) the log at `file`. Null with *result set to QEL_RESULT_DATABASE when the
// file cannot be opened, is not ours, is of another layout or is damaged; the file is then not
// written to. Without SQLite in the build, always that failure.
std::unique_ptr<EventLog> open_sqlite_log(const char* file, int* result);

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SQLITE_LOG_H
