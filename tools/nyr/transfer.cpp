// Export reads the subtree with one listing per node and batched leaf reads; import parses and
// checks the whole document, then writes the nodes and the leaves in batches.
#include "transfer.h"

#include <nyr_host.h>

#include <algorithm>
#include <set>

#include "json_value.h"
#include "progress.h"
#include "tool_error.h"
#include "tree_walk.h"

namespace nyr_tool {

namespace {

const char kFormat[] = "nyr-export";

void append_entries(std::string& out, const char* name, const std::vector<std::string>& lines,
                    bool last) {
    out += "  \"";
    out += name;
    out += "\": [";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += i == 0 ? "\n    " : ",\n    ";
        out += lines[i];
    }
    out += lines.empty() ? "]" : "\n  ]";
    out += last ? "\n" : ",\n";
}

// A path as the store takes it: "/" or "/name..." without a trailing slash, within the store's
// length and depth.
bool valid_path(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > QEL_HOST_MAX_PATH_LENGTH) return false;
    if (path.find_first_not_of('/') == std::string::npos) return true;
    if (path.back() == '/') return false;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] != '/' && path[i - 1] == '/') ++depth;
    return depth <= QEL_HOST_MAX_PATH_DEPTH;
}

// A relative path of the document: "" or names joined by single slashes.
bool valid_relative(const std::string& relative) {
    if (relative.empty()) return true;
    if (relative.front() == '/' || relative.back() == '/') return false;
    return relative.find("//") == std::string::npos;
}

std::string parent_of(const std::string& relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

}  // namespace

ImportPlan check_import(const std::string& path, const std::string& text,
                        const std::string& source_name) {
    if (!valid_path(path)) throw refused(path + ": " + status_meaning(QEL_STATUS_BAD_PATH));
    Json document;
    try {
        document = Json::parse(text);
    } catch (const Json::parse_error& error) {
        // nlohmann's message says "parse error at line L, column C: ..."; drop its tag.
        std::string message = error.what();
        const std::size_t tag_end = message.find("] ");
        if (tag_end != std::string::npos) message.erase(0, tag_end + 2);
        throw refused(source_name + ": malformed JSON: " + message);
    }
    if (!document.is_object() || document.value("format", "") != kFormat)
        throw refused(source_name + ": not an nyr export (\"format\" is not \"nyr-export\")");
    const auto version = document.find("version");
    if (version == document.end() || !version->is_number_integer() ||
        version->get<int64_t>() != kExportVersion)
        throw refused(source_name + ": schema version " +
                      (version == document.end() ? std::string("missing") : version->dump()) +
                      " is not known (this nyr reads version " + std::to_string(kExportVersion) +
                      ")");
    const auto nodes = document.find("nodes");
    const auto leaves = document.find("leaves");
    if (nodes == document.end() || !nodes->is_array() || leaves == document.end() ||
        !leaves->is_array())
        throw refused(source_name + ": \"nodes\" and \"leaves\" must be lists");

    ImportPlan plan;
    std::set<std::string> node_set;
    for (std::size_t i = 0; i < nodes->size(); ++i) {
        const std::string where = source_name + ": node #" + std::to_string(i + 1);
        const std::string relative = take_text((*nodes)[i], where);
        const std::string absolute = join_path(path, relative);
        if (!valid_relative(relative) || !valid_path(absolute))
            throw refused(where + ": bad path \"" + relative + "\"");
        if (!node_set.insert(relative).second)
            throw refused(where + ": \"" + relative + "\" is listed twice");
        plan.nodes.push_back(absolute);
    }
    std::set<std::string> leaf_set;
    plan.values.reserve(leaves->size());
    for (std::size_t i = 0; i < leaves->size(); ++i) {
        const Json& leaf = (*leaves)[i];
        const std::string where = source_name + ": leaf #" + std::to_string(i + 1);
        if (!leaf.is_object() || !leaf.contains("path") || !leaf.contains("property"))
            throw refused(where +
                          ": a leaf is an object with \"path\", \"property\", \"type\" "
                          "and \"value\"");
        const std::string relative = take_text(leaf["path"], where);
        const std::string absolute = join_path(path, relative);
        if (!valid_relative(relative) || !valid_path(absolute))
            throw refused(where + ": bad path \"" + relative + "\"");
        const Json& property = leaf["property"];
        if (!property.is_number_unsigned() || property.get<uint64_t>() > UINT32_MAX)
            throw refused(where + ": \"property\" is a 32-bit unsigned number");
        if (node_set.count(relative) != 0 || !leaf_set.insert(relative).second)
            throw refused(where + ": \"" + relative + "\" is listed twice");
        plan.values.push_back(take_value(leaf, where + " (" + relative + ")"));
        plan.tribools.push_back(static_cast<qel_tribool_t>(property.get<uint32_t>()));
        plan.leaves.push_back(absolute);
    }
    // A leaf cannot hold entries: no node or leaf may lie below one.
    for (const std::set<std::string>* entries : {&node_set, &leaf_set})
        for (const std::string& relative : *entries)
            for (std::string up = parent_of(relative); !up.empty(); up = parent_of(up))
                if (leaf_set.count(up) != 0)
                    throw refused(source_name + ": \"" + relative + "\" lies below the leaf \"" +
                                  up + "\"");
    return plan;
}

