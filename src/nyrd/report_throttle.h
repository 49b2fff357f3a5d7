// Reports of refusals and limits that a flood of connections would otherwise repeat line for
// line: each cause is reported at most once a minute, with how often it happened meanwhile.
#ifndef NYRD_REPORT_THROTTLE_H
#define NYRD_REPORT_THROTTLE_H

#include <chrono>
#include <map>
#include <string>

#include "core/mutex.h"
#include "session.h"

namespace nyrd {

class ReportThrottle {
public:
    using Clock = std::chrono::steady_clock;
    explicit ReportThrottle(Report report, Clock::duration period = std::chrono::minutes(1))
        : report_(std::move(report)), period_(period) {}

    // Reports `line` unless `cause` was reported less than a period ago; then it is only counted,
    // and the count goes with the next report of that cause. Never throws.
    void hit(const std::string& cause, int priority, const std::string& line);

private:
    struct Seen {
        Clock::time_point last;
        unsigned long unreported = 0;
    };
    const Report report_;
    const Clock::duration period_;
    nyrhost::Mutex mutex_;
    std::map<std::string, Seen> seen_ GUARDED_BY(mutex_);
};

}  // namespace nyrd

#endif  // NYRD_REPORT_THROTTLE_H
