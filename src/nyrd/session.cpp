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

class Connection {
public:
    Connection(int fd, qel_store_t* store, const SessionLimits& limits, const Report& report)
        : fd_(fd), store_(store), limits_(limits), report_(report), peer_(peer_of(fd)) {}

    void serve() {
        if (!handshake()) return;
        nyrproto::Memory memory;
        bool large = false;
        for (;;) {
            const FrameIn::Status status = in_.read(fd_, limits_.max_frame);
            if (status == FrameIn::kClosed) break;
            if (status == FrameIn::kBroken) {
                report_(LOG_WARNING, peer_.name + ": the connection broke inside a request");
                break;
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
                decoded = carry_out(in_.body(), in_.body_size(), local_, memory, out_);
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
                ::malloc_trim(0);  // and the C library gives the freed pages back to the system
                large = false;
            }
        }
    }

    ~Connection() {
        if (handle_ != nullptr) sessions().leave(token_);
    }

private:
    // True when bytes of a next request arrive (or the peer closes) within a moment.
    bool request_follows() const {
        pollfd ready{fd_, POLLIN, 0};
        int n;
        do n = ::poll(&ready, 1, 10);
        while (n < 0 && errno == EINTR);
        return n > 0;
    }

    bool handshake() {
        const FrameIn::Status status = in_.read(fd_, nyrproto::kMaxHelloBody);
        nyrproto::Hello hello;
        if (status == FrameIn::kClosed) return false;
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
    const Peer peer_;
    FrameIn in_;
    FrameOut out_;
    qel_handle_t handle_ = nullptr;
    nyrlocal::Handle local_;  // the session handle's state, for the local backend
    uint64_t token_ = 0;
};

}  // namespace

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

void serve_connection(int fd, qel_store_t* store, const SessionLimits& limits,
                      const Report& given) {
    const Report report = given ? given : Report([](int, const std::string&) {});
    try {
        Connection(fd, store, limits, report).serve();
    } catch (const std::bad_alloc&) {
        report(LOG_ERR, "out of memory serving a connection; closing it");
    } catch (const std::exception& e) {
        report(LOG_ERR, std::string("closing a connection: ") + e.what());
    } catch (...) {
        report(LOG_ERR, "closing a connection after an unexpected failure");
    }
}

}  // namespace nyrd
