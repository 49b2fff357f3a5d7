// Shared helpers for the tests of element readers, text forms and conversion.
#ifndef TESTS_UNIT_ELEMENT_TEST_SUPPORT_H
#define TESTS_UNIT_ELEMENT_TEST_SUPPORT_H

#include <toolkit/element.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace elementtest {

// An element with an arbitrary type code and a value union full of non-zero bytes, so that a
// reader that looks at the union for an unknown type shows up.
inline toolkit::CElement with_type_code(int code) {
    toolkit::CElement e;
    e.type = static_cast<data_type_t>(code);
    std::memset(static_cast<void*>(&e.value), 0x5A, sizeof e.value);
    return e;
}

inline toolkit::CElement bool_byte(uint8_t byte) {
    toolkit::CElement e(true);
    e.value.bool_value = byte;
    return e;
}

inline toolkit::CElement time_value(int32_t sec, int32_t usec) {
    return toolkit::CElement::from_time(timeval{sec, usec});
}

inline toolkit::CElement complex_value(double re, double im) {
    return toolkit::CElement(std::complex<double>(re, im));
}

// A string element from bytes that may contain NULs.
inline toolkit::CElement string_bytes(const char* bytes, std::size_t n) {
    return toolkit::CElement(std::string(bytes, n));
}

// The text form, written over a stale output so that appending instead of replacing shows up.
inline std::string text_of(const toolkit::CElement& e) {
    std::string out = "stale";
    e.to_string(out);
    return out;
}

inline std::vector<unsigned char> blob_of(const toolkit::CElement& e) {
    std::vector<char> out = {'x', 'y'};
    e.to_binary_blob(out);
    return std::vector<unsigned char>(out.begin(), out.end());
}

inline std::vector<unsigned char> bytes(std::initializer_list<int> values) {
    std::vector<unsigned char> out;
    for (int v : values) out.push_back(static_cast<unsigned char>(v));
    return out;
}

// Puts the process into a time zone far from UTC for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> saved_;
};

}  // namespace elementtest

#endif  // TESTS_UNIT_ELEMENT_TEST_SUPPORT_H
