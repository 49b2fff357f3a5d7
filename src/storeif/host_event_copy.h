// Owned copies of event records inside the host store, and records built back from them.
//
// The store keeps events (queued for a handle, or in the event log) as OwnedEvent, which owns all
// of its texts and lists. Records handed back to a caller are built with to_record(): the three
// list arrays are allocated with malloc (the caller releases them through destruct_event), while
// the texts the record's pairs point to are kept in `texts`, storage the store keeps alive until
// the handle's next call.
#ifndef NYR_STOREIF_HOST_EVENT_COPY_H
#define NYR_STOREIF_HOST_EVENT_COPY_H

#include "nyr.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace nyrhost {

struct OwnedEvent {
    _event_t scalars{};          // every scalar field; its pointers are not used
    std::string path, source, description, note;
    std::string value_payload;   // bytes of a string or blob value
    std::vector<std::string> waveform_urls;
    std::vector<std::pair<std::string, std::string>> details; // in record order
};

// Deep copy of a record, carrying only what its kind carries. Null pointers with non-zero
// lengths or counts read as empty.
OwnedEvent from_record(const _event_t& record);

// A record describing `event`. The list arrays are malloc'd (null when a list is empty or the
// allocation fails); texts are appended to `texts` and the pairs point into them.
void to_record(const OwnedEvent& event, _event_t& out, std::deque<std::string>& texts);

} // namespace nyrhost

#endif // NYR_STOREIF_HOST_EVENT_COPY_H
