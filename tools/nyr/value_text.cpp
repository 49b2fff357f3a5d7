// Parsing and printing values for the command line. Integers are checked against their type's
// range, so that "int32:4294967296" is refused rather than wrapped.
#include "value_text.h"

#include <nyr_host.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <sstream>

#include "base64.h"
#include "tool_error.h"

namespace nyr_tool {

namespace {

struct TypeName {
    data_type_t type;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {DATATYPE_BOOL, "bool"},       {DATATYPE_INT, "int32"},     {DATATYPE_UINT, "uint32"},
    {DATATYPE_INT64, "int64"},     {DATATYPE_UINT64, "uint64"}, {DATATYPE_FLOAT, "double"},
    {DATATYPE_COMPLEX, "complex"}, {DATATYPE_TIME, "time"},     {DATATYPE_STRING, "string"},
    {DATATYPE_BLOB, "bytes"},
};

ToolError bad_value(data_type_t type, const std::string& text, const char* why) {
    return refused("value \"" + text + "\" does not fit type " + type_name(type) + ": " + why);
}

// Whole-text integer readers: decimal, or hexadecimal after "0x". Unsigned texts may not carry a
// sign.
bool read_signed(const std::string& text, long long low, long long high, long long& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

bool read_unsigned(const std::string& text, unsigned long long high, unsigned long long& out) {
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value > high) return false;
    out = value;
    return true;
}

bool read_double(const std::string& text, double& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    // Overflow to infinity is refused; underflow to a subnormal or zero is the nearest double.
    if (*end != '\0' || (errno == ERANGE && std::isinf(value))) return false;
    out = value;
    return true;
}

// "(re,im)" as the library prints complex numbers, or "re,im".
bool read_complex(const std::string& text, std::complex<double>& out) {
    std::string inner = text;
    if (inner.size() >= 2 && inner.front() == '(' && inner.back() == ')')
        inner = inner.substr(1, inner.size() - 2);
    const std::size_t comma = inner.find(',');
    if (comma == std::string::npos) return false;
    double re = 0;
    double im = 0;
    if (!read_double(inner.substr(0, comma), re) || !read_double(inner.substr(comma + 1), im))
        return false;
    out = {re, im};
    return true;
}

bool read_fraction(const char* digits, int32_t& usec) {
    // Up to six digits of a second, as microseconds.
    int32_t value = 0;
    int count = 0;
    for (; *digits != '\0'; ++digits, ++count) {
        if (count == 6 || !std::isdigit(static_cast<unsigned char>(*digits))) return false;
        value = value * 10 + (*digits - '0');
    }
    if (count == 0) return false;
    for (; count < 6; ++count) value *= 10;
    usec = value;
    return true;
}

}  // namespace

const char* type_name(data_type_t type) {
    for (const TypeName& entry : kTypeNames)
        if (entry.type == type) return entry.name;
    return "invalid";
}

data_type_t type_from_name(const std::string& name) {
    for (const TypeName& entry : kTypeNames)
        if (name == entry.name) return entry.type;
    return DATATYPE_INVALID;
}

toolkit::CElement parse_typed_value(const std::string& text) {
    std::size_t prefix = 0;
    while (prefix < text.size() && (std::islower(static_cast<unsigned char>(text[prefix])) ||
                                    std::isdigit(static_cast<unsigned char>(text[prefix]))))
        ++prefix;
    if (prefix == 0 || prefix >= text.size() || text[prefix] != ':') return toolkit::CElement(text);
    const std::string name = text.substr(0, prefix);
    const data_type_t type = type_from_name(name);
    if (type == DATATYPE_INVALID)
        throw usage_error("unknown type \"" + name +
                          "\" (bool, int32, uint32, int64, uint64, double, complex, time, string, "
                          "bytes; write string:" +
                          text + " to store the text as it is)");
    return parse_value(type, text.substr(prefix + 1));
}

toolkit::CElement parse_value(data_type_t type, const std::string& text) {
    long long signed_value = 0;
    unsigned long long unsigned_value = 0;
    switch (type) {
        case DATATYPE_BOOL:
            if (text == "true" || text == "1") return toolkit::CElement(true);
            if (text == "false" || text == "0") return toolkit::CElement(false);
            throw bad_value(type, text, "write true or false");
        case DATATYPE_INT:
            if (!read_signed(text, std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max(), signed_value))
                throw bad_value(type, text, "not a whole number from -2147483648 to 2147483647");
            return toolkit::CElement(static_cast<int32_t>(signed_value));
        case DATATYPE_UINT:
            if (!read_unsigned(text, std::numeric_limits<uint32_t>::max(), unsigned_value))
                throw bad_value(type, text, "not a whole number from 0 to 4294967295");
            return toolkit::CElement(static_cast<uint32_t>(unsigned_value));
        case DATATYPE_INT64:
            if (!read_signed(text, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max(), signed_value))
                throw bad_value(type, text, "not a whole number in the 64-bit signed range");
            return toolkit::CElement(static_cast<std::int64_t>(signed_value));
        case DATATYPE_UINT64:
            if (!read_unsigned(text, std::numeric_limits<uint64_t>::max(), unsigned_value))
                throw bad_value(type, text, "not a whole number in the 64-bit unsigned range");
            return toolkit::CElement(static_cast<std::uint64_t>(unsigned_value));
        case DATATYPE_FLOAT: {
            double value = 0;
            if (!read_double(text, value)) throw bad_value(type, text, "not a number");
            return toolkit::CElement(value);
        }
        case DATATYPE_COMPLEX: {
            std::complex<double> value;
            if (!read_complex(text, value)) throw bad_value(type, text, "write (re,im)");
            return toolkit::CElement(value);
        }
        case DATATYPE_TIME: {
            qel_time32_t time{};
            if (!parse_time(text, time))
                throw bad_value(type, text, "write YYYY-MM-DDThh:mm:ss[.ffffff]Z or seconds");
            return toolkit::CElement::from_time(timeval{time.tv_sec, time.tv_usec});
        }
        case DATATYPE_STRING:
            return toolkit::CElement(text);
        case DATATYPE_BLOB: {
            std::vector<char> bytes;
            if (!base64_decode(text, bytes)) throw bad_value(type, text, "not Base64");
            return toolkit::CElement(bytes);
        }
        default:
            throw usage_error("unknown data type " + std::to_string(type));
    }
}

std::string time_text(qel_time32_t time) {
    if (time.tv_sec == -1) return "-";
    const std::time_t seconds = time.tv_sec;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(time.tv_usec));
    return buf;
}

