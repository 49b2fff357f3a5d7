// An event as the SQLite log keeps it, and back.
#include "log/log_entry.h"

#include <cstring>
#include <deque>
#include <memory>
#include <new>

#include "codec/byte_cursor.h"
#include "codec/wire_format.h"
#include "log/crc32c.h"

#ifdef NYR_HAVE_SQLITE
#include "log/sqlite_db.h"
#endif

namespace nyrhost {

namespace {

// True for the type codes whose value the event encoding holds whole.
bool body_holds(int32_t type) {
    return type != DATATYPE_INVALID && is_known_type(type);
}

constexpr std::size_t kRawValueSize = 4 + sizeof(_element_datatype_t::value);

uint32_t checksum_of(const EntryRow& row) {
    Crc32c crc;
    crc.text(row.path);
    crc.u64(static_cast<uint64_t>(row.sec));
    crc.u64(static_cast<uint64_t>(row.usec));
    crc.u64(static_cast<uint64_t>(row.kind));
    crc.text(row.body);
    crc.u64(static_cast<uint64_t>(row.value_fill));
    crc.u64(row.raw_value ? 1 : 0);  // absent and empty differ
    if (row.raw_value) crc.text(*row.raw_value);
    return crc.value();
}

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
    entry.checksum = checksum_of(row_of(event, entry));
    return entry;
}

EntryRow row_of(const OwnedEvent& event, const LogEntry& entry) {
    EntryRow row;
    row.path = event.path;
    row.sec = event.scalars.event_time.tv_sec;
    row.usec = event.scalars.event_time.tv_usec;
    row.kind = event.scalars.type;
    row.body = entry.body;
    row.value_fill = entry.value_fill;
    if (entry.raw_value) row.raw_value = *entry.raw_value;
    row.checksum = entry.checksum;
    return row;
}

bool event_of(const EntryRow& row, OwnedEvent& out) {
    if (row.checksum != int64_t{checksum_of(row)}) return false;
    if (decode_event(row.body.data(), row.body.size(), out) != 0) return false;
    if (row.value_fill < 0 || row.value_fill > int64_t{UINT32_MAX}) return false;
    _element_datatype_t& value = out.scalars.value;
    value._fill = static_cast<uint32_t>(row.value_fill);
    if (!row.raw_value) return true;

    WireReader raw(row.raw_value->data(), row.raw_value->size());
    const int32_t type = raw.i32();
    const char* bytes = raw.take(sizeof value.value);
    if (bytes == nullptr || raw.remaining() != 0 || body_holds(type) ||
        value.type != DATATYPE_INVALID)
        return false;
    value.type = static_cast<data_type_t>(type);
    std::memcpy(static_cast<void*>(&value.value), bytes, sizeof value.value);
    return true;
}

#ifdef NYR_HAVE_SQLITE
EntryRow entry_row_at(sqlite3_stmt* statement, int first) {
    EntryRow row;
    row.path = column_bytes(statement, first);
    row.sec = sqlite3_column_int64(statement, first + 1);
    row.usec = sqlite3_column_int64(statement, first + 2);
    row.kind = sqlite3_column_int64(statement, first + 3);
    row.body = column_bytes(statement, first + 4);
    row.value_fill = sqlite3_column_int64(statement, first + 5);
    if (sqlite3_column_type(statement, first + 6) != SQLITE_NULL)
        row.raw_value = column_bytes(statement, first + 6);
    row.checksum = sqlite3_column_int64(statement, first + 7);
    return row;
}
#endif

}  // namespace nyrhost
