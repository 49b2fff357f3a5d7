// Conversions between Python objects and the library's values: times, integers checked against
// the type asked for, and the Pythonic mapping of Python values to elements and back. Every
// conversion is exact or raises; none wraps.
#ifndef NYR_PY_CONVERT_H
#define NYR_PY_CONVERT_H

#include <pybind11/pybind11.h>
#include <sys/time.h>
#include <toolkit/element.h>

#include <cstdint>
#include <string>

namespace nyr_py {

namespace py = pybind11;

// Sets up the datetime C API; called once when the module loads.
void init_convert();

// A datetime (aware, or naive taken as UTC) as seconds and microseconds since 1970 UTC. Raises
// TypeError for anything else and OverflowError outside the records' 32-bit seconds.
timeval timeval_from_datetime(py::handle value);
// The point in time as an aware datetime in UTC.
py::object datetime_from_timeval(timeval time);
// Time stamps: None is "not set" ({-1, 0}) both ways.
timeval stamp_from_python(py::handle value);
py::object stamp_to_python(timeval time);

// A Python int within the type's range; TypeError for a non-int (bool included), OverflowError
// for one out of range. `type` names the type in the message.
std::int64_t int_in_range(py::handle value, std::int64_t low, std::int64_t high, const char* type);
std::uint64_t uint_in_range(py::handle value, std::uint64_t high, const char* type);
// A float, or an int that converts (OverflowError when it is too large).
double double_from_python(py::handle value);

// The bytes of a str (UTF-8, lone surrogates as surrogateescape wrote them) or of a bytes-like
// object.
std::string text_bytes(py::handle value);
// A str of bytes read as UTF-8; bytes that are not UTF-8 come back as surrogateescape has them,
// so text_bytes() gives the same bytes again.
py::object text_object(const char* data, std::size_t size);

// The Pythonic mapping: bool, int (int64, else uint64 from 2**63 to 2**64-1), float, str,
// bytes-like, complex, datetime, or an Element as it is. TypeError for any other type.
toolkit::CElement element_from_python(py::handle value);
// An element's value as the matching Python object (None for an invalid type).
py::object element_to_python(const toolkit::CElement& value);

}  // namespace nyr_py

#endif  // NYR_PY_CONVERT_H
