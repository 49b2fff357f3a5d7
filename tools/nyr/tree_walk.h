// Reading a subtree through the client: its entries by listing, its leaves in batches.
#ifndef NYR_TOOL_TREE_WALK_H
#define NYR_TOOL_TREE_WALK_H

#include <toolkit/nyr.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace nyr_tool {

// One entry below the node a walk started at, named by its path relative to that node.
struct TreeEntry {
    std::string relative;  // "name" or "name/name/..."
    bool node;
    element_property_t property;
};

// The path of `relative` (relative to `base`; "" is `base` itself).
std::string join_path(const std::string& base, const std::string& relative);

// Lists the node at `root` (and, when `recursive`, every node below it) with one list_node call
// per node, without recursion. Entries come sorted bytewise by relative path. Throws when `root`
// is no node or the store fails.
std::vector<TreeEntry> list_entries(toolkit::CNyr& client, const std::string& root, bool recursive);

// Reads the leaves at `paths` with get_leaves, in batches that a daemon's frame bound takes;
// `progress` is called with the number read so far after each batch. Throws naming the first
// path the store refused.
void read_leaves(toolkit::CNyr& client, const std::vector<std::string>& paths,
                 std::vector<toolkit::CElement>& values,
                 std::vector<element_property_t>& properties,
                 const std::function<void(std::size_t)>& progress);

// Paths per batch call: large enough that a round trip to nyrd costs little per leaf, small
// enough that a batch of ordinary values stays far below the daemon's frame bound.
constexpr std::size_t kBatchLeaves = 8192;
// Payload bytes (texts, byte arrays, paths) per written batch, for the same bound.
constexpr std::size_t kBatchBytes = 4u << 20;

}  // namespace nyr_tool

#endif  // NYR_TOOL_TREE_WALK_H
