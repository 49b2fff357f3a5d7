// Text forms of CElement: the canonical text of every data type, the untranslated fallback, and
// the string utilities (splitting, joining with ";", XML escaping).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <locale>
#include <random>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;
using namespace std::string_literals;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename T>
CElement limit(bool max) {
    return CElement(max ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min());
}

// Base64 one bit at a time, independent of the fast encoder under test.
std::string reference_base64(const std::vector<char>& data) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    const std::size_t bits = data.size() * 8;
    for (std::size_t start = 0; start < bits; start += 6) {
        int index = 0;
        for (std::size_t b = start; b < start + 6; ++b) {
            const int bit =
                b < bits ? (static_cast<unsigned char>(data[b / 8]) >> (7 - b % 8)) & 1 : 0;
            index = index * 2 + bit;
        }
        out += alphabet[index];
    }
    while (out.size() % 4 != 0) out += '=';
    return out;
}

void expect_texts(const std::vector<std::pair<CElement, std::string>>& cases) {
    for (const auto& [element, text] : cases)
        EXPECT_EQ(text, text_of(element)) << "type " << element.type;
}

using Pieces = std::vector<std::string>;

Pieces split(const std::string& text, char separator) {
    Pieces out = {"stale"};
    CElement::split_string(out, text, separator);
    return out;
}

std::string merge(const Pieces& parts) {
    std::string out = "stale";
    CElement::merge_strings(out, parts);
    return out;
}

std::string escaped(std::string text) {
    CElement::xml_escape(text);
    return text;
}

}  // namespace

TEST(ElementText, BooleansAndIntegersPrintEveryDigitAndUnknownTypesClearTheOutput) {
    // clang-format off
    expect_texts({
        {bool_byte(0), "false"}, {bool_byte(1), "true"}, {bool_byte(2), "true"},
        {limit<int32_t>(false), "-2147483648"}, {limit<int32_t>(true), "2147483647"},
        {CElement(int32_t{0}), "0"}, {limit<uint32_t>(true), "4294967295"},
        {limit<int64_t>(false), "-9223372036854775808"},
        {limit<int64_t>(true), "9223372036854775807"},
        {limit<uint64_t>(true), "18446744073709551615"}, {with_type_code(0), ""},
        {with_type_code(11), ""}, {with_type_code(-3), ""}, {CElement(), ""}});
    // clang-format on
}

TEST(ElementText, DoublesKeepSixDigitsOrTheWholeIntegerPart) {
    // clang-format off
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"}, {-0.0, "-0"}, {1.5, "1.5"}, {1.0 / 3.0, "0.333333"}, {-2.0 / 3.0, "-0.666667"},
        {12345.678, "12345.7"}, {99999.94, "99999.9"},
        {99999.95, "99999.9"},  // the double lies just below ...95
        {99999.96, "100000"},   // rounds up into six digits, still without exponent
        {100000.4, "100000"}, {123456.789, "123457"}, {-123456.789, "-123457"},
        {999999.4, "999999"},
        {999999.7, "1E+06"},    // six digits are not enough for the rounded value
        {1000000.0, "1000000"}, {1234567.891, "1234568"}, {1e20, "100000000000000000000"},
        {0.0001, "0.0001"}, {0.00001, "1E-05"}, {1.5e-7, "1.5E-07"}, {-1e-300, "-1E-300"},
        {kInf, "INF"}, {-kInf, "-INF"},
        // Every NaN, whatever its sign or payload, is "NaN".
        {kNaN, "NaN"}, {-kNaN, "NaN"}, {std::numeric_limits<double>::signaling_NaN(), "NaN"},
        {std::nan("0x12345"), "NaN"}};
    // clang-format on
    for (const auto& [value, text] : cases) EXPECT_EQ(text, text_of(CElement(value))) << value;
    // The longest texts are never cut: DBL_MAX has 309 digits.
    const std::string largest = text_of(CElement(-DBL_MAX));
    EXPECT_EQ(310u, largest.size());
    EXPECT_EQ("-17976931348623157", largest.substr(0, 18));
    EXPECT_EQ(std::string::npos, largest.find_first_not_of("-0123456789"));
}

TEST(ElementText, TimesAreCalendarTextInUtcWhateverTheTimeZone) {
    const ScopedTimeZone far_from_utc("XYZ-07:30");
    // clang-format off
    expect_texts({
        {time_value(0, 0), "1970-01-01T00:00:00Z"}, {time_value(0, 999999), "1970-01-01T00:00:00Z"},
        {time_value(-1, 0), "1969-12-31T23:59:59Z"},
        {time_value(1700000000, 5), "2023-11-14T22:13:20Z"},
        {time_value(1582977600, 0), "2020-02-29T12:00:00Z"},
        {time_value(INT32_MAX, 0), "2038-01-19T03:14:07Z"},
        {time_value(INT32_MIN, 0), "1901-12-13T20:45:52Z"}});
    // clang-format on
    // The text reads back to the same seconds.
    timeval tv{};
    CElement(text_of(time_value(1234567890, 0))).to_timeval(tv);
    EXPECT_EQ(1234567890, tv.tv_sec);
}

