// The event-log calls: they hand the work to the store's EventLog and turn what it gives back
// into records for the caller.
#include <cstdlib>

#include "core/store.h"

using nyrhost::acquire;

extern "C" {

int qel_log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (count != 0 && !records) return QEL_RESULT_BAD_ARGUMENT;
    return h->store->log->store(records, count, flag);
}

int qel_log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count, const char* path,
                     const struct timeval* from, const struct timeval* to, uint32_t option_a,
                     bool flag_a, uint32_t option_b) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!records || !count) return QEL_RESULT_BAD_ARGUMENT;
    *records = nullptr;
    *count = 0;
    std::vector<nyrhost::OwnedEvent> found;
    const int result = h->store->log->retrieve(
        found, nyrhost::LogSelection(path, from, to, option_a, flag_a, option_b));
    if (result != QEL_RESULT_OK || found.empty()) return result;
    auto* array = static_cast<_event_t*>(std::calloc(found.size(), sizeof(_event_t)));
    if (!array) return QEL_RESULT_NO_MEMORY;
    nyrhost::MutexLock lock(h->store->mutex);
    nyrhost::Scratch& scratch = h->begin_call();
    for (std::size_t i = 0; i < found.size(); ++i)
        nyrhost::to_record(found[i], array[i], scratch.texts);
    *records = array;
    *count = static_cast<uint32_t>(found.size());
    return QEL_RESULT_OK;
}

int qel_log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
                  const struct timeval* to) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    return h->store->log->clear(nyrhost::LogSelection(path, from, to));
}

}  // extern "C"
