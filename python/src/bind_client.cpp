// nyr.Client: every member of toolkit::CNyr with the C++ semantics. Inputs come in the member's
// order; the result and then every out-value come back as one tuple, in the member's order.
#include <pybind11/stl.h>
#include <toolkit/nyr.h>

#include "bindings.h"
#include "store_handle.h"

namespace nyr_py {

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;
using Paths = std::vector<std::string>;
using Statuses = std::vector<api_status_t>;

namespace {

// A CNyr on a store's handle; the store stays alive as long as the client does.
struct Client {
    explicit Client(std::shared_ptr<StoreHandle> s, bool read_only)
        : store(std::move(s)), nyr(store->handle(), read_only) {}
    // Runs f(nyr) through the store's call(): without the GIL, with the handle open.
    template <class F>
    auto operator()(F&& f) {
        return store->call([&](qel_handle_t) { return f(nyr); });
    }
    std::shared_ptr<StoreHandle> store;
    CNyr nyr;
};

// The members that take a path and a source and report one status.
using PathSourceMember = int (CNyr::*)(const std::string&, api_status_t&, const std::string&);
// The batch members that take paths and a source and report statuses.
using BatchMember = int (CNyr::*)(const Paths&, Statuses&, const std::string&);

}  // namespace

void bind_client(py::module_& m) {
    py::class_<Client> c(m, "Client",
                         R"(toolkit::CNyr on a store's handle: Client(store) or store.client.

Every member as in C++, its result first and then its out-values in the member's order, e.g.
result, status, value, prop = client.get_leaf(path). Calls release the GIL. A closed store
raises ValueError.)");
    c.def(py::init<std::shared_ptr<StoreHandle>, bool>(), py::arg("store").none(false),
          py::arg("read_only") = false);
    c.def(
         "isReadOnly", [](Client& c) { return c.nyr.isReadOnly(); }, "True in read-only mode.")
        .def(
            "setReadOnly", [](Client& c) { c.nyr.setReadOnly(); }, "Switches read-only mode on.")
        .def(
            "clearReadOnly", [](Client& c) { c.nyr.clearReadOnly(); },
            "Switches read-only mode off.");

    const std::pair<const char*, PathSourceMember> path_source[] = {
        {"add_node", &CNyr::add_node},
        {"remove_node", &CNyr::remove_node},
        {"clear_leaf", &CNyr::clear_leaf}};
    for (const auto& [name, member] : path_source)
        c.def(
            name,
            [member = member](Client& c, const std::string& path, const std::string& source) {
                api_status_t status = 0;
                const int result = c([&](CNyr& n) { return (n.*member)(path, status, source); });
                return py::make_tuple(result, status);
            },
            py::arg("path"), py::arg("source") = "", "(result, status).");
    const std::pair<const char*, BatchMember> batches[] = {{"add_nodes", &CNyr::add_nodes},
                                                           {"remove_nodes", &CNyr::remove_nodes},
                                                           {"clear_leaves", &CNyr::clear_leaves}};
    for (const auto& [name, member] : batches)
        c.def(
            name,
            [member = member](Client& c, const Paths& paths, const std::string& source) {
                Statuses statuses;
                const int result = c([&](CNyr& n) { return (n.*member)(paths, statuses, source); });
                return py::make_tuple(result, statuses);
            },
            py::arg("paths"), py::arg("source") = "", "(result, statuses).");

    c.def(
         "set_leaf",
         [](Client& c, const std::string& path, const CElement& value, qel_tribool_t tribool,
            const std::string& source) {
             api_status_t status = 0;
             const int result =
                 c([&](CNyr& n) { return n.set_leaf(path, value, status, tribool, source); });
             return py::make_tuple(result, status);
         },
         py::arg("path"), py::arg("value"), py::arg("tribool") = 0, py::arg("source") = "",
         "(result, status).")
        .def(
            "test_node",
            [](Client& c, const std::string& path) {
                api_status_t status = 0;
                const int result = c([&](CNyr& n) { return n.test_node(path, status); });
                return py::make_tuple(result, status);
            },
            py::arg("path"), "(result, status): status 1 when the node exists.")
        .def(
            "get_leaf",
            [](Client& c, const std::string& path) {
                api_status_t status = 0;
                CElement value;
                element_property_t property = 0;
                const int result =
                    c([&](CNyr& n) { return n.get_leaf(path, status, value, property); });
                return py::make_tuple(result, status, value, property);
            },
            py::arg("path"), "(result, status, value, property).")
        .def(
            "test_nodes",
            [](Client& c, const Paths& paths) {
                Statuses statuses;
                const int result = c([&](CNyr& n) { return n.test_nodes(paths, statuses); });
                return py::make_tuple(result, statuses);
            },
            py::arg("paths"), "(result, statuses).")
        .def(
            "set_leaves",
            [](Client& c, const Paths& paths, const std::vector<CElement>& values,
               const std::vector<qel_tribool_t>& tribools, const std::string& source) {
                Statuses statuses;
                const int result = c([&](CNyr& n) {
                    return n.set_leaves(paths, values, tribools, statuses, source);
                });
                return py::make_tuple(result, statuses);
            },
            py::arg("paths"), py::arg("values"), py::arg("tribools"), py::arg("source") = "",
            "(result, statuses).")
        .def(
            "get_leaves",
            [](Client& c, const Paths& paths) {
                Statuses statuses;
                std::vector<CElement> values;
                std::vector<element_property_t> properties;
                const int result =
                    c([&](CNyr& n) { return n.get_leaves(paths, statuses, values, properties); });
                return py::make_tuple(result, statuses, values, properties);
            },
            py::arg("paths"), "(result, statuses, values, properties).")
        .def(
            "list_node",
            [](Client& c, const std::string& path) {
                api_status_t status = 0;
                CNyr::listing_t entries;
                const int result = c([&](CNyr& n) { return n.list_node(path, status, entries); });
                return py::make_tuple(result, status, entries);
            },
            py::arg("path"), "(result, status, entries): entries as (name, (kind, property)).")
        .def(
            "mpl_fetch",
            [](Client& c, const std::string& path) {
                api_status_t status = 0;
                CNyr::fetch_t entries;
                const int result = c([&](CNyr& n) { return n.mpl_fetch(path, status, entries); });
                return py::make_tuple(result, status, entries);
            },
            py::arg("path"), "(result, status, entries): entries as (name, Element).");
    for (const char* name : {"copy_node_recursive", "move_node"}) {
        const bool move = name[0] == 'm';
        c.def(
            name,
            [move](Client& c, const std::string& from, const std::string& to,
                   const std::string& source) {
                api_status_t status = 0;
                const int result = c([&](CNyr& n) {
                    return move ? n.move_node(from, to, status, source)
                                : n.copy_node_recursive(from, to, status, source);
                });
                return py::make_tuple(result, status);
            },
            py::arg("from_path"), py::arg("to_path"), py::arg("source") = "", "(result, status).");
    }

    c.def(
         "event_register",
         [](Client& c, const std::string& path, api_event_t kind, bool flag) {
             api_status_t status = 0;
             const int result =
                 c([&](CNyr& n) { return n.event_register(path, kind, flag, status); });
             return py::make_tuple(result, status);
         },
         py::arg("path"), py::arg("kind"), py::arg("flag") = false, "(result, status).")
        .def(
            "event_clear",
            [](Client& c, const std::string& path, api_event_t kind) {
                api_status_t status = 0;
                const int result = c([&](CNyr& n) { return n.event_clear(path, kind, status); });
                return py::make_tuple(result, status);
            },
            py::arg("path"), py::arg("kind"), "(result, status).")
        .def(
            "events_send",
            [](Client& c, const std::vector<CEvent>& events) {
                Statuses statuses;
                const int result = c([&](CNyr& n) { return n.events_send(events, statuses); });
                return py::make_tuple(result, statuses);
            },
            py::arg("events"), "(result, statuses).")
        .def(
            "events_get",
            [](Client& c) {
                std::vector<CEvent> events;
                const int result = c([&](CNyr& n) { return n.events_get(events); });
                return py::make_tuple(result, events);
            },
            "(count, events); waits up to the store's event wait for a first event, without "
            "the GIL.")
        .def(
            "events_get_nonblocking",
            [](Client& c) {
                std::vector<CEvent> events;
                const int result = c([&](CNyr& n) { return n.events_get_nonblocking(events); });
                return py::make_tuple(result, events);
            },
            "(count, events), without waiting.");

    c.def(
         "watchdog_register",
         [](Client& c, const std::string& text, unsigned number, bool flag) {
             api_status_t status = 0;
             const int result =
                 c([&](CNyr& n) { return n.watchdog_register(status, text, number, flag); });
             return py::make_tuple(result, status);
         },
         py::arg("text"), py::arg("number"), py::arg("flag"), "(result, status).")
        .def(
            "watchdog_ping",
            [](Client& c) {
                api_status_t status = 0;
                const int result = c([&](CNyr& n) { return n.watchdog_ping(status); });
                return py::make_tuple(result, status);
            },
            "(result, status).")
        .def(
            "watchdog_clear",
            [](Client& c) {
                api_status_t status = 0;
                const int result = c([&](CNyr& n) { return n.watchdog_clear(status); });
                return py::make_tuple(result, status);
            },
            "(result, status).")
        .def(
            "set_verbosity",
            [](Client& c, nyrverb_thread_t thread, unsigned level, const std::string& text) {
                api_status_t status = 0;
                const int result =
                    c([&](CNyr& n) { return n.set_verbosity(thread, level, text, status); });
                return py::make_tuple(result, status);
            },
            py::arg("thread"), py::arg("level"), py::arg("text") = "", "(result, status).")
        .def(
            "syslog_add",
            [](Client& c, const std::string& first, syslog_severity_t severity,
               const std::string& second, const std::string& third) {
                return c([&](CNyr& n) { return n.syslog_add(first, severity, second, third); });
            },
            py::arg("first"), py::arg("severity"), py::arg("second") = "", py::arg("third") = "",
            "result.")
        .def_static(
            "create_hmac",
            [](const py::bytes& key, const py::bytes& data, unsigned length) {
                std::string out;
                const int result = CNyr::create_hmac(key, data, out, length);
                return py::make_tuple(result, out);
            },
            py::arg("key"), py::arg("data"), py::arg("length"),
            "(result, hex): the first `length` hex digits of HMAC-SHA1 of data under key.")
        .def_static(
            "create_uuid",
            [](const std::string& text) {
                std::string out;
                const int result = CNyr::create_uuid(text, out);
                return py::make_tuple(result, py::bytes(out));
            },
            py::arg("text") = "",
            "(result, bytes): the store's 37 bytes of a UUID text, its NUL included.");
}

}  // namespace nyr_py
