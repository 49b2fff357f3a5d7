// An event as the SQLite log keeps it, and back.
#include "log/log_entry.h"

#include <array>
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

// CRC-32C (Castagnoli polynomial, reflected), eight bytes a step through eight tables (the
// "slicing" method): the checksum runs on every stored event, so it must not cost a table look-up
// per byte.
class Crc32c {
public:
    void bytes(const void* data, std::size_t n) {
        static const Tables tables = make_tables();
        const auto* p = static_cast<const unsigned char*>(data);
        uint32_t c = crc_;
        for (; n >= 8; n -= 8, p += 8) {
            const uint32_t low = c ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                      uint32_t{p[3]} << 24);
            c = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^
                tables[5][(low >> 16) & 0xFF] ^ tables[4][low >> 24] ^ tables[3][p[4]] ^
                tables[2][p[5]] ^ tables[1][p[6]] ^ tables[0][p[7]];
        }
        for (; n > 0; --n, ++p) c = tables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
        crc_ = c;
    }
    void u64(uint64_t v) {
        unsigned char b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (56 - 8 * i));
        bytes(b, sizeof b);
    }
    void text(std::string_view t) {
        u64(t.size());
        bytes(t.data(), t.size());
    }
    uint32_t value() const { return ~crc_; }

private:
    using Tables = std::array<std::array<uint32_t, 256>, 8>;
    static Tables make_tables() {
        Tables t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
            t[0][i] = c;
        }
        for (std::size_t k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }

    uint32_t crc_ = 0xFFFFFFFFu;
};

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

}  // namespace nyrhost
