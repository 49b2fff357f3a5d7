// The fields of requests and replies in their wire form (docs/protocol.md).
#include "protocol/fields.h"

#include <cstring>

#include "codec/value_body.h"
#include "codec/wire_format.h"
#include "core/record_rules.h"

namespace nyrproto {

using nyrhost::WireReader;
using nyrhost::WireWriter;

namespace {

enum ValueForm : uint8_t { kBody = 0, kRaw = 1 };
constexpr std::size_t kUnionSize = sizeof(_element_datatype_t::value);
// True for the types a body holds.
bool body_holds(int32_t type) {
    return type != DATATYPE_INVALID && nyrhost::is_known_type(type);
}
// A string or blob whose bytes are not there: a null pointer with a length.
bool missing_payload(const _element_datatype_t& value) {
    return nyrhost::has_payload(value.type) && value.value.blob_value.data == nullptr &&
           value.value.blob_value.length != 0;
}

}  // namespace

// A null text travels as its own length; a name with a null pointer and no length as "".
void FieldWriter::operator()(const _byte_array_t& v) {
    if (v.length == kNullText) return w.u32(kNullText);
    w.u32(v.length);
    w.bytes(v.data != nullptr ? v.data : "", v.length);
    w.u8(0);
}

void FieldWriter::operator()(const char* text) {
    (*this)(_byte_array_t{const_cast<char*>(text),
                          text ? static_cast<uint32_t>(std::strlen(text)) : kNullText});
}

// A known type travels raw only as a string or blob without its bytes, which the store refuses.
void FieldWriter::operator()(const _element_datatype_t& value) {
    w.u32(value._fill);
    const bool whole = body_holds(value.type) && !missing_payload(value);
    w.u8(whole ? kBody : kRaw);
    if (whole) return nyrhost::write_value_body(w, value, true);
    w.i32(value.type);
    w.i32(value.timestamp.tv_sec);
    w.i32(value.timestamp.tv_usec);
    w.bytes(&value.value, kUnionSize);
}

void FieldWriter::operator()(const _event_t& record) {
    w.u32(record.value._fill);
    const bool raw = !body_holds(record.value.type);
    w.u8(raw ? 1 : 0);
    if (!raw) return nyrhost::write_event(w, record);
    w.i32(record.value.type);
    w.bytes(&record.value.value, kUnionSize);
    _event_t typeless = record;
    typeless.value.type = DATATYPE_INVALID;
    nyrhost::write_event(w, typeless);
}

void FieldWriter::operator()(const struct timeval* time) {
    w.u8(time != nullptr ? 1 : 0);
    if (time == nullptr) return;
    w.u64(static_cast<uint64_t>(static_cast<int64_t>(time->tv_sec)));
    w.u64(static_cast<uint64_t>(static_cast<int64_t>(time->tv_usec)));
}

// A text read in place: it points into the reader's input.
const char* FieldReader::ptext(uint32_t& length) {
    length = r.u32();
    if (!r.ok() || length == kNullText) return length = 0, nullptr;
    const char* at = r.take(std::size_t{length} + 1);
    if (at == nullptr || at[length] != '\0') r.fail();
    return r.ok() ? at : nullptr;
}

void FieldReader::operator()(const char*& text) {
    uint32_t length = 0;
    text = ptext(length);
}

void FieldReader::operator()(_byte_array_t& v) {
    v.data = const_cast<char*>(ptext(v.length));
    if (v.data == nullptr) r.fail();
}

void FieldReader::operator()(_element_datatype_t& value) {
    const uint32_t fill = r.u32();
    const uint8_t form = r.u8();
    if (!r.ok()) return;
    if (form == kBody && request) {
        if (!nyrhost::read_value_body_in_place(r, value) || !body_holds(value.type))
            return r.fail();
        value._fill = fill;
        return;
    }
    if (form == kBody) {
        std::string& payload = memory.texts.emplace_back();
        if (!nyrhost::read_value_body(r, value, payload) || !body_holds(value.type))
            return r.fail();
        if (nyrhost::has_payload(value.type)) value.value.blob_value.data = &payload[0];
        value._fill = fill;
        return;
    }
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    value._fill = fill;
    value.type = static_cast<data_type_t>(r.i32());
    value.timestamp.tv_sec = r.i32();
    value.timestamp.tv_usec = r.i32();
    const char* bytes = r.take(kUnionSize);
    if (bytes != nullptr) std::memcpy(static_cast<void*>(&value.value), bytes, kUnionSize);
    if (form != kRaw || (body_holds(value.type) && !missing_payload(value))) r.fail();
}

namespace {

// An event record: its fill word and a raw value (a type this side may not know, with its union's
// bytes) around the event itself, which `read_body` reads and whose value it returns, or null.
template <typename ReadBody>
bool read_record(WireReader& r, ReadBody read_body) {
    const uint32_t fill = r.u32();
    const uint8_t raw = r.u8();
    int32_t type = DATATYPE_INVALID;
    const char* bytes = nullptr;
    if (raw == 1) {
        type = r.i32();
        bytes = r.take(kUnionSize);
    }
    _element_datatype_t* value =
        !r.ok() || raw > 1 || (raw == 1 && body_holds(type)) ? nullptr : read_body();
    if (value == nullptr) return r.fail(), false;
    value->_fill = fill;
    if (raw == 1) {
        if (value->type != DATATYPE_INVALID) return r.fail(), false;
        value->type = static_cast<data_type_t>(type);
        std::memcpy(static_cast<void*>(&value->value), bytes, kUnionSize);
    }
    return true;
}

}  // namespace

// In a request the record's texts stay in the input; in a reply they are copied to `memory`.
void FieldReader::operator()(_event_t& v) {
    if (request) return in_place(v);
    nyrhost::OwnedEvent out;
    if (read_record(r, [&] { return nyrhost::read_event(r, out) ? &out.scalars.value : nullptr; }))
        nyrhost::to_record(out, v, memory.texts);
}

bool read_request_record(WireReader& r, _event_t& v) {
    std::memset(static_cast<void*>(&v), 0, sizeof v);
    return read_record(r, [&] { return nyrhost::read_event_in_place(r, v) ? &v.value : nullptr; });
}

void FieldReader::in_place(_event_t& v) {
    if (!read_request_record(r, v)) return;
    // The lists were made as they were read; asked for now, they still count in the budget.
    const std::size_t lists = std::size_t{v.waveform_url_count} + 2 * std::size_t{v.detail_count};
    if (lists != 0) afford(lists * sizeof(_byte_array_t));
}

void FieldReader::encoded(const _event_t*& p, uint32_t n, const char*& at, std::size_t& size) {
    if (!request) return array(p, n);
    if (!room_for(n, min_size(_event_t{}))) return;
    const std::size_t before = r.remaining();
    at = r.take(0);
    for (uint32_t k = 0; k < n && r.ok(); ++k) {
        struct Read {
            _event_t record{};
            ~Read() { destruct_event(&record); }
        } read;
        if (!read_request_record(r, read.record)) return;
    }
    size = before - r.remaining();
}

void FieldReader::operator()(const struct timeval*& v) {
    const uint8_t present = r.u8();
    auto* time = memory.alloc<struct timeval>(1);
    if (present == 1) {
        time->tv_sec = static_cast<time_t>(static_cast<int64_t>(r.u64()));
        time->tv_usec = static_cast<suseconds_t>(static_cast<int64_t>(r.u64()));
    }
    if (present > 1) r.fail();
    v = present == 1 ? time : nullptr;
}

void FieldReader::records(_event_t*& p, uint32_t n) {
    p = nullptr;
    if (n == 0 || !room_for(n, min_size(_event_t{}))) return;
    handed.emplace(n);
    for (uint32_t k = 0; k < n && r.ok(); ++k) (*this)(handed->next());
    p = handed->data();
}

}  // namespace nyrproto
