// Frames on a stream socket, and the handshake's two messages.
#include "protocol/frame.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nyrproto {

namespace {

// What a connection keeps while idle.
constexpr std::size_t kInitialBuffer = 4096;

}  // namespace

bool FrameOut::send(int fd) const {
    std::size_t sent = 0;
    while (sent < size_) {
        const ssize_t n = ::send(fd, buf_.data() + sent, size_ - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void FrameOut::trim(std::size_t keep) {
    if (buf_.capacity() > keep) std::vector<char>().swap(buf_);
}

FrameIn::Status FrameIn::read(int fd, uint32_t max_body) {
    if (!consumed_) start_ += kFrameHeader + body_size_;
    consumed_ = true;
    body_size_ = 0;
    if (start_ == end_) start_ = end_ = 0;
    if (buf_.size() < kInitialBuffer) buf_.resize(kInitialBuffer);

    // Reads more until `need` bytes from start_ are there; false at the end of the stream.
    auto fill = [&](std::size_t need, bool& eof) {
        while (end_ - start_ < need) {
            if (buf_.size() - start_ < need) {
                std::memmove(buf_.data(), buf_.data() + start_, end_ - start_);
                end_ -= start_;
                start_ = 0;
                if (buf_.size() < need) buf_.resize(need);
            }
            const ssize_t n = ::recv(fd, buf_.data() + end_, buf_.size() - end_, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                eof = n == 0;
                return false;
            }
            end_ += static_cast<std::size_t>(n);
        }
        return true;
    };

    bool eof = false;
    if (!fill(kFrameHeader, eof)) return eof && end_ == start_ ? kClosed : kBroken;
    nyrhost::WireReader header(buf_.data() + start_, kFrameHeader);
    body_size_ = header.u32();
    if (body_size_ > max_body) return kOversize;
    if (!fill(kFrameHeader + body_size_, eof)) return kBroken;
    consumed_ = false;
    return kFrame;
}

void FrameIn::trim(std::size_t keep) {
    if (buf_.size() < kInitialBuffer) buf_.resize(kInitialBuffer);
    if (buf_.size() <= keep) return;
    if (!consumed_) start_ += kFrameHeader + body_size_;
    consumed_ = true;
    body_size_ = 0;
    std::vector<char> kept(std::max(kInitialBuffer, end_ - start_));
    std::memcpy(kept.data(), buf_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    buf_.swap(kept);
}

void write_hello(nyrhost::WireWriter& w, const Hello& hello) {
    w.bytes(kHelloMagic, sizeof kHelloMagic);
    w.u32(hello.version);
    w.u64(hello.session);
}

bool read_hello(const char* body, std::size_t size, Hello& out) {
    nyrhost::WireReader r(body, size);
    const char* magic = r.take(sizeof kHelloMagic);
    if (magic == nullptr || std::memcmp(magic, kHelloMagic, sizeof kHelloMagic) != 0) return false;
    out.version = r.u32();
    out.session = r.u64();
    return r.ok() && r.remaining() == 0;
}

void write_hello_reply(nyrhost::WireWriter& w, const HelloReply& reply) {
    w.bytes(kHelloMagic, sizeof kHelloMagic);
    w.u32(reply.version);
    w.u8(reply.verdict);
    w.u64(reply.session);
    w.u32(reply.max_request);
    w.text(reply.reason.data(), static_cast<uint32_t>(reply.reason.size()));
}

bool read_hello_reply(const char* body, std::size_t size, HelloReply& out) {
    nyrhost::WireReader r(body, size);
    const char* magic = r.take(sizeof kHelloMagic);
    if (magic == nullptr || std::memcmp(magic, kHelloMagic, sizeof kHelloMagic) != 0) return false;
    out.version = r.u32();
    out.verdict = r.u8();
    out.session = r.u64();
    out.max_request = r.u32();
    return r.text(out.reason) && r.remaining() == 0;
}

}  // namespace nyrproto
