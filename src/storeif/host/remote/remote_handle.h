// Handles from qel_host_connect(): a store that nyrd serves, reached through the protocol of
// protocol/frame.h. Each qel_ entry point hands a remote handle to its counterpart in
// remote/remote_calls.h, which refuses bad arguments as the store does and then makes one
// request and reads one reply through an Exchange.
//
// A handle keeps a small pool of connections to its session on the daemon: a call takes an idle
// one, or opens one more attached to the same session, so that threads sharing the handle do not
// wait for each other (one of them may wait in qel_events_get). Memory handed back to a caller
// lies in that thread's own part of the handle (ThreadMemory) until its next call on the handle.
//
// Lost store: when a connection breaks (the daemon went away, or it sent something that is not a
// reply), the handle is lost: every connection is shut down, so calls in flight on other threads
// return at once, and every later call gives QEL_RESULT_LOST without touching the socket.
#ifndef NYR_HOST_REMOTE_REMOTE_HANDLE_H
#define NYR_HOST_REMOTE_REMOTE_HANDLE_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "nyr_host.h"
#include "protocol/frame.h"

namespace nyrremote {

// Remote handle values come from the registry's counter, whose values are multiples of 16, with
// this bit set: telling them from local ones costs one test.
constexpr uintptr_t kRemoteBit = 8;
inline bool is_remote(qel_handle_t handle) {
    return (reinterpret_cast<uintptr_t>(handle) & kRemoteBit) != 0;
}

// One thread's memory in a remote handle: its frames and what its last call handed back.
struct ThreadMemory {
    nyrproto::FrameOut out;
    nyrproto::FrameIn in;
    std::vector<api_status_t> statuses;
    std::deque<std::string> texts;
};

class RemoteHandle;

// One call on a remote handle, from lookup to a checked reply:
//
//     Exchange x(handle);
//     if (int refused = x.refusal()) return refused;   // bad handle, or lost
//     ... the store's own checks of the arguments ...
//     return x.call([&](WireWriter& w) { request }, [&](WireReader& r) { return result; });
class Exchange {
public:
    explicit Exchange(qel_handle_t handle);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // 0 when the call may go on; QEL_RESULT_BAD_HANDLE or QEL_RESULT_LOST when not.
    int refusal() const { return refusal_; }
    ThreadMemory& memory() { return *memory_; }

    // Sends the request `write` builds and reads the reply with `read`, which returns the call's
    // result. A broken connection or a reply that does not decode exactly gives QEL_RESULT_LOST
    // (QEL_RESULT_BAD_HANDLE when the handle was closed meanwhile); a request longer than the
    // daemon reads gives QEL_RESULT_NO_MEMORY.
    template <typename Write, typename Read>
    auto call(Write&& write, Read&& read) -> decltype(read(std::declval<nyrhost::WireReader&>())) {
        using Result = decltype(read(std::declval<nyrhost::WireReader&>()));
        if (const int failed = send(memory_->out.build(write, max_request()))) return failed;
        if (const int failed = receive()) return failed;
        nyrhost::WireReader r(memory_->in.body(), memory_->in.body_size());
        const Result result = read(r);
        if (r.ok() && r.remaining() == 0) return result;
        return garbled();
    }

private:
    std::size_t max_request() const;
    int send(bool built);
    int receive();
    int garbled();

    std::shared_ptr<RemoteHandle> handle_;
    ThreadMemory* memory_ = nullptr;
    int refusal_ = 0;
    int fd_ = -1;
};

// qel_host_connect, qel_host_disconnect and qel_host_default_socket.
qel_handle_t connect(const char* socket_path);
void disconnect(qel_handle_t handle);
int default_socket(char* buf, uint32_t size);

}  // namespace nyrremote

#endif  // NYR_HOST_REMOTE_REMOTE_HANDLE_H
