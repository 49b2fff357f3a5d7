// An event as the SQLite log keeps it, and back.
#include "log/log_entry.h"

#include <cstring>
#include <deque>
#include <memory>
#include <new>

#include "codec/byte_cursor.h"
#include "codec/wire_format.h"

namespace nyrhost {

namespace {

// True for the type codes whose value the event encoding holds whole.
bool body_holds(int32_t type) {
    return type != DATATYPE_INVALID && is_known_type(type);
}

constexpr std::size_t kRawValueSize = 4 + sizeof(_element_datatype_t::value);

}  // namespace

LogEntry entry_of(const OwnedEvent& event) {
    // The encoder reads records: build one, with its list arrays released on every way out.
    _event_t record{};
    std::unique_ptr<_event_t, void (*)(_event_t*)> release(&record, destruct_event);
    std::deque<std::string> texts;
    to_record(event, record, texts);
    // to_record leaves out a list whose array it could not allocate; the log must not.
    if (record.waveform_url_count != event.waveform_urls.size() ||
        record.detail_count != event.details.size())
        throw std::bad_alloc();

    LogEntry entry;
    const _element_datatype_t& value = event.scalars.value;
    entry.value_fill = value._fill;
    if (!body_holds(value.type)) {
        entry.raw_value.emplace(kRawValueSize, '\0');
        WireWriter raw(&(*entry.raw_value)[0]);
        raw.i32(value.type);
        raw.bytes(&value.value, sizeof value.value);
        record.value.type = DATATYPE_INVALID;
    }
    entry.body = encode_event(record);
    return entry;
}

bool event_of(std::string_view body, int64_t value_fill, std::optional<std::string_view> raw_value,
              OwnedEvent& out) {
    if (decode_event(body.data(), body.size(), out) != 0) return false;
    if (value_fill < 0 || value_fill > int64_t{UINT32_MAX}) return false;
    _element_datatype_t& value = out.scalars.value;
    value._fill = static_cast<uint32_t>(value_fill);
    if (!raw_value) return true;

    WireReader raw(raw_value->data(), raw_value->size());
    const int32_t type = raw.i32();
    const char* bytes = raw.take(sizeof value.value);
    if (bytes == nullptr || raw.remaining() != 0 || body_holds(type) ||
        value.type != DATATYPE_INVALID)
        return false;
    value.type = static_cast<data_type_t>(type);
    std::memcpy(static_cast<void*>(&value.value), bytes, sizeof value.value);
    return true;
}

}  // namespace nyrhost
