// Helpers for the contract tests of CNyr and CLog: event record arrays as the store hands them
// over, and small conversions of what reached the double.
#ifndef TESTS_CONTRACT_CLIENT_SUPPORT_H
#define TESTS_CONTRACT_CLIENT_SUPPORT_H

#include <nyr.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "double/store_double.h"

namespace clienttest {

// A string pair over characters that outlive the record (string literals).
inline _byte_array_t pair_of(const char* text) {
    return {const_cast<char*>(text), static_cast<uint32_t>(std::strlen(text))};
}

// What the store knows about one event it hands over.
struct StoreEvent {
    int32_t type;
    const char* path;
    const char* note;  // carried by alarm kinds only
};

// An array of records allocated the way the store hands it over: the array with malloc, and for
// every record a one-entry waveform list with malloc, so that a record that never reaches
// destruct_event or an array that is never freed shows up as a leak under the sanitizers.
inline _event_t* store_array(const std::vector<StoreEvent>& events) {
    auto* array = static_cast<_event_t*>(std::calloc(events.size(), sizeof(_event_t)));
    for (std::size_t i = 0; i < events.size(); ++i) {
        _event_t& r = array[i];
        r.type = events[i].type;
        r.path = pair_of(events[i].path);
        r.cmd = 10;
        r.value.type = DATATYPE_INT;
        r.value.value.int_value = static_cast<int32_t>(i);
        r.quality = 192;
        r.event_time = {1000 + static_cast<int32_t>(i), 0};
        r.note = pair_of(events[i].note);
        r.waveform_url_count = 1;
        r.waveform_urls = static_cast<_byte_array_t*>(std::malloc(sizeof(_byte_array_t)));
        r.waveform_urls[0] = pair_of("url");
    }
    return array;
}

// Releases an array that the client must not have taken over (tests of failed fetches).
inline void free_store_array(_event_t* array, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) std::free(array[i].waveform_urls);
    std::free(array);
}

// Pointers to each record of an array, in the given order.
inline std::vector<const _event_t*> record_pointers(const _event_t* array, std::size_t count,
                                                    bool reversed = false) {
    std::vector<const _event_t*> pointers;
    for (std::size_t i = 0; i < count; ++i)
        pointers.push_back(array + (reversed ? count - 1 - i : i));
    return pointers;
}

// Lets every event fetch of the store (events_get, events_get_nonblocking, log_retrieve) hand
// `array` of `count` records over; with a non-zero `failure` each answers that result instead.
inline void hand_over(nyrdouble::StoreDouble& store, _event_t* array, uint32_t count,
                      int failure = 0) {
    const int fetched = failure != 0 ? failure : static_cast<int>(count);
    store.hooks.events_get =
        store.hooks.events_get_nonblocking = [=](qel_handle_t, _event_t** out) {
            *out = array;
            return fetched;
        };
    store.hooks.log_retrieve = [=](auto, _event_t** out, uint32_t* out_count, auto...) {
        *out = array;
        *out_count = count;
        return failure;
    };
}

}  // namespace clienttest

#endif  // TESTS_CONTRACT_CLIENT_SUPPORT_H
