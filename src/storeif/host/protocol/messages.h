// The pieces of the requests and replies between remote handles and nyrd (frames and handshake:
// protocol/frame.h). The client refuses bad arguments itself, as the store does, so only calls
// that reach the store travel.
//
// Pieces:
//   ptext   a C text: u32 length, the bytes, a 0 byte; length 0xFFFFFFFF is a null pointer
//           (nothing follows). Its bytes may be used in place as a NUL-terminated text.
//   value   u32 fill word, u8 form, then by form:
//             0: a value body with its time stamp (codec/wire_format.h), for types 1..10
//             1: i32 type, i32 seconds, i32 microseconds, the 16 bytes of the value union as
//                the record held them: a type the body cannot hold (0, or outside 0..10)
//             2: i32 type, i32 seconds, i32 microseconds, u32 length: a string or blob whose
//                data pointer is null with a non-zero length (the store refuses it)
//   event   u32 the value's fill word, u8 raw (0|1), [raw: i32 type, 16 union bytes], the event
//           encoding (codec/wire_format.h) with value type 0 when raw
//   time    u8 present, [i64 seconds, i64 microseconds]
//
// A request is the operation's code (u8) and its arguments; a reply is the call's result (i64)
// and, when the call was carried out, its outputs: both as protocol/operations.h lists them.
//
// Values come back from the daemon as the store hands them out, except that the bytes of the
// value union a known type does not use read as zero, as in the event log's file.
#ifndef NYR_HOST_PROTOCOL_MESSAGES_H
#define NYR_HOST_PROTOCOL_MESSAGES_H

#include <sys/time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/byte_cursor.h"
#include "core/owned_event.h"
#include "nyr.h"
#include "protocol/operations.h"

namespace nyrproto {

constexpr uint32_t kNullText = 0xFFFFFFFFu;

// Writers of the pieces.
void write_ptext(nyrhost::WireWriter& w, const char* text);
void write_ptext(nyrhost::WireWriter& w, const char* data, uint32_t length);
void write_value(nyrhost::WireWriter& w, const _element_datatype_t& value);
void write_event(nyrhost::WireWriter& w, const _event_t& record);
void write_time(nyrhost::WireWriter& w, const struct timeval* time);

// Readers of the pieces; false (and the reader failed) for bytes that do not follow the layout.
// A ptext read in place points into the reader's input.
bool read_ptext(nyrhost::WireReader& r, const char*& text);
bool read_ptext(nyrhost::WireReader& r, const char*& text, uint32_t& length);
// A value: a string's or blob's bytes go to `payload` and `value` points at them.
bool read_value(nyrhost::WireReader& r, _element_datatype_t& value, std::string& payload);
bool read_event(nyrhost::WireReader& r, nyrhost::OwnedEvent& out);
bool read_time(nyrhost::WireReader& r, bool& present, struct timeval& time);

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_MESSAGES_H
