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

TEST(EventCopy, DropsWhatTheKindDoesNotCarry) {
    // A plain kind with every optional field filled, `final` too: none of it survives.
    RecordBuilder plain(0x1);
    plain.record.final = 1;
    OwnedEvent copy = from_record(plain.record);
    EXPECT_TRUE(copy.description.empty());
    EXPECT_TRUE(copy.note.empty());
    EXPECT_TRUE(copy.waveform_urls.empty());
    EXPECT_TRUE(copy.details.empty());
    EXPECT_EQ(copy.scalars.event_id, 0u);
    EXPECT_EQ(copy.scalars.ack_status, 0);
    EXPECT_EQ(copy.scalars.final, 0);
    EXPECT_EQ(copy.scalars._reserved, 0);

    // An alarm carries the alarm fields but not `final`; kind 0x20 carries `final` only.
    RecordBuilder alarm(0x8), final_kind(0x20);
    alarm.record.final = 1;
    copy = from_record(alarm.record);
    EXPECT_EQ(copy.note, "note text");
    EXPECT_EQ(copy.scalars.final, 0);
    copy = from_record(final_kind.record);
    EXPECT_EQ(copy.scalars.final, 1);
    EXPECT_TRUE(copy.note.empty());
    EXPECT_EQ(copy.scalars.ack_status, 0);

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

    // A built record of a non-generic kind has no lists and no generic texts.
    OwnedEvent forced = from_record(plain.record);
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

TEST(EventCopy, BuiltRecordsPointIntoTheKeptTexts) {
    RecordBuilder source(0x10, 6);
    ASSERT_EQ(source.record.value.type, DATATYPE_STRING);
    OwnedEvent copy = from_record(source.record);
    BuiltRecord built(copy);
    ASSERT_FALSE(built.texts.empty());
    // Every non-empty pair points at a text the caller's deque holds; empty ones point nowhere.
    auto held = [&](const _byte_array_t& pair) {
        if (pair.length == 0) return pair.data == nullptr;
        for (const std::string& t : built.texts)
            if (pair.data == t.data() && pair.length == t.size()) return true;
        return false;
    };
    const _event_t& r = built.record;
    for (const _byte_array_t* pair :
         {&r.path, &r.source, &r.note, &r.description, &r.value.value.string_value})
        EXPECT_TRUE(held(*pair));
    for (uint32_t i = 0; i < r.waveform_url_count; ++i) EXPECT_TRUE(held(r.waveform_urls[i]));
    for (uint32_t i = 0; i < r.detail_count; ++i) {
        EXPECT_TRUE(held(r.detail_keys[i]));
        EXPECT_TRUE(held(r.detail_values[i]));
    }
    // Building a second record keeps the first one's texts valid.
    BuiltRecord again(copy);
    EXPECT_EQ(std::string(r.path.data, r.path.length), copy.path);

    // Empty texts and lists are absent rather than pointing at storage.
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
