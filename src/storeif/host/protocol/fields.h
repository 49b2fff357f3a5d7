// The field codec: reads and writes the argument and output lists of protocol/operations.h in the
// wire forms of docs/protocol.md. The writer and the reader take the same calls, so an operation's
// encoding and decoding are the one list of its fields. The client refuses bad arguments itself,
// as the store does, so only calls that reach the store travel.
#ifndef NYR_HOST_PROTOCOL_FIELDS_H
#define NYR_HOST_PROTOCOL_FIELDS_H

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "codec/byte_cursor.h"
#include "core/owned_event.h"
#include "core/scratch.h"
#include "protocol/operations.h"

namespace nyrproto {

// Memory that decoded pointers lie in, until its next use.
using Memory = nyrhost::Scratch;

// Asked before a decoder takes `bytes` of memory for what it decodes: false refuses them, and the
// decoding stops (a memory budget).
using DecodeAdmit = std::function<bool(std::size_t bytes)>;

constexpr uint32_t kNullText = 0xFFFFFFFFu;

// Writes fields in their wire form.
struct FieldWriter {
    nyrhost::WireWriter& w;
    void operator()(const char* text);
    void operator()(int32_t v) { w.i32(v); }
    void operator()(uint32_t v) { w.u32(v); }
    void operator()(uint64_t v) { w.u64(v); }
    void operator()(bool v) { w.u8(v ? 1 : 0); }
    void operator()(const qel_host_user_stats_t& v) {
        w.u32(v.uid);
        w.u32(v.connections);
    }
    void operator()(const qel_host_handle_stats_t& v) {
        w.u32(v.registrations);
        w.u32(v.queued_events);
        w.u64(v.queued_bytes);
        w.u64(v.overflow);
    }
    void operator()(const _element_datatype_t& v);
    void operator()(const qel_host_change_t& v);
    void operator()(const qel_host_entry_t& v);
    void operator()(const _event_t& v);
    void operator()(const _byte_array_t& v);
    void operator()(const struct timeval* v);
    template <typename T>
    void array(T* p, uint32_t n) {
        for (uint32_t k = 0; k < n; ++k) (*this)(p[k]);
    }
    template <typename T>
    void fill(T* p, uint32_t n) {
        array(p, n);
    }
    void records(const _event_t* p, uint32_t n) { array(p, n); }
    void encoded(const _event_t* p, uint32_t n, const char*, std::size_t) { array(p, n); }
};

// Reads fields; leaves the reader failed for bytes that do not follow their form. Texts and
// names point into the reader's input; everything else the decoder needs lies in `memory`.
struct FieldReader {
    nyrhost::WireReader& r;
    Memory& memory;
    // The event array of a reply (one at most), freed unless the whole reply is read.
    std::optional<nyrhost::RecordArray> handed;
    // A request's decoder: the bytes of string and blob values are left in the input too, since
    // the request's frame outlives the call; and each array it makes is asked of `admit` first.
    bool request = false;
    const DecodeAdmit* admit = nullptr;
    bool refused = false;  // `admit` refused room: the reader failed for want of memory

