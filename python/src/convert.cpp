// Python values to and from the library's values, with exact conversions only.
#include "convert.h"

// The datetime C API keeps its table in a static of this file only: every datetime conversion of
// the module is here.
#include <datetime.h>

#include <complex>
#include <limits>

namespace nyr_py {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMicrosPerSecond = 1000000;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back (the usual
// era-based algorithms, exact for every date a datetime holds).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

[[noreturn]] void raise_type(const char* what, py::handle value) {
    throw py::type_error(std::string(what) + ", not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

[[noreturn]] void raise_range(py::handle value, const char* type, const std::string& range) {
    PyErr_Format(PyExc_OverflowError, "%R does not fit %s (%s)", value.ptr(), type, range.c_str());
    throw py::error_already_set();
}

}  // namespace

void init_convert() {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
}

timeval timeval_from_datetime(py::handle value) {
    if (!PyDateTime_Check(value.ptr())) raise_type("a time must be a datetime", value);
    PyObject* o = value.ptr();
    std::int64_t seconds =
        days_from_civil(PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o)) *
            kSecondsPerDay +
        PyDateTime_DATE_GET_HOUR(o) * 3600 + PyDateTime_DATE_GET_MINUTE(o) * 60 +
        PyDateTime_DATE_GET_SECOND(o);
    std::int64_t micros = PyDateTime_DATE_GET_MICROSECOND(o);
    // An aware datetime is moved to UTC by its offset; a naive one is UTC already.
    PyObject* tz = PyDateTime_DATE_GET_TZINFO(o);
    if (tz != Py_None && tz != PyDateTime_TimeZone_UTC) {
        py::object offset = py::reinterpret_borrow<py::object>(value).attr("utcoffset")();
        if (!offset.is_none()) {
            PyObject* d = offset.ptr();
            seconds -=
                PyDateTime_DELTA_GET_DAYS(d) * kSecondsPerDay + PyDateTime_DELTA_GET_SECONDS(d);
            micros -= PyDateTime_DELTA_GET_MICROSECONDS(d);
        }
    }
    seconds += floor_div(micros, kMicrosPerSecond);
    micros -= floor_div(micros, kMicrosPerSecond) * kMicrosPerSecond;
    if (seconds < std::numeric_limits<int32_t>::min() ||
        seconds > std::numeric_limits<int32_t>::max()) {
        PyErr_Format(PyExc_OverflowError,
                     "%R is outside the times a record holds (32-bit seconds: "
                     "1901-12-13T20:45:52Z to 2038-01-19T03:14:07Z)",
                     o);
        throw py::error_already_set();
    }
    timeval out{};
    out.tv_sec = static_cast<time_t>(seconds);
    out.tv_usec = static_cast<suseconds_t>(micros);
    return out;
}

py::object datetime_from_timeval(timeval time) {
    std::int64_t seconds = time.tv_sec;
    std::int64_t micros = time.tv_usec;
    seconds += floor_div(micros, kMicrosPerSecond);
    micros -= floor_div(micros, kMicrosPerSecond) * kMicrosPerSecond;
    const std::int64_t days = floor_div(seconds, kSecondsPerDay);
    const std::int64_t second_of_day = seconds - days * kSecondsPerDay;
    int year = 0, month = 0, day = 0;
    civil_from_days(days, year, month, day);
    PyObject* out = PyDateTimeAPI->DateTime_FromDateAndTime(
        year, month, day, static_cast<int>(second_of_day / 3600),
        static_cast<int>(second_of_day / 60 % 60), static_cast<int>(second_of_day % 60),
        static_cast<int>(micros), PyDateTime_TimeZone_UTC, PyDateTimeAPI->DateTimeType);
    if (out == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(out);
}

timeval stamp_from_python(py::handle value) {
    if (value.is_none()) return toolkit::CElement::_invalid_time;
    return timeval_from_datetime(value);
}

py::object stamp_to_python(timeval time) {
    if (time.tv_sec == -1) return py::none();
    return datetime_from_timeval(time);
}

std::int64_t int_in_range(py::handle value, std::int64_t low, std::int64_t high, const char* type) {
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
        raise_type((std::string(type) + " needs an int").c_str(), value);
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0 && v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < low || v > high)
        raise_range(value, type, std::to_string(low) + " to " + std::to_string(high));
    return v;
}

std::uint64_t uint_in_range(py::handle value, std::uint64_t high, const char* type) {
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
        raise_type((std::string(type) + " needs an int").c_str(), value);
    const std::string range = "0 to " + std::to_string(high);
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0 && v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow < 0 || (overflow == 0 && v < 0)) raise_range(value, type, range);
    std::uint64_t u = static_cast<std::uint64_t>(v);
    if (overflow > 0) {
        u = PyLong_AsUnsignedLongLong(value.ptr());
        if (PyErr_Occurred()) {
            PyErr_Clear();
            raise_range(value, type, range);
        }
    }
    if (u > high) raise_range(value, type, range);
    return u;
}

double double_from_python(py::handle value) {
    if (PyFloat_Check(value.ptr())) return PyFloat_AS_DOUBLE(value.ptr());
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
        raise_type("a double needs a float or an int", value);
    const double d = PyLong_AsDouble(value.ptr());
    if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return d;
}

std::string text_bytes(py::handle value) {
    PyObject* o = value.ptr();
    if (PyUnicode_Check(o)) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(o, &size);
        if (data != nullptr) return std::string(data, static_cast<std::size_t>(size));
        PyErr_Clear();
        py::object encoded = py::reinterpret_steal<py::object>(
            PyUnicode_AsEncodedString(o, "utf-8", "surrogateescape"));
        if (!encoded) throw py::error_already_set();
        return std::string(PyBytes_AS_STRING(encoded.ptr()),
                           static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.ptr())));
    }
    if (PyBytes_Check(o))
        return std::string(PyBytes_AS_STRING(o), static_cast<std::size_t>(PyBytes_GET_SIZE(o)));
    if (PyByteArray_Check(o))
        return std::string(PyByteArray_AS_STRING(o),
                           static_cast<std::size_t>(PyByteArray_GET_SIZE(o)));
    if (PyObject_CheckBuffer(o)) {
        Py_buffer view;
        if (PyObject_GetBuffer(o, &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
        std::string out(static_cast<const char*>(view.buf), static_cast<std::size_t>(view.len));
        PyBuffer_Release(&view);
        return out;
    }
    raise_type("expected str or bytes", value);
}

py::object text_object(const char* data, std::size_t size) {
    PyObject* out = PyUnicode_DecodeUTF8(data, static_cast<Py_ssize_t>(size), "surrogateescape");
    if (out == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(out);
}

toolkit::CElement element_from_python(py::handle value) {
    using toolkit::CElement;
    PyObject* o = value.ptr();
    if (PyFloat_Check(o)) return CElement(PyFloat_AS_DOUBLE(o));
    if (PyBool_Check(o)) return CElement(o == Py_True);
    if (PyLong_Check(o)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
        if (overflow == 0) {
            if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
            return CElement(static_cast<std::int64_t>(v));
        }
        return CElement(uint_in_range(value, std::numeric_limits<std::uint64_t>::max(),
                                      "an int64 or uint64 value"));
    }
    if (PyUnicode_Check(o)) return CElement(text_bytes(value));
    if (PyBytes_Check(o) || PyByteArray_Check(o) || PyMemoryView_Check(o)) {
        const std::string bytes = text_bytes(value);
        return CElement(std::vector<char>(bytes.begin(), bytes.end()));
    }
    if (PyComplex_Check(o))
        return CElement(std::complex<double>(PyComplex_RealAsDouble(o), PyComplex_ImagAsDouble(o)));
    if (PyDateTime_Check(o)) return CElement::from_time(timeval_from_datetime(value));
    if (py::isinstance<CElement>(value)) return value.cast<const CElement&>();
    if (value.is_none()) throw py::type_error("None is no value for the store");
    raise_type("a value must be bool, int, float, str, bytes, complex, datetime or nyr.Element",
               value);
}

py::object element_to_python(const toolkit::CElement& value) {
    const auto& v = value.value;
    switch (value.type) {
        case DATATYPE_BOOL:
            return py::bool_(v.bool_value != 0);
        case DATATYPE_INT:
            return py::int_(v.int_value);
        case DATATYPE_UINT:
            return py::int_(v.uint_value);
        case DATATYPE_INT64:
            return py::int_(v.int64_value);
        case DATATYPE_UINT64:
            return py::int_(v.uint64_value);
        case DATATYPE_FLOAT:
            return py::float_(v.float_value);
        case DATATYPE_TIME:
            return datetime_from_timeval(toolkit::from_time32(v.time_value));
        case DATATYPE_STRING:
            return text_object(v.string_value.data, v.string_value.length);
        case DATATYPE_BLOB:
            return py::bytes(v.blob_value.data, v.blob_value.length);
        case DATATYPE_COMPLEX:
            return py::reinterpret_steal<py::object>(
                PyComplex_FromDoubles(v.complex_value.real, v.complex_value.imag));
        default:
            return py::none();
    }
}

}  // namespace nyr_py
