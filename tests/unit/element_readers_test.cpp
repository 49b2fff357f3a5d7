// Readers of CElement: every data type read as every scalar kind, and the text parses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What every reader gives for one value.
struct Reading {
    bool as_bool;
    int32_t as_int;
    uint32_t as_uint;
    int64_t as_int64;
    uint64_t as_uint64;
    double as_float;
    std::complex<double> as_complex;
    long tv_sec;
    long tv_usec;
};

void expect_same_double(double expected, double actual, const std::string& what) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what << " gave " << actual;
    } else {
        EXPECT_EQ(expected, actual) << what;
    }
}

void expect_reading(const CElement& e, const Reading& r, const std::string& label) {
    SCOPED_TRACE(label);
    EXPECT_EQ(r.as_bool, e.to_bool());
    EXPECT_EQ(r.as_int, e.to_int());
    EXPECT_EQ(r.as_uint, e.to_uint());
    EXPECT_EQ(r.as_int64, e.to_int64());
    EXPECT_EQ(r.as_uint64, e.to_uint64());
    expect_same_double(r.as_float, e.to_float(), "to_float");
    expect_same_double(r.as_complex.real(), e.to_complex().real(), "to_complex real");
    expect_same_double(r.as_complex.imag(), e.to_complex().imag(), "to_complex imag");
    timeval tv{12345, 678};
    e.to_timeval(tv);
    EXPECT_EQ(r.tv_sec, tv.tv_sec);
    EXPECT_EQ(r.tv_usec, tv.tv_usec);
}

const Reading kDefaults{false, 0, 0, 0, 0, 0.0, {0.0, 0.0}, -1, 0};

}  // namespace

TEST(ElementReaders, UnknownTypeCodesGiveDefaults) {
    for (int code : {0, 11, 12, 255, -1}) {
        expect_reading(with_type_code(code), kDefaults, "type code " + std::to_string(code));
    }
    expect_reading(CElement(), kDefaults, "default-constructed");
}

