// Carrying out a request: decoded into its operation (protocol/operations.h), carried out by the
// local backend on the session's handle, answered with the operation's outputs.
#ifndef NYRD_SESSION_CALLS_H
#define NYRD_SESSION_CALLS_H

#include <cstddef>

#include "api/local.h"
#include "protocol/fields.h"
#include "protocol/frame.h"
#include "session.h"

namespace nyrd {

// Decodes the request `body` of `size` bytes, carries it out on `handle` and builds the reply in
// `reply`; false, with nothing carried out, for a request that does not decode. What the call
// needed lies in `memory` until the next call. A reply longer than the protocol allows becomes
// QEL_RESULT_NO_MEMORY. qel_host_stats() gets the daemon's figures from `daemon`, when given.
// Each array the decoding makes is asked of `admit`, when given: a request refused its room is
// answered with QEL_RESULT_NO_MEMORY and not carried out. Throws std::bad_alloc.
bool carry_out(const char* body, std::size_t size, const nyrlocal::Handle& handle,
               nyrproto::Memory& memory, nyrproto::FrameOut& reply, const DaemonStats& daemon = {},
               const nyrproto::DecodeAdmit* admit = nullptr);

}  // namespace nyrd

#endif  // NYRD_SESSION_CALLS_H
