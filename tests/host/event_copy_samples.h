// Event records for host store tests: records that own their storage, filled with distinct
// values in every field, and a comparison of the fields a record's kind carries.
#ifndef TESTS_HOST_EVENT_COPY_SAMPLES_H
#define TESTS_HOST_EVENT_COPY_SAMPLES_H

#include <string>
#include <vector>

#include "nyr.h"

namespace eventsamples {

// One kind of each class: plain, generic, alarm, acknowledgement, final, severity.
extern const std::vector<int32_t> kKinds;
// Value types the samples rotate through, a string and a blob with a NUL byte among them.
extern const std::vector<data_type_t> kValueTypes;

// A record whose texts and arrays live in this object. Every field holds a value that depends
// on the kind and on `seed`, whether or not the kind carries it.
class RecordBuilder {
public:
    explicit RecordBuilder(int32_t kind, int seed = 0);
    RecordBuilder(const RecordBuilder&) = delete;
    RecordBuilder& operator=(const RecordBuilder&) = delete;

    _event_t record{};

    // Sets the path (owned here) and the event time.
    void set_path(const std::string& path);
    void set_time(int32_t sec, int32_t usec);
    // Fills the fields the kind does not carry as well (they are always filled; this also sets
    // `final`, which only some samples set).
    void fill_everything();
    // Overwrites every character this record points at, so copies must not share them.
    void scribble();

private:
    void point_at_storage();
    std::string path_, source_, description_, note_, payload_;
    std::vector<std::string> urls_, keys_, values_;
    std::vector<_byte_array_t> url_pairs_, key_pairs_, value_pairs_;
};

// Expects `actual` to hold what `expected` holds in every field its kind carries (texts by
// content, lists in order), with the value compared by type and payload.
void expect_same_carried_fields(const _event_t& expected, const _event_t& actual);

}  // namespace eventsamples

#endif  // TESTS_HOST_EVENT_COPY_SAMPLES_H
