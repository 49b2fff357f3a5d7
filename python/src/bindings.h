// The parts of the module nyr._nyr, each bound in a file of its own.
#ifndef NYR_PY_BINDINGS_H
#define NYR_PY_BINDINGS_H

#include <pybind11/pybind11.h>

namespace nyr_py {

namespace py = pybind11;

void bind_constants(py::module_& m);  // the store's codes and the event kinds
void bind_element(py::module_& m);    // nyr.Element
void bind_event(py::module_& m);      // nyr.Event, serialize_event, serialize_element
void bind_store(py::module_& m);      // nyr.Store, the Pythonic layer, and its entries
void bind_client(py::module_& m);     // nyr.Client, every CNyr member
void bind_log(py::module_& m);        // nyr.Log

}  // namespace nyr_py

#endif  // NYR_PY_BINDINGS_H
