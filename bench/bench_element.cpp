// Element text forms and readers, each beside a bare libc baseline of the same work.
#include <benchmark/benchmark.h>
#include <toolkit/element.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

using toolkit::CElement;

namespace {

// ---- Number to text -------------------------------------------------------------------------

void BM_ToString_Int(benchmark::State& state) {
    const CElement e(int32_t{-1234567});
    std::string out;
    for (auto _ : state) {
        e.to_string(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ToString_Int);

void BM_Snprintf_Int(benchmark::State& state) {
    long value = -1234567;
    for (auto _ : state) {
        char buf[512];
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%ld", value));
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_Snprintf_Int);

// Doubles and complex numbers: bench_double_text.cpp.

void BM_ToString_Time(benchmark::State& state) {
    const CElement e = CElement::from_time(timeval{1700000000, 0});
    std::string out;
    for (auto _ : state) {
        e.to_string(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ToString_Time);

void BM_GmtimeSnprintf_Time(benchmark::State& state) {
    time_t t = 1700000000;
    for (auto _ : state) {
        char buf[512];
        std::tm f;
        benchmark::DoNotOptimize(t);
        gmtime_r(&t, &f);
        benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2dZ",
                                               f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour,
                                               f.tm_min, f.tm_sec));
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_GmtimeSnprintf_Time);

// ---- Base64 of byte arrays ------------------------------------------------------------------

std::vector<char> random_bytes(std::size_t n) {
    std::mt19937 random(7);
    std::vector<char> out(n);
    for (char& c : out) c = static_cast<char>(random());
    return out;
}

void BM_ToString_Blob(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const CElement e(random_bytes(n));
    std::string out;
    for (auto _ : state) {
        e.to_string(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ToString_Blob)->Range(64, 1 << 20);

void BM_Memcpy_Blob(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<char> in = random_bytes(n);
    std::vector<char> out(n);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memcpy_Blob)->Range(64, 1 << 20);

// ---- Text readers ---------------------------------------------------------------------------

void BM_ToInt64_DecimalText(benchmark::State& state) {
    const CElement e("-1234567890123");
    for (auto _ : state) benchmark::DoNotOptimize(e.to_int64());
}
BENCHMARK(BM_ToInt64_DecimalText);

void BM_Strtoll_DecimalText(benchmark::State& state) {
    const std::string text = "-1234567890123";
    for (auto _ : state) {
        const char* p = text.c_str();
        benchmark::DoNotOptimize(p);
        char* end = nullptr;
        benchmark::DoNotOptimize(std::strtoll(p, &end, 10));
        benchmark::DoNotOptimize(*end == '\0');
    }
}
BENCHMARK(BM_Strtoll_DecimalText);

// Hexadecimal text takes a second strtoll after the decimal parse stops early.
void BM_ToInt64_HexText(benchmark::State& state) {
    const CElement e("0xdeadbeef");
    for (auto _ : state) benchmark::DoNotOptimize(e.to_int64());
}
BENCHMARK(BM_ToInt64_HexText);

void BM_ToFloat_Text(benchmark::State& state) {
    const CElement e("12345.678");
    for (auto _ : state) benchmark::DoNotOptimize(e.to_float());
}
BENCHMARK(BM_ToFloat_Text);

void BM_Strtod_Text(benchmark::State& state) {
    const std::string text = "12345.678";
    for (auto _ : state) {
        const char* p = text.c_str();
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(std::strtod(p, nullptr));
    }
}
BENCHMARK(BM_Strtod_Text);

void BM_ToBool_Text(benchmark::State& state) {
    const CElement e("True");
    for (auto _ : state) benchmark::DoNotOptimize(e.to_bool());
}
BENCHMARK(BM_ToBool_Text);

void BM_ToComplex_Text(benchmark::State& state) {
    const CElement e("(1.5,-2.25)");
    for (auto _ : state) benchmark::DoNotOptimize(e.to_complex());
}
BENCHMARK(BM_ToComplex_Text);

void BM_ToTimeval_Text(benchmark::State& state) {
    const CElement e("2023-11-14T22:13:20Z");
    for (auto _ : state) {
        timeval tv;
        e.to_timeval(tv);
        benchmark::DoNotOptimize(tv);
    }
}
BENCHMARK(BM_ToTimeval_Text);

// ---- Numeric readers and conversion ---------------------------------------------------------

void BM_ToInt_Complex(benchmark::State& state) {
    const CElement e(std::complex<double>(3.0, 4.0));
    for (auto _ : state) benchmark::DoNotOptimize(e.to_int());
}
BENCHMARK(BM_ToInt_Complex);

void BM_ToUint64_Float(benchmark::State& state) {
    const CElement e(12345.678);
    for (auto _ : state) benchmark::DoNotOptimize(e.to_uint64());
}
BENCHMARK(BM_ToUint64_Float);

void BM_ConvertType_IntToString(benchmark::State& state) {
    for (auto _ : state) {
        CElement e(int32_t{1234});
        e.convert_type(DATATYPE_STRING);
        benchmark::DoNotOptimize(e.value.string_value.data);
    }
}
BENCHMARK(BM_ConvertType_IntToString);

// ---- String utilities -----------------------------------------------------------------------

void BM_SplitString_TenPieces(benchmark::State& state) {
    const std::string text = "alpha;beta;gamma;delta;epsilon;zeta;eta;theta;iota;kappa";
    std::vector<std::string> out;
    for (auto _ : state) {
        CElement::split_string(out, text, ';');
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SplitString_TenPieces);

void BM_XmlEscape_Mixed(benchmark::State& state) {
    const std::string text = "if (a < b && c > d) say \"it's\" <done/> plus some plain text here";
    for (auto _ : state) {
        std::string work = text;
        CElement::xml_escape(work);
        benchmark::DoNotOptimize(work.data());
    }
}
BENCHMARK(BM_XmlEscape_Mixed);

}  // namespace
