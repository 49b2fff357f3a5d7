// Base64 with a strict decoder: a text decodes only if encoding its bytes gives it back.
#include "base64.h"

#include <cstdint>

namespace nyr_tool {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

void base64_encode(const char* data, std::size_t size, std::string& out) {
    out.reserve(out.size() + (size + 2) / 3 * 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const uint32_t group = (bytes[i] << 16) | (two ? bytes[i + 1] << 8 : 0);
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += two ? kAlphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
}

bool base64_decode(const std::string& text, std::vector<char>& out) {
    out.clear();
    if (text.size() % 4 != 0) return false;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        if (pad == 1 && text[i + 2] == '=') return false;  // "x=y=" is no padding
        uint32_t group = 0;
        for (int k = 0; k < 4 - pad; ++k) {
            const int value = sextet(text[i + k]);
            if (value < 0) return false;
            group |= static_cast<uint32_t>(value) << (18 - 6 * k);
        }
        // Bits beyond the last byte must be zero, or two texts would give the same bytes.
        if ((pad == 2 && (group & 0xFFFF) != 0) || (pad == 1 && (group & 0xFF) != 0)) return false;
        out.push_back(static_cast<char>(group >> 16));
        if (pad < 2) out.push_back(static_cast<char>((group >> 8) & 0xFF));
        if (pad < 1) out.push_back(static_cast<char>(group & 0xFF));
    }
    return true;
}

}  // namespace nyr_tool
