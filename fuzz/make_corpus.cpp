// Writes the seed corpus of every fuzz target: a few well-formed inputs of each shape, from
// which the fuzzer mutates. Run from scripts/fuzz.sh --seed (the committed corpus came from it):
//   make_corpus <corpus directory>
#include <toolkit/element.h>
#include <toolkit/event.h>
#include <toolkit/serialize.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "core/store.h"
#include "protocol/fields.h"
#include "session_calls.h"

namespace {

using toolkit::CElement;
using toolkit::CEvent;

std::string g_root;
int g_written = 0;

void seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::string path = g_root + "/" + target + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    ++g_written;
}

template <typename T>
std::string raw(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The values of every type that the seeds are built from.
std::vector<CElement> sample_values() {
    std::vector<CElement> out;
    out.emplace_back(true, timeval{1700000000, 5});
    out.emplace_back(int32_t{-1234});
    out.emplace_back(uint32_t{4000000000u});
    out.emplace_back(2.75);
    out.push_back(CElement::from_time(timeval{1577836800, 250000}));
    out.emplace_back(std::string("hello, world"));
    out.emplace_back(std::vector<char>{'\0', '\x01', '\xff'});
    out.emplace_back(std::complex<double>(3.0, -4.0));
    out.emplace_back(std::int64_t{-5000000000});
    out.emplace_back(std::uint64_t{18446744073709551615u});
    return out;
}

std::vector<CEvent> sample_events() {
    std::vector<CEvent> out;
    for (int32_t kind : {0x1, 0x4, 0x8, 0x10, 0x20, 0x100}) {
        CEvent e(kind);
        e.path = "/plant/line1/pump";
        e.source = "app|user|host";
        e.value = CElement(std::string("on"));
        e.event_time = timeval{1700000000, 42};
        e.description = "pump started";
        e.event_id = 77;
        e.waveform_urls = {"http://w/1", ""};
        e.details = {{"a", "1"}, {"b", "2"}};
        e.note = "check";
        e.final = true;
        e.ack_status = 2;
        if (kind == 0x100) e.severity = -3;
        out.push_back(e);
    }
    return out;
}

void text_seeds() {
    const char* texts[] = {"255",
                           "0xff",
                           "-ff",
                           "1e3",
                           "12.5",
                           "99999999999999999999",
                           "NaN",
                           "-INF",
                           "3.5abc",
                           "(1.5,-2)",
                           "(1 ,2)",
                           "2020-02-30T00:00:00Z",
                           "2020-01-01T00:00:00",
                           "TRUE",
                           "a;;b",
                           "a<b & 'c'>\""};
    int i = 0;
    for (const char* t : texts) seed("fuzz_element_text", "seed" + std::to_string(i++), t);
}

void record_seeds() {
    int i = 0;
    for (const CElement& v : sample_values()) {
        const _element_datatype_t& r = v;
        std::string bytes(1, static_cast<char>(r.type));
        bytes += raw(r.timestamp) + raw(r._fill) + raw(r.value);
        if (r.type == DATATYPE_STRING) bytes += v.string_buffer();
        if (r.type == DATATYPE_BLOB)
            bytes += std::string(v.blob_buffer().begin(), v.blob_buffer().end());
        seed("fuzz_element_record", "seed" + std::to_string(i++), bytes);
    }
}

// The shape fuzz_event_record reads: raw record bytes, then texts as length-prefixed pieces.
std::string piece(const std::string& text) {
    return std::string(1, static_cast<char>(text.size())) + text;
}

void event_record_seeds() {
    int i = 0;
    for (const CEvent& e : sample_events()) {
        _event_t base = e.get_base();
        std::string bytes = raw(base);
        bytes += piece(e.path) + piece(e.source) + piece(e.description) + piece(e.note);
        bytes += std::string(1, static_cast<char>(DATATYPE_STRING)) + piece("on");
        bytes += std::string(1, '\x02') + piece(e.waveform_urls[0]) + std::string(1, '\xff');
        bytes += std::string(1, '\x02') + piece("b") + piece("2") + piece("a") + piece("1");
        destruct_event(&base);
        seed("fuzz_event_record", "seed" + std::to_string(i++), bytes);
    }
}

void source_seeds() {
    const char* parsed[] = {"a|b|c", "||", "", "x\\|y|\\\\|", "a|b", "a|b|c|d", "bad\\q||"};
    int i = 0;
    for (const char* p : parsed) {
        seed("fuzz_source_string", "parse" + std::to_string(i++), std::string(1, '\0') + p);
    }
    seed("fuzz_source_string", "build0",
         std::string(1, '\1') + piece("app") + piece("us|er") + piece("host\\"));
    seed("fuzz_source_string", "build1", std::string(1, '\1') + piece("") + piece("y") + piece(""));
}

void decoder_seeds() {
    int i = 0;
    for (const CElement& v : sample_values()) {
        for (bool with_time : {false, true}) {
            std::vector<char> out;
            if (toolkit::serialize_element(out, v, with_time) != 0) continue;
            seed("fuzz_decode_element", "seed" + std::to_string(i++),
                 std::string(out.begin(), out.end()));
        }
    }
    i = 0;
    for (const CEvent& e : sample_events()) {
        _event_t base = e.get_base();
        std::vector<char> out;
        if (toolkit::serialize_event(out, base) == 0) {
            seed("fuzz_decode_event", "seed" + std::to_string(i++),
                 std::string(out.begin(), out.end()));
        }
        destruct_event(&base);
    }
}

// Plausible arguments for any operation: each field of its list gets a sample of its kind.
struct Sampler {
    nyrproto::Memory& memory;
    std::string path = "/a";
    _event_t event{};
    struct timeval time {
        5, 0
    };
    void operator()(const char*& text) { text = path.c_str(); }
    void operator()(int32_t& v) { v = 0x12; }
    void operator()(uint32_t& v) { v = 2; }
    void operator()(uint64_t& v) { v = 1; }  // a revision the store has made
    void operator()(bool& v) { v = true; }
    void operator()(_element_datatype_t& v) {
        v = _element_datatype_t{};
        v.type = DATATYPE_INT;
        v.value.int_value = 7;
    }
    void operator()(_event_t& v) {
        v = _event_t{};
        v.type = 0x12;
        v.path = {&path[0], static_cast<uint32_t>(path.size())};
    }
    void operator()(const struct timeval*& v) { v = &time; }
    template <typename T>
    void array(T*& p, uint32_t n) {
        auto* entries = memory.alloc<std::remove_const_t<T>>(n);
        for (uint32_t k = 0; k < n; ++k) (*this)(entries[k]);
        p = entries;
    }
    // Records a request carries as they arrived: the sample gives them as an array.
    void encoded(const _event_t*& p, uint32_t n, const char*&, std::size_t&) { array(p, n); }
};

template <typename Encode>
std::string encoded(Encode&& encode) {
    nyrhost::WireWriter measure(nullptr);
    encode(measure);
    std::string bytes(measure.size(), '\0');
    nyrhost::WireWriter out(&bytes[0]);
    encode(out);
    return bytes;
}

// For every operation: its request (fuzz_request), and that request with the reply a store gave
// (fuzz_reply, as u32 request length, request, reply).
void operation_seeds() {
    qel_store_t* store = qel_host_store_open(nullptr);
    qel_host_set_event_wait(store, 0);
    qel_handle_t handle = qel_host_handle_open(store);
    api_status_t status = 0;
    _element_datatype_t value{};
    value.type = DATATYPE_STRING;
    value.value.string_value = {const_cast<char*>("text"), 4};
    qel_set_leaf(handle, "/a", value, 0, false, "", &status);
    qel_event_register(handle, "/", 0x12, true, &status);
    qel_watchdog_register(handle, &status, "w", 1, false);
    qel_syslog_add(handle, "one", 2, "two", "three");
    const nyrlocal::Handle local = nyrhost::find(handle).local;
#define NYR_SEED(name)                                                                      \
    {                                                                                       \
        nyrproto::Memory memory;                                                            \
        nyrproto::name op;                                                                  \
        Sampler sampler{memory};                                                            \
        op.args(sampler);                                                                   \
        const std::string request =                                                         \
            encoded([&](nyrhost::WireWriter& w) { nyrproto::write_request(w, op); });       \
        seed("fuzz_request", #name, request);                                               \
        std::string path = "/a";                                                            \
        _event_t event{};                                                                   \
        event.type = 0x12;                                                                  \
        event.path = {&path[0], 2};                                                         \
        api_status_t* statuses = nullptr;                                                   \
        uint32_t sent = 0;                                                                  \
        qel_events_send(handle, &event, 1, &statuses, &sent);                               \
        qel_log_store(handle, &event, 1, false);                                            \
        nyrproto::Memory work;                                                              \
        nyrproto::FrameOut reply;                                                           \
        nyrd::carry_out(request.data(), request.size(), local, work, reply);                \
        const std::string length = encoded(                                                 \
            [&](nyrhost::WireWriter& w) { w.u32(static_cast<uint32_t>(request.size())); }); \
        seed("fuzz_reply", #name,                                                           \
             length + request + std::string(reply.body(), reply.body_size()));              \
    }
    NYR_OPERATIONS(NYR_SEED)
#undef NYR_SEED
    qel_host_store_close(store);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    text_seeds();
    record_seeds();
    event_record_seeds();
    source_seeds();
    decoder_seeds();
    operation_seeds();
    std::printf("%d seeds written under %s\n", g_written, g_root.c_str());
    return 0;
}
