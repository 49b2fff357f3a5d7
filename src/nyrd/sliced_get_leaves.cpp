#include "sliced_get_leaves.h"

#include <algorithm>
#include <vector>

#include "protocol/fields.h"

namespace nyrd {

using nyrhost::WireWriter;
using nyrproto::FieldWriter;
using nyrproto::GetLeaves;

namespace {

constexpr std::size_t kResultAndCount = 8 + 4;
constexpr std::size_t kStatusBytes = 4, kPropertyBytes = 4;

// The room of one slice: the records the local backend fills.
struct Slice {
    std::vector<_element_datatype_t> values;
    std::vector<element_property_t> properties;
};

// Reads every slice of `whole` in turn and hands it to `use` with its first index. The handed-out
// memory of a slice (its scratch) lasts until the next one.
template <typename Use>
void each_slice(nyrhost::HandleCall& call, const GetLeaves& whole, uint32_t per_slice, Slice& room,
                Use&& use) HOLDS_STORE(call) {
    for (uint32_t first = 0; first < whole.count; first += per_slice) {
        GetLeaves slice;
        slice.count = std::min(per_slice, whole.count - first);
        slice.paths = whole.paths + first;
        slice.values = room.values.data();
        slice.properties = room.properties.data();
        call.scratch->clear();
        nyrlocal::run(call, slice);
        use(first, slice);
    }
}

void refuse(nyrproto::FrameOut& reply, long long result) {
    reply.build([&](WireWriter& w) { w.u64(static_cast<uint64_t>(result)); });
}

}  // namespace

void answer_in_slices(const nyrlocal::Handle& handle, GetLeaves& op, nyrproto::FrameOut& reply,
                      uint32_t per_slice) {
    Slice room;
    room.values.resize(std::min(per_slice, op.count));
    room.properties.resize(room.values.size());
    nyrhost::HandleCall call(handle);
    if (!call) return refuse(reply, QEL_RESULT_BAD_HANDLE);

    // Measured first, then written in place: the tree cannot change while the lock is held, so
    // both passes read the same values.
    std::size_t values_bytes = 0;
    each_slice(call, op, per_slice, room, [&](uint32_t, const GetLeaves& slice) {
        WireWriter measure(nullptr);
        FieldWriter f{measure};
        for (uint32_t k = 0; k < slice.count; ++k) f(slice.values[k]);
        values_bytes += measure.size();
    });
    const std::size_t statuses_at = kResultAndCount;
    const std::size_t values_at = statuses_at + kStatusBytes * std::size_t{op.count};
    const std::size_t properties_at = values_at + values_bytes;
    const std::size_t size = properties_at + kPropertyBytes * std::size_t{op.count};
    char* body = size <= nyrproto::kMaxReplyBody ? reply.make(size) : nullptr;
    if (body == nullptr) return refuse(reply, QEL_RESULT_NO_MEMORY);

    WireWriter head(body);
    head.u64(QEL_RESULT_OK);
    head.u32(op.count);
    WireWriter values(body + values_at);
    each_slice(call, op, per_slice, room, [&](uint32_t first, const GetLeaves& slice) {
        WireWriter statuses(body + statuses_at + kStatusBytes * first);
        WireWriter properties(body + properties_at + kPropertyBytes * first);
        FieldWriter s{statuses}, v{values}, p{properties};
        for (uint32_t k = 0; k < slice.count; ++k) {
            s(slice.statuses[k]);
            v(slice.values[k]);
            p(slice.properties[k]);
        }
    });
}

}  // namespace nyrd
