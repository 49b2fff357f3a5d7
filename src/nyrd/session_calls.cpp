// The daemon's side of each operation: room for the outputs the caller's arrays hold in process,
// the local backend's call, and the reply built from the outputs before the next call on the
// handle can change them.
#include "session_calls.h"

#include <cstdlib>
#include <new>

#include "sliced_get_leaves.h"

namespace nyrd {

using namespace nyrproto;
using nyrhost::WireWriter;

namespace {

// The room the outputs need; nothing for most operations.
template <typename Operation>
void make_room(Operation&, Memory&) {}
void make_room(TestNodes& op, Memory& memory) {
    op.statuses = memory.alloc<api_status_t>(op.count);
}
void make_room(GetLeaves& op, Memory& memory) {
    op.values = memory.alloc<_element_datatype_t>(op.count);
    op.properties = memory.alloc<element_property_t>(op.count);
}
// The listings' arrays are made as long as what the node holds, not as the capacities asked.
void make_room(ListNode& op, Memory&) {
    op.arrays_made = true;
}
void make_room(MplFetch& op, Memory&) {
    op.arrays_made = true;
}
// A reply carries the events that fit in it; the rest stay queued for the next fetch.
template <Op K>
void make_room(EventsFetch<K>& op, Memory&) {
    op.room = kMaxReplyBody - 64;
}

template <typename Operation>
long long run(const nyrlocal::Handle& handle, Operation& op, Memory& memory) {
    make_room(op, memory);
    return nyrlocal::carry_out(handle, op);
}

// Event arrays the local backend handed back belong to the caller: this one.
void free_records(_event_t* records, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) destruct_event(&records[k]);
    std::free(records);
}
template <typename Operation>
void release(Operation&) {}
template <Op K>
void release(EventsFetch<K>& op) {
    free_records(op.records, op.count);
}
void release(LogRetrieve& op) {
    free_records(op.records, op.count);
}

template <typename Operation>
void answer(const nyrlocal::Handle& handle, Operation& op, Memory& memory, FrameOut& reply) {
    long long result = QEL_RESULT_NO_MEMORY;  // as the call would give in process
    if constexpr (Operation::hands_over) op.reply = &reply;
    try {
        result = run(handle, op, memory);
    } catch (const std::bad_alloc&) {
    }
    struct Release {
        Operation& op;
        ~Release() { release(op); }
    } released{op};
    if (!reply.build([&](WireWriter& w) { write_reply(w, op, result); }))
        reply.build([](WireWriter& w) { w.u64(static_cast<uint64_t>(QEL_RESULT_NO_MEMORY)); });
}

// A large get_leaves is answered a slice at a time (sliced_get_leaves.h).
void answer(const nyrlocal::Handle& handle, GetLeaves& op, Memory& memory, FrameOut& reply) {
    if (op.count <= kLeavesPerSlice) return answer<GetLeaves>(handle, op, memory, reply);
    try {
        answer_in_slices(handle, op, reply);
    } catch (const std::bad_alloc&) {
        reply.build([](WireWriter& w) { w.u64(static_cast<uint64_t>(QEL_RESULT_NO_MEMORY)); });
    }
}

// The store's figures, then the daemon's.
void answer(const nyrlocal::Handle& handle, Stats& op, Memory& memory, FrameOut& reply,
            const DaemonStats& daemon) {
    long long result = QEL_RESULT_NO_MEMORY;
    try {
        result = run(handle, op, memory);
        if (result == QEL_RESULT_OK && daemon) {
            op.stats.served = 1;
            op.stats.sessions = open_sessions();
            op.stats.requests_in_flight = requests_in_flight();
            daemon(op.stats, memory);
        }
    } catch (const std::bad_alloc&) {
        result = QEL_RESULT_NO_MEMORY;
    }
    if (!reply.build([&](WireWriter& w) { write_reply(w, op, result); }))
        reply.build([](WireWriter& w) { w.u64(static_cast<uint64_t>(QEL_RESULT_NO_MEMORY)); });
}
template <typename Operation>
void answer(const nyrlocal::Handle& handle, Operation& op, Memory& memory, FrameOut& reply,
            const DaemonStats&) {
    answer(handle, op, memory, reply);
}

}  // namespace

bool carry_out(const char* body, std::size_t size, const nyrlocal::Handle& handle, Memory& memory,
               FrameOut& reply, const DaemonStats& daemon, const DecodeAdmit* admit) {
    memory.clear();
    const Decoded decoded = decode_request(
        body, size, memory, [&](auto& op) { answer(handle, op, memory, reply, daemon); }, admit);
    if (decoded != Decoded::kRefused) return decoded == Decoded::kCarried;
    // No room for its decoding: answered as a call that ran out of memory, carried out not at all.
    memory.clear();
    reply.build([](WireWriter& w) { w.u64(static_cast<uint64_t>(QEL_RESULT_NO_MEMORY)); });
    return true;
}

}  // namespace nyrd
