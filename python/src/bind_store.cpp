// nyr.Store: the Pythonic layer. Values convert by the Pythonic mapping (convert.h), a refused
// item raises StoreError, and each batch is one store call converted here in C++, so that a
// batch from Python costs little more than the same batch from C++.
#include <pybind11/stl.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include "bindings.h"
#include "convert.h"
#include "errors.h"
#include "store_handle.h"

namespace nyr_py {

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

// One entry of a listing.
struct Entry {
    py::object name;
    bool is_node;
    element_property_t property;
};

// A path for the store: a str (or bytes). A NUL byte would end the path early inside the store,
// so it is refused rather than cut.
std::string path_from_python(py::handle path) {
    std::string out = text_bytes(path);
    if (out.find('\0') != std::string::npos) throw py::value_error("a path cannot hold a NUL byte");
    return out;
}

std::vector<std::string> paths_from_python(py::handle paths) {
    if (PyUnicode_Check(paths.ptr()) || PyBytes_Check(paths.ptr()))
        throw py::type_error("paths must be a list of paths, not a single path");
    std::vector<std::string> out;
    const Py_ssize_t hint = PyObject_LengthHint(paths.ptr(), 0);
    if (hint > 0) out.reserve(static_cast<std::size_t>(hint));
    for (py::handle path : py::iter(paths)) out.push_back(path_from_python(path));
    return out;
}

std::vector<CEvent> events_from_python(py::handle events) {
    std::vector<CEvent> out;
    if (py::isinstance<CEvent>(events)) {
        out.push_back(events.cast<const CEvent&>());
        return out;
    }
    for (py::handle event : py::iter(events)) {
        if (!py::isinstance<CEvent>(event))
            throw py::type_error("events must be nyr.Event objects");
        out.push_back(event.cast<const CEvent&>());
    }
    return out;
}

// Raises once for every item of a batch whose status is not 1; a status the store did not report
// counts as refused with status 0.
void check_batch(const std::vector<std::string>& paths, const std::vector<api_status_t>& statuses) {
    py::list refused;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const api_status_t status = i < statuses.size() ? statuses[i] : 0;
        if (status != QEL_STATUS_OK) refused.append(refused_item(paths[i], status));
    }
    if (refused.size() != 0) raise_batch(refused, paths.size());
}

void single(StoreHandle& s, const std::string& path,
            int (CNyr::*member)(const std::string&, api_status_t&, const std::string&),
            const std::string& source) {
    api_status_t status = 0;
    const int result =
        s.call([&](qel_handle_t h) { return (CNyr(h).*member)(path, status, source); });
    check_item(path, result, status);
}

CElement element_at(StoreHandle& s, const std::string& path) {
    api_status_t status = 0;
    CElement value;
    element_property_t property = 0;
    const int result =
        s.call([&](qel_handle_t h) { return CNyr(h).get_leaf(path, status, value, property); });
    check_item(path, result, status);
    return value;
}

void set_many(StoreHandle& s, py::handle items, const std::string& source) {
    std::vector<std::string> paths;
    std::vector<CElement> values;
    if (PyDict_Check(items.ptr())) {
        const auto n = static_cast<std::size_t>(PyDict_Size(items.ptr()));
        paths.reserve(n);
        values.reserve(n);
        Py_ssize_t pos = 0;
        PyObject *key = nullptr, *value = nullptr;
        while (PyDict_Next(items.ptr(), &pos, &key, &value)) {
            paths.push_back(path_from_python(key));
            values.push_back(element_from_python(value));
        }
    } else {
        for (py::handle item : py::iter(items)) {
            py::tuple pair = py::reinterpret_borrow<py::object>(item);
            if (pair.size() != 2) throw py::type_error("set_many needs (path, value) pairs");
            paths.push_back(path_from_python(pair[0]));
            values.push_back(element_from_python(pair[1]));
        }
    }
    const std::vector<qel_tribool_t> tribools(paths.size(), 0);
    std::vector<api_status_t> statuses;
    const int result = s.call([&](qel_handle_t h) {
        return CNyr(h).set_leaves(paths, values, tribools, statuses, source);
    });
    if (result != 0) raise_failed("set_many", result);
    check_batch(paths, statuses);
}

py::list get_many(StoreHandle& s, py::handle paths_object) {
    const std::vector<std::string> paths = paths_from_python(paths_object);
    std::vector<api_status_t> statuses;
    std::vector<CElement> values;
    std::vector<element_property_t> properties;
    const int result = s.call(
        [&](qel_handle_t h) { return CNyr(h).get_leaves(paths, statuses, values, properties); });
    if (result != 0) raise_failed("get_many", result);
    check_batch(paths, statuses);
    py::list out(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) out[i] = element_to_python(values[i]);
    return out;
}

