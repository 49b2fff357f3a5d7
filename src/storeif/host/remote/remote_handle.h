// The remote backend: handles from qel_host_connect() on the store that nyrd serves, reached
// through the protocol of protocol/frame.h. Every operation takes the one path of call(): its
// request encoded, one frame sent, one reply read and decoded (protocol/fields.h).
//
// A handle keeps a small pool of connections to its session on the daemon: a call takes an idle
// one, or opens one more attached to the same session, so that threads sharing the handle do not
// wait for each other (one of them may wait in qel_events_get). Memory handed back to a caller
// lies in that thread's own part of the handle (ThreadMemory) until its next call on the handle.
//
// Fetched events are the caller's once the daemon sent them: a reply the client cannot take in for
// want of memory is held, frame and all, and handed out by the next fetch on the handle, from any
// thread (qel_host_queued_count does not count it).
//
// Lost store: when a connection breaks (the daemon went away, or it sent something that is not a
// reply), the handle is lost: every connection is shut down, so calls in flight on other threads
// return at once, and every later call gives QEL_RESULT_LOST without touching the socket.
#ifndef NYR_HOST_REMOTE_REMOTE_HANDLE_H
#define NYR_HOST_REMOTE_REMOTE_HANDLE_H

#include <cstdint>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/mutex.h"
#include "nyr_host.h"
#include "protocol/fields.h"
#include "protocol/frame.h"

namespace nyrremote {

// One thread's memory in a remote handle: its frames and what its last call handed back.
struct ThreadMemory {
    nyrproto::FrameOut out;
    nyrproto::FrameIn in;
    nyrproto::Memory memory;
};

class RemoteHandle {
public:
    RemoteHandle(std::string path, uint64_t session, uint32_t max_request, int first);
    ~RemoteHandle();
    uint32_t max_request() const { return max_request_; }
    // 0, or why a call cannot go on: QEL_RESULT_BAD_HANDLE or QEL_RESULT_LOST.
    int state();
    // The calling thread's memory, emptied for a new call; null, with `refusal` set, when the
    // handle is closed or lost.
    ThreadMemory* begin_call(int& refusal);
    // A connection for one exchange, or -1 when the handle is closed or lost (made lost when no
    // further connection can be attached to the session).
    int take();
    // Hands a connection back after a completed exchange.
    void give_back(int fd);
    // A connection broke: the handle is lost.
    void broke(int fd);
    // Takes the held reply into `in` (hold false) or holds the reply in `in` (hold true); true
    // when done, false when there was none to take or one is held already.
    bool swap_held(nyrproto::FrameIn& in, bool hold);
    // Closing: calls in flight return (with QEL_RESULT_BAD_HANDLE) and close their connections;
    // the idle ones close with the last call still running on the handle.
    void close();

private:
    int state_locked() const REQUIRES(mutex_) {
        return closed_ ? QEL_RESULT_BAD_HANDLE : lost_ ? QEL_RESULT_LOST : 0;
    }
    void lose_locked() REQUIRES(mutex_);
    void end_connections_locked() REQUIRES(mutex_);

    const std::string path_;
    const uint64_t session_;
    const uint32_t max_request_;
    nyrhost::Mutex mutex_;
    bool closed_ GUARDED_BY(mutex_) = false;
    bool lost_ GUARDED_BY(mutex_) = false;
    std::vector<int> idle_ GUARDED_BY(mutex_);
    std::unordered_set<int> busy_ GUARDED_BY(mutex_);
    nyrproto::FrameIn held_ GUARDED_BY(mutex_);
    bool holding_ GUARDED_BY(mutex_) = false;
    std::unordered_map<std::thread::id, ThreadMemory> threads_ GUARDED_BY(mutex_);
};

// One exchange on a remote handle: the thread's memory and a connection, given back at the end.
class Exchange {
public:
    explicit Exchange(RemoteHandle& handle) : handle_(handle) {
        memory_ = handle_.begin_call(refusal_);
    }
    // A connection left between a request and the end of its reply (out of memory while reading
    // it) is out of step with the daemon: it is taken as broken, never used again.
    ~Exchange() {
        if (fd_ >= 0) in_step_ ? handle_.give_back(fd_) : handle_.broke(fd_);
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Sends the request that `write` builds and reads one reply frame: 0, or the call's result
    // (QEL_RESULT_BAD_HANDLE or QEL_RESULT_LOST; QEL_RESULT_NO_MEMORY for a request longer than
    // the daemon reads).
    template <typename Write>
    int exchange(Write&& write) {
        if (refusal_ != 0) return refusal_;
        if (const int failed = send(memory_->out.build(write, handle_.max_request())))
            return failed;
        return receive();
    }
    ThreadMemory* memory() { return memory_; }  // null when the handle refused the call
    // A reply that does not decode: the connection is taken as broken.
    int garbled();

private:
    int send(bool built);
    int receive();

    RemoteHandle& handle_;
    ThreadMemory* memory_ = nullptr;
    int refusal_ = 0;
    int fd_ = -1;
    bool in_step_ = false;  // the whole reply has been read
};

// Carries out `op` in nyrd.
template <typename Operation>
long long call(RemoteHandle& handle, Operation& op) {
    Exchange x(handle);
    ThreadMemory* memory = x.memory();
    if (!(Operation::hands_over && memory && handle.swap_held(memory->in, false)))
        if (const int failed = x.exchange([&](auto& w) { nyrproto::write_request(w, op); }))
            return failed;
    long long result = 0;
    try {
        if (!nyrproto::read_reply(memory->in.body(), memory->in.body_size(), op, memory->memory,
                                  result))
            return x.garbled();
    } catch (const std::bad_alloc&) {
        if (Operation::hands_over) handle.swap_held(memory->in, true);
        throw;
    }
    return result;
}

// qel_host_connect and qel_host_default_socket.
qel_handle_t connect(const char* socket_path);
int default_socket(char* buf, uint32_t size);

}  // namespace nyrremote

#endif  // NYR_HOST_REMOTE_REMOTE_HANDLE_H
