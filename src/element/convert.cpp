// CElement::convert_type and to_binary_blob: changing a value's type in place, and the raw bytes
// of a value in host byte order.
#include <toolkit/element.h>

#include <cstring>
#include <utility>

namespace toolkit {

namespace {

// Replaces `out` with the in-memory bytes of a record field: the record's own (host) byte order.
template <typename T>
void put_bytes(std::vector<char>& out, const T& field) {
    const auto* first = reinterpret_cast<const char*>(&field);
    out.assign(first, first + sizeof(T));
}

}  // namespace

int CElement::convert_type(data_type_t target) {
    // Every new value is computed from the value held now, before the element changes, so an
    // allocation failure leaves the old value and type in place. The time stamp never changes.
    switch (target) {
        case DATATYPE_BOOL: {
            const uint8_t byte = type == DATATYPE_BOOL ? value.bool_value : (to_bool() ? 1 : 0);
            value.bool_value = byte;
            break;
        }
        case DATATYPE_INT:
            value.int_value = to_int();
            break;
        case DATATYPE_UINT:
            value.uint_value = to_uint();
            break;
        case DATATYPE_FLOAT:
            value.float_value = to_float();
            break;
        case DATATYPE_TIME: {
            timeval time;
            to_timeval(time);
            value.time_value = to_time32(time);
            break;
        }
        case DATATYPE_STRING: {
            std::string text;
            to_string(text);
            take_string(std::move(text));
            break;
        }
        case DATATYPE_BLOB: {
            std::vector<char> bytes;
            to_binary_blob(bytes);
            take_blob(std::move(bytes));
            break;
        }
        case DATATYPE_COMPLEX: {
            const std::complex<double> c = to_complex();
            value.complex_value.real = c.real();
            value.complex_value.imag = c.imag();
            break;
        }
        case DATATYPE_INT64:
            value.int64_value = to_int64();
            break;
        case DATATYPE_UINT64:
            value.uint64_value = to_uint64();
            break;
        default:
            return -1;
    }
    type = target;
    return 0;
}

void CElement::to_binary_blob(std::vector<char>& out) const {
    switch (type) {
        case DATATYPE_BOOL:
            put_bytes(out, value.bool_value);
            break;
        case DATATYPE_INT:
        case DATATYPE_UINT:
            put_bytes(out, value.uint_value);
            break;
        case DATATYPE_FLOAT:
            put_bytes(out, value.float_value);
            break;
        case DATATYPE_TIME:
            put_bytes(out, value.time_value);
            break;  // tv_sec, then tv_usec
        case DATATYPE_STRING:
            out.assign(_string_buffer.begin(), _string_buffer.end());
            break;
        case DATATYPE_BLOB:
            out.assign(_blob_buffer.begin(), _blob_buffer.end());
            break;
        case DATATYPE_COMPLEX:
            put_bytes(out, value.complex_value);
            break;  // real, then imag
        case DATATYPE_INT64:
        case DATATYPE_UINT64:
            put_bytes(out, value.uint64_value);
            break;
        default:
            out.clear();
            break;
    }
}

}  // namespace toolkit
