#include "listener.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "core/mutex.h"
#include "peer_check.h"
#include "report_throttle.h"
#include "request_budget.h"
#include "socket_place.h"

namespace nyrd {

namespace {

// A connection's thread mostly waits for its client; a small stack keeps an idle connection's
// cost to the daemon low (pages of a stack are only paid for once touched). The sanitizers' own
// frames need more room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kConnectionStack = 1u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr std::size_t kConnectionStack = 1u << 20;
#else
constexpr std::size_t kConnectionStack = 256u << 10;
#endif
#else
constexpr std::size_t kConnectionStack = 256u << 10;
#endif

// How long stop() lets the connections finish the calls they are in. A connection whose client
// no longer reads its reply would otherwise keep the daemon from stopping; after this its socket
// is shut down for writing too, and the reply fails.
constexpr auto kStopGrace = std::chrono::seconds(5);

// How long the acceptor pauses when the process is out of descriptors or memory: the waiting
// connection stays queued, so accepting again at once would only spin.
constexpr int kExhaustedPauseMs = 100;

class ServingListener final : public Listener {
public:
    ServingListener(qel_store_t* store, ListenerOptions options)
        : store_(store),
          options_(std::move(options)),
          throttle_(options_.report),
          budget_(options_.max_request_memory != 0
                      ? std::make_unique<RequestBudget>(options_.max_request_memory)
                      : nullptr),
          limits_(options_.limits) {
        limits_.budget = budget_.get();
        limits_.daemon_stats = [this](qel_host_stats_t& stats, nyrhost::Scratch& memory) {
            add_stats(stats, memory);
        };
    }
    ~ServingListener() override { stop(); }

    bool begin(std::string& error);
    void stop() override;

private:
    struct Start {
        ServingListener* self;
        uint64_t id;
        int fd;
    };
    struct Connection {
        int fd;
        uid_t uid;
        pthread_t thread;
    };

    void say(int priority, const std::string& line) const {
        if (options_.report) options_.report(priority, line);
    }
    void accept_loop();
    bool accept_next(bool& exhausted);
    bool pause_or_stop(int milliseconds);
    void admit(int fd);
    std::string over_limit(uid_t uid) REQUIRES(mutex_);
    void add_stats(qel_host_stats_t& stats, nyrhost::Scratch& memory);
    void reap_finished();
    static void* run_connection(void* start);

    qel_store_t* const store_;
    const ListenerOptions options_;
    ReportThrottle throttle_;
    const std::unique_ptr<RequestBudget> budget_;
    SessionLimits limits_;  // the options' with the budget
    SocketPlace place_;
    int wake_fd_ = -1;   // stop() wakes the acceptor through it
    int ended_fd_ = -1;  // a connection's thread ended: the acceptor joins it
    std::thread acceptor_;
    std::atomic<bool> stopped_{false};
    uint64_t next_id_ = 0;  // acceptor thread only