namespace {

// Reports a refusal part way through the writes.
[[noreturn]] void stopped(const std::vector<std::string>& refused_paths,
                          const std::vector<api_status_t>& refused_statuses, std::size_t nodes_done,
                          std::size_t nodes_total, std::size_t leaves_done,
                          std::size_t leaves_total, std::size_t leaves_tried) {
    std::string message =
        "import stopped: the store refused " + std::to_string(refused_paths.size()) + " item(s):";
    for (std::size_t i = 0; i < refused_paths.size() && i < 5; ++i)
        message += "\n  " + refused_paths[i] + ": " + status_meaning(refused_statuses[i]) +
                   " (status " + std::to_string(refused_statuses[i]) + ")";
    message += "\nwritten: " + std::to_string(nodes_done) + " of " + std::to_string(nodes_total) +
               " nodes and " + std::to_string(leaves_done) + " of " + std::to_string(leaves_total) +
               " leaves (the leaves up to #" + std::to_string(leaves_tried) +
               " of the file, except those refused)";
    throw refused(message);
}

}  // namespace

std::string export_subtree(toolkit::CNyr& client, const std::string& path) {
    api_status_t status = 0;
    check_result(path, client.test_node(path, status));
    std::vector<std::string> node_lines;
    std::vector<std::string> relative_leaves;
    std::vector<std::string> leaf_paths;
    if (status == QEL_STATUS_OK) {
        node_lines.push_back("\"\"");
        for (const TreeEntry& entry : list_entries(client, path, true)) {
            if (entry.node) {
                node_lines.push_back(text_json(entry.relative).dump());
            } else {
                leaf_paths.push_back(join_path(path, entry.relative));
                relative_leaves.push_back(entry.relative);
            }
        }
    } else {
        // Not a node: a single leaf, under the relative path "".
        toolkit::CElement value;
        element_property_t property = 0;
        check_item(path, client.get_leaf(path, status, value, property), status);
        leaf_paths.push_back(path);
        relative_leaves.emplace_back();
    }

    Progress progress("export " + path, leaf_paths.size());
    std::vector<toolkit::CElement> values;
    std::vector<element_property_t> properties;
    read_leaves(client, leaf_paths, values, properties,
                [&progress](std::size_t done) { progress.update(done); });

    return export_document(node_lines, relative_leaves, values, properties);
}

std::string export_document(const std::vector<std::string>& node_lines,
                            const std::vector<std::string>& relative_leaves,
                            const std::vector<toolkit::CElement>& values,
                            const std::vector<element_property_t>& properties) {
    std::vector<std::string> leaf_lines;
    leaf_lines.reserve(values.size());
    Json leaf = Json::object();
    for (std::size_t i = 0; i < values.size(); ++i) {
        leaf.clear();
        leaf["path"] = text_json(relative_leaves[i]);
        leaf["property"] = properties[i];
        put_value(values[i], leaf);
        leaf_lines.push_back(leaf.dump());
    }
    std::string out = "{\n  \"format\": \"" + std::string(kFormat) +
                      "\",\n  \"version\": " + std::to_string(kExportVersion) + ",\n";
    append_entries(out, "nodes", node_lines, false);
    append_entries(out, "leaves", leaf_lines, true);
    out += "}\n";
    return out;
}

