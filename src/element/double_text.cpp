// The double rule: the precision from the common logarithm, then the characters of printf's
// "%.*G". Six-digit texts of everyday magnitudes are computed exactly in integers; every other
// double goes through std::to_chars, which gives printf's digits, its choice between plain and
// exponent form and its removal of trailing zeros. Both round to nearest, ties to even, as printf
// does in the default rounding mode (printf would follow another mode set with fesetround).
#include "double_text.h"

#include <langinfo.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace toolkit {
namespace element_text {

namespace {

// 10^0 to 10^19, the powers a six-digit scale of [1e-14, 1e6) takes.
struct PowersOfTen {
    std::uint64_t values[20];
    constexpr PowersOfTen() : values() {
        std::uint64_t p = 1;
        for (std::uint64_t& v : values) {
            v = p;
            p *= 10;
        }
    }
};
constexpr PowersOfTen kPowersOfTen;

// floor(m * 10^k / 2^s), and where the remainder lies against one half, for m < 2^53, k <= 19
// and 33 <= s <= 99: the product has at most 117 bits.
struct Scaled {
    std::uint64_t quotient;
    int against_half;  // -1, 0, 1: the remainder is below, equal to, above 2^(s-1)
};

Scaled scale(std::uint64_t m, int k, int s) {
    const std::uint64_t p = kPowersOfTen.values[k];
#ifdef __SIZEOF_INT128__
    const unsigned __int128 n = static_cast<unsigned __int128>(m) * p;
    const auto hi = static_cast<std::uint64_t>(n >> 64);
    const auto lo = static_cast<std::uint64_t>(n);
#else
    // 64 x 64 -> 128 bits from 32-bit halves, for machines without a 128-bit type.
    const std::uint64_t m0 = m & 0xFFFFFFFFu, m1 = m >> 32, p0 = p & 0xFFFFFFFFu, p1 = p >> 32;
    const std::uint64_t low = m0 * p0, cross = m0 * p1;
    const std::uint64_t mid = m1 * p0 + (low >> 32) + (cross & 0xFFFFFFFFu);
    const std::uint64_t hi = m1 * p1 + (cross >> 32) + (mid >> 32);
    const std::uint64_t lo = (mid << 32) | (low & 0xFFFFFFFFu);
#endif
    // Shifted by s - 1: the lowest bit left is the half bit, the bits shifted out are the rest.
    const int u = s - 1;
    std::uint64_t t;
    bool rest;
    if (u < 64) {
        t = (hi << (64 - u)) | (lo >> u);
        rest = (lo & ((std::uint64_t{1} << u) - 1)) != 0;
    } else {
        t = hi >> (u - 64);
        rest = lo != 0 || (hi & ((std::uint64_t{1} << (u - 64)) - 1)) != 0;
    }
    return Scaled{t >> 1, (t & 1) == 0 ? -1 : (rest ? 1 : 0)};
}

// Six significant digits of a magnitude in [1e-14, 1e6), exactly rounded, written as "%G" lays
// them out. Returns the number of characters, or 0 when the magnitude is outside that range.
std::size_t format_six_digits(char* buf, double a) {
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const int biased = static_cast<int>(bits >> 52);
    // a = m / 2^s; within the range a is a normal double.
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int s = 1075 - biased;
    if (s < 33 || s > 99) return 0;
    // X, the decimal exponent: floor(e * log10(2)) for a = 1.f * 2^e is X or X - 1; the loop
    // settles it exactly.
    int x = ((biased - 1023) * 78913) >> 18;
    Scaled d{};
    for (;;) {
        if (x < -14 || x > 5) return 0;
        d = scale(m, 5 - x, s);
        if (d.quotient < 100000) {
            --x;
        } else if (d.quotient >= 1000000) {
            ++x;
        } else {
            break;
        }
    }
    std::uint64_t q = d.quotient;
    if (d.against_half > 0 || (d.against_half == 0 && (q & 1) != 0)) ++q;
    if (q == 1000000) {
        q = 100000;
        ++x;
    }
    char digits[6];
    for (int i = 5; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + q % 10);
        q /= 10;
    }
    int n = 6;
    while (n > 1 && digits[n - 1] == '0') --n;

    char* out = buf;
    if (x < -4 || x >= 6) {
        *out++ = digits[0];
        if (n > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, static_cast<std::size_t>(n - 1));
            out += n - 1;
        }
        const int e = x < 0 ? -x : x;
        *out++ = 'E';
        *out++ = x < 0 ? '-' : '+';
        *out++ = static_cast<char>('0' + e / 10);
        *out++ = static_cast<char>('0' + e % 10);
    } else if (x >= 0) {
        const int whole = x + 1;
        for (int i = 0; i < whole; ++i) *out++ = i < n ? digits[i] : '0';
        if (n > whole) {
            *out++ = '.';
            std::memcpy(out, digits + whole, static_cast<std::size_t>(n - whole));
            out += n - whole;
        }
    } else {
        *out++ = '0';
        *out++ = '.';
        for (int i = 0; i < -x - 1; ++i) *out++ = '0';
        std::memcpy(out, digits, static_cast<std::size_t>(n));
        out += n;
    }
    return static_cast<std::size_t>(out - buf);
}

// Writes `point` over the '.' at `dot`, moving the rest of the text; returns the new end.
char* replace_point(char* dot, char* end, const char* point) {
    const std::size_t width = std::strlen(point);
    if (width != 1) std::memmove(dot + width, dot + 1, static_cast<std::size_t>(end - dot - 1));
    std::memcpy(dot, point, width);
    return end + width - 1;
}

}  // namespace

std::size_t format_double(char* buf, double v) {
    if (std::isnan(v)) {
        std::memcpy(buf, "NaN", 3);
        return 3;
    }
    if (std::isinf(v)) {
        if (v < 0) {
            std::memcpy(buf, "-INF", 4);
            return 4;
        }
        std::memcpy(buf, "INF", 3);
        return 3;
    }
    int precision = 6;
    // Below 100000 the digit count of the integer part never exceeds 6: skip the logarithm.
    const double magnitude = std::fabs(v);
    if (magnitude >= 100000.0) {
        const int digits = static_cast<int>(std::log10(magnitude)) + 1;
        if (digits > precision) precision = digits;
    }
    char* text = buf;
    if (std::signbit(v)) *text++ = '-';
    std::size_t length = precision == 6 ? format_six_digits(text, magnitude) : 0;
    if (length == 0) {
        text = buf;
        char* end =
            std::to_chars(buf, buf + kDoubleTextSize, v, std::chars_format::general, precision).ptr;
        length = static_cast<std::size_t>(end - buf);
        char* exponent = static_cast<char*>(std::memchr(buf, 'e', length));
        if (exponent != nullptr) *exponent = 'E';
    }
    char* end = text + length;
    char* dot = static_cast<char*>(std::memchr(text, '.', length));
    if (dot != nullptr) {
        // printf's point is that of the calling thread's numeric locale.
        const char* point = nl_langinfo(RADIXCHAR);
        if (point[0] != '.' || point[1] != '\0') end = replace_point(dot, end, point);
    }
    return static_cast<std::size_t>(end - buf);
}

}  // namespace element_text
}  // namespace toolkit
