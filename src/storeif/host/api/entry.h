// What every qel_ entry point on a handle does: find the handle in the registry, refuse bad
// arguments (once, here), and hand the operation to the backend the handle belongs to, the local
// one (api/local.h) or nyrd (remote/remote_handle.h).
//
// No exception leaves an entry point: running out of memory gives QEL_RESULT_NO_MEMORY. The only
// other exceptions the store can meet, std::length_error for a size it cannot hold, mean the same.
#ifndef NYR_HOST_API_ENTRY_H
#define NYR_HOST_API_ENTRY_H

#include <new>

#include "api/local.h"
#include "core/store.h"
#include "remote/remote_handle.h"

namespace nyrapi {

// Runs `body` at the C boundary: its result, or `no_memory` when it ran out of memory.
template <typename Result, typename Body>
Result boundary(Result no_memory, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return no_memory;
    }
}

template <typename Operation>
long long perform(qel_handle_t handle, Operation& op, bool arguments_ok) noexcept {
    return boundary<long long>(QEL_RESULT_NO_MEMORY, [&]() -> long long {
        const nyrhost::Found found = nyrhost::find(handle);
        if (!found) return QEL_RESULT_BAD_HANDLE;
        if (found.remote)
            if (const int refused = found.remote->state()) return refused;
        if (!arguments_ok) return QEL_RESULT_BAD_ARGUMENT;
        return found.local ? nyrlocal::carry_out(found.local, op)
                           : nyrremote::call(*found.remote, op);
    });
}

// The common end of the calls whose one output is an item's status.
template <typename Operation>
int with_status(qel_handle_t handle, Operation& op, api_status_t* status) {
    const auto result = static_cast<int>(perform(handle, op, status != nullptr));
    if (result == QEL_RESULT_OK) *status = op.status;
    return result;
}

// The common end of the calls that hand back an array of statuses.
template <typename Operation>
int with_statuses(qel_handle_t handle, Operation& op, bool arguments_ok, api_status_t** statuses,
                  uint32_t* status_count) {
    const auto result =
        static_cast<int>(perform(handle, op, arguments_ok && statuses && status_count));
    if (result != QEL_RESULT_OK) return result;
    *statuses = op.statuses;
    *status_count = op.status_count;
    return result;
}

}  // namespace nyrapi

#endif  // NYR_HOST_API_ENTRY_H
