// The pieces of requests and replies, and the fields the codec reads with them.
#include <cstring>

#include "codec/value_body.h"
#include "codec/wire_format.h"
#include "core/record_rules.h"
#include "protocol/fields.h"

namespace nyrproto {

using nyrhost::WireReader;
using nyrhost::WireWriter;

namespace {

enum ValueForm : uint8_t { kBody = 0, kRaw = 1, kMissingPayload = 2 };
constexpr std::size_t kUnionSize = sizeof(_element_datatype_t::value);
// True for the values a body holds whole.
bool body_holds(int32_t type) {
    return type != DATATYPE_INVALID && nyrhost::is_known_type(type);
}

}  // namespace

// A null text travels as its own length; a name with a null pointer and no length as "".
void write_ptext(WireWriter& w, const char* data, uint32_t length) {
    if (length == kNullText) return w.u32(kNullText);
    if (data == nullptr && length == 0) data = "";
    w.u32(length);
    w.bytes(data, length);
    w.u8(0);
}

void write_value(WireWriter& w, const _element_datatype_t& value) {
    w.u32(value._fill);
    const int32_t type = value.type;
    if (body_holds(type) &&
        !(nyrhost::has_payload(type) && value.value.blob_value.data == nullptr &&
          value.value.blob_value.length != 0)) {
        w.u8(kBody);
        nyrhost::write_value_body(w, value, true);
        return;
    }
    w.u8(body_holds(type) ? kMissingPayload : kRaw);
    w.i32(type);
    w.i32(value.timestamp.tv_sec);
    w.i32(value.timestamp.tv_usec);
    if (body_holds(type))
        w.u32(value.value.blob_value.length);
    else
        w.bytes(&value.value, kUnionSize);
}

void write_event(WireWriter& w, const _event_t& record) {
    w.u32(record.value._fill);
    if (body_holds(record.value.type)) {
        w.u8(0);
        nyrhost::write_event(w, record);
        return;
    }
    w.u8(1);
    w.i32(record.value.type);
    w.bytes(&record.value.value, kUnionSize);
    _event_t typeless = record;
    typeless.value.type = DATATYPE_INVALID;
    nyrhost::write_event(w, typeless);
}

void write_time(WireWriter& w, const struct timeval* time) {
    w.u8(time != nullptr ? 1 : 0);
    if (time == nullptr) return;
    w.u64(static_cast<uint64_t>(static_cast<int64_t>(time->tv_sec)));
    w.u64(static_cast<uint64_t>(static_cast<int64_t>(time->tv_usec)));
}

bool read_ptext(WireReader& r, const char*& text, uint32_t& length) {
    length = r.u32();
    if (!r.ok()) return false;
    if (length == kNullText) {
        text = nullptr;
        length = 0;
        return true;
    }
    const char* at = r.take(std::size_t{length} + 1);
    if (at == nullptr || at[length] != '\0') {
        r.fail();
        return false;
    }
    text = at;
    return true;
}

bool read_value(WireReader& r, _element_datatype_t& value, std::string& payload) {
    const uint32_t fill = r.u32();
    const uint8_t form = r.u8();
    if (!r.ok()) return false;
    if (form == kBody) {
        if (!nyrhost::read_value_body(r, value, payload) || !body_holds(value.type)) {
            r.fail();
            return false;
        }
        if (nyrhost::has_payload(value.type)) value.value.blob_value.data = &payload[0];
        value._fill = fill;
        return true;
    }
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    value._fill = fill;
    const int32_t type = r.i32();
    value.timestamp.tv_sec = r.i32();
    value.timestamp.tv_usec = r.i32();
    value.type = static_cast<data_type_t>(type);
    if (form == kRaw && !body_holds(type)) {
        const char* bytes = r.take(kUnionSize);
        if (bytes != nullptr) std::memcpy(static_cast<void*>(&value.value), bytes, kUnionSize);
        return r.ok();
    }
    if (form == kMissingPayload && nyrhost::has_payload(type)) {
        value.value.blob_value.length = r.u32();
        return r.ok() && value.value.blob_value.length != 0;
    }
    r.fail();
    return false;
}

bool read_event(WireReader& r, nyrhost::OwnedEvent& out) {
    out = nyrhost::OwnedEvent();
    const uint32_t fill = r.u32();
    const uint8_t raw = r.u8();
    int32_t type = DATATYPE_INVALID;
    const char* bytes = nullptr;
    if (raw == 1) {
        type = r.i32();
        bytes = r.take(kUnionSize);
    }
    if (!r.ok() || raw > 1 || (raw == 1 && body_holds(type)) || !nyrhost::read_event(r, out)) {
        r.fail();
        return false;
    }
    _element_datatype_t& value = out.scalars.value;
    value._fill = fill;
    if (raw == 1) {
        if (value.type != DATATYPE_INVALID) {
            r.fail();
            return false;
        }
        value.type = static_cast<data_type_t>(type);
        std::memcpy(static_cast<void*>(&value.value), bytes, kUnionSize);
    }
    return true;
}

bool read_time(WireReader& r, bool& present, struct timeval& time) {
    const uint8_t flag = r.u8();
    present = flag == 1;
    time = timeval{};
    if (present) {
        time.tv_sec = static_cast<time_t>(static_cast<int64_t>(r.u64()));
        time.tv_usec = static_cast<suseconds_t>(static_cast<int64_t>(r.u64()));
    }
    if (flag > 1) r.fail();
    return r.ok();
}

void FieldReader::operator()(_event_t& v) {
    nyrhost::OwnedEvent event;
    if (nyrproto::read_event(r, event)) nyrhost::to_record(event, v, memory.texts);
}

void FieldReader::operator()(_byte_array_t& v) {
    const char* text = nullptr;
    if (!read_ptext(r, text, v.length) || text == nullptr) return r.fail();
    v.data = const_cast<char*>(text);
}

void FieldReader::operator()(const struct timeval*& v) {
    bool present = false;
    auto* time = memory.alloc<struct timeval>(1);
    read_time(r, present, *time);
    v = present ? time : nullptr;
}

void FieldReader::records(_event_t*& p, uint32_t n) {
    p = nullptr;
    if (n == 0 || !room_for(n, min_size(_event_t{}))) return;
    handed.emplace(n);
    for (uint32_t k = 0; k < n && r.ok(); ++k) (*this)(handed->next());
    p = handed->data();
}

}  // namespace nyrproto
