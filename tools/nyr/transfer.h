// nyr export and nyr import: a subtree as a JSON document (docs/nyr-export-schema.md).
#ifndef NYR_TOOL_TRANSFER_H
#define NYR_TOOL_TRANSFER_H

#include <toolkit/nyr.h>

#include <string>
#include <vector>

#include "history_view.h"

namespace nyr_tool {

// The version of the document that export writes and import reads.
constexpr int kExportVersion = 1;

// The document of the subtree at `path` (a node, or a single leaf). The same tree always gives
// the same bytes: entries are sorted, numbers and texts have one form each.
std::string export_subtree(toolkit::CNyr& client, const std::string& path);

// The document of the subtree at `path` as it was at `point` (through the store's history), in
// the same form and order as export_subtree() gives for the same tree.
std::string export_subtree_at(qel_handle_t handle, const std::string& path,
                              const ParsedPoint& point);
// The document of the given entries: node lines (relative paths as JSON texts, "" for a node
// exported itself), then leaves with their relative paths, values and property words, each list
// in byte order of the relative paths.
std::string export_document(const std::vector<std::string>& node_lines,
                            const std::vector<std::string>& relative_leaves,
                            const std::vector<toolkit::CElement>& values,
                            const std::vector<element_property_t>& properties);

// What an import writes: the document checked completely, as absolute paths and values.
struct ImportPlan {
    std::vector<std::string> nodes;
    std::vector<std::string> leaves;
    std::vector<toolkit::CElement> values;
    std::vector<qel_tribool_t> tribools;
};

// Checks the document `text` for an import below `path` without touching a store; throws an
// input error (naming `source_name`, and line and column for malformed JSON) at the first fault.
ImportPlan check_import(const std::string& path, const std::string& text,
                        const std::string& source_name);

// Writes a checked document: the nodes, then the leaves with their time stamps and property
// words, in batches. A refusal part way says which items were written.
void write_import(toolkit::CNyr& client, const ImportPlan& plan, const std::string& path);

}  // namespace nyr_tool

#endif  // NYR_TOOL_TRANSFER_H