py::list list_entries(StoreHandle& s, const std::string& path) {
    api_status_t status = 0;
    CNyr::listing_t entries;
    const int result =
        s.call([&](qel_handle_t h) { return CNyr(h).list_node(path, status, entries); });
    check_item(path, result, status);
    py::list out;
    for (const auto& [name, kind] : entries)
        out.append(Entry{text_object(name.data(), name.size()), kind.first == QEL_ELEMENT_NODE,
                         kind.second});
    return out;
}

void send(StoreHandle& s, py::handle events_object) {
    const std::vector<CEvent> events = events_from_python(events_object);
    std::vector<api_status_t> statuses;
    const int result =
        s.call([&](qel_handle_t h) { return CNyr(h).events_send(events, statuses); });
    if (result != 0) raise_failed("send", result);
    std::vector<std::string> paths;
    for (const auto& e : events) paths.push_back(e.path);
    check_batch(paths, statuses);
}

std::vector<CEvent> log_events(StoreHandle& s, py::handle path, py::handle since, py::handle until,
                               unsigned limit) {
    const std::string where = path.is_none() ? std::string() : path_from_python(path);
    const timeval from = since.is_none() ? timeval{} : timeval_from_datetime(since);
    const timeval to = until.is_none() ? timeval{} : timeval_from_datetime(until);
    // With a limit the newest events are meant; they still come oldest first (as nyr log).
    const bool newest = limit != 0;
    std::vector<CEvent> events;
    const int result = s.call([&](qel_handle_t h) {
        return toolkit::CLog(h).retrieve(events, where, since.is_none() ? nullptr : &from,
                                         until.is_none() ? nullptr : &to, limit, newest, newest, 0);
    });
    if (result != 0) raise_failed(where.empty() ? "log" : where, result);
    return events;
}

}  // namespace

