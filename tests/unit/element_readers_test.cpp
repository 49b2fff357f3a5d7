// Readers of CElement: every data type read as every scalar kind, and the text parses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;
using namespace std::string_literals;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();
constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();

// One value and what every reader gives for it.
struct Reading {
    std::string label;
    CElement element;
    bool as_bool;
    int32_t as_int;
    uint32_t as_uint;
    int64_t as_int64;
    uint64_t as_uint64;
    double as_float, real, imag;
    long tv_sec, tv_usec;
};

void expect_same_double(double expected, double actual) {
    EXPECT_TRUE(std::isnan(expected) ? std::isnan(actual) : expected == actual)
        << "expected " << expected << ", got " << actual;
}

void expect_readings(const std::vector<Reading>& rows) {
    for (const Reading& r : rows) {
        SCOPED_TRACE(r.label);
        const CElement& e = r.element;
        EXPECT_EQ(r.as_bool, e.to_bool());
        EXPECT_EQ(r.as_int, e.to_int());
        EXPECT_EQ(r.as_uint, e.to_uint());
        EXPECT_EQ(r.as_int64, e.to_int64());
        EXPECT_EQ(r.as_uint64, e.to_uint64());
        expect_same_double(r.as_float, e.to_float());
        expect_same_double(r.real, e.to_complex().real());
        expect_same_double(r.imag, e.to_complex().imag());
        timeval tv{12345, 678};
        e.to_timeval(tv);
        EXPECT_EQ((timeval{r.tv_sec, r.tv_usec}), tv);
    }
}

}  // namespace

