// Frames on a Unix stream socket and the handshake between libnyr's remote handles and nyrd. The
// protocol is described in docs/protocol.md.
#ifndef NYR_HOST_PROTOCOL_FRAME_H
#define NYR_HOST_PROTOCOL_FRAME_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/byte_cursor.h"

namespace nyrproto {

constexpr char kHelloMagic[4] = {'N', 'Y', 'R', 'P'};
constexpr uint32_t kProtocolVersion = 5;
constexpr uint32_t kMaxReplyBody = 1u << 30;
// The longest hello either side reads; a peer sending more is not speaking this protocol.
constexpr uint32_t kMaxHelloBody = 1024;
constexpr std::size_t kFrameHeader = 4;
// What a connection's buffers keep between calls at most.
constexpr std::size_t kKeptBuffer = 16 * 1024;

enum Verdict : uint8_t {
    kAccepted = 0,
    kOtherVersion = 1,    // the daemon speaks another version; nothing else happens
    kUnknownSession = 2,  // attaching to a session that has ended
    kRefused = 3          // the daemon does not admit this peer
};

struct Hello {
    uint32_t version = kProtocolVersion;
    uint64_t session = 0;
};
struct HelloReply {
    uint32_t version = kProtocolVersion;
    uint8_t verdict = kAccepted;
    uint64_t session = 0;
    uint32_t max_request = 0;
    std::string reason;
};

using Clock = std::chrono::steady_clock;

// How long reading or sending a frame may take. Without any, it waits for as long as the peer
// takes, as a blocking socket does.
struct Patience {
    int idle_ms = -1;   // until the first byte of the frame arrives; -1: for ever
    int frame_ms = -1;  // from the frame's first byte to its last; -1: for ever
    Clock::time_point until = Clock::time_point::max();  // and in any case no later than this
    bool bounded() const {
        return idle_ms >= 0 || frame_ms >= 0 || until != Clock::time_point::max();
    }
};

// Asked before a frame's buffer grows to `bytes`: false refuses the frame (a memory budget).
using Admit = std::function<bool(std::size_t bytes)>;

// A frame being built: the body is written after room for the header, which finish() fills in.
// The buffer's memory is reused from one frame to the next.
class FrameOut {
public:
    // Measures `write` (a callable taking nyrhost::WireWriter&, called twice), then writes header
    // and body; false, with nothing written, for a body longer than `max_body`.
    template <typename Write>
    bool build(Write&& write, std::size_t max_body = kMaxReplyBody) {
        nyrhost::WireWriter measure(nullptr);
        write(measure);
        if (measure.size() > max_body) return false;
        char* at = make(measure.size());
        if (at == nullptr) return false;
        nyrhost::WireWriter body(at);
        write(body);
        return true;
    }
    // A frame of `body_size` bytes whose body the caller writes in place at the pointer
    // returned; null, with no frame made, when the admission refuses the room.
    char* make(std::size_t body_size);
    // Asked before the buffer grows; without it the buffer grows as it needs.
    void set_admit(Admit admit) { admit_ = std::move(admit); }
    std::size_t capacity() const { return buf_.size(); }
    const char* body() const { return buf_.data() + kFrameHeader; }
    std::size_t body_size() const { return size_ - kFrameHeader; }
    // Makes room for a body of `size` bytes, so that building it needs no memory.
    void reserve(std::size_t size) {
        if (buf_.size() < kFrameHeader + size) buf_.resize(kFrameHeader + size);
    }
    // Sends the whole frame; false when the connection is broken or `until` passed first (a
    // part of the frame may then have been sent).
    bool send(int fd, Clock::time_point until = Clock::time_point::max()) const;
    // Gives back the buffer when it holds more than `keep` bytes.
    void trim(std::size_t keep = kKeptBuffer);

private:
    std::vector<char> buf_;
    std::size_t size_ = 0;
    Admit admit_;
};

// Frames arriving on one connection, read with as few system calls as the sizes allow (one for
// a frame that fits the buffer). A frame's body stays valid until the next read().
class FrameIn {
public:
    enum Status { kFrame, kClosed, kBroken, kOversize, kTimedOut, kRefused };
    // Reads the next frame of at most `max_body` bytes. kClosed: the peer closed between frames;
    // kBroken: a read error or a close inside a frame; kOversize: the header announced more than
    // `max_body` (its length is in body_size()); kTimedOut: `patience` ran out (started() says
    // whether part of a frame had arrived); kRefused: the admission refused room for the frame,
    // whose body was read and dropped (its length is in body_size()).
    Status read(int fd, uint32_t max_body, const Patience& patience = {});
    // Asked with a frame's whole size before the buffer grows for it.
    void set_admit(Admit admit) { admit_ = std::move(admit); }
    std::size_t capacity() const { return buf_.size(); }
    // True when bytes of a frame not yet handed out have arrived.
    bool started() const { return end_ > start_ + (consumed_ ? 0 : kFrameHeader + body_size_); }
    const char* body() const { return buf_.data() + start_ + kFrameHeader; }
    std::size_t body_size() const { return body_size_; }
    // True when bytes beyond the last frame have arrived.
    bool has_more() const { return end_ > start_ + kFrameHeader + body_size_; }
    // Gives back the buffer when it holds more than `keep` bytes, keeping what has arrived
    // beyond the last frame; makes sure it has room for a small frame, so that reading one
    // needs no memory.
    void trim(std::size_t keep = kKeptBuffer);

private:
    std::vector<char> buf_;
    std::size_t start_ = 0, end_ = 0;  // the unread bytes are [start_, end_)
    std::size_t body_size_ = 0;
    bool consumed_ = true;  // whether the frame at start_ has been handed out already
    Admit admit_;
};

// The frames of the handshake.
void write_hello(nyrhost::WireWriter& w, const Hello& hello);
bool read_hello(const char* body, std::size_t size, Hello& out);
void write_hello_reply(nyrhost::WireWriter& w, const HelloReply& reply);
bool read_hello_reply(const char* body, std::size_t size, HelloReply& out);

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_FRAME_H
