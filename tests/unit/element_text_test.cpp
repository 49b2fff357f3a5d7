// Text forms of CElement: the canonical text of every data type, and the untranslated fallback.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <locale>
#include <random>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Base64 one bit at a time, independent of the fast encoder under test.
std::string reference_base64(const std::vector<char>& data) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t bits = data.size() * 8;
    for (std::size_t start = 0; start < bits; start += 6) {
        int index = 0;
        for (std::size_t b = start; b < start + 6; ++b) {
            int bit = 0;
            if (b < bits) bit = (static_cast<unsigned char>(data[b / 8]) >> (7 - b % 8)) & 1;
            index = index * 2 + bit;
        }
        out += alphabet[index];
    }
    while (out.size() % 4 != 0) out += '=';
    return out;
}

std::string blob_text(std::initializer_list<int> values) {
    std::vector<char> data;
    for (int v : values) data.push_back(static_cast<char>(v));
    return text_of(CElement(data));
}

}  // namespace

TEST(ElementText, UnknownTypeCodesGiveEmptyTextAndClearTheOutput) {
    for (int code : {0, 11, 255, -3}) {
        EXPECT_EQ("", text_of(with_type_code(code))) << "type code " << code;
    }
    EXPECT_EQ("", text_of(CElement()));
}

TEST(ElementText, BooleansAndIntegersPrintEveryDigit) {
    EXPECT_EQ("false", text_of(bool_byte(0)));
    EXPECT_EQ("true", text_of(bool_byte(1)));
    EXPECT_EQ("true", text_of(bool_byte(2)));
    EXPECT_EQ("true", text_of(bool_byte(255)));
    EXPECT_EQ("-2147483648", text_of(CElement(std::numeric_limits<int32_t>::min())));
    EXPECT_EQ("2147483647", text_of(CElement(std::numeric_limits<int32_t>::max())));
    EXPECT_EQ("0", text_of(CElement(int32_t{0})));
    EXPECT_EQ("-7", text_of(CElement(int32_t{-7})));
    EXPECT_EQ("4294967295", text_of(CElement(std::numeric_limits<uint32_t>::max())));
    EXPECT_EQ("1234567890", text_of(CElement(uint32_t{1234567890})));
    EXPECT_EQ("-9223372036854775808", text_of(CElement(std::numeric_limits<int64_t>::min())));
    EXPECT_EQ("9223372036854775807", text_of(CElement(std::numeric_limits<int64_t>::max())));
    EXPECT_EQ("18446744073709551615", text_of(CElement(std::numeric_limits<uint64_t>::max())));
    EXPECT_EQ("10000000000", text_of(CElement(uint64_t{10000000000u})));
}

