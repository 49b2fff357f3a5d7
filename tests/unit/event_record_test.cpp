// CEvent: construction, the record built by get_base, and the partial assignment from a record.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "double/store_double.h"
#include "unit/event_samples.h"

using eventtest::all_kinds;
using eventtest::full_event;
using eventtest::pair_of;
using eventtest::text_of;
using toolkit::CElement;
using toolkit::CEvent;

namespace {

class EventRecord : public nyrdouble::DoubleTest {};

bool all_zero(const _event_t& r, std::size_t from, std::size_t to) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&r);
    for (std::size_t i = from; i < to; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

bool same_pair(const _byte_array_t& pair, const std::string& text) {
    return pair.data == text.data() && pair.length == text.size();
}

} // namespace

TEST_F(EventRecord, KindConstructorSetsDefaults) {
    CEvent e;
    EXPECT_EQ(e.type, 0);
    EXPECT_EQ(e.path, "/");
    EXPECT_EQ(e.cmd, 10);
    EXPECT_EQ(e.value.type, DATATYPE_BOOL);
    EXPECT_EQ(e.value.value.bool_value, 1);
    EXPECT_EQ(e.value.timestamp.tv_sec, -1);
    EXPECT_EQ(e.source, "");
    EXPECT_EQ(e.quality, 192);
    EXPECT_EQ(static_cast<uint32_t>(e.severity), 192u) << "the slot above quality is zero";
    EXPECT_FALSE(e.was_logged);
    EXPECT_EQ(e.event_id, 0u);
    EXPECT_EQ(e.sequence_id, 0u);
    EXPECT_TRUE(e.waveform_urls.empty());
    EXPECT_TRUE(e.details.empty());
    EXPECT_EQ(e.event_time.tv_sec, -1);
    EXPECT_EQ(e.event_time.tv_usec, 0);
    EXPECT_EQ(e.cause, 0);
    EXPECT_FALSE(e.final);
    EXPECT_EQ(e.ack_status, 0);
    EXPECT_EQ(e.base_priority, 0u);
    EXPECT_FALSE(e.condition_raised);
    EXPECT_EQ(e.note, "");
    EXPECT_EQ(e.description, "");
    EXPECT_FALSE(e.auto_close);
    EXPECT_EQ(e.variation_level, 0);

    EXPECT_EQ(CEvent(0x100).severity, 0);
    EXPECT_EQ(CEvent(0x8).quality, 192);
}

TEST_F(EventRecord, GetBaseBorrowsStringsAndCopiesAlwaysCarriedFields) {
    CEvent e = full_event(0x40);
    _event_t r = e.get_base();
    EXPECT_EQ(r._reserved, 0);
    EXPECT_EQ(r._fill0, 0);
    EXPECT_EQ(r.type, 0x40);
    EXPECT_TRUE(same_pair(r.path, e.path));
    EXPECT_TRUE(same_pair(r.source, e.source));
    EXPECT_TRUE(same_pair(r.description, e.description));
    EXPECT_TRUE(same_pair(r.note, e.note));
    EXPECT_EQ(r.cmd, 7);
    EXPECT_EQ(std::memcmp(&r.value, static_cast<const _element_datatype_t*>(&e.value),
                          sizeof r.value),
              0);
    EXPECT_EQ(r.value.value.string_value.data, e.value.string_buffer().data());
    EXPECT_EQ(r.quality, 0xBEEF);
    EXPECT_EQ(static_cast<uint32_t>(r.severity), 0xBEEFu) << "bytes above quality stay zero";
    EXPECT_EQ(r.was_logged, 1);
    EXPECT_EQ(r.event_time.tv_sec, 1700000000);
    EXPECT_EQ(r.event_time.tv_usec, 123456);
    EXPECT_EQ(r.cause, -9);
    ASSERT_EQ(r.waveform_url_count, 3u);
    ASSERT_NE(r.waveform_urls, nullptr);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(same_pair(r.waveform_urls[i], e.waveform_urls[i])) << i;
    destruct_event(&r);

    CEvent s = full_event(0x100);
    _event_t rs = s.get_base();
    EXPECT_EQ(rs.severity, -3);
    destruct_event(&rs);
}

