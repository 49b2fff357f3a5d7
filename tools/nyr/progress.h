// Progress of a long import or export on stderr, shown only on a terminal and only once the work
// has taken longer than a second.
#ifndef NYR_TOOL_PROGRESS_H
#define NYR_TOOL_PROGRESS_H

#include <chrono>
#include <cstddef>
#include <string>

namespace nyr_tool {

class Progress {
public:
    Progress(std::string what, std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Reports `done` of the total items.
    void update(std::size_t done);

private:
    std::string _what;
    std::size_t _total;
    bool _terminal;
    bool _shown = false;
    std::chrono::steady_clock::time_point _start;
};

}  // namespace nyr_tool

#endif  // NYR_TOOL_PROGRESS_H