TEST(ElementReaders, EveryDataTypeReadsByItsRuleAndOutOfRangeDoublesSaturate) {
    const double t = 1700000000.25, small_t = -5.0 + 7 / 1000000.0;
    std::vector<Reading> rows = {
        // Booleans read as their stored byte; a byte of 2 is still true but counts as 2.
        {"bool 0", bool_byte(0), false, 0, 0, 0, 0, 0.0, 0, 0, -1, 0},
        {"bool 2", bool_byte(2), true, 2, 2, 2, 2, 1.0, 1, 0, -1, 0},
        // Signed 32-bit: sign-extended, then reinterpreted for the unsigned readers.
        {"int -5", CElement(int32_t{-5}), true, -5, 4294967291u, -5, kU64Max - 4, -5, -5, 0, -5, 0},
        {"int 0", CElement(int32_t{0}), false, 0, 0, 0, 0, 0.0, 0, 0, 0, 0},
        // Unsigned 32-bit: zero-extended; the 32 bits are taken as signed seconds.
        {"uint 3e9", CElement(uint32_t{3000000000u}), true, -1294967296, 3000000000u, 3000000000,
         3000000000, 3e9, 3e9, 0, -1294967296, 0},
        // Doubles truncate toward zero.
        {"float 2.9", CElement(2.9), true, 2, 2, 2, 2, 2.9, 2.9, 0, 2, 0},
        {"float -2.9", CElement(-2.9), true, -2, 0, -2, 0, -2.9, -2.9, 0, -2, 0},
        {"float 0", CElement(0.0), false, 0, 0, 0, 0, 0.0, 0, 0, 0, 0},
        {"float NaN", CElement(kNaN), true, 0, 0, 0, 0, kNaN, kNaN, 0, 0, 0},
        // Times: integer readers see the seconds, doubles the sum, booleans always false.
        {"time", time_value(1700000000, 250000), false, 1700000000, 1700000000, 1700000000,
         1700000000, t, t, 0, 1700000000, 250000},
        {"time -5 s 7 us", time_value(-5, 7), false, -5, 4294967291u, -5, kU64Max - 4, small_t,
         small_t, 0, -5, 7},
        // Strings go through the text parses.
        {"string", CElement("4294967297"), false, 1, 1, 4294967297, 4294967297, 4294967297.0, 0, 0,
         -1, 0},
        // Complex numbers read as their magnitude, except to_complex and to_bool.
        {"complex 3+4i", complex_value(3, 4), true, 5, 5, 5, 5, 5.0, 3, 4, 5, 0},
        {"complex 0", complex_value(0, 0), false, 0, 0, 0, 0, 0.0, 0, 0, 0, 0},
        {"complex i", complex_value(0, 1), true, 1, 1, 1, 1, 1.0, 0, 1, 1, 0},
        // 64-bit integers: the low 32 bits for the 32-bit readers and the seconds.
        {"int64 2^32+5", CElement(int64_t{4294967301}), true, 5, 5, 4294967301, 4294967301,
         4294967301.0, 4294967301.0, 0, 5, 0},
        {"int64 -1", CElement(int64_t{-1}), true, -1, 4294967295u, -1, kU64Max, -1, -1, 0, -1, 0},
        {"uint64 max", CElement(kU64Max), true, -1, 4294967295u, -1, kU64Max,
         18446744073709551616.0, 18446744073709551616.0, 0, -1, 0},
        {"uint64 0", CElement(uint64_t{0}), false, 0, 0, 0, 0, 0.0, 0, 0, 0, 0},
        // Out of range, doubles saturate; a complex magnitude saturates as a signed value, which
        // to_uint reinterprets.
        {"float 1e300", CElement(1e300), true, INT32_MAX, UINT32_MAX, kI64Max, kU64Max, 1e300,
         1e300, 0, INT32_MAX, 0},
        {"float -1e300", CElement(-1e300), true, INT32_MIN, 0, kI64Min, 0, -1e300, -1e300, 0,
         INT32_MIN, 0},
        {"float -inf", CElement(-kInf), true, INT32_MIN, 0, kI64Min, 0, -kInf, -kInf, 0, INT32_MIN,
         0},
        {"complex infinite imaginary part", complex_value(0, kInf), true, INT32_MAX,
         uint32_t{INT32_MAX}, kI64Max, uint64_t(kI64Max), kInf, 0, kInf, INT32_MAX, 0},
        {"complex NaN part", complex_value(kNaN, 1), true, 0, 0, 0, 0, kNaN, kNaN, 1, 0, 0}};
    // Byte arrays, unknown type codes and the default element have no reading.
    rows.push_back(
        {"blob", CElement(std::vector<char>{1, 2, 3}), false, 0, 0, 0, 0, 0, 0, 0, -1, 0});
    rows.push_back({"default", CElement(), false, 0, 0, 0, 0, 0, 0, 0, -1, 0});
    for (int code : {0, 11, -1}) {
        rows.push_back({"type code " + std::to_string(code), with_type_code(code), false, 0, 0, 0,
                        0, 0, 0, 0, -1, 0});
    }
    expect_readings(rows);
    // The last values inside each range still truncate.
    EXPECT_EQ(INT32_MAX, CElement(2147483647.9).to_int());
    EXPECT_EQ(INT32_MIN, CElement(-2147483648.9).to_int());
    EXPECT_EQ(UINT32_MAX, CElement(4294967295.5).to_uint());
    EXPECT_EQ(UINT32_MAX, CElement(4294967296.0).to_uint());
    EXPECT_EQ(kI64Min, CElement(-9223372036854775808.0).to_int64());
    EXPECT_EQ(uint64_t{1} << 63, CElement(9223372036854775808.0).to_uint64());
}

TEST(ElementReaders, IntegerTextTriesDecimalThenHexThenDecimalPrefix) {
    // The 32-bit readers keep the low 32 bits of the 64-bit reading; strtoll saturates, hex too.
    // The text ends at the first NUL: "ff" alone is hexadecimal.
    // clang-format off
    const std::pair<std::string, int64_t> cases[] = {
        {"255", 255}, {"ff", 255}, {"0XFF", 255}, {"1e3", 483}, {"abc", 2748}, {"12.5", 12},
        {"-ff", -255}, {"xyz", 0}, {"", 0}, {"  42", 42}, {"+7", 7}, {"-12", -12}, {"0x", 0},
        {"-", 0}, {"7fffffff", 2147483647},
        {"4294967297", 4294967297}, {"99999999999999999999", kI64Max},
        {"-99999999999999999999", kI64Min}, {"fffffffffffffffffff", kI64Max},
        {"ff\0zz"s, 255}, {"12\00034"s, 12}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE('"' + text + '"');
        const CElement e(text);
        EXPECT_EQ(value, e.to_int64());
        EXPECT_EQ(static_cast<uint64_t>(value), e.to_uint64());
        EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(value)), e.to_int());
        EXPECT_EQ(static_cast<uint32_t>(value), e.to_uint());
    }
}