TEST_F(EventRecord, GetBaseCarriesFieldsByKind) {
    for (int32_t kind : all_kinds()) {
        SCOPED_TRACE(kind);
        CEvent e = full_event(kind);
        _event_t r = e.get_base();
        const bool generic = eventtest::carries_generic(kind);
        const bool alarm = eventtest::carries_alarm(kind);

        EXPECT_EQ(r.path.length, e.path.size());
        EXPECT_EQ(r.cause, -9);
        if (generic) {
            EXPECT_EQ(text_of(r.description), e.description);
            EXPECT_EQ(r.event_id, 0x0102030405060708ULL);
            EXPECT_EQ(r.sequence_id, 4000000000u);
            EXPECT_EQ(r.waveform_url_count, 3u);
            EXPECT_EQ(r.detail_count, 3u);
            EXPECT_NE(r.detail_keys, nullptr);
        } else {
            EXPECT_TRUE(all_zero(r, offsetof(_event_t, description), offsetof(_event_t, event_time)));
        }
        if (alarm) {
            EXPECT_EQ(r.ack_status, 5);
            EXPECT_EQ(r.base_priority, 3000000000u);
            EXPECT_EQ(r.condition_raised, 1);
            EXPECT_EQ(text_of(r.note), "note a");
            EXPECT_EQ(r.auto_close, 1);
            EXPECT_EQ(r.variation_level, -12);
        } else {
            EXPECT_TRUE(all_zero(r, offsetof(_event_t, ack_status), sizeof(_event_t)));
        }
        EXPECT_EQ(r.final, kind == 0x20 ? 1 : 0);
        // Alignment after the small fields is zero in every record we build.
        EXPECT_TRUE(all_zero(r, offsetof(_event_t, was_logged) + 1, offsetof(_event_t, description)));
        EXPECT_TRUE(all_zero(r, offsetof(_event_t, final) + 1, offsetof(_event_t, ack_status)));
        destruct_event(&r);
    }
}

TEST_F(EventRecord, GetBaseListsFollowListAndMapOrder) {
    CEvent e(0x4);
    e.details = {{"b", "2"}, {"a", "1"}};
    _event_t r = e.get_base();
    ASSERT_EQ(r.detail_count, 2u);
    EXPECT_EQ(text_of(r.detail_keys[0]), "a");
    EXPECT_EQ(text_of(r.detail_keys[1]), "b");
    EXPECT_EQ(text_of(r.detail_values[0]), "1");
    EXPECT_EQ(text_of(r.detail_values[1]), "2");
    EXPECT_EQ(r.detail_keys[0].data, e.details.begin()->first.data());
    EXPECT_EQ(r.waveform_urls, nullptr) << "an empty list has no array";
    EXPECT_EQ(r.waveform_url_count, 0u);
    destruct_event(&r);

    CEvent empty(0x4);
    _event_t r2 = empty.get_base();
    EXPECT_EQ(r2.detail_keys, nullptr);
    EXPECT_EQ(r2.detail_values, nullptr);
    EXPECT_EQ(r2.detail_count, 0u);
    destruct_event(&r2);
}

TEST_F(EventRecord, AssignmentTakesOnlyWhatTheKindCarries) {
    for (int32_t kind : all_kinds()) {
        SCOPED_TRACE(kind);
        const CEvent from = full_event(kind, "new");
        _event_t r = from.get_base();
        CEvent to = full_event(0x80, "old");
        to.final = false;
        to = r;
        destruct_event(&r);

        EXPECT_EQ(to.type, kind);
        EXPECT_EQ(to.path, "/plant/new");
        EXPECT_TRUE(to.value == from.value);
        EXPECT_EQ(to.value.timestamp.tv_sec, 1000);
        EXPECT_EQ(to.source, "src|new");
        if (kind == 0x100)
            EXPECT_EQ(to.severity, -3);
        else
            EXPECT_EQ(to.quality, 0xBEEF);
        EXPECT_TRUE(to.was_logged);
        EXPECT_EQ(to.event_time.tv_sec, 1700000000);
        EXPECT_EQ(to.event_time.tv_usec, 123456);

        const bool generic = eventtest::carries_generic(kind);
        const bool alarm = eventtest::carries_alarm(kind);
        EXPECT_EQ(to.description, generic ? "description new" : "description old");
        EXPECT_EQ(to.waveform_urls.at(0), generic ? "http://w/new/1" : "http://w/old/1");
        EXPECT_EQ(to.details.at("zeta"), generic ? "last new" : "last old");
        EXPECT_EQ(to.note, alarm ? "note new" : "note old");
        EXPECT_EQ(to.final, kind == 0x20) << "final is taken only from kind 0x20";
    }

    // Uncarried scalars keep what the event held, even when the record holds something else.
    CEvent to(0x8);
    to.ack_status = 77;
    to.event_id = 99;
    _event_t r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.type = 0x1;
    r.ack_status = 1;
    r.event_id = 2;
    to = r;
    EXPECT_EQ(to.ack_status, 77);
    EXPECT_EQ(to.event_id, 99u);
    EXPECT_EQ(to.value.type, DATATYPE_INVALID);
    EXPECT_EQ(to.path, "") << "a null pair gives an empty text";
}

