// nyr: browse, edit, watch, export and import a store, through nyrd or a store file.
#include "command_line.h"
#include "commands.h"
#include "tool_error.h"

namespace {

const char kDescription[] =
    "nyr: browse, edit, watch, export and import a store, and read the history of its tree.\n"
    "It reaches nyrd at --socket, $NYR_SOCKET or the default socket, or opens a store file "
    "with --store when no daemon serves it. $NYR_TIMEOUT=MS bounds reaching nyrd and each call "
    "(default: 5 s to connect, calls unbounded; 0: no bound); a call that runs out fails.\n"
    "Exit status: 0 success, 1 the store refused an item (or an input was bad), 2 usage error.";

}  // namespace

int main(int argc, char** argv) {
    nyr_tool::Context context;
    CLI::App app(kDescription, "nyr");
    app.set_version_flag("--version", "nyr 1.0.0");
    app.set_help_all_flag("--help-all", "Print the help of every command");
    app.require_subcommand(1);
    app.fallthrough();  // --socket and --store may also follow the command
    app.add_option("--socket", context.store.socket, "Socket of nyrd");
    app.add_option("--store", context.store.store_file, "Open this store file in process");
    nyr_tool::add_tree_commands(app, context);
    nyr_tool::add_event_commands(app, context);
    nyr_tool::add_transfer_commands(app, context);
    nyr_tool::add_service_commands(app, context);
    nyr_tool::add_stats_command(app, context);
    nyr_tool::add_file_commands(app, context);
    nyr_tool::add_history_commands(app, context);

    const int parsed = nyr_tool::parse_command_line(app, argc, argv, "nyr", [&] {
        if (!context.store.socket.empty() && !context.store.store_file.empty())
            throw nyr_tool::usage_error("give --socket or --store, not both");
    });
    if (parsed >= 0) return parsed;
    return nyr_tool::run_command("nyr", context.action);
}
