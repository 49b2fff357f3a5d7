// The outer frame of a tool's main().
#include "command_line.h"

#include <cstdio>
#include <exception>

#include "tool_error.h"

namespace nyr_tool {

int parse_command_line(CLI::App& app, int argc, char** argv, const char* program,
                       const std::function<void()>& check) {
    try {
        app.parse(argc, argv);
        check();
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return kExitUsage;
    } catch (const ToolError& error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return error.exit_status();
    }
    return -1;
}

int run_command(const char* program, const std::function<int()>& action) {
    try {
        return action();
    } catch (const ToolError& error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return error.exit_status();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return kExitRefused;
    }
}

}  // namespace nyr_tool
