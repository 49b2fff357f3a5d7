// Source strings of the host store: three components in one text.
//
// Encoding: the components in order, joined by '|'; inside a component '\' and '|' are written
// as "\\" and "\|". An absent component (null, or an empty text) is an empty field, so the
// encoding of three absent components is "||". Every component text round-trips, separators and
// backslashes included; an empty component comes back absent (a null place).
//
// Parsing accepts exactly that form, plus the empty text, which stands for three absent
// components (the source of an event nobody named). Anything else - a number of unescaped
// separators other than two, a '\' before any other character, or a '\' at the end - is
// malformed: kResultMalformed.
#include <climits>
#include <cstring>

#include "codec/wire_format.h"
#include "nyr.h"
#include "nyr_host.h"

namespace {

constexpr char kSeparator = '|';
constexpr char kEscape = '\\';

bool needs_escape(char c) {
    return c == kSeparator || c == kEscape;
}

// Encoded length of one component; a null component is empty.
std::size_t encoded_length(const char* component) {
    std::size_t n = 0;
    for (const char* p = component; p != nullptr && *p != '\0'; ++p) n += needs_escape(*p) ? 2 : 1;
    return n;
}

// Writes what fits of `c` at position `at` of a buffer whose writable area ends at `limit`.
void put(char* buf, std::size_t limit, std::size_t& at, char c) {
    if (at < limit) buf[at] = c;
    ++at;
}

void put_component(char* buf, std::size_t limit, std::size_t& at, const char* component) {
    for (const char* p = component; p != nullptr && *p != '\0'; ++p) {
        if (needs_escape(*p)) put(buf, limit, at, kEscape);
        put(buf, limit, at, *p);
    }
}

}  // namespace

extern "C" {

// The whole length whether or not it fit; at most `size` bytes written, the NUL included. A null
// buffer is allowed only with size 0 (to measure); otherwise QEL_RESULT_BAD_ARGUMENT.
int qel_format_source_string(char* buf, uint32_t size, const char* first, const char* second,
                             const char* third) {
    if (buf == nullptr && size != 0) return QEL_RESULT_BAD_ARGUMENT;
    const std::size_t length =
        encoded_length(first) + encoded_length(second) + encoded_length(third) + 2;
    if (length > static_cast<std::size_t>(INT_MAX)) return QEL_RESULT_BAD_ARGUMENT;
    if (size == 0) return static_cast<int>(length);

    const std::size_t limit = size - 1;  // room for the characters, the NUL after them
    std::size_t at = 0;
    put_component(buf, limit, at, first);
    put(buf, limit, at, kSeparator);
    put_component(buf, limit, at, second);
    put(buf, limit, at, kSeparator);
    put_component(buf, limit, at, third);
    buf[at < limit ? at : limit] = '\0';
    return static_cast<int>(length);
}

// Splits `text` in place: separators become NULs and escapes are removed, so each place points
// into `text`. The places are set only on success; on failure `text` may have been changed.
int qel_parse_source_string(char* text, char** first, char** second, char** third) {
    if (text == nullptr || first == nullptr || second == nullptr || third == nullptr)
        return QEL_RESULT_BAD_ARGUMENT;
    char* starts[3] = {text, nullptr, nullptr};
    int field = 0;
    char* write = text;
    for (const char* read = text; *read != '\0'; ++read) {
        if (*read == kEscape) {
            ++read;
            if (!needs_escape(*read)) return nyrhost::kResultMalformed;  // includes the final NUL
            *write++ = *read;
        } else if (*read == kSeparator) {
            if (field == 2) return nyrhost::kResultMalformed;
            *write++ = '\0';
            starts[++field] = write;
        } else {
            *write++ = *read;
        }
    }
    *write = '\0';
    if (field == 0 && starts[0] == write) {  // the empty text: nothing named
        *first = *second = *third = nullptr;
        return 0;
    }
    if (field != 2) return nyrhost::kResultMalformed;
    char** places[3] = {first, second, third};
    for (int i = 0; i < 3; ++i) *places[i] = *starts[i] != '\0' ? starts[i] : nullptr;
    return 0;
}

}  // extern "C"