void bind_store(py::module_& m) {
    py::class_<Entry>(m, "Entry", "An entry of Store.ls(): name, is_node and property.")
        .def_readonly("name", &Entry::name, "The entry's name (not its path).")
        .def_readonly("is_node", &Entry::is_node, "True for a node, False for a leaf.")
        .def_readonly("property", &Entry::property, "The store's property word.")
        .def("__repr__", [](const Entry& e) {
            return "nyr.Entry(" + std::string(py::repr(e.name)) +
                   (e.is_node ? ", node)" : ", leaf)");
        });

    py::class_<StoreHandle, std::shared_ptr<StoreHandle>> store(
        m, "Store", R"(A host store: in process (nyr.open) or nyrd's (nyr.connect).

Writers take an optional source string. A refused item raises StoreError; a closed store raises
ValueError. Every call releases the GIL. Close it with close() or a with block; it is closed
when collected too.)");
    store
        .def_static(
            "_open",
            [](const py::object& file) {
                if (file.is_none()) return StoreHandle::open(nullptr);
                const std::string name = path_from_python(file);
                return StoreHandle::open(&name);
            },
            py::arg("file") = py::none())
        .def_static("_connect", &StoreHandle::connect, py::arg("socket"))
        .def_static("_check_item", &check_item, py::arg("path"), py::arg("result"),
                    py::arg("status"), "Raises StoreError for a failed call or a refused item.")
        .def("_another", &StoreHandle::another,
             "Another handle on the same store, with its own registrations and queue.")
        .def("close", &StoreHandle::close,
             "Closes the store (the first handle closes the in-process store); harmless twice.")
        .def_property_readonly("closed", &StoreHandle::closed, "True once closed.")
        .def_property_readonly("remote", &StoreHandle::remote, "True for nyrd's store.")
        .def_property_readonly("socket", &StoreHandle::socket, "nyrd's socket, '' in process.")
        .def("__enter__", [](std::shared_ptr<StoreHandle> s) { return s; })
        .def("__exit__", [](StoreHandle& s, py::handle, py::handle, py::handle) { s.close(); })
        .def("__repr__", [](const StoreHandle& s) {
            std::string where = s.remote() ? "nyrd at " + s.socket() : "in process";
            return "<nyr.Store " + where + (s.closed() ? ", closed>" : ">");
        });

    store
        .def(
            "set",
            [](StoreHandle& s, py::handle path, py::handle value, const std::string& source) {
                const std::string p = path_from_python(path);
                const CElement e = element_from_python(value);
                api_status_t status = 0;
                const int result = s.call(
                    [&](qel_handle_t h) { return CNyr(h).set_leaf(p, e, status, 0, source); });
                check_item(p, result, status);
            },
            py::arg("path"), py::arg("value"), py::arg("source") = "",
            "Writes a leaf. float -> double, int -> int64 (uint64 from 2**63), bool, str, bytes, "
            "complex, datetime -> time, or an Element as it is.")
        .def(
            "get",
            [](StoreHandle& s, py::handle path) {
                return element_to_python(element_at(s, path_from_python(path)));
            },
            py::arg("path"), "The leaf's value as a Python object.")
        .def(
            "element",
            [](StoreHandle& s, py::handle path) { return element_at(s, path_from_python(path)); },
            py::arg("path"), "The leaf's value as an Element, with its type and time stamp.")
        .def(
            "ls",
            [](StoreHandle& s, py::handle path) { return list_entries(s, path_from_python(path)); },
            py::arg("path") = "/", "The entries of a node, sorted by name.")
        .def(
            "mkdir",
            [](StoreHandle& s, py::handle path, const std::string& source) {
                single(s, path_from_python(path), &CNyr::add_node, source);
            },
            py::arg("path"), py::arg("source") = "", "Adds a node (and the nodes above it).")
        .def(
            "rm",
            [](StoreHandle& s, py::handle path, const std::string& source) {
                const std::string p = path_from_python(path);
                api_status_t status = 0;
                const int result = s.call([&](qel_handle_t h) {
                    CNyr client(h);
                    int r = client.remove_node(p, status, source);
                    // Whatever is at the path goes: a leaf is cleared.
                    if (r == 0 && status == QEL_STATUS_IS_LEAF)
                        r = client.clear_leaf(p, status, source);
                    return r;
                });
                check_item(p, result, status);
            },
            py::arg("path"), py::arg("source") = "",
            "Removes a node with everything below it, or a leaf.")
        .def(
            "cp",
            [](StoreHandle& s, py::handle from, py::handle to, const std::string& source) {
                const std::string f = path_from_python(from), t = path_from_python(to);
                api_status_t status = 0;
                const int result = s.call([&](qel_handle_t h) {
                    return CNyr(h).copy_node_recursive(f, t, status, source);
                });
                check_item(f, result, status);
            },
            py::arg("src"), py::arg("dst"), py::arg("source") = "", "Copies a subtree.")
        .def(
            "mv",
            [](StoreHandle& s, py::handle from, py::handle to, const std::string& source) {
                const std::string f = path_from_python(from), t = path_from_python(to);
                api_status_t status = 0;
                const int result =
                    s.call([&](qel_handle_t h) { return CNyr(h).move_node(f, t, status, source); });
                check_item(f, result, status);
            },
            py::arg("src"), py::arg("dst"), py::arg("source") = "",
            "Moves a subtree (StoreError with status 3 when the target exists).")
        .def("set_many", &set_many, py::arg("items"), py::arg("source") = "",
             "Writes {path: value} (or (path, value) pairs) in one batch. Refused items raise one "
             "StoreError after the others were written, its .items listing every refused "
             "(path, status, meaning).")
        .def("get_many", &get_many, py::arg("paths"),
             "The values of the leaves at the paths, in one batch, as a list in the paths' order; "
             "StoreError listing every refused item.")
        .def("send", &send, py::arg("events"),
             "Sends an Event or a list of them to every handle registered for them.")
        .def("log", &log_events, py::arg("path") = py::none(), py::arg("since") = py::none(),
             py::arg("until") = py::none(), py::arg("limit") = 0,
             "Logged events at the path (and below; None: every path) between since and until "
             "(datetimes, None: no bound), oldest first; limit: at most the newest that many "
             "(0: all).")
        .def(
            "log_store",
            [](StoreHandle& s, py::handle events_object, bool flag) {
                const std::vector<CEvent> events = events_from_python(events_object);
                const int result =
                    s.call([&](qel_handle_t h) { return toolkit::CLog(h).store(events, flag); });
                if (result != 0) raise_failed("log_store", result);
            },
            py::arg("events"), py::arg("flag") = false,
            "Stores an Event or a list of them in the event log.");

    m.def(
        "default_socket",
        [] {
            char buf[4200];
            if (qel_host_default_socket(buf, sizeof buf) != 0) throw py::value_error("no socket");
            return std::string(buf);
        },
        "nyrd's default socket: $XDG_RUNTIME_DIR/nyr/nyr.sock, else /tmp/nyr-UID/nyr.sock.");
}

}  // namespace nyr_py
