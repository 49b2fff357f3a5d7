// The encoding of one logged event inside the SQLite log (the `body` column).
//
// Version 1, all integers little-endian whatever the host, so a log file moves between hosts:
//   u8  version (1)
//   i32 type, i32 cmd
//   value: i32 type, i32 time stamp seconds, i32 time stamp microseconds, u32 fill word, then by
//          type: bool u8; int i32; uint u32; float f64 (IEEE bits as u64); time i32 seconds,
//          i32 microseconds; complex f64 real, f64 imaginary; int64/uint64 u64; string and blob
//          the payload as bytes; any other type code its 16 raw value bytes
//   severity as i32 (kind 0x100) or quality as u32 (every other kind), u8 was_logged
//   bytes path, source, description, note
//   u64 event_id, u32 sequence_id
//   u32 url count, then each url as bytes
//   u32 detail count, then each key and its value as bytes
//   i32 event_time seconds, i32 microseconds, i32 cause, u8 final
//   i32 ack_status, u32 base_priority, u8 condition_raised, u8 auto_close, i32 variation_level
// where "bytes" is a u32 length followed by that many bytes. Fields a kind does not carry are
// zero or empty (see from_record). Nothing may follow the last field.
// own tests.
#ifndef NYR_HOST_LOG_BODY_CODEC_H
#define NYR_HOST_LOG_BODY_CODEC_H

#include <cstddef>
#include <string>

#include "core/owned_event.h"

namespace nyrhost {

constexpr unsigned char kLogBodyVersion = 1;

std::string encode_logged_event(const OwnedEvent& event);
// False, with `out` in an unspecified state, when the bytes are not a body this version wrote
// (other version, truncated, trailing bytes, counts beyond the data).
bool decode_logged_event(const unsigned char* data, size_t size, OwnedEvent& out);

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_BODY_CODEC_H
