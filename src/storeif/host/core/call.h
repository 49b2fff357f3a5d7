// The start of every entry point that works on a handle.
#ifndef NYR_HOST_CORE_CALL_H
#define NYR_HOST_CORE_CALL_H

#include <memory>

#include "core/store.h"

namespace nyrhost {

// One call on a handle: looks the handle up and keeps its state alive for the call, takes its
// store's lock and empties the calling thread's scratch memory; the lock goes with the guard.
//
//     HandleCall call(state);  // the handle's state, found in the registry
//     if (!call) return QEL_RESULT_BAD_HANDLE;
//     ... call.handle->queue, call.store->tree, call.scratch ...
//
// For a handle closed by another thread since it was found the guard is false and holds no lock;
// the entry point returns at once. The analysis is told that the lock is held in both cases, since
// it cannot follow that branch (no guarded data is reached on it), and that it is held under both
// names, `handle->store->mutex` and `store->mutex`, which are one mutex. Work that must not hold
// the store's lock, such as the event log's, runs between unlock() and lock().
class SCOPED_CAPABILITY HandleCall {
public:
    explicit HandleCall(const std::shared_ptr<qel_handle_s>& state)
        ACQUIRE(handle->store->mutex, store->mutex);
    ~HandleCall() RELEASE();
    HandleCall(const HandleCall&) = delete;
    HandleCall& operator=(const HandleCall&) = delete;

    explicit operator bool() const { return scratch != nullptr; }
    void unlock() RELEASE();
    void lock() ACQUIRE();

private:
    std::shared_ptr<qel_handle_s> kept_;
    bool locked_ = false;

public:
    qel_handle_s* const handle;  // null for an unknown handle
    qel_store_s* const store;    // the handle's store; null with `handle`
    Scratch* const scratch;      // this thread's, emptied; null for a handle that is not open
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_CALL_H
