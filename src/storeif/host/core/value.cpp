// Deep copies of values written into the tree and records built from them for readers.
#include "core/value.h"

#include <cstddef>
#include <cstring>

namespace nyrhost {

namespace {

using ValueUnion = decltype(_element_datatype_t::value);

// The bytes each type's member of the value union takes (at its start, as every member does), by
// type code 0..10; a string's or blob's pair without the padding after its length.
constexpr std::size_t kPairSize = offsetof(_byte_array_t, length) + sizeof(uint32_t);
constexpr std::size_t kMemberSize[] = {0,
                                       sizeof(uint8_t),
                                       sizeof(int32_t),
                                       sizeof(uint32_t),
                                       sizeof(double),
                                       sizeof(qel_time32_t),
                                       kPairSize,
                                       kPairSize,
                                       sizeof(_complex_t),
                                       sizeof(int64_t),
                                       sizeof(uint64_t)};

// The value union with only the member the type names copied and every other byte zero: the
// bytes a type does not use mean nothing, and a leaf read back from a store file has them zero.
ValueUnion typed_member(const _element_datatype_t& record) {
    ValueUnion kept{};
    const int32_t type = record.type;
    if (type >= DATATYPE_INVALID && type <= DATATYPE_UINT64)
        std::memcpy(static_cast<void*>(&kept), &record.value, kMemberSize[type]);
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
