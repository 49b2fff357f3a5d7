// Opening and closing stores and handles, and the registry that tells open handles from closed or
// unknown pointers, so that a stale handle gives QEL_RESULT_BAD_HANDLE instead of a crash.
#include <sys/time.h>

#include <algorithm>
#include <shared_mutex>

#include "core/store.h"

namespace nyrhost {

namespace {

struct Registry {
    std::shared_mutex mutex;
    // Guarded by `mutex`:
    std::unordered_map<const void*, std::shared_ptr<qel_store_s>> stores;
    std::unordered_map<const void*, std::shared_ptr<qel_handle_s>> handles;
};

Registry& registry() {
    static Registry* instance = new Registry();  // never destroyed: usable during exit
    return *instance;
}

// Marks a handle closed and detaches it from its store; waiters in qel_events_get wake up.
void detach(qel_handle_s& handle) {
    qel_store_s& store = *handle.store;
    std::lock_guard<std::mutex> lock(store.mutex);
    if (!handle.open) return;
    handle.open = false;
    store.registrations -= handle.registrations.size();
    handle.registrations.clear();
    handle.queue.clear();
    handle.scratch.clear();
    store.handles.erase(std::remove(store.handles.begin(), store.handles.end(), &handle),
                        store.handles.end());
    handle.arrived.notify_all();
}

}  // namespace

std::shared_ptr<qel_handle_s> acquire(qel_handle_t handle) {
    if (handle == nullptr) return nullptr;
    Registry& reg = registry();
    std::shared_lock<std::shared_mutex> lock(reg.mutex);
    auto it = reg.handles.find(handle);
    return it == reg.handles.end() ? nullptr : it->second;
}

std::shared_ptr<qel_store_s> acquire_store(qel_store_t* store) {
    if (store == nullptr) return nullptr;
    Registry& reg = registry();
    std::shared_lock<std::shared_mutex> lock(reg.mutex);
    auto it = reg.stores.find(store);
    return it == reg.stores.end() ? nullptr : it->second;
}

qel_time32_t now32() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return qel_time32_t{static_cast<int32_t>(now.tv_sec), static_cast<int32_t>(now.tv_usec)};
}

}  // namespace nyrhost

using nyrhost::acquire;
using nyrhost::acquire_store;

extern "C" {

qel_store_t* qel_host_store_open(const char* log_database) {
    int result = QEL_RESULT_OK;
    auto log = nyrhost::EventLog::open(log_database, &result);
    if (!log) return nullptr;
    auto store = std::make_shared<qel_store_s>();
    store->log = std::move(log);
    nyrhost::Registry& reg = nyrhost::registry();
    std::unique_lock<std::shared_mutex> lock(reg.mutex);
    reg.stores.emplace(store.get(), store);
    return store.get();
}

void qel_host_store_close(qel_store_t* store) {
    std::shared_ptr<qel_store_s> kept;
    std::vector<std::shared_ptr<qel_handle_s>> closing;
    {
        nyrhost::Registry& reg = nyrhost::registry();
        std::unique_lock<std::shared_mutex> lock(reg.mutex);
        auto it = reg.stores.find(store);
        if (it == reg.stores.end()) return;
        kept = std::move(it->second);
        reg.stores.erase(it);
        for (auto h = reg.handles.begin(); h != reg.handles.end();) {
            if (h->second->store == kept) {
                closing.push_back(std::move(h->second));
                h = reg.handles.erase(h);
            } else {
                ++h;
            }
        }
    }
    for (auto& handle : closing) nyrhost::detach(*handle);
    // The store's memory goes with the last call still running on one of its handles.
}

qel_handle_t qel_host_handle_open(qel_store_t* store) {
    auto state = acquire_store(store);
    if (!state) return nullptr;
    auto handle = std::make_shared<qel_handle_s>();
    handle->store = state;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->handles.push_back(handle.get());
    }
    nyrhost::Registry& reg = nyrhost::registry();
    std::unique_lock<std::shared_mutex> lock(reg.mutex);
    if (reg.stores.find(store) == reg.stores.end()) {  // closed meanwhile
        lock.unlock();
        nyrhost::detach(*handle);
        return nullptr;
    }
    reg.handles.emplace(handle.get(), handle);
    return handle.get();
}

void qel_host_handle_close(qel_handle_t handle) {
    std::shared_ptr<qel_handle_s> kept;
    {
        nyrhost::Registry& reg = nyrhost::registry();
        std::unique_lock<std::shared_mutex> lock(reg.mutex);
        auto it = reg.handles.find(handle);
        if (it == reg.handles.end()) return;
        kept = std::move(it->second);
        reg.handles.erase(it);
    }
    nyrhost::detach(*kept);
}

int qel_host_set_event_wait(qel_store_t* store, uint32_t milliseconds) {
    auto state = acquire_store(store);
    if (!state) return QEL_RESULT_BAD_HANDLE;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->event_wait_ms = milliseconds;
    return QEL_RESULT_OK;
}

int qel_host_set_queue_capacity(qel_store_t* store, uint32_t capacity) {
    auto state = acquire_store(store);
    if (!state) return QEL_RESULT_BAD_HANDLE;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->queue_capacity = capacity == 0 ? 1 : capacity;
    return QEL_RESULT_OK;
}

long long qel_host_overflow_count(qel_handle_t handle) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    return static_cast<long long>(h->overflow);
}

long long qel_host_queued_count(qel_handle_t handle) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    return static_cast<long long>(h->queue.size());
}

}  // extern "C"
