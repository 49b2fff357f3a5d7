// CElement lifecycle: construction, copy, move, taking over store records, equality, export.
#include <toolkit/element.h>

#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace toolkit {

const timeval CElement::_invalid_time = {-1, 0};
bool CElement::_auto_time = true;
bool CElement::_forced_auto_time = false;
const std::string CElement::_invalid = "DATATYPE_INVALID";

qel_time32_t to_time32(timeval time) {
    // The record holds 32-bit fields: wider host values keep their low 32 bits.
    qel_time32_t out;
    out.tv_sec =
        static_cast<int32_t>(static_cast<uint32_t>(static_cast<std::uint64_t>(time.tv_sec)));
    out.tv_usec =
        static_cast<int32_t>(static_cast<uint32_t>(static_cast<std::uint64_t>(time.tv_usec)));
    return out;
}

timeval from_time32(qel_time32_t time) {
    timeval out;
    out.tv_sec = time.tv_sec;
    out.tv_usec = time.tv_usec;
    return out;
}

namespace {

// The record part of an element, as one block of 32 bytes.
void copy_record(_element_datatype_t& to, const _element_datatype_t& from) {
    std::memcpy(static_cast<void*>(&to), &from, sizeof(_element_datatype_t));
}

bool bytes_equal(const _byte_array_t& a, const _byte_array_t& b) {
    if (a.length != b.length) return false;
    if (a.length == 0) return true;
    if (a.data == nullptr || b.data == nullptr) return a.data == b.data;
    return std::memcmp(a.data, b.data, a.length) == 0;
}

}  // namespace

CElement::CElement() : _element_datatype_t() {
    type = DATATYPE_INVALID;
    timestamp = to_time32(_invalid_time);
}

CElement::CElement(bool value, timeval time) : CElement() {
    type = DATATYPE_BOOL;
    this->value.bool_value = value ? 1 : 0;
    set_time_stamp(time);
}

CElement::CElement(int32_t value, timeval time) : CElement() {
    type = DATATYPE_INT;
    this->value.int_value = value;
    set_time_stamp(time);
}

CElement::CElement(uint32_t value, timeval time) : CElement() {
    type = DATATYPE_UINT;
    this->value.uint_value = value;
    set_time_stamp(time);
}

CElement::CElement(double value, timeval time) : CElement() {
    type = DATATYPE_FLOAT;
    this->value.float_value = value;
    set_time_stamp(time);
}

CElement::CElement(std::int64_t value, timeval time) : CElement() {
    type = DATATYPE_INT64;
    this->value.int64_value = value;
    set_time_stamp(time);
}

CElement::CElement(std::uint64_t value, timeval time) : CElement() {
    type = DATATYPE_UINT64;
    this->value.uint64_value = value;
    set_time_stamp(time);
}

// The third integer type of each signedness takes the element of its width.
CElement::CElement(element_detail::other_signed_integer value, timeval time)
    : CElement(
          static_cast<std::conditional_t<sizeof value == 8, std::int64_t, std::int32_t>>(value),
          time) {}

CElement::CElement(element_detail::other_unsigned_integer value, timeval time)
    : CElement(
          static_cast<std::conditional_t<sizeof value == 8, std::uint64_t, std::uint32_t>>(value),
          time) {}

CElement::CElement(std::complex<double> value, timeval time) : CElement() {
    type = DATATYPE_COMPLEX;
    this->value.complex_value.real = value.real();
    this->value.complex_value.imag = value.imag();
    set_time_stamp(time);
}

CElement::CElement(const std::string& value, timeval time) : CElement() {
    take_string(std::string(value));
    set_time_stamp(time);
}

CElement::CElement(const char* value, timeval time) : CElement() {
    take_string(value != nullptr ? std::string(value) : std::string());
    set_time_stamp(time);
}

CElement::CElement(const std::vector<char>& blob, timeval time) : CElement() {
    take_blob(std::vector<char>(blob));
    set_time_stamp(time);
}

CElement CElement::from_time(timeval value, timeval time) {
    CElement out;
    out.type = DATATYPE_TIME;
    out.value.time_value = to_time32(value);
    out.set_time_stamp(time);
    return out;
}

CElement::CElement(const CElement& other) : _element_datatype_t() {
    *this = other;
}

