// destruct_event: releases what a record owns, its three list arrays, and nothing else.
#include <cstdlib>

#include "nyr.h"

extern "C" {

// The texts a record's pairs point to belong to whoever built it (a CEvent, or the store's own
// storage for records it hands out), so only the arrays are freed. A null record is ignored.
void destruct_event(_event_t* record) {
    if (record == nullptr) return;
    std::free(record->waveform_urls);
    std::free(record->detail_keys);
    std::free(record->detail_values);
    record->waveform_urls = nullptr;
    record->detail_keys = nullptr;
    record->detail_values = nullptr;
}

}  // extern "C"
