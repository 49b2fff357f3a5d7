// Carrying out a decoded request: the very qel_ call the client made, on the session's handle, and
// its reply (layouts in protocol/messages.h).
#ifndef NYRD_SESSION_CALLS_H
#define NYRD_SESSION_CALLS_H

#include <nyr_host.h>

#include <deque>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "protocol/messages.h"

namespace nyrd {

// What calls need besides the request, kept from one call to the next on a connection so that
// small calls allocate nothing; trim() gives back what a large call left.
struct Workspace {
    std::vector<api_status_t> statuses;
    std::vector<_element_datatype_t> values;
    std::vector<element_property_t> properties;
    std::vector<element_type_t> types;
    std::vector<_byte_array_t> names;
    std::vector<_event_t> records;
    std::deque<std::string> texts;
    void trim();
};

// Carries out `request` on `handle` and builds the reply in `reply`. A reply longer than the
// protocol allows becomes QEL_RESULT_NO_MEMORY. Throws std::bad_alloc.
void carry_out(const nyrproto::Request& request, qel_handle_t handle, Workspace& work,
               nyrproto::FrameOut& reply);

}  // namespace nyrd

#endif  // NYRD_SESSION_CALLS_H
