// get_leaves of a large batch, answered without the batch's records: the local backend reads the
// leaves a slice at a time, all under one hold of the store's lock (so the batch still sees one
// state of the tree), and each slice goes straight into the reply. In process the caller's arrays
// hold the records; in the daemon they would cost 44 bytes for each path of 9 bytes or more, four
// times the request and more, beside the reply that carries the same values again.
#ifndef NYRD_SLICED_GET_LEAVES_H
#define NYRD_SLICED_GET_LEAVES_H

#include <cstdint>

#include "api/local.h"
#include "protocol/frame.h"

namespace nyrd {

// Paths read per slice; a batch of at most this many is answered as every other call is. Slicing
// reads the tree twice (once to measure the reply), which makes a batch just above this about 1.8
// times slower per leaf; below it, the records cost at most 2.9 MB.
constexpr uint32_t kLeavesPerSlice = 65536;

// Carries out `op` (its paths decoded, no room for its outputs) and builds the reply that
// write_reply() would build for it, byte for byte. A reply longer than the protocol allows, or
// one the reply's admission refuses, becomes QEL_RESULT_NO_MEMORY. Throws std::bad_alloc.
void answer_in_slices(const nyrlocal::Handle& handle, nyrproto::GetLeaves& op,
                      nyrproto::FrameOut& reply, uint32_t per_slice = kLeavesPerSlice);

}  // namespace nyrd

#endif  // NYRD_SLICED_GET_LEAVES_H
