// The tree's history as nyr shows it: points in the history (a time or a revision), changes in
// their line and JSON forms, and the subtree as it was.
#ifndef NYR_TOOL_HISTORY_VIEW_H
#define NYR_TOOL_HISTORY_VIEW_H

#include <nyr_host.h>
#include <toolkit/element.h>

#include <string>
#include <vector>

#include "json_value.h"

namespace nyr_tool {

// A point of the history as the command line gives it: a time ("YYYY-MM-DDThh:mm:ss[.ffffff]Z"
// or seconds) or a revision (a plain number), each after an option of its own.
struct HistoryPoint {
    std::string time;      // empty unless given
    std::string revision;  // empty unless given
    bool given() const { return !time.empty() || !revision.empty(); }
};

// The parsed point: `at` set for a time, else `revision`. Throws a usage error naming `time_name`
// or `revision_name` for a text that is neither, or when both or (with `required`) none are
// given.
struct ParsedPoint {
    bool by_time = false;
    timeval at{};
    uint64_t revision = 0;
    const timeval* time() const { return by_time ? &at : nullptr; }
};
ParsedPoint parse_point(const HistoryPoint& point, const char* time_name,
                        const char* revision_name);

// The name of a change's kind: "leaf-set", "leaf-cleared", "node-added", "node-removed".
const char* change_kind_name(int32_t kind);

// A leaf as "TYPE:VALUE", and in the export document's form without its path.
std::string leaf_text(const _element_datatype_t& value);
Json leaf_json(const _element_datatype_t& value, element_property_t property);

// A change in one line: revision, time, kind, path, old -> new, source, user and pid ("-" where
// there is none); and as a JSON object with the keys revision, time, kind, path, old, new,
// source, uid, pid.
std::string change_line(const qel_host_change_t& change);
Json change_json(const qel_host_change_t& change);

// An entry of a subtree as it was, with its path relative to the subtree.
struct PastEntry {
    std::string relative;
    bool is_leaf = false;
    toolkit::CElement value;
    element_property_t property = 0;
};
// The subtree at `path` as it was at `point` (entries in byte order of their relative paths, the
// subtree itself first as ""), and the revision read. Throws naming `path` when the store
// refuses, the history no longer holds the point, or nothing was at `path` then.
std::vector<PastEntry> subtree_then(qel_handle_t handle, const std::string& path,
                                    const ParsedPoint& point, uint64_t& revision);

}  // namespace nyr_tool

#endif  // NYR_TOOL_HISTORY_VIEW_H
