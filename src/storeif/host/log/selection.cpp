// Selection and windowing of logged events.
#include "log/selection.h"

#include <algorithm>

namespace nyrhost {

namespace {

std::optional<LogTime> bound_of(const timeval* bound) {
    if (bound == nullptr) return std::nullopt;
    return LogTime{static_cast<int64_t>(bound->tv_sec), static_cast<int64_t>(bound->tv_usec)};
}

}  // namespace

bool earlier(const LogTime& a, const LogTime& b) {
    return a.sec < b.sec || (a.sec == b.sec && a.usec < b.usec);
}

LogTime time_of(const OwnedEvent& event) {
    return LogTime{event.scalars.event_time.tv_sec, event.scalars.event_time.tv_usec};
}

LogSelection::LogSelection(const char* path, const timeval* from_bound, const timeval* to_bound,
                           uint32_t option_a, bool flag_a, uint32_t option_b) noexcept
    : subtree(path != nullptr ? path : ""),
      from(bound_of(from_bound)),
      to(bound_of(to_bound)),
      most(option_a),
      from_newest(flag_a),
      skip(option_b) {
    while (!subtree.empty() && subtree.back() == '/') subtree.remove_suffix(1);
}

LogWindow LogSelection::window(uint64_t total) const {
    const uint64_t skipped = std::min<uint64_t>(skip, total);
    const uint64_t remaining = total - skipped;
    const uint64_t count = most == 0 ? remaining : std::min<uint64_t>(most, remaining);
    return LogWindow{from_newest ? remaining - count : skipped, count};
}

}  // namespace nyrhost
