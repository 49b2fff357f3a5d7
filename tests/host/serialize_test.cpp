// The host store's value and event encodings: exact bytes, round trips of every type and kind,
// the size contract, the decoders' refusal of damaged input, and the store's release of records.
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/element.h>
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <cstring>
#include <limits>
#include <memory>

#include "codec/wire_format.h"
#include "core/owned_event.h"
#include "unit/event_samples.h"

using eventtest::full_event;
using toolkit::CElement;
using toolkit::CEvent;

namespace {

std::vector<char> encode(const _element_datatype_t& v, bool flag) {
    std::vector<char> out;
    EXPECT_EQ(toolkit::serialize_element(out, v, flag), 0);
    return out;
}

std::vector<char> encode(const CEvent& event) {
    _event_t record = event.get_base();
    std::vector<char> out;
    EXPECT_EQ(toolkit::serialize_event(out, record), 0);
    destruct_event(&record);
    return out;
}

// Decodes from a heap copy of exactly `n` bytes, so that any read past them is caught by ASan.
template <typename... Out>
int decode_copy(int (*decode)(const char*, std::size_t, Out&...), const std::vector<char>& in,
                std::size_t n, Out&... out) {
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), in.data(), n);
    return decode(copy.get(), n, out...);
}

// The decoded value points into the payload, which lives until the next call.
int decode_value(const std::vector<char>& in, std::size_t n, _element_datatype_t& out) {
    static std::string payload;
    return decode_copy(nyrhost::decode_element, in, n, out, payload);
}

int decode_event(const std::vector<char>& in, std::size_t n, nyrhost::OwnedEvent& out) {
    return decode_copy(nyrhost::decode_event, in, n, out);
}

// Expects every shorter prefix, one byte more and each single-byte damage to be refused.
template <typename Out>
void expect_damage_refused(int (*decode)(const std::vector<char>&, std::size_t, Out&),
                           const std::vector<char>& wire,
                           std::initializer_list<std::pair<std::size_t, char>> damages) {
    Out out;
    for (std::size_t n = 0; n < wire.size(); ++n)
        EXPECT_EQ(decode(wire, n, out), nyrhost::kResultMalformed) << n;
    std::vector<char> longer = wire;
    longer.push_back(0);
    EXPECT_EQ(decode(longer, longer.size(), out), nyrhost::kResultMalformed);
    for (const auto& damage : damages) {
        std::vector<char> bad = wire;
        bad[damage.first] = damage.second;
        EXPECT_EQ(decode(bad, bad.size(), out), nyrhost::kResultMalformed) << damage.first;
    }
}

}  // namespace

TEST(SerializeElement, EncodingIsBigEndianVersionedAndFlagSelectsTheTimeStamp) {
    using Bytes = std::vector<char>;
    const CElement v(int32_t{0x01020304}, timeval{0x0A0B0C0D, 7});
    EXPECT_EQ(encode(v, false), (Bytes{'N', 'Y', 'R', 'V', 1, 0, 0, 0, 0, 2, 1, 2, 3, 4}));
    EXPECT_EQ(encode(v, true), (Bytes{'N',  'Y',  'R',  'V', 1, 1, 0, 0, 0, 2, 0x0A,
                                      0x0B, 0x0C, 0x0D, 0,   0, 0, 7, 1, 2, 3, 4}));
    EXPECT_EQ(encode(CElement("hi"), false),
              (Bytes{'N', 'Y', 'R', 'V', 1, 0, 0, 0, 0, 6, 0, 0, 0, 2, 'h', 'i'}));
    // 1.0 is 0x3FF0000000000000 in IEEE 754.
    EXPECT_EQ(encode(CElement(1.0), false),
              (Bytes{'N', 'Y', 'R', 'V', 1, 0, 0, 0, 0, 4, 0x3F, '\xF0', 0, 0, 0, 0, 0, 0}));
}

TEST(SerializeElement, EveryTypeRoundTrips) {
    CElement bool_two(true);
    bool_two.value.bool_value = 2;
    const CElement samples[] = {
        bool_two,
        CElement(std::numeric_limits<int32_t>::min(), timeval{5, 6}),
        CElement(std::numeric_limits<uint32_t>::max()),
        CElement(std::numeric_limits<double>::quiet_NaN()),
        CElement::from_time(timeval{-100, 999999}, timeval{1, 2}),
        CElement(std::string("a\0b|\\c", 6)),
        CElement(std::string()),
        CElement(std::vector<char>{'\0', '\xff', '\x80'}),
        CElement(std::complex<double>(1.5, -2.25)),
        CElement(std::numeric_limits<std::int64_t>::min()),
        CElement(std::numeric_limits<std::uint64_t>::max(), timeval{2000000000, 0}),
        CElement()};
    for (const CElement& v : samples) {
        for (bool flag : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << v.type << " flag " << flag);
            const std::vector<char> wire = encode(v, flag);
            _element_datatype_t back;
            ASSERT_EQ(decode_value(wire, wire.size(), back), 0);
            EXPECT_EQ(back.type, v.type);
            EXPECT_TRUE(v.type == DATATYPE_INVALID || v == back);  // invalid equals nothing
            EXPECT_EQ(back.timestamp.tv_sec, flag ? v.timestamp.tv_sec : -1);
            EXPECT_EQ(back.timestamp.tv_usec, flag ? v.timestamp.tv_usec : 0);
        }
    }
}

