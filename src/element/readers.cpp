// CElement readers: every value read as a boolean, an integer, a double, a complex number or a
// time, by a fixed rule per data type. Readers never fail and never change the element.
#include <strings.h>
#include <toolkit/element.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

namespace toolkit {

namespace {

// Doubles outside the target range have no defined integer reading in C; we saturate at the
// nearest end of the range and read a NaN as 0, so the result is defined on every platform.
int32_t trunc_to_int32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0) return INT32_MAX;
    if (v <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

uint32_t trunc_to_uint32(double v) {
    if (std::isnan(v) || v <= -1.0) return 0;
    if (v >= 4294967296.0) return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

std::int64_t trunc_to_int64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775808.0) return INT64_MAX;
    if (v < -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

std::uint64_t trunc_to_uint64(double v) {
    if (std::isnan(v) || v <= -1.0) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(v);
}

double magnitude(const _complex_t& c) {
    return std::hypot(c.real, c.imag);
}

double time_sum(const qel_time32_t& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1000000.0;
}

bool valid_type(data_type_t type) {
    return type >= DATATYPE_BOOL && type <= DATATYPE_UINT64;
}

// Integer text: the whole text in base 10, else the whole text in base 16, else the longest
// decimal prefix. strtoll saturates on overflow.
std::int64_t parse_integer_text(const char* text) {
    char* end = nullptr;
    const long long decimal = std::strtoll(text, &end, 10);
    if (*end == '\0') return decimal;
    const long long hex = std::strtoll(text, &end, 16);
    if (*end == '\0') return hex;
    return decimal;
}

// "NaN", "INF" and "-INF" exactly as the text form writes them, otherwise strtod's prefix.
double parse_float_text(const char* text) {
    if (std::strcmp(text, "NaN") == 0) return std::numeric_limits<double>::quiet_NaN();
    if (std::strcmp(text, "INF") == 0) return std::numeric_limits<double>::infinity();
    if (std::strcmp(text, "-INF") == 0) return -std::numeric_limits<double>::infinity();
    return std::strtod(text, nullptr);
}

// "(re,im)" as the text form writes it; both numbers must convert, the ")" is not needed.
std::complex<double> parse_complex_text(const char* text) {
    double real = 0.0;
    double imag = 0.0;
    if (std::sscanf(text, "(%lf,%lf)", &real, &imag) != 2) return {0.0, 0.0};
    return {real, imag};
}

// "YYYY-MM-DDThh:mm:ssZ" in UTC to seconds; -1 when the six numbers are not all there.
std::int32_t parse_time_text(const char* text) {
    int year, month, day, hour, minute, second;
    if (std::sscanf(text, "%d-%d-%dT%d:%d:%dZ", &year, &month, &day, &hour, &minute, &second) != 6)
        return -1;
    // struct tm counts years from 1900 and months from 0; a field that cannot be shifted into
    // an int is a failed conversion rather than an overflow.
    if (year < INT_MIN + 1900 || month == INT_MIN) return -1;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    // timegm carries out-of-range fields over (month 13, second 60, day 0) and works in UTC.
    const time_t seconds = timegm(&fields);
    // The device keeps seconds in 32 bits: a time outside that range cannot be converted.
    if (seconds < INT32_MIN || seconds > INT32_MAX) return -1;
    return static_cast<std::int32_t>(seconds);
}

}  // namespace

bool CElement::to_bool() const {
    switch (type) {
        case DATATYPE_BOOL:
            return value.bool_value != 0;
        case DATATYPE_INT:
        case DATATYPE_UINT:
            return value.uint_value != 0;
        case DATATYPE_FLOAT:
            return value.float_value != 0.0;
        case DATATYPE_STRING:
            return strcasecmp(_string_buffer.c_str(), "true") == 0;
        case DATATYPE_COMPLEX:
            return value.complex_value.real != 0.0 || value.complex_value.imag != 0.0;
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            return value.uint64_value != 0;
        default:
            return false;  // TIME, BLOB and invalid types
    }
}

int32_t CElement::to_int() const {
    switch (type) {
        case DATATYPE_BOOL:
            return value.bool_value;
        case DATATYPE_INT:
            return value.int_value;
        case DATATYPE_UINT:
            return static_cast<int32_t>(value.uint_value);
        case DATATYPE_FLOAT:
            return trunc_to_int32(value.float_value);
        case DATATYPE_TIME:
            return value.time_value.tv_sec;
        case DATATYPE_STRING:
            return static_cast<int32_t>(static_cast<uint32_t>(
                static_cast<std::uint64_t>(parse_integer_text(_string_buffer.c_str()))));
        case DATATYPE_COMPLEX:
            return trunc_to_int32(magnitude(value.complex_value));
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            return static_cast<int32_t>(static_cast<uint32_t>(value.uint64_value));
        default:
            return 0;
    }
}

uint32_t CElement::to_uint() const {
    switch (type) {
        case DATATYPE_FLOAT:
            return trunc_to_uint32(value.float_value);
        default:
            return static_cast<uint32_t>(to_int());
    }
}

std::int64_t CElement::to_int64() const {
    switch (type) {
        case DATATYPE_BOOL:
            return value.bool_value;
        case DATATYPE_INT:
            return value.int_value;
        case DATATYPE_UINT:
            return value.uint_value;
        case DATATYPE_FLOAT:
            return trunc_to_int64(value.float_value);
        case DATATYPE_TIME:
            return value.time_value.tv_sec;
        case DATATYPE_STRING:
            return parse_integer_text(_string_buffer.c_str());
        case DATATYPE_COMPLEX:
            return trunc_to_int64(magnitude(value.complex_value));
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            return static_cast<std::int64_t>(value.uint64_value);
        default:
            return 0;
    }
}

std::uint64_t CElement::to_uint64() const {
    switch (type) {
        case DATATYPE_FLOAT:
            return trunc_to_uint64(value.float_value);
        default:
            return static_cast<std::uint64_t>(to_int64());
    }
}

double CElement::to_float() const {
    switch (type) {
        case DATATYPE_BOOL:
            return value.bool_value != 0 ? 1.0 : 0.0;
        case DATATYPE_INT:
            return value.int_value;
        case DATATYPE_UINT:
            return value.uint_value;
        case DATATYPE_FLOAT:
            return value.float_value;
        case DATATYPE_TIME:
            return time_sum(value.time_value);
        case DATATYPE_STRING:
            return parse_float_text(_string_buffer.c_str());
        case DATATYPE_COMPLEX:
            return magnitude(value.complex_value);
        case DATATYPE_INT64:
            return static_cast<double>(value.int64_value);
        case DATATYPE_UINT64:
            return static_cast<double>(value.uint64_value);
        default:
            return 0.0;
    }
}

std::complex<double> CElement::to_complex() const {
    switch (type) {
        case DATATYPE_COMPLEX:
            return {value.complex_value.real, value.complex_value.imag};
        case DATATYPE_STRING:
            return parse_complex_text(_string_buffer.c_str());
        case DATATYPE_TIME:
            return {time_sum(value.time_value), 0.0};
        default:
            // Every other valid type reads as its double on the real axis; invalid types give 0.
            return {valid_type(type) ? to_float() : 0.0, 0.0};
    }
}

void CElement::to_timeval(timeval& out) const {
    out = _invalid_time;
    switch (type) {
        case DATATYPE_INT:
            out.tv_sec = value.int_value;
            break;
        case DATATYPE_UINT:
            out.tv_sec = static_cast<int32_t>(value.uint_value);
            break;
        case DATATYPE_FLOAT:
            out.tv_sec = trunc_to_int32(value.float_value);
            break;
        case DATATYPE_TIME:
            out = from_time32(value.time_value);
            return;
        case DATATYPE_STRING:
            out.tv_sec = parse_time_text(_string_buffer.c_str());
            break;
        case DATATYPE_COMPLEX:
            out.tv_sec = trunc_to_int32(magnitude(value.complex_value));
            break;
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            out.tv_sec = static_cast<int32_t>(static_cast<uint32_t>(value.uint64_value));
            break;
        default:
            return;  // BOOL, BLOB and invalid types: no time
    }
    out.tv_usec = 0;
}

}  // namespace toolkit