std::string export_subtree_at(qel_handle_t handle, const std::string& path,
                              const ParsedPoint& point) {
    uint64_t revision = 0;
    std::vector<std::string> node_lines, relative_leaves;
    std::vector<toolkit::CElement> values;
    std::vector<element_property_t> properties;
    for (PastEntry& entry : subtree_then(handle, path, point, revision)) {
        if (!entry.is_leaf) {
            node_lines.push_back(text_json(entry.relative).dump());
            continue;
        }
        relative_leaves.push_back(entry.relative);
        values.push_back(std::move(entry.value));
        properties.push_back(entry.property);
    }
    return export_document(node_lines, relative_leaves, values, properties);
}

void write_import(toolkit::CNyr& client, const ImportPlan& plan, const std::string& path) {
    std::vector<std::string> refused_paths;
    std::vector<api_status_t> refused_statuses;
    std::vector<api_status_t> statuses;
    const std::string source = "nyr import";
    auto collect = [&](const std::vector<std::string>& batch, std::size_t& done) {
        if (statuses.size() < batch.size())
            throw refused(batch.front() + ": the store answered for fewer items than written");
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (statuses[i] == QEL_STATUS_OK) {
                ++done;
            } else {
                refused_paths.push_back(batch[i]);
                refused_statuses.push_back(statuses[i]);
            }
        }
    };

    std::size_t nodes_done = 0;
    std::vector<std::string> batch;
    for (std::size_t first = 0; first < plan.nodes.size(); first += kBatchLeaves) {
        const std::size_t count = std::min(kBatchLeaves, plan.nodes.size() - first);
        batch.assign(plan.nodes.begin() + first, plan.nodes.begin() + first + count);
        check_result(batch.front(), client.add_nodes(batch, statuses, source));
        collect(batch, nodes_done);
        if (!refused_paths.empty())
            stopped(refused_paths, refused_statuses, nodes_done, plan.nodes.size(), 0,
                    plan.leaves.size(), 0);
    }

    // The document's time stamps are kept as they are: the store stamps none of these writes.
    const bool auto_time = toolkit::CElement::_auto_time;
    toolkit::CElement::_auto_time = false;
    struct RestoreAutoTime {
        bool value;
        ~RestoreAutoTime() { toolkit::CElement::_auto_time = value; }
    } restore{auto_time};

    Progress progress("import " + path, plan.leaves.size());
    std::size_t leaves_done = 0;
    std::vector<toolkit::CElement> values;
    std::vector<qel_tribool_t> tribools;
    for (std::size_t first = 0; first < plan.leaves.size();) {
        // A batch ends at kBatchLeaves leaves or once its payload passes kBatchBytes.
        std::size_t end = first;
        std::size_t bytes = 0;
        while (end < plan.leaves.size() && end - first < kBatchLeaves && bytes < kBatchBytes) {
            const toolkit::CElement& value = plan.values[end];
            bytes += plan.leaves[end].size() + value.string_buffer().size() +
                     value.blob_buffer().size() + 64;
            ++end;
        }
        batch.assign(plan.leaves.begin() + first, plan.leaves.begin() + end);
        values.assign(plan.values.begin() + first, plan.values.begin() + end);
        tribools.assign(plan.tribools.begin() + first, plan.tribools.begin() + end);
        check_result(batch.front(), client.set_leaves(batch, values, tribools, statuses, source));
        collect(batch, leaves_done);
        if (!refused_paths.empty())
            stopped(refused_paths, refused_statuses, nodes_done, plan.nodes.size(), leaves_done,
                    plan.leaves.size(), end);
        first = end;
        progress.update(first);
    }
}

}  // namespace nyr_tool
