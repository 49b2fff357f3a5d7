// Process services of the host store: the watchdog, per-thread verbosity and the system log. The
// host store records what it is told, so that tools and tests can see it, and acts on none of it.
#include "core/call.h"
#include "remote/remote_calls.h"

using nyrhost::HandleCall;
using nyrhost::or_empty;

extern "C" {

int qel_watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                          unsigned int number, bool flag) {
    if (nyrremote::is_remote(handle))
        return nyrremote::watchdog_register(handle, status, text, number, flag);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    call.handle->watchdog = nyrhost::Watchdog{true, or_empty(text), number, flag, 0};
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_watchdog_ping(qel_handle_t handle, api_status_t* status) {
    if (nyrremote::is_remote(handle)) return nyrremote::watchdog_ping(handle, status);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    if (!call.handle->watchdog.registered) {
        *status = QEL_STATUS_NOT_FOUND;
        return QEL_RESULT_OK;
    }
    ++call.handle->watchdog.pings;
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_watchdog_clear(qel_handle_t handle, api_status_t* status) {
    if (nyrremote::is_remote(handle)) return nyrremote::watchdog_clear(handle, status);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    *status = call.handle->watchdog.registered ? QEL_STATUS_OK : QEL_STATUS_NOT_FOUND;
    call.handle->watchdog = nyrhost::Watchdog{};
    return QEL_RESULT_OK;
}

int qel_set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                      const char* text, api_status_t* status) {
    if (nyrremote::is_remote(handle))
        return nyrremote::set_verbosity(handle, thread, level, text, status);
    (void)text;  // a label for the setting; the host store keeps only the level
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    call.store->verbosity[thread] = level;
    *status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int qel_syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
                   const char* second, const char* third) {
    if (nyrremote::is_remote(handle))
        return nyrremote::syslog_add(handle, first, severity, second, third);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    call.store->syslog.push_back({or_empty(first), or_empty(second), or_empty(third), severity});
    return QEL_RESULT_OK;
}

int qel_host_watchdog_state(qel_handle_t handle, int* registered, uint32_t* pings,
                            uint32_t* number) {
    if (nyrremote::is_remote(handle))
        return nyrremote::watchdog_state(handle, registered, pings, number);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!registered || !pings || !number) return QEL_RESULT_BAD_ARGUMENT;
    *registered = call.handle->watchdog.registered ? 1 : 0;
    *pings = call.handle->watchdog.pings;
    *number = call.handle->watchdog.number;
    return QEL_RESULT_OK;
}

int qel_host_verbosity(qel_handle_t handle, nyrverb_thread_t thread, uint32_t* level) {
    if (nyrremote::is_remote(handle)) return nyrremote::verbosity(handle, thread, level);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!level) return QEL_RESULT_BAD_ARGUMENT;
    auto it = call.store->verbosity.find(thread);
    *level = it == call.store->verbosity.end() ? 0 : it->second;
    return QEL_RESULT_OK;
}

long long qel_host_syslog_count(qel_handle_t handle) {
    if (nyrremote::is_remote(handle)) return nyrremote::syslog_count(handle);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    return static_cast<long long>(call.store->syslog.size());
}

int qel_host_syslog_entry(qel_handle_t handle, uint32_t index, syslog_severity_t* severity,
                          const char** first, const char** second, const char** third) {
    if (nyrremote::is_remote(handle))
        return nyrremote::syslog_entry(handle, index, severity, first, second, third);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!severity || !first || !second || !third) return QEL_RESULT_BAD_ARGUMENT;
    if (index >= call.store->syslog.size()) return QEL_RESULT_BAD_ARGUMENT;
    nyrhost::Scratch& scratch = *call.scratch;
    const nyrhost::SyslogEntry& entry = call.store->syslog[index];
    *severity = entry.severity;
    *first = scratch.keep(entry.first).data;
    *second = scratch.keep(entry.second).data;
    *third = scratch.keep(entry.third).data;
    return QEL_RESULT_OK;
}

}  // extern "C"
