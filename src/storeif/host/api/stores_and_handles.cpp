// Opening and closing stores and handles, and the host store's settings and observations.
#include "api/entry.h"

using nyrapi::boundary;

namespace {

// Sets one of a store's settings, under its lock.
template <typename T>
int set_setting(qel_store_t* store, T qel_store_s::*setting, T value) {
    auto state = nyrhost::acquire_store(store);
    if (!state) return QEL_RESULT_BAD_HANDLE;
    nyrhost::MutexLock lock(state->mutex);
    (*state).*setting = value;
    return QEL_RESULT_OK;
}

}  // namespace

extern "C" {

qel_store_t* qel_host_store_open(const char* store_file) {
    return nyrhost::open_store(store_file, nullptr);
}

qel_store_t* qel_host_store_open_ex(const char* store_file, int* result) {
    return nyrhost::open_store(store_file, result);
}

void qel_host_store_close(qel_store_t* store) {
    nyrhost::close_store(store);
}

qel_handle_t qel_host_handle_open(qel_store_t* store) {
    return boundary<qel_handle_t>(nullptr, [&] { return nyrhost::open_handle(store); });
}

void qel_host_handle_close(qel_handle_t handle) {
    boundary(0, [&] {
        nyrhost::close_handle(handle);
        return 0;
    });
}

int qel_host_default_socket(char* buf, uint32_t size) {
    return nyrremote::default_socket(buf, size);
}

qel_handle_t qel_host_connect(const char* socket_path) {
    return boundary<qel_handle_t>(nullptr, [&] { return nyrremote::connect(socket_path); });
}

void qel_host_disconnect(qel_handle_t handle) {
    qel_host_handle_close(handle);
}

void qel_host_set_connect_timeout(uint32_t milliseconds) {
    nyrremote::set_connect_timeout(milliseconds);
}

int qel_host_set_call_timeout(qel_handle_t handle, uint32_t milliseconds) {
    return boundary<int>(QEL_RESULT_NO_MEMORY, [&] {
        const nyrhost::Found found = nyrhost::find(handle);
        if (!found) return QEL_RESULT_BAD_HANDLE;
        if (found.remote) found.remote->set_call_timeout(milliseconds);
        return QEL_RESULT_OK;
    });
}

int qel_host_set_event_wait(qel_store_t* store, uint32_t milliseconds) {
    return set_setting(store, &qel_store_s::event_wait_ms, milliseconds);
}

int qel_host_set_queue_capacity(qel_store_t* store, uint32_t capacity) {
    return set_setting(store, &qel_store_s::queue_capacity, capacity == 0 ? 1u : capacity);
}

int qel_host_set_queue_bytes(qel_store_t* store, uint64_t bytes) {
    return set_setting(store, &qel_store_s::queue_bytes, bytes == 0 ? uint64_t{1} : bytes);
}

int qel_host_set_history_limits(qel_store_t* store, uint64_t changes, uint64_t bytes,
                                uint64_t seconds) {
    auto state = nyrhost::acquire_store(store);
    if (!state) return QEL_RESULT_BAD_HANDLE;
    nyrhost::MutexLock hold(state->mutex);
    state->history->set_limits(nyrhost::HistoryLimits{changes, bytes, seconds});
    return QEL_RESULT_OK;
}

// The bound belongs to the memory log; a log kept in a file has none (nyr_host.h).
int qel_host_set_log_capacity(qel_store_t* store, uint32_t capacity) {
    auto state = nyrhost::acquire_store(store);
    if (!state) return QEL_RESULT_BAD_HANDLE;
    state->log->set_capacity(capacity);
    return QEL_RESULT_OK;
}

long long qel_host_log_dropped_count(qel_store_t* store) {
    auto state = nyrhost::acquire_store(store);
    if (!state) return QEL_RESULT_BAD_HANDLE;
    return static_cast<long long>(state->log->dropped());
}

}  // extern "C"
