// The JSON form of values and events that export, import, get, ls, watch, log and send share.
#include "json_value.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base64.h"
#include "tool_error.h"
#include "value_text.h"

namespace nyr_tool {

namespace {

Json time_json(qel_time32_t time) {
    return Json::array({time.tv_sec, time.tv_usec});
}

Json double_json(double value) {
    if (std::isfinite(value) && !(value == 0 && std::signbit(value))) return value;
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, bits);
    return text;
}

[[noreturn]] void bad(const std::string& where, const std::string& why) {
    throw refused(where + ": " + why);
}

double take_double(const Json& in, const std::string& where) {
    if (in.is_number()) return in.get<double>();
    if (in.is_string()) {
        const std::string& text = in.get_ref<const std::string&>();
        uint64_t bits = 0;
        int used = 0;
        if (text.size() == 18 &&
            std::sscanf(text.c_str(), "0x%16" SCNx64 "%n", &bits, &used) == 1 && used == 18) {
            double value = 0;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
    }
    bad(where, "a double is a number or \"0x\" and 16 hexadecimal digits of its bits");
}

qel_time32_t take_time(const Json& in, const std::string& where) {
    if (!in.is_array() || in.size() != 2 || !in[0].is_number_integer() ||
        !in[1].is_number_integer())
        bad(where, "a time is [seconds, microseconds]");
    const int64_t seconds = in[0].get<int64_t>();
    const int64_t usec = in[1].get<int64_t>();
    if (seconds < std::numeric_limits<int32_t>::min() ||
        seconds > std::numeric_limits<int32_t>::max() ||
        usec < std::numeric_limits<int32_t>::min() || usec > std::numeric_limits<int32_t>::max())
        bad(where, "a time's fields are 32-bit numbers");
    return qel_time32_t{static_cast<int32_t>(seconds), static_cast<int32_t>(usec)};
}

template <typename T>
T take_integer(const Json& in, const std::string& where, const char* type) {
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<T>::max());
    constexpr int64_t kMin = static_cast<int64_t>(std::numeric_limits<T>::min());
    if (in.is_number_unsigned()) {
        const uint64_t value = in.get<uint64_t>();
        if (value <= kMax) return static_cast<T>(value);
    } else if (in.is_number_integer()) {
        const int64_t value = in.get<int64_t>();
        if (value >= kMin && (value < 0 || static_cast<uint64_t>(value) <= kMax))
            return static_cast<T>(value);
    }
    bad(where, std::string("value does not fit type ") + type);
}

const Json& member(const Json& in, const char* name, const std::string& where) {
    const auto found = in.find(name);
    if (found == in.end()) bad(where, std::string("\"") + name + "\" is missing");
    return *found;
}

}  // namespace

std::size_t utf8_length(const std::string& text, std::size_t i, uint32_t& code) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char lead = bytes[i];
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

