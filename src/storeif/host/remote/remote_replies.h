// Reading the outputs of a reply into the caller's places and the calling thread's memory of a
// remote handle. Each reader leaves the reader failed for bytes that do not follow the layout of
// protocol/messages.h, which the exchange then takes as a broken connection.
#ifndef NYR_HOST_REMOTE_REMOTE_REPLIES_H
#define NYR_HOST_REMOTE_REMOTE_REPLIES_H

#include "codec/byte_cursor.h"
#include "remote/remote_handle.h"

namespace nyrremote {

// The result, and the status after it when the call was carried out.
int read_status(nyrhost::WireReader& r, api_status_t* status);
// u32 n and n statuses, handed back from the thread's memory as the store hands back its own.
void read_statuses(nyrhost::WireReader& r, ThreadMemory& memory, api_status_t** statuses,
                   uint32_t* status_count);
// Hands back the statuses in `memory`: never a null array.
void hand_back(ThreadMemory& memory, api_status_t** statuses, uint32_t* status_count);
// A leaf's value, its bytes kept in the thread's memory, and its property word.
void read_leaf(nyrhost::WireReader& r, ThreadMemory& memory, _element_datatype_t& value,
               element_property_t& property);
// The number of entries that follow, which must be what the store fills: min(capacity, total).
uint32_t read_filled(nyrhost::WireReader& r, uint32_t capacity, uint32_t total);
// A name pointing into the reply, which the thread's memory keeps.
void read_name(nyrhost::WireReader& r, _byte_array_t& name);
// `count` events into a malloc'd record array the caller owns, their texts in the thread's
// memory; null for none, and for bytes that do not follow the layout (nothing is leaked).
_event_t* read_event_array(nyrhost::WireReader& r, ThreadMemory& memory, uint32_t count);

// A call whose one output is an item's status: the request that `write` puts in the frame, the
// handle and the out-parameter checked as in process, the reply read by read_status.
template <typename Write>
int status_call(qel_handle_t handle, api_status_t* status, Write&& write) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(write, [&](nyrhost::WireReader& r) { return read_status(r, status); });
}

}  // namespace nyrremote

#endif  // NYR_HOST_REMOTE_REMOTE_REPLIES_H
