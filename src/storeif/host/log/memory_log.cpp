// The event log kept in memory.
#include "log/memory_log.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace nyrhost {

MemoryLog::MemoryLog(uint32_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

MemoryLog::TimeKey MemoryLog::key_of(const Logged& logged) {
    const LogTime time = time_of(logged.event);
    return TimeKey{time.sec, time.usec, logged.seq};
}

int MemoryLog::store_from(RecordSource& source, uint32_t count) {
    try {
        // The copies are made before the lock is taken; only they and the log's growth can fail,
        // and a failure while growing takes back what the batch had added.
        std::vector<OwnedEvent> batch;
        batch.reserve(count);
        for (uint32_t i = 0; i < count; ++i) batch.push_back(from_record(source.next()));
        MutexLock lock(mutex_);
        const size_t before = events_.size();
        const uint64_t first_seq = next_seq_;
        try {
            for (OwnedEvent& event : batch) {
                events_.push_back(Logged{next_seq_++, std::move(event)});
                index(events_.back());
            }
        } catch (...) {
            while (events_.size() > before) {
                unindex(events_.back());
                events_.pop_back();
            }
            next_seq_ = first_seq;
            throw;
        }
        trim();
    } catch (const std::bad_alloc&) {
        return QEL_RESULT_NO_MEMORY;
    }
    return QEL_RESULT_OK;
}

int MemoryLog::retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) {
    const size_t kept = out.size();
    try {
        MutexLock lock(mutex_);
        if (selection.selects_all()) {
            // Every event is a hit: the window picks positions directly.
            const LogWindow window = selection.window(events_.size());
            out.reserve(kept + window.count);
            for (uint64_t k = 0; k < window.count; ++k)
                out.push_back(events_[window.first + k].event);
        } else {
            const std::vector<uint64_t> found = hits(selection);
            const LogWindow window = selection.window(found.size());
            out.reserve(kept + window.count);
            for (uint64_t k = 0; k < window.count; ++k)
                out.push_back(events_[position(found[window.first + k])].event);
        }
    } catch (const std::bad_alloc&) {
        out.resize(kept);
        return QEL_RESULT_NO_MEMORY;
    }
    return QEL_RESULT_OK;
}

int MemoryLog::clear(const LogSelection& selection) {
    try {
        MutexLock lock(mutex_);
        if (selection.selects_all()) {
            events_.clear();
            by_path_.clear();
            by_time_.clear();
            return QEL_RESULT_OK;
        }
        const std::vector<uint64_t> found = hits(selection);
        if (found.empty()) return QEL_RESULT_OK;
        // Nothing below allocates: the hits leave the indexes, the others close up in order.
        auto kept = events_.begin() + static_cast<std::ptrdiff_t>(position(found.front()));
        size_t next = 0;
        for (auto it = kept; it != events_.end(); ++it) {
            if (next < found.size() && it->seq == found[next]) {
                unindex(*it);
                ++next;
                continue;
            }
            if (kept != it) *kept = std::move(*it);
            ++kept;
        }
        events_.erase(kept, events_.end());
    } catch (const std::bad_alloc&) {
        return QEL_RESULT_NO_MEMORY;
    }
    return QEL_RESULT_OK;
}

void MemoryLog::set_capacity(uint32_t capacity) {
    MutexLock lock(mutex_);
    capacity_ = capacity == 0 ? 1 : capacity;
    trim();
}

uint64_t MemoryLog::size() {
    MutexLock lock(mutex_);
    return events_.size();
}

uint64_t MemoryLog::dropped() {
    MutexLock lock(mutex_);
    return dropped_;
}

std::vector<uint64_t> MemoryLog::hits(const LogSelection& selection) {
    std::vector<uint64_t> found;
    const TimeKey lowest = selection.from ? TimeKey{selection.from->sec, selection.from->usec, 0}
                                          : TimeKey{std::numeric_limits<int64_t>::min(), 0, 0};
    auto collect = [&](const TimeIndex& index) {
        for (auto it = index.lower_bound(lowest); it != index.end(); ++it) {
            if (selection.to && earlier(*selection.to, LogTime{it->sec, it->usec})) break;
            found.push_back(it->seq);
        }
    };
    if (selection.subtree.empty()) {
        collect(by_time_);
    } else {
        // The subtree's own path, then every path below it: those that start with it and '/'.
        const auto exact = by_path_.find(selection.subtree);
        if (exact != by_path_.end()) collect(exact->second);
        std::string below(selection.subtree);
        below += '/';
        for (auto it = by_path_.lower_bound(below);
             it != by_path_.end() && it->first.compare(0, below.size(), below) == 0; ++it)
            collect(it->second);
    }
    std::sort(found.begin(), found.end());
    return found;
}

size_t MemoryLog::position(uint64_t seq) {
    const uint64_t first = events_.front().seq;
    // Without gaps (no clearing since the oldest event came in) the position is a difference.
    if (events_.back().seq - first + 1 == events_.size()) return static_cast<size_t>(seq - first);
    const auto it =
        std::lower_bound(events_.begin(), events_.end(), seq,
                         [](const Logged& logged, uint64_t s) { return logged.seq < s; });
    return static_cast<size_t>(it - events_.begin());
}

void MemoryLog::index(const Logged& logged) {
    // Events mostly arrive in time order: the hint makes that insertion cheap.
    const TimeKey key = key_of(logged);
    by_time_.emplace_hint(by_time_.end(), key);
    auto it = by_path_.find(logged.event.path);
    if (it == by_path_.end()) it = by_path_.emplace(logged.event.path, TimeIndex()).first;
    it->second.emplace_hint(it->second.end(), key);
}

namespace {

// The bound drops the oldest events, which in time order are mostly the first entries: those go
// without a search.
template <typename Index, typename Key>
void erase_key(Index& index, const Key& key) noexcept {
    if (!index.empty() && index.begin()->seq == key.seq)
        index.erase(index.begin());
    else
        index.erase(key);
}

}  // namespace

void MemoryLog::unindex(const Logged& logged) noexcept {
    const TimeKey key = key_of(logged);
    erase_key(by_time_, key);
    const auto it = by_path_.find(logged.event.path);
    if (it == by_path_.end()) return;
    erase_key(it->second, key);
    if (it->second.empty()) by_path_.erase(it);
}

void MemoryLog::trim() noexcept {
    while (events_.size() > capacity_) {
        unindex(events_.front());
        events_.pop_front();
        ++dropped_;
    }
}

}  // namespace nyrhost
