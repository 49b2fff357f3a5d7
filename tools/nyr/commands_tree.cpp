// Browsing and editing the tree: ls, get, set, mkdir, rm, clear, cp, mv.
#include <toolkit/event.h>

#include <cstdio>
#include <memory>

#include "commands.h"
#include "tool_error.h"
#include "tree_walk.h"
#include "value_text.h"

namespace nyr_tool {

namespace {

struct ListOptions {
    std::string path;
    bool long_form = false;
    bool recursive = false;
    bool json = false;
};

// Entries are named relative to the listed node; a listed leaf by its own path.
std::string shown_name(const ListOptions& options, const TreeEntry& entry) {
    return entry.relative.empty() ? options.path : entry.relative;
}

int run_ls(const Context& context, const ListOptions& options) {
    Session session(context.store);
    std::vector<TreeEntry> entries;
    api_status_t status = 0;
    check_result(options.path, session.client().test_node(options.path, status));
    if (status == QEL_STATUS_OK) {
        entries = list_entries(session.client(), options.path, options.recursive);
    } else {
        // Not a node: a leaf is listed as itself, as ls lists a file; anything else is refused.
        toolkit::CElement value;
        element_property_t property = 0;
        check_item(options.path, session.client().get_leaf(options.path, status, value, property),
                   status);
        entries.push_back(TreeEntry{"", false, property});
    }
    std::vector<toolkit::CElement> values;
    std::vector<element_property_t> properties;
    std::vector<std::size_t> leaf_index(entries.size(), 0);
    if (options.long_form) {
        std::vector<std::string> leaf_paths;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].node) continue;
            leaf_index[i] = leaf_paths.size();
            leaf_paths.push_back(join_path(options.path, entries[i].relative));
        }
        read_leaves(session.client(), leaf_paths, values, properties, nullptr);
    }
    if (options.json) {
        Json list = Json::array();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Json entry = {{"path", text_json(shown_name(options, entries[i]))},
                          {"kind", entries[i].node ? "node" : "leaf"}};
            if (options.long_form && !entries[i].node) {
                entry["property"] = properties[leaf_index[i]];
                put_value(values[leaf_index[i]], entry);
            }
            list.push_back(std::move(entry));
        }
        print_json(list);
        return kExitOk;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TreeEntry& entry = entries[i];
        if (!options.long_form) {
            std::printf("%s %s\n", entry.node ? "node" : "leaf",
                        shown_name(options, entry).c_str());
        } else if (entry.node) {
            std::printf("node %-7s %10s %-27s %s\n", "-", "-", "-",
                        shown_name(options, entry).c_str());
        } else {
            const toolkit::CElement& value = values[leaf_index[i]];
            std::printf("leaf %-7s %10u %-27s %s %s\n", type_name(value.type),
                        properties[leaf_index[i]], time_text(value.timestamp).c_str(),
                        shown_name(options, entry).c_str(), value_text(value).c_str());
        }
    }
    return kExitOk;
}

int run_get(const Context& context, const std::vector<std::string>& paths, bool json) {
    Session session(context.store);
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> values;
    std::vector<element_property_t> properties;
    check_result(paths.front(), session.client().get_leaves(paths, statuses, values, properties));
    int exit_status = kExitOk;
    Json list = Json::array();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const api_status_t status = i < statuses.size() ? statuses[i] : 0;
        if (status != QEL_STATUS_OK || i >= values.size()) {
            std::fprintf(stderr, "nyr: %s: %s (status %d)\n", paths[i].c_str(),
                         status_meaning(status).c_str(), status);
            exit_status = kExitRefused;
            continue;
        }
        if (json) {
            Json entry = {{"path", text_json(paths[i])}, {"property", properties[i]}};
            put_value(values[i], entry);
            list.push_back(std::move(entry));
        } else {
            std::printf("%s\n", value_text(values[i]).c_str());
        }
    }
    if (json) print_json(list);
    return exit_status;
}

int run_set(const Context& context, const std::string& path, const std::string& text,
            uint32_t property) {
    const toolkit::CElement value = parse_typed_value(text);  // refused before the store opens
    Session session(context.store);
    api_status_t status = 0;
    const int result = session.client().set_leaf(
        path, value, status, static_cast<qel_tribool_t>(property), write_source());
    check_item(path, result, status);
    return kExitOk;
}

int run_rm(const Context& context, const std::string& path) {
    Session session(context.store);
    api_status_t status = 0;
    int result = session.client().remove_node(path, status, write_source());
    // rm takes whatever is at the path: a leaf is cleared.
    if (result == 0 && status == QEL_STATUS_IS_LEAF)
        result = session.client().clear_leaf(path, status, write_source());
    check_item(path, result, status);
    return kExitOk;
}

