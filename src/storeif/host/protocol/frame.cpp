// Frames on a stream socket, and the handshake's two messages.
#include "protocol/frame.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nyrproto {

namespace {

// What a connection keeps while idle.
constexpr std::size_t kInitialBuffer = 4096;

// Milliseconds left until `until` for poll(), rounded up; -1 for no bound.
int left_ms(Clock::time_point until) {
    if (until == Clock::time_point::max()) return -1;
    const auto now = Clock::now();
    if (until <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return ms > 86400000 ? 86400000 : static_cast<int>(ms);
}

// Waits until `fd` is ready for `events` or `until` passes; false for the latter.
bool wait_ready(int fd, short events, Clock::time_point until) {
    for (;;) {
        pollfd ready{fd, events, 0};
        const int n = ::poll(&ready, 1, left_ms(until));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return true;  // the send or receive that follows reports the error
    }
}

Clock::time_point after(int ms, Clock::time_point from) {
    return ms < 0 ? Clock::time_point::max() : from + std::chrono::milliseconds(ms);
}

}  // namespace

bool FrameOut::send(int fd, Clock::time_point until) const {
    const bool bounded = until != Clock::time_point::max();
    std::size_t sent = 0;
    while (sent < size_) {
        if (bounded && !wait_ready(fd, POLLOUT, until)) return false;
        const ssize_t n = ::send(fd, buf_.data() + sent, size_ - sent,
                                 MSG_NOSIGNAL | (bounded ? MSG_DONTWAIT : 0));
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && bounded) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

char* FrameOut::make(std::size_t body_size) {
    const std::size_t size = kFrameHeader + body_size;
    if (buf_.size() < size) {
        if (admit_ && !admit_(size)) return nullptr;
        buf_.resize(size);
    }
    size_ = size;
    nyrhost::WireWriter header(buf_.data());
    header.u32(static_cast<uint32_t>(body_size));
    return buf_.data() + kFrameHeader;
}

void FrameOut::trim(std::size_t keep) {
    if (buf_.capacity() > keep) std::vector<char>().swap(buf_);
}

FrameIn::Status FrameIn::read(int fd, uint32_t max_body, const Patience& patience) {
    if (!consumed_) start_ += kFrameHeader + body_size_;
    consumed_ = true;
    body_size_ = 0;
    if (start_ == end_) start_ = end_ = 0;
    if (buf_.size() < kInitialBuffer) buf_.resize(kInitialBuffer);

    // The deadline for the next byte: the idle one until a frame has begun, then the frame's.
    const bool bounded = patience.bounded();
    Clock::time_point frame_until = Clock::time_point::max();
    const Clock::time_point idle_until =
        std::min(patience.until, after(patience.idle_ms, Clock::now()));
    bool timed_out = false;
    auto deadline = [&] {
        if (end_ == start_) return idle_until;
        if (frame_until == Clock::time_point::max())
            frame_until = std::min(patience.until, after(patience.frame_ms, Clock::now()));
        return frame_until;
    };

    // Reads more until `need` bytes from start_ are there; false at the end of the stream.
    auto fill = [&](std::size_t need, bool& eof) {
        while (end_ - start_ < need) {
            if (bounded && !wait_ready(fd, POLLIN, deadline())) {
                timed_out = true;
                return false;
            }
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
    if (!fill(kFrameHeader, eof))
        return timed_out ? kTimedOut : eof && end_ == start_ ? kClosed : kBroken;
    nyrhost::WireReader header(buf_.data() + start_, kFrameHeader);
    body_size_ = header.u32();
    if (body_size_ > max_body) return kOversize;
    if (buf_.size() < kFrameHeader + body_size_ && admit_ && !admit_(kFrameHeader + body_size_)) {
        // Dropped as it arrives, through the buffer as it is, within the frame's own time.
        const Clock::time_point until = deadline();
        std::size_t left = body_size_;
        start_ += kFrameHeader;
        const std::size_t here = std::min(left, end_ - start_);
        start_ += here;
        left -= here;
        if (start_ == end_) start_ = end_ = 0;
        while (left > 0) {
            if (bounded && !wait_ready(fd, POLLIN, until)) return kTimedOut;
            const ssize_t n = ::recv(fd, buf_.data(), std::min(left, buf_.size()), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return kBroken;
            left -= static_cast<std::size_t>(n);
        }
        return kRefused;
    }
    if (!fill(kFrameHeader + body_size_, eof)) {
        body_size_ = 0;
        return timed_out ? kTimedOut : kBroken;
    }
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
