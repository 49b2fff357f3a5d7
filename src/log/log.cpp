// CLog: the store's event log. Events go to the store as records built with CEvent::get_base and
// come back as records that are converted into owning CEvent copies.
#include <toolkit/log.h>

#include <iterator>

#include "../common/event_record_arrays.h"

namespace toolkit {

namespace {

// One qel_log_store call for the events of [first, last); the records are released afterwards
// whatever the result.
template <typename Iterator>
int store_range(qel_handle_t handle, Iterator first, Iterator last, std::size_t count, bool flag) {
    detail::BuiltEventRecords records(first, last, count);
    const int result =
        qel_log_store(handle, records.data(), static_cast<uint32_t>(records.size()), flag);
    records.release();
    return result;
}

}  // namespace

int CLog::store(const std::deque<CEvent>& events, unsigned count, bool flag) {
    std::size_t chosen = events.size();
    if (count != 0 && count < chosen) chosen = count;
    const auto first = events.begin();
    return store_range(_handle, first, first + static_cast<std::ptrdiff_t>(chosen), chosen, flag);
}

int CLog::store(const std::list<CEvent>& events, bool flag) {
    return store_range(_handle, events.begin(), events.end(), events.size(), flag);
}

int CLog::store(const std::vector<CEvent>& events, bool flag) {
    return store_range(_handle, events.begin(), events.end(), events.size(), flag);
}

int CLog::retrieve(std::vector<CEvent>& out, const std::string& path, const timeval* from,
                   const timeval* to, unsigned option_a, bool flag_a, bool flag_b,
                   unsigned option_b) {
    _event_t* array = nullptr;
    uint32_t count = 0;
    const int result =
        qel_log_retrieve(_handle, &array, &count, path.empty() ? nullptr : path.c_str(), from, to,
                         option_a, flag_a, option_b);
    if (result != 0 || count == 0 || array == nullptr) return result;
    detail::ReturnedEventRecords records(array, count);
    // One working event for all records: the fields a record's kind does not carry keep what the
    // previously visited record left there.
    CEvent working(0);
    const bool in_store_order = flag_a == flag_b;
    for (uint32_t visited = 0; visited < count; ++visited) {
        if (in_store_order) {
            working = records.front();
            records.release_front();
        } else {
            working = records.back();
            records.release_back();
        }
        out.push_back(working);
    }
    return result;
}

int CLog::clear(const std::string& path, const timeval* from, const timeval* to) {
    return qel_log_clear(_handle, path.empty() ? nullptr : path.c_str(), from, to);
}

}  // namespace toolkit
