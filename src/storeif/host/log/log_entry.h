// How the SQLite log keeps one event: its event encoding (codec/wire_format.h, the bytes
// serialize_event writes) and, beside it, the two things that encoding leaves out, so that an
// event comes back from the file exactly as the memory log gives it back:
//
//   body        the event encoding. A value whose type has no payload there (type 0, or a code
//               outside 0..10, which the encoding cannot hold) is written as type 0 with its time
//               stamp.
//   value_fill  the value record's fill word.
//   raw_value   absent when the body holds the value whole; for a value of type 0 or of an
//               unknown type code: the type code (i32, big-endian) and then the 16 bytes of the
//               value union as the record held them (the store gives them no meaning, so they
//               keep the byte order of the host that stored them).
//   checksum    CRC-32C over the whole row: path, sec, usec, kind (the columns selections run
//               on), body, value_fill and raw_value, each length-prefixed or fixed-width, so that
//               a changed byte anywhere in a row, or bytes moved between its columns, is seen.
//               A row whose checksum does not match is damaged; it is never read as an event.
#ifndef NYR_HOST_LOG_LOG_ENTRY_H
#define NYR_HOST_LOG_LOG_ENTRY_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/owned_event.h"

struct sqlite3_stmt;

namespace nyrhost {

struct LogEntry {
    std::string body;
    uint32_t value_fill = 0;
    std::optional<std::string> raw_value;
    uint32_t checksum = 0;
};

// One row of the log as it is stored and read back.
struct EntryRow {
    std::string_view path;
    int64_t sec = 0, usec = 0, kind = 0;
    std::string_view body;
    int64_t value_fill = 0;
    std::optional<std::string_view> raw_value;
    int64_t checksum = 0;
};

// The entry of an event as from_record made it, its checksum over the row that keeps the
// event's path, event_time and type beside it. Throws std::bad_alloc.
LogEntry entry_of(const OwnedEvent& event);

// The row that keeps `entry`, the entry_of `event`: views into both.
EntryRow row_of(const OwnedEvent& event, const LogEntry& entry);

// The event of a row. False, with `out` unspecified, for a damaged row: a checksum that does not
// match, or a row entry_of cannot have written (a body that does not decode, a fill word beyond
// 32 bits, a raw value of another size or type code, or one beside a body whose value has a
// type).
bool event_of(const EntryRow& row, OwnedEvent& out);

// The columns entry_row_at reads, in its order: the events table's, but for its id.
inline constexpr const char* kEntryRowColumns =
    "path, sec, usec, kind, body, value_fill, raw_value, checksum";

// The row a statement stands on whose columns from `first` on are kEntryRowColumns; its views
// are valid until the statement steps on. Only built with SQLite.
EntryRow entry_row_at(sqlite3_stmt* statement, int first);

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_LOG_ENTRY_H
