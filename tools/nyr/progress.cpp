// One line on stderr, rewritten in place with a carriage return, and ended when the work ends.
#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace nyr_tool {

Progress::Progress(std::string what, std::size_t total)
    : _what(std::move(what)),
      _total(total),
      _terminal(isatty(STDERR_FILENO) == 1),
      _start(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
    if (_shown) std::fputc('\n', stderr);
}

void Progress::update(std::size_t done) {
    if (!_terminal) return;
    if (!_shown && std::chrono::steady_clock::now() - _start < std::chrono::seconds(1)) return;
    _shown = true;
    std::fprintf(stderr, "\r%s: %zu of %zu", _what.c_str(), done, _total);
    std::fflush(stderr);
}

}  // namespace nyr_tool
