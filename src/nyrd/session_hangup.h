// Ends a session whose client goes away while one of its connections waits in qel_events_get:
// the waiting thread reads nothing until the wait is over, so without this the session's handle
// (its registrations and queue) would outlive its client by up to the store's event wait.
#ifndef NYRD_SESSION_HANGUP_H
#define NYRD_SESSION_HANGUP_H

#include <nyr_host.h>

#include <cstdint>

namespace nyrd {

// While it lives, a hang-up of the peer on `fd` closes `handle`, which wakes a wait on it. Only
// the peer's close (or its shutdown of both directions) counts; the service's own shutdown of
// reading does not, so that a stopping daemon still answers a waiting call. If no watch can be
// set up (no memory, no epoll), the wait simply runs its course.
class HangupWatch {
public:
    HangupWatch(int fd, qel_handle_t handle);
    ~HangupWatch();
    HangupWatch(const HangupWatch&) = delete;
    HangupWatch& operator=(const HangupWatch&) = delete;

private:
    int fd_;
    uint64_t id_ = 0;  // 0: not watched
};

}  // namespace nyrd

#endif  // NYRD_SESSION_HANGUP_H
