// nyr.Log: toolkit::CLog on a store's handle.
#include <pybind11/stl.h>
#include <toolkit/log.h>

#include <optional>

#include "bindings.h"
#include "convert.h"
#include "store_handle.h"

namespace nyr_py {

using toolkit::CEvent;
using toolkit::CLog;

namespace {

struct Log {
    explicit Log(std::shared_ptr<StoreHandle> s) : store(std::move(s)), log(store->handle()) {}
    std::shared_ptr<StoreHandle> store;
    CLog log;
};

std::optional<timeval> bound(py::handle time) {
    if (time.is_none()) return std::nullopt;
    return timeval_from_datetime(time);
}

const timeval* pointer(const std::optional<timeval>& time) {
    return time ? &*time : nullptr;
}

}  // namespace

void bind_log(py::module_& m) {
    py::class_<Log>(m, "Log",
                    R"(toolkit::CLog, the store's event log, on a store's handle: Log(store).

Times are datetimes (naive = UTC) or None for no bound. Calls release the GIL.)")
        .def(py::init<std::shared_ptr<StoreHandle>>(), py::arg("store").none(false))
        .def(
            "store",
            [](Log& l, const std::vector<CEvent>& events, bool flag) {
                return l.store->call([&](qel_handle_t) { return l.log.store(events, flag); });
            },
            py::arg("events"), py::arg("flag") = false, "Stores the events; the store's result.")
        .def(
            "retrieve",
            [](Log& l, const std::string& path, py::handle from, py::handle to, unsigned option_a,
               bool flag_a, bool flag_b, unsigned option_b) {
                const auto since = bound(from), until = bound(to);
                std::vector<CEvent> events;
                const int result = l.store->call([&](qel_handle_t) {
                    return l.log.retrieve(events, path, pointer(since), pointer(until), option_a,
                                          flag_a, flag_b, option_b);
                });
                return py::make_tuple(result, events);
            },
            py::arg("path") = "", py::arg("from_time") = py::none(),
            py::arg("to_time") = py::none(), py::arg("option_a") = 0, py::arg("flag_a") = false,
            py::arg("flag_b") = false, py::arg("option_b") = 0,
            "(result, events). The host store: option_a at most that many (0: all), option_b "
            "skip that many, flag_a counts both from the newest; flag_a != flag_b reverses the "
            "order.")
        .def(
            "clear",
            [](Log& l, const std::string& path, py::handle from, py::handle to) {
                const auto since = bound(from), until = bound(to);
                return l.store->call([&](qel_handle_t) {
                    return l.log.clear(path, pointer(since), pointer(until));
                });
            },
            py::arg("path") = "", py::arg("from_time") = py::none(),
            py::arg("to_time") = py::none(), "Clears logged events; the store's result.");
}

}  // namespace nyr_py