TEST(ElementText, ComplexNumbersJoinTwoDoubleTextsCutAt63Characters) {
    // clang-format off
    expect_texts({
        {complex_value(1.5, -2), "(1.5,-2)"}, {complex_value(0, 0), "(0,0)"},
        {complex_value(-0.0, 1e-5), "(-0,1E-05)"}, {complex_value(kNaN, -kInf), "(NaN,-INF)"},
        {complex_value(123456.789, 1.0 / 3.0), "(123457,0.333333)"},
        // 1e100 prints 101 digits; only the first 63 fit its part buffer.
        {complex_value(1e100, 0),
         "(100000000000000001590289110975991804683608085639452813897813275,0)"},
        {complex_value(-1, -1e100),
         "(-1,-10000000000000000159028911097599180468360808563945281389781327)"}});
    // clang-format on
    // A part of exactly 63 characters is kept whole.
    const std::string sixty_three = text_of(complex_value(1e62, 0));
    ASSERT_EQ(63u + 4u, sixty_three.size());
    EXPECT_EQ(std::string::npos, sixty_three.substr(1, 63).find_first_not_of("0123456789"));
    EXPECT_EQ(",0)", sixty_three.substr(64));
}

TEST(ElementText, StringsKeepEveryByteAndBlobsAreBase64WithPadding) {
    auto blob = [](const std::string& bytes) {
        return CElement(std::vector<char>(bytes.begin(), bytes.end()));
    };
    // clang-format off
    expect_texts({
        {CElement("a\0b"s), "a\0b"s}, {CElement(""), ""},
        {CElement("\xff\x80\x01"), "\xff\x80\x01"},
        {CElement("with spaces; and <xml>"), "with spaces; and <xml>"},
        {blob(""), ""}, {blob("a"), "YQ=="}, {blob("ab"), "YWI="}, {blob("abc"), "YWJj"},
        {blob("abcd"), "YWJjZA=="},
        // High bits in every position, and the last two alphabet characters.
        {blob("\0"s), "AA=="}, {blob("\0\0"s), "AAA="}, {blob("\xFF\xFE\xFD"), "//79"},
        {blob("\xFB\xFF"), "+/8="}, {blob("\xFF"), "/w=="}, {blob("\x80\x80\x80"), "gICA"}});
    // clang-format on
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
    EXPECT_EQ("-42", CElement(int32_t{-42}).to_translated_string(plain, "ctx", "nyrtest"));
    const std::pair<CElement, std::string> cases[] = {
        {CElement(true), "true"}, {CElement(1.5), "1.5"}, {CElement("Haus"), "Haus"},
        {CElement("a\0b"s), "a"}, {CElement(""), ""},     {with_type_code(0), ""},
        {with_type_code(11), ""}};
    for (const auto& [element, text] : cases) {
        EXPECT_EQ(text, element.to_translated_string(plain, nullptr, "nyrtest"))
            << text_of(element);
    }
}

TEST(ElementStrings, SplitGivesOneMorePieceThanSeparators) {
    EXPECT_EQ(Pieces{}, split("", ';'));
    EXPECT_EQ((Pieces{"", ""}), split(";", ';'));
    EXPECT_EQ((Pieces{"a", "", "b"}), split("a;;b", ';'));
    EXPECT_EQ((Pieces{"a", ""}), split("a;", ';'));
    EXPECT_EQ((Pieces{"", "a"}), split(";a", ';'));
    EXPECT_EQ((Pieces{"abc"}), split("abc", ';'));
    EXPECT_EQ((Pieces{"a", "b;c"}), split("a,b;c", ','));
    // Any byte separates, NUL included, and NULs may sit inside pieces.
    EXPECT_EQ((Pieces{"x", "y"}), split("x\0y"s, '\0'));
    EXPECT_EQ((Pieces{"a\0b"s, "c"}), split("a\0b;c"s, ';'));
    EXPECT_EQ((Pieces{"a", "b"}), split("a\377b", '\377'));
}

TEST(ElementStrings, MergeJoinsWithSemicolons) {
    EXPECT_EQ("", merge({}));
    EXPECT_EQ("", merge({""}));
    EXPECT_EQ(";", merge({"", ""}));
    EXPECT_EQ("a;b", merge({"a", "b"}));
    EXPECT_EQ("a;;c", merge({"a", "", "c"}));
    EXPECT_EQ("x;y;z", merge({"x;y", "z"}));  // entries are not escaped, so split gives three
}

TEST(ElementStrings, XmlEscapeReplacesTheFiveSpecialCharactersOnce) {
    EXPECT_EQ("a&lt;b &amp; &apos;c&apos;&gt;", escaped("a<b & 'c'>"));
    EXPECT_EQ("&amp;amp;", escaped("&amp;"));
    EXPECT_EQ("&lt;&gt;&amp;&apos;&quot;", escaped("<>&'\""));
    EXPECT_EQ("", escaped(""));
    EXPECT_EQ("plain text", escaped("plain text"));
    // Control characters, high bytes and NULs pass unchanged.
    const std::string other = "\x01\n\t\xc3\xa4\0z"s;
    EXPECT_EQ(other, escaped(other));
    EXPECT_EQ("\0&lt;\xff"s, escaped("\0<\xff"s));
}
