// The entry points of the process services and of what tools and tests observe of a handle
// (api/local_services.cpp carries them out in this process).
#include "api/entry.h"

using namespace nyrproto;
using nyrapi::perform;
using nyrapi::with_status;

extern "C" {

int qel_watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                          unsigned int number, bool flag) {
    WatchdogRegister op;
    op.text = text, op.number = number, op.flag = flag;
    return with_status(handle, op, status);
}

int qel_watchdog_ping(qel_handle_t handle, api_status_t* status) {
    WatchdogPing op;
    return with_status(handle, op, status);
}

int qel_watchdog_clear(qel_handle_t handle, api_status_t* status) {
    WatchdogClear op;
    return with_status(handle, op, status);
}

int qel_set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                      const char* text, api_status_t* status) {
    SetVerbosity op;
    op.thread = thread, op.level = level, op.text = text;
    return with_status(handle, op, status);
}

int qel_syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
                   const char* second, const char* third) {
    SyslogAdd op;
    op.first = first, op.severity = severity, op.second = second, op.third = third;
    return static_cast<int>(perform(handle, op, true));
}

int qel_host_stats(qel_handle_t handle, qel_host_stats_t* stats) {
    Stats op;
    const auto result = static_cast<int>(perform(handle, op, stats != nullptr));
    if (result == QEL_RESULT_OK) *stats = op.stats;
    return result;
}

long long qel_host_overflow_count(qel_handle_t handle) {
    OverflowCount op;
    return perform(handle, op, true);
}

long long qel_host_queued_count(qel_handle_t handle) {
    QueuedCount op;
    return perform(handle, op, true);
}

long long qel_host_syslog_count(qel_handle_t handle) {
    SyslogCount op;
    return perform(handle, op, true);
}

int qel_host_watchdog_state(qel_handle_t handle, int* registered, uint32_t* pings,
                            uint32_t* number) {
    WatchdogState op;
    const auto result = static_cast<int>(perform(handle, op, registered && pings && number));
    if (result == QEL_RESULT_OK)
        *registered = op.registered, *pings = op.pings, *number = op.number;
    return result;
}

int qel_host_verbosity(qel_handle_t handle, nyrverb_thread_t thread, uint32_t* level) {
    Verbosity op;
    op.thread = thread;
    const auto result = static_cast<int>(perform(handle, op, level != nullptr));
    if (result == QEL_RESULT_OK) *level = op.level;
    return result;
}

int qel_host_syslog_entry(qel_handle_t handle, uint32_t index, syslog_severity_t* severity,
                          const char** first, const char** second, const char** third) {
    SyslogEntry op;
    op.index = index;
    const auto result = static_cast<int>(perform(handle, op, severity && first && second && third));
    if (result != QEL_RESULT_OK) return result;
    *severity = op.severity, *first = op.first, *second = op.second, *third = op.third;
    return result;
}

}  // extern "C"
