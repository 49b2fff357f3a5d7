// The pieces of requests and replies, and the daemon's decoder of requests.
#include "protocol/messages.h"

#include <cstring>

#include "codec/value_body.h"
#include "codec/wire_format.h"
#include "core/record_rules.h"

namespace nyrproto {

using nyrhost::WireReader;
using nyrhost::WireWriter;

namespace {

enum ValueForm : uint8_t { kBody = 0, kRaw = 1, kMissingPayload = 2 };
constexpr std::size_t kUnionSize = sizeof(_element_datatype_t::value);
// The fewest bytes each entry of a counted list takes, so that a count is checked against what
// could follow before anything is allocated for it.
constexpr std::size_t kMinPtext = 4;
constexpr std::size_t kMinValue = 4 + 1 + 1 + 4 + 8;  // fill, form, flags, type, time stamp
constexpr std::size_t kMinEvent = 4 + 1 + 5;          // fill, raw, magic and version

// True for the values a body holds whole.
bool body_holds(int32_t type) {
    return type != DATATYPE_INVALID && nyrhost::is_known_type(type);
}

bool read_count(WireReader& r, uint32_t& count, std::size_t min_entry) {
    count = r.u32();
    if (r.ok() && count <= r.remaining() / min_entry) return true;
    r.fail();
    return false;
}

bool read_paths(WireReader& r, std::vector<const char*>& paths) {
    uint32_t count = 0;
    if (!read_count(r, count, kMinPtext)) return false;
    paths.resize(count);
    for (const char*& path : paths)
        if (!read_ptext(r, path)) return false;
    return true;
}

bool read_set_leaves(WireReader& r, Request& out) {
    if (!read_paths(r, out.paths)) return false;
    const std::size_t count = out.paths.size();
    if (count > r.remaining() / kMinValue) return false;
    out.values.resize(count);
    out.tribools.resize(count);
    out.auto_times.reset(new bool[count == 0 ? 1 : count]);
    for (std::size_t k = 0; k < count; ++k) {
        if (!read_value(r, out.values[k], out.payloads.emplace_back())) return false;
        out.tribools[k] = r.i32();
        out.auto_times[k] = r.u8() != 0;
    }
    return read_ptext(r, out.source);
}

bool read_body(WireReader& r, Request& out) {
    switch (out.op) {
        case Op::kAddNode:
        case Op::kRemoveNode:
        case Op::kClearLeaf:
            return read_ptext(r, out.path) && read_ptext(r, out.source);
        case Op::kSetLeaf:
            out.values.resize(1);
            if (!read_ptext(r, out.path) ||
                !read_value(r, out.values[0], out.payloads.emplace_back()))
                return false;
            out.i = r.i32();
            out.flag = r.u8() != 0;
            return read_ptext(r, out.source);
        case Op::kTestNode:
        case Op::kGetLeaf:
            return read_ptext(r, out.path);
        case Op::kTestNodes:
        case Op::kGetLeaves:
            return read_paths(r, out.paths);
        case Op::kAddNodes:
        case Op::kRemoveNodes:
        case Op::kClearLeaves:
            return read_paths(r, out.paths) && read_ptext(r, out.source);
        case Op::kSetLeaves:
            return read_set_leaves(r, out);
        case Op::kListNode:
            if (!read_ptext(r, out.path)) return false;
            out.a = r.u32();
            out.b = r.u32();
            out.c = r.u32();
            return true;
        case Op::kMplFetch:
            if (!read_ptext(r, out.path)) return false;
            out.a = r.u32();
            out.b = r.u32();
            return true;
        case Op::kEventRegister:
        case Op::kEventClear:
            if (!read_ptext(r, out.path)) return false;
            out.i = r.i32();
            if (out.op == Op::kEventRegister) out.flag = r.u8() != 0;
            return true;
        case Op::kEventsSend:
            return read_events(r, out.events);
        case Op::kLogStore:
            if (!read_events(r, out.events)) return false;
            out.flag = r.u8() != 0;
            return true;
        case Op::kLogRetrieve:
        case Op::kLogClear:
            if (!read_ptext(r, out.path) || !read_time(r, out.has_from, out.from) ||
                !read_time(r, out.has_to, out.to))
                return false;
            if (out.op == Op::kLogRetrieve) {
                out.a = r.u32();
                out.flag = r.u8() != 0;
                out.b = r.u32();
            }
            return true;
        case Op::kWatchdogRegister:
            if (!read_ptext(r, out.path)) return false;
            out.a = r.u32();
            out.flag = r.u8() != 0;
            return true;
        case Op::kSetVerbosity:
            out.i = r.i32();
            out.a = r.u32();
            return read_ptext(r, out.path);
        case Op::kSyslogAdd:
            if (!read_ptext(r, out.path)) return false;
            out.i = r.i32();
            return read_ptext(r, out.source) && read_ptext(r, out.third);
        case Op::kVerbosity:
            out.i = r.i32();
            return true;
        case Op::kSyslogEntry:
            out.a = r.u32();
            return true;
        case Op::kEventsGet:
        case Op::kEventsGetNonblocking:
        case Op::kWatchdogPing:
        case Op::kWatchdogClear:
        case Op::kOverflowCount:
        case Op::kQueuedCount:
        case Op::kWatchdogState:
        case Op::kSyslogCount:
            return true;
    }
    return false;
}

}  // namespace

void write_ptext(WireWriter& w, const char* text) {
    if (text == nullptr) {
        w.u32(kNullText);
        return;
    }
    write_ptext(w, text, static_cast<uint32_t>(std::strlen(text)));
}

void write_ptext(WireWriter& w, const char* data, uint32_t length) {
    if (data == nullptr && length == 0) data = "";
    w.u32(length);
    w.bytes(data, length);
    w.u8(0);
}

void write_paths(WireWriter& w, const char* const* paths, uint32_t count) {
    w.u32(count);
    for (uint32_t k = 0; k < count; ++k) write_ptext(w, paths[k]);
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

void write_events(WireWriter& w, const _event_t* records, uint32_t count) {
    w.u32(count);
    for (uint32_t k = 0; k < count; ++k) nyrproto::write_event(w, records[k]);
}

void write_time(WireWriter& w, const struct timeval* time) {
    w.u8(time != nullptr ? 1 : 0);
    if (time == nullptr) return;
    w.u64(static_cast<uint64_t>(static_cast<int64_t>(time->tv_sec)));
    w.u64(static_cast<uint64_t>(static_cast<int64_t>(time->tv_usec)));
}

bool read_ptext(WireReader& r, const char*& text) {
    uint32_t length = 0;
    return read_ptext(r, text, length);
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

bool read_events(WireReader& r, std::vector<nyrhost::OwnedEvent>& out) {
    uint32_t count = 0;
    if (!read_count(r, count, kMinEvent)) return false;
    out.clear();
    for (uint32_t k = 0; k < count; ++k)
        if (!nyrproto::read_event(r, out.emplace_back())) return false;
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

bool decode_request(const char* body, std::size_t size, Request& out) {
    WireReader r(body, size);
    const uint8_t op = r.u8();
    if (!r.ok() || op < static_cast<uint8_t>(Op::kAddNode) || op > static_cast<uint8_t>(Op::kLast))
        return false;
    out.op = static_cast<Op>(op);
    out.path = out.source = out.third = nullptr;
    out.i = 0;
    out.a = out.b = out.c = 0;
    out.flag = out.has_from = out.has_to = false;
    out.paths.clear();
    out.values.clear();
    out.tribools.clear();
    out.payloads.clear();
    out.events.clear();
    return read_body(r, out) && r.ok() && r.remaining() == 0;
}

}  // namespace nyrproto