CElement::CElement(CElement&& other, timeval time) noexcept : _element_datatype_t() {
    *this = std::move(other);
    if (time.tv_sec != -1) timestamp = to_time32(time);
}

CElement& CElement::operator=(const CElement& other) {
    if (this == &other) return *this;
    copy_record(*this, other);
    if (type == DATATYPE_STRING) {
        _string_buffer = other._string_buffer;
        value.string_value.data = &_string_buffer[0];
    } else if (type == DATATYPE_BLOB) {
        _blob_buffer = other._blob_buffer;
        value.blob_value.data = _blob_buffer.data();
    }
    return *this;
}

CElement& CElement::operator=(CElement&& other) noexcept {
    if (this == &other) return *this;
    copy_record(*this, other);
    if (type == DATATYPE_STRING) {
        _string_buffer.swap(other._string_buffer);
        value.string_value.data = &_string_buffer[0];
    } else if (type == DATATYPE_BLOB) {
        _blob_buffer.swap(other._blob_buffer);
        value.blob_value.data = _blob_buffer.data();
    }
    return *this;
}

CElement& CElement::operator=(const _element_datatype_t& record) {
    if (&record == static_cast<const _element_datatype_t*>(this)) return *this;
    // Copy the payload first: the record may point into this element's own buffers.
    const _byte_array_t payload = record.value.string_value;
    const bool has_bytes = payload.data != nullptr && payload.length > 0;
    if (record.type == DATATYPE_STRING) {
        std::string text = has_bytes ? std::string(payload.data, payload.length) : std::string();
        copy_record(*this, record);
        take_string(std::move(text));
    } else if (record.type == DATATYPE_BLOB) {
        std::vector<char> bytes =
            has_bytes ? std::vector<char>(payload.data, payload.data + payload.length)
                      : std::vector<char>();
        copy_record(*this, record);
        take_blob(std::move(bytes));
    } else {
        copy_record(*this, record);
    }
    return *this;
}

bool CElement::operator==(const _element_datatype_t& other) const {
    if (type != other.type) return false;
    switch (type) {
        case DATATYPE_BOOL:
            return value.bool_value == other.value.bool_value;
        case DATATYPE_INT:
        case DATATYPE_UINT:
            return value.uint_value == other.value.uint_value;
        case DATATYPE_FLOAT:
            if (std::isnan(value.float_value)) return std::isnan(other.value.float_value);
            return value.float_value == other.value.float_value;
        case DATATYPE_TIME:
            return value.time_value.tv_sec == other.value.time_value.tv_sec &&
                   value.time_value.tv_usec == other.value.time_value.tv_usec;
        case DATATYPE_STRING:
        case DATATYPE_BLOB:
            return bytes_equal(value.string_value, other.value.string_value);
        case DATATYPE_COMPLEX:
            return value.complex_value.real == other.value.complex_value.real &&
                   value.complex_value.imag == other.value.complex_value.imag;
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            return value.uint64_value == other.value.uint64_value;
        default:
            return false;
    }
}

_element_datatype_t CElement::duplicate_element(char* buf, unsigned int size) const {
    _element_datatype_t out;
    copy_record(out, *this);
    if (type != DATATYPE_STRING && type != DATATYPE_BLOB) return out;
    if (buf == nullptr || size == 0) {
        out.value.string_value.data = nullptr;
        out.value.string_value.length = 0;
        return out;
    }
    if (out.value.string_value.length >= size) out.value.string_value.length = size - 1;
    if (out.value.string_value.length > 0)
        std::memcpy(buf, value.string_value.data, out.value.string_value.length);
    out.value.string_value.data = buf;
    return out;
}

void CElement::set_time_stamp(timeval time) {
    timestamp = to_time32(time);
}

void CElement::take_string(std::string&& text) {
    _string_buffer = std::move(text);
    type = DATATYPE_STRING;
    value.string_value.data = &_string_buffer[0];
    value.string_value.length = static_cast<uint32_t>(_string_buffer.size());
}

void CElement::take_blob(std::vector<char>&& bytes) {
    _blob_buffer = std::move(bytes);
    type = DATATYPE_BLOB;
    value.blob_value.data = _blob_buffer.data();
    value.blob_value.length = static_cast<uint32_t>(_blob_buffer.size());
}

}  // namespace toolkit
