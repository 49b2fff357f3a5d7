// The text of a double, character for character against printf's "%.*G" with the precision of
// the double rule, over millions of doubles: random bit patterns, powers of ten and their
// neighbours, subnormals, the rounding boundaries of each precision and the exact ties. Then the
// same in numeric locales whose decimal point is not ".", and complex numbers built from the same
// doubles with their parts cut after 63 characters.
#include <gtest/gtest.h>
#include <toolkit/element.h>

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>

#ifndef TOOLKIT_TESTS_DOUBLE_TEXT_SAMPLES
#define TOOLKIT_TESTS_DOUBLE_TEXT_SAMPLES 3000000
#endif

using toolkit::CElement;

namespace {

// Random doubles; the fixed sets of boundaries and ties come on top.
constexpr int kRandomSamples = TOOLKIT_TESTS_DOUBLE_TEXT_SAMPLES;

// The double rule told through printf: the precision from the common logarithm, "NaN" for every
// NaN, and "%.*G" for everything else.
std::size_t printf_text(char* buf, std::size_t size, double v) {
    if (std::isnan(v)) return static_cast<std::size_t>(std::snprintf(buf, size, "NaN"));
    int precision = 6;
    const double magnitude = std::fabs(v);
    if (magnitude != 0.0 && std::isfinite(magnitude)) {
        precision = std::max(precision, static_cast<int>(std::log10(magnitude)) + 1);
    }
    return static_cast<std::size_t>(std::snprintf(buf, size, "%.*G", precision, v));
}

double from_bits(std::uint64_t bits) {
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::uint64_t to_bits(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

using Visit = std::function<void(double)>;

// `v` and the doubles up to `steps` places away on either side.
void with_neighbours(const Visit& visit, double v, int steps) {
    visit(v);
    double up = v, down = v;
    for (int i = 0; i < steps; ++i) {
        up = std::nextafter(up, HUGE_VAL);
        down = std::nextafter(down, -HUGE_VAL);
        visit(up);
        visit(down);
    }
}

// `count` random doubles. A third are random bit patterns, whose exponents spread evenly, so that
// half of them print a whole number of up to 309 digits; the rest have random bits and signs in
// the exponents of 2^-84 to 2^84 (about 1e-25 to 1e25), where the double rule uses every precision
// from 6 to 26 and the decimal point appears.
void for_each_random(int count, std::mt19937_64& random, const Visit& visit) {
    for (int i = 0; i < count; ++i) {
        std::uint64_t bits = random();
        if (i % 3 != 0) {
            const std::uint64_t exponent = 1023 - 84 + (bits >> 52) % 169;
            bits = (bits & ((std::uint64_t{1} << 52) - 1 + (std::uint64_t{1} << 63))) |
                   (exponent << 52);
        }
        visit(from_bits(bits));
    }
}

// Every sample, once with each sign: `random_count` random doubles and, unless `random_only`, the
// fixed sets.
void for_each_sample(int random_count, bool random_only, const Visit& visit_one) {
    const Visit visit = [&](double v) {
        visit_one(v);
        visit_one(-v);
    };
    std::mt19937_64 random(20261206);
    for_each_random(random_count / 2, random, visit);
    if (random_only) return;

    // Zeros, infinities, NaNs with payloads, the extremes.
    for (double v : {0.0, HUGE_VAL, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::signaling_NaN(), std::nan("0x12345")}) {
        visit(v);
    }
    with_neighbours(visit, DBL_MAX, 8);
    with_neighbours(visit, DBL_MIN, 8);

    // Subnormals: the smallest and the largest ones, and random ones.
    for (std::uint64_t m = 1; m < 2000; ++m) {
        visit(from_bits(m));
        visit(from_bits((std::uint64_t{1} << 52) - m));
    }
    for (int i = 0; i < 20000; ++i) visit(from_bits(random() & ((std::uint64_t{1} << 52) - 1)));

    // Every power of ten a double reaches, its neighbours, and the values just below it that
    // round up into it at six digits or at the whole integer part.
    char text[64];
    for (int e = -324; e <= 308; ++e) {
        std::snprintf(text, sizeof text, "1e%d", e);
        with_neighbours(visit, std::strtod(text, nullptr), 16);
        std::snprintf(text, sizeof text, "9.999995e%d", e - 1);
        with_neighbours(visit, std::strtod(text, nullptr), 4);
        std::snprintf(text, sizeof text, "9.99999999999999999e%d", e - 1);
        with_neighbours(visit, std::strtod(text, nullptr), 4);
    }

    // The rounding boundaries of each precision: p digits followed by a 5, at every decimal
    // exponent, and the doubles around that midpoint.
    for (int precision = 6; precision <= 17; ++precision) {
        std::uniform_int_distribution<int> lead(1, 9), digit(0, 9);
        for (int e = -323; e <= 308; ++e) {
            for (int k = 0; k < 3; ++k) {
                // All nines first: the boundary where rounding carries into the next power.
                std::string mantissa(static_cast<std::size_t>(precision), '9');
                for (int i = 0; k > 0 && i < precision; ++i)
                    mantissa[i] = static_cast<char>('0' + (i == 0 ? lead(random) : digit(random)));
                std::snprintf(text, sizeof text, "%s5e%d", mantissa.c_str(), e - precision);
                with_neighbours(visit, std::strtod(text, nullptr), 2);
            }
        }
    }

    // Exact ties, which only dyadic values can be: a whole number and a half at every width from
    // six digits up to 2^52, and odd multiples of 2^-j whose j fraction digits end in a 5 at the
    // seventh significant digit (12345.25, 1234.125, ..., 1/1024 = 0.0009765625).
    for (int width = 6; width <= 16; ++width) {
        const double low = std::pow(10.0, width - 1);
        const double high = std::min(std::pow(10.0, width), 4503599627370496.0);
        std::uniform_real_distribution<double> whole(low, high);
        for (int i = 0; i < 5000; ++i) with_neighbours(visit, std::floor(whole(random)) + 0.5, 1);
    }
    for (int j = 1; j <= 10; ++j) {
        const double scale = std::ldexp(1.0, j);
        const double low = std::max(1.0, std::pow(10.0, 6 - j) * scale);
        std::uniform_real_distribution<double> odd(low / 2, std::pow(10.0, 7 - j) * scale / 2);
        for (int i = 0; i < 2000; ++i) {
            const double m = 2 * std::floor(odd(random)) + 1;
            with_neighbours(visit, m / scale, 1);
        }
    }

    // Everyday values: short decimal texts of every scale.
    std::uniform_int_distribution<int> length(1, 9), exponent(-30, 30);
    for (int i = 0; i < 100000; ++i) {
        std::uniform_int_distribution<long> number(0,
                                                   static_cast<long>(std::pow(10, length(random))));
        std::snprintf(text, sizeof text, "%lde%d", number(random), exponent(random));
        visit(std::strtod(text, nullptr));
    }
}

// Compares the element's text of every sample with printf's, reporting the first differences.
// Returns the number of samples compared.
long compare_with_printf(int random_count, bool random_only = false) {
    long compared = 0, differences = 0;
    std::string out;
    char expected[512];
    for_each_sample(random_count, random_only, [&](double v) {
        CElement(v).to_string(out);
        const std::size_t n = printf_text(expected, sizeof expected, v);
        ++compared;
        if (out.size() == n && std::memcmp(out.data(), expected, n) == 0) return;
        if (++differences <= 10) {
            ADD_FAILURE() << "double " << std::hexfloat << v << " (bits " << std::hex << to_bits(v)
                          << "): printf \"" << std::string(expected, n) << "\", element \"" << out
                          << "\"";
        }
    });
    EXPECT_EQ(0, differences) << "of " << compared << " doubles";
    return compared;
}

// Pairs of random doubles as complex numbers: "(" real "," imaginary ")", each part printf's
// text cut after its 63rd character.
void compare_complex_with_printf(int random_count) {
    long differences = 0;
    bool have_real = false;
    double real = 0;
    std::string out;
    std::mt19937_64 random(7);
    for_each_random(random_count, random, [&](double v) {
        if (!have_real) {
            real = v;
            have_real = true;
            return;
        }
        have_real = false;
        char part[512];
        std::string expected = "(";
        expected.append(part, std::min<std::size_t>(63, printf_text(part, sizeof part, real)));
        expected += ',';
        expected.append(part, std::min<std::size_t>(63, printf_text(part, sizeof part, v)));
        expected += ')';
        CElement(std::complex<double>(real, v)).to_string(out);
        if (out != expected && ++differences <= 10) {
            ADD_FAILURE() << "complex (" << std::hexfloat << real << ", " << v << "): printf \""
                          << expected << "\", element \"" << out << "\"";
        }
    });
    EXPECT_EQ(0, differences);
}

// Switches the process's numeric locale for the life of the object; ok() tells whether the
// locale exists. The build makes the ones the tests use in a folder of its own, which setlocale
// searches when LOCPATH names it.
class ScopedNumericLocale {
public:
    explicit ScopedNumericLocale(const char* name) : saved_(std::setlocale(LC_NUMERIC, nullptr)) {
#ifdef TOOLKIT_TESTS_LOCALE_DIR
        setenv("LOCPATH", TOOLKIT_TESTS_LOCALE_DIR, 1);
#endif
        ok_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~ScopedNumericLocale() {
        std::setlocale(LC_NUMERIC, saved_.c_str());
    }
    ScopedNumericLocale(const ScopedNumericLocale&) = delete;
    ScopedNumericLocale& operator=(const ScopedNumericLocale&) = delete;
    bool ok() const {
        return ok_;
    }

private:
    std::string saved_;
    bool ok_ = false;
};

std::string text_of(const CElement& e) {
    std::string out = "stale";
    e.to_string(out);
    return out;
}

}  // namespace

TEST(DoubleText, EqualsPrintfForMillionsOfDoubles) {
    const long compared = compare_with_printf(kRandomSamples);
    EXPECT_GT(compared, kRandomSamples);
    RecordProperty("doubles", static_cast<int>(compared));
}

TEST(DoubleText, ComplexPartsEqualPrintfCutAt63Characters) {
    compare_complex_with_printf(kRandomSamples / 10);
}

// printf writes the numeric locale's decimal point; so does the element, whatever its width.
TEST(DoubleText, TakesTheDecimalPointOfTheNumericLocale) {
    struct Case {
        const char* locale;
        const char* point;
    };
    int locales_tried = 0;
    for (const Case& c : {Case{"de_DE.UTF-8", ","}, Case{"ps_AF.UTF-8", "\xd9\xab"}}) {
        const ScopedNumericLocale numeric(c.locale);
#ifdef TOOLKIT_TESTS_LOCALE_DIR
        // The build made both locales: each must be found.
        EXPECT_TRUE(numeric.ok()) << c.locale << " not found in " TOOLKIT_TESTS_LOCALE_DIR;
#endif
        if (!numeric.ok()) continue;
        ++locales_tried;
        const std::string p = c.point;
        EXPECT_EQ("1" + p + "5", text_of(CElement(1.5))) << c.locale;
        EXPECT_EQ("-0" + p + "333333", text_of(CElement(-1.0 / 3.0))) << c.locale;
        EXPECT_EQ("1" + p + "5E-07", text_of(CElement(1.5e-7))) << c.locale;
        EXPECT_EQ("(1" + p + "5,-2" + p + "25)",
                  text_of(CElement(std::complex<double>(1.5, -2.25))))
            << c.locale;
        // Whole numbers and the other types have no point.
        EXPECT_EQ("123457", text_of(CElement(123456.789))) << c.locale;
        EXPECT_EQ("100000000000000000000", text_of(CElement(1e20))) << c.locale;
        EXPECT_EQ("-42", text_of(CElement(int32_t{-42}))) << c.locale;
        // Only texts of magnitudes below 1e5 have a point, which the random doubles cover.
        compare_with_printf(kRandomSamples / 20, true);
        compare_complex_with_printf(kRandomSamples / 50);
    }
    if (locales_tried == 0) {
        GTEST_SKIP() << "no numeric locale with a decimal comma on this machine (the build makes "
                        "them with localedef from the locales package)";
    }
    // Back in the "C" locale the point is "." again.
    EXPECT_EQ("1.5", text_of(CElement(1.5)));
}
