// Encoding of logged events for the SQLite log.
#include "log/body_codec.h"

#include <cstring>

namespace nyrhost {

namespace {

class Writer {
public:
    void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void u64(uint64_t v) {
        for (int i = 0; i < 8; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u64(bits);
    }
    void bytes(const std::string& text) {
        u32(static_cast<uint32_t>(text.size()));
        out_.append(text);
    }
    void raw(const void* data, size_t size) { out_.append(static_cast<const char*>(data), size); }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Reads from a bounded buffer; every read past the end fails and the reader stays failed.
class Reader {
public:
    Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    bool at_end() const { return pos_ == size_; }
    uint8_t u8() { return take(1) ? data_[pos_ - 1] : 0; }
    uint32_t u32() {
        if (!take(4)) return 0;
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ - 4 + i];
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() {
        const uint64_t low = u32();
        const uint64_t high = u32();
        return low | (high << 32);
    }
    double f64() {
        const uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string bytes() {
        const uint32_t length = u32();
        if (!take(length)) return std::string();
        return std::string(reinterpret_cast<const char*>(data_ + pos_ - length), length);
    }
    void raw(void* to, size_t size) {
        if (take(size)) std::memcpy(to, data_ + pos_ - size, size);
    }
    // A count of entries each at least `min_entry` bytes long, checked against what is left so
    // a damaged count cannot make the caller reserve or loop beyond the data.
    uint32_t count(size_t min_entry) {
        const uint32_t n = u32();
        if (ok_ && n > (size_ - pos_) / min_entry) ok_ = false;
        return ok_ ? n : 0;
    }

private:
    bool take(size_t n) {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }
    const unsigned char* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

void write_value(Writer& w, const _element_datatype_t& value, const std::string& payload) {
    w.i32(value.type);
    w.i32(value.timestamp.tv_sec);
    w.i32(value.timestamp.tv_usec);
    w.u32(value._fill);
    switch (value.type) {
        case DATATYPE_BOOL:
            w.u8(value.value.bool_value);
            break;
        case DATATYPE_INT:
            w.i32(value.value.int_value);
            break;
        case DATATYPE_UINT:
            w.u32(value.value.uint_value);
            break;
        case DATATYPE_FLOAT:
            w.f64(value.value.float_value);
            break;
        case DATATYPE_TIME:
            w.i32(value.value.time_value.tv_sec);
            w.i32(value.value.time_value.tv_usec);
            break;
        case DATATYPE_COMPLEX:
            w.f64(value.value.complex_value.real);
            w.f64(value.value.complex_value.imag);
            break;
        case DATATYPE_INT64:
            w.u64(static_cast<uint64_t>(value.value.int64_value));
            break;
        case DATATYPE_UINT64:
            w.u64(value.value.uint64_value);
            break;
        case DATATYPE_STRING:
        case DATATYPE_BLOB:
            w.bytes(payload);
            break;
        default:
            w.raw(&value.value, sizeof value.value);
            break;
    }
}

void read_value(Reader& r, _element_datatype_t& value, std::string& payload) {
    value.type = static_cast<data_type_t>(r.i32());
    value.timestamp.tv_sec = r.i32();
    value.timestamp.tv_usec = r.i32();
    value._fill = r.u32();
    switch (value.type) {
        case DATATYPE_BOOL:
            value.value.bool_value = r.u8();
            break;
        case DATATYPE_INT:
            value.value.int_value = r.i32();
            break;
        case DATATYPE_UINT:
            value.value.uint_value = r.u32();
            break;
        case DATATYPE_FLOAT:
            value.value.float_value = r.f64();
            break;
        case DATATYPE_TIME:
            value.value.time_value.tv_sec = r.i32();
            value.value.time_value.tv_usec = r.i32();
            break;
        case DATATYPE_COMPLEX:
            value.value.complex_value.real = r.f64();
            value.value.complex_value.imag = r.f64();
            break;
        case DATATYPE_INT64:
            value.value.int64_value = static_cast<int64_t>(r.u64());
            break;
        case DATATYPE_UINT64:
            value.value.uint64_value = r.u64();
            break;
        case DATATYPE_STRING:
        case DATATYPE_BLOB:
            payload = r.bytes();
            value.value.string_value.length = static_cast<uint32_t>(payload.size());
            break;
        default:
            r.raw(&value.value, sizeof value.value);
            break;
    }
}

}  // namespace

std::string encode_logged_event(const OwnedEvent& event) {
    const _event_t& s = event.scalars;
    Writer w;
    w.u8(kLogBodyVersion);
    w.i32(s.type);
    w.i32(s.cmd);
    write_value(w, s.value, event.value_payload);
    // The slot as a number, so that the encoding does not depend on where quality sits in it.
    if (carries_severity(s.type))
        w.i32(s.severity);
    else
        w.u32(s.quality);
    w.u8(s.was_logged);
    w.bytes(event.path);
    w.bytes(event.source);
    w.bytes(event.description);
    w.bytes(event.note);
    w.u64(s.event_id);
    w.u32(s.sequence_id);
    w.u32(static_cast<uint32_t>(event.waveform_urls.size()));
    for (const std::string& url : event.waveform_urls) w.bytes(url);
    w.u32(static_cast<uint32_t>(event.details.size()));
    for (const auto& detail : event.details) {
        w.bytes(detail.first);
        w.bytes(detail.second);
    }
    w.i32(s.event_time.tv_sec);
    w.i32(s.event_time.tv_usec);
    w.i32(s.cause);
    w.u8(s.final);
    w.i32(s.ack_status);
    w.u32(s.base_priority);
    w.u8(s.condition_raised);
    w.u8(s.auto_close);
    w.i32(s.variation_level);
    return w.take();
}

bool decode_logged_event(const unsigned char* data, size_t size, OwnedEvent& out) {
    out = OwnedEvent();
    if (data == nullptr) return false;
    Reader r(data, size);
    if (r.u8() != kLogBodyVersion) return false;
    _event_t& s = out.scalars;
    s.type = r.i32();
    s.cmd = r.i32();
    read_value(r, s.value, out.value_payload);
    if (carries_severity(s.type))
        s.severity = r.i32();
    else
        s.quality = static_cast<uint16_t>(r.u32());
    s.was_logged = r.u8();
    out.path = r.bytes();
    out.source = r.bytes();
    out.description = r.bytes();
    out.note = r.bytes();
    s.event_id = r.u64();
    s.sequence_id = r.u32();
    const uint32_t urls = r.count(4);
    out.waveform_urls.reserve(urls);
    for (uint32_t i = 0; i < urls && r.ok(); ++i) out.waveform_urls.push_back(r.bytes());
    const uint32_t details = r.count(8);
    out.details.reserve(details);
    for (uint32_t i = 0; i < details && r.ok(); ++i) {
        std::string key = r.bytes();
        out.details.emplace_back(std::move(key), r.bytes());
    }
    s.waveform_url_count = static_cast<uint32_t>(out.waveform_urls.size());
    s.detail_count = static_cast<uint32_t>(out.details.size());
    s.event_time.tv_sec = r.i32();
    s.event_time.tv_usec = r.i32();
    s.cause = r.i32();
    s.final = r.u8();
    s.ack_status = r.i32();
    s.base_priority = r.u32();
    s.condition_raised = r.u8();
    s.auto_close = r.u8();
    s.variation_level = r.i32();
    return r.ok() && r.at_end();
}

}  // namespace nyrhost