TEST(ElementReaders, EveryDataTypeReadsByItsRule) {
    const uint64_t u64max = std::numeric_limits<uint64_t>::max();
    // Booleans read as their stored byte; a byte of 2 is still true but counts as 2.
    expect_reading(bool_byte(0), {false, 0, 0, 0, 0, 0.0, {0, 0}, -1, 0}, "bool 0");
    expect_reading(bool_byte(1), {true, 1, 1, 1, 1, 1.0, {1, 0}, -1, 0}, "bool 1");
    expect_reading(bool_byte(2), {true, 2, 2, 2, 2, 1.0, {1, 0}, -1, 0}, "bool 2");
    // Signed 32-bit: sign-extended, then reinterpreted for the unsigned readers.
    expect_reading(CElement(int32_t{-5}),
                   {true, -5, 4294967291u, -5, u64max - 4, -5.0, {-5, 0}, -5, 0}, "int -5");
    expect_reading(CElement(int32_t{0}), {false, 0, 0, 0, 0, 0.0, {0, 0}, 0, 0}, "int 0");
    // Unsigned 32-bit: zero-extended; the 32 bits are taken as signed seconds.
    expect_reading(CElement(uint32_t{3000000000u}),
                   {true,
                    -1294967296,
                    3000000000u,
                    3000000000,
                    3000000000,
                    3000000000.0,
                    {3000000000.0, 0},
                    -1294967296,
                    0},
                   "uint 3000000000");
    // Doubles truncate toward zero.
    expect_reading(CElement(2.9), {true, 2, 2, 2, 2, 2.9, {2.9, 0}, 2, 0}, "float 2.9");
    expect_reading(CElement(-2.9), {true, -2, 0, -2, 0, -2.9, {-2.9, 0}, -2, 0}, "float -2.9");
    expect_reading(CElement(-0.5), {true, 0, 0, 0, 0, -0.5, {-0.5, 0}, 0, 0}, "float -0.5");
    expect_reading(CElement(0.0), {false, 0, 0, 0, 0, 0.0, {0, 0}, 0, 0}, "float 0");
    expect_reading(CElement(kNaN), {true, 0, 0, 0, 0, kNaN, {kNaN, 0}, 0, 0}, "float NaN");
    // Times: integer readers see the seconds, doubles the sum, booleans always false.
    expect_reading(time_value(1700000000, 250000),
                   {false,
                    1700000000,
                    1700000000,
                    1700000000,
                    1700000000,
                    1700000000.25,
                    {1700000000.25, 0},
                    1700000000,
                    250000},
                   "time 1700000000.25");
    expect_reading(time_value(-5, 7),
                   {false,
                    -5,
                    4294967291u,
                    -5,
                    u64max - 4,
                    -5.0 + 7 / 1000000.0,
                    {-5.0 + 7 / 1000000.0, 0},
                    -5,
                    7},
                   "time -5 s 7 us");
    // Strings go through the text parses.
    expect_reading(CElement("4294967297"),
                   {false, 1, 1, 4294967297, 4294967297, 4294967297.0, {0, 0}, -1, 0},
                   "string 4294967297");
    // Byte arrays have no reading.
    expect_reading(CElement(std::vector<char>{1, 2, 3}), kDefaults, "blob");
    expect_reading(CElement(std::vector<char>{}), kDefaults, "empty blob");
    // Complex numbers read as their magnitude, except to_complex and to_bool.
    expect_reading(complex_value(3, 4), {true, 5, 5, 5, 5, 5.0, {3, 4}, 5, 0}, "complex 3+4i");
    expect_reading(complex_value(0, 0), {false, 0, 0, 0, 0, 0.0, {0, 0}, 0, 0}, "complex 0");
    expect_reading(complex_value(0, 1), {true, 1, 1, 1, 1, 1.0, {0, 1}, 1, 0}, "complex i");
    expect_reading(complex_value(-3, -4), {true, 5, 5, 5, 5, 5.0, {-3, -4}, 5, 0}, "complex -3-4i");
    // 64-bit integers: the low 32 bits for the 32-bit readers and the seconds.
    expect_reading(CElement(int64_t{4294967301}),
                   {true, 5, 5, 4294967301, 4294967301, 4294967301.0, {4294967301.0, 0}, 5, 0},
                   "int64 2^32+5");
    expect_reading(CElement(int64_t{-1}),
                   {true, -1, 4294967295u, -1, u64max, -1.0, {-1.0, 0}, -1, 0}, "int64 -1");
    expect_reading(CElement(uint64_t{u64max}),
                   {true,
                    -1,
                    4294967295u,
                    -1,
                    u64max,
                    18446744073709551616.0,
                    {18446744073709551616.0, 0},
                    -1,
                    0},
                   "uint64 max");
    expect_reading(CElement(uint64_t{0}), {false, 0, 0, 0, 0, 0.0, {0, 0}, 0, 0}, "uint64 0");
}

TEST(ElementReaders, OutOfRangeDoublesSaturateAndNaNReadsAsZero) {
    const int64_t i64max = std::numeric_limits<int64_t>::max();
    const int64_t i64min = std::numeric_limits<int64_t>::min();
    const uint64_t u64max = std::numeric_limits<uint64_t>::max();
    expect_reading(CElement(1e300),
                   {true, INT32_MAX, UINT32_MAX, i64max, u64max, 1e300, {1e300, 0}, INT32_MAX, 0},
                   "float 1e300");
    expect_reading(CElement(-1e300),
                   {true, INT32_MIN, 0, i64min, 0, -1e300, {-1e300, 0}, INT32_MIN, 0},
                   "float -1e300");
    expect_reading(CElement(-kInf),
                   {true, INT32_MIN, 0, i64min, 0, -kInf, {-kInf, 0}, INT32_MIN, 0}, "float -inf");
    // The last values inside each range still truncate.
    EXPECT_EQ(INT32_MAX, CElement(2147483647.9).to_int());
    EXPECT_EQ(INT32_MIN, CElement(-2147483648.9).to_int());
    EXPECT_EQ(UINT32_MAX, CElement(4294967295.5).to_uint());
    EXPECT_EQ(UINT32_MAX, CElement(4294967296.0).to_uint());
    EXPECT_EQ(i64min, CElement(-9223372036854775808.0).to_int64());
    EXPECT_EQ(uint64_t{1} << 63, CElement(9223372036854775808.0).to_uint64());
    // A complex magnitude saturates as a signed value; to_uint reinterprets that.
    expect_reading(complex_value(0, kInf),
                   {true,
                    INT32_MAX,
                    uint32_t{INT32_MAX},
                    i64max,
                    uint64_t(i64max),
                    kInf,
                    {0, kInf},
                    INT32_MAX,
                    0},
                   "complex with infinite imaginary part");
    expect_reading(complex_value(kNaN, 1), {true, 0, 0, 0, 0, kNaN, {kNaN, 1}, 0, 0},
                   "complex with NaN part");
}

