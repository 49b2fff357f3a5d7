// Decoders of the byte format of codec/wire_format.h: bounded, strict, never past the input.
#include <cstring>

#include "codec/byte_cursor.h"
#include "codec/value_body.h"
#include "codec/wire_format.h"
#include "nyr_host.h"

namespace nyrhost {
namespace {

bool read_magic(WireReader& r, const char (&magic)[4]) {
    const char* at = r.take(sizeof magic);
    if (at == nullptr || std::memcmp(at, magic, sizeof magic) != 0) return false;
    return r.u8() == kFormatVersion && r.ok();
}

}  // namespace

// Fills `v` from a value body; the payload's bytes go to `payload`, `data` stays null.
bool read_value_body(WireReader& r, _element_datatype_t& v, std::string& payload) {
    std::memset(static_cast<void*>(&v), 0, sizeof v);
    v.timestamp.tv_sec = -1;
    payload.clear();
    const uint8_t flags = r.u8();
    if ((flags & ~kFlagTimeStamp) != 0) return false;
    const int32_t type = r.i32();
    if (!r.ok() || !is_known_type(type)) return false;
    v.type = static_cast<data_type_t>(type);
    if ((flags & kFlagTimeStamp) != 0) {
        v.timestamp.tv_sec = r.i32();
        v.timestamp.tv_usec = r.i32();
    }
    switch (v.type) {
        case DATATYPE_BOOL:
            v.value.bool_value = r.u8();
            break;
        case DATATYPE_INT:
            v.value.int_value = r.i32();
            break;
        case DATATYPE_UINT:
            v.value.uint_value = r.u32();
            break;
        case DATATYPE_FLOAT:
            v.value.float_value = r.f64();
            break;
        case DATATYPE_TIME:
            v.value.time_value.tv_sec = r.i32();
            v.value.time_value.tv_usec = r.i32();
            break;
        case DATATYPE_STRING:
        case DATATYPE_BLOB:
            if (!r.text(payload)) return false;
            v.value.blob_value.length = static_cast<uint32_t>(payload.size());
            break;
        case DATATYPE_COMPLEX:
            v.value.complex_value.real = r.f64();
            v.value.complex_value.imag = r.f64();
            break;
        case DATATYPE_INT64:
            v.value.int64_value = static_cast<int64_t>(r.u64());
            break;
        case DATATYPE_UINT64:
            v.value.uint64_value = r.u64();
            break;
        default:
            break;
    }
    return r.ok();
}

namespace {

// A text field of the event: the owned string, and the pair's length in the scalars.
bool read_text(WireReader& r, std::string& text, _byte_array_t& pair) {
    if (!r.text(text)) return false;
    pair.data = nullptr;
    pair.length = static_cast<uint32_t>(text.size());
    return true;
}

// A list count is plausible only if each entry's length prefix could still follow.
bool read_count(WireReader& r, uint32_t& count, std::size_t bytes_per_entry) {
    count = r.u32();
    return r.ok() && count <= r.remaining() / bytes_per_entry;
}

}  // namespace

bool read_event(WireReader& r, OwnedEvent& out) {
    _event_t& e = out.scalars;
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    if (!read_magic(r, kEventMagic)) return false;
    e.type = r.i32();
    if (!read_text(r, out.path, e.path)) return false;
    e.cmd = r.i32();
    if (!read_value_body(r, e.value, out.value_payload)) return false;
    if (!read_text(r, out.source, e.source)) return false;
    if (e.type == QEL_EVENT_SEVERITY_KIND)
        e.severity = r.i32();
    else
        e.quality = r.u16();
    e.was_logged = r.u8();
    e.event_time.tv_sec = r.i32();
    e.event_time.tv_usec = r.i32();
    e.cause = r.i32();

    if ((e.type & QEL_EVENT_GENERIC_MASK) != 0) {
        if (!read_text(r, out.description, e.description)) return false;
        e.event_id = r.u64();
        e.sequence_id = r.u32();
        uint32_t urls = 0;
        if (!read_count(r, urls, 4)) return false;
        out.waveform_urls.resize(urls);
        for (std::string& url : out.waveform_urls)
            if (!r.text(url)) return false;
        e.waveform_url_count = urls;
        uint32_t details = 0;
        if (!read_count(r, details, 8)) return false;
        out.details.resize(details);
        for (auto& entry : out.details)
            if (!r.text(entry.first) || !r.text(entry.second)) return false;
        e.detail_count = details;
    }
    if ((e.type & QEL_EVENT_ALARM_MASK) != 0) {
        e.ack_status = r.i32();
        e.base_priority = r.u32();
        e.condition_raised = r.u8();
        if (!read_text(r, out.note, e.note)) return false;
        e.auto_close = r.u8();
        e.variation_level = r.i32();
    }
    if (e.type == QEL_EVENT_FINAL_KIND) e.final = r.u8();
    return r.ok();
}

int decode_element(const char* data, std::size_t size, _element_datatype_t& out,
                   std::string& payload) {
    if (data == nullptr && size != 0) return QEL_RESULT_BAD_ARGUMENT;
    WireReader r(data, size);
    if (!read_magic(r, kValueMagic) || !read_value_body(r, out, payload) || r.remaining() != 0)
        return kResultMalformed;
    if (out.type == DATATYPE_STRING || out.type == DATATYPE_BLOB)
        out.value.blob_value.data = &payload[0];
    return 0;
}

int decode_event(const char* data, std::size_t size, OwnedEvent& out) {
    if (data == nullptr && size != 0) return QEL_RESULT_BAD_ARGUMENT;
    out = OwnedEvent();
    WireReader r(data, size);
    if (!read_event(r, out) || r.remaining() != 0) return kResultMalformed;
    return 0;
}

}  // namespace nyrhost
