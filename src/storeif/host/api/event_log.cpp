// The event-log calls: they hand the work to the store's EventLog and turn what it gives back
// into records for the caller. The log serialises its own work, so the store's lock is let go
// while it runs: a slow log never holds up the tree or the event queues.
#include <cstdlib>

#include "core/call.h"
#include "remote/remote_calls.h"

using nyrhost::HandleCall;

extern "C" {

int qel_log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag) {
    if (nyrremote::is_remote(handle)) return nyrremote::log_store(handle, records, count, flag);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (count != 0 && !records) return QEL_RESULT_BAD_ARGUMENT;
    call.unlock();
    return call.store->log->store(records, count, flag);
}

int qel_log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count, const char* path,
                     const struct timeval* from, const struct timeval* to, uint32_t option_a,
                     bool flag_a, uint32_t option_b) {
    if (nyrremote::is_remote(handle))
        return nyrremote::log_retrieve(handle, records, count, path, from, to, option_a, flag_a,
                                       option_b);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!records || !count) return QEL_RESULT_BAD_ARGUMENT;
    *records = nullptr;
    *count = 0;
    call.unlock();
    std::vector<nyrhost::OwnedEvent> found;
    const int result = call.store->log->retrieve(
        found, nyrhost::LogSelection(path, from, to, option_a, flag_a, option_b));
    if (result != QEL_RESULT_OK || found.empty()) return result;
    auto* array = static_cast<_event_t*>(std::calloc(found.size(), sizeof(_event_t)));
    if (!array) return QEL_RESULT_NO_MEMORY;
    call.lock();
    // Closed meanwhile by another thread: its scratch memory is gone.
    if (!call.handle->open) {
        std::free(array);
        return QEL_RESULT_BAD_HANDLE;
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        nyrhost::to_record(found[i], array[i], call.scratch->texts);
    *records = array;
    *count = static_cast<uint32_t>(found.size());
    return QEL_RESULT_OK;
}

int qel_log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
                  const struct timeval* to) {
    if (nyrremote::is_remote(handle)) return nyrremote::log_clear(handle, path, from, to);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    call.unlock();
    return call.store->log->clear(nyrhost::LogSelection(path, from, to));
}

}  // extern "C"
