// The host store's event log: in memory, or in an SQLite file that survives reopening.
//
// Thread safety: every member may be called from any thread; the log serialises its own work.
#ifndef NYR_STOREIF_HOST_LOG_H
#define NYR_STOREIF_HOST_LOG_H

#include "host_event_copy.h"
#include "nyr.h"

#include <sys/time.h>

#include <memory>
#include <vector>

namespace nyrhost {

class EventLog {
public:
    // `database` null or "": in memory. Otherwise the SQLite file at that path, created when
    // missing. Null (with *result set to a negative QEL_RESULT_ code) when the file cannot be
    // opened or is not an event log of ours.
    static std::unique_ptr<EventLog> open(const char* database, int* result);
    virtual ~EventLog() = default;

    // Appends `count` records in one transaction: either all are kept or none.
    virtual int store(const _event_t* records, uint32_t count, bool flag) = 0;
    // Appends to `out` the logged events under `path` (a subtree; null or "" for all) whose
    // event_time lies within [from, to] (null bounds are open).
    virtual int retrieve(std::vector<OwnedEvent>& out, const char* path, const timeval* from,
                         const timeval* to, uint32_t option_a, bool flag_a,
                         uint32_t option_b) = 0;
    // Removes the logged events that retrieve() with the same selection would give.
    virtual int clear(const char* path, const timeval* from, const timeval* to) = 0;
};

} // namespace nyrhost

#endif // NYR_STOREIF_HOST_LOG_H
