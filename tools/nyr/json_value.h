// Values and events as JSON, without loss: every data type, doubles bit for bit, time stamps.
//
// A value is the members "type" (a name of value_text.h), "value" and, when the value has a time
// stamp, "time" ([seconds, microseconds]). "value" by type: bool true/false; the integer types a
// JSON integer; double a JSON number when it is finite and not -0, otherwise the text "0x" and
// the 16 hexadecimal digits of its bits (NaN payloads, infinities, -0); complex [re, im], each as
// a double; time [seconds, microseconds]; string the text when it is valid UTF-8, otherwise
// {"base64": "..."} with its bytes; bytes the Base64 text of the bytes.
#ifndef NYR_TOOL_JSON_VALUE_H
#define NYR_TOOL_JSON_VALUE_H

#include <toolkit/element.h>
#include <toolkit/event.h>

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace nyr_tool {

using Json = nlohmann::json;

// Adds "type", "value" and (when set) "time" of `value` to the object `out`.
void put_value(const toolkit::CElement& value, Json& out);
// The value described by the members "type", "value" and "time" of `in`. Throws an input error
// naming `where` when they are missing, of the wrong kind or out of range.
toolkit::CElement take_value(const Json& in, const std::string& where);

// An event with the members its kind carries (every kind: type, path, cmd, value, source,
// was_logged, event_time, cause and quality, or severity for kind 0x100; the generic kinds also
// the generic members, the alarm kinds the alarm members, kind 0x20 final); the value as an
// object of put_value().
Json event_to_json(const toolkit::CEvent& event);
// An event from an object with any of event_to_json()'s members; the others keep the defaults of
// an event of its "type" (0 when absent). Unknown members are refused.
toolkit::CEvent event_from_json(const Json& in);

// A text (a path, a name) as a JSON string when it is valid UTF-8, otherwise {"base64": "..."}.
Json text_json(const std::string& text);
// The text of text_json(); throws an input error naming `where` for anything else.
std::string take_text(const Json& in, const std::string& where);

// True when `text` is valid UTF-8 and so can be written as a JSON string as it is.
bool is_utf8(const std::string& text);
// The length of the valid UTF-8 sequence that starts at byte `i` of `text` (i < size), with its
// code point in `code`; 0 when the bytes there are not one.
std::size_t utf8_length(const std::string& text, std::size_t i, uint32_t& code);

}  // namespace nyr_tool

#endif  // NYR_TOOL_JSON_VALUE_H
