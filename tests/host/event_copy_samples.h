// Event records for host store tests: records that own their storage, filled with distinct
// values in every field, and a comparison of the fields a record's kind carries.
#ifndef TESTS_HOST_EVENT_COPY_SAMPLES_H
#define TESTS_HOST_EVENT_COPY_SAMPLES_H

#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "core/owned_event.h"
#include "nyr.h"

namespace eventsamples {

// One kind of each class (plain, generic, alarm, acknowledgement, final, severity) and the value
// types the samples rotate through, a string and a blob with a NUL byte among them.
extern const std::vector<int32_t> kKinds;
extern const std::vector<data_type_t> kValueTypes;

// A record whose texts and arrays live in this object. Every field holds a value that depends
// on the kind and on `seed`, whether or not the kind carries it; `final` is set for the final
// kind only.
class RecordBuilder {
public:
    explicit RecordBuilder(int32_t kind, int seed = 0);
    RecordBuilder(const RecordBuilder&) = delete;
    RecordBuilder& operator=(const RecordBuilder&) = delete;

    _event_t record{};

    void set_path(const std::string& path);
    // Overwrites every character this record points at, so copies must not share them.
    void scribble();

private:
    std::string path_, source_, description_, note_, payload_;
    std::vector<std::string> urls_, keys_, values_;
    std::vector<_byte_array_t> url_pairs_, key_pairs_, value_pairs_;
};

// A record built from an owned event, released the way a receiver would release it.
struct BuiltRecord {
    _event_t record{};
    std::deque<std::string> texts;
    explicit BuiltRecord(const nyrhost::OwnedEvent& event) { to_record(event, record, texts); }
    BuiltRecord(const BuiltRecord&) = delete;
    ~BuiltRecord() {
        std::free(record.waveform_urls);
        std::free(record.detail_keys);
        std::free(record.detail_values);
    }
    operator const _event_t&() const { return record; }
};

// Expects `actual` to hold what `expected` holds in every field its kind carries (texts by
// content, lists in order, the value by type and payload) and nothing in the others.
void expect_same_carried_fields(const _event_t& expected, const _event_t& actual);

}  // namespace eventsamples

#endif  // TESTS_HOST_EVENT_COPY_SAMPLES_H
