// Arbitrary value records, as the store could hand them back: any type code 0-255, any time
// stamp and value bytes, and for strings and blobs a payload whose length matches the bytes the
// record points to. The element takes the record over; then every reader, text form, export and
// conversion runs, and the value goes through the wire encoding and back.
#include <toolkit/element.h>
#include <toolkit/serialize.h>

#include "codec/wire_format.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    _element_datatype_t record;
    std::memset(&record, 0, sizeof record);
    record.type = static_cast<data_type_t>(in.u8());
    in.fill(&record.timestamp, sizeof record.timestamp);
    in.fill(&record._fill, sizeof record._fill);
    in.fill(&record.value, sizeof record.value);
    std::string payload = in.rest();
    if (record.type == DATATYPE_STRING || record.type == DATATYPE_BLOB) {
        // The store's memory: exactly `length` bytes, no terminator.
        record.value.string_value.data = payload.empty() ? nullptr : &payload[0];
        record.value.string_value.length = static_cast<uint32_t>(payload.size());
    }

    toolkit::CElement element;
    element = record;
    fuzz::check(element.type == record.type, "assignment takes the type");
    fuzz::check_payload_invariant(element);
    if (record.type == DATATYPE_STRING) {
        fuzz::check(element.string_buffer() == payload, "assignment copies the text");
    } else if (record.type == DATATYPE_BLOB) {
        fuzz::check(
            std::string(element.blob_buffer().begin(), element.blob_buffer().end()) == payload,
            "assignment copies the bytes");
    } else {
        fuzz::check(fuzz::same_record(element, record), "assignment copies the record");
    }
    fuzz::check((element == record) == fuzz::equals_itself(element),
                "an element equals the record it took over");
    // The element keeps no reference to the store's memory.
    const toolkit::CElement before(element);
    payload.assign(payload.size(), '\x7f');
    fuzz::check((element == before) == fuzz::equals_itself(element),
                "changing the store's memory leaves the element alone");

    fuzz::read_everything(element);
    fuzz::convert_everything(element);

    // Moving keeps the value; an explicit time stamp replaces the moved one.
    toolkit::CElement source(element);
    toolkit::CElement moved(std::move(source), timeval{100, 5});
    fuzz::check_payload_invariant(moved);
    fuzz::check(moved.timestamp.tv_sec == 100 && moved.timestamp.tv_usec == 5,
                "moving with a time stamp sets it");
    fuzz::check((moved == element) == fuzz::equals_itself(element), "moving keeps the value");

    // Through the wire encoding and back: the same value, and the time stamp when asked for.
    for (bool with_time : {false, true}) {
        std::vector<char> bytes;
        const int result = toolkit::serialize_element(bytes, element, with_time);
        if (record.type < DATATYPE_INVALID || record.type > DATATYPE_UINT64) {
            fuzz::check(result != 0, "an unknown type code is not encoded");
            continue;
        }
        fuzz::check(result == 0, "a value of a known type is encoded");
        _element_datatype_t decoded;
        std::string decoded_payload;
        fuzz::check(
            nyrhost::decode_element(bytes.data(), bytes.size(), decoded, decoded_payload) == 0,
            "an encoded value decodes");
        fuzz::check(decoded.type == element.type, "decoding keeps the type");
        fuzz::check((element == decoded) == fuzz::equals_itself(element),
                    "decoding keeps the value");
        if (with_time && element.timestamp.tv_sec != -1) {
            fuzz::check(decoded.timestamp.tv_sec == element.timestamp.tv_sec &&
                            decoded.timestamp.tv_usec == element.timestamp.tv_usec,
                        "decoding keeps the time stamp");
        }
        if (!with_time) {
            fuzz::check(decoded.timestamp.tv_sec == -1, "no time stamp unless asked for");
        }
    }
    return 0;
}