int run_copy(const Context& context, const std::string& from, const std::string& to, bool move) {
    Session session(context.store);
    toolkit::CNyr& client = session.client();
    api_status_t status = 0;
    check_result(from, client.test_node(from, status));
    if (status != QEL_STATUS_OK) {
        // A single leaf is copied or moved by itself; anything else that is no node is refused
        // here, since a subtree copy of a missing node would make an empty one.
        toolkit::CElement value;
        element_property_t property = 0;
        check_item(from, client.get_leaf(from, status, value, property), status);
        const bool auto_time = toolkit::CElement::_auto_time;
        toolkit::CElement::_auto_time = false;  // the copy keeps the leaf's time stamp
        const int result = client.set_leaf(to, value, status, static_cast<qel_tribool_t>(property),
                                           write_source());
        toolkit::CElement::_auto_time = auto_time;
        check_item(to, result, status);
        if (move) check_item(from, client.clear_leaf(from, status, write_source()), status);
        return kExitOk;
    }
    const int result = move ? client.move_node(from, to, status, write_source())
                            : client.copy_node_recursive(from, to, status, write_source());
    check_item(status == 3 ? to : from, result, status);
    return kExitOk;
}

using SingleItem = int (toolkit::CNyr::*)(const std::string&, api_status_t&, const std::string&);

void add_single(CLI::App& app, Context& context, const char* name, const char* description,
                SingleItem member) {
    auto path = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("PATH", *path, "Path in the store")->required();
    command->callback([&context, path, member] {
        context.action = [&context, path, member] {
            Session session(context.store);
            api_status_t status = 0;
            check_item(*path, (session.client().*member)(*path, status, write_source()), status);
            return kExitOk;
        };
    });
}

}  // namespace

std::string write_source() {
    std::string source;
    toolkit::CEvent::format_source_string(source, "nyr", "", "");
    return source;
}

void print_json(const Json& json) {
    std::puts(json.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
}

void add_tree_commands(CLI::App& app, Context& context) {
    auto ls = std::make_shared<ListOptions>();
    CLI::App* command = app.add_subcommand("ls", "List the entries of a node");
    command->add_option("PATH", ls->path, "Path of the node")->required();
    command->add_flag("-l,--long", ls->long_form, "Show type, property, time stamp and value");
    command->add_flag("-R,--recursive", ls->recursive, "List every node below too");
    command->add_flag("--json", ls->json, "Print a JSON list");
    command->callback(
        [&context, ls] { context.action = [&context, ls] { return run_ls(context, *ls); }; });

    auto paths = std::make_shared<std::vector<std::string>>();
    auto get_json = std::make_shared<bool>(false);
    auto then = std::make_shared<HistoryPoint>();
    command = app.add_subcommand("get", "Print the values of leaves");
    command->add_option("PATH", *paths, "Paths of the leaves")->required();
    command->add_flag("--json", *get_json, "Print a JSON list of the leaves");
    add_history_point(command, *then, "--at", "--rev", "The values, from the history,");
    command->callback([&context, paths, get_json, then] {
        context.action = [&context, paths, get_json, then] {
            return then->given() ? run_get_at(context, *paths, *then, *get_json)
                                 : run_get(context, *paths, *get_json);
        };
    });

    auto set_path = std::make_shared<std::string>();
    auto set_value = std::make_shared<std::string>();
    auto property = std::make_shared<uint32_t>(0);
    command = app.add_subcommand("set", "Write a leaf");
    command->add_option("PATH", *set_path, "Path of the leaf")->required();
    command
        ->add_option("VALUE", *set_value,
                     "[TYPE:]VALUE; TYPE is bool, int32, uint32, int64, uint64, double, "
                     "complex ((re,im)), time (YYYY-MM-DDThh:mm:ss[.ffffff]Z or seconds), "
                     "string or bytes (Base64); without TYPE a string")
        ->required();
    command->add_option("--property", *property, "Property word (tri-state) of the write")
        ->capture_default_str();
    command->callback([&context, set_path, set_value, property] {
        context.action = [&context, set_path, set_value, property] {
            return run_set(context, *set_path, *set_value, *property);
        };
    });

    add_single(app, context, "mkdir", "Add a node (and the missing nodes above it)",
               &toolkit::CNyr::add_node);
    add_single(app, context, "clear", "Clear a leaf", &toolkit::CNyr::clear_leaf);

    auto rm_path = std::make_shared<std::string>();
    command = app.add_subcommand("rm", "Remove a node with everything below it, or a leaf");
    command->add_option("PATH", *rm_path, "Path of the node or leaf")->required();
    command->callback([&context, rm_path] {
        context.action = [&context, rm_path] { return run_rm(context, *rm_path); };
    });

    for (const bool move : {false, true}) {
        auto from = std::make_shared<std::string>();
        auto to = std::make_shared<std::string>();
        command = app.add_subcommand(move ? "mv" : "cp",
                                     move ? "Move a subtree (or a leaf) to a new path"
                                          : "Copy a subtree (or a leaf) to another path");
        command->add_option("SRC", *from, "Path of the subtree")->required();
        command->add_option("DST", *to, "Path of the copy")->required();
        command->callback([&context, from, to, move] {
            context.action = [&context, from, to, move] {
                return run_copy(context, *from, *to, move);
            };
        });
    }
}

}  // namespace nyr_tool
