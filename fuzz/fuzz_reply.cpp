// The client's decoder of replies on arbitrary bytes: an input is a request (u32 length, then
// its body) and the reply to it. No reply may crash, leak or read outside its bytes, and one that
// is refused hands nothing back.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "protocol/fields.h"

namespace {

using namespace nyrproto;

// The caller's arrays the outputs fill, as an in-process caller would give them.
constexpr uint32_t kMostEntries = 4096;
template <typename Operation>
bool room(Operation&, Memory&) {
    return true;
}
bool room(TestNodes& op, Memory& m) {
    op.statuses = m.alloc<api_status_t>(op.count);
    return true;
}
bool room(GetLeaves& op, Memory& m) {
    op.values = m.alloc<_element_datatype_t>(op.count);
    op.properties = m.alloc<element_property_t>(op.count);
    return true;
}
bool room(ListNode& op, Memory& m) {
    if (std::max({op.types_capacity, op.properties_capacity, op.names_capacity}) > kMostEntries)
        return false;
    op.types = m.alloc<element_type_t>(op.types_capacity);
    op.properties = m.alloc<element_property_t>(op.properties_capacity);
    op.names = m.alloc<_byte_array_t>(op.names_capacity);
    return true;
}
bool room(MplFetch& op, Memory& m) {
    if (std::max(op.values_capacity, op.names_capacity) > kMostEntries) return false;
    op.values = m.alloc<_element_datatype_t>(op.values_capacity);
    op.names = m.alloc<_byte_array_t>(op.names_capacity);
    return true;
}

// Event arrays handed back belong to the caller.
void free_records(_event_t* records, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) destruct_event(&records[k]);
    std::free(records);
}
template <typename Operation>
void release(Operation&, long long) {}
template <Op K>
void release(EventsFetch<K>& op, long long result) {
    if (result > 0) free_records(op.records, op.count);
}
void release(LogRetrieve& op, long long result) {
    if (result == 0) free_records(op.records, op.count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t length = (std::size_t{data[0]} << 24) | (std::size_t{data[1]} << 16) |
                               (std::size_t{data[2]} << 8) | data[3];
    if (length > size - 4) return 0;
    // Exact-size copies of both parts, so that a read past either is caught.
    const std::vector<char> request(data + 4, data + 4 + length);
    const std::vector<char> reply(data + 4 + length, data + size);
    Memory arguments, outputs;
    decode_request(request.data(), request.size(), arguments, [&](auto& op) {
        if (!room(op, arguments)) return;
        long long result = 0;
        if (read_reply(reply.data(), reply.size(), op, outputs, result)) release(op, result);
    });
    return 0;
}
