// The host store's event encoding: a record survives record -> bytes -> record with every field
// its kind carries; uncarried fields do not reach the bytes; damaged input is refused. Also the
// store's release of records (destruct_event).
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host_event_copy.h"
#include "serialize_format.h"
#include "unit/event_samples.h"

using eventtest::full_event;
using toolkit::CEvent;

namespace {

std::vector<char> encode(const CEvent& event) {
    _event_t record = event.get_base();
    std::vector<char> out;
    EXPECT_EQ(toolkit::serialize_event(out, record), 0);
    destruct_event(&record);
    return out;
}

int decode_copy(const std::vector<char>& in, std::size_t n, nyrhost::OwnedEvent& out) {
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), in.data(), n);
    return nyrhost::decode_event(copy.get(), n, out);
}

}  // namespace

TEST(SerializeEvent, RoundTripKeepsEveryCarriedFieldPerKind) {
    for (int32_t kind : eventtest::kAllKinds) {
        SCOPED_TRACE(kind);
        const CEvent original = full_event(kind);
        _event_t record = original.get_base();
        const CEvent expected(record);  // what a record of this kind carries
        destruct_event(&record);

        const std::vector<char> wire = encode(original);
        nyrhost::OwnedEvent owned;
        ASSERT_EQ(decode_copy(wire, wire.size(), owned), 0);
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
    }
}

TEST(SerializeEvent, UncarriedFieldsDoNotReachTheBytes) {
    for (int32_t kind : eventtest::kAllKinds) {
        SCOPED_TRACE(kind);
        const CEvent a = full_event(kind);
        CEvent b = a;
        if (!eventtest::carries_generic(kind)) b.waveform_urls.push_back("more");
        if (!eventtest::carries_alarm(kind)) b.note = "other note";
        if (kind != 0x20) b.final = !b.final;
        EXPECT_EQ(encode(a), encode(b));
        b.cause = 1;  // carried by every kind
        EXPECT_NE(encode(a), encode(b));
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
    ASSERT_EQ(decode_copy(out, out.size(), owned), 0);
    EXPECT_TRUE(owned.waveform_urls.empty());
    EXPECT_TRUE(owned.details.empty());
    EXPECT_EQ(owned.source, "");
    EXPECT_EQ(owned.note, "note a");

    record.value.type = static_cast<data_type_t>(42);
    EXPECT_EQ(toolkit::serialize_event(out, record), QEL_RESULT_BAD_ARGUMENT);
}

TEST(SerializeEvent, DecoderRejectsDamagedInput) {
    const std::vector<char> wire = encode(full_event(0x80));
    nyrhost::OwnedEvent out;
    for (std::size_t n = 0; n < wire.size(); ++n)
        ASSERT_EQ(decode_copy(wire, n, out), nyrhost::kResultMalformed) << n;
    std::vector<char> damaged = wire;
    damaged.push_back('x');
    EXPECT_EQ(decode_copy(damaged, damaged.size(), out), nyrhost::kResultMalformed);
    damaged = wire;
    damaged[4] = 2;  // version
    EXPECT_EQ(decode_copy(damaged, damaged.size(), out), nyrhost::kResultMalformed);

    // A list count far beyond the input is refused before anything is allocated for it.
    CEvent one_url(0x4);
    one_url.waveform_urls = {"u"};
    std::vector<char> counted = encode(one_url);
    const std::size_t count_at = counted.size() - 4 /*details*/ - 5 /*"u"*/ - 4 /*url count*/;
    ASSERT_EQ(counted[count_at + 3], 1);
    counted[count_at] = '\x7f';
    EXPECT_EQ(decode_copy(counted, counted.size(), out), nyrhost::kResultMalformed);
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
