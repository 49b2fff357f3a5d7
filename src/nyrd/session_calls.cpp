// The daemon's side of each operation: room for the outputs the caller's arrays hold in process,
// the local backend's call, and the reply built from the outputs before the next call on the
// handle can change them.
#include "session_calls.h"

#include <cstdlib>
#include <new>

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

}  // namespace

bool carry_out(const char* body, std::size_t size, const nyrlocal::Handle& handle, Memory& memory,
               FrameOut& reply) {
    memory.clear();
    return decode_request(body, size, memory, [&](auto& op) { answer(handle, op, memory, reply); });
}

}  // namespace nyrd
