// nyr.StoreError and the texts it carries, which are nyr's own (tool_error.h).
#include "errors.h"

#include <nyr_host.h>

#include "convert.h"
#include "tool_error.h"

namespace nyr_py {

namespace {

// Created once by define_store_error() and kept for the life of the process.
PyObject* store_error_type = nullptr;

[[noreturn]] void raise(const std::string& message, py::object status, const std::string& path,
                        const std::string& meaning, py::object result, py::list items) {
    py::object error = py::reinterpret_borrow<py::object>(store_error_type)(
        text_object(message.data(), message.size()));
    error.attr("status") = std::move(status);
    error.attr("path") = text_object(path.data(), path.size());
    error.attr("meaning") = meaning;
    error.attr("result") = std::move(result);
    error.attr("items") = std::move(items);
    PyErr_SetObject(store_error_type, error.ptr());
    throw py::error_already_set();
}

}  // namespace

void define_store_error(py::module_& module) {
    py::dict attributes;
    attributes["status"] = py::none();
    attributes["path"] = py::none();
    attributes["meaning"] = py::none();
    attributes["result"] = py::none();
    attributes["items"] = py::list();
    store_error_type = PyErr_NewExceptionWithDoc(
        "nyr.StoreError",
        "The store refused an item, a batch held refused items, or a call failed as a whole.\n\n"
        "Attributes: status (the refused item's status, None when the call failed as a whole),\n"
        "path, meaning (what nyr prints for that status or result), result (the failed call's\n"
        "result, for nyr.open() the QEL_HOST_OPEN_ reason; None for a refused item) and items\n"
        "(every refused (path, status, meaning); a batch lists all of them).",
        PyExc_Exception, attributes.ptr());
    if (store_error_type == nullptr) throw py::error_already_set();
    module.add_object("StoreError", py::handle(store_error_type));
}

py::tuple refused_item(const std::string& path, api_status_t status) {
    return py::make_tuple(text_object(path.data(), path.size()), status,
                          nyr_tool::status_meaning(status));
}

void raise_refused(const std::string& path, api_status_t status) {
    const std::string meaning = nyr_tool::status_meaning(status);
    py::list items;
    items.append(refused_item(path, status));
    raise(path + ": " + meaning + " (status " + std::to_string(status) + ")", py::int_(status),
          path, meaning, py::none(), items);
}

void raise_failed(const std::string& path, int result) {
    const std::string meaning = nyr_tool::result_meaning(result);
    raise(path + ": " + meaning + " (result " + std::to_string(result) + ")", py::none(), path,
          meaning, py::int_(result), py::list());
}

void raise_batch(py::list items, std::size_t total) {
    py::tuple first = items[0];
    const std::string path = text_bytes(first[0]);
    const std::string meaning = first[2].cast<std::string>();
    raise(std::to_string(items.size()) + " of " + std::to_string(total) +
              " items refused, the first " + path + ": " + meaning,
          first[1], path, meaning, py::none(), items);
}

void raise_store_error(const std::string& message, const std::string& path,
                       const std::string& meaning, py::object result) {
    raise(message, py::none(), path, meaning, std::move(result), py::list());
}

void check_item(const std::string& path, int result, api_status_t status) {
    if (result != 0) raise_failed(path, result);
    if (status != QEL_STATUS_OK) raise_refused(path, status);
}

}  // namespace nyr_py
