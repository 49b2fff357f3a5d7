// Arbitrary text as a string value: every reader (integer, float, complex and time parses), the
// text form, every conversion, and the string utilities.
#include <toolkit/element.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const toolkit::CElement element(text, timeval{42, 7});
    fuzz::check(element.type == DATATYPE_STRING, "a text makes a string value");
    fuzz::check(element.string_buffer() == text, "the string value holds the text");
    fuzz::check_payload_invariant(element);

    fuzz::read_everything(element);
    fuzz::convert_everything(element);

    // A string converted to a string is its own text.
    toolkit::CElement same(element);
    same.convert_type(DATATYPE_STRING);
    fuzz::check(same.string_buffer() == text, "string to string keeps the text");

    // A string converted to a blob holds its characters.
    toolkit::CElement blob(element);
    blob.convert_type(DATATYPE_BLOB);
    fuzz::check(std::string(blob.blob_buffer().begin(), blob.blob_buffer().end()) == text,
                "string to blob gives the characters");

    // String utilities on the same text.
    const char separator = size > 0 ? static_cast<char>(data[0]) : ',';
    std::vector<std::string> parts{"stale"};
    toolkit::CElement::split_string(parts, text, separator);
    std::size_t separators = 0;
    for (char c : text) separators += c == separator ? 1 : 0;
    fuzz::check(parts.size() == (text.empty() ? 0 : separators + 1),
                "n separators split into n + 1 pieces");
    std::string merged = "stale";
    toolkit::CElement::merge_strings(merged, parts);
    if (separator == ';') fuzz::check(merged == text, "splitting at ';' and joining restores");
    std::string escaped = text;
    toolkit::CElement::xml_escape(escaped);
    fuzz::check(escaped.size() >= text.size(), "escaping never shortens a text");
    return 0;
}
