// The text of doubles and complex numbers, in one run beside two baselines: the same rule written
// with snprintf("%.*G"), as the library wrote it before, and GLib's g_variant_print_string of the
// same value (built when GLib is found).
#include <benchmark/benchmark.h>
#include <toolkit/element.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <string>

#ifdef TOOLKIT_BENCH_GLIB
#include <glib.h>
#endif

using toolkit::CElement;

namespace {

// The values of the comparison: six digits, the largest precision of the set, a fraction cut
// off, an exponent, and a complex number.
constexpr double kPi = 3.14159265358979323846;
constexpr double kLarge = 1e20;
constexpr double kFraction = 123456.789;
constexpr double kSmall = 1.5e-7;
const std::complex<double> kComplex(kPi, -kSmall);

// ---- The library ---------------------------------------------------------------------------

void BM_DoubleText_Element(benchmark::State& state, double v) {
    const CElement e(v);
    std::string out;
    for (auto _ : state) {
        e.to_string(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK_CAPTURE(BM_DoubleText_Element, pi, kPi);
BENCHMARK_CAPTURE(BM_DoubleText_Element, 1e20, kLarge);
BENCHMARK_CAPTURE(BM_DoubleText_Element, 123456.789, kFraction);
BENCHMARK_CAPTURE(BM_DoubleText_Element, 1.5e-7, kSmall);

void BM_ComplexText_Element(benchmark::State& state) {
    const CElement e(kComplex);
    std::string out;
    for (auto _ : state) {
        e.to_string(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ComplexText_Element);

// ---- The same rule through snprintf, as to_string wrote it before ---------------------------

int printf_rule(char* buf, std::size_t size, double v) {
    if (std::isnan(v)) return std::snprintf(buf, size, "NaN");
    int precision = 6;
    const double magnitude = std::fabs(v);
    if (magnitude >= 100000.0 && std::isfinite(magnitude)) {
        const int digits = static_cast<int>(std::log10(magnitude)) + 1;
        if (digits > precision) precision = digits;
    }
    return std::snprintf(buf, size, "%.*G", precision, v);
}

void BM_DoubleText_PrintfRule(benchmark::State& state, double v) {
    std::string out;
    for (auto _ : state) {
        char buf[512];
        benchmark::DoNotOptimize(v);
        const int n = printf_rule(buf, sizeof buf, v);
        out.assign(buf, static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK_CAPTURE(BM_DoubleText_PrintfRule, pi, kPi);
BENCHMARK_CAPTURE(BM_DoubleText_PrintfRule, 1e20, kLarge);
BENCHMARK_CAPTURE(BM_DoubleText_PrintfRule, 123456.789, kFraction);
BENCHMARK_CAPTURE(BM_DoubleText_PrintfRule, 1.5e-7, kSmall);

void BM_ComplexText_PrintfRule(benchmark::State& state) {
    std::complex<double> v = kComplex;
    std::string out;
    for (auto _ : state) {
        char real[64], imag[64], buf[512];
        benchmark::DoNotOptimize(v);
        printf_rule(real, sizeof real, v.real());
        printf_rule(imag, sizeof imag, v.imag());
        const int n = std::snprintf(buf, sizeof buf, "(%s,%s)", real, imag);
        out.assign(buf, static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ComplexText_PrintfRule);

// ---- GLib: a GVariant double, and a pair of doubles for the complex number -------------------

#ifdef TOOLKIT_BENCH_GLIB
// Prints into one reused GString, as to_string reuses its output string.
void print_variant(benchmark::State& state, GVariant* variant) {
    g_variant_ref_sink(variant);
    GString* out = g_string_sized_new(64);
    for (auto _ : state) {
        g_string_truncate(out, 0);
        g_variant_print_string(variant, out, FALSE);
        benchmark::DoNotOptimize(out->str);
    }
    g_string_free(out, TRUE);
    g_variant_unref(variant);
}

void BM_DoubleText_GVariant(benchmark::State& state, double v) {
    print_variant(state, g_variant_new_double(v));
}
BENCHMARK_CAPTURE(BM_DoubleText_GVariant, pi, kPi);
BENCHMARK_CAPTURE(BM_DoubleText_GVariant, 1e20, kLarge);
BENCHMARK_CAPTURE(BM_DoubleText_GVariant, 123456.789, kFraction);
BENCHMARK_CAPTURE(BM_DoubleText_GVariant, 1.5e-7, kSmall);

void BM_ComplexText_GVariant(benchmark::State& state) {
    print_variant(state, g_variant_new("(dd)", kComplex.real(), kComplex.imag()));
}
BENCHMARK(BM_ComplexText_GVariant);
#endif

}  // namespace
