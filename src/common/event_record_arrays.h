// Private to libnyr++ and shared by its store client (src/store) and its event log (src/log).
// Owners of event record arrays that cross the store interface, so that no early return or
// exception can leak them or release them twice.
//
//  - BuiltEventRecords: records built with CEvent::get_base for one call. They borrow the events'
//    storage and own only the list arrays that get_base allocated; every record goes to
//    destruct_event exactly once, in order, and the array is released afterwards.
//  - ReturnedEventRecords: an array of records that the store handed over to the client. Each
//    record goes to destruct_event exactly once (the caller releases them one by one from either
//    end while it converts them; the rest go on destruction) and the array goes to free once.
#ifndef TOOLKIT_SRC_COMMON_EVENT_RECORD_ARRAYS_H
#define TOOLKIT_SRC_COMMON_EVENT_RECORD_ARRAYS_H

#include <nyr.h>
#include <toolkit/event.h>

#include <cstddef>
#include <cstdlib>
#include <vector>

namespace toolkit {
namespace detail {

class BuiltEventRecords {
public:
    // Builds one record per event of [first, last), in order.
    template <typename Iterator>
    BuiltEventRecords(Iterator first, Iterator last, std::size_t count) {
        // All bytes zero before get_base fills a record; _filled counts the records that may own
        // list arrays, so an exception while building releases exactly those (a constructor that
        // throws runs no destructor).
        _records.resize(count);
        try {
            for (; first != last && _filled < count; ++first)
                _records[_filled++] = first->get_base();
        } catch (...) {
            release();
            throw;
        }
    }
    BuiltEventRecords(const BuiltEventRecords&) = delete;
    BuiltEventRecords& operator=(const BuiltEventRecords&) = delete;
    ~BuiltEventRecords() { release(); }

    // The array for the store call: null when there are no records.
    const _event_t* data() const { return _records.empty() ? nullptr : _records.data(); }
    std::size_t size() const { return _records.size(); }

    // Passes every record, in order, to destruct_event and releases the array. Idempotent.
    void release() {
        for (std::size_t i = 0; i < _filled; ++i) destruct_event(&_records[i]);
        _filled = 0;
        std::vector<_event_t>().swap(_records);
    }

private:
    std::vector<_event_t> _records;
    std::size_t _filled = 0;
};

class ReturnedEventRecords {
public:
    ReturnedEventRecords(_event_t* records, std::size_t count)
        : _records(records), _first(0), _last(records ? count : 0) {}
    ReturnedEventRecords(const ReturnedEventRecords&) = delete;
    ReturnedEventRecords& operator=(const ReturnedEventRecords&) = delete;
    ~ReturnedEventRecords() {
        while (_first < _last) release_front();
        std::free(_records);
    }

    const _event_t& front() const { return _records[_first]; }
    const _event_t& back() const { return _records[_last - 1]; }
    // Passes the first (last) record not yet released to destruct_event.
    void release_front() { destruct_event(&_records[_first++]); }
    void release_back() { destruct_event(&_records[--_last]); }

private:
    _event_t* _records;
    std::size_t _first;
    std::size_t _last;
};

}  // namespace detail
}  // namespace toolkit

#endif  // TOOLKIT_SRC_COMMON_EVENT_RECORD_ARRAYS_H
