// The event log kept in an SQLite file.
//
// Layout (user_version 1, application_id 0x4E59524C, "NYRL"):
//   events(id INTEGER PRIMARY KEY, path BLOB, sec INTEGER, usec INTEGER, kind INTEGER, body BLOB)
// with indexes on path and on (sec, usec). `id` gives the insertion order; path, sec, usec and
// kind repeat what the body holds so that selections run on indexes; `body` is the whole event in
// the encoding of host_log_codec.h.
#ifndef NYR_HOST_LOG_SQLITE_LOG_H
#define NYR_HOST_LOG_SQLITE_LOG_H

#include <memory>

#include "log/event_log.h"

namespace nyrhost {

// Opens (or creates) the log at `file`. Null with *result set to QEL_RESULT_DATABASE when the
// file cannot be opened, is not ours, is of a later layout or is damaged; the file is then not
// written to. Without SQLite in the build, always that failure.
std::unique_ptr<EventLog> open_sqlite_log(const char* file, int* result);

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SQLITE_LOG_H