    nyrhost::Mutex mutex_;
    nyrhost::CondVar ended_;  // a connection left live_
    // A connection's fd stays open while it is listed here.
    std::map<uint64_t, Connection> live_ GUARDED_BY(mutex_);
    std::map<uid_t, unsigned> per_user_ GUARDED_BY(mutex_);  // live_ counted by user
    std::vector<pthread_t> finished_ GUARDED_BY(mutex_);     // ended, not yet joined
};

bool ServingListener::begin(std::string& error) {
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ended_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0 || ended_fd_ < 0) {
        error = std::string("cannot create event descriptor: ") + std::strerror(errno);
        return false;
    }
    if (!place_.take(options_.socket_path, error, options_.group)) return false;
    acceptor_ = std::thread([this] { accept_loop(); });
    return true;
}

void ServingListener::accept_loop() {
    bool exhausted = false;
    for (;;) {
        try {
            if (!accept_next(exhausted)) return;
        } catch (const std::exception&) {
            // Out of memory for a report or a list entry: the connection, if any, was closed.
            if (!pause_or_stop(kExhaustedPauseMs)) return;
        }
    }
}

// Waits for the next connection, or for ended connections to join, and admits it. False when
// the listener stops.
bool ServingListener::accept_next(bool& exhausted) {
    pollfd fds[3] = {{place_.fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}, {ended_fd_, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
        if (errno == EINTR) return true;
        say(LOG_ERR, std::string("listening stopped: poll: ") + std::strerror(errno));
        return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[2].revents != 0) {
        uint64_t count;
        if (read(ended_fd_, &count, sizeof count) < 0 && errno != EAGAIN) {
            say(LOG_ERR, std::string("cannot read ended connections: ") + std::strerror(errno));
        }
        reap_finished();
    }
    if ((fds[0].revents & POLLIN) == 0) return true;
    int fd = accept4(place_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            if (!exhausted) {
                throttle_.hit(
                    "exhausted", LOG_ERR,
                    std::string("cannot accept connections for now: ") + std::strerror(errno));
            }
            exhausted = true;
            return pause_or_stop(kExhaustedPauseMs);
        }
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
            say(LOG_WARNING, std::string("accept: ") + std::strerror(errno));
        }
        return true;
    }
    exhausted = false;
    admit(fd);
    return true;
}

// Waits `milliseconds`; false when stop() was called meanwhile.
bool ServingListener::pause_or_stop(int milliseconds) {
    pollfd wake = {wake_fd_, POLLIN, 0};
    return poll(&wake, 1, milliseconds) == 0;
}

void ServingListener::add_stats(qel_host_stats_t& stats, nyrhost::Scratch& memory) {
    {
        nyrhost::MutexLock guard(mutex_);
        stats.connections = static_cast<uint32_t>(live_.size());
        auto* users = memory.alloc<qel_host_user_stats_t>(per_user_.size());
        stats.user_count = 0;
        for (const auto& [uid, count] : per_user_)
            users[stats.user_count++] = qel_host_user_stats_t{static_cast<uint32_t>(uid), count};
        stats.users = users;
    }
    if (budget_) {
        const RequestBudget::Use use = budget_->use();
        stats.request_memory = use.taken;
        stats.request_memory_limit = use.total;
        stats.requests_waited = use.waited;
        stats.requests_refused = use.refused;
    }
}

// Why one more connection of `uid` would be too many; empty when it may be served.
std::string ServingListener::over_limit(uid_t uid) {
    const std::size_t total = live_.size();
    if (total >= options_.max_connections + (uid == 0 ? kAdminRoom : 0)) {
        return "too many connections: the daemon serves " + std::to_string(total) +
               ", its limit (--max-connections) is " + std::to_string(options_.max_connections);
    }
    const auto mine = per_user_.find(uid);
    if (uid != 0 && mine != per_user_.end() && mine->second >= options_.max_connections_per_user) {
        return "too many connections of user " + std::to_string(uid) + ": " +
               std::to_string(mine->second) + ", the limit per user " +
               "(--max-connections-per-user) is " +
               std::to_string(options_.max_connections_per_user);
    }
    return {};
}

void ServingListener::admit(int fd) {
    uid_t uid = static_cast<uid_t>(-1);
    try {
        std::string refusal = check_peer(fd, geteuid(), options_.group, &uid);
        if (!refusal.empty()) {
            // Reported before the client hears it, so that the report is there when it has.
            throttle_.hit("not admitted", LOG_WARNING, "refused a connection: " + refusal);
            refuse_connection(fd, "not admitted: " + refusal);
            close(fd);
            return;
        }
        {
            nyrhost::MutexLock guard(mutex_);
            refusal = over_limit(uid);
        }
        if (!refusal.empty()) {
            throttle_.hit(refusal.substr(0, refusal.find(':')), LOG_WARNING,
                          "refused a connection: " + refusal);
            refuse_connection(fd, refusal);
            close(fd);
            return;
        }
    } catch (const std::bad_alloc&) {
        close(fd);
        return;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kConnectionStack);
    int rc = ENOMEM;
    try {
        const uint64_t id = next_id_++;
        auto start = std::make_unique<Start>(Start{this, id, fd});
        // Listed before the thread exists, and the thread waits for the lock before it can
        // remove itself; room for it among the finished is made now, so that a thread that
        // ends never needs memory.
        nyrhost::MutexLock guard(mutex_);
        finished_.reserve(live_.size() + finished_.size() + 1);
        auto listed = live_.emplace(id, Connection{fd, uid, pthread_t{}}).first;
        unsigned& of_user = per_user_[uid];
        rc = pthread_create(&listed->second.thread, &attributes, &ServingListener::run_connection,
                            start.get());
        if (rc == 0) {
            start.release();  // the thread owns it now
            ++of_user;
        } else {
            live_.erase(listed);
            if (of_user == 0) per_user_.erase(uid);
        }
    } catch (const std::bad_alloc&) {
        // Nothing was started: the connection is closed below.
    }
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        close(fd);
        say(LOG_ERR, std::string("cannot start a thread for a connection: ") + std::strerror(rc));
    }
}

