// Deep copies of values written into the tree and records built from them for readers.
#include "core/value.h"

#include <cstring>

namespace nyrhost {

int make_leaf(const _element_datatype_t& record, bool auto_time, qel_tribool_t tribool,
              LeafValue& out) {
    const int32_t type = static_cast<int32_t>(record.type);
    if (type < DATATYPE_BOOL || type > DATATYPE_UINT64) return QEL_STATUS_BAD_TYPE;
    out.record = record;
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
