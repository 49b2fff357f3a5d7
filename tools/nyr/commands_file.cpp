// Store files read directly, without opening a store on them: check and salvage.
#include <nyr_host.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "tool_error.h"

namespace nyr_tool {

namespace {

void print_line(void*, const char* line) {
    std::printf("%s\n", line);
}

// The summary after the report's lines.
void print_counts(const qel_host_file_report_t& report) {
    std::string history_notes;
    if (report.history_missing)
        history_notes += ", " + std::to_string(report.history_missing) + " places with rows gone";
    if (!report.history_meta_ok) history_notes += ", its epoch damaged";
    std::printf("tree: %" PRIu64 " rows, %" PRIu64 " damaged; events: %" PRIu64 " rows, %" PRIu64
                " damaged; history: %" PRIu64 " rows, %" PRIu64
                " damaged%s; unreadable parts: %u; integrity check: %s\n",
                report.tree_rows, report.tree_damaged, report.event_rows, report.event_damaged,
                report.history_rows, report.history_damaged, history_notes.c_str(),
                report.unreadable, report.integrity_ok ? "ok" : "failed");
}

bool damaged(const qel_host_file_report_t& report) {
    return report.tree_damaged || report.event_damaged || report.history_damaged ||
           report.history_missing || !report.history_meta_ok || report.unreadable ||
           !report.integrity_ok;
}

}  // namespace

void add_file_commands(CLI::App& app, Context& context) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "check", "Check every row of a store file and SQLite's integrity (exit 1 when damaged)");
    command->add_option("FILE", *file, "The store file")->required();
    command->callback([&context, file] {
        context.action = [file] {
            qel_host_file_report_t report;
            const int opened = qel_host_store_check(file->c_str(), &report, print_line, nullptr);
            if (opened != QEL_HOST_OPEN_OK)
                throw refused("check: " + *file + ": " + open_meaning(opened));
            print_counts(report);
            return damaged(report) ? kExitRefused : kExitOk;
        };
    });

    auto new_file = std::make_shared<std::string>();
    command = app.add_subcommand(
        "salvage",
        "Copy the healthy rows of a store file into a new one, listing what is left out");
    command->add_option("FILE", *file, "The damaged store file (never changed)")->required();
    command->add_option("NEWFILE", *new_file, "The new store file (must not exist)")->required();
    command->callback([&context, file, new_file] {
        context.action = [file, new_file] {
            qel_host_file_report_t report;
            const int made = qel_host_store_salvage(file->c_str(), new_file->c_str(), &report,
                                                    print_line, nullptr);
            if (made == QEL_HOST_OPEN_IN_USE)
                throw refused("salvage: " + *new_file + " exists already");
            if (made != QEL_HOST_OPEN_OK)
                throw refused("salvage: " + *file + ": " + open_meaning(made));
            print_counts(report);
            std::printf("salvaged into %s: %" PRIu64 " tree rows, %" PRIu64 " events and %" PRIu64
                        " history changes\n",
                        new_file->c_str(), report.tree_rows - report.tree_damaged,
                        report.event_rows - report.event_damaged,
                        report.history_rows - report.history_damaged - report.history_left_out);
            return kExitOk;
        };
    });
}

}  // namespace nyr_tool
