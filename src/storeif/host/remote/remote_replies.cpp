// Outputs of replies into the caller's places.
#include "remote/remote_replies.h"

#include <cstdlib>

#include "core/owned_event.h"
#include "protocol/messages.h"

namespace nyrremote {

using nyrhost::WireReader;

int read_status(WireReader& r, api_status_t* status) {
    const int result = r.i32();
    if (result == QEL_RESULT_OK) *status = r.i32();
    return result;
}

void read_statuses(WireReader& r, ThreadMemory& memory, api_status_t** statuses,
                   uint32_t* status_count) {
    const uint32_t n = r.u32();
    if (n > r.remaining() / 4) {
        r.fail();
        return;
    }
    memory.statuses.resize(n);
    for (api_status_t& status : memory.statuses) status = r.i32();
    hand_back(memory, statuses, status_count);
}

void hand_back(ThreadMemory& memory, api_status_t** statuses, uint32_t* status_count) {
    if (memory.statuses.capacity() == 0) memory.statuses.reserve(1);
    *statuses = memory.statuses.data();
    *status_count = static_cast<uint32_t>(memory.statuses.size());
}

void read_leaf(WireReader& r, ThreadMemory& memory, _element_datatype_t& value,
               element_property_t& property) {
    if (nyrproto::read_value(r, value, memory.texts.emplace_back())) property = r.u32();
}

uint32_t read_filled(WireReader& r, uint32_t capacity, uint32_t total) {
    const uint32_t n = r.u32();
    if (n != (capacity < total ? capacity : total)) r.fail();
    return r.ok() ? n : 0;
}

void read_name(WireReader& r, _byte_array_t& name) {
    const char* text = nullptr;
    uint32_t length = 0;
    if (!nyrproto::read_ptext(r, text, length) || text == nullptr) {
        r.fail();
        return;
    }
    name = _byte_array_t{const_cast<char*>(text), length};
}

_event_t* read_event_array(WireReader& r, ThreadMemory& memory, uint32_t count) {
    if (count == 0 || count > r.remaining() / 10) {
        if (count != 0) r.fail();
        return nullptr;
    }
    auto* array = static_cast<_event_t*>(std::calloc(count, sizeof(_event_t)));
    if (array == nullptr) {
        r.fail();
        return nullptr;
    }
    nyrhost::OwnedEvent event;
    for (uint32_t k = 0; k < count; ++k) {
        if (!nyrproto::read_event(r, event)) {
            for (uint32_t done = 0; done < k; ++done) destruct_event(&array[done]);
            std::free(array);
            return nullptr;
        }
        nyrhost::to_record(event, array[k], memory.texts);
    }
    return array;
}

}  // namespace nyrremote