bool parse_time(const std::string& text, qel_time32_t& out) {
    // A calendar time ends in "Z"; plain seconds do not. Either may carry ".ffffff".
    std::string whole = text;
    const bool calendar = !whole.empty() && whole.back() == 'Z';
    if (calendar) whole.pop_back();
    int32_t usec = 0;
    const std::size_t dot = whole.find('.');
    if (dot != std::string::npos) {
        if (!read_fraction(whole.c_str() + dot + 1, usec)) return false;
        whole.erase(dot);
    }
    long long seconds = 0;
    constexpr long long kLow = std::numeric_limits<int32_t>::min();
    constexpr long long kHigh = std::numeric_limits<int32_t>::max();
    if (calendar) {
        std::tm parts{};
        const char* end = strptime(whole.c_str(), "%Y-%m-%dT%H:%M:%S", &parts);
        if (end == nullptr || *end != '\0') return false;
        seconds = timegm(&parts);
        if (seconds < kLow || seconds > kHigh) return false;
    } else if (!read_signed(whole, kLow, kHigh, seconds)) {
        return false;
    }
    out = qel_time32_t{static_cast<int32_t>(seconds), usec};
    return true;
}

std::string value_text(const toolkit::CElement& value) {
    std::string out;
    value.to_string(out);
    return out;
}

// Kind names nyr knows besides numbers: the tree changes of the host store and every kind.
constexpr api_event_t kAllKinds = 0x1FF;

api_event_t parse_kinds(const std::string& list) {
    api_event_t kinds = 0;
    std::stringstream parts(list);
    std::string part;
    while (std::getline(parts, part, ',')) {
        if (part == "tree") {
            kinds |= QEL_HOST_EVENT_TREE_CHANGE;
        } else if (part == "all") {
            kinds |= kAllKinds;
        } else {
            const toolkit::CElement number = parse_value(DATATYPE_INT, part);
            if (number.value.int_value == 0)
                throw usage_error("kind 0 selects no event: give kind bits such as 0x8");
            kinds |= number.value.int_value;
        }
    }
    if (kinds == 0) throw usage_error("--kinds lists no kind");
    return kinds;
}

}  // namespace nyr_tool
