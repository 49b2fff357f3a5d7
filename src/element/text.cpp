// CElement::to_string: the one canonical text of every value. Scalars are formatted into fixed
// local buffers; the only allocation is the growth of the output string.
#include <toolkit/element.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "double_text.h"

namespace toolkit {

namespace {

using element_text::format_double;
using element_text::kDoubleTextSize;

constexpr std::size_t kTextBufferSize = 512;
constexpr std::size_t kComplexPartSize = 64;

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit input group, so three input bytes take two lookups.
struct Base64Pairs {
    std::array<char, 4096 * 2> chars{};
    constexpr Base64Pairs() {
        for (int i = 0; i < 4096; ++i) {
            chars[2 * i] = kBase64Alphabet[i >> 6];
            chars[2 * i + 1] = kBase64Alphabet[i & 0x3F];
        }
    }
};
constexpr Base64Pairs kBase64Pairs;

// Base64 (RFC 4648, section 4) with "=" padding and no line breaks.
void base64_encode(std::string& out, const std::vector<char>& bytes) {
    out.clear();
    const std::size_t n = bytes.size();
    if (n == 0) return;
    out.resize((n + 2) / 3 * 4);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* dst = &out[0];
    const char* pairs = kBase64Pairs.chars.data();
    std::size_t i = 0;
    // Six bytes at a time through one 8-byte load (the two extra bytes are read, not used).
    for (; i + 8 <= n; i += 6, dst += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, sizeof word);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        std::memcpy(dst, pairs + 2 * ((word >> 52) & 0xFFF), 2);
        std::memcpy(dst + 2, pairs + 2 * ((word >> 40) & 0xFFF), 2);
        std::memcpy(dst + 4, pairs + 2 * ((word >> 28) & 0xFFF), 2);
        std::memcpy(dst + 6, pairs + 2 * ((word >> 16) & 0xFFF), 2);
    }
    for (; i + 3 <= n; i += 3, dst += 4) {
        const unsigned group = (unsigned{in[i]} << 16) | (unsigned{in[i + 1]} << 8) | in[i + 2];
        const char* hi = pairs + 2 * (group >> 12);
        const char* lo = pairs + 2 * (group & 0xFFF);
        dst[0] = hi[0];
        dst[1] = hi[1];
        dst[2] = lo[0];
        dst[3] = lo[1];
    }
    const std::size_t rest = n - i;
    if (rest == 0) return;
    const unsigned first = in[i];
    const unsigned second = rest == 2 ? in[i + 1] : 0u;
    dst[0] = kBase64Alphabet[first >> 2];
    dst[1] = kBase64Alphabet[((first & 0x03) << 4) | (second >> 4)];
    dst[2] = rest == 2 ? kBase64Alphabet[(second & 0x0F) << 2] : '=';
    dst[3] = '=';
}

// Calendar form in UTC whatever the process's time zone; "" when the breakdown fails.
std::size_t format_time(char* buf, std::size_t size, int32_t seconds) {
    buf[0] = '\0';
    const time_t t = seconds;
    std::tm fields;
    if (gmtime_r(&t, &fields) == nullptr) return 0;
    // 32-bit seconds reach the years 1901 to 2038: the text always fits.
    const int n = std::snprintf(buf, size, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2dZ", fields.tm_year + 1900,
                                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min,
                                fields.tm_sec);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// "(real,imag)", each part cut after its 63rd character as in a 64-byte buffer of its own.
// Each part is written in place into `buf` (of kTextBufferSize bytes) before it is cut.
std::size_t format_complex(char* buf, const _complex_t& c) {
    constexpr std::size_t kPartMax = kComplexPartSize - 1;
    static_assert(1 + kPartMax + 1 + kDoubleTextSize <= kTextBufferSize, "parts fit the buffer");
    char* out = buf;
    *out++ = '(';
    out += std::min(format_double(out, c.real), kPartMax);
    *out++ = ',';
    out += std::min(format_double(out, c.imag), kPartMax);
    *out++ = ')';
    return static_cast<std::size_t>(out - buf);
}

// Decimal digits of an integer, as "%ld", "%lu", "%lld" and "%llu" write them.
template <typename Integer>
std::size_t format_integer(char* buf, Integer v) {
    return static_cast<std::size_t>(std::to_chars(buf, buf + kTextBufferSize, v).ptr - buf);
}

}  // namespace

void CElement::to_string(std::string& out) const {
    char buf[kTextBufferSize];
    std::size_t n = 0;
    switch (type) {
        case DATATYPE_BOOL:
            out.assign(value.bool_value != 0 ? "true" : "false");
            return;
        case DATATYPE_INT:
            n = format_integer(buf, value.int_value);
            break;
        case DATATYPE_UINT:
            n = format_integer(buf, value.uint_value);
            break;
        case DATATYPE_FLOAT:
            n = format_double(buf, value.float_value);
            break;
        case DATATYPE_TIME:
            n = format_time(buf, sizeof buf, value.time_value.tv_sec);
            break;
        case DATATYPE_STRING:
            out.assign(_string_buffer);
            return;
        case DATATYPE_BLOB:
            base64_encode(out, _blob_buffer);
            return;
        case DATATYPE_COMPLEX:
            n = format_complex(buf, value.complex_value);
            break;
        case DATATYPE_INT64:
            n = format_integer(buf, value.int64_value);
            break;
        case DATATYPE_UINT64:
            n = format_integer(buf, value.uint64_value);
            break;
        default:
            out.clear();
            return;
    }
    out.assign(buf, n);
}

}  // namespace toolkit
