// nyr._nyr: the compiled part of the package nyr.
#include "bindings.h"
#include "convert.h"
#include "errors.h"

PYBIND11_MODULE(_nyr, m) {
    m.doc() = "The class library libnyr++ and the host store, from Python (compiled part of nyr).";
    nyr_py::init_convert();
    nyr_py::define_store_error(m);
    nyr_py::bind_constants(m);
    nyr_py::bind_element(m);
    nyr_py::bind_event(m);
    nyr_py::bind_store(m);
    nyr_py::bind_client(m);
    nyr_py::bind_log(m);
}
