// Type conversion of CElement in place, and the raw bytes of every value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;
using namespace std::string_literals;

namespace {

// The bytes as they lie in memory on this host: big-endian order, reversed on little-endian.
std::vector<unsigned char> host_order(std::vector<unsigned char> big_endian) {
    if (__BYTE_ORDER__ != __ORDER_BIG_ENDIAN__) std::reverse(big_endian.begin(), big_endian.end());
    return big_endian;
}

CElement blob(const std::vector<unsigned char>& data) {
    return CElement(std::vector<char>(data.begin(), data.end()));
}

}  // namespace

TEST(ElementConvert, TargetsOutsideOneToTenChangeNothing) {
    for (int target : {0, 11, 255, -1}) {
        SCOPED_TRACE(target);
        CElement e(std::string("keep me"), timeval{42, 1});
        const char* data_before = e.value.string_value.data;
        _element_datatype_t before;
        std::memcpy(static_cast<void*>(&before), static_cast<const void*>(&e), sizeof before);
        EXPECT_EQ(-1, e.convert_type(static_cast<data_type_t>(target)));
        EXPECT_EQ(0, std::memcmp(&before, static_cast<const void*>(&e), sizeof before));
        EXPECT_EQ(data_before, e.value.string_value.data);
        EXPECT_EQ("keep me", e.string_buffer());
    }
    CElement number(int32_t{7});
    EXPECT_EQ(-1, number.convert_type(DATATYPE_INVALID));
    EXPECT_EQ(DATATYPE_INT, number.type);
    EXPECT_EQ(7, number.value.int_value);
}

TEST(ElementConvert, NewValueIsTheReadingAsTheTargetTypeAndSameTypeKeepsIt) {
    struct Case {
        const char* label;
        CElement from;
        std::vector<data_type_t> targets;  // converted in this order
        CElement expected;                 // type and value; equality ignores the time stamp
    };
    const Case cases[] = {
        {"int to time", CElement(int32_t{1234}), {DATATYPE_TIME}, time_value(1234, 0)},
        {"int to text", CElement(int32_t{1234}), {DATATYPE_STRING}, CElement("1234")},
        {"int to bytes",
         CElement(int32_t{1234}),
         {DATATYPE_BLOB},
         blob(host_order({0x00, 0x00, 0x04, 0xD2}))},
        {"time to time to float",
         time_value(1700000000, 5),
         {DATATYPE_TIME, DATATYPE_FLOAT},
         CElement(1700000000.000005)},
        {"float to int", CElement(2.75), {DATATYPE_INT}, CElement(int32_t{2})},
        {"float to bool", CElement(2.75), {DATATYPE_BOOL}, bool_byte(1)},
        // Text becomes its own bytes, and bytes become their Base64 text: no decoding either way.
        {"text to bytes", CElement("abc"), {DATATYPE_BLOB}, blob({0x61, 0x62, 0x63})},
        {"text to bytes to text",
         CElement("abc"),
         {DATATYPE_BLOB, DATATYPE_STRING},
         CElement("YWJj")},
        {"no time in text", CElement("tomorrow"), {DATATYPE_TIME}, time_value(-1, 0)},
        {"bytes to int", blob({'1', '2'}), {DATATYPE_INT}, CElement(int32_t{0})},
        {"-1 to uint64 to int64",
         CElement(int32_t{-1}),
         {DATATYPE_UINT64, DATATYPE_INT64},
         CElement(int64_t{-1})},
        {"0 to bool", CElement(int32_t{0}), {DATATYPE_BOOL}, bool_byte(0)},
        {"bool 2 stays 2", bool_byte(2), {DATATYPE_BOOL}, bool_byte(2)},
        {"text with NUL", CElement("a\0b"s), {DATATYPE_STRING}, CElement("a\0b"s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CElement e = c.from;
        for (data_type_t target : c.targets) ASSERT_EQ(0, e.convert_type(target));
        EXPECT_TRUE(e == c.expected) << "type " << e.type << ": " << text_of(e);
        expect_owns_payload(e);
    }
}

TEST(ElementConvert, EveryConversionKeepsTheTimeStamp) {
    const timeval stamp{42, 7};
    for (int target = DATATYPE_BOOL; target <= DATATYPE_UINT64; ++target) {
        // clang-format off
        CElement all[] = {
            CElement(true, stamp), CElement(int32_t{-1234}, stamp), CElement(uint32_t{1234}, stamp),
            CElement(2.75, stamp), CElement::from_time(timeval{1700000000, 5}, stamp),
            CElement("12\0x"s, stamp), CElement(std::vector<char>{'a', 'b', 'c'}, stamp),
            CElement(std::complex<double>(3, 4), stamp), CElement(int64_t{-5000000000}, stamp),
            CElement(uint64_t{5000000000}, stamp)};
        // clang-format on
        for (CElement& e : all) {
            SCOPED_TRACE(std::to_string(e.type) + " -> " + std::to_string(target));
            ASSERT_EQ(0, e.convert_type(static_cast<data_type_t>(target)));
            EXPECT_EQ(target, e.type);
            EXPECT_EQ(stamp, e.timestamp);
            expect_owns_payload(e);
        }
    }
    // Also for an element without a time stamp.
    CElement unstamped(int32_t{5});
    ASSERT_EQ(0, unstamped.convert_type(DATATYPE_STRING));
    EXPECT_EQ((timeval{-1, 0}), unstamped.timestamp);
}

TEST(ElementBytes, EveryTypeGivesItsBytesInHostOrder) {
    const std::vector<unsigned char> one = host_order({0x3F, 0xF0, 0, 0, 0, 0, 0, 0});
    std::vector<unsigned char> time_bytes = host_order({0x65, 0x53, 0xF1, 0x00});
    const std::vector<unsigned char> usec = host_order({0x00, 0x00, 0x00, 0x05});
    time_bytes.insert(time_bytes.end(), usec.begin(), usec.end());  // tv_sec, then tv_usec
    std::vector<unsigned char> complex_bytes = one;  // real part, then imaginary part
    for (unsigned char b : host_order({0xC0, 0x00, 0, 0, 0, 0, 0, 0})) complex_bytes.push_back(b);
    // clang-format off
    const std::pair<CElement, std::vector<unsigned char>> cases[] = {
        {CElement(true), {0x01}}, {CElement(false), {0x00}}, {bool_byte(2), {0x02}},
        {CElement(int32_t{1234}), host_order({0x00, 0x00, 0x04, 0xD2})},
        {CElement(int32_t{-1234}), host_order({0xFF, 0xFF, 0xFB, 0x2E})},
        {CElement(uint32_t{0x89ABCDEF}), host_order({0x89, 0xAB, 0xCD, 0xEF})},
        {CElement(1.0), one}, {time_value(1700000000, 5), time_bytes},
        {complex_value(1.0, -2.0), complex_bytes},
        {CElement(int64_t{0x0123456789ABCDEF}),
         host_order({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF})},
        {CElement(uint64_t{0xFEDCBA9876543210u}),
         host_order({0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10})},
        // Strings without a terminator, embedded NULs kept; blobs as they are.
        {CElement(""), {}}, {CElement("a\0b"s), {'a', 0, 'b'}}, {blob({}), {}},
        {blob({0xFF, 0, 0x80}), {0xFF, 0, 0x80}},
        // Unknown types give nothing and still empty the output.
        {with_type_code(0), {}}, {with_type_code(11), {}}, {with_type_code(255), {}}};
    // clang-format on
    for (const auto& [element, expected] : cases) {
        EXPECT_EQ(expected, blob_of(element))
            << "type " << element.type << ": " << text_of(element);
    }
}
