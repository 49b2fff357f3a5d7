// The entry points of events and the event log (api/local_events.cpp carries them out in this
// process).
#include "api/entry.h"

using namespace nyrproto;
using nyrapi::perform;
using nyrapi::with_status;

namespace {

template <typename Fetch>
int fetch(qel_handle_t handle, _event_t** records) {
    Fetch op;
    const auto result = static_cast<int>(perform(handle, op, records != nullptr));
    if (records) *records = result > 0 ? op.records : nullptr;
    return result;
}

}  // namespace

extern "C" {

int qel_event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                       api_status_t* status) {
    EventRegister op;
    op.path = path, op.kind = kind, op.flag = flag;
    return with_status(handle, op, status);
}

int qel_event_clear(qel_handle_t handle, const char* path, api_event_t kind, api_status_t* status) {
    EventClear op;
    op.path = path, op.kind = kind;
    return with_status(handle, op, status);
}

int qel_events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                    api_status_t** statuses, uint32_t* status_count) {
    EventsSend op;
    op.count = count, op.records = records;
    return nyrapi::with_statuses(handle, op, count == 0 || records, statuses, status_count);
}

int qel_events_get(qel_handle_t handle, _event_t** records) {
    return fetch<EventsGet>(handle, records);
}

int qel_events_get_nonblocking(qel_handle_t handle, _event_t** records) {
    return fetch<EventsGetNonblocking>(handle, records);
}

int qel_log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag) {
    LogStore op;
    op.count = count, op.records = records, op.flag = flag;
    return static_cast<int>(perform(handle, op, count == 0 || records));
}

int qel_log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count, const char* path,
                     const struct timeval* from, const struct timeval* to, uint32_t option_a,
                     bool flag_a, uint32_t option_b) {
    LogRetrieve op;
    op.path = path, op.from = from, op.to = to;
    op.option_a = option_a, op.flag_a = flag_a, op.option_b = option_b;
    const auto result = static_cast<int>(perform(handle, op, records && count));
    if (!records || !count) return result;
    *records = result == QEL_RESULT_OK ? op.records : nullptr;
    *count = result == QEL_RESULT_OK ? op.count : 0;
    return result;
}

int qel_log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
                  const struct timeval* to) {
    LogClear op;
    op.path = path, op.from = from, op.to = to;
    return static_cast<int>(perform(handle, op, true));
}

}  // extern "C"
