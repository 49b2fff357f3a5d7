// Choosing the event log a store keeps.
#include "log/event_log.h"

#include <new>

#include "log/memory_log.h"
#include "log/sqlite_log.h"
#include "nyr_host.h"

namespace nyrhost {

std::unique_ptr<EventLog> EventLog::open(const char* database, int* result) {
    int ignored = 0;
    int& status = result != nullptr ? *result : ignored;
    try {
        if (database == nullptr || database[0] == '\0') {
            status = QEL_HOST_OPEN_OK;
            return std::make_unique<MemoryLog>();
        }
        return open_sqlite_log(database, &status);
    } catch (const std::bad_alloc&) {
        status = QEL_HOST_OPEN_NO_MEMORY;
        return nullptr;
    }
}

int EventLog::store(const _event_t* records, uint32_t count, bool /*flag*/) {
    if (records == nullptr && count != 0) return QEL_RESULT_BAD_ARGUMENT;
    struct Array : RecordSource {
        const _event_t* at;
        explicit Array(const _event_t* records) : at(records) {}
        const _event_t& next() override { return *at++; }
    } source(records);
    return store_from(source, count);
}

}  // namespace nyrhost
