// The pieces of the byte format (codec/wire_format.h) that other formats embed: the value body
// and the whole event encoding, written into and read from a caller's cursor. nyrd's protocol
// carries values and events in these forms.
#ifndef NYR_HOST_CODEC_VALUE_BODY_H
#define NYR_HOST_CODEC_VALUE_BODY_H

#include <string>

#include "codec/byte_cursor.h"
#include "core/owned_event.h"
#include "nyr.h"

namespace nyrhost {

// A value body, its time stamp included when `with_time`. A type code outside 0..10 is written
// with no payload, which no reader accepts: callers write such a value another way.
void write_value_body(WireWriter& w, const _element_datatype_t& v, bool with_time);
// Fills `v` from a value body: a string's or blob's bytes go to `payload`, its `data` stays null,
// and a value without a time stamp gets {-1, 0}. False for a body that does not follow the format.
bool read_value_body(WireReader& r, _element_datatype_t& v, std::string& payload);
// The same, with a string's or blob's bytes left where they are: `data` points into the reader's
// input, which must then outlive `v`.
bool read_value_body_in_place(WireReader& r, _element_datatype_t& v);

// The event encoding of `e`, magic and version first, as serialize_event writes it.
void write_event(WireWriter& w, const _event_t& e);
// Reads one event encoding into `out`, as decode_event does; the cursor may go on past it.
bool read_event(WireReader& r, OwnedEvent& out);
// The same into a record as to_record() makes it, but with its texts and its value's bytes left
// in the reader's input, which must outlive `e`; its lists are malloc'd, for destruct_event.
// Throws std::bad_alloc.
bool read_event_in_place(WireReader& r, _event_t& e);

}  // namespace nyrhost

#endif  // NYR_HOST_CODEC_VALUE_BODY_H
