// The entry-point guard.
#include "core/call.h"

namespace nyrhost {

namespace {

// Locks the handle's store and empties this thread's scratch; null, with nothing locked, for a
// handle that is unknown or was closed by another thread after it was looked up.
Scratch* enter(qel_handle_s* handle, bool& locked) NO_THREAD_SAFETY_ANALYSIS {
    if (handle == nullptr) return nullptr;
    handle->store->mutex.lock();
    if (!handle->open) {
        handle->store->mutex.unlock();
        return nullptr;
    }
    try {
        Scratch& scratch = handle->begin_call();
        locked = true;
        return &scratch;
    } catch (...) {  // no memory for this thread's scratch: the guard is not made
        handle->store->mutex.unlock();
        throw;
    }
}

}  // namespace

HandleCall::HandleCall(const std::shared_ptr<qel_handle_s>& state) NO_THREAD_SAFETY_ANALYSIS
    : kept_(state),
      locked_(false),
      handle(kept_.get()),
      store(handle != nullptr ? handle->store.get() : nullptr),
      scratch(enter(kept_.get(), locked_)) {}

HandleCall::~HandleCall() NO_THREAD_SAFETY_ANALYSIS {
    if (locked_) handle->store->mutex.unlock();
}

void HandleCall::unlock() NO_THREAD_SAFETY_ANALYSIS {
    handle->store->mutex.unlock();
    locked_ = false;
}

void HandleCall::lock() NO_THREAD_SAFETY_ANALYSIS {
    handle->store->mutex.lock();
    locked_ = true;
}

}  // namespace nyrhost
