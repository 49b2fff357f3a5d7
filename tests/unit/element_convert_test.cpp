// Type conversion of CElement in place, and the raw bytes of every value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;

namespace {

constexpr bool kBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

// The bytes as they lie in memory on this host: big-endian order, reversed on little-endian.
std::vector<unsigned char> host_order(std::vector<unsigned char> big_endian) {
    if (!kBigEndian) std::reverse(big_endian.begin(), big_endian.end());
    return big_endian;
}

std::vector<unsigned char> concat(std::vector<unsigned char> a,
                                  const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<CElement> one_of_every_type(timeval stamp) {
    std::vector<CElement> all;
    all.emplace_back(true, stamp);
    all.emplace_back(int32_t{-1234}, stamp);
    all.emplace_back(uint32_t{1234}, stamp);
    all.emplace_back(2.75, stamp);
    all.push_back(CElement::from_time(timeval{1700000000, 5}, stamp));
    all.emplace_back(std::string("12\0x", 4), stamp);
    all.emplace_back(std::vector<char>{'a', 'b', 'c'}, stamp);
    all.emplace_back(std::complex<double>(3, 4), stamp);
    all.emplace_back(int64_t{-5000000000}, stamp);
    all.emplace_back(uint64_t{5000000000}, stamp);
    return all;
}

// A string or blob element must describe its own buffer after every change.
void expect_payload_invariant(const CElement& e) {
    if (e.type == DATATYPE_STRING) {
        EXPECT_EQ(e.string_buffer().data(), e.value.string_value.data);
        EXPECT_EQ(e.string_buffer().size(), e.value.string_value.length);
    } else if (e.type == DATATYPE_BLOB) {
        EXPECT_EQ(e.blob_buffer().data(), e.value.blob_value.data);
        EXPECT_EQ(e.blob_buffer().size(), e.value.blob_value.length);
    }
}

}  // namespace

TEST(ElementConvert, TargetsOutsideOneToTenChangeNothing) {
    for (int target : {0, 11, 255, -1}) {
        CElement e(std::string("keep me"), timeval{42, 1});
        const char* data_before = e.value.string_value.data;
        _element_datatype_t record_before;
        std::memcpy(static_cast<void*>(&record_before), static_cast<const void*>(&e),
                    sizeof record_before);
        EXPECT_EQ(-1, e.convert_type(static_cast<data_type_t>(target))) << target;
        EXPECT_EQ(0,
                  std::memcmp(&record_before, static_cast<const void*>(&e), sizeof record_before))
            << target;
        EXPECT_EQ(data_before, e.value.string_value.data);
        EXPECT_EQ("keep me", e.string_buffer());
    }
    CElement number(int32_t{7});
    EXPECT_EQ(-1, number.convert_type(DATATYPE_INVALID));
    EXPECT_EQ(DATATYPE_INT, number.type);
    EXPECT_EQ(7, number.value.int_value);
}

TEST(ElementConvert, NewValueIsTheReadingAsTheTargetType) {
    CElement i(int32_t{1234});
    ASSERT_EQ(0, i.convert_type(DATATYPE_TIME));
    EXPECT_EQ(DATATYPE_TIME, i.type);
    EXPECT_EQ(1234, i.value.time_value.tv_sec);
    EXPECT_EQ(0, i.value.time_value.tv_usec);

    CElement s(int32_t{1234});
    ASSERT_EQ(0, s.convert_type(DATATYPE_STRING));
    EXPECT_EQ(DATATYPE_STRING, s.type);
    EXPECT_EQ("1234", s.string_buffer());
    EXPECT_EQ(4u, s.value.string_value.length);
    expect_payload_invariant(s);

    CElement b(int32_t{1234});
    ASSERT_EQ(0, b.convert_type(DATATYPE_BLOB));
    EXPECT_EQ(DATATYPE_BLOB, b.type);
    EXPECT_EQ(host_order(bytes({0x00, 0x00, 0x04, 0xD2})), blob_of(b));
    expect_payload_invariant(b);

    CElement t = time_value(1700000000, 5);
    ASSERT_EQ(0, t.convert_type(DATATYPE_TIME));
    EXPECT_EQ(1700000000, t.value.time_value.tv_sec);
    EXPECT_EQ(5, t.value.time_value.tv_usec);
    ASSERT_EQ(0, t.convert_type(DATATYPE_FLOAT));
    EXPECT_EQ(1700000000.000005, t.value.float_value);

    CElement f(2.75);
    ASSERT_EQ(0, f.convert_type(DATATYPE_INT));
    EXPECT_EQ(2, f.value.int_value);
    CElement fb(2.75);
    ASSERT_EQ(0, fb.convert_type(DATATYPE_BOOL));
    EXPECT_EQ(1, fb.value.bool_value);

    CElement hex("0x10");
    ASSERT_EQ(0, hex.convert_type(DATATYPE_UINT));
    EXPECT_EQ(16u, hex.value.uint_value);

    // Text becomes its own bytes, and bytes become their Base64 text: no decoding either way.
    CElement abc("abc");
    ASSERT_EQ(0, abc.convert_type(DATATYPE_BLOB));
    EXPECT_EQ(bytes({0x61, 0x62, 0x63}), blob_of(abc));
    ASSERT_EQ(0, abc.convert_type(DATATYPE_STRING));
    EXPECT_EQ("YWJj", abc.string_buffer());
    expect_payload_invariant(abc);

    CElement pair("(1,2)");
    ASSERT_EQ(0, pair.convert_type(DATATYPE_COMPLEX));
    EXPECT_EQ(1.0, pair.value.complex_value.real);
    EXPECT_EQ(2.0, pair.value.complex_value.imag);

    CElement date("2020-01-01T00:00:00Z");
    ASSERT_EQ(0, date.convert_type(DATATYPE_TIME));
    EXPECT_EQ(1577836800, date.value.time_value.tv_sec);
    EXPECT_EQ(0, date.value.time_value.tv_usec);

    CElement not_a_time("tomorrow");
    ASSERT_EQ(0, not_a_time.convert_type(DATATYPE_TIME));
    EXPECT_EQ(-1, not_a_time.value.time_value.tv_sec);
    EXPECT_EQ(0, not_a_time.value.time_value.tv_usec);

    CElement blob(std::vector<char>{'1', '2'});
    ASSERT_EQ(0, blob.convert_type(DATATYPE_INT));
    EXPECT_EQ(0, blob.value.int_value);

    CElement minus_one(int32_t{-1});
    ASSERT_EQ(0, minus_one.convert_type(DATATYPE_UINT64));
    EXPECT_EQ(std::numeric_limits<uint64_t>::max(), minus_one.value.uint64_value);
    ASSERT_EQ(0, minus_one.convert_type(DATATYPE_INT64));
    EXPECT_EQ(-1, minus_one.value.int64_value);

    CElement zero(int32_t{0});
    ASSERT_EQ(0, zero.convert_type(DATATYPE_BOOL));
    EXPECT_EQ(0, zero.value.bool_value);
}

TEST(ElementConvert, SameTypeKeepsTheValue) {
    CElement two = bool_byte(2);
    ASSERT_EQ(0, two.convert_type(DATATYPE_BOOL));
    EXPECT_EQ(2, two.value.bool_value);

    CElement with_nul(std::string("a\0b", 3));
    ASSERT_EQ(0, with_nul.convert_type(DATATYPE_STRING));
    EXPECT_EQ(std::string("a\0b", 3), with_nul.string_buffer());
    EXPECT_EQ(3u, with_nul.value.string_value.length);
    expect_payload_invariant(with_nul);

    CElement c = complex_value(-3.5, 1e-300);
    ASSERT_EQ(0, c.convert_type(DATATYPE_COMPLEX));
    EXPECT_EQ(-3.5, c.value.complex_value.real);
    EXPECT_EQ(1e-300, c.value.complex_value.imag);

    CElement big(std::numeric_limits<uint64_t>::max());
    ASSERT_EQ(0, big.convert_type(DATATYPE_UINT64));
    EXPECT_EQ(std::numeric_limits<uint64_t>::max(), big.value.uint64_value);

    CElement blob(std::vector<char>{0, 1, 2});
    ASSERT_EQ(0, blob.convert_type(DATATYPE_BLOB));
    EXPECT_EQ(bytes({0, 1, 2}), blob_of(blob));
    expect_payload_invariant(blob);
}

TEST(ElementConvert, EveryConversionKeepsTheTimeStamp) {
    const timeval stamp{42, 7};
    for (int target = DATATYPE_BOOL; target <= DATATYPE_UINT64; ++target) {
        for (CElement& e : one_of_every_type(stamp)) {
            const int source = e.type;
            ASSERT_EQ(0, e.convert_type(static_cast<data_type_t>(target)));
            EXPECT_EQ(target, e.type) << source << " -> " << target;
            EXPECT_EQ(42, e.timestamp.tv_sec) << source << " -> " << target;
            EXPECT_EQ(7, e.timestamp.tv_usec) << source << " -> " << target;
            expect_payload_invariant(e);
        }
    }
    // Also for an element without a time stamp.
    CElement unstamped(int32_t{5});
    ASSERT_EQ(0, unstamped.convert_type(DATATYPE_STRING));
    EXPECT_EQ(-1, unstamped.timestamp.tv_sec);
    EXPECT_EQ(0, unstamped.timestamp.tv_usec);
}

TEST(ElementBytes, EveryTypeGivesItsBytesInHostOrder) {
    EXPECT_EQ(bytes({0x01}), blob_of(CElement(true)));
    EXPECT_EQ(bytes({0x00}), blob_of(CElement(false)));
    EXPECT_EQ(bytes({0x02}), blob_of(bool_byte(2)));
    EXPECT_EQ(host_order(bytes({0x00, 0x00, 0x04, 0xD2})), blob_of(CElement(int32_t{1234})));
    EXPECT_EQ(host_order(bytes({0xFF, 0xFF, 0xFB, 0x2E})), blob_of(CElement(int32_t{-1234})));
    EXPECT_EQ(host_order(bytes({0x89, 0xAB, 0xCD, 0xEF})), blob_of(CElement(uint32_t{0x89ABCDEF})));
    EXPECT_EQ(host_order(bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})), blob_of(CElement(1.0)));
    // A time is tv_sec then tv_usec, each 4 bytes in host order.
    EXPECT_EQ(concat(host_order(bytes({0x65, 0x53, 0xF1, 0x00})),
                     host_order(bytes({0x00, 0x00, 0x00, 0x05}))),
              blob_of(time_value(1700000000, 5)));
    // A complex number is the real part's 8 bytes, then the imaginary part's.
    EXPECT_EQ(concat(host_order(bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})),
                     host_order(bytes({0xC0, 0x00, 0, 0, 0, 0, 0, 0}))),
              blob_of(complex_value(1.0, -2.0)));
    EXPECT_EQ(host_order(bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF})),
              blob_of(CElement(int64_t{0x0123456789ABCDEF})));
    EXPECT_EQ(host_order(bytes({0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10})),
              blob_of(CElement(uint64_t{0xFEDCBA9876543210u})));
    // Strings without a terminator, embedded NULs kept; blobs as they are.
    EXPECT_EQ(bytes({}), blob_of(CElement("")));
    EXPECT_EQ(bytes({'a', 0, 'b'}), blob_of(string_bytes("a\0b", 3)));
    EXPECT_EQ(bytes({0xFF, 0, 0x80}), blob_of(CElement(std::vector<char>{'\xff', 0, '\x80'})));
    EXPECT_EQ(bytes({}), blob_of(CElement(std::vector<char>{})));
    // Unknown types give nothing and still empty the output.
    for (int code : {0, 11, 255}) {
        EXPECT_EQ(bytes({}), blob_of(with_type_code(code))) << code;
    }
}