TEST(ElementReaders, IntegerTextTriesDecimalThenHexThenDecimalPrefix) {
    struct Case {
        const char* text;
        int64_t value;
    };
    const Case cases[] = {
        {"255", 255},
        {"ff", 255},
        {"0xff", 255},
        {"0XFF", 255},
        {"1e3", 483},
        {"abc", 2748},
        {"12 ", 12},
        {"12.5", 12},
        {"-ff", -255},
        {"xyz", 0},
        {"", 0},
        {"  42", 42},
        {"+7", 7},
        {"-12", -12},
        {"0x", 0},
        {"-", 0},
        {"7fffffff", 2147483647},
    };
    for (const Case& c : cases) {
        const CElement e(c.text);
        EXPECT_EQ(c.value, e.to_int64()) << '"' << c.text << '"';
        EXPECT_EQ(static_cast<uint64_t>(c.value), e.to_uint64()) << '"' << c.text << '"';
        EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(c.value)), e.to_int())
            << '"' << c.text << '"';
    }
    // strtoll saturates; the 32-bit readers keep the low 32 bits of the saturated value.
    const CElement huge("99999999999999999999");
    EXPECT_EQ(std::numeric_limits<int64_t>::max(), huge.to_int64());
    EXPECT_EQ(9223372036854775807u, huge.to_uint64());
    EXPECT_EQ(-1, huge.to_int());
    EXPECT_EQ(UINT32_MAX, huge.to_uint());
    const CElement tiny("-99999999999999999999");
    EXPECT_EQ(std::numeric_limits<int64_t>::min(), tiny.to_int64());
    EXPECT_EQ(0, tiny.to_int());
    // Hexadecimal saturates too.
    EXPECT_EQ(std::numeric_limits<int64_t>::max(), CElement("fffffffffffffffffff").to_int64());
    EXPECT_EQ(std::numeric_limits<uint64_t>::max(), CElement("-1").to_uint64());
    EXPECT_EQ(UINT32_MAX, CElement("-1").to_uint());
    EXPECT_EQ(1, CElement("4294967297").to_int());
    EXPECT_EQ(1u, CElement("4294967297").to_uint());
    // The text ends at the first NUL: "ff" alone is hexadecimal.
    EXPECT_EQ(255, string_bytes("ff\0zz", 5).to_int());
    EXPECT_EQ(12, string_bytes("12\0"
                               "34",
                               5)
                      .to_int64());
}

TEST(ElementReaders, BooleanTextIsTrueOnlyForTrueInAnyCase) {
    for (const char* yes : {"true", "TRUE", "True", "tRuE"}) {
        EXPECT_TRUE(CElement(yes).to_bool()) << yes;
    }
    for (const char* no : {"1", "yes", " true", "true ", "", "tru", "truee", "false", "t"}) {
        EXPECT_FALSE(CElement(no).to_bool()) << '"' << no << '"';
    }
    EXPECT_TRUE(string_bytes("true\0junk", 9).to_bool());
    EXPECT_FALSE(string_bytes("\0true", 5).to_bool());
}

