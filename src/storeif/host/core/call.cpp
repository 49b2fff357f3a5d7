// The entry-point guard.
#include "core/call.h"

namespace nyrhost {

namespace {

Scratch* enter(qel_handle_s* handle) NO_THREAD_SAFETY_ANALYSIS {
    if (handle == nullptr) return nullptr;
    handle->store->mutex.lock();
    return &handle->begin_call();
}

}  // namespace

HandleCall::HandleCall(qel_handle_t opaque) NO_THREAD_SAFETY_ANALYSIS
    : kept_(acquire(opaque)),
      locked_(kept_ != nullptr),
      handle(kept_.get()),
      store(handle != nullptr ? handle->store.get() : nullptr),
      scratch(enter(kept_.get())) {}

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