TEST(SerializeElement, SizeContractAndBadArguments) {
    const CElement v("twelve bytes");
    const std::size_t full = encode(v, true).size();
    std::vector<char> small(full - 1, '#');
    _byte_array_t buffer = {small.data(), static_cast<uint32_t>(small.size())};
    EXPECT_EQ(serialize_element(&buffer, v, true), static_cast<int>(full));
    EXPECT_EQ(buffer.length, full - 1) << "the descriptor is left alone when too small";
    EXPECT_EQ(std::string(small.begin(), small.end()), std::string(full - 1, '#'));
    std::vector<char> exact(full);
    _byte_array_t fits = {exact.data(), static_cast<uint32_t>(full)};
    EXPECT_EQ(serialize_element(&fits, v, true), 0);
    EXPECT_EQ(fits.length, full);

    EXPECT_EQ(serialize_element(nullptr, v, true), QEL_RESULT_BAD_ARGUMENT);
    _byte_array_t no_data = {nullptr, 10};
    EXPECT_EQ(serialize_element(&no_data, v, true), QEL_RESULT_BAD_ARGUMENT);
    _element_datatype_t unknown = v;
    unknown.type = static_cast<data_type_t>(11);
    EXPECT_EQ(serialize_element(&fits, unknown, false), QEL_RESULT_BAD_ARGUMENT);
    // A string whose pointer is null reads as empty, as everywhere in the store.
    _element_datatype_t dangling = v;
    dangling.value.string_value.data = nullptr;
    EXPECT_EQ(encode(dangling, false), encode(CElement(""), false));
}

TEST(SerializeElement, DecoderRejectsDamagedInput) {
    // magic, version, flags, type code (twice), text length
    expect_damage_refused(decode_value, encode(CElement("some text", timeval{3, 4}), true),
                          {{0, 'X'}, {4, 2}, {5, 3}, {9, 11}, {6, '\x80'}, {18, '\x7f'}});
    _element_datatype_t out;
    std::string payload;
    EXPECT_EQ(nyrhost::decode_element(nullptr, 4, out, payload), QEL_RESULT_BAD_ARGUMENT);
}

TEST(SerializeEvent, RoundTripKeepsEveryCarriedFieldPerKind) {
    for (int32_t kind : eventtest::kAllKinds) {
        SCOPED_TRACE(kind);
        const CEvent original = full_event(kind);
        _event_t record = original.get_base();
        const CEvent expected(record);  // what a record of this kind carries
        destruct_event(&record);

        const std::vector<char> wire = encode(original);
        nyrhost::OwnedEvent owned;
        ASSERT_EQ(decode_event(wire, wire.size(), owned), 0);
        std::deque<std::string> texts;
        nyrhost::to_record(owned, record, texts);
        const CEvent back(record);
        destruct_event(&record);

        EXPECT_EQ(back.to_string(), expected.to_string());
        EXPECT_EQ(back.event_time.tv_usec, 123456);
        EXPECT_EQ(back.value.timestamp.tv_usec, 20) << "the value's time stamp travels too";
        EXPECT_EQ(back.details, expected.details);
        if (eventtest::carries_generic(kind)) {
            EXPECT_EQ(back.waveform_urls, original.waveform_urls);
            EXPECT_EQ(back.details, original.details);
        }
        EXPECT_EQ(back.final, kind == 0x20);

        // Fields the kind does not carry do not reach the bytes; `cause`, carried by all, does.
        CEvent other = original;
        if (!eventtest::carries_generic(kind)) other.waveform_urls.push_back("more");
        if (!eventtest::carries_alarm(kind)) other.note = "other note";
        if (kind != 0x20) other.final = !other.final;
        EXPECT_EQ(encode(other), wire);
        other.cause = 1;
        EXPECT_NE(encode(other), wire);
    }
}

TEST(SerializeEvent, AbsentListsAndNullTextsEncodeAsEmpty) {
    // The shape get_base leaves when it cannot allocate: null arrays with their counts kept.
    const CEvent e = full_event(0x8);
    _event_t record = e.get_base();
    destruct_event(&record);
    record.source.data = nullptr;
    std::vector<char> out;
    ASSERT_EQ(toolkit::serialize_event(out, record), 0);
    nyrhost::OwnedEvent owned;
    ASSERT_EQ(decode_event(out, out.size(), owned), 0);
    EXPECT_TRUE(owned.waveform_urls.empty());
    EXPECT_TRUE(owned.details.empty());
    EXPECT_EQ(owned.source, "");
    EXPECT_EQ(owned.note, "note a");

    record.value.type = static_cast<data_type_t>(42);
    EXPECT_EQ(toolkit::serialize_event(out, record), QEL_RESULT_BAD_ARGUMENT);
}

TEST(SerializeEvent, DecoderRejectsDamagedInput) {
    expect_damage_refused(decode_event, encode(full_event(0x80)), {{4, 2}});  // version

    // A list count far beyond the input is refused before anything is allocated for it.
    CEvent one_url(0x4);
    one_url.waveform_urls = {"u"};
    std::vector<char> counted = encode(one_url);
    const std::size_t count_at = counted.size() - 4 /*details*/ - 5 /*"u"*/ - 4 /*url count*/;
    ASSERT_EQ(counted[count_at + 3], 1);
    counted[count_at] = '\x7f';
    nyrhost::OwnedEvent out;
    EXPECT_EQ(decode_event(counted, counted.size(), out), nyrhost::kResultMalformed);
}

TEST(DestructEvent, FreesTheThreeArraysOnly) {
    const CEvent e = full_event(0x4);
    _event_t record = e.get_base();
    destruct_event(&record);
    EXPECT_EQ(record.waveform_urls, nullptr);
    EXPECT_EQ(record.detail_keys, nullptr);
    EXPECT_EQ(record.detail_values, nullptr);
    EXPECT_EQ(record.path.data, e.path.data()) << "the borrowed texts are left to their owner";
    destruct_event(&record);  // arrays already null: nothing more to free
    destruct_event(nullptr);
}
