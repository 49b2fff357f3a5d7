// CEvent: construction, the record built by get_base, the partial assignment from a record, and
// the one-line dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "double/store_double.h"
#include "unit/event_samples.h"

using eventtest::full_event;
using eventtest::text_of;
using toolkit::CEvent;

namespace {

class EventRecord : public nyrdouble::DoubleTest {};

bool all_zero(const _event_t& r, std::size_t from, std::size_t to) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&r);
    for (std::size_t i = from; i < to; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

_byte_array_t pair_of(const char* text, uint32_t length) {
    return {const_cast<char*>(text), length};
}

using Bytes = std::vector<unsigned char>;

// The bytes of a scalar as they lie in memory on this host, given most significant first.
Bytes host(Bytes big_endian) {
    if (__BYTE_ORDER__ != __ORDER_BIG_ENDIAN__) std::reverse(big_endian.begin(), big_endian.end());
    return big_endian;
}

Bytes bytes_at(const _event_t& r, std::size_t offset, std::size_t count) {
    const auto* start = reinterpret_cast<const unsigned char*>(&r) + offset;
    return Bytes(start, start + count);
}

// The severity/quality slot holds `quality` in its first two bytes and zero in the other two, on
// either byte order.
template <typename Holder>
bool holds_quality_only(const Holder& x, uint16_t quality) {
    const unsigned char* rest = reinterpret_cast<const unsigned char*>(&x.quality) + 2;
    return x.quality == quality && rest[0] == 0 && rest[1] == 0;
}

}  // namespace

// The other defaults show in the default dump line (EventDump below).
TEST_F(EventRecord, KindConstructorDefaults) {
    CEvent e;
    EXPECT_TRUE(holds_quality_only(e, 192));
    EXPECT_EQ(e.event_time.tv_usec, 0);
    EXPECT_EQ(e.value.timestamp.tv_sec, -1);
    EXPECT_EQ(CEvent(0x100).severity, 0);
}

TEST_F(EventRecord, GetBaseBorrowsAndCarriesByKindAndAssignmentTakesOnlyThat) {
    for (int32_t kind : eventtest::kAllKinds) {
        SCOPED_TRACE(kind);
        const CEvent e = full_event(kind, "new");
        _event_t r = e.get_base();
        EXPECT_EQ(r._reserved, 0);
        EXPECT_EQ(r.path.data, e.path.data());
        EXPECT_EQ(r.source.length, e.source.size());
        EXPECT_EQ(std::memcmp(&r.value, static_cast<const _element_datatype_t*>(&e.value),
                              sizeof r.value),
                  0);
        if (kind == 0x100)
            EXPECT_EQ(r.severity, -3);
        else
            EXPECT_TRUE(holds_quality_only(r, 0xBEEF));
        EXPECT_EQ(r.event_time.tv_usec, 123456);
        EXPECT_EQ(r.cause, -9);
        if (eventtest::carries_generic(kind)) {
            EXPECT_EQ(r.description.data, e.description.data());
            EXPECT_EQ(r.event_id, 0x0102030405060708ULL);
            ASSERT_EQ(r.waveform_url_count, 3u);
            EXPECT_EQ(r.waveform_urls[2].data, e.waveform_urls[2].data());
            ASSERT_EQ(r.detail_count, 3u);
            EXPECT_EQ(text_of(r.detail_keys[0]), "alpha") << "map order";
            EXPECT_EQ(text_of(r.detail_values[2]), "last new");
        } else {
            EXPECT_TRUE(
                all_zero(r, offsetof(_event_t, description), offsetof(_event_t, event_time)));
        }
        if (eventtest::carries_alarm(kind)) {
            EXPECT_EQ(r.base_priority, 3000000000u);
            EXPECT_EQ(text_of(r.note), "note new");
            EXPECT_EQ(r.variation_level, -12);
        } else {
            EXPECT_TRUE(all_zero(r, offsetof(_event_t, ack_status), sizeof(_event_t)));
        }
        EXPECT_EQ(r.final, kind == 0x20 ? 1 : 0);
        EXPECT_TRUE(
            all_zero(r, offsetof(_event_t, was_logged) + 1, offsetof(_event_t, description)));

        CEvent to = full_event(0x80, "old");
        to.final = false;
        to = r;
        destruct_event(&r);
        EXPECT_EQ(to.type, kind);
        EXPECT_EQ(to.path, "/plant/new");
        EXPECT_TRUE(to.value == e.value);
        EXPECT_EQ(to.source, "src|new");
        if (kind == 0x100)
            EXPECT_EQ(to.severity, -3);
        else
            EXPECT_TRUE(holds_quality_only(to, 0xBEEF));
        EXPECT_EQ(to.event_time.tv_usec, 123456);
        const bool generic = eventtest::carries_generic(kind);
        EXPECT_EQ(to.description, generic ? "description new" : "description old");
        EXPECT_EQ(to.waveform_urls.at(0), generic ? "http://w/new/1" : "http://w/old/1");
        EXPECT_EQ(to.details.at("zeta"), generic ? "last new" : "last old");
        EXPECT_EQ(to.note, eventtest::carries_alarm(kind) ? "note new" : "note old");
        EXPECT_EQ(to.final, kind == 0x20);
    }
    _event_t empty = CEvent(0x4).get_base();
    EXPECT_EQ(empty.waveform_urls, nullptr) << "empty lists get no array";
    EXPECT_EQ(empty.detail_keys, nullptr);
    destruct_event(&empty);
}

