// Events: building and releasing a record, taking one back, the text dump and serialisation of
// an alarm with 4 waveform URLs and 8 details. The baseline copies as many bytes as the event
// holds (its texts plus one record) with memcpy.
#include <benchmark/benchmark.h>
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

toolkit::CEvent sample_alarm() {
    toolkit::CEvent e(0x10);
    e.path = "/plant/line3/press/hydraulics/pressure";
    e.cmd = 3;
    e.value = toolkit::CElement("pressure above limit: 231.5 bar", timeval{1700000000, 250});
    e.source = "operator|hmi-panel-2|host-17";
    e.quality = 192;
    e.description = "Hydraulic pressure exceeded the upper alarm limit";
    e.event_id = 987654321012345ULL;
    e.sequence_id = 4242;
    for (int i = 0; i < 4; ++i)
        e.waveform_urls.push_back("http://scope.local/waveforms/press/" + std::to_string(i) +
                                  ".bin");
    for (int i = 0; i < 8; ++i)
        e.details["detail_key_" + std::to_string(i)] = "detail value number " + std::to_string(i);
    e.event_time = timeval{1700000000, 123456};
    e.ack_status = 1;
    e.base_priority = 500;
    e.condition_raised = true;
    e.note = "Check relief valve before restart";
    e.variation_level = 2;
    return e;
}

std::size_t bytes_held(const toolkit::CEvent& e) {
    std::size_t n = sizeof(_event_t) + e.path.size() + e.source.size() + e.description.size() +
                    e.note.size() + e.value.string_buffer().size();
    for (const std::string& url : e.waveform_urls) n += url.size();
    for (const auto& entry : e.details) n += entry.first.size() + entry.second.size();
    return n;
}

void BM_Event_GetBaseDestruct(benchmark::State& state) {
    const toolkit::CEvent e = sample_alarm();
    for (auto _ : state) {
        _event_t record = e.get_base();
        benchmark::DoNotOptimize(record);
        destruct_event(&record);
    }
}
BENCHMARK(BM_Event_GetBaseDestruct);

void BM_Event_AssignFromRecord(benchmark::State& state) {
    const toolkit::CEvent e = sample_alarm();
    _event_t record = e.get_base();
    toolkit::CEvent target;
    for (auto _ : state) {
        target = record;
        benchmark::DoNotOptimize(target);
    }
    destruct_event(&record);
}
BENCHMARK(BM_Event_AssignFromRecord);

// A record from the event's own get_base points into the event itself: its list texts are staged
// before the lists are written over.
void BM_Event_AssignFromOwnRecord(benchmark::State& state) {
    toolkit::CEvent target = sample_alarm();
    _event_t record = target.get_base();
    for (auto _ : state) {
        target = record;
        benchmark::DoNotOptimize(target);
    }
    destruct_event(&record);
}
BENCHMARK(BM_Event_AssignFromOwnRecord);

void BM_Event_ToString(benchmark::State& state) {
    const toolkit::CEvent e = sample_alarm();
    for (auto _ : state) {
        std::string line = e.to_string();
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_Event_ToString);

void BM_Event_Serialize_ReusedVector(benchmark::State& state) {
    const toolkit::CEvent e = sample_alarm();
    _event_t record = e.get_base();
    std::vector<char> out;
    for (auto _ : state) {
        if (toolkit::serialize_event(out, record) != 0) state.SkipWithError("serialize failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
    destruct_event(&record);
}
BENCHMARK(BM_Event_Serialize_ReusedVector);

void BM_Baseline_MemcpyEventBytes(benchmark::State& state) {
    const std::size_t n = bytes_held(sample_alarm());
    std::vector<char> from(n, 'x'), to(n);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), n);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(n);
}
BENCHMARK(BM_Baseline_MemcpyEventBytes);

}  // namespace
