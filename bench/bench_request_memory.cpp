// What one large request of tiny items costs nyrd: the growth of the daemon's peak resident
// memory (VmHWM) over the call, as a ratio to the request's frame, for every operation whose
// request can be large; and the time of a large set_leaves. With NYR_BENCH_BASELINE_NYRD set to
// another build's nyrd (of the same protocol), each runs against it as well, in the same run.
// Each memory figure has a fresh daemon of its own, since the peak only grows.
#ifdef TOOLKIT_BENCH_NYRD

#include <benchmark/benchmark.h>
#include <nyr_host.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

// About 4 MiB a request, a quarter of nyrd's largest frame.
constexpr std::size_t kFrameTarget = std::size_t{4} << 20;

const char* baseline_program() {
    const char* program = std::getenv("NYR_BENCH_BASELINE_NYRD");
    return program != nullptr && program[0] != '\0' ? program : nullptr;
}

std::unique_ptr<benchsupport::Daemon> start(bool baseline) {
    if (!baseline) return std::make_unique<benchsupport::Daemon>();
    if (baseline_program() == nullptr) return nullptr;
    return std::make_unique<benchsupport::Daemon>(nullptr, baseline_program());
}

long peak_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The wire sizes of the protocol's fields: a text is its length, its bytes and a terminator; a
// value its fill, form, flags, type, time stamp and payload; an event record its fill and form
// and then its encoding as serialize_event writes it.
constexpr std::size_t kPathBytes = 4 + 2 + 1;                                // "/a"
constexpr std::size_t kBoolValueBytes = 4 + 1 + 1 + 4 + 8 + 1;               // with its time stamp
constexpr std::size_t kSetItemBytes = kPathBytes + kBoolValueBytes + 4 + 1;  // tribool, auto
constexpr std::size_t kHeaderBytes = 4 + 1 + 4 + (4 + 5 + 1);  // frame, op, count, "bench"

enum class Call {
    kSetLeaves,
    kGetLeaves,
    kAddNodes,
    kRemoveNodes,
    kClearLeaves,
    kEventsSend,
    kLogStore
};

// The tiny items of one request and its frame's size.
struct Request {
    std::vector<std::string> texts;
    std::vector<const char*> paths;
    std::vector<_element_datatype_t> values;
    std::vector<qel_tribool_t> tribools;
    std::unique_ptr<bool[]> auto_time;
    std::vector<_event_t> events;
    std::size_t frame = kHeaderBytes;

    explicit Request(Call call) {
        const bool events_call = call == Call::kEventsSend || call == Call::kLogStore;
        _element_datatype_t value{};
        value.type = DATATYPE_BOOL;
        value.timestamp = {1700000000, 0};
        value.value.bool_value = 1;
        _event_t event{};
        event.type = 0x1;  // none of the generic or alarm fields
        event.path = {const_cast<char*>("/a"), 2};
        event.value = value;
        event.event_time = {1700000000, 0};
        _byte_array_t none{nullptr, 0};
        const std::size_t event_bytes =
            4 + 1 + static_cast<std::size_t>(serialize_event(&none, event));
        const std::size_t each = events_call                ? event_bytes
                                 : call == Call::kSetLeaves ? kSetItemBytes
                                                            : kPathBytes;
        const std::size_t n = kFrameTarget / each;
        frame += n * each;
        if (events_call) {
            events.assign(n, event);
            return;
        }
        texts.resize(26);
        for (int i = 0; i < 26; ++i) texts[i] = std::string("/") + static_cast<char>('a' + i);
        for (std::size_t i = 0; i < n; ++i) paths.push_back(texts[i % 26].c_str());
        if (call != Call::kSetLeaves) return;
        values.assign(n, value);
        tribools.assign(n, 0);
        auto_time.reset(new bool[n]());
    }
    uint32_t count() const {
        return static_cast<uint32_t>(events.empty() ? paths.size() : events.size());
    }
};