void* ServingListener::run_connection(void* argument) {
    Start start = *static_cast<Start*>(argument);
    delete static_cast<Start*>(argument);
    ServingListener& self = *start.self;
    serve_connection(start.fd, self.store_, self.limits_, self.options_.report, &self.throttle_);
    nyrhost::MutexLock guard(self.mutex_);
    auto ended = self.live_.find(start.id);
    auto of_user = self.per_user_.find(ended->second.uid);
    if (--of_user->second == 0) self.per_user_.erase(of_user);
    self.live_.erase(ended);
    close(start.fd);
    self.finished_.push_back(pthread_self());
    self.ended_.notify_all();
    uint64_t one = 1;
    if (write(self.ended_fd_, &one, sizeof one) < 0) {
        // Cannot happen short of 2^64 - 1 unread ends; the thread is joined at the next one.
    }
    return nullptr;
}

// Joins the threads of connections that have ended, so that their stacks go back at once.
void ServingListener::reap_finished() {
    std::vector<pthread_t> ended;
    try {
        nyrhost::MutexLock guard(mutex_);
        ended = finished_;  // a copy: finished_ keeps the room admit() made in it
        finished_.clear();
    } catch (const std::bad_alloc&) {
        return;  // joined at a later end, or by stop()
    }
    for (pthread_t thread : ended) pthread_join(thread, nullptr);
}

void ServingListener::stop() {
    if (stopped_.exchange(true)) return;
    if (acceptor_.joinable()) {
        uint64_t one = 1;
        if (write(wake_fd_, &one, sizeof one) < 0) {
            say(LOG_ERR, std::string("cannot wake the acceptor: ") + std::strerror(errno));
        }
        acceptor_.join();
    }
    place_.withdraw();
    // Reading ends on every connection; each answers the call it has read and returns.
    std::vector<pthread_t> all;
    {
        nyrhost::MutexLock lock(mutex_);
        for (const auto& entry : live_) shutdown(entry.second.fd, SHUT_RD);
        const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
        while (!live_.empty() && ended_.wait_until(mutex_, deadline)) {
        }
        if (!live_.empty()) {
            say(LOG_WARNING, std::to_string(live_.size()) +
                                 " connection(s) did not take their last reply; closing them");
            for (const auto& entry : live_) shutdown(entry.second.fd, SHUT_RDWR);
        }
        // Every thread is either still listed or among the finished, never both.
        for (const auto& entry : live_) all.push_back(entry.second.thread);
        all.insert(all.end(), finished_.begin(), finished_.end());
        finished_.clear();
    }
    for (pthread_t thread : all) pthread_join(thread, nullptr);
    place_.release();
    for (int* fd : {&wake_fd_, &ended_fd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

}  // namespace

std::unique_ptr<Listener> Listener::start(qel_store_t* store, const ListenerOptions& options,
                                          std::string& error) {
    auto listener = std::make_unique<ServingListener>(store, options);
    if (!listener->begin(error)) return nullptr;
    return listener;
}

}  // namespace nyrd
