// nyr.Element: toolkit::CElement with every constructor (as named factories, since Python cannot
// tell int32 from int64 by the argument), its readers, text forms and conversion.
#include <pybind11/complex.h>
#include <pybind11/stl.h>
#include <toolkit/element.h>

#include <limits>
#include <locale>

#ifdef NYR_PY_HAVE_LOCALE
#include <boost/locale/generator.hpp>
#endif

#include "bindings.h"
#include "convert.h"
#include "value_text.h"

namespace nyr_py {

using toolkit::CElement;

namespace {

py::bytes bytes_of(const std::vector<char>& bytes) {
    return py::bytes(bytes.data(), bytes.size());
}

std::string element_repr(const CElement& e) {
    std::string out = std::string("nyr.Element(") + nyr_tool::type_name(e.type);
    if (e.type >= DATATYPE_BOOL && e.type <= DATATYPE_UINT64) out += ", " + nyr_tool::value_text(e);
    if (e.timestamp.tv_sec != -1) out += ", " + nyr_tool::time_text(e.timestamp);
    return out + ")";
}

std::locale make_locale(const std::string& name, const std::string& domain,
                        const py::object& messages_path) {
#ifdef NYR_PY_HAVE_LOCALE
    boost::locale::generator generator;
    if (!messages_path.is_none()) generator.add_messages_path(messages_path.cast<std::string>());
    if (!domain.empty()) generator.add_messages_domain(domain);
    return generator(name);
#else
    (void)name, (void)domain, (void)messages_path;
    return std::locale::classic();
#endif
}

template <class T>
CElement make(T value, const py::object& time) {
    return CElement(value, stamp_from_python(time));
}

constexpr auto kTimeDoc = "time: the time stamp, a datetime (naive = UTC) or None for none.";

}  // namespace

void bind_element(py::module_& m) {
    py::class_<CElement> element(m, "Element", R"(A typed value of the store (toolkit::CElement).

Made by the factories boolean, int32, uint32, int64, uint64, double, complex, string, blob and
time (each with an optional time stamp), or copied: Element(other, time=None). An Element owns
its bytes; it never refers to the store's memory.)");
    element.def(py::init<>(), "DATATYPE_INVALID without time stamp.")
        .def(py::init([](const CElement& other, const py::object& time) {
                 return CElement(CElement(other), stamp_from_python(time));
             }),
             py::arg("other"), py::arg("time") = py::none(),
             "A copy of `other`; a `time` other than None replaces its time stamp.");

    element
        .def_static(
            "boolean",
            [](py::handle v, const py::object& t) {
                if (!PyBool_Check(v.ptr())) throw py::type_error("boolean needs a bool");
                return make(v.ptr() == Py_True, t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_BOOL. ") + kTimeDoc).c_str())
        .def_static(
            "int32",
            [](py::handle v, const py::object& t) {
                return make(static_cast<int32_t>(
                                int_in_range(v, std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max(), "int32")),
                            t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_INT; OverflowError outside 32 bits. ") + kTimeDoc).c_str())
        .def_static(
            "uint32",
            [](py::handle v, const py::object& t) {
                return make(static_cast<uint32_t>(
                                uint_in_range(v, std::numeric_limits<uint32_t>::max(), "uint32")),
                            t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_UINT; OverflowError outside 0..2**32-1. ") + kTimeDoc).c_str())
        .def_static(
            "int64",
            [](py::handle v, const py::object& t) {
                return make(static_cast<std::int64_t>(
                                int_in_range(v, std::numeric_limits<std::int64_t>::min(),
                                             std::numeric_limits<std::int64_t>::max(), "int64")),
                            t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_INT64; OverflowError outside 64 bits. ") + kTimeDoc).c_str())
        .def_static(
            "uint64",
            [](py::handle v, const py::object& t) {
                return make(static_cast<std::uint64_t>(uint_in_range(
                                v, std::numeric_limits<std::uint64_t>::max(), "uint64")),
                            t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_UINT64; OverflowError outside 0..2**64-1. ") + kTimeDoc).c_str())
        .def_static(
            "double",
            [](py::handle v, const py::object& t) { return make(double_from_python(v), t); },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_FLOAT, every bit of the float kept (NaN payloads too). ") +
             kTimeDoc)
                .c_str())
        .def_static(
            "complex",
            [](py::handle v, const py::object& t) {
                if (!PyComplex_Check(v.ptr()) && !PyFloat_Check(v.ptr()) && !PyLong_Check(v.ptr()))
                    throw py::type_error("complex needs a complex, float or int");
                Py_complex c = PyComplex_AsCComplex(v.ptr());
                if (PyErr_Occurred()) throw py::error_already_set();
                return make(std::complex<double>(c.real, c.imag), t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_COMPLEX. ") + kTimeDoc).c_str())
        .def_static(
            "string", [](py::handle v, const py::object& t) { return make(text_bytes(v), t); },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_STRING from a str (UTF-8) or bytes, NUL bytes included. ") +
             kTimeDoc)
                .c_str())
        .def_static(
            "blob",
            [](py::handle v, const py::object& t) {
                if (PyUnicode_Check(v.ptr())) throw py::type_error("blob needs bytes, not str");
                const std::string bytes = text_bytes(v);
                return make(std::vector<char>(bytes.begin(), bytes.end()), t);
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_BLOB from bytes, bytearray or a buffer. ") + kTimeDoc).c_str());
    for (const char* name : {"time", "from_time"})
        element.def_static(
            name,
            [](py::handle v, const py::object& t) {
                return CElement::from_time(timeval_from_datetime(v), stamp_from_python(t));
            },
            py::arg("value"), py::arg("time") = py::none(),
            (std::string("DATATYPE_TIME holding a datetime (naive = UTC; OverflowError outside "
                         "32-bit seconds). ") +
             kTimeDoc)
                .c_str());

    element
        .def_property_readonly(
            "type", [](const CElement& e) { return static_cast<int32_t>(e.type); },
            "The data type code (DATATYPE_*).")
        .def_property(
            "timestamp",
            [](const CElement& e) { return stamp_to_python(toolkit::from_time32(e.timestamp)); },
            [](CElement& e, const py::object& t) {
                e.timestamp = toolkit::to_time32(stamp_from_python(t));
            },
            "The time stamp as a datetime in UTC, or None when not set.")
        .def_property_readonly("value", &element_to_python,
                               "The value as a Python object: bool, int, float, complex, str, "
                               "bytes or datetime; None for DATATYPE_INVALID.")
        .def("to_bool", &CElement::to_bool, "The value read as a bool.")
        .def("to_int", &CElement::to_int, "The value read as an int32.")
        .def("to_uint", &CElement::to_uint, "The value read as a uint32.")
        .def("to_int64", &CElement::to_int64, "The value read as an int64.")
        .def("to_uint64", &CElement::to_uint64, "The value read as a uint64.")
        .def("to_float", &CElement::to_float, "The value read as a double.")
        .def("to_complex", &CElement::to_complex, "The value read as a complex.")
        .def(
            "to_timeval",
            [](const CElement& e) {
                timeval out{};
                e.to_timeval(out);
                return stamp_to_python(out);
            },
            "The value read as a time: a datetime in UTC, or None when it is no time.")
        .def(
            "to_string",
            [](const CElement& e) {
                std::string out;
                e.to_string(out);
                return text_object(out.data(), out.size());
            },
            "The canonical text of the value (blobs in Base64, '' for an invalid type).")
        .def(
            "to_translated_string",
            [](const CElement& e, const std::string& locale, const py::object& context,
               const std::string& domain, const py::object& messages_path) {
                const std::locale loc = make_locale(locale, domain, messages_path);
                const std::string ctx =
                    context.is_none() ? std::string() : context.cast<std::string>();
                const std::string out = e.to_translated_string(
                    loc, context.is_none() ? nullptr : ctx.c_str(), domain.c_str());
                return text_object(out.data(), out.size());
            },
            py::arg("locale") = "", py::arg("context") = py::none(), py::arg("domain") = "",
            py::arg("messages_path") = py::none(),
            "The canonical text translated by the catalogue of `domain` for the locale named "
            "`locale` (e.g. 'de_DE.UTF-8'), found below `messages_path`; untranslated without "
            "an entry.")
        .def(
            "convert_type",
            [](CElement& e, py::handle target) {
                return e.convert_type(static_cast<data_type_t>(
                    int_in_range(target, std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max(), "a data type")));
            },
            py::arg("target"),
            "Replaces the value by its reading as `target`; 0, or -1 (and no change) for a "
            "target outside 1..10.")
        .def(
            "to_binary_blob",
            [](const CElement& e) {
                std::vector<char> out;
                e.to_binary_blob(out);
                return bytes_of(out);
            },
            "The bytes of the value in host byte order.")
        .def(
            "__eq__",
            [](const CElement& a, py::handle b) -> py::object {
                if (!py::isinstance<CElement>(b))
                    return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                return py::bool_(a == b.cast<const CElement&>());
            },
            py::is_operator(), "Value equality; time stamps are ignored.")
        .def("__copy__", [](const CElement& e) { return CElement(e); })
        .def("__deepcopy__", [](const CElement& e, py::handle) { return CElement(e); })
        .def("__repr__", &element_repr);

    element
        .def_static(
            "split_string",
            [](const std::string& text, char separator) {
                std::vector<std::string> out;
                CElement::split_string(out, text, separator);
                return out;
            },
            py::arg("text"), py::arg("separator"), "The pieces of `text` between separators.")
        .def_static(
            "merge_strings",
            [](const std::vector<std::string>& parts) {
                std::string out;
                CElement::merge_strings(out, parts);
                return out;
            },
            py::arg("parts"), "The parts joined by ';'.")
        .def_static(
            "xml_escape",
            [](std::string text) {
                CElement::xml_escape(text);
                return text;
            },
            py::arg("text"), "The text with < > & ' \" as XML entities.")
        .def_readwrite_static("auto_time", &CElement::_auto_time,
                              "Writes of unstamped values ask the store to stamp (default True). "
                              "Change it only while no other thread uses the library.")
        .def_readwrite_static("forced_auto_time", &CElement::_forced_auto_time,
                              "Every write asks the store to stamp (default False).");
}

}  // namespace nyr_py
