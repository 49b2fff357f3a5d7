// How a command of nyr fails: an exception carrying the exit status and the message for stderr.
#ifndef NYR_TOOL_TOOL_ERROR_H
#define NYR_TOOL_TOOL_ERROR_H

#include <nyr.h>

#include <stdexcept>
#include <string>

namespace nyr_tool {

// Exit statuses of nyr.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;  // the store refused an item, or the input or a file was bad
constexpr int kExitUsage = 2;    // the command line itself was wrong

class ToolError : public std::runtime_error {
public:
    ToolError(int exit_status, const std::string& message)
        : std::runtime_error(message), _exit_status(exit_status) {}
    int exit_status() const { return _exit_status; }

private:
    int _exit_status;
};

// A usage error (exit status 2).
inline ToolError usage_error(const std::string& message) {
    return ToolError(kExitUsage, message);
}
// A refusal or a failure of the input (exit status 1).
inline ToolError refused(const std::string& message) {
    return ToolError(kExitRefused, message);
}

// What a per-item status of the store or the client means, in words.
std::string status_meaning(api_status_t status);
// What a failed call's result means, in words.
std::string result_meaning(int result);
// Why a store file could not be opened (a QEL_HOST_OPEN_ code), in words.
std::string open_meaning(int result);

// Throws when a single-item call failed: a non-zero result, or a status other than 1. The message
// names the path and what the status or result means. `status` is taken by reference so that it
// is read after a store call in the same argument list has written it.
void check_item(const std::string& path, int result, const api_status_t& status);
// Throws for a non-zero result of a call that concerns `what`.
void check_result(const std::string& what, int result);

}  // namespace nyr_tool

#endif  // NYR_TOOL_TOOL_ERROR_H
