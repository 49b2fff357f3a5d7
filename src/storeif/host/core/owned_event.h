// Owned copies of event records inside the host store, and records built back from them.
//
// The store keeps events (queued for a handle, or in the event log) as OwnedEvent, which owns all
// of its texts and lists. Records handed back to a caller are built with to_record(): the three
// list arrays are allocated with malloc (the caller releases them through destruct_event), while
// the texts the record's pairs point to are kept in `texts`, storage the store keeps alive until
// the handle's next call.
#ifndef NYR_HOST_CORE_OWNED_EVENT_H
#define NYR_HOST_CORE_OWNED_EVENT_H

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "core/record_rules.h"
#include "nyr.h"

namespace nyrhost {

struct OwnedEvent {
    _event_t scalars{};  // every scalar field; its pointers are not used
    std::string path, source, description, note;
    std::string value_payload;  // bytes of a string or blob value
    std::vector<std::string> waveform_urls;
    std::vector<std::pair<std::string, std::string>> details;  // in record order
    uint64_t revision = 0;  // a tree change's revision (not part of the record)
};

// The memory an owned event holds: the record and every text and list, as queues count it.
std::size_t footprint(const OwnedEvent& event);

// Deep copy of a record, carrying only what its kind carries: fields the kind does not carry,
// the reserved word, the alignment word after cmd and the upper half of the quality slot are zero
// in `scalars`, and every pointer in `scalars` is null (a string or blob value keeps its length
// there, its bytes go to `value_payload`). Null pointers with non-zero lengths or counts read as
// empty: a null text gives "", a null list array gives an empty list. Details whose key is empty
// are skipped; the others keep their record order, duplicates included (a reader keeps the last).
OwnedEvent from_record(const _event_t& record);

// A record describing `event`: its scalars, with every text pair pointing into a string appended
// to `texts` (an empty text is {null, 0}). The list arrays are malloc'd and belong to the record
// (destruct_event frees them); a list that is empty, or whose array cannot be allocated, is
// absent: null array and zero count, so that no reader walks a missing array.
void to_record(const OwnedEvent& event, _event_t& out, std::deque<std::string>& texts);

// A malloc'd array of records being filled, as calls hand them to their callers (who free them
// with destruct_event and free): freed with the records made so far unless released, so that a
// failure half-way leaks nothing. Throws std::bad_alloc.
class RecordArray {
public:
    explicit RecordArray(std::size_t n);
    ~RecordArray();
    RecordArray(const RecordArray&) = delete;
    RecordArray& operator=(const RecordArray&) = delete;
    // The next record, zeroed; it counts as made from now on.
    _event_t& next() { return records_[made_++]; }
    void drop_last() { destruct_event(&records_[--made_]); }
    _event_t* data() const { return records_; }
    // The array and the number of records made, now the caller's.
    _event_t* release(uint32_t& count);

private:
    _event_t* records_;
    std::size_t made_ = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_OWNED_EVENT_H
