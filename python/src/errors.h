// nyr.StoreError, raised by the Pythonic layer for a refused item, a batch with refused items, or
// a call that failed as a whole, with the words nyr prints for each status and result.
#ifndef NYR_PY_ERRORS_H
#define NYR_PY_ERRORS_H

#include <nyr.h>
#include <pybind11/pybind11.h>

#include <string>

namespace nyr_py {

namespace py = pybind11;

// Creates nyr.StoreError in `module`; called once when the module loads.
void define_store_error(py::module_& module);

// Raises StoreError for an item the store refused: .status, .path, .meaning, .items.
[[noreturn]] void raise_refused(const std::string& path, api_status_t status);
// Raises StoreError for a call that failed as a whole: .result, .path, .meaning.
[[noreturn]] void raise_failed(const std::string& path, int result);
// Raises StoreError once for a batch: `items` holds every refused (path, status, meaning) and the
// first of them gives .path, .status and .meaning.
[[noreturn]] void raise_batch(py::list items, std::size_t total);
// Raises StoreError with a message and a meaning of its own (.result may be None).
[[noreturn]] void raise_store_error(const std::string& message, const std::string& path,
                                    const std::string& meaning, py::object result);
// Raises for a non-zero result, then for a status other than 1.
void check_item(const std::string& path, int result, api_status_t status);

// The (path, status, meaning) of one refused item.
py::tuple refused_item(const std::string& path, api_status_t status);

}  // namespace nyr_py

#endif  // NYR_PY_ERRORS_H
