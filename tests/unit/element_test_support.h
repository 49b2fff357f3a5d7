// Shared helpers for the element tests.
#ifndef TESTS_UNIT_ELEMENT_TEST_SUPPORT_H
#define TESTS_UNIT_ELEMENT_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <toolkit/element.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Time stamps (timeval and the record's qel_time32_t) compare and print as a whole.
template <typename A, typename B, typename = decltype(A::tv_usec + B::tv_usec)>
bool operator==(const A& a, const B& b) {
    return a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec;
}
template <typename T, typename = decltype(T::tv_usec)>
std::ostream& operator<<(std::ostream& out, const T& t) {
    return out << '{' << t.tv_sec << ", " << t.tv_usec << '}';
}

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

// A string or blob element describes its own buffer, after every change.
inline void expect_owns_payload(const toolkit::CElement& e) {
    if (e.type == DATATYPE_STRING) {
        EXPECT_EQ(e.string_buffer().data(), e.value.string_value.data);
        EXPECT_EQ(e.string_buffer().size(), e.value.string_value.length);
    } else if (e.type == DATATYPE_BLOB) {
        EXPECT_EQ(e.blob_buffer().data(), e.value.blob_value.data);
        EXPECT_EQ(e.blob_buffer().size(), e.value.blob_value.length);
    }
}

// The text form and the bytes, written over a stale output so that appending shows up.
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

// Puts the process into a time zone far from UTC for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> saved_;
};

}  // namespace elementtest

#endif  // TESTS_UNIT_ELEMENT_TEST_SUPPORT_H