TEST(ElementReaders, FloatTextKnowsItsOwnSpecialFormsThenUsesStrtod) {
    EXPECT_TRUE(std::isnan(CElement("NaN").to_float()));
    EXPECT_EQ(kInf, CElement("INF").to_float());
    EXPECT_EQ(-kInf, CElement("-INF").to_float());
    // Other spellings reach strtod, which knows them as well.
    EXPECT_TRUE(std::isnan(CElement("nan").to_float()));
    EXPECT_EQ(kInf, CElement("inf").to_float());
    EXPECT_EQ(kInf, CElement("Infinity").to_float());
    EXPECT_EQ(-kInf, CElement("-inf").to_float());
    // A prefix counts, nothing counts as 0.
    EXPECT_EQ(3.5, CElement("3.5abc").to_float());
    EXPECT_EQ(2.5, CElement("  2.5").to_float());
    EXPECT_EQ(0.0, CElement("abc").to_float());
    EXPECT_EQ(0.0, CElement("").to_float());
    EXPECT_EQ(1e-5, CElement("1e-5").to_float());
    EXPECT_EQ(-1.25e20, CElement("-1.25E+20").to_float());
    EXPECT_EQ(16.0, CElement("0x10").to_float());
    EXPECT_EQ(2.5, string_bytes("2.5\0"
                                "9",
                                5)
                       .to_float());
    // A text form read back gives the same number.
    EXPECT_EQ(1e20, CElement("100000000000000000000").to_float());
    EXPECT_TRUE(std::signbit(CElement("-0").to_float()));
}

TEST(ElementReaders, ComplexTextNeedsParenthesisAndBothNumbers) {
    using C = std::complex<double>;
    EXPECT_EQ(C(1.5, -2.0), CElement("(1.5,-2)").to_complex());
    EXPECT_EQ(C(1.0, 2.0), CElement("(1,2").to_complex());
    EXPECT_EQ(C(1.0, 2.0), CElement("( 1, 2)").to_complex());
    EXPECT_EQ(C(1000.0, -0.5), CElement("(1e3,-0.5)trailing").to_complex());
    EXPECT_EQ(C(1e100, 1e-5), CElement("(1E+100,1E-05)").to_complex());
    for (const char* bad : {" (1,2)", "1,2", "(1 ,2)", "(1)", "(1,", "", "(", "(x,2)"}) {
        EXPECT_EQ(C(0.0, 0.0), CElement(bad).to_complex()) << '"' << bad << '"';
    }
    EXPECT_EQ(C(0.0, 0.0), string_bytes("(1,\0"
                                        "2)",
                                        6)
                               .to_complex());
}

TEST(ElementReaders, TimeTextIsUtcWithCalendarCarryOver) {
    const ScopedTimeZone far_from_utc("XYZ-07:30");
    struct Case {
        const char* text;
        long seconds;
    };
    const Case cases[] = {
        {"2020-01-01T00:00:00Z", 1577836800},
        {"2020-01-01T00:00:00", 1577836800},        // the zone letter is not required
        {"2020-01-01T00:00:00.75Z", 1577836800},    // a fraction is ignored
        {"2020-01-01T00:00:00+02:00", 1577836800},  // so is a zone offset
        {"2020-02-30T00:00:00Z", 1583020800},       // 2020-03-01
        {"2019-13-01T00:00:00Z", 1577836800},       // month 13: January next year
        {"2019-12-31T23:59:60Z", 1577836800},       // second 60: next minute
        {"2020-02-00T00:00:00Z", 1580428800},       // day 0: 2020-01-31
        {"1970-01-01T00:00:00Z", 0},
        {"1901-12-13T20:45:52Z", INT32_MIN},
        {"2038-01-19T03:14:07Z", INT32_MAX},
        {"2038-01-19T03:14:08Z", -1},  // beyond 32-bit seconds
        {"1901-12-13T20:45:51Z", -1},
        {"2020-01-01", -1},
        {"2020-01-01T00:00Z", -1},
        {"", -1},
        {"garbage", -1},
        {"-2147483648-01-01T00:00:00Z", -1},  // fields that do not fit struct tm
        {"2020--2147483648-01T00:00:00Z", -1},
        {"2147483647-12-31T23:59:59Z", -1},
    };
    for (const Case& c : cases) {
        timeval tv{99, 99};
        CElement(c.text).to_timeval(tv);
        EXPECT_EQ(c.seconds, tv.tv_sec) << c.text;
        EXPECT_EQ(0, tv.tv_usec) << c.text;
    }
    timeval tv{99, 99};
    string_bytes("2020-01-01\0T00:00:00Z", 21).to_timeval(tv);
    EXPECT_EQ(-1, tv.tv_sec);
}
