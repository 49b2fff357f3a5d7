// One client connection: the handshake, the session it opens or joins, and its requests.
#include "session.h"

#include <malloc.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <syslog.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <new>
#include <optional>
#include <random>
#include <unordered_map>

#include "core/mutex.h"
#include "core/store.h"
#include "protocol/frame.h"
#include "report_throttle.h"
#include "request_budget.h"
#include "session_calls.h"
#include "session_hangup.h"

namespace nyrd {

namespace {

using nyrproto::FrameIn;
using nyrproto::FrameOut;

// Who is at the other end of a connection: a name for reports, and the user for sessions.
struct Peer {
    std::string name;
    uid_t uid = static_cast<uid_t>(-1);
    pid_t pid = 0;
};

Peer peer_of(int fd) {
    static std::atomic<unsigned long> counter{0};
    Peer peer;
    peer.name = "connection " + std::to_string(++counter);
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0) {
        peer.uid = credentials.uid;
        peer.pid = credentials.pid;
        if (credentials.pid > 0) peer.name += " (pid " + std::to_string(credentials.pid) + ")";
    }
    return peer;
}

// The sessions of every store this process serves: a store handle and the connections that
// share it. A session is joined only by its own user and with its token, which comes from the
// kernel's random source, so that no other admitted peer (a member of an admitted group) can
// reach it; the handle closes with the session's last connection.
class Sessions {
public:
    // A new session on `store` for `uid`: its token and handle, or a null handle for a store
    // that is not open.
    qel_handle_t open(qel_store_t* store, uid_t uid, pid_t pid, uint64_t& token) {
        qel_handle_t handle = qel_host_handle_open(store);
        if (handle == nullptr) return nullptr;
        nyrhost::set_peer(handle, uid, static_cast<uint32_t>(pid));
        nyrhost::MutexLock lock(mutex_);
        do token = fresh_token();
        while (token == 0 || sessions_.count(token) != 0);
        sessions_.emplace(token, Session{store, handle, uid, 1});
        return handle;
    }
    // Joins the session `token` on `store` of `uid`; null when there is none (any longer).
    qel_handle_t join(qel_store_t* store, uid_t uid, uint64_t token) {
        nyrhost::MutexLock lock(mutex_);
        auto it = sessions_.find(token);
        if (it == sessions_.end() || it->second.store != store || it->second.uid != uid)
            return nullptr;
        ++it->second.connections;
        return it->second.handle;
    }
    uint32_t count() {
        nyrhost::MutexLock lock(mutex_);
        return static_cast<uint32_t>(sessions_.size());
    }
    // A connection leaves; the last one ends the session.
    void leave(uint64_t token) {
        qel_handle_t ended = nullptr;
        {
            nyrhost::MutexLock lock(mutex_);
            auto it = sessions_.find(token);
            if (it == sessions_.end() || --it->second.connections > 0) return;
            ended = it->second.handle;
            sessions_.erase(it);
        }
        qel_host_handle_close(ended);
    }

private:
    struct Session {
        qel_store_t* store;
        qel_handle_t handle;
        uid_t uid;
        int connections;
    };
    uint64_t fresh_token() REQUIRES(mutex_) {
        uint64_t token = 0;
        if (getrandom(&token, sizeof token, 0) == static_cast<ssize_t>(sizeof token)) return token;
        return fallback_();  // no kernel source: still unpredictable enough to tell sessions apart
    }
    nyrhost::Mutex mutex_;
    std::mt19937_64 fallback_ GUARDED_BY(mutex_){std::random_device{}()};
    std::unordered_map<uint64_t, Session> sessions_ GUARDED_BY(mutex_);
};

Sessions& sessions() {
    static Sessions* instance = new Sessions();  // never destroyed: connections may outlive exit
    return *instance;
}

std::atomic<uint32_t> in_flight{0};

class Connection {
public:
    Connection(int fd, qel_store_t* store, const SessionLimits& limits, const Report& report,
               ReportThrottle* throttle)
        : fd_(fd),
          store_(store),
          limits_(limits),
          report_(report),
          throttle_(throttle),
          peer_(peer_of(fd)) {
        if (limits_.budget != nullptr) {
            in_.set_admit([this](std::size_t bytes) { return admit(bytes, held_in_); });
            out_.set_admit([this](std::size_t bytes) { return admit(bytes, held_out_); });
            // What a request's decoding makes, all its arrays together.
            decode_admit_ = [this](std::size_t bytes) {
                decoding_ += bytes;
                return admit(decoding_, held_decoding_);
            };
        }
    }

