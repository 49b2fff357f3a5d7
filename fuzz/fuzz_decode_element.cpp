// The host store's decoder of the value encoding on arbitrary bytes. What it accepts must be a
// value of a known type whose payload lies in the decoded bytes, and must encode again and decode
// to the same value.
#include <toolkit/element.h>
#include <toolkit/serialize.h>

#include "codec/wire_format.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read past the end is caught.
    std::vector<char> bytes(data, data + size);
    _element_datatype_t decoded;
    std::string payload;
    if (nyrhost::decode_element(bytes.empty() ? nullptr : bytes.data(), bytes.size(), decoded,
                                payload) != 0) {
        return 0;
    }
    fuzz::check(decoded.type >= DATATYPE_INVALID && decoded.type <= DATATYPE_UINT64,
                "a decoded value has a known type");
    if (decoded.type == DATATYPE_STRING || decoded.type == DATATYPE_BLOB) {
        fuzz::check(decoded.value.string_value.length == payload.size(),
                    "a decoded payload has its length");
    }
    toolkit::CElement element;
    element = decoded;
    fuzz::read_everything(element);

    std::vector<char> encoded;
    fuzz::check(toolkit::serialize_element(encoded, element, true) == 0, "a decoded value encodes");
    _element_datatype_t again;
    std::string again_payload;
    fuzz::check(nyrhost::decode_element(encoded.data(), encoded.size(), again, again_payload) == 0,
                "a re-encoded value decodes");
    fuzz::check((element == again) == fuzz::equals_itself(element), "the value round-trips");
    return 0;
}
