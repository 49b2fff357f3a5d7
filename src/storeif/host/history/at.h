// The tree as it was: at a revision, or at a time, read back from the current tree and the
// changes the history holds after that point, undone newest first.
#ifndef NYR_HOST_HISTORY_AT_H
#define NYR_HOST_HISTORY_AT_H

#include <map>
#include <optional>
#include <string>

#include "core/path.h"
#include "core/tree.h"
#include "history/history.h"

namespace nyrhost {

// The revision the tree was at, at `time_us`: the newest one stamped at or before it.
// QEL_RESULT_OK, or QEL_RESULT_TOO_OLD when the history no longer tells (the revisions around
// that time were dropped).
int revision_at(History& history, int64_t time_us, uint64_t& revision);

// Whether the tree at `revision` can be told: QEL_RESULT_OK, QEL_RESULT_TOO_OLD for a revision
// before what the history holds, QEL_RESULT_BAD_ARGUMENT for one that has not been made yet.
int check_revision(const History& history, uint64_t revision);

// The leaf at `path` as it was at `revision`: `status` as get_leaf's would have been then
// (QEL_STATUS_OK with `leaf`, QEL_STATUS_NOT_FOUND, QEL_STATUS_IS_NODE). The call's result as
// check_revision's, or the history's failure.
int leaf_at(const Tree& tree, History& history, const Path& path, uint64_t revision, int& status,
            LeafCopy& leaf);

// The entries at and below `path` as they were at `revision`, keyed by path, a leaf or (empty) a
// node; empty when there was no entry at `path`. Results as leaf_at's.
using Snapshot = std::map<std::string, std::optional<LeafCopy>>;
int subtree_at(const Tree& tree, History& history, const Path& path, uint64_t revision,
               Snapshot& out);

}  // namespace nyrhost

#endif  // NYR_HOST_HISTORY_AT_H