    void serve() {
        if (!handshake()) return;
        nyrproto::Memory memory;
        bool large = false;
        for (;;) {
            nyrproto::Patience patience;
            patience.idle_ms = limits_.idle_ms;
            patience.frame_ms = limits_.frame_ms;
            const FrameIn::Status status = in_.read(fd_, limits_.max_frame, patience);
            if (status == FrameIn::kClosed) break;
            if (status == FrameIn::kTimedOut) {
                if (in_.started())
                    out_of_time("half-sent", peer_.name +
                                                 ": a request did not arrive whole within " +
                                                 std::to_string(limits_.frame_ms) +
                                                 " ms; closing the connection");
                else
                    out_of_time("idle", peer_.name + ": silent for " +
                                            std::to_string(limits_.idle_ms) +
                                            " ms (--idle-timeout); closing the connection");
                break;
            }
            if (status == FrameIn::kBroken) {
                report_(LOG_WARNING, peer_.name + ": the connection broke inside a request");
                break;
            }
            if (status == FrameIn::kRefused) {
                // No room in the budget: answered as a call that ran out of memory.
                out_.build([](nyrhost::WireWriter& w) {
                    w.u64(static_cast<uint64_t>(QEL_RESULT_NO_MEMORY));
                });
                if (!out_.send(fd_)) break;
                continue;
            }
            if (status == FrameIn::kOversize) {
                report_(LOG_WARNING,
                        peer_.name + ": a request of " + std::to_string(in_.body_size()) +
                            " bytes is over the limit of " + std::to_string(limits_.max_frame) +
                            " bytes; closing the connection");
                break;
            }
            bool decoded = false;
            {
                // A client that goes away while waiting for events ends its session at once.
                std::optional<HangupWatch> watch;
                if (in_.body_size() != 0 &&
                    in_.body()[0] == static_cast<char>(nyrproto::Op::EventsGet))
                    watch.emplace(fd_, handle_);
                ++in_flight;
                struct Done {
                    ~Done() { --in_flight; }
                } done;
                // The last request's decoding is freed before this one's is charged.
                memory.clear();
                give_back_decoding();
                decoded = carry_out(in_.body(), in_.body_size(), local_, memory, out_,
                                    limits_.daemon_stats,
                                    limits_.budget != nullptr ? &decode_admit_ : nullptr);
            }
            if (!decoded) {
                const unsigned op = in_.body_size() ? static_cast<unsigned char>(in_.body()[0]) : 0;
                report_(LOG_WARNING, peer_.name + ": a malformed request (operation " +
                                         std::to_string(op) + ", " +
                                         std::to_string(in_.body_size()) +
                                         " bytes); closing the connection");
                break;
            }
            if (!out_.send(fd_)) break;
            // What a large call needed is kept while calls follow one another at once (a stream
            // of batches) and given back when the connection falls idle.
            large |=
                out_.body_size() > nyrproto::kKeptBuffer || in_.body_size() > nyrproto::kKeptBuffer;
            if (large && !request_follows()) {
                memory.clear();
                in_.trim();
                out_.trim();
                give_back();
                ::malloc_trim(0);  // and the C library gives the freed pages back to the system
                large = false;
            }
        }
    }

    ~Connection() {
        give_back();
        if (handle_ != nullptr) sessions().leave(token_);
    }

private:
    // Room for `bytes` of a frame buffer or of a request's decoding: what a connection keeps
    // anyway is free, more is taken from the budget, waiting for others to finish if need be.
    // `held` is what this buffer or decoding holds of the budget already.
    bool admit(std::size_t bytes, uint64_t& held) {
        if (bytes <= nyrproto::kKeptBuffer) return true;
        const uint64_t need = bytes;  // the whole buffer or decoding, of which `held` is taken
        if (need <= held) return true;
        if (!limits_.budget->take(need - held, std::chrono::steady_clock::now() + kBudgetWait)) {
            const auto use = limits_.budget->use();
            out_of_room("a call needing " + std::to_string(need) + " bytes found no room in the " +
                        std::to_string(use.total) +
                        " bytes for requests in flight (--max-request-memory); it was answered "
                        "with QEL_RESULT_NO_MEMORY");
            return false;
        }
        held = need;
        return true;
    }
    void give_back() {
        give_back_decoding();
        if (limits_.budget == nullptr) return;
        limits_.budget->give_back(held_in_ + held_out_);
        held_in_ = held_out_ = 0;
    }
    // Once the decoded request is freed.
    void give_back_decoding() {
        decoding_ = 0;
        if (limits_.budget == nullptr) return;
        limits_.budget->give_back(held_decoding_);
        held_decoding_ = 0;
    }
    void out_of_room(const std::string& line) {
        if (throttle_)
            throttle_->hit("budget", LOG_WARNING, line);
        else
            report_(LOG_WARNING, peer_.name + ": " + line);
    }

