// Values as people type and read them on the command line: "[TYPE:]VALUE", type names and times.
#ifndef NYR_TOOL_VALUE_TEXT_H
#define NYR_TOOL_VALUE_TEXT_H

#include <toolkit/element.h>

#include <string>

namespace nyr_tool {

// The name nyr uses for a data type ("bool", "int32", ..., "bytes"); "invalid" for codes outside
// 1..10.
const char* type_name(data_type_t type);
// The data type of a name; DATATYPE_INVALID for a name nyr does not know.
data_type_t type_from_name(const std::string& name);

// Parses "[TYPE:]VALUE". A leading run of lower-case letters and digits followed by ":" is a type
// name and must be one nyr knows; anything else is a string as it is (write "string:" in front of
// a text that starts like a type name). Throws a usage error for an unknown type name and an
// input error for a value that does not fit its type.
toolkit::CElement parse_typed_value(const std::string& text);
// Parses VALUE as a value of `type` (as above); throws when it does not fit.
toolkit::CElement parse_value(data_type_t type, const std::string& text);

// A time as "YYYY-MM-DDThh:mm:ss.uuuuuuZ" (UTC), or "-" for a time stamp that is not set.
std::string time_text(qel_time32_t time);
// Parses "YYYY-MM-DDThh:mm:ss[.ffffff]Z" or "SECONDS[.ffffff]" into a time within the records'
// 32-bit seconds; false when the text is neither.
bool parse_time(const std::string& text, qel_time32_t& out);

// Parses a comma-separated list of event kinds: numbers (kind bits such as 0x8), "tree" for the
// host store's tree changes and "all" for every kind. Throws a usage error for kind 0 or an
// empty list, an input error for a part that is no number.
api_event_t parse_kinds(const std::string& list);

// The library's text of a value.
std::string value_text(const toolkit::CElement& value);

}  // namespace nyr_tool

#endif  // NYR_TOOL_VALUE_TEXT_H
