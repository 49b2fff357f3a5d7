// Reading the tree back to an earlier revision.
//
// The state at revision R follows from the current tree by undoing, newest first, every change
// after R. For one path only the first change after R on the path or on a node above it matters:
// it tells what was there just before it (the leaf it replaced, nothing, or, for a removed node
// above, what the removal kept of the path). A subtree is its state just before the first change
// after R on a node above it (or the current subtree, without one), with the changes inside it up
// to that point undone.
#include "history/at.h"

#include <vector>

#include "history/history_codec.h"
#include "nyr_host.h"

namespace nyrhost {

namespace {

// The paths of the nodes above `path`, the root left out.
std::vector<std::string> above(const Path& path) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i + 1 < path.depth(); ++i) paths.emplace_back(path.prefix(i));
    return paths;
}

void erase_within(Snapshot& state, const std::string& path) {
    auto it = state.lower_bound(path);
    while (it != state.end() && within(it->first, path)) it = state.erase(it);
    // Paths below sort after `path + "/"`, which a sibling such as "path!" may precede.
    for (it = state.lower_bound(path + "/"); it != state.end() && within(it->first, path);)
        it = state.erase(it);
}

// Puts back what a removed node at `node` kept, as far as it lies within `subtree`.
bool restore_removed(Snapshot& state, const HistoryChange& change, const std::string& subtree) {
    std::vector<RemovedItem> items;
    if (!change.old_value || !decode_removed(*change.old_value, items)) return false;
    if (within(change.path, subtree)) state[change.path] = std::nullopt;
    for (RemovedItem& item : items) {
        std::string path = change.path + item.path;
        if (within(path, subtree)) state[std::move(path)] = std::move(item.leaf);
    }
    return true;
}

// Undoes one change inside the subtree; false for a change whose recorded values do not decode.
bool undo(Snapshot& state, const HistoryChange& change, const std::string& subtree) {
    switch (change.kind) {
        case QEL_HOST_CHANGE_LEAF_SET:
        case QEL_HOST_CHANGE_LEAF_CLEARED: {
            if (!change.old_value) {
                state.erase(change.path);
                return true;
            }
            LeafCopy leaf;
            if (!decode_leaf(*change.old_value, leaf)) return false;
            state[change.path] = std::move(leaf);
            return true;
        }
        case QEL_HOST_CHANGE_NODE_ADDED:
            erase_within(state, change.path);
            return true;
        case QEL_HOST_CHANGE_NODE_REMOVED:
            return restore_removed(state, change, subtree);
        default:
            return false;
    }
}

}  // namespace

int check_revision(const History& history, uint64_t revision) {
    if (revision > history.revision()) return QEL_RESULT_BAD_ARGUMENT;
    return revision < history.dropped_revision() ? QEL_RESULT_TOO_OLD : QEL_RESULT_OK;
}

int revision_at(History& history, int64_t time_us, uint64_t& revision) {
    if (const int failed = history.held_revision_at(time_us, revision)) return failed;
    if (revision != 0) return QEL_RESULT_OK;
    // Before every held revision: the newest dropped one, if it was made by then.
    if (time_us < history.dropped_time_us()) return QEL_RESULT_TOO_OLD;
    revision = history.dropped_revision();
    return QEL_RESULT_OK;
}

int leaf_at(const Tree& tree, History& history, const Path& path, uint64_t revision, int& status,
            LeafCopy& leaf) {
    if (const int refused = check_revision(history, revision)) return refused;
    std::vector<std::string> paths = above(path);
    paths.emplace_back(path.text());
    HistoryChange first;
    bool found = false;
    if (const int failed = history.first_after(paths, revision, first, found)) return failed;
    if (!found) {
        const LeafValue* now = tree.find_leaf(path, status);
        if (now) {
            leaf.record = now->record;
            leaf.payload = std::string(now->payload());
            leaf.property = now->property;
        }
        return QEL_RESULT_OK;
    }
    status = QEL_STATUS_NOT_FOUND;
    if (first.path == path.text()) {
        if (first.kind == QEL_HOST_CHANGE_NODE_REMOVED) status = QEL_STATUS_IS_NODE;
        const bool leaf_change =
            first.kind == QEL_HOST_CHANGE_LEAF_SET || first.kind == QEL_HOST_CHANGE_LEAF_CLEARED;
        if (leaf_change && first.old_value) {
            if (!decode_leaf(*first.old_value, leaf)) return QEL_RESULT_DAMAGED;
            status = QEL_STATUS_OK;
        }
        return QEL_RESULT_OK;
    }
    // A change on a node above: only a removal kept anything of the path.
    if (first.kind != QEL_HOST_CHANGE_NODE_REMOVED) return QEL_RESULT_OK;
    Snapshot kept;
    if (!restore_removed(kept, first, std::string(path.text()))) return QEL_RESULT_DAMAGED;
    auto it = kept.find(std::string(path.text()));
    if (it == kept.end()) return QEL_RESULT_OK;
    if (!it->second) {
        status = QEL_STATUS_IS_NODE;
        return QEL_RESULT_OK;
    }
    leaf = std::move(*it->second);
    status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

int subtree_at(const Tree& tree, History& history, const Path& path, uint64_t revision,
               Snapshot& out) {
    out.clear();
    if (const int refused = check_revision(history, revision)) return refused;
    const std::string subtree(path.text());
    HistoryChange first;
    bool found = false;
    if (const int failed = history.first_after(above(path), revision, first, found)) return failed;
    HistorySelection inside;
    inside.subtree = subtree;
    inside.from_revision = revision + 1;
    if (found) {
        inside.until_revision = first.revision;
        if (first.kind == QEL_HOST_CHANGE_NODE_REMOVED && !restore_removed(out, first, subtree))
            return QEL_RESULT_DAMAGED;
    } else {
        std::shared_ptr<const LeafCopy> leaf;
        std::shared_ptr<const std::vector<RemovedEntry>> below;
        if (tree.copy(path, leaf, below) == QEL_STATUS_OK) {
            out[subtree] = leaf ? std::optional<LeafCopy>(*leaf) : std::nullopt;
            if (below)
                for (const RemovedEntry& entry : *below)
                    out[entry.path] =
                        entry.leaf ? std::optional<LeafCopy>(*entry.leaf) : std::nullopt;
        }
    }
    std::vector<HistoryChange> changes;
    if (const int failed = history.select(inside, changes)) return failed;
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
        if (found &&
            std::make_pair(it->revision, it->index) >= std::make_pair(first.revision, first.index))
            continue;
        if (!undo(out, *it, subtree)) return QEL_RESULT_DAMAGED;
    }
    return QEL_RESULT_OK;
}

}  // namespace nyrhost