    // A connection closed for its silence: reported once per cause and minute.
    void out_of_time(const char* cause, const std::string& line) {
        if (throttle_)
            throttle_->hit(cause, LOG_NOTICE, line);
        else
            report_(LOG_NOTICE, line);
    }

    // True when bytes of a next request arrive (or the peer closes) within a moment.
    bool request_follows() const {
        pollfd ready{fd_, POLLIN, 0};
        int n;
        do n = ::poll(&ready, 1, 10);
        while (n < 0 && errno == EINTR);
        return n > 0;
    }

    bool handshake() {
        nyrproto::Patience patience;
        patience.idle_ms = patience.frame_ms = limits_.handshake_ms;
        const FrameIn::Status status = in_.read(fd_, nyrproto::kMaxHelloBody, patience);
        nyrproto::Hello hello;
        if (status == FrameIn::kClosed) return false;
        if (status == FrameIn::kTimedOut) {
            out_of_time("handshake", peer_.name + ": no hello within " +
                                         std::to_string(limits_.handshake_ms) + " ms; closing");
            return false;
        }
        if (status != FrameIn::kFrame ||
            !nyrproto::read_hello(in_.body(), in_.body_size(), hello)) {
            report_(LOG_WARNING, peer_.name + ": not a nyr client (no valid hello); closing");
            return false;
        }
        nyrproto::HelloReply reply;
        reply.max_request = limits_.max_frame;
        if (hello.version != nyrproto::kProtocolVersion) {
            reply.verdict = nyrproto::kOtherVersion;
            reply.reason = "nyrd speaks protocol version " +
                           std::to_string(nyrproto::kProtocolVersion) + ", the client version " +
                           std::to_string(hello.version);
            report_(LOG_NOTICE, peer_.name + ": refused: " + reply.reason);
        } else if (hello.session == 0) {
            handle_ = sessions().open(store_, peer_.uid, peer_.pid, token_);
            if (handle_ == nullptr) {
                reply.verdict = nyrproto::kRefused;
                reply.reason = "the store is closing";
            }
        } else {
            handle_ = sessions().join(store_, peer_.uid, hello.session);
            token_ = hello.session;
            if (handle_ == nullptr) {
                reply.verdict = nyrproto::kUnknownSession;
                reply.reason = "the session has ended";
            }
        }
        if (handle_ != nullptr) local_ = nyrhost::find(handle_).local;
        if (handle_ != nullptr && !local_) {
            reply.verdict = nyrproto::kUnknownSession;
            reply.reason = "the session has ended";
        }
        reply.session = token_;
        out_.build([&](nyrhost::WireWriter& w) { nyrproto::write_hello_reply(w, reply); });
        return out_.send(fd_) && local_ != nullptr;
    }

    const int fd_;
    qel_store_t* const store_;
    const SessionLimits limits_;
    const Report& report_;
    ReportThrottle* const throttle_;
    const Peer peer_;
    FrameIn in_;
    FrameOut out_;
    uint64_t held_in_ = 0, held_out_ = 0;  // of the budget, for the buffers of in_ and out_
    nyrproto::DecodeAdmit decode_admit_;
    uint64_t decoding_ = 0;       // the bytes the request's decoding has made so far
    uint64_t held_decoding_ = 0;  // of the budget, for them
    qel_handle_t handle_ = nullptr;
    nyrlocal::Handle local_;  // the session handle's state, for the local backend
    uint64_t token_ = 0;
};

}  // namespace

uint32_t open_sessions() {
    return sessions().count();
}

uint32_t requests_in_flight() {
    return in_flight;
}

void refuse_connection(int fd, const std::string& reason) {
    try {
        nyrproto::HelloReply reply;
        reply.verdict = nyrproto::kRefused;
        reply.reason = reason;
        FrameOut out;
        out.build([&](nyrhost::WireWriter& w) { nyrproto::write_hello_reply(w, reply); });
        out.send(fd);
    } catch (...) {
        // Out of memory for a few bytes: the client sees the connection close instead.
    }
}

void serve_connection(int fd, qel_store_t* store, const SessionLimits& limits, const Report& given,
                      ReportThrottle* throttle) {
    const Report report = given ? given : Report([](int, const std::string&) {});
    try {
        Connection(fd, store, limits, report, throttle).serve();
    } catch (const std::bad_alloc&) {
        report(LOG_ERR, "out of memory serving a connection; closing it");
    } catch (const std::exception& e) {
        report(LOG_ERR, std::string("closing a connection: ") + e.what());
    } catch (...) {
        report(LOG_ERR, "closing a connection after an unexpected failure");
    }
}

}  // namespace nyrd
