// Decoders of the byte format of codec/wire_format.h: bounded, strict, never past the input.
#include <cstdlib>
#include <cstring>
#include <new>

#include "codec/byte_cursor.h"
#include "codec/record_layout.h"
#include "codec/value_body.h"
#include "codec/wire_format.h"
#include "core/record_rules.h"
#include "nyr_host.h"

namespace nyrhost {
namespace {

bool read_magic(WireReader& r, const char (&magic)[4]) {
    const char* at = r.take(sizeof magic);
    if (at == nullptr || std::memcmp(at, magic, sizeof magic) != 0) return false;
    return r.u8() == kFormatVersion && r.ok();
}

}  // namespace

bool read_value_body_in_place(WireReader& r, _element_datatype_t& v) {
    std::memset(static_cast<void*>(&v), 0, sizeof v);
    v.timestamp.tv_sec = -1;
    const uint8_t flags = r.u8();
    if ((flags & ~kFlagTimeStamp) != 0) return false;
    const int32_t type = r.i32();
    if (!r.ok() || !is_known_type(type)) return false;
    v.type = static_cast<data_type_t>(type);
    if ((flags & kFlagTimeStamp) != 0) time_fields(r, v.timestamp);
    value_payload(r, v);
    if (has_payload(v.type)) {
        const uint32_t length = r.u32();
        const char* at = r.take(length);
        if (at == nullptr) return false;
        v.value.blob_value.data = const_cast<char*>(at);
        v.value.blob_value.length = length;
    }
    return r.ok();
}

// Fills `v` from a value body; the payload's bytes go to `payload`, `data` stays null.
bool read_value_body(WireReader& r, _element_datatype_t& v, std::string& payload) {
    payload.clear();
    if (!read_value_body_in_place(r, v)) return false;
    if (has_payload(v.type)) {
        payload.assign(v.value.blob_value.data, v.value.blob_value.length);
        v.value.blob_value.data = nullptr;
    }
    return true;
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
    auto text = [&](_byte_array_t& pair, std::string OwnedEvent::*owned) {
        return read_text(r, out.*owned, pair);
    };
    auto value = [&](_element_datatype_t& v) { return read_value_body(r, v, out.value_payload); };
    return event_fields(r, e, text, value,
                        [&] {
                            if (!read_count(r, e.waveform_url_count, 4)) return false;
                            out.waveform_urls.resize(e.waveform_url_count);
                            for (std::string& url : out.waveform_urls)
                                if (!r.text(url)) return false;
                            if (!read_count(r, e.detail_count, 8)) return false;
                            out.details.resize(e.detail_count);
                            for (auto& entry : out.details)
                                if (!r.text(entry.first) || !r.text(entry.second)) return false;
                            return true;
                        }) &&
           r.ok();
}

namespace {

// A text left in the input: `pair` points at it, or is {null, 0} for an empty one.
bool read_view(WireReader& r, _byte_array_t& pair) {
    const uint32_t length = r.u32();
    const char* at = r.take(length);
    if (at == nullptr) return false;
    pair = length != 0 ? _byte_array_t{const_cast<char*>(at), length} : _byte_array_t{};
    return true;
}

// An array of `count` pairs, released by destruct_event; null for none.
_byte_array_t* pairs(uint32_t count) {
    if (count == 0) return nullptr;
    auto* made = static_cast<_byte_array_t*>(std::calloc(count, sizeof(_byte_array_t)));
    if (made == nullptr) throw std::bad_alloc();
    return made;
}

}  // namespace

bool read_event_in_place(WireReader& r, _event_t& e) {
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    if (!read_magic(r, kEventMagic)) return false;
    auto text = [&](_byte_array_t& pair, auto) { return read_view(r, pair); };
    auto value = [&](_element_datatype_t& v) {
        if (!read_value_body_in_place(r, v)) return false;
        if (has_payload(v.type) && v.value.blob_value.length == 0) v.value.blob_value = {};
        return true;
    };
    return event_fields(r, e, text, value,
                        [&] {
                            uint32_t urls = 0, details = 0;
                            if (!read_count(r, urls, 4)) return false;
                            e.waveform_urls = pairs(urls);
                            for (; e.waveform_url_count < urls; ++e.waveform_url_count)
                                if (!read_view(r, e.waveform_urls[e.waveform_url_count]))
                                    return false;
                            if (!read_count(r, details, 8)) return false;
                            e.detail_keys = pairs(details);
                            e.detail_values = pairs(details);
                            for (; e.detail_count < details; ++e.detail_count)
                                if (!read_view(r, e.detail_keys[e.detail_count]) ||
                                    !read_view(r, e.detail_values[e.detail_count]))
                                    return false;
                            return true;
                        }) &&
           r.ok();
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