// Records are exchanged with the store in memory, so the scalars of a record an event builds or
// reads lie in host byte order (big-endian on the device). Where each field lies is proven at
// compile time by the assertions in nyr.h; this looks at the bytes.
TEST_F(EventRecord, RecordScalarsLieInHostByteOrder) {
    const Bytes id = host({1, 2, 3, 4, 5, 6, 7, 8}), seconds = host({0x65, 0x53, 0xF1, 0x00});
    // Quality 192 lies in the first two bytes of the slot it shares with the severity.
    Bytes quality = host({0x00, 0xC0});
    quality.resize(4);
    constexpr std::size_t kId = offsetof(_event_t, event_id),
                          kTime = offsetof(_event_t, event_time),
                          kSlot = offsetof(_event_t, quality);
    CEvent alarm(0x8);
    alarm.event_id = 0x0102030405060708ULL;
    alarm.event_time = timeval{1700000000, 0};
    _event_t r = alarm.get_base();
    EXPECT_EQ(bytes_at(r, kId, 8), id);
    EXPECT_EQ(bytes_at(r, kTime, 4), seconds);
    EXPECT_EQ(bytes_at(r, kSlot, 4), quality);
    destruct_event(&r);
    CEvent severe(0x100);
    severe.severity = -3;
    r = severe.get_base();
    EXPECT_EQ(bytes_at(r, kSlot, 4), host({0xFF, 0xFF, 0xFF, 0xFD}));
    destruct_event(&r);

    std::memset(static_cast<void*>(&r), 0, sizeof r);
    auto put = [&r](std::size_t offset, const Bytes& bytes) {
        std::memcpy(reinterpret_cast<unsigned char*>(&r) + offset, bytes.data(), bytes.size());
    };
    put(offsetof(_event_t, type), host({0, 0, 0, 4}));
    put(kId, id);
    put(kTime, seconds);
    put(kSlot, quality);
    CEvent read(0x100);
    read = r;
    EXPECT_EQ(read.type, 4);
    EXPECT_EQ(read.event_id, 0x0102030405060708ULL);
    EXPECT_EQ(read.event_time.tv_sec, 1700000000);
    EXPECT_EQ(read.quality, 192);

    // An element is handed to the store as its record: the record is the element's first part.
    const toolkit::CElement element(int32_t{7});
    EXPECT_EQ(static_cast<const void*>(static_cast<const _element_datatype_t*>(&element)),
              static_cast<const void*>(&element));
}

