// CNyr event subscription and delivery: register and clear subscriptions, send events, fetch the
// events waiting for this client.
#include <toolkit/nyr.h>

#include <utility>

#include "../common/event_record_arrays.h"
#include "batch_arrays.h"

namespace toolkit {

int CNyr::event_register(const std::string& path, api_event_t kind, bool flag,
                         api_status_t& status) {
    if (_handle == nullptr) return -1;
    return qel_event_register(_handle, path.c_str(), kind, flag, &status);
}

int CNyr::event_clear(const std::string& path, api_event_t kind, api_status_t& status) {
    if (_handle == nullptr) return -1;
    return qel_event_clear(_handle, path.c_str(), kind, &status);
}

int CNyr::events_send(const std::vector<CEvent>& events, std::vector<api_status_t>& statuses) {
    if (_handle == nullptr || !detail::fits_item_count(events.size())) return -1;
    detail::BuiltEventRecords records(events.begin(), events.end(), events.size());
    api_status_t* store_statuses = nullptr;
    uint32_t status_count = 0;
    const int result =
        qel_events_send(_handle, records.data(), static_cast<uint32_t>(records.size()),
                        &store_statuses, &status_count);
    // The records go back to destruct_event whatever the result, before anything else happens.
    records.release();
    if (result == 0) detail::copy_handed_back(statuses, store_statuses, status_count);
    return result;
}

int CNyr::events_get(std::vector<CEvent>& events) {
    if (_handle == nullptr) return -1;
    _event_t* array = nullptr;
    const int count = qel_events_get(_handle, &array);
    if (count <= 0) return count;
    // A count without records cannot be delivered.
    if (array == nullptr) return -1;
    detail::ReturnedEventRecords records(array, static_cast<std::size_t>(count));
    // Elements already in the vector are reused: what a record's kind does not carry stays as the
    // element held it.
    events.resize(static_cast<std::size_t>(count));
    for (CEvent& event : events) {
        event = records.front();
        records.release_front();
    }
    return count;
}

int CNyr::events_get_nonblocking(std::vector<CEvent>& events) {
    if (_handle == nullptr) return -1;
    _event_t* array = nullptr;
    const int count = qel_events_get_nonblocking(_handle, &array);
    if (count <= 0) return count;
    if (array == nullptr) return -1;
    detail::ReturnedEventRecords records(array, static_cast<std::size_t>(count));
    // Fresh events only: nothing of the vector's earlier content survives.
    events.clear();
    events.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        {
            CEvent event(records.front());
            events.push_back(std::move(event));
        }
        records.release_front();
    }
    return count;
}

}  // namespace toolkit
