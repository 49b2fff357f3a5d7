// nyr.Event: toolkit::CEvent with every field as an attribute, and the store's encodings of
// events and values.
#include <pybind11/stl.h>
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include "bindings.h"
#include "convert.h"

namespace nyr_py {

using toolkit::CElement;
using toolkit::CEvent;

namespace {

// A text field, with every byte kept both ways (NUL bytes, and bytes that are not UTF-8 through
// surrogateescape).
void text_field(py::class_<CEvent>& c, const char* name, std::string CEvent::*field,
                const char* doc) {
    c.def_property(
        name,
        [field](const CEvent& e) { return text_object((e.*field).data(), (e.*field).size()); },
        [field](CEvent& e, py::handle v) { e.*field = text_bytes(v); }, doc);
}

py::tuple encoded(int result, const std::vector<char>& out) {
    return py::make_tuple(result, result == 0 ? py::bytes(out.data(), out.size()) : py::bytes());
}

}  // namespace

void bind_event(py::module_& m) {
    py::class_<CEvent> event(m, "Event", R"(An event or alarm (toolkit::CEvent).

Event(type=0, **fields): the kind's defaults (path "/", cmd 10, value True, quality 192, ...),
then each keyword as the attribute of that name, e.g.
Event(0x8, path="/plant/pump", note="bearing hot", value=71.5). Which fields cross the store
depends on the kind (generic fields for a bit of 0xFC, alarm fields for 0xD8). Attributes
holding lists and dicts give copies; assign the whole list or dict to change them.)");
    event.def(py::init([](int32_t type, py::kwargs fields) {
                  CEvent e(type);
                  py::object self = py::cast(&e, py::return_value_policy::reference);
                  for (auto item : fields) py::setattr(self, item.first, item.second);
                  return e;
              }),
              py::arg("type") = 0);
    event.def_readwrite("type", &CEvent::type, "The kind: its bits select the fields carried.");
    text_field(event, "path", &CEvent::path, "Path of the store item the event is about.");
    event.def_readwrite("cmd", &CEvent::cmd, "Command code.");
    event.def_property(
        "value", [](const CEvent& e) { return e.value; },
        [](CEvent& e, py::handle v) { e.value = element_from_python(v); },
        "The event's value: a copy as an Element; set from an Element or any value the store "
        "takes (float, int, str, ...).");
    text_field(event, "source", &CEvent::source, "Source string (see format_source_string).");
    event.def_readwrite("severity", &CEvent::severity,
                        "Kind 0x100: severity (shares quality's place).");
    event.def_readwrite("quality", &CEvent::quality, "Every other kind: quality, 0..65535.");
    event.def_readwrite("was_logged", &CEvent::was_logged, "The logged flag.");
    text_field(event, "description", &CEvent::description, "Generic: description text.");
    event.def_readwrite("event_id", &CEvent::event_id, "Generic: event identifier (uint64).");
    event.def_readwrite("sequence_id", &CEvent::sequence_id, "Generic: sequence number (uint32).");
    event.def_readwrite("waveform_urls", &CEvent::waveform_urls, "Generic: list of URL texts.");
    event.def_readwrite("details", &CEvent::details, "Generic: details, a dict of texts.");
    event.def_property(
        "event_time", [](const CEvent& e) { return stamp_to_python(e.event_time); },
        [](CEvent& e, py::handle t) { e.event_time = stamp_from_python(t); },
        "When it happened: a datetime in UTC, or None when not set.");
    event.def_readwrite("cause", &CEvent::cause, "Cause code.");
    event.def_readwrite("final", &CEvent::final, "Kind 0x20: the final flag.");
    event.def_readwrite("ack_status", &CEvent::ack_status, "Alarm: acknowledgement status.");
    event.def_readwrite("base_priority", &CEvent::base_priority, "Alarm: base priority.");
    event.def_readwrite("condition_raised", &CEvent::condition_raised,
                        "Alarm: the condition-raised flag.");
    text_field(event, "note", &CEvent::note, "Alarm: note text.");
    event.def_readwrite("auto_close", &CEvent::auto_close, "Alarm: the auto-close flag.");
    event.def_readwrite("variation_level", &CEvent::variation_level, "Alarm: variation level.");

    event.def("generic", &CEvent::generic, "True when the kind carries the generic fields (0xFC).")
        .def("is_alarm", &CEvent::is_alarm, "True when the kind is an alarm (0xD8).")
        .def("is_ack", &CEvent::is_ack, "True when the kind is an acknowledgement (0x90).")
        .def("to_string", &CEvent::to_string, "One line of labelled fields, for people.")
        .def("__repr__", [](const CEvent& e) { return "nyr.Event(" + e.to_string() + ")"; })
        .def("__copy__", [](const CEvent& e) { return CEvent(e); })
        .def("__deepcopy__", [](const CEvent& e, py::handle) { return CEvent(e); })
        .def_static(
            "parse_source_string",
            [](const std::string& source) {
                std::string first, second, third;
                const int result = CEvent::parse_source_string(source, first, second, third);
                return py::make_tuple(result, first, second, third);
            },
            py::arg("source"), "(result, first, second, third) of a source string.")
        .def_static(
            "format_source_string",
            [](const std::string& first, const std::string& second, const std::string& third) {
                std::string out;
                const int result = CEvent::format_source_string(out, first, second, third);
                return py::make_tuple(result, out);
            },
            py::arg("first") = "", py::arg("second") = "", py::arg("third") = "",
            "(result, source): the source string of three components; result is its length or "
            "the store's negative failure code.")
        .def_static(
            "human_source_string",
            [](const std::string& source) {
                std::string out;
                CEvent::human_source_string(source, out);
                return out;
            },
            py::arg("source"), "'second@third (first)', '' for a source that does not parse.");

    m.def(
        "serialize_event",
        [](const CEvent& e) {
            _event_t base = e.get_base();
            std::vector<char> out;
            const int result = toolkit::serialize_event(out, base);
            destruct_event(&base);
            return encoded(result, out);
        },
        py::arg("event"), "(result, bytes): the store's encoding of the event (b'' on failure).");
    m.def(
        "serialize_element",
        [](const CElement& value, bool flag) {
            std::vector<char> out;
            return encoded(toolkit::serialize_element(out, value, flag), out);
        },
        py::arg("value"), py::arg("flag") = true,
        "(result, bytes): the store's encoding of the value; flag: with its time stamp.");
}

}  // namespace nyr_py