TEST_F(EventRecord, AssignmentReadsPairsAndListsDefensively) {
    const char* keys_text[] = {"k1", "", "k1", "k3"};
    const char* values_text[] = {"v1", "v2", "v3", nullptr};
    _byte_array_t keys[4], values[4];
    for (int i = 0; i < 4; ++i) {
        keys[i] = pair_of(keys_text[i], static_cast<uint32_t>(std::strlen(keys_text[i])));
        values[i] = pair_of(values_text[i], values_text[i] ? 2 : 5);
    }
    _byte_array_t urls[3] = {pair_of("u1", 2), pair_of(nullptr, 4), pair_of("u3", 0)};

    _event_t r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.type = 0x4;
    r.path = pair_of("/not empty", 0);
    r.source = pair_of(nullptr, 10);
    r.description = pair_of("descr-and-more", 5);
    r.detail_keys = keys;
    r.detail_values = values;
    r.detail_count = 4;
    r.waveform_urls = urls;
    r.waveform_url_count = 3;

    CEvent e(r);
    EXPECT_EQ(e.path, "") << "length 0 with a non-null pointer";
    EXPECT_EQ(e.source, "") << "null pointer with a non-zero length";
    EXPECT_EQ(e.description, "descr");
    ASSERT_EQ(e.details.size(), 2u) << "the entry with an empty key is skipped";
    EXPECT_EQ(e.details.at("k1"), "v3") << "a later duplicate key wins";
    EXPECT_EQ(e.details.at("k3"), "") << "a null value gives an empty text";
    ASSERT_EQ(e.waveform_urls.size(), 3u);
    EXPECT_EQ(e.waveform_urls[0], "u1");
    EXPECT_EQ(e.waveform_urls[1], "");
    EXPECT_EQ(e.waveform_urls[2], "");

    // A null array with a non-zero count is an absent list: the list becomes empty.
    r.waveform_urls = nullptr;
    r.detail_values = nullptr;
    e = r;
    EXPECT_TRUE(e.waveform_urls.empty());
    EXPECT_TRUE(e.details.empty());
}

TEST_F(EventRecord, RecordConstructorAndSelfAssignment) {
    const CEvent src = full_event(0x2);
    _event_t r = src.get_base();
    CEvent e(r);
    destruct_event(&r);
    EXPECT_EQ(e.type, 0x2);
    EXPECT_EQ(e.path, src.path);
    EXPECT_TRUE(e.value == src.value);
    EXPECT_EQ(e.quality, 0xBEEF);
    // What kind 0x2 does not carry takes the kind constructor's defaults.
    EXPECT_EQ(e.description, "");
    EXPECT_TRUE(e.details.empty());
    EXPECT_EQ(e.note, "");
    EXPECT_EQ(e.base_priority, 0u);

    // A record built from the event itself points into it; taking it back changes nothing.
    CEvent self = full_event(0x80);
    const CEvent before = self;
    _event_t own = self.get_base();
    self = own;
    destruct_event(&own);
    EXPECT_EQ(self.path, before.path);
    EXPECT_TRUE(self.value == before.value);
    EXPECT_EQ(self.waveform_urls, before.waveform_urls);
    EXPECT_EQ(self.details, before.details);
    EXPECT_EQ(self.note, before.note);
}

TEST_F(EventRecord, CopyIsDeepAndMoveKeepsValueAndTimeStamp) {
    CEvent original = full_event(0x10);
    CEvent copy(original);
    EXPECT_NE(copy.value.value.string_value.data, original.value.value.string_value.data);
    EXPECT_EQ(copy.value.value.string_value.data, copy.value.string_buffer().data());
    EXPECT_TRUE(copy.value == original.value);
    EXPECT_EQ(copy.details, original.details);

    const std::string text = original.value.string_buffer();
    CEvent moved(std::move(original));
    EXPECT_EQ(moved.value.string_buffer(), text);
    EXPECT_EQ(moved.value.value.string_value.data, moved.value.string_buffer().data());
    EXPECT_EQ(moved.value.timestamp.tv_sec, 1000);
    EXPECT_EQ(moved.quality, 0xBEEF);

    CEvent assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.value.string_buffer(), text);
    EXPECT_EQ(assigned.value.value.string_value.data, assigned.value.string_buffer().data());
    EXPECT_EQ(assigned.path, "/plant/a");
    static_assert(std::is_copy_constructible<CEvent>::value, "events are values");
}
