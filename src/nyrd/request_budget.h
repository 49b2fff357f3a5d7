// The memory that the requests in flight may take, for the whole daemon: a request's frame, the
// arrays its decoding makes, and its reply's frame, beyond the small buffers every connection
// keeps. A request that does not fit waits for others to finish; one that still does not fit, or
// that exceeds the whole budget, is answered with QEL_RESULT_NO_MEMORY, and the daemon goes on.
#ifndef NYRD_REQUEST_BUDGET_H
#define NYRD_REQUEST_BUDGET_H

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "core/mutex.h"

namespace nyrd {

// Default of --max-request-memory, in bytes.
constexpr uint64_t kDefaultMaxRequestMemory = uint64_t{256} << 20;
// How long a request waits for room in the budget before it is refused.
constexpr auto kBudgetWait = std::chrono::seconds(5);

class RequestBudget {
public:
    explicit RequestBudget(uint64_t total) : total_(total) {}

    // Takes `bytes`, waiting until `until` for others to give back enough; false, with nothing
    // taken, when they do not fit by then, and at once when they exceed the whole budget.
    bool take(uint64_t bytes, std::chrono::steady_clock::time_point until);
    void give_back(uint64_t bytes);

    struct Use {
        uint64_t total = 0, taken = 0, peak = 0;
        uint64_t waited = 0, refused = 0;  // requests that had to wait, that were refused
    };
    Use use();

private:
    const uint64_t total_;
    nyrhost::Mutex mutex_;
    nyrhost::CondVar returned_;
    uint64_t taken_ GUARDED_BY(mutex_) = 0;
    uint64_t peak_ GUARDED_BY(mutex_) = 0;
    uint64_t waited_ GUARDED_BY(mutex_) = 0;
    uint64_t refused_ GUARDED_BY(mutex_) = 0;
};

}  // namespace nyrd

#endif  // NYRD_REQUEST_BUDGET_H
