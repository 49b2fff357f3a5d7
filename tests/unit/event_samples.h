// Shared helpers for the event tests: an event with every field set to a distinct non-default
// value, and the kinds the library tells apart.
#ifndef TESTS_UNIT_EVENT_SAMPLES_H
#define TESTS_UNIT_EVENT_SAMPLES_H

#include <toolkit/event.h>

#include <string>

namespace eventtest {

constexpr int32_t kAllKinds[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100};
inline bool carries_generic(int32_t kind) {
    return (kind & 0xFC) != 0;
}
inline bool carries_alarm(int32_t kind) {
    return (kind & 0xD8) != 0;
}

// Every field differs from the kind constructor's default; `tag` tells two samples apart.
inline toolkit::CEvent full_event(int32_t kind, const std::string& tag = "a") {
    toolkit::CEvent e(kind);
    e.path = "/plant/" + tag;
    e.cmd = 7;
    e.value =
        toolkit::CElement("value " + tag + " longer than any inline buffer", timeval{1000, 20});
    e.source = "src|" + tag;
    if (kind == 0x100)
        e.severity = -3;
    else
        e.quality = 0xBEEF;
    e.was_logged = true;
    e.description = "description " + tag;
    e.event_id = 0x0102030405060708ULL;
    e.sequence_id = 4000000000u;
    e.waveform_urls = {"http://w/" + tag + "/1", "", "http://w/" + tag + "/3"};
    e.details = {{"zeta", "last " + tag}, {"alpha", "first " + tag}, {"mid", ""}};
    e.event_time = timeval{1700000000, 123456};
    e.cause = -9;
    e.final = true;
    e.ack_status = 5;
    e.base_priority = 3000000000u;
    e.condition_raised = true;
    e.note = "note " + tag;
    e.auto_close = true;
    e.variation_level = -12;
    return e;
}

inline std::string text_of(const _byte_array_t& pair) {
    return pair.data != nullptr ? std::string(pair.data, pair.length) : std::string();
}

}  // namespace eventtest

#endif  // TESTS_UNIT_EVENT_SAMPLES_H
