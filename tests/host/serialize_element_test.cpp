// The host store's value encoding: exact bytes, round trips of every type, the size contract and
// the decoder's refusal of damaged input.
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/element.h>
#include <toolkit/serialize.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "serialize_format.h"

using toolkit::CElement;

namespace {

std::vector<char> encode(const _element_datatype_t& v, bool flag) {
    std::vector<char> out;
    EXPECT_EQ(toolkit::serialize_element(out, v, flag), 0);
    return out;
}

std::vector<char> bytes(std::initializer_list<int> list) {
    return {list.begin(), list.end()};
}

// Decodes from a heap copy of exactly `n` bytes, so that any read past them is caught by ASan.
int decode_copy(const std::vector<char>& in, std::size_t n, _element_datatype_t& out,
                std::string& payload) {
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), in.data(), n);
    return nyrhost::decode_element(copy.get(), n, out, payload);
}

}  // namespace

TEST(SerializeElement, EncodingIsBigEndianVersionedAndFlagSelectsTheTimeStamp) {
    const CElement v(int32_t{0x01020304}, timeval{0x0A0B0C0D, 7});
    EXPECT_EQ(encode(v, false), bytes({'N', 'Y', 'R', 'V', 1, 0, 0, 0, 0, 2, 1, 2, 3, 4}));
    EXPECT_EQ(encode(v, true), bytes({'N',  'Y',  'R',  'V', 1, 1, 0, 0, 0, 2, 0x0A,
                                      0x0B, 0x0C, 0x0D, 0,   0, 0, 7, 1, 2, 3, 4}));
    EXPECT_EQ(encode(CElement("hi"), false),
              bytes({'N', 'Y', 'R', 'V', 1, 0, 0, 0, 0, 6, 0, 0, 0, 2, 'h', 'i'}));
    // 1.0 is 0x3FF0000000000000 in IEEE 754.
    EXPECT_EQ(encode(CElement(1.0), false),
              bytes({'N', 'Y', 'R', 'V', 1, 0, 0, 0, 0, 4, 0x3F, -16, 0, 0, 0, 0, 0, 0}));
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
        CElement(std::numeric_limits<std::uint64_t>::max(), timeval{2000000000, 0})};
    for (const CElement& v : samples) {
        for (bool flag : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << v.type << " flag " << flag);
            const std::vector<char> wire = encode(v, flag);
            _element_datatype_t back;
            std::string payload;
            ASSERT_EQ(decode_copy(wire, wire.size(), back, payload), 0);
            EXPECT_TRUE(v == back);
            EXPECT_EQ(back.timestamp.tv_sec, flag ? v.timestamp.tv_sec : -1);
            EXPECT_EQ(back.timestamp.tv_usec, flag ? v.timestamp.tv_usec : 0);
        }
    }
    _element_datatype_t none;
    std::string payload;
    const std::vector<char> wire = encode(CElement(), true);
    ASSERT_EQ(decode_copy(wire, wire.size(), none, payload), 0);
    EXPECT_EQ(none.type, DATATYPE_INVALID);
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
    const std::vector<char> wire = encode(CElement("some text", timeval{3, 4}), true);
    _element_datatype_t out;
    std::string payload;
    for (std::size_t n = 0; n < wire.size(); ++n)
        EXPECT_EQ(decode_copy(wire, n, out, payload), nyrhost::kResultMalformed) << n;
    std::vector<char> longer = wire;
    longer.push_back(0);
    EXPECT_EQ(decode_copy(longer, longer.size(), out, payload), nyrhost::kResultMalformed);

    // magic, version, flags, type code (twice), text length
    const std::pair<std::size_t, char> damages[] = {{0, 'X'}, {4, 2},      {5, 3},
                                                    {9, 11},  {6, '\x80'}, {18, '\x7f'}};
    for (const auto& d : damages) {
        std::vector<char> bad = wire;
        bad[d.first] = d.second;
        EXPECT_EQ(decode_copy(bad, bad.size(), out, payload), nyrhost::kResultMalformed) << d.first;
    }
    EXPECT_EQ(nyrhost::decode_element(nullptr, 4, out, payload), QEL_RESULT_BAD_ARGUMENT);
}