TEST(ElementReaders, BooleanTextIsTrueOnlyForTrueInAnyCase) {
    for (const char* yes : {"true", "TRUE", "True", "tRuE"})
        EXPECT_TRUE(CElement(yes).to_bool()) << yes;
    for (const char* no : {"1", "yes", " true", "true ", "", "tru", "truee", "false", "t"}) {
        EXPECT_FALSE(CElement(no).to_bool()) << '"' << no << '"';
    }
    EXPECT_TRUE(CElement("true\0junk"s).to_bool());
    EXPECT_FALSE(CElement("\0true"s).to_bool());
}

TEST(ElementReaders, FloatTextKnowsItsOwnSpecialFormsThenUsesStrtod) {
    // Other spellings of the special values reach strtod, which knows them as well. A prefix
    // counts, nothing counts as 0, and a text form reads back to the same number.
    // clang-format off
    const std::pair<std::string, double> cases[] = {
        {"NaN", kNaN}, {"INF", kInf}, {"-INF", -kInf}, {"nan", kNaN}, {"-Infinity", -kInf},
        {"3.5abc", 3.5}, {"  2.5", 2.5}, {"", 0.0}, {"-1.25E+20", -1.25e20}, {"0x10", 16.0},
        {"2.5\0009"s, 2.5}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE('"' + text + '"');
        expect_same_double(value, CElement(text).to_float());
    }
    EXPECT_TRUE(std::signbit(CElement("-0").to_float()));
}

TEST(ElementReaders, ComplexTextNeedsParenthesisAndBothNumbers) {
    using C = std::complex<double>;
    // clang-format off
    const std::pair<std::string, C> cases[] = {
        {"(1.5,-2)", C(1.5, -2.0)}, {"(1,2", C(1.0, 2.0)}, {"( 1, 2)", C(1.0, 2.0)},
        {"(1e3,-0.5)trailing", C(1000.0, -0.5)}, {"(1E+100,1E-05)", C(1e100, 1e-5)},
        {" (1,2)", C()}, {"1,2", C()}, {"(1 ,2)", C()}, {"(1)", C()}, {"(1,", C()}, {"", C()},
        {"(", C()}, {"(x,2)", C()}, {"(1,\0002)"s, C()}};
    // clang-format on
    for (const auto& [text, value] : cases)
        EXPECT_EQ(value, CElement(text).to_complex()) << '"' << text << '"';
}

TEST(ElementReaders, TimeTextIsUtcWithCalendarCarryOver) {
    const ScopedTimeZone far_from_utc("XYZ-07:30");
    const std::pair<std::string, long> cases[] = {
        {"2020-01-01T00:00:00Z", 1577836800},
        {"2020-01-01T00:00:00", 1577836800},      // the zone letter is not required
        {"2020-01-01T00:00:00.75Z", 1577836800},  // a fraction is ignored
        {"2020-02-30T00:00:00Z", 1583020800},     // 2020-03-01
        {"2019-13-01T00:00:00Z", 1577836800},     // month 13: January next year
        {"2020-02-00T00:00:00Z", 1580428800},     // day 0: 2020-01-31
        {"1970-01-01T00:00:00Z", 0},
        {"1901-12-13T20:45:52Z", INT32_MIN},
        {"2038-01-19T03:14:07Z", INT32_MAX},
        {"2038-01-19T03:14:08Z", -1},  // beyond 32-bit seconds
        {"1901-12-13T20:45:51Z", -1},
        {"2020-01-01", -1},
        {"", -1},
        {"-2147483648-01-01T00:00:00Z", -1},  // fields that do not fit struct tm
        {"2020--2147483648-01T00:00:00Z", -1},
        {"2147483647-12-31T23:59:59Z", -1},
        {"2020-01-01\0T00:00:00Z"s, -1}};
    for (const auto& [text, seconds] : cases) {
        timeval tv{99, 99};
        CElement(text).to_timeval(tv);
        EXPECT_EQ((timeval{seconds, 0}), tv) << text;
    }
}