    void operator()(const char*& text);
    void operator()(int32_t& v) { v = r.i32(); }
    void operator()(uint32_t& v) { v = r.u32(); }
    void operator()(uint64_t& v) { v = r.u64(); }
    void operator()(bool& v) { v = r.u8() != 0; }
    void operator()(qel_host_user_stats_t& v) {
        v.uid = r.u32();
        v.connections = r.u32();
    }
    void operator()(qel_host_handle_stats_t& v) {
        v.registrations = r.u32();
        v.queued_events = r.u32();
        v.queued_bytes = r.u64();
        v.overflow = r.u64();
    }
    void operator()(_element_datatype_t& v);
    void operator()(qel_host_change_t& v);
    void operator()(qel_host_entry_t& v);
    void operator()(_event_t& v);
    void operator()(_byte_array_t& v);
    void operator()(const struct timeval*& v);
    template <typename T>
    void array(T*& p, uint32_t n) {
        using Entry = std::remove_const_t<T>;
        if (!room_for(n, min_size(Entry{})) || !afford(sizeof(Entry) * (n == 0 ? 1 : n))) return;
        Entry* entries = memory.alloc<Entry>(n);
        if constexpr (std::is_same_v<Entry, _event_t>) memory.records.emplace_back(entries, n);
        for (uint32_t k = 0; k < n && r.ok(); ++k) (*this)(entries[k]);
        p = entries;
    }
    template <typename T>
    void fill(T* p, uint32_t n) {
        if (!room_for(n, min_size(T{}))) return;
        for (uint32_t k = 0; k < n && r.ok(); ++k) (*this)(p[k]);
    }
    void records(_event_t*& p, uint32_t n);
    // `n` records, which a request's decoder checks and leaves where they are, in
    // [at, at + size); others decode them into `p` as array() does.
    void encoded(const _event_t*& p, uint32_t n, const char*& at, std::size_t& size);

private:
    const char* ptext(uint32_t& length);
    void in_place(_event_t& v);
    bool afford(std::size_t bytes) {
        if (admit == nullptr || (*admit)(bytes)) return true;
        refused = true;
        r.fail();
        return false;
    }
    bool room_for(uint32_t n, std::size_t each) {
        if (n <= r.remaining() / each) return true;
        r.fail();
        return false;
    }
    // The fewest bytes an entry takes on the wire, so that a count is checked against what could
    // follow before anything is allocated for it.
    static constexpr std::size_t min_size(const char*) { return 4; }
    static constexpr std::size_t min_size(int32_t) { return 4; }
    static constexpr std::size_t min_size(uint32_t) { return 4; }
    static constexpr std::size_t min_size(uint64_t) { return 8; }
    static constexpr std::size_t min_size(const qel_host_change_t&) { return 36; }
    static constexpr std::size_t min_size(const qel_host_entry_t&) { return 5; }
    static constexpr std::size_t min_size(bool) { return 1; }
    static constexpr std::size_t min_size(const qel_host_user_stats_t&) { return 8; }
    static constexpr std::size_t min_size(const qel_host_handle_stats_t&) { return 24; }
    static constexpr std::size_t min_size(const _element_datatype_t&) { return 18; }
    static constexpr std::size_t min_size(const _event_t&) { return 10; }
    static constexpr std::size_t min_size(const _byte_array_t&) { return 4; }
};

// Reads one record of a request, as a request's decoder does: its texts and value's bytes point
// into the reader's input, its lists are malloc'd (destruct_event releases them). False, with
// the reader failed, for bytes that are not one record. Throws std::bad_alloc.
bool read_request_record(nyrhost::WireReader& r, _event_t& record);

// Builds the request of `op` into `w`.
template <typename Operation>
void write_request(nyrhost::WireWriter& w, Operation& op) {
    w.u8(static_cast<uint8_t>(Operation::id));
    FieldWriter f{w};
    op.args(f);
}

// Builds the reply to `op` with `result` into `w`.
template <typename Operation>
void write_reply(nyrhost::WireWriter& w, Operation& op, long long result) {
    w.u64(static_cast<uint64_t>(result));
    FieldWriter f{w};
    if (Operation::carried(result)) op.outs(f);
}

// Reads the reply to `op` and its result; false for bytes that are not exactly one reply (an
// event array read before that is freed again).
template <typename Operation>
bool read_reply(const char* body, std::size_t size, Operation& op, Memory& memory,
                long long& result) {
    nyrhost::WireReader r(body, size);
    FieldReader f{r, memory, {}, false, nullptr, false};
    result = static_cast<long long>(r.u64());
    if (r.ok() && Operation::carried(result)) op.outs(f);
    if (!r.ok() || r.remaining() != 0) return false;
    uint32_t count = 0;
    if (f.handed) f.handed->release(count);
    return true;
}

enum class Decoded { kCarried, kMalformed, kRefused };

// Decodes a request body into the operation it names and hands that to `use`: kMalformed for
// anything that is not exactly one well-formed request, kRefused when `admit` refused the memory
// of its decoding (nothing is then handed to `use`). Never reads outside [body, body + size).
// Texts and the bytes of values point into the body, which must outlive the call; what the
// decoding allocates is its arrays alone, each of exactly the size the request's counts give.
template <typename Use>
Decoded decode_request(const char* body, std::size_t size, Memory& memory, Use&& use,
                       const DecodeAdmit* admit = nullptr) {
    nyrhost::WireReader r(body, size);
    FieldReader f{r, memory, {}, true, admit, false};
    switch (static_cast<Op>(r.u8())) {
#define NYR_DECODE(name)                                               \
    case Op::name: {                                                   \
        name op;                                                       \
        op.args(f);                                                    \
        if (f.refused) return Decoded::kRefused;                       \
        if (!r.ok() || r.remaining() != 0) return Decoded::kMalformed; \
        use(op);                                                       \
        return Decoded::kCarried;                                      \
    }
        NYR_OPERATIONS(NYR_DECODE)
#undef NYR_DECODE
        case Op::kNone:
            break;
    }
    return Decoded::kMalformed;
}

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_FIELDS_H