TEST_F(EventRecord, AssignmentReadsPairsAndListsDefensively) {
    _byte_array_t keys[] = {pair_of("k1", 2), pair_of("k2", 0), pair_of("k1", 2), pair_of("k3", 2)};
    _byte_array_t values[] = {pair_of("v1", 2), pair_of("v2", 2), pair_of("v3", 2),
                              pair_of(nullptr, 5)};
    _byte_array_t urls[] = {pair_of("u1", 2), pair_of(nullptr, 4), pair_of("u3", 0)};
    _event_t r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.type = 0x4;
    r.path = pair_of("/not empty", 0);
    r.source = pair_of(nullptr, 10);
    r.detail_keys = keys, r.detail_values = values, r.detail_count = 4;
    r.waveform_urls = urls, r.waveform_url_count = 3;

    CEvent e(r);
    EXPECT_EQ(e.path, "");
    EXPECT_EQ(e.source, "");
    EXPECT_EQ(e.details, (std::map<std::string, std::string>{{"k1", "v3"}, {"k3", ""}}))
        << "empty keys skipped, a later duplicate wins";
    EXPECT_EQ(e.waveform_urls, (std::vector<std::string>{"u1", "", ""}));
    EXPECT_EQ(e.description, "") << "uncarried by the record: the kind constructor's default";

    // A null array with a non-zero count is an absent list: the list becomes empty.
    r.waveform_urls = nullptr;
    r.detail_values = nullptr;
    e = r;
    EXPECT_TRUE(e.waveform_urls.empty());
    EXPECT_TRUE(e.details.empty());

    // A record built from the event itself points into it; taking it back changes nothing.
    CEvent self = full_event(0x80);
    const CEvent before = self;
    _event_t own = self.get_base();
    self = own;
    destruct_event(&own);
    EXPECT_EQ(self.to_string(), before.to_string());
}

TEST_F(EventRecord, CopyIsDeepAndMoveKeepsValueAndTimeStamp) {
    CEvent original = full_event(0x10);
    const CEvent copy(original);
    EXPECT_NE(copy.value.value.string_value.data, original.value.value.string_value.data);
    EXPECT_TRUE(copy.value == original.value);

    const std::string text = original.value.string_buffer();
    CEvent moved;
    moved = std::move(original);
    EXPECT_EQ(moved.value.string_buffer(), text);
    EXPECT_EQ(moved.value.value.string_value.data, moved.value.string_buffer().data());
    EXPECT_EQ(moved.value.timestamp.tv_sec, 1000);
    const CEvent constructed(std::move(moved));
    EXPECT_EQ(constructed.value.value.string_value.data, constructed.value.string_buffer().data());
    EXPECT_EQ(constructed.to_string(), copy.to_string());
}

// CEvent::to_string: the one-line dump, field by field.
TEST(EventDump, EveryFieldInOrderWithFullRangesAndNoEscaping) {
    EXPECT_EQ(CEvent().to_string(),
              "type:0 event_time:-1 event_id:0 sequence_id:0 path:/ cmd:10 value:true source: "
              "quality:192 was_logged:0 cause:0 generic:0 final:0 is_alarm:0 is_ack:0 "
              "ack_status:0 base_priority:0 condition_raised:0 auto_close:0 variation_level:0 "
              "note: description: waveform_urls: details:");

    CEvent e = eventtest::full_event(0x80);
    e.event_id = std::numeric_limits<uint64_t>::max();
    e.path = "/a b=c,d";
    e.cmd = -2;
    e.ack_status = -1;
    EXPECT_EQ(e.to_string(),
              "type:128 event_time:1700000000 event_id:18446744073709551615 "
              "sequence_id:4000000000 path:/a b=c,d cmd:-2 value:value a longer than any inline "
              "buffer source:src|a quality:48879 was_logged:1 cause:-9 generic:1 final:1 "
              "is_alarm:1 is_ack:1 ack_status:-1 base_priority:3000000000 condition_raised:1 "
              "auto_close:1 variation_level:-12 note:note a description:description a "
              "waveform_urls:http://w/a/1,,http://w/a/3 details:alpha=first a,mid=,zeta=last a,");
}

TEST(EventDump, KindSelectsSeverityAndPredicates) {
    CEvent severe(0x100);
    severe.severity = -3;
    EXPECT_NE(severe.to_string().find(" severity:-3 was_logged:0 cause:0 generic:0 final:0 "
                                      "is_alarm:0 is_ack:0 "),
              std::string::npos);
    CEvent q(0x4);
    q.severity = -1;  // quality 0xFFFF; the upper half of the slot is not printed
    EXPECT_NE(q.to_string().find(
                  " quality:65535 was_logged:0 cause:0 generic:1 final:0 is_alarm:0 is_ack:0 "),
              std::string::npos);
    EXPECT_NE(CEvent(0x10).to_string().find(" generic:1 final:0 is_alarm:1 is_ack:1 "),
              std::string::npos);
    EXPECT_NE(CEvent(0x2).to_string().find(" generic:0 final:0 is_alarm:0 is_ack:0 "),
              std::string::npos);
}
