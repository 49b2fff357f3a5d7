// The history's forms on nyr's command line and output.
#include "history_view.h"

#include <cerrno>
#include <cstdlib>

#include "tool_error.h"
#include "value_text.h"

namespace nyr_tool {

namespace {

uint64_t parse_revision(const std::string& text, const char* name) {
    // Digits only: strtoull alone would take a sign, spaces and a base prefix.
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        errno == ERANGE || *end != '\0')
        throw usage_error(std::string(name) + " \"" + text + "\" is no revision (a plain number)");
    return v;
}

}  // namespace

ParsedPoint parse_point(const HistoryPoint& point, const char* time_name,
                        const char* revision_name) {
    if (!point.time.empty() && !point.revision.empty())
        throw usage_error(std::string("give ") + time_name + " or " + revision_name + ", not both");
    if (!point.given())
        throw usage_error(std::string("give ") + time_name + " TIME or " + revision_name + " REV");
    ParsedPoint parsed;
    if (!point.revision.empty()) {
        parsed.revision = parse_revision(point.revision, revision_name);
        return parsed;
    }
    qel_time32_t time{};
    if (!parse_time(point.time, time))
        throw usage_error(std::string(time_name) + " \"" + point.time +
                          "\" is no time: write YYYY-MM-DDThh:mm:ss[.ffffff]Z or seconds");
    parsed.by_time = true;
    parsed.at = toolkit::from_time32(time);
    return parsed;
}

const char* change_kind_name(int32_t kind) {
    switch (kind) {
        case QEL_HOST_CHANGE_LEAF_SET:
            return "leaf-set";
        case QEL_HOST_CHANGE_LEAF_CLEARED:
            return "leaf-cleared";
        case QEL_HOST_CHANGE_NODE_ADDED:
            return "node-added";
        case QEL_HOST_CHANGE_NODE_REMOVED:
            return "node-removed";
        default:
            return "unknown";
    }
}

std::string leaf_text(const _element_datatype_t& record) {
    toolkit::CElement value;
    value = record;
    return std::string(type_name(value.type)) + ":" + value_text(value);
}

Json leaf_json(const _element_datatype_t& record, element_property_t property) {
    toolkit::CElement value;
    value = record;
    Json out = {{"property", property}};
    put_value(value, out);
    return out;
}

std::string change_line(const qel_host_change_t& c) {
    const qel_time32_t time = toolkit::to_time32(c.time);
    std::string line =
        std::to_string(c.revision) + " " + time_text(time) + " " + change_kind_name(c.kind) + " " +
        c.path + " " + (c.has_old ? leaf_text(c.old_value) : "-") + " -> " +
        (c.has_new ? leaf_text(c.new_value) : "-") + " " + (c.source[0] != '\0' ? c.source : "-");
    line += c.has_peer ? " " + std::to_string(c.uid) + " " + std::to_string(c.pid) : " - -";
    return line;
}

Json change_json(const qel_host_change_t& c) {
    Json out = Json::object();
    out["revision"] = c.revision;
    out["time"] = {c.time.tv_sec, c.time.tv_usec};
    out["kind"] = change_kind_name(c.kind);
    out["path"] = text_json(c.path);
    out["old"] = c.has_old ? leaf_json(c.old_value, c.old_property) : Json(nullptr);
    out["new"] = c.has_new ? leaf_json(c.new_value, c.new_property) : Json(nullptr);
    out["source"] = text_json(c.source);
    out["uid"] = c.has_peer ? Json(c.uid) : Json(nullptr);
    out["pid"] = c.has_peer ? Json(c.pid) : Json(nullptr);
    return out;
}

std::vector<PastEntry> subtree_then(qel_handle_t handle, const std::string& path,
                                    const ParsedPoint& point, uint64_t& revision) {
    api_status_t status = 0;
    qel_host_entry_t* entries = nullptr;
    uint32_t count = 0;
    check_item(path,
               qel_host_subtree_at(handle, path.c_str(), point.revision, point.time(), &status,
                                   &entries, &count, &revision),
               status);
    const std::size_t prefix = path == "/" ? 0 : path.size();
    std::vector<PastEntry> out(count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string full = entries[i].path;
        // Below the root every path keeps its leading slash; below a node it loses "PATH/".
        out[i].relative = full == path ? "" : full.substr(prefix + 1);
        out[i].is_leaf = entries[i].is_leaf;
        if (entries[i].is_leaf) {
            out[i].value = entries[i].value;
            out[i].property = entries[i].property;
        }
    }
    return out;
}

}  // namespace nyr_tool
