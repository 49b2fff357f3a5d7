// Shared pieces of the fuzz targets: reading structured input from the fuzzer's bytes, checks
// that stop the run with a message, and the full set of operations on one element.
#ifndef TOOLKIT_FUZZ_SUPPORT_H
#define TOOLKIT_FUZZ_SUPPORT_H

#include <toolkit/element.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

// A property that must hold for every input; a violation is a finding like a crash.
inline void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

// Consumes the fuzzer's bytes front to back; past the end every read gives zeros / empty.
class Input {
public:
    Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t left() const { return size_ - pos_; }

    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint32_t u32() {
        uint32_t out = 0;
        fill(&out, sizeof out);
        return out;
    }
    // Copies the next `n` bytes (fewer at the end) over `out`, leaving the rest of it untouched.
    void fill(void* out, std::size_t n) {
        const std::size_t take = n < left() ? n : left();
        if (take > 0) std::memcpy(out, data_ + pos_, take);
        pos_ += take;
    }
    // A text of up to `max` bytes whose length is given by the next byte.
    std::string text(std::size_t max = 255) {
        std::size_t n = u8();
        if (n > max) n = max;
        if (n > left()) n = left();
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(data_ + pos_), left());
        pos_ = size_;
        return out;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

inline bool valid_type(int32_t type) {
    return type >= DATATYPE_BOOL && type <= DATATYPE_UINT64;
}

inline bool same_record(const _element_datatype_t& a, const _element_datatype_t& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// An element equals its own copy unless it has no valid type or a complex part is a NaN.
inline bool equals_itself(const _element_datatype_t& e) {
    if (!valid_type(e.type)) return false;
    if (e.type == DATATYPE_COMPLEX)
        return !std::isnan(e.value.complex_value.real) && !std::isnan(e.value.complex_value.imag);
    return true;
}

// A string or blob element points at its own buffer with the buffer's length.
inline void check_payload_invariant(const toolkit::CElement& e) {
    if (e.type == DATATYPE_STRING) {
        check(e.value.string_value.data == e.string_buffer().data(), "string data is own buffer");
        check(e.value.string_value.length == e.string_buffer().size(), "string length");
    } else if (e.type == DATATYPE_BLOB) {
        check(e.value.blob_value.data == e.blob_buffer().data(), "blob data is own buffer");
        check(e.value.blob_value.length == e.blob_buffer().size(), "blob length");
    }
}

// Every reader, the text form and the bytes of an element; checks what holds for any value.
inline void read_everything(const toolkit::CElement& e) {
    volatile bool b = e.to_bool();
    volatile int32_t i = e.to_int();
    volatile uint32_t u = e.to_uint();
    volatile int64_t i64 = e.to_int64();
    volatile uint64_t u64 = e.to_uint64();
    volatile double f = e.to_float();
    const std::complex<double> c = e.to_complex();
    volatile double cr = c.real();
    timeval t{123, 456};
    e.to_timeval(t);
    (void)b, (void)i, (void)u, (void)i64, (void)u64, (void)f, (void)cr;
    if (!valid_type(e.type)) {
        check(t.tv_sec == -1 && t.tv_usec == 0, "reader default time");
    }

    std::string text = "previous";
    e.to_string(text);
    if (!valid_type(e.type)) check(text.empty(), "text of an invalid value is empty");

    std::vector<char> bytes{'x'};
    e.to_binary_blob(bytes);
    std::size_t expected = 0;
    switch (e.type) {
        case DATATYPE_BOOL:
            expected = 1;
            break;
        case DATATYPE_INT:
        case DATATYPE_UINT:
            expected = 4;
            break;
        case DATATYPE_FLOAT:
        case DATATYPE_TIME:
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            expected = 8;
            break;
        case DATATYPE_COMPLEX:
            expected = 16;
            break;
        case DATATYPE_STRING:
            expected = e.string_buffer().size();
            break;
        case DATATYPE_BLOB:
            expected = e.blob_buffer().size();
            break;
        default:
            expected = 0;
    }
    check(bytes.size() == expected, "size of the bytes of a value");

    toolkit::CElement copy(e);
    check_payload_invariant(copy);
    check((copy == e) == equals_itself(e), "a copy equals its source");

    // Export into caller storage of a few sizes; the guard byte after `size` must stay.
    for (unsigned size : {1u, 2u, 7u, 64u}) {
        std::vector<char> buf(size + 1, '\x5a');
        const _element_datatype_t out = e.duplicate_element(buf.data(), size);
        check(buf[size] == '\x5a', "duplicate_element writes at most size bytes");
        if (e.type == DATATYPE_STRING || e.type == DATATYPE_BLOB) {
            const uint32_t length = e.value.string_value.length;
            check(out.value.string_value.length == (length < size ? length : size - 1),
                  "duplicate_element length");
            check(out.value.string_value.data == buf.data(), "duplicate_element data");
        } else {
            check(same_record(out, e), "duplicate_element of a scalar is the record");
        }
    }
}

// Every conversion on a copy of `e`: the result code, the new type, the unchanged time stamp.
inline void convert_everything(const toolkit::CElement& e) {
    for (int target = -1; target <= 12; ++target) {
        toolkit::CElement copy(e);
        const _element_datatype_t before = copy;
        const std::string text_before = copy.string_buffer();
        const std::vector<char> bytes_before = copy.blob_buffer();
        const int result = copy.convert_type(static_cast<data_type_t>(target));
        if (!valid_type(target)) {
            check(result == -1, "conversion to an unknown type fails");
            check(same_record(copy, before) && copy.string_buffer() == text_before &&
                      copy.blob_buffer() == bytes_before,
                  "a failed conversion changes nothing");
            continue;
        }
        check(result == 0, "conversion to a known type succeeds");
        check(copy.type == target, "conversion sets the type");
        check(copy.timestamp.tv_sec == e.timestamp.tv_sec &&
                  copy.timestamp.tv_usec == e.timestamp.tv_usec,
              "conversion keeps the time stamp");
        check_payload_invariant(copy);
        read_everything(copy);
    }
}

}  // namespace fuzz

#endif  // TOOLKIT_FUZZ_SUPPORT_H
