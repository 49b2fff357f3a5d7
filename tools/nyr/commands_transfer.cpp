// export and import: a subtree to and from a JSON file (or stdout and stdin).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "commands.h"
#include "tool_error.h"
#include "transfer.h"

namespace nyr_tool {

namespace {

struct TransferOptions {
    std::string path;
    std::string file;   // empty or "-": stdout / stdin
    HistoryPoint then;  // export only: the subtree as it was
};

bool to_standard_stream(const std::string& file) {
    return file.empty() || file == "-";
}

int run_export(const Context& context, const TransferOptions& options) {
    std::string document;
    if (options.then.given()) {
        const ParsedPoint point = parse_point(options.then, "--at", "--rev");
        Session session(context.store);
        document = export_subtree_at(session.handle(), options.path, point);
    } else {
        Session session(context.store);
        document = export_subtree(session.client(), options.path);
    }
    // The file is only created once the whole document has been read from the store.
    if (to_standard_stream(options.file)) {
        if (std::fwrite(document.data(), 1, document.size(), stdout) != document.size() ||
            std::fflush(stdout) != 0)
            throw refused("stdout: " + std::string(std::strerror(errno)));
        return kExitOk;
    }
    const std::string partial = options.file + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(document.data(), static_cast<std::streamsize>(document.size()));
        out.close();
        if (!out) {
            std::remove(partial.c_str());
            throw refused(options.file + ": cannot be written");
        }
    }
    if (std::rename(partial.c_str(), options.file.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(partial.c_str());
        throw refused(options.file + ": " + why);
    }
    return kExitOk;
}

int run_import(const Context& context, const TransferOptions& options) {
    std::string text;
    std::string name = "stdin";
    if (to_standard_stream(options.file)) {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        name = options.file;
        std::ifstream in(options.file, std::ios::binary);
        if (!in) throw refused(options.file + ": cannot be opened: " + std::strerror(errno));
        std::ostringstream buffer;
        buffer << in.rdbuf();
        if (in.bad()) throw refused(options.file + ": cannot be read");
        text = buffer.str();
    }
    const ImportPlan plan = check_import(options.path, text, name);  // before the store opens
    Session session(context.store);
    write_import(session.client(), plan, options.path);
    return kExitOk;
}

}  // namespace

void add_transfer_commands(CLI::App& app, Context& context) {
    for (const bool is_export : {true, false}) {
        auto options = std::make_shared<TransferOptions>();
        CLI::App* command =
            is_export ? app.add_subcommand("export",
                                           "Write a subtree as JSON (docs/nyr-export-schema.md)")
                      : app.add_subcommand("import", "Write a subtree exported as JSON below PATH");
        command->add_option("PATH", options->path, "Path of the subtree")->required();
        command->add_option("FILE", options->file,
                            is_export ? "Output file; stdout when absent or -"
                                      : "Input file; stdin when absent or -");
        if (is_export) {
            command->add_option("--at", options->then.time,
                                "Export the subtree as it was at this time "
                                "(YYYY-MM-DDThh:mm:ss[.ffffff]Z or seconds), from the history");
            command->add_option("--rev", options->then.revision,
                                "Export the subtree as it was at this revision");
        }
        command->callback([&context, options, is_export] {
            context.action = [&context, options, is_export] {
                return is_export ? run_export(context, *options) : run_import(context, *options);
            };
        });
    }
}

}  // namespace nyr_tool
