// A leaf of the tree as a store file keeps it, and back.
#include "persist/tree_row.h"

#include "codec/wire_format.h"
#include "core/record_rules.h"
#include "core/value.h"
#include "log/crc32c.h"

#ifdef NYR_HAVE_SQLITE
#include "log/sqlite_db.h"
#endif

namespace nyrhost {

std::string encode_leaf_value(const _element_datatype_t& record, std::string_view payload) {
    _element_datatype_t full = record;
    if (has_payload(static_cast<int32_t>(record.type)))
        full.value.string_value =
            _byte_array_t{const_cast<char*>(payload.data()), static_cast<uint32_t>(payload.size())};
    // Larger than any encoding of a value without a payload: one call does, for most leaves.
    std::string out(64 + payload.size(), '\0');
    _byte_array_t buffer{&out[0], static_cast<uint32_t>(out.size())};
    if (serialize_element(&buffer, full, true) != 0) throw std::bad_alloc();
    out.resize(buffer.length);
    return out;
}

uint32_t tree_row_checksum(const TreeRow& row) {
    Crc32c crc;
    crc.text(row.path);
    crc.u64(row.value ? 1 : 0);  // a node and a leaf differ
    if (row.value) crc.text(*row.value);
    crc.u64(static_cast<uint64_t>(row.fill));
    crc.u64(static_cast<uint64_t>(row.property));
    return crc.value();
}

bool leaf_of(const TreeRow& row, LeafValue& out) {
    if (!row.value || row.checksum != int64_t{tree_row_checksum(row)}) return false;
    if (row.fill < 0 || row.fill > int64_t{UINT32_MAX} || row.property < 0 ||
        row.property > int64_t{UINT32_MAX})
        return false;
    std::string payload;
    _element_datatype_t record{};
    if (decode_element(row.value->data(), row.value->size(), record, payload) != 0) return false;
    // The leaf a write of the value would have made, with the row's fill word.
    const auto property = static_cast<qel_tribool_t>(static_cast<element_property_t>(row.property));
    if (make_leaf(record, false, property, out) != QEL_STATUS_OK) return false;
    out.record._fill = static_cast<uint32_t>(row.fill);
    return true;
}

bool tree_entry_of(const TreeRow& row, Path& path, LeafValue& leaf) {
    if (Path::parse(row.path, path) != QEL_STATUS_OK || path.text() != row.path) return false;
    if (row.value) return leaf_of(row, leaf);
    return row.fill == 0 && row.property == 0 && row.checksum == int64_t{tree_row_checksum(row)};
}

#ifdef NYR_HAVE_SQLITE
TreeRow tree_row_at(sqlite3_stmt* statement) {
    TreeRow row;
    row.path = column_bytes(statement, 0);
    if (sqlite3_column_type(statement, 1) != SQLITE_NULL) row.value = column_bytes(statement, 1);
    row.fill = sqlite3_column_int64(statement, 2);
    row.property = sqlite3_column_int64(statement, 3);
    row.checksum = sqlite3_column_int64(statement, 4);
    return row;
}
#endif

}  // namespace nyrhost