bool is_utf8(const std::string& text) {
    uint32_t code = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_length(text, i, code);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

Json text_json(const std::string& text) {
    if (is_utf8(text)) return text;
    std::string encoded;
    base64_encode(text.data(), text.size(), encoded);
    return Json{{"base64", std::move(encoded)}};
}

std::string take_text(const Json& in, const std::string& where) {
    if (in.is_string()) return in.get<std::string>();
    std::vector<char> bytes;
    const auto encoded = in.is_object() && in.size() == 1 ? in.find("base64") : in.end();
    if (encoded == in.end() || !encoded->is_string() ||
        !base64_decode(encoded->get_ref<const std::string&>(), bytes))
        bad(where, "a text is a JSON string or {\"base64\": \"...\"}");
    return std::string(bytes.begin(), bytes.end());
}

void put_value(const toolkit::CElement& value, Json& out) {
    out["type"] = type_name(value.type);
    Json& slot = out["value"];
    switch (value.type) {
        case DATATYPE_BOOL:
            slot = value.value.bool_value != 0;
            break;
        case DATATYPE_INT:
            slot = value.value.int_value;
            break;
        case DATATYPE_UINT:
            slot = value.value.uint_value;
            break;
        case DATATYPE_INT64:
            slot = value.value.int64_value;
            break;
        case DATATYPE_UINT64:
            slot = value.value.uint64_value;
            break;
        case DATATYPE_FLOAT:
            slot = double_json(value.value.float_value);
            break;
        case DATATYPE_COMPLEX:
            slot = Json::array({double_json(value.value.complex_value.real),
                                double_json(value.value.complex_value.imag)});
            break;
        case DATATYPE_TIME:
            slot = time_json(value.value.time_value);
            break;
        case DATATYPE_STRING:
            slot = text_json(value.string_buffer());
            break;
        case DATATYPE_BLOB: {
            std::string encoded;
            base64_encode(value.blob_buffer().data(), value.blob_buffer().size(), encoded);
            slot = encoded;
            break;
        }
        default:
            slot = nullptr;
            break;
    }
    if (value.timestamp.tv_sec != -1) out["time"] = time_json(value.timestamp);
}

toolkit::CElement take_value(const Json& in, const std::string& where) {
    if (!in.is_object()) bad(where, "a value is an object");
    const Json& type_json = member(in, "type", where);
    if (!type_json.is_string()) bad(where, "\"type\" is a type name");
    const data_type_t type = type_from_name(type_json.get<std::string>());
    if (type == DATATYPE_INVALID)
        bad(where, "unknown type \"" + type_json.get<std::string>() + "\"");
    const Json& slot = member(in, "value", where);
    timeval stamp = toolkit::CElement::_invalid_time;
    const auto time = in.find("time");
    if (time != in.end()) {
        const qel_time32_t parsed = take_time(*time, where);
        stamp = timeval{parsed.tv_sec, parsed.tv_usec};
    }
    switch (type) {
        case DATATYPE_BOOL:
            if (!slot.is_boolean()) bad(where, "a bool is true or false");
            return toolkit::CElement(slot.get<bool>(), stamp);
        case DATATYPE_INT:
            return toolkit::CElement(take_integer<int32_t>(slot, where, "int32"), stamp);
        case DATATYPE_UINT:
            return toolkit::CElement(take_integer<uint32_t>(slot, where, "uint32"), stamp);
        case DATATYPE_INT64:
            return toolkit::CElement(
                static_cast<std::int64_t>(take_integer<int64_t>(slot, where, "int64")), stamp);
        case DATATYPE_UINT64:
            return toolkit::CElement(
                static_cast<std::uint64_t>(take_integer<uint64_t>(slot, where, "uint64")), stamp);
        case DATATYPE_FLOAT:
            return toolkit::CElement(take_double(slot, where), stamp);
        case DATATYPE_COMPLEX:
            if (!slot.is_array() || slot.size() != 2) bad(where, "a complex value is [re, im]");
            return toolkit::CElement(
                std::complex<double>(take_double(slot[0], where), take_double(slot[1], where)),
                stamp);
        case DATATYPE_TIME: {
            const qel_time32_t point = take_time(slot, where);
            return toolkit::CElement::from_time(timeval{point.tv_sec, point.tv_usec}, stamp);
        }
        case DATATYPE_STRING:
            return toolkit::CElement(take_text(slot, where), stamp);
        case DATATYPE_BLOB: {
            std::vector<char> bytes;
            if (!slot.is_string() || !base64_decode(slot.get_ref<const std::string&>(), bytes))
                bad(where, "bytes are a Base64 text");
            return toolkit::CElement(bytes, stamp);
        }
        default:
            bad(where, "unknown type");
    }
}

Json event_to_json(const toolkit::CEvent& event) {
    Json value = Json::object();
    put_value(event.value, value);
    // Only the members the event's kind carries: a CEvent refilled by events_get or by a log
    // retrieval keeps the other members of whatever event it held before.
    Json out = {{"type", event.type},
                {"path", event.path},
                {"cmd", event.cmd},
                {"value", value},
                {"source", event.source},
                {"was_logged", event.was_logged},
                {"event_time", event.event_time.tv_sec == -1
                                   ? Json(nullptr)
                                   : time_json(toolkit::to_time32(event.event_time))},
                {"cause", event.cause}};
    if (event.type == QEL_EVENT_SEVERITY_KIND)
        out["severity"] = event.severity;
    else
        out["quality"] = event.quality;
    if (event.generic()) {
        Json details = Json::object();
        for (const auto& [key, text] : event.details) details[key] = text;
        out["description"] = event.description;
        out["event_id"] = event.event_id;
        out["sequence_id"] = event.sequence_id;
        out["waveform_urls"] = event.waveform_urls;
        out["details"] = details;
    }
    if (event.is_alarm()) {
        out["ack_status"] = event.ack_status;
        out["base_priority"] = event.base_priority;
        out["condition_raised"] = event.condition_raised;
        out["note"] = event.note;
        out["auto_close"] = event.auto_close;
        out["variation_level"] = event.variation_level;
    }
    if (event.type == QEL_EVENT_FINAL_KIND) out["final"] = event.final;
    return out;
}

toolkit::CEvent event_from_json(const Json& in) {
    const std::string where = "event";
    if (!in.is_object()) bad(where, "an event is a JSON object");
    const auto kind = in.find("type");
    toolkit::CEvent event(kind == in.end() ? 0
                                           : take_integer<int32_t>(*kind, "event type", "int32"));
    for (auto item = in.begin(); item != in.end(); ++item) {
        const std::string& key = item.key();
        const Json& field = item.value();
        const std::string at = "event \"" + key + "\"";
        auto text = [&]() {
            if (!field.is_string()) bad(at, "a text is expected");
            return field.get<std::string>();
        };
        auto flag = [&]() {
            if (!field.is_boolean()) bad(at, "true or false is expected");
            return field.get<bool>();
        };
        if (key == "type") continue;
        if (key == "path")
            event.path = text();
        else if (key == "cmd")
            event.cmd = take_integer<int32_t>(field, at, "int32");
        else if (key == "value")
            event.value = take_value(field, at);
        else if (key == "source")
            event.source = text();
        else if (key == "quality")
            event.quality = take_integer<uint16_t>(field, at, "uint16");
        else if (key == "severity")
            event.severity = take_integer<int32_t>(field, at, "int32");
        else if (key == "was_logged")
            event.was_logged = flag();
        else if (key == "description")
            event.description = text();
        else if (key == "event_id")
            event.event_id = take_integer<uint64_t>(field, at, "uint64");
        else if (key == "sequence_id")
            event.sequence_id = take_integer<uint32_t>(field, at, "uint32");
        else if (key == "waveform_urls") {
            if (!field.is_array()) bad(at, "a list of texts is expected");
            event.waveform_urls.clear();
            for (const Json& url : field) {
                if (!url.is_string()) bad(at, "a list of texts is expected");
                event.waveform_urls.push_back(url.get<std::string>());
            }
        } else if (key == "details") {
            if (!field.is_object()) bad(at, "an object of texts is expected");
            event.details.clear();
            for (const auto& [name, detail] : field.items()) {
                if (!detail.is_string()) bad(at, "an object of texts is expected");
                event.details[name] = detail.get<std::string>();
            }
        } else if (key == "event_time") {
            if (field.is_null()) {
                event.event_time = toolkit::CElement::_invalid_time;
            } else {
                event.event_time = toolkit::from_time32(take_time(field, at));
            }
        } else if (key == "cause")
            event.cause = take_integer<int32_t>(field, at, "int32");
        else if (key == "final")
            event.final = flag();
        else if (key == "ack_status")
            event.ack_status = take_integer<int32_t>(field, at, "int32");
        else if (key == "base_priority")
            event.base_priority = take_integer<uint32_t>(field, at, "uint32");
        else if (key == "condition_raised")
            event.condition_raised = flag();
        else if (key == "note")
            event.note = text();
        else if (key == "auto_close")
            event.auto_close = flag();
        else if (key == "variation_level")
            event.variation_level = take_integer<int32_t>(field, at, "int32");
        else
            bad(at, "unknown member");
    }
    return event;
}

}  // namespace nyr_tool
