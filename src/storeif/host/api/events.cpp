// Event subscriptions, sending events to the handles registered for them, and fetching what is
// queued on a handle.
#include <chrono>
#include <cstdlib>

#include "core/call.h"
#include "core/path.h"
#include "remote/remote_calls.h"

namespace {

using nyrhost::HandleCall;
using nyrhost::Path;

// Fetches the queued events, first waiting for one up to the store's wait time when `wait`.
int fetch(qel_handle_t handle, _event_t** records, bool wait) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!records) return QEL_RESULT_BAD_ARGUMENT;
    *records = nullptr;
    if (wait) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(call.store->event_wait_ms);
        while (call.handle->queue.empty() && call.handle->open) {
            if (!call.handle->arrived.wait_until(call.store->mutex, deadline)) break;
        }
    }
    if (!call.handle->open) return QEL_RESULT_BAD_HANDLE;
    // Everything queued, handed out as a malloc'd record array.
    const std::size_t n = call.handle->queue.size();
    if (n == 0) return 0;
    auto* array = static_cast<_event_t*>(std::calloc(n, sizeof(_event_t)));
    if (!array) return QEL_RESULT_NO_MEMORY;  // the queue keeps its events
    for (std::size_t i = 0; i < n; ++i)
        to_record(call.handle->queue[i], array[i], call.scratch->texts);
    call.handle->queue.clear();
    call.handle->queued_bytes = 0;
    *records = array;
    return static_cast<int>(n);
}

}  // namespace

extern "C" {

int qel_event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                       api_status_t* status) {
    if (nyrremote::is_remote(handle))
        return nyrremote::event_register(handle, path, kind, flag, status);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    Path parsed;
    *status = Path::parse(path, parsed);
    if (*status != QEL_STATUS_OK) return QEL_RESULT_OK;
    if (call.store->subscriptions.add(call.handle, parsed, kind, flag))
        call.handle->registered.emplace(parsed.text());
    return QEL_RESULT_OK;
}

int qel_event_clear(qel_handle_t handle, const char* path, api_event_t kind, api_status_t* status) {
    if (nyrremote::is_remote(handle)) return nyrremote::event_clear(handle, path, kind, status);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    if (!path) {
        *status = QEL_STATUS_BAD_ARGUMENT;
        return QEL_RESULT_OK;
    }
    // Any text may be cleared: one that was never registered is not found.
    Path parsed;
    bool ended = false;
    const bool found = Path::parse(path, parsed) == QEL_STATUS_OK &&
                       call.store->subscriptions.clear(call.handle, parsed, kind, ended);
    *status = found ? QEL_STATUS_OK : QEL_STATUS_NOT_FOUND;
    if (ended) call.handle->registered.erase(std::string(parsed.text()));
    return QEL_RESULT_OK;
}

int qel_events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                    api_status_t** statuses, uint32_t* status_count) {
    if (nyrremote::is_remote(handle))
        return nyrremote::events_send(handle, records, count, statuses, status_count);
    if (!statuses || !status_count || (count != 0 && !records)) {
        return nyrhost::acquire(handle) ? QEL_RESULT_BAD_ARGUMENT : QEL_RESULT_BAD_HANDLE;
    }
    // Owned copies are made before the store's lock is taken.
    std::vector<nyrhost::OwnedEvent> events;
    events.reserve(count);
    for (uint32_t i = 0; i < count; ++i) events.push_back(nyrhost::from_record(records[i]));
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    std::vector<api_status_t>& sent = call.scratch->statuses;
    sent.resize(count);
    Path parsed;
    for (uint32_t i = 0; i < count; ++i) {
        sent[i] = Path::parse(std::string_view(events[i].path), parsed);
        if (sent[i] == QEL_STATUS_OK) nyrhost::deliver(*call.store, parsed, events[i]);
    }
    if (sent.capacity() == 0) sent.reserve(1);  // never a null array
    *statuses = sent.data();
    *status_count = count;
    return QEL_RESULT_OK;
}

int qel_events_get(qel_handle_t handle, _event_t** records) {
    if (nyrremote::is_remote(handle)) return nyrremote::events_get(handle, records, true);
    return fetch(handle, records, true);
}

int qel_events_get_nonblocking(qel_handle_t handle, _event_t** records) {
    if (nyrremote::is_remote(handle)) return nyrremote::events_get(handle, records, false);
    return fetch(handle, records, false);
}

}  // extern "C"
