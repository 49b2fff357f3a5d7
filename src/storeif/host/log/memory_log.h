// The event log kept in memory: lost when the store closes.
//
// Events are kept in insertion order, each with a sequence number above its predecessor's. Two
// indexes lead to them by sequence number: one by path and then event time, one by event time
// alone. A retrieval walks only the index entries its selection covers and orders those hits by
// sequence number, so it costs in proportion to its hits (and, for a subtree, to the number of
// distinct paths inside it), not to the size of the log. Storing an event costs one copy and two
// index insertions, so its cost grows only with the logarithm of the log's size.
//
// Bound: the log holds at most `capacity` events. Storing past the bound drops the oldest events
// (a batch larger than the whole bound keeps only its newest ones), and every dropped event is
// counted. Clearing a selection costs time in proportion to the log's size.
#ifndef NYR_HOST_LOG_MEMORY_LOG_H
#define NYR_HOST_LOG_MEMORY_LOG_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "core/mutex.h"
#include "log/event_log.h"
#include "nyr_host.h"

namespace nyrhost {

class MemoryLog final : public EventLog {
public:
    explicit MemoryLog(uint32_t capacity = QEL_HOST_DEFAULT_LOG_CAPACITY);

    int store_from(RecordSource& source, uint32_t count) override;
    int retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) override;
    int clear(const LogSelection& selection) override;

    // A log holding more than a new bound drops its oldest events at once.
    void set_capacity(uint32_t capacity) override;
    uint64_t dropped() override;
    uint64_t size() override;

private:
    struct Logged {
        uint64_t seq;
        OwnedEvent event;
    };
    // An index entry: the event time, then the sequence number that makes it unique.
    struct TimeKey {
        int64_t sec, usec;
        uint64_t seq;
        bool operator<(const TimeKey& other) const {
            if (sec != other.sec) return sec < other.sec;
            if (usec != other.usec) return usec < other.usec;
            return seq < other.seq;
        }
    };
    using TimeIndex = std::set<TimeKey>;

    static TimeKey key_of(const Logged& logged);
    // Sequence numbers of the events the selection picks, ascending. Throws std::bad_alloc.
    std::vector<uint64_t> hits(const LogSelection& selection) REQUIRES(mutex_);
    // Position in events_ of a sequence number that is there.
    size_t position(uint64_t seq) REQUIRES(mutex_);
    // index() throws std::bad_alloc; unindex() removes whatever of an event's entries exist.
    void index(const Logged& logged) REQUIRES(mutex_);
    void unindex(const Logged& logged) noexcept REQUIRES(mutex_);
    void trim() noexcept REQUIRES(mutex_);

    Mutex mutex_;
    std::deque<Logged> events_ GUARDED_BY(mutex_);  // in insertion order
    uint64_t next_seq_ GUARDED_BY(mutex_) = 0;
    std::map<std::string, TimeIndex, std::less<>> by_path_ GUARDED_BY(mutex_);
    TimeIndex by_time_ GUARDED_BY(mutex_);
    uint32_t capacity_ GUARDED_BY(mutex_);
    uint64_t dropped_ GUARDED_BY(mutex_) = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_MEMORY_LOG_H
