// One thread for the whole service watches the connections that are waiting for events.
#include "session_hangup.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <thread>
#include <unordered_map>

#include "core/mutex.h"

namespace nyrd {

namespace {

class Watcher {
public:
    // The watcher, started on first use; null when epoll is not available.
    static Watcher* get() {
        static Watcher* instance = start();  // never destroyed: waits may outlive exit
        return instance;
    }

    uint64_t add(int fd, qel_handle_t handle) {
        nyrhost::MutexLock lock(mutex_);
        const uint64_t id = ++last_id_;
        epoll_event event{};
        event.events = EPOLLHUP | EPOLLONESHOT;  // a hang-up is reported whatever is asked for
        event.data.u64 = id;
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) return 0;
        watched_.emplace(id, handle);
        return id;
    }

    void remove(int fd, uint64_t id) {
        nyrhost::MutexLock lock(mutex_);
        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        watched_.erase(id);
    }

private:
    static Watcher* start() {
        const int epoll = epoll_create1(EPOLL_CLOEXEC);
        if (epoll < 0) return nullptr;
        auto* watcher = new Watcher(epoll);
        std::thread([watcher] { watcher->run(); }).detach();
        return watcher;
    }
    explicit Watcher(int epoll) : epoll_(epoll) {}

    void run() {
        epoll_event events[16];
        for (;;) {
            const int n = epoll_wait(epoll_, events, 16, -1);
            for (int k = 0; k < n; ++k) {
                // An id removed meanwhile (its descriptor perhaps reused since) is ignored.
                nyrhost::MutexLock lock(mutex_);
                auto it = watched_.find(events[k].data.u64);
                if (it == watched_.end()) continue;
                qel_host_handle_close(it->second);
                watched_.erase(it);
            }
        }
    }

    const int epoll_;
    nyrhost::Mutex mutex_;
    uint64_t last_id_ GUARDED_BY(mutex_) = 0;
    std::unordered_map<uint64_t, qel_handle_t> watched_ GUARDED_BY(mutex_);
};

}  // namespace

HangupWatch::HangupWatch(int fd, qel_handle_t handle) : fd_(fd) {
    try {
        if (Watcher* watcher = Watcher::get()) id_ = watcher->add(fd, handle);
    } catch (...) {
        id_ = 0;  // the wait runs its course
    }
}

HangupWatch::~HangupWatch() {
    if (id_ != 0) Watcher::get()->remove(fd_, id_);
}

}  // namespace nyrd
