// Byte vectors of store records: the store encodes, these functions manage the buffer for it.
#include <toolkit/serialize.h>

namespace toolkit {

namespace {

_byte_array_t describe(std::vector<char>& out) {
    _byte_array_t buffer;
    buffer.data = out.data();
    buffer.length = static_cast<uint32_t>(out.size());
    return buffer;
}

// Offers `out` as it is; when the store answers with the size it needs, grows `out` to exactly
// that and offers it once more. `encode` makes one store call with a fresh copy of the record.
template <typename Encode>
int encode_into(std::vector<char>& out, Encode encode) {
    _byte_array_t buffer = describe(out);
    int result = encode(buffer);
    if (result > 0) {
        out.resize(static_cast<std::size_t>(result));
        buffer = describe(out);
        result = encode(buffer);
    }
    if (result == 0) out.resize(buffer.length);
    return result;
}

}  // namespace

int serialize_event(std::vector<char>& out, const _event_t& event) {
    return encode_into(
        out, [&event](_byte_array_t& buffer) { return ::serialize_event(&buffer, event); });
}

int serialize_element(std::vector<char>& out, const _element_datatype_t& value, bool flag) {
    return encode_into(out, [&value, flag](_byte_array_t& buffer) {
        return ::serialize_element(&buffer, value, flag);
    });
}

}  // namespace toolkit
