// Event subscriptions, delivery into the handles' bounded queues, and fetching what is queued.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/path.h"
#include "core/store.h"


namespace nyrhost {
namespace {

// Hands out everything queued on `handle` as a malloc'd record array (store lock held).
int hand_out_queue(qel_handle_s& handle, _event_t** records) {
    const std::size_t n = handle.queue.size();
    if (n == 0) return 0;
    auto* array = static_cast<_event_t*>(std::calloc(n, sizeof(_event_t)));
    if (!array) return QEL_RESULT_NO_MEMORY;  // the queue keeps its events
    Scratch& scratch = handle.begin_call();
    for (std::size_t i = 0; i < n; ++i) to_record(handle.queue[i], array[i], scratch.texts);
    handle.queue.clear();
    *records = array;
    return static_cast<int>(n);
}

// Fetches the queued events, first waiting for one up to the store's wait time when `wait`.
int fetch(qel_handle_t handle, _event_t** records, bool wait) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!records) return QEL_RESULT_BAD_ARGUMENT;
    *records = nullptr;
    std::unique_lock<std::mutex> lock(h->store->mutex);
    if (wait) {
        const auto limit = std::chrono::milliseconds(h->store->event_wait_ms);
        h->arrived.wait_for(lock, limit, [&] { return !h->queue.empty() || !h->open; });
    }
    if (!h->open) return QEL_RESULT_BAD_HANDLE;
    return hand_out_queue(*h, records);
}

}  // namespace
}  // namespace nyrhost

using nyrhost::acquire;

extern "C" {

int qel_event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                       api_status_t* status) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::vector<std::string_view> names;
    if (!path) {
        *status = QEL_STATUS_BAD_ARGUMENT;
        return QEL_RESULT_OK;
    }
    if (!nyrhost::parse_path(path, names)) {
        *status = QEL_STATUS_BAD_PATH;
        return QEL_RESULT_OK;
    }
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    for (nyrhost::Registration& reg : h->registrations) {
        if (reg.path == path) {
            reg.kinds |= kind;
            reg.subtree = flag;
            *status = QEL_STATUS_OK;
            return QEL_RESULT_OK;
        }
    }
    h->registrations.push_back({path, kind, flag});
    ++h->store->registrations;
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_event_clear(qel_handle_t handle, const char* path, api_event_t kind, api_status_t* status) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    if (!path) {
        *status = QEL_STATUS_BAD_ARGUMENT;
        return QEL_RESULT_OK;
    }
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    *status = QEL_STATUS_NOT_FOUND;
    auto& regs = h->registrations;
    for (auto it = regs.begin(); it != regs.end(); ++it) {
        if (it->path != path) continue;
        it->kinds &= ~kind;
        if (it->kinds == 0) {
            regs.erase(it);
            --h->store->registrations;
        }
        *status = QEL_STATUS_OK;
        break;
    }
    return QEL_RESULT_OK;
}

int qel_events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                    api_status_t** statuses, uint32_t* status_count) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!statuses || !status_count || (count != 0 && !records)) return QEL_RESULT_BAD_ARGUMENT;
    // Owned copies are made before the store's lock is taken.
    std::vector<nyrhost::OwnedEvent> events;
    events.reserve(count);
    for (uint32_t i = 0; i < count; ++i) events.push_back(nyrhost::from_record(records[i]));
    std::vector<std::string_view> names;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    nyrhost::Scratch& scratch = h->begin_call();
    scratch.statuses.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (!nyrhost::parse_path(events[i].path, names)) {
            scratch.statuses[i] = QEL_STATUS_BAD_PATH;
            continue;
        }
        nyrhost::deliver(*h->store, events[i]);
        scratch.statuses[i] = QEL_STATUS_OK;
    }
    if (scratch.statuses.capacity() == 0) scratch.statuses.reserve(1);
    *statuses = scratch.statuses.data();
    *status_count = count;
    return QEL_RESULT_OK;
}

int qel_events_get(qel_handle_t handle, _event_t** records) {
    return nyrhost::fetch(handle, records, true);
}

int qel_events_get_nonblocking(qel_handle_t handle, _event_t** records) {
    return nyrhost::fetch(handle, records, false);
}

}  // extern "C"
