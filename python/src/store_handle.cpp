// Opening, connecting and closing store handles for Python objects.
#include "store_handle.h"

#include <mutex>

#include "errors.h"
#include "tool_error.h"

namespace nyr_py {

namespace {

// qel_host_connect() reports why it failed through the process-wide error sink; connections are
// made one at a time so that each catches its own report.
std::mutex connect_mutex;

void keep_report(void* context, int, const char* text) {
    *static_cast<std::string*>(context) = text;
}

}  // namespace

std::shared_ptr<StoreHandle> StoreHandle::open(const std::string* file) {
    const std::string name = file != nullptr ? *file : std::string();
    int why = QEL_HOST_OPEN_OK;
    qel_store_t* store = nullptr;
    qel_handle_t handle = nullptr;
    {
        py::gil_scoped_release nogil;  // reading a large store file takes a while
        store = qel_host_store_open_ex(name.empty() ? nullptr : name.c_str(), &why);
        if (store != nullptr) handle = qel_host_handle_open(store);
    }
    if (store == nullptr) {
        const std::string meaning = nyr_tool::open_meaning(why);
        raise_store_error(name + ": " + meaning, name, meaning, py::int_(why));
    }
    if (handle == nullptr) {
        qel_host_store_close(store);
        raise_store_error(name + ": no handle could be opened", name, "no handle", py::none());
    }
    auto shared = std::make_shared<StoreShared>();
    shared->store = store;
    return std::make_shared<StoreHandle>(std::move(shared), handle, true);
}

std::shared_ptr<StoreHandle> StoreHandle::connect(const std::string& socket) {
    std::string report;
    qel_handle_t handle = nullptr;
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(connect_mutex);
        qel_host_set_err_sink(keep_report, &report);
        handle = qel_host_connect(socket.c_str());
        qel_host_set_err_sink(nullptr, nullptr);
    }
    if (handle == nullptr) {
        const std::string meaning = report.empty() ? "nyrd cannot be reached" : report;
        raise_store_error("cannot reach nyrd at " + socket + ": " + meaning, socket, meaning,
                          py::none());
    }
    auto shared = std::make_shared<StoreShared>();
    shared->socket = socket;
    return std::make_shared<StoreHandle>(std::move(shared), handle, true);
}

std::shared_ptr<StoreHandle> StoreHandle::another() {
    check_open();
    if (remote()) {
        auto other = connect(_shared->socket);
        // The new connection shares this store's lock and closed state.
        return std::make_shared<StoreHandle>(_shared, other->release(), false);
    }
    qel_handle_t handle = call([this](qel_handle_t) { return qel_host_handle_open(store()); });
    if (handle == nullptr) throw py::value_error("the store is closed");
    return std::make_shared<StoreHandle>(_shared, handle, false);
}

qel_handle_t StoreHandle::release() {
    _closed = true;
    return _handle;
}

void StoreHandle::close() {
    if (_closed) return;
    py::gil_scoped_release nogil;  // calls on other handles of the store may be waiting
    close_now();
}

StoreHandle::~StoreHandle() {
    // Collected: the GIL may or may not be held here, and no call of this handle is in flight.
    if (!_closed) close_now();
}

void StoreHandle::close_now() {
    std::unique_lock<std::shared_mutex> lock(_shared->mutex);
    if (_closed.exchange(true)) return;
    if (_primary) _shared->closed = true;
    if (_primary && _shared->store != nullptr) {
        qel_host_store_close(_shared->store);  // closes every handle on it
    } else if (_shared->store == nullptr) {
        qel_host_disconnect(_handle);
    } else {
        qel_host_handle_close(_handle);  // ignored when the store closed it already
    }
}

bool StoreHandle::closed() const {
    return _closed || _shared->closed;
}

void StoreHandle::check_open() const {
    if (closed()) throw py::value_error("the store is closed");
}

}  // namespace nyr_py