TEST(ElementText, DoublesKeepSixDigitsOrTheWholeIntegerPart) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {1.5, "1.5"},
        {1.0 / 3.0, "0.333333"},
        {-2.0 / 3.0, "-0.666667"},
        {12345.678, "12345.7"},
        {99999.94, "99999.9"},
        {99999.95, "99999.9"},  // the double lies just below ...95
        {99999.96, "100000"},   // rounds up into six digits, still without exponent
        {100000.4, "100000"},
        {123456.789, "123457"},
        {-123456.789, "-123457"},
        {999999.4, "999999"},
        {999999.7, "1E+06"},  // six digits are not enough for the rounded value
        {1000000.0, "1000000"},
        {1234567.891, "1234568"},
        {1e20, "100000000000000000000"},
        {0.0001, "0.0001"},
        {0.00001, "1E-05"},
        {1.5e-7, "1.5E-07"},
        {-1e-300, "-1E-300"},
        {kInf, "INF"},
        {-kInf, "-INF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, text_of(CElement(c.value))) << "value " << c.value;
    }
    // Every NaN, whatever its sign or payload, is "NaN".
    EXPECT_EQ("NaN", text_of(CElement(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ("NaN", text_of(CElement(-std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ("NaN", text_of(CElement(std::numeric_limits<double>::signaling_NaN())));
    EXPECT_EQ("NaN", text_of(CElement(std::nan("0x12345"))));
    // The longest texts are never cut: DBL_MAX has 309 digits.
    const std::string largest = text_of(CElement(-DBL_MAX));
    EXPECT_EQ(310u, largest.size());
    EXPECT_EQ("-17976931348623157", largest.substr(0, 18));
    EXPECT_EQ(std::string::npos, largest.find_first_not_of("-0123456789"));
}

TEST(ElementText, TimesAreCalendarTextInUtcWhateverTheTimeZone) {
    const ScopedTimeZone far_from_utc("XYZ-07:30");
    EXPECT_EQ("1970-01-01T00:00:00Z", text_of(time_value(0, 0)));
    EXPECT_EQ("1970-01-01T00:00:00Z", text_of(time_value(0, 999999)));
    EXPECT_EQ("1969-12-31T23:59:59Z", text_of(time_value(-1, 0)));
    EXPECT_EQ("2023-11-14T22:13:20Z", text_of(time_value(1700000000, 5)));
    EXPECT_EQ("2020-02-29T12:00:00Z", text_of(time_value(1582977600, 0)));
    EXPECT_EQ("2038-01-19T03:14:07Z", text_of(time_value(INT32_MAX, 0)));
    EXPECT_EQ("1901-12-13T20:45:52Z", text_of(time_value(INT32_MIN, 0)));
    // The text reads back to the same seconds.
    timeval tv{};
    CElement(text_of(time_value(1234567890, 0))).to_timeval(tv);
    EXPECT_EQ(1234567890, tv.tv_sec);
}

TEST(ElementText, ComplexNumbersJoinTwoDoubleTextsCutAt63Characters) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ("(1.5,-2)", text_of(complex_value(1.5, -2)));
    EXPECT_EQ("(0,0)", text_of(complex_value(0, 0)));
    EXPECT_EQ("(-0,1E-05)", text_of(complex_value(-0.0, 1e-5)));
    EXPECT_EQ("(NaN,-INF)", text_of(complex_value(nan, -kInf)));
    EXPECT_EQ("(123457,0.333333)", text_of(complex_value(123456.789, 1.0 / 3.0)));
    // 1e100 prints 101 digits; only the first 63 fit its part buffer.
    EXPECT_EQ("(100000000000000001590289110975991804683608085639452813897813275,0)",
              text_of(complex_value(1e100, 0)));
    EXPECT_EQ("(-1,-10000000000000000159028911097599180468360808563945281389781327)",
              text_of(complex_value(-1, -1e100)));
    // A part of exactly 63 characters is kept whole.
    const std::string sixty_three = text_of(complex_value(1e62, 0));
    ASSERT_EQ(63u + 4u, sixty_three.size());
    EXPECT_EQ(std::string::npos, sixty_three.substr(1, 63).find_first_not_of("0123456789"));
    EXPECT_EQ(",0)", sixty_three.substr(64));
}

TEST(ElementText, StringsKeepEveryByte) {
    EXPECT_EQ(std::string("a\0b", 3), text_of(string_bytes("a\0b", 3)));
    EXPECT_EQ("", text_of(CElement("")));
    EXPECT_EQ("with spaces; and <xml>", text_of(CElement("with spaces; and <xml>")));
    const std::string high("\xff\x80\x01", 3);
    EXPECT_EQ(high, text_of(CElement(high)));
}

TEST(ElementText, BlobsAreBase64WithPadding) {
    EXPECT_EQ("", blob_text({}));
    EXPECT_EQ("YQ==", blob_text({'a'}));
    EXPECT_EQ("YWI=", blob_text({'a', 'b'}));
    EXPECT_EQ("YWJj", blob_text({'a', 'b', 'c'}));
    EXPECT_EQ("YWJjZA==", blob_text({'a', 'b', 'c', 'd'}));
    EXPECT_EQ("Zm9vYmFy", blob_text({'f', 'o', 'o', 'b', 'a', 'r'}));
    EXPECT_EQ("Zm9vYmE=", blob_text({'f', 'o', 'o', 'b', 'a'}));
    // High bits in every position, and the last two alphabet characters.
    EXPECT_EQ("AA==", blob_text({0}));
    EXPECT_EQ("AAA=", blob_text({0, 0}));
    EXPECT_EQ("//79", blob_text({0xFF, 0xFE, 0xFD}));
    EXPECT_EQ("+/8=", blob_text({0xFB, 0xFF}));
    EXPECT_EQ("/w==", blob_text({0xFF}));
    EXPECT_EQ("gICA", blob_text({0x80, 0x80, 0x80}));
    // Longer data of every length modulo 3 against a bitwise encoder.
    std::mt19937 random(12345);
    for (std::size_t size :
         {5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 1000u, 1001u, 1002u, 4096u}) {
        std::vector<char> data(size);
        for (char& c : data) c = static_cast<char>(random());
        const std::string text = text_of(CElement(data));
        EXPECT_EQ(reference_base64(data), text) << "size " << size;
        EXPECT_EQ(std::string::npos, text.find_first_of("\r\n")) << "size " << size;
    }
}

TEST(ElementText, UntranslatedLookupGivesTheCanonicalTextUpToTheFirstNul) {
    // A locale without any message catalogue hands every text back unchanged.
    const std::locale plain = std::locale::classic();
    EXPECT_EQ("true", CElement(true).to_translated_string(plain, nullptr, "nyrtest"));
    EXPECT_EQ("-42", CElement(int32_t{-42}).to_translated_string(plain, "ctx", "nyrtest"));
    EXPECT_EQ("1.5", CElement(1.5).to_translated_string(plain, nullptr, "nyrtest"));
    EXPECT_EQ("Haus", CElement("Haus").to_translated_string(plain, nullptr, "nyrtest"));
    EXPECT_EQ("a", string_bytes("a\0b", 3).to_translated_string(plain, nullptr, "nyrtest"));
    EXPECT_EQ("", CElement("").to_translated_string(plain, nullptr, "nyrtest"));
    EXPECT_EQ("", with_type_code(0).to_translated_string(plain, nullptr, "nyrtest"));
    EXPECT_EQ("", with_type_code(11).to_translated_string(plain, nullptr, "nyrtest"));
}
