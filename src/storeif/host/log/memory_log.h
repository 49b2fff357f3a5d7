// The event log kept in memory: lost when the store closes.
#ifndef NYR_HOST_LOG_MEMORY_LOG_H
#define NYR_HOST_LOG_MEMORY_LOG_H

#include <mutex>

#include "log/event_log.h"

namespace nyrhost {

class MemoryLog final : public EventLog {
public:
    int store(const _event_t* records, uint32_t count, bool flag) override;
    int retrieve(std::vector<OwnedEvent>& out, const LogSelection& selection) override;
    int clear(const LogSelection& selection) override;

private:
    std::mutex mutex_;
    std::vector<OwnedEvent> events_;  // guarded by mutex_; in insertion order
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_MEMORY_LOG_H
