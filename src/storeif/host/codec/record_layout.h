// The fields of the byte format (codec/wire_format.h) in their order, written once for both
// directions: `io` is a WireWriter, which writes the fields of a record, or a WireReader, which
// reads them into one. What differs between the two (texts, the value body, the lists) is handed
// to callables that return false to stop at input that does not follow the format.
#ifndef NYR_HOST_CODEC_RECORD_LAYOUT_H
#define NYR_HOST_CODEC_RECORD_LAYOUT_H

#include <string>

#include "core/owned_event.h"
#include "nyr.h"
#include "nyr_host.h"

namespace nyrhost {

template <typename IO, typename Time>
void time_fields(IO& io, Time& t) {
    io(t.tv_sec);
    io(t.tv_usec);
}

// A value body's payload after its type, but for a string's or blob's text, which is the caller's.
template <typename IO, typename Value>
void value_payload(IO& io, Value& v) {
    auto& u = v.value;
    switch (v.type) {
        case DATATYPE_BOOL:
            return io(u.bool_value);
        case DATATYPE_INT:
            return io(u.int_value);
        case DATATYPE_UINT:
            return io(u.uint_value);
        case DATATYPE_FLOAT:
            return io(u.float_value);
        case DATATYPE_TIME:
            return time_fields(io, u.time_value);
        case DATATYPE_COMPLEX:
            io(u.complex_value.real);
            return io(u.complex_value.imag);
        case DATATYPE_INT64:
            return io(u.int64_value);
        case DATATYPE_UINT64:
            return io(u.uint64_value);
        default:
            return;  // no payload, or a text
    }
}

// An event encoding after its magic and version: the fields the kind in `e.type` carries.
// text(pair, owned) takes a text field (`owned` names its string in an OwnedEvent), value(v) the
// value body, lists() the generic kinds' URL and detail lists.
template <typename IO, typename Event, typename Text, typename Value, typename Lists>
bool event_fields(IO& io, Event& e, Text text, Value value, Lists lists) {
    io(e.type);
    if (!text(e.path, &OwnedEvent::path)) return false;
    io(e.cmd);
    if (!value(e.value) || !text(e.source, &OwnedEvent::source)) return false;
    if (e.type == QEL_EVENT_SEVERITY_KIND)
        io(e.severity);
    else
        io(e.quality);
    io(e.was_logged);
    time_fields(io, e.event_time);
    io(e.cause);
    if ((e.type & QEL_EVENT_GENERIC_MASK) != 0) {
        if (!text(e.description, &OwnedEvent::description)) return false;
        io(e.event_id);
        io(e.sequence_id);
        if (!lists()) return false;
    }
    if ((e.type & QEL_EVENT_ALARM_MASK) != 0) {
        io(e.ack_status);
        io(e.base_priority);
        io(e.condition_raised);
        if (!text(e.note, &OwnedEvent::note)) return false;
        io(e.auto_close);
        io(e.variation_level);
    }
    if (e.type == QEL_EVENT_FINAL_KIND) io(e.final);
    return true;
}

}  // namespace nyrhost

#endif  // NYR_HOST_CODEC_RECORD_LAYOUT_H
