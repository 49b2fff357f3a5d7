// Owned event copies: what each kind keeps, how damaged records read, and records built back.
#include <gtest/gtest.h>

#include <cstring>

#include "host/event_copy_samples.h"

namespace {

using eventsamples::BuiltRecord;
using eventsamples::RecordBuilder;
using nyrhost::from_record;
using nyrhost::OwnedEvent;

TEST(EventCopy, KeepsEveryFieldEachKindCarries) {
    for (int32_t kind : eventsamples::kKinds) {
        for (int seed = 0; seed < static_cast<int>(eventsamples::kValueTypes.size()); ++seed) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " seed " << seed);
            RecordBuilder source(kind, seed);
            OwnedEvent copy = from_record(source.record);
            // The copy owns its texts: overwriting the source's storage changes nothing.
            source.scribble();
            eventsamples::expect_same_carried_fields(RecordBuilder(kind, seed).record,
                                                     BuiltRecord(copy));
        }
    }
}

// What the sample kinds leave out is checked above; these are the fields the samples do not set.
TEST(EventCopy, DropsWhatTheKindDoesNotCarry) {
    RecordBuilder alarm(0x8);  // an alarm carries the alarm fields but not `final`
    alarm.record.final = 1;
    EXPECT_EQ(from_record(alarm.record).scalars.final, 0);

    // Quality is 16 bits: the rest of the slot is not copied; severity is all 32.
    RecordBuilder with_quality(0x4), with_severity(0x100);
    with_quality.record.quality = 0xC0;
    std::memset(reinterpret_cast<unsigned char*>(&with_quality.record.quality) + 2, 0xFF, 2);
    const _event_t quality_copy = from_record(with_quality.record).scalars;
    const unsigned char* rest = reinterpret_cast<const unsigned char*>(&quality_copy.quality) + 2;
    EXPECT_EQ(quality_copy.quality, 0xC0);
    EXPECT_EQ(rest[0] | rest[1], 0);
    with_severity.record.severity = -123456;
    EXPECT_EQ(from_record(with_severity.record).scalars.severity, -123456);

    // A record built from a non-generic kind has no lists and no generic texts, even when the
    // owned event was given them by hand.
    OwnedEvent forced = from_record(RecordBuilder(0x1).record);
    forced.description = "set by hand";
    forced.waveform_urls = {"u"};
    BuiltRecord rebuilt(forced);
    EXPECT_EQ(rebuilt.record.description.data, nullptr);
    EXPECT_EQ(rebuilt.record.waveform_urls, nullptr);
    EXPECT_EQ(rebuilt.record.waveform_url_count, 0u);
}

TEST(EventCopy, ReadsNullPointersAsEmpty) {
    RecordBuilder broken(0x8);
    broken.record.path = _byte_array_t{nullptr, 7};
    broken.record.note = _byte_array_t{nullptr, 3};
    broken.record.value.type = DATATYPE_STRING;
    broken.record.value.value.string_value = _byte_array_t{nullptr, 12};
    broken.record.waveform_urls = nullptr;
    broken.record.waveform_url_count = 4;
    broken.record.detail_values = nullptr;
    broken.record.detail_count = 3;
    OwnedEvent copy = from_record(broken.record);
    EXPECT_TRUE(copy.path.empty());
    EXPECT_TRUE(copy.note.empty());
    EXPECT_TRUE(copy.value_payload.empty());
    EXPECT_EQ(copy.scalars.value.value.string_value.length, 0u);
    EXPECT_TRUE(copy.waveform_urls.empty());
    EXPECT_TRUE(copy.details.empty());
    EXPECT_EQ(copy.scalars.waveform_url_count, 0u);
    EXPECT_EQ(copy.scalars.detail_count, 0u);

    // Entries inside a list: a null url stays in place as "", an empty key is skipped,
    // duplicate keys keep their order, a null value reads "".
    char url[] = "http://a", k1[] = "k1", k2[] = "k2", v1[] = "v1", v2[] = "v2";
    _byte_array_t urls[] = {{nullptr, 5}, {url, 8}};
    _byte_array_t keys[] = {{k1, 2}, {k2, 0}, {k1, 2}, {k2, 2}};
    _byte_array_t values[] = {{v1, 2}, {v2, 2}, {v2, 2}, {nullptr, 9}};
    RecordBuilder lists(0x4);
    lists.record.waveform_urls = urls;
    lists.record.waveform_url_count = 2;
    lists.record.detail_keys = keys;
    lists.record.detail_values = values;
    lists.record.detail_count = 4;
    copy = from_record(lists.record);
    EXPECT_EQ(copy.waveform_urls, (std::vector<std::string>{"", "http://a"}));
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(copy.details, (Pairs{{"k1", "v1"}, {"k1", "v2"}, {"k2", ""}}));
}

TEST(EventCopy, BuiltRecordsLeaveEmptyTextsAndListsAbsent) {
    OwnedEvent bare;
    bare.scalars.type = 0x4;
    bare.scalars.value.type = DATATYPE_BLOB;
    BuiltRecord empty(bare);
    EXPECT_EQ(empty.record.path.data, nullptr);
    EXPECT_EQ(empty.record.value.value.blob_value.data, nullptr);
    EXPECT_EQ(empty.record.waveform_urls, nullptr);
    EXPECT_EQ(empty.record.detail_keys, nullptr);
    EXPECT_EQ(empty.record.detail_values, nullptr);
    EXPECT_TRUE(empty.texts.empty());
}

}  // namespace
