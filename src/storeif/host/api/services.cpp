// Process services of the host store: the watchdog, per-thread verbosity and the system log. The
// host store records what it is told, so that tools and tests can see it, and acts on none of it.
#include "core/store.h"

using nyrhost::acquire;

namespace {
const char* or_empty(const char* text) {
    return text ? text : "";
}
}  // namespace

extern "C" {

int qel_watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                          unsigned int number, bool flag) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    h->watchdog = nyrhost::Watchdog{true, or_empty(text), number, flag, 0};
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_watchdog_ping(qel_handle_t handle, api_status_t* status) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    if (!h->watchdog.registered) {
        *status = QEL_STATUS_NOT_FOUND;
        return QEL_RESULT_OK;
    }
    ++h->watchdog.pings;
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_watchdog_clear(qel_handle_t handle, api_status_t* status) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    *status = h->watchdog.registered ? QEL_STATUS_OK : QEL_STATUS_NOT_FOUND;
    h->watchdog = nyrhost::Watchdog{};
    return QEL_RESULT_OK;
}

int qel_set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                      const char* text, api_status_t* status) {
    (void)text;  // a label for the setting; the host store keeps only the level
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    h->store->verbosity[thread] = level;
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
                   const char* second, const char* third) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    h->store->syslog.push_back({or_empty(first), or_empty(second), or_empty(third), severity});
    return QEL_RESULT_OK;
}

int qel_host_watchdog_state(qel_handle_t handle, int* registered, uint32_t* pings,
                            uint32_t* number) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!registered || !pings || !number) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    *registered = h->watchdog.registered ? 1 : 0;
    *pings = h->watchdog.pings;
    *number = h->watchdog.number;
    return QEL_RESULT_OK;
}

int qel_host_verbosity(qel_handle_t handle, nyrverb_thread_t thread, uint32_t* level) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!level) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    auto it = h->store->verbosity.find(thread);
    *level = it == h->store->verbosity.end() ? 0 : it->second;
    return QEL_RESULT_OK;
}

long long qel_host_syslog_count(qel_handle_t handle) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    return static_cast<long long>(h->store->syslog.size());
}

int qel_host_syslog_entry(qel_handle_t handle, uint32_t index, syslog_severity_t* severity,
                          const char** first, const char** second, const char** third) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!severity || !first || !second || !third) return QEL_RESULT_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    if (index >= h->store->syslog.size()) return QEL_RESULT_BAD_ARGUMENT;
    nyrhost::Scratch& scratch = h->begin_call();
    const nyrhost::SyslogEntry& entry = h->store->syslog[index];
    *severity = entry.severity;
    *first = scratch.keep(entry.first).data;
    *second = scratch.keep(entry.second).data;
    *third = scratch.keep(entry.third).data;
    return QEL_RESULT_OK;
}

}  // extern "C"
