// The outer frame of a tool's main(): parsing the command line and running the chosen command,
// with each failure told as "PROGRAM: message" and given its exit status.
#ifndef NYR_TOOL_COMMAND_LINE_H
#define NYR_TOOL_COMMAND_LINE_H

#include <CLI/CLI.hpp>
#include <functional>

namespace nyr_tool {

// Parses argv into `app`, then runs `check` on what was parsed (it throws a ToolError for options
// that do not go together). The exit status to end with at once (help, version, a usage error),
// or -1 when the command is to run.
int parse_command_line(CLI::App& app, int argc, char** argv, const char* program,
                       const std::function<void()>& check);

// Runs the chosen command; a ToolError keeps its own status, any other exception is exit 1.
int run_command(const char* program, const std::function<int()>& action);

}  // namespace nyr_tool

#endif
