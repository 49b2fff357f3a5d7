// The reversible percent-encoding of store names in topic levels.
#include "topic_names.h"

#include <cstddef>
#include <cstdint>

#include "json_value.h"

namespace nyr_bridge {

namespace {

void put_escaped(unsigned char byte, std::string& out) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string encode_name(const std::string& name) {
    if (name.empty()) return "%";
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        uint32_t code = 0;
        const std::size_t length = nyr_tool::utf8_length(name, i, code);
        const bool plain = length != 0 && code >= 0x20 && code != 0x7F &&
                           !(code >= 0x80 && code <= 0x9F) && code != '+' && code != '#' &&
                           code != '%' && code != '/';
        if (plain) {
            out.append(name, i, length);
            i += length;
            continue;
        }
        // An invalid sequence is escaped one byte at a time, so the next byte is looked at anew.
        const std::size_t escaped = length == 0 ? 1 : length;
        for (std::size_t k = 0; k < escaped; ++k)
            put_escaped(static_cast<unsigned char>(name[i + k]), out);
        i += escaped;
    }
    return out;
}

bool decode_name(const std::string& level, std::string& name) {
    name.clear();
    if (level == "%") return true;
    for (std::size_t i = 0; i < level.size(); ++i) {
        const char c = level[i];
        if (c == '+' || c == '#' || c == '/') return false;
        if (c != '%') {
            name += c;
            continue;
        }
        const int high = i + 1 < level.size() ? hex_digit(level[i + 1]) : -1;
        const int low = i + 2 < level.size() ? hex_digit(level[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return !level.empty();
}

std::string path_to_levels(const std::string& path) {
    std::string out;
    std::size_t start = path.empty() || path[0] != '/' ? 0 : 1;
    if (path == "/" || path.empty()) return out;
    while (true) {
        const std::size_t end = path.find('/', start);
        out += '/';
        out += encode_name(path.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

bool levels_to_path(const std::string& levels, std::string& path) {
    if (levels.empty()) {
        path = "/";
        return true;
    }
    if (levels[0] != '/') return false;
    path.clear();
    std::size_t start = 1;
    std::string name;
    while (true) {
        const std::size_t end = levels.find('/', start);
        const std::string level =
            levels.substr(start, end == std::string::npos ? end : end - start);
        if (!decode_name(level, name)) return false;
        path += '/';
        path += name;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}

std::string below(const std::string& base, const std::string& relative) {
    if (relative == "/" || relative.empty()) return base;
    return base + relative;
}

bool is_within(const std::string& path, const std::string& root) {
    if (root == "/") return !path.empty() && path[0] == '/';
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

}  // namespace nyr_bridge
