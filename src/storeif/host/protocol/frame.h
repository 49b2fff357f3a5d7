// The protocol between libnyr's remote handles and nyrd, over a Unix stream socket.
//
// Frames. Every message is one frame: a u32 body length (big-endian) and that many body bytes.
// Integers inside bodies are big-endian and of fixed width (codec/byte_cursor.h). A frame the
// daemon reads may be at most SessionLimits::max_frame bytes of body (16 MiB unless nyrd is told
// otherwise); a longer one, or a body that does not decode, ends that connection with a report
// and leaves every other connection alone. A reply may be at most kMaxReplyBody bytes (1 GiB):
// the daemon answers a call whose reply would be longer with QEL_RESULT_NO_MEMORY, and a client
// treats a longer reply as a broken connection.
//
// Handshake. The client's first frame is its hello: "NYRP", u32 protocol version, u64 session
// (0: a new session; otherwise the token of a session to attach this connection to). The daemon
// answers "NYRP", u32 its protocol version, u8 verdict (kAccepted, kOtherVersion,
// kUnknownSession, kRefused), u64 the session's token, u32 the largest request body it reads,
// text a reason for a person. Both hellos
// keep this layout in every version, so that either side can say what the other speaks. After
// an accepted hello, the client sends requests and the daemon answers each with one reply, in
// order; nothing else travels. A session is one store handle on the daemon's side, with its
// registrations, queue and watchdog; it ends when its last connection closes. A client handle
// used by several threads at once opens more connections to the same session, so that a thread
// waiting for events never holds up another's call. A client does not send a request longer than
// the daemon reads: it answers such a call with QEL_RESULT_NO_MEMORY and a report through qel_err,
// and the handle stays usable.
//
// Memory: a connection of the daemon keeps 4 KiB of buffers while idle; what a large call needed
// beyond kKeptBuffer it gives back when no further request follows within 10 ms. A client keeps
// up to 1 MiB of buffers per thread and handle, and at most eight idle connections per handle. A
// client that goes away while one of its connections waits in qel_events_get ends its session at
// once (its registrations and queue go), as closing an in-process handle does.
//
// Requests and replies: protocol/messages.h.
#ifndef NYR_HOST_PROTOCOL_FRAME_H
#define NYR_HOST_PROTOCOL_FRAME_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/byte_cursor.h"

namespace nyrproto {

constexpr char kHelloMagic[4] = {'N', 'Y', 'R', 'P'};
constexpr uint32_t kProtocolVersion = 3;
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
        size_ = kFrameHeader + measure.size();
        if (buf_.size() < size_) buf_.resize(size_);
        nyrhost::WireWriter header(buf_.data());
        header.u32(static_cast<uint32_t>(measure.size()));
        nyrhost::WireWriter body(buf_.data() + kFrameHeader);
        write(body);
        return true;
    }
    const char* body() const { return buf_.data() + kFrameHeader; }
    std::size_t body_size() const { return size_ - kFrameHeader; }
    // Sends the whole frame; false when the connection is broken.
    bool send(int fd) const;
    // Gives back the buffer when it holds more than `keep` bytes.
    void trim(std::size_t keep = kKeptBuffer);

private:
    std::vector<char> buf_;
    std::size_t size_ = 0;
};

// Frames arriving on one connection, read with as few system calls as the sizes allow (one for
// a frame that fits the buffer). A frame's body stays valid until the next read().
class FrameIn {
public:
    enum Status { kFrame, kClosed, kBroken, kOversize };
    // Reads the next frame of at most `max_body` bytes. kClosed: the peer closed between frames;
    // kBroken: a read error or a close inside a frame; kOversize: the header announced more than
    // `max_body` (its length is in body_size()).
    Status read(int fd, uint32_t max_body);
    const char* body() const { return buf_.data() + start_ + kFrameHeader; }
    std::size_t body_size() const { return body_size_; }
    // True when bytes beyond the last frame have arrived.
    bool has_more() const { return end_ > start_ + kFrameHeader + body_size_; }
    // Gives back the buffer when it holds more than `keep` bytes, keeping what has arrived
    // beyond the last frame.
    void trim(std::size_t keep = kKeptBuffer);

private:
    std::vector<char> buf_;
    std::size_t start_ = 0, end_ = 0;  // the unread bytes are [start_, end_)
    std::size_t body_size_ = 0;
    bool consumed_ = true;  // whether the frame at start_ has been handed out already
};

// The frames of the handshake.
void write_hello(nyrhost::WireWriter& w, const Hello& hello);
bool read_hello(const char* body, std::size_t size, Hello& out);
void write_hello_reply(nyrhost::WireWriter& w, const HelloReply& reply);
bool read_hello_reply(const char* body, std::size_t size, HelloReply& out);

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_FRAME_H
