// The event log kept in memory: lost when the store closes.
#ifndef NYR_HOST_LOG_MEMORY_LOG_H
#define NYR_HOST_LOG_MEMORY_LOG_H

#include <mutex>

#include "log/event_log.h"

namespace nyrhost {

class MemoryLog final : public EventLog {
public:
    int store(const _event_t* records, uint32_t count, bool flag) override;
    int retrieve(std::vector<OwnedEvent>& out, const char* path, const timeval* from,
                 const timeval* to, uint32_t option_a, bool flag_a, uint32_t option_b) override;
    int clear(const char* path, const timeval* from, const timeval* to) override;

private:
    std::mutex mutex_;
    std::vector<OwnedEvent> events_;  // guarded by mutex_; in insertion order
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_MEMORY_LOG_H
