#include "request_budget.h"

#include <algorithm>

namespace nyrd {

bool RequestBudget::take(uint64_t bytes, std::chrono::steady_clock::time_point until) {
    nyrhost::MutexLock lock(mutex_);
    if (bytes > total_) {
        ++refused_;
        return false;
    }
    if (taken_ + bytes > total_) {
        ++waited_;
        while (taken_ + bytes > total_) {
            if (!returned_.wait_until(mutex_, until) && taken_ + bytes > total_) {
                ++refused_;
                return false;
            }
        }
    }
    taken_ += bytes;
    peak_ = std::max(peak_, taken_);
    return true;
}

void RequestBudget::give_back(uint64_t bytes) {
    if (bytes == 0) return;
    {
        nyrhost::MutexLock lock(mutex_);
        taken_ -= std::min(taken_, bytes);
    }
    returned_.notify_all();
}

RequestBudget::Use RequestBudget::use() {
    nyrhost::MutexLock lock(mutex_);
    return Use{total_, taken_, peak_, waited_, refused_};
}

}  // namespace nyrd
