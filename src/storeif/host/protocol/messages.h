// The pieces that requests and replies are made of (docs/protocol.md gives their layout). The
// client refuses bad arguments itself, as the store does, so only calls that reach the store
// travel.
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
void write_ptext(nyrhost::WireWriter& w, const char* data, uint32_t length);
void write_value(nyrhost::WireWriter& w, const _element_datatype_t& value);
void write_event(nyrhost::WireWriter& w, const _event_t& record);
void write_time(nyrhost::WireWriter& w, const struct timeval* time);

// Readers of the pieces; false (and the reader failed) for bytes that do not follow the layout.
// A ptext read in place points into the reader's input.
bool read_ptext(nyrhost::WireReader& r, const char*& text, uint32_t& length);
// A value: a string's or blob's bytes go to `payload` and `value` points at them.
bool read_value(nyrhost::WireReader& r, _element_datatype_t& value, std::string& payload);
bool read_event(nyrhost::WireReader& r, nyrhost::OwnedEvent& out);
bool read_time(nyrhost::WireReader& r, bool& present, struct timeval& time);

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_MESSAGES_H
