// One handle on a host store, in process or on nyrd, owned by a Python object: closed by close(),
// by a context manager or when the object is collected. Every store call goes through call(),
// which releases the GIL for the call and keeps the handle open until it returns.
#ifndef NYR_PY_STORE_HANDLE_H
#define NYR_PY_STORE_HANDLE_H

#include <nyr_host.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <memory>
#include <shared_mutex>
#include <string>

namespace nyr_py {

namespace py = pybind11;

// What the handles of one store share: the in-process store (null for nyrd's) and the lock that
// keeps the store open while any of its handles is in a call.
struct StoreShared {
    std::shared_mutex mutex;
    qel_store_t* store = nullptr;
    std::string socket;  // nyrd's socket, for a store reached through it
    std::atomic<bool> closed{false};
};

class StoreHandle {
public:
    // An in-process store, in memory (no file) or in a store file; StoreError when it cannot be
    // opened.
    static std::shared_ptr<StoreHandle> open(const std::string* file);
    // nyrd at `socket`; StoreError (with nyrd's reason) when it cannot be reached.
    static std::shared_ptr<StoreHandle> connect(const std::string& socket);

    StoreHandle(std::shared_ptr<StoreShared> shared, qel_handle_t handle, bool primary)
        : _shared(std::move(shared)), _handle(handle), _primary(primary) {}
    ~StoreHandle();
    StoreHandle(const StoreHandle&) = delete;
    StoreHandle& operator=(const StoreHandle&) = delete;

    // Another handle on the same store, with registrations and a queue of its own.
    std::shared_ptr<StoreHandle> another();

    // Closes the handle; the first handle of a store closes the store and with it every other
    // handle. Waits for calls in flight on the store; closing twice is harmless.
    void close();
    bool closed() const;
    bool remote() const { return _shared->store == nullptr; }
    const std::string& socket() const { return _shared->socket; }
    qel_store_t* store() const { return _shared->store; }
    // The raw handle, for a client object built on it; use it only inside call().
    qel_handle_t handle() const { return _handle; }

    // Runs f(handle) without the GIL while the handle stays open; ValueError for a closed one.
    // f must not touch Python objects.
    template <class F>
    auto call(F&& f) {
        check_open();
        py::gil_scoped_release nogil;
        std::shared_lock<std::shared_mutex> lock(_shared->mutex);
        if (_closed || _shared->closed) throw py::value_error("the store is closed");
        return f(_handle);
    }
    // ValueError for a closed handle.
    void check_open() const;

private:
    // Takes the handle out of this object, which then counts as closed.
    qel_handle_t release();
    void close_now();

    std::shared_ptr<StoreShared> _shared;
    qel_handle_t _handle;
    bool _primary;  // the store's first handle: closing it closes the store
    std::atomic<bool> _closed{false};
};

}  // namespace nyr_py

#endif  // NYR_PY_STORE_HANDLE_H
