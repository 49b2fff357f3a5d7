// Source strings: the host store's parser on arbitrary text, the library's parse and readable
// form on top of it, and building then parsing three arbitrary components, which must give the
// components back. Building into buffers of every small size must never write past them.
#include <toolkit/event.h>

#include "fuzz_support.h"

namespace {

// Arbitrary text as the parser sees it: a writable, NUL-terminated copy.
void parse_raw(const std::string& text) {
    std::vector<char> writable(text.begin(), text.end());
    writable.push_back('\0');
    char* places[3] = {nullptr, nullptr, nullptr};
    const int result = qel_parse_source_string(writable.data(), &places[0], &places[1], &places[2]);
    if (result != 0) return;
    for (char* place : places) {
        if (place == nullptr) continue;
        fuzz::check(place >= writable.data() && place < writable.data() + writable.size(),
                    "parsed components point into the text");
        fuzz::check(std::strlen(place) < writable.size(), "parsed components are terminated");
    }
}

void parse_with_library(const std::string& text) {
    std::string first = "1", second = "2", third = "3";
    const int result = toolkit::CEvent::parse_source_string(text, first, second, third);
    if (result != 0) {
        fuzz::check(first == "1" && second == "2" && third == "3",
                    "a failed parse leaves the outputs");
    }
    std::string readable = "stale";
    toolkit::CEvent::human_source_string(text, readable);
    if (result != 0) fuzz::check(readable.empty(), "an unparsable source reads as nothing");
}

// Components cannot hold a NUL: they travel as NUL-terminated texts.
std::string component(fuzz::Input& in) {
    std::string out = in.text();
    for (char& c : out) {
        if (c == '\0') c = ' ';
    }
    return out;
}

void build_and_parse(fuzz::Input& in) {
    const std::string first = component(in), second = component(in), third = component(in);
    std::string built = "previous content";
    const int length = toolkit::CEvent::format_source_string(built, first, second, third);
    fuzz::check(length >= 0, "building three texts succeeds");
    fuzz::check(built.size() == static_cast<std::size_t>(length), "the output is the string");

    std::string a = "x", b = "y", c = "z";
    fuzz::check(toolkit::CEvent::parse_source_string(built, a, b, c) == 0,
                "a built source string parses");
    fuzz::check(a == first && b == second && c == third, "components come back unchanged");

    // Every buffer size up to the whole length: at most `size` bytes, terminated, same length.
    const char* args[3] = {first.empty() ? nullptr : first.c_str(),
                           second.empty() ? nullptr : second.c_str(),
                           third.empty() ? nullptr : third.c_str()};
    for (uint32_t size = 1; size <= static_cast<uint32_t>(length) + 1; size += 1 + size / 4) {
        std::vector<char> buf(size);  // exact size: a write past it is caught by ASan
        const int again = qel_format_source_string(buf.data(), size, args[0], args[1], args[2]);
        fuzz::check(again == length, "the length does not depend on the buffer");
        fuzz::check(std::memchr(buf.data(), '\0', size) != nullptr, "the output is terminated");
        fuzz::check(std::memcmp(buf.data(), built.data(), std::strlen(buf.data())) == 0,
                    "a short buffer holds the start of the string");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.u8();
    if (mode & 1) {
        build_and_parse(in);
    } else {
        const std::string text = in.rest();
        parse_raw(text);
        parse_with_library(text);
    }
    return 0;
}
