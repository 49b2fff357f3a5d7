// Big-endian fixed-width integers for the byte formats of the host store.
#ifndef NYR_HOST_CODEC_BYTE_CURSOR_H
#define NYR_HOST_CODEC_BYTE_CURSOR_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace nyrhost {

// Appends big-endian values to `out`, or only counts the bytes when `out` is null, so that one
// encoder both measures and writes.
class WireWriter {
public:
    explicit WireWriter(char* out) : out_(out) {}

    void bytes(const void* data, std::size_t n) {
        if (out_ != nullptr && n != 0) std::memcpy(out_ + size_, data, n);
        size_ += n;
    }
    void u8(uint8_t v) { bytes(&v, 1); }
    void u16(uint16_t v) { unsigned_be(v, 2); }
    void u32(uint32_t v) { unsigned_be(v, 4); }
    void u64(uint64_t v) { unsigned_be(v, 8); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u64(bits);
    }
    // A length-prefixed text; a null pointer reads as empty.
    void text(const char* data, uint32_t length) {
        if (data == nullptr) length = 0;
        u32(length);
        bytes(data, length);
    }

    // Fields by their type, as WireReader reads them, so that a layout is written once for both.
    void operator()(uint8_t v) { u8(v); }
    void operator()(uint16_t v) { u16(v); }
    void operator()(int32_t v) { i32(v); }
    void operator()(uint32_t v) { u32(v); }
    void operator()(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void operator()(uint64_t v) { u64(v); }
    void operator()(double v) { f64(v); }

    std::size_t size() const { return size_; }

private:
    void unsigned_be(uint64_t v, int width) {
        unsigned char b[8];
        for (int i = 0; i < width; ++i)
            b[i] = static_cast<unsigned char>(v >> (8 * (width - 1 - i)));
        bytes(b, static_cast<std::size_t>(width));
    }

    char* out_;
    std::size_t size_ = 0;
};

// Reads big-endian values from a bounded input. A read past the end fails, sets the reader's
// failed state and yields zero; later reads fail too, so a decoder may check once at the end of
// a section.
class WireReader {
public:
    WireReader(const char* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
    void fail() { ok_ = false; }

    // A pointer to the next n bytes, or null (and failed) when fewer remain.
    const char* take(std::size_t n) {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return nullptr;
        }
        const char* at = data_ + pos_;
        pos_ += n;
        return at;
    }
    uint8_t u8() { return static_cast<uint8_t>(unsigned_be(1)); }
    uint16_t u16() { return static_cast<uint16_t>(unsigned_be(2)); }
    uint32_t u32() { return static_cast<uint32_t>(unsigned_be(4)); }
    uint64_t u64() { return unsigned_be(8); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    double f64() {
        const uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // Fields by their type, as WireWriter writes them.
    void operator()(uint8_t& v) { v = u8(); }
    void operator()(uint16_t& v) { v = u16(); }
    void operator()(int32_t& v) { v = i32(); }
    void operator()(uint32_t& v) { v = u32(); }
    void operator()(int64_t& v) { v = static_cast<int64_t>(u64()); }
    void operator()(uint64_t& v) { v = u64(); }
    void operator()(double& v) { v = f64(); }
    // A length-prefixed text; false (and failed) when it runs past the end.
    bool text(std::string& out) {
        const uint32_t length = u32();
        const char* at = take(length);
        if (at == nullptr) return false;
        out.assign(at, length);
        return true;
    }

private:
    uint64_t unsigned_be(std::size_t width) {
        const char* at = take(width);
        if (at == nullptr) return 0;
        uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i) v = (v << 8) | static_cast<unsigned char>(at[i]);
        return v;
    }

    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CODEC_BYTE_CURSOR_H
