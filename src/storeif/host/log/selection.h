// Which logged events a retrieve or clear selects, and which of those a retrieve hands back.
// The rules are those documented in host_log.h; both logs use these helpers so they agree.
#ifndef NYR_HOST_LOG_SELECTION_H
#define NYR_HOST_LOG_SELECTION_H

#include <sys/time.h>

#include <cstdint>
#include <string>

#include "core/owned_event.h"

namespace nyrhost {

// A time bound as the log compares it: seconds, then microseconds.
struct LogTime {
    int64_t sec = 0;
    int64_t usec = 0;
};

struct LogSelection {
    std::string subtree;  // without trailing '/'; empty selects every path
    bool has_from = false, has_to = false;
    LogTime from, to;

    static LogSelection make(const char* path, const timeval* from, const timeval* to);
    bool matches_path(const std::string& path) const;
    bool matches_time(int32_t sec, int32_t usec) const;
    bool matches(const OwnedEvent& event) const {
        return matches_path(event.path) &&
               matches_time(event.scalars.event_time.tv_sec, event.scalars.event_time.tv_usec);
    }
};

// The part of `total` selected events (in insertion order) a retrieve hands back:
// indices [first, first + count).
struct LogWindow {
    uint64_t first = 0;
    uint64_t count = 0;
    static LogWindow make(uint64_t total, uint32_t option_a, bool flag_a, uint32_t option_b);
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SELECTION_H
