// Deep copies of values written into the tree and records built from them for readers.
#include "core/value.h"

#include <cstring>

namespace nyrhost {

namespace {

// The value union with only the member the type names copied and every other byte zero: the
// bytes a type does not use mean nothing, and a leaf read back from a store file has them zero.
decltype(_element_datatype_t::value) typed_member(const _element_datatype_t& record) {
    decltype(_element_datatype_t::value) kept{};
    const auto& v = record.value;
    switch (record.type) {
        case DATATYPE_BOOL:
            kept.bool_value = v.bool_value;
            break;
        case DATATYPE_INT:
            kept.int_value = v.int_value;
            break;
        case DATATYPE_UINT:
            kept.uint_value = v.uint_value;
            break;
        case DATATYPE_FLOAT:
            kept.float_value = v.float_value;
            break;
        case DATATYPE_TIME:
            kept.time_value = v.time_value;
            break;
        case DATATYPE_STRING:
            kept.string_value = v.string_value;
            break;
        case DATATYPE_BLOB:
            kept.blob_value = v.blob_value;
            break;
        case DATATYPE_COMPLEX:
            kept.complex_value = v.complex_value;
            break;
        case DATATYPE_INT64:
            kept.int64_value = v.int64_value;
            break;
        case DATATYPE_UINT64:
            kept.uint64_value = v.uint64_value;
            break;
        default:
            break;
    }
    return kept;
}

}  // namespace

int make_leaf(const _element_datatype_t& record, bool auto_time, qel_tribool_t tribool,
              LeafValue& out) {
    const int32_t type = static_cast<int32_t>(record.type);
    if (type < DATATYPE_BOOL || type > DATATYPE_UINT64) return QEL_STATUS_BAD_TYPE;
    out.record = record;
    out.record.value = typed_member(record);
    out.bytes.reset();
    if (has_payload(type)) {
        const _byte_array_t& bytes = record.value.string_value;
        if (bytes.data == nullptr && bytes.length != 0) return QEL_STATUS_BAD_ARGUMENT;
        if (bytes.length != 0) {
            out.bytes.reset(new char[bytes.length]);
            std::memcpy(out.bytes.get(), bytes.data, bytes.length);
        }
        out.record.value.string_value = _byte_array_t{nullptr, bytes.length};
    }
    if (auto_time) out.record.timestamp = now32();
    out.property = static_cast<element_property_t>(tribool);
    return QEL_STATUS_OK;
}

_element_datatype_t hand_out(const LeafValue& leaf, Scratch& scratch) {
    _element_datatype_t record = leaf.record;
    if (has_payload(static_cast<int32_t>(record.type)))
        record.value.string_value = scratch.keep(leaf.payload());
    return record;
}

}  // namespace nyrhost
