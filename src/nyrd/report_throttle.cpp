#include "report_throttle.h"

namespace nyrd {

void ReportThrottle::hit(const std::string& cause, int priority, const std::string& line) {
    try {
        unsigned long skipped = 0;
        {
            nyrhost::MutexLock lock(mutex_);
            const auto now = Clock::now();
            auto found = seen_.find(cause);
            if (found != seen_.end() && now - found->second.last < period_) {
                ++found->second.unreported;
                return;
            }
            Seen& seen = seen_[cause];
            skipped = seen.unreported;
            seen = Seen{now, 0};
        }
        if (!report_) return;
        report_(priority, skipped == 0 ? line
                                       : line + " (and " + std::to_string(skipped) +
                                             " more like it since the last report)");
    } catch (...) {
        // Out of memory for a report: the refusal itself still happens.
    }
}

}  // namespace nyrd
