// serialize_element and serialize_event: records into the byte format of codec/wire_format.h.
#include <climits>

#include "codec/byte_cursor.h"
#include "codec/record_layout.h"
#include "codec/value_body.h"
#include "codec/wire_format.h"
#include "core/record_rules.h"
#include "nyr.h"
#include "nyr_host.h"

namespace nyrhost {

void write_value_body(WireWriter& w, const _element_datatype_t& v, bool with_time) {
    w.u8(with_time ? kFlagTimeStamp : 0);
    w.i32(v.type);
    if (with_time) time_fields(w, v.timestamp);
    value_payload(w, v);
    if (has_payload(v.type)) w.text(v.value.blob_value.data, v.value.blob_value.length);
}

namespace {

void write_value(WireWriter& w, const _element_datatype_t& v, bool with_time) {
    w.bytes(kValueMagic, sizeof kValueMagic);
    w.u8(kFormatVersion);
    write_value_body(w, v, with_time);
}

void write_pair(WireWriter& w, const _byte_array_t& pair) {
    w.text(pair.data, pair.length);
}

}  // namespace

void write_event(WireWriter& w, const _event_t& e) {
    w.bytes(kEventMagic, sizeof kEventMagic);
    w.u8(kFormatVersion);
    auto text = [&](const _byte_array_t& pair, auto) { return write_pair(w, pair), true; };
    auto value = [&](const _element_datatype_t& v) { return write_value_body(w, v, true), true; };
    event_fields(w, e, text, value, [&] {
        const uint32_t urls = e.waveform_urls != nullptr ? e.waveform_url_count : 0;
        w.u32(urls);
        for (uint32_t i = 0; i < urls; ++i) write_pair(w, e.waveform_urls[i]);
        const bool has_details = e.detail_keys != nullptr && e.detail_values != nullptr;
        const uint32_t details = has_details ? e.detail_count : 0;
        w.u32(details);
        for (uint32_t i = 0; i < details; ++i) {
            write_pair(w, e.detail_keys[i]);
            write_pair(w, e.detail_values[i]);
        }
        return true;
    });
}

namespace {

// Measures, then writes when the buffer is large enough: 0 with the length set, the size needed
// when it is too small, a negative result for a missing buffer or an encoding beyond INT_MAX.
template <typename Write>
int encode(_byte_array_t* buffer, Write write) {
    if (buffer == nullptr || (buffer->data == nullptr && buffer->length != 0))
        return QEL_RESULT_BAD_ARGUMENT;
    WireWriter measure(nullptr);
    write(measure);
    if (measure.size() > static_cast<std::size_t>(INT_MAX)) return QEL_RESULT_BAD_ARGUMENT;
    if (measure.size() > buffer->length) return static_cast<int>(measure.size());
    WireWriter out(buffer->data);
    write(out);
    buffer->length = static_cast<uint32_t>(out.size());
    return 0;
}

}  // namespace

std::string encode_event(const _event_t& record) {
    WireWriter measure(nullptr);
    write_event(measure, record);
    std::string out(measure.size(), '\0');
    WireWriter writer(&out[0]);
    write_event(writer, record);
    return out;
}

}  // namespace nyrhost

extern "C" {

// An unknown type code cannot be encoded: QEL_RESULT_BAD_ARGUMENT.
int serialize_element(_byte_array_t* buffer, _element_datatype_t value, bool flag) {
    if (!nyrhost::is_known_type(value.type)) return QEL_RESULT_BAD_ARGUMENT;
    return nyrhost::encode(buffer,
                           [&](nyrhost::WireWriter& w) { nyrhost::write_value(w, value, flag); });
}

int serialize_event(_byte_array_t* buffer, _event_t event) {
    if (!nyrhost::is_known_type(event.value.type)) return QEL_RESULT_BAD_ARGUMENT;
    return nyrhost::encode(buffer, [&](nyrhost::WireWriter& w) { nyrhost::write_event(w, event); });
}

}  // extern "C"
