// The event log kept in memory.
#include "log/memory_log.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

#include "nyr_host.h"

namespace nyrhost {

int MemoryLog::store(const _event_t* records, uint32_t count, bool /*flag*/) {
    if (records == nullptr && count != 0) return QEL_RESULT_BAD_ARGUMENT;
    try {
        // Copy first, then make room, then move in: only the copies and the growth can fail,
        // and both happen before the log changes.
        std::vector<OwnedEvent> batch;
        batch.reserve(count);
        for (uint32_t i = 0; i < count; ++i) batch.push_back(from_record(records[i]));
        std::lock_guard<std::mutex> lock(mutex_);
        events_.reserve(events_.size() + batch.size());
        std::move(batch.begin(), batch.end(), std::back_inserter(events_));
    } catch (const std::bad_alloc&) {
        return QEL_RESULT_NO_MEMORY;
    }
    return QEL_RESULT_OK;
}

int MemoryLog::retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) {
    const size_t kept = out.size();
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<size_t> hits;
        for (size_t i = 0; i < events_.size(); ++i)
            if (selection.matches(events_[i])) hits.push_back(i);
        const LogWindow window = selection.window(hits.size());
        out.reserve(kept + window.count);
        for (uint64_t k = 0; k < window.count; ++k) out.push_back(events_[hits[window.first + k]]);
    } catch (const std::bad_alloc&) {
        out.resize(kept);
        return QEL_RESULT_NO_MEMORY;
    }
    return QEL_RESULT_OK;
}

int MemoryLog::clear(const LogSelection& selection) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.erase(std::remove_if(events_.begin(), events_.end(),
                                 [&](const OwnedEvent& e) { return selection.matches(e); }),
                  events_.end());
    return QEL_RESULT_OK;
}

}  // namespace nyrhost
