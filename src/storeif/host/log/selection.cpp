// Selection and windowing of logged events.
#include "log/selection.h"

#include <algorithm>

namespace nyrhost {

LogSelection LogSelection::make(const char* path, const timeval* from, const timeval* to) {
    LogSelection selection;
    if (path != nullptr) selection.subtree = path;
    while (!selection.subtree.empty() && selection.subtree.back() == '/')
        selection.subtree.pop_back();
    if (from != nullptr) {
        selection.has_from = true;
        selection.from = LogTime{static_cast<int64_t>(from->tv_sec), from->tv_usec};
    }
    if (to != nullptr) {
        selection.has_to = true;
        selection.to = LogTime{static_cast<int64_t>(to->tv_sec), to->tv_usec};
    }
    return selection;
}

bool LogSelection::matches_path(const std::string& path) const {
    if (subtree.empty()) return true;
    if (path.size() < subtree.size()) return false;
    if (path.compare(0, subtree.size(), subtree) != 0) return false;
    return path.size() == subtree.size() || path[subtree.size()] == '/';
}

bool LogSelection::matches_time(int32_t sec, int32_t usec) const {
    auto before = [](int64_t s1, int64_t u1, const LogTime& t) {
        return s1 < t.sec || (s1 == t.sec && u1 < t.usec);
    };
    auto after = [](int64_t s1, int64_t u1, const LogTime& t) {
        return s1 > t.sec || (s1 == t.sec && u1 > t.usec);
    };
    if (has_from && before(sec, usec, from)) return false;
    if (has_to && after(sec, usec, to)) return false;
    return true;
}

LogWindow LogWindow::make(uint64_t total, uint32_t option_a, bool flag_a, uint32_t option_b) {
    const uint64_t skipped = std::min<uint64_t>(option_b, total);
    const uint64_t remaining = total - skipped;
    const uint64_t count = option_a == 0 ? remaining : std::min<uint64_t>(option_a, remaining);
    LogWindow window;
    window.count = count;
    window.first = flag_a ? remaining - count : skipped;
    return window;
}

}  // namespace nyrhost
