// A write call's changes as history rows, and the subtree test selections share.
#include "history/history_codec.h"
#include "nyr_host.h"

namespace nyrhost {

bool within(std::string_view path, std::string_view subtree) {
    if (subtree == "/") return true;
    return path.size() >= subtree.size() && path.compare(0, subtree.size(), subtree) == 0 &&
           (path.size() == subtree.size() || path[subtree.size()] == '/');
}

std::vector<HistoryChange> rows_of(const Tree::Changes& changes, const WriteInfo& info) {
    std::vector<HistoryChange> rows;
    rows.reserve(changes.size());
    for (const TreeChange& change : changes) {
        HistoryChange& row = rows.emplace_back();
        row.revision = info.revision;
        row.index = static_cast<uint32_t>(rows.size() - 1);
        row.time_us = info.time_us;
        row.kind = change.cmd;
        row.path = change.path;
        if (change.before)
            row.old_value =
                encode_leaf(change.before->record, change.before->payload, change.before->property);
        if (change.removed) row.old_value = encode_removed(*change.removed, change.path);
        if (change.cmd == QEL_HOST_CHANGE_LEAF_SET)
            row.new_value = encode_leaf(change.record, change.payload, change.property);
        row.source = std::string(info.source);
        row.has_peer = info.has_peer;
        row.uid = info.uid;
        row.pid = info.pid;
    }
    return rows;
}

}  // namespace nyrhost
