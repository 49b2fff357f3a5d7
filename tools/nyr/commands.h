// The subcommands of nyr, each group registered on the application by its own file.
#ifndef NYR_TOOL_COMMANDS_H
#define NYR_TOOL_COMMANDS_H

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "history_view.h"
#include "json_value.h"
#include "session.h"

namespace nyr_tool {

// What the command line chose: where the store is, and the command to run once parsing is done
// (so that a usage error is found before the store is touched).
struct Context {
    StoreOptions store;
    std::function<int()> action;
};

// ls, get, set, mkdir, rm, clear, cp, mv.
void add_tree_commands(CLI::App& app, Context& context);
// watch, send, log.
void add_event_commands(CLI::App& app, Context& context);
// export, import.
void add_transfer_commands(CLI::App& app, Context& context);
// uuid, hmac.
void add_service_commands(CLI::App& app, Context& context);
// stats.
void add_stats_command(CLI::App& app, Context& context);
// check, salvage.
void add_file_commands(CLI::App& app, Context& context);
// history, diff.
void add_history_commands(CLI::App& app, Context& context);

// get --at/--rev: the leaves at `paths` as they were at a point of the history.
int run_get_at(const Context& context, const std::vector<std::string>& paths,
               const HistoryPoint& then, bool json);
// The options TIME_NAME TIME and REVISION_NAME REV of a point of the history, for `what`.
void add_history_point(CLI::App* command, HistoryPoint& point, const char* time_name,
                       const char* revision_name, const std::string& what);

// The source string of nyr's writes.
std::string write_source();
// Prints one JSON document on a line of stdout; texts that are not UTF-8 show replacement
// characters (export keeps them exactly).
void print_json(const Json& json);

}  // namespace nyr_tool

#endif  // NYR_TOOL_COMMANDS_H
