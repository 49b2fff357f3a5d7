// Remote handles: connecting and the handshake, the pool of connections, losing the store.
#include "remote/remote_handle.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/store.h"

namespace nyrremote {

using nyrhost::MutexLock;

namespace {

// Idle connections a handle keeps beyond the one in use; more are closed when they come back.
constexpr std::size_t kMaxIdle = 8;
// The buffers a thread keeps between its calls on a handle, so that repeated large batches do not
// allocate their frames anew each time.
constexpr std::size_t kKeptPerThread = 1 << 20;

// A connection's verdict on the handshake: the descriptor, or -1 with `error` for a person.
struct Dialled {
    int fd = -1;
    nyrproto::HelloReply reply;
    std::string error;
};

Dialled dial(const std::string& path, uint64_t session) {
    Dialled d;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        d.error = "no daemon at \"" + path + "\": not a usable socket path (at most " +
                  std::to_string(sizeof address.sun_path - 1) + " bytes)";
        return d;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        d.error = std::string("cannot make a socket: ") + std::strerror(errno);
        return d;
    }
    int connected;
    do {
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        d.error = "no daemon at " + path + ": " + std::strerror(errno);
        ::close(fd);
        return d;
    }
    // The daemon may answer and close at once (another version, refused): its answer is read
    // even when sending the hello failed.
    nyrproto::FrameOut out;
    out.build([&](nyrhost::WireWriter& w) {
        nyrproto::write_hello(w, nyrproto::Hello{nyrproto::kProtocolVersion, session});
    });
    out.send(fd);
    nyrproto::FrameIn in;
    const auto status = in.read(fd, nyrproto::kMaxHelloBody);
    if (status != nyrproto::FrameIn::kFrame ||
        !nyrproto::read_hello_reply(in.body(), in.body_size(), d.reply)) {
        d.error = status == nyrproto::FrameIn::kFrame || status == nyrproto::FrameIn::kOversize
                      ? "the program at " + path + " is not nyrd (its answer is not a nyrd hello)"
                      : "refused by the daemon at " + path + ": it closed the connection";
    } else if (d.reply.verdict == nyrproto::kOtherVersion ||
               d.reply.version != nyrproto::kProtocolVersion) {
        d.error = "the daemon at " + path + " speaks protocol version " +
                  std::to_string(d.reply.version) + ", this library version " +
                  std::to_string(nyrproto::kProtocolVersion);
    } else if (d.reply.verdict != nyrproto::kAccepted) {
        d.error = "refused by the daemon at " + path + ": " + d.reply.reason;
    } else {
        d.fd = fd;
        return d;
    }
    ::close(fd);
    return d;
}

}  // namespace

RemoteHandle::RemoteHandle(std::string path, uint64_t session, uint32_t max_request, int first)
    : path_(std::move(path)), session_(session), max_request_(max_request) {
    MutexLock lock(mutex_);
    idle_.push_back(first);
}

RemoteHandle::~RemoteHandle() {
    MutexLock lock(mutex_);
    for (int fd : idle_) ::close(fd);
}

int RemoteHandle::state() {
    MutexLock lock(mutex_);
    return state_locked();
}

ThreadMemory* RemoteHandle::begin_call(int& refusal) {
    MutexLock lock(mutex_);
    if ((refusal = state_locked()) != 0) return nullptr;
    ThreadMemory& mine = threads_[std::this_thread::get_id()];
    mine.memory.clear();
    mine.in.trim(kKeptPerThread);
    mine.out.trim(kKeptPerThread);
    return &mine;
}

int RemoteHandle::take() {
    {
        MutexLock lock(mutex_);
        if (closed_ || lost_) return -1;
        if (!idle_.empty()) {
            const int fd = idle_.back();
            idle_.pop_back();
            busy_.insert(fd);
            return fd;
        }
    }
    Dialled d = dial(path_, session_);
    MutexLock lock(mutex_);
    if (d.fd < 0 || closed_ || lost_) {
        if (d.fd >= 0) ::close(d.fd);
        lose_locked();
        return -1;
    }
    busy_.insert(d.fd);
    return d.fd;
}

void RemoteHandle::give_back(int fd) {
    MutexLock lock(mutex_);
    busy_.erase(fd);
    if (closed_ || lost_ || idle_.size() >= kMaxIdle)
        ::close(fd);
    else
        idle_.push_back(fd);
}

void RemoteHandle::broke(int fd) {
    MutexLock lock(mutex_);
    busy_.erase(fd);
    ::close(fd);
    lose_locked();
}

// One reply is held at a time: a second one failing while another is held is not kept.
bool RemoteHandle::swap_held(nyrproto::FrameIn& in, bool hold) {
    MutexLock lock(mutex_);
    if (hold == holding_) return false;
    std::swap(in, held_);
    holding_ = hold;
    return true;
}

void RemoteHandle::close() {
    MutexLock lock(mutex_);
    closed_ = true;
    end_connections_locked();
}

void RemoteHandle::lose_locked() {
    lost_ = true;
    end_connections_locked();
}

// Calls in flight return at once.
void RemoteHandle::end_connections_locked() {
    for (int fd : busy_) ::shutdown(fd, SHUT_RDWR);
    for (int fd : idle_) ::close(fd);
    idle_.clear();
}

int Exchange::send(bool built) {
    if (!built) {
        qel_err(QEL_RESULT_NO_MEMORY, "a request to nyrd is longer than the %u bytes it reads",
                handle_.max_request());
        return QEL_RESULT_NO_MEMORY;
    }
    fd_ = handle_.take();
    if (fd_ < 0) return handle_.state();  // closed or lost
    if (memory_->out.send(fd_)) return 0;
    return garbled();
}

int Exchange::receive() {
    const auto status = memory_->in.read(fd_, nyrproto::kMaxReplyBody);
    in_step_ = status == nyrproto::FrameIn::kFrame && !memory_->in.has_more();
    return in_step_ ? 0 : garbled();
}

int Exchange::garbled() {
    handle_.broke(fd_);
    fd_ = -1;
    return handle_.state();  // lost, unless closed meanwhile
}

qel_handle_t connect(const char* socket_path) {
    std::string path;
    if (socket_path != nullptr) {
        path = socket_path;
    } else {
        char buf[sizeof(sockaddr_un::sun_path) + 64];
        if (default_socket(buf, sizeof buf) != 0) {
            qel_err(QEL_RESULT_LOST, "no default socket for nyrd: its path is too long");
            return nullptr;
        }
        path = buf;
    }
    Dialled d = dial(path, 0);
    if (d.fd < 0) {
        qel_err(QEL_RESULT_LOST, "qel_host_connect: %s", d.error.c_str());
        return nullptr;
    }
    return nyrhost::add_remote(
        std::make_shared<RemoteHandle>(path, d.reply.session, d.reply.max_request, d.fd));
}

int default_socket(char* buf, uint32_t size) {
    if (buf == nullptr) return QEL_RESULT_BAD_ARGUMENT;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string path = runtime != nullptr && runtime[0] != '\0'
                           ? std::string(runtime) + "/nyr/nyr.sock"
                           : "/tmp/nyr-" + std::to_string(::getuid()) + "/nyr.sock";
    if (path.size() >= size) return QEL_RESULT_BAD_ARGUMENT;
    std::memcpy(buf, path.c_str(), path.size() + 1);
    return 0;
}

}  // namespace nyrremote
