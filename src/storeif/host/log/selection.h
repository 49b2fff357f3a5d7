// What a retrieval or a clearing of the event log asks for, parsed once from the C arguments into
// one value that either log is handed. The rules are those documented in log/event_log.h; both
// logs take them from here so that they agree.
#ifndef NYR_HOST_LOG_SELECTION_H
#define NYR_HOST_LOG_SELECTION_H

#include <sys/time.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/owned_event.h"

namespace nyrhost {

// A time bound as the log compares it: seconds, then microseconds.
struct LogTime {
    int64_t sec = 0;
    int64_t usec = 0;
};
// True when `a` comes before `b`.
bool earlier(const LogTime& a, const LogTime& b);
// The event_time of `event`.
LogTime time_of(const OwnedEvent& event);

// The part of `total` selected events (in insertion order) a retrieval hands back:
// indices [first, first + count).
struct LogWindow {
    uint64_t first = 0;
    uint64_t count = 0;
};

// Borrows `path`: a selection lives for the call that made it. Making one allocates nothing, so
// it cannot fail.
struct LogSelection {
    // The arguments of qel_log_retrieve; qel_log_clear gives no window (the defaults: all).
    LogSelection(const char* path, const timeval* from, const timeval* to, uint32_t option_a = 0,
                 bool flag_a = false, uint32_t option_b = 0) noexcept;

    std::string_view subtree;         // without trailing '/'; empty selects every path
    std::optional<LogTime> from, to;  // inclusive bounds on event_time; absent: open
    uint32_t most = 0;                // option_a: at most this many events (0: no limit)
    bool from_newest = false;         // flag_a: `most` and `skip` count from the newest event
    uint32_t skip = 0;                // option_b: pass over this many selected events first

    // True when every logged event is selected: no subtree and no bound.
    bool selects_all() const { return subtree.empty() && !from && !to; }
    LogWindow window(uint64_t total) const;
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SELECTION_H