int make(qel_handle_t h, Call call, const Request& r) {
    api_status_t* statuses = nullptr;
    uint32_t status_count = 0;
    const uint32_t n = r.count();
    switch (call) {
        case Call::kSetLeaves:
            return qel_set_leaves(h, r.paths.data(), n, r.values.data(), r.tribools.data(),
                                  r.auto_time.get(), "bench", &statuses, &status_count);
        case Call::kGetLeaves: {
            std::vector<_element_datatype_t> values(n);
            std::vector<element_property_t> properties(n);
            return qel_get_leaves(h, r.paths.data(), n, &statuses, &status_count, values.data(),
                                  properties.data(), n);
        }
        case Call::kAddNodes:
            return qel_add_nodes(h, r.paths.data(), n, "bench", &statuses, &status_count);
        case Call::kRemoveNodes:
            return qel_remove_nodes(h, r.paths.data(), n, "bench", &statuses, &status_count);
        case Call::kClearLeaves:
            return qel_clear_leaves(h, r.paths.data(), n, "bench", &statuses, &status_count);
        case Call::kEventsSend:
            return qel_events_send(h, r.events.data(), n, &statuses, &status_count);
        case Call::kLogStore:
            return qel_log_store(h, r.events.data(), n, false);
    }
    return -1;
}

void BM_RequestPeak(benchmark::State& state, Call call, bool baseline) {
    if (baseline && baseline_program() == nullptr)
        return state.SkipWithError("NYR_BENCH_BASELINE_NYRD is not set");
    const Request request(call);
    double ratio = 0;
    for (auto _ : state) {
        std::unique_ptr<benchsupport::Daemon> daemon = start(baseline);
        qel_handle_t h = daemon ? qel_host_connect(daemon->socket.c_str()) : nullptr;
        api_status_t status = 0;
        if (h == nullptr || qel_test_node(h, "/", &status) != 0) {
            qel_host_disconnect(h);
            return state.SkipWithError("cannot connect to nyrd");
        }
        const long before = peak_kib(daemon->pid);
        const int result = make(h, call, request);
        const long after = peak_kib(daemon->pid);
        qel_host_disconnect(h);
        if (result != 0 || before < 0 || after < 0) return state.SkipWithError("the call failed");
        ratio = static_cast<double>(after - before) * 1024.0 / static_cast<double>(request.frame);
    }
    state.counters["frame_MiB"] = static_cast<double>(request.frame) / (1 << 20);
    state.counters["peak_per_frame_byte"] = ratio;
}

#define NYR_PEAK(call)                                                            \
    BENCHMARK_CAPTURE(BM_RequestPeak, call##_baseline_build, Call::k##call, true) \
        ->Iterations(1)                                                           \
        ->Unit(benchmark::kMillisecond);                                          \
    BENCHMARK_CAPTURE(BM_RequestPeak, call##_this_build, Call::k##call, false)    \
        ->Iterations(1)                                                           \
        ->Unit(benchmark::kMillisecond);
NYR_PEAK(SetLeaves)
NYR_PEAK(GetLeaves)
NYR_PEAK(AddNodes)
NYR_PEAK(RemoveNodes)
NYR_PEAK(ClearLeaves)
NYR_PEAK(EventsSend)
NYR_PEAK(LogStore)
#undef NYR_PEAK

// The time of one large set_leaves of tiny items through a daemon of each build, which both
// start at once so that the two families run against the same machine.
void BM_LargeSetLeaves_ThroughNyrd(benchmark::State& state, bool baseline) {
    static std::unique_ptr<benchsupport::Daemon> daemons[2] = {start(false), start(true)};
    benchsupport::Daemon* daemon = daemons[baseline ? 1 : 0].get();
    if (daemon == nullptr) return state.SkipWithError("NYR_BENCH_BASELINE_NYRD is not set");
    qel_handle_t h = qel_host_connect(daemon->socket.c_str());
    if (h == nullptr) return state.SkipWithError("cannot connect to nyrd");
    const Request request(Call::kSetLeaves);
    for (auto _ : state) {
        if (make(h, Call::kSetLeaves, request) != 0) {
            state.SkipWithError("set_leaves failed");
            break;
        }
    }
    qel_host_disconnect(h);
    state.SetItemsProcessed(state.iterations() * request.count());
}
BENCHMARK_CAPTURE(BM_LargeSetLeaves_ThroughNyrd, baseline_build, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LargeSetLeaves_ThroughNyrd, this_build, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

#endif  // TOOLKIT_BENCH_NYRD
