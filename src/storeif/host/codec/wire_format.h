// The byte format of serialize_element and serialize_event, and its decoders. The SQLite event
// log keeps events in this format too (log/log_entry.h).
//
// The format does not depend on the host: every integer is big-endian and of fixed width, a
// double is the big-endian form of its IEEE 754 bits, and texts and byte arrays are a 32-bit
// length followed by that many bytes (no terminator). Every encoding starts with a four-byte
// magic and a version byte; a decoder accepts only the version it knows.
//
// Value body (used by both encodings):
//   u8  flags          bit 0: a time stamp follows; other bits are zero
//   i32 type           data type code 0..10 (0: no value, nothing follows)
//   [i32 seconds, i32 microseconds]   the value's time stamp, when flag bit 0 is set
//   payload by type:   BOOL u8 (the stored byte as it is) | INT i32 | UINT u32 | FLOAT f64 |
//                      TIME i32 seconds, i32 microseconds | STRING, BLOB u32 length + bytes |
//                      COMPLEX f64 real, f64 imag | INT64 i64 | UINT64 u64
//
// Value encoding:  "NYRV", u8 version 1, value body. The time stamp is included when the flag
//                  of serialize_element is set; without it a decoded value has none ({-1, 0}).
//
// Event encoding:  "NYRE", u8 version 1, then the fields the record's kind carries:
//   always:        i32 type, text path, i32 cmd, value body (time stamp always included),
//                  text source, (kind 0x100: i32 severity | other kinds: u16 quality),
//                  u8 was_logged, i32 event_time seconds, i32 event_time microseconds, i32 cause
//   generic kinds: text description, u64 event_id, u32 sequence_id,
//                  u32 url count + that many texts, u32 detail count + that many key/value texts
//   alarm kinds:   i32 ack_status, u32 base_priority, u8 condition_raised, text note,
//                  u8 auto_close, i32 variation_level
//   kind 0x20:     u8 final
// Fields the kind does not carry are not written; the reserved word is never written.
//
// Records are read the way the rest of the store reads them: a text or payload whose pointer is
// null reads as empty, and a list array that is null reads as an empty list (the library leaves
// a null array with its count when it could not allocate it).
#ifndef NYR_HOST_CODEC_WIRE_FORMAT_H
#define NYR_HOST_CODEC_WIRE_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/owned_event.h"
#include "nyr.h"
#include "nyr_host.h"

namespace nyrhost {

constexpr char kValueMagic[4] = {'N', 'Y', 'R', 'V'};
constexpr char kEventMagic[4] = {'N', 'Y', 'R', 'E'};
constexpr uint8_t kFormatVersion = 1;
constexpr uint8_t kFlagTimeStamp = 0x01;

// The value type codes the format knows (0..10); an encoder refuses others, a decoder too.
inline bool is_known_type(int32_t type) {
    return type >= DATATYPE_INVALID && type <= DATATYPE_UINT64;
}

// Result of a decoder (and of the source-string parser) for input that does not follow the
// encoding: wrong magic or version, unknown type code or flag, truncated, or trailing bytes.
constexpr int kResultMalformed = QEL_RESULT_MALFORMED;

// Decodes a value encoding of exactly `size` bytes. On 0, `out` is the value with its string or
// blob `data` pointing into `payload` (which holds the bytes) and its time stamp {-1, 0} when the
// encoding has none. On failure (kResultMalformed, or QEL_RESULT_BAD_ARGUMENT for null data with
// a non-zero size) `out` and `payload` are unspecified. Never reads outside [data, data + size).
int decode_element(const char* data, std::size_t size, _element_datatype_t& out,
                   std::string& payload);

// The event encoding of `record`, the bytes serialize_event writes, for the store's own keeping.
// The value's type code must be a known one, or the bytes will not decode. Throws std::bad_alloc.
std::string encode_event(const _event_t& record);

// Decodes an event encoding of exactly `size` bytes into an owned copy. On 0, `out.scalars`
// holds every scalar field the kind carries (others zero) with every pointer null, pair lengths
// and list counts set to the sizes of the owned texts and lists, and the value's payload in
// `out.value_payload`; details keep their encoded order. On failure as decode_element, with
// `out` unspecified.
int decode_event(const char* data, std::size_t size, OwnedEvent& out);

}  // namespace nyrhost

#endif  // NYR_HOST_CODEC_WIRE_FORMAT_H
