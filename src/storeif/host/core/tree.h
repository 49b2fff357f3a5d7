// The host store's tree of nodes and typed leaves. Not thread-safe by itself: the store that owns
// it holds its lock around every call.
#ifndef NYR_HOST_CORE_TREE_H
#define NYR_HOST_CORE_TREE_H

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/child_table.h"
#include "core/path.h"
#include "nyr.h"

namespace nyrhost {

// A leaf's value as the tree keeps it: the record with its data pointer unused, and the bytes of
// a text or byte-array value in `payload`.
struct LeafValue {
    _element_datatype_t record{};
    std::string payload;
    element_property_t property = 0;
};

// A change made to the tree, reported so that it can be announced as an event.
struct TreeChange {
    int cmd;  // QEL_HOST_CHANGE_*
    std::string path;
    const LeafValue* leaf;  // the written leaf for QEL_HOST_CHANGE_LEAF_SET, else null
};

// One entry of a listing.
struct ListedEntry {
    const std::string* name;
    const LeafValue* leaf;  // null for a node
};

class Tree {
public:
    // Changes are reported through `changes` when it is not null. Every operation takes a parsed
    // path and returns an item status (QEL_STATUS_*). A failed operation changes nothing.
    using Changes = std::vector<TreeChange>;

    // Creates the node and any missing node above it; an existing node is success.
    int add_node(const Path& path, Changes* changes);
    // Removes a node and everything below it; the root cannot be removed.
    int remove_node(const Path& path, Changes* changes);
    // Creates or replaces a leaf, creating missing nodes above it.
    int set_leaf(const Path& path, LeafValue&& value, Changes* changes);
    // Removes a leaf.
    int clear_leaf(const Path& path, Changes* changes);
    // QEL_STATUS_OK for an existing node (the root always exists).
    int test_node(const Path& path) const;
    // The leaf at the path, or null with `status` saying why.
    const LeafValue* find_leaf(const Path& path, int& status) const;
    // The entries directly below a node in name order; for a leaf, `status` says QEL_STATUS_IS_LEAF
    // and `self` is set to the leaf.
    int list(const Path& path, std::vector<ListedEntry>& out, const LeafValue** self) const;

private:
    struct Node;
    struct Entry {
        std::unique_ptr<Node> node;  // set exactly for nodes
        LeafValue leaf;              // leaves only
        bool is_node() const { return node != nullptr; }
    };
    struct Child {
        std::string name;
        Entry entry;
    };
    // A listing walks the children in name order through `sorted`, built on the first listing
    // after a change and kept until the next one.
    struct Node {
        ChildTable<Child> children;
        mutable std::vector<const Child*> sorted;
        mutable bool sorted_current = false;
    };

    // The entry at `path`, or null; `status` says why not (NOT_FOUND or IS_LEAF on the way).
    const Entry* find(const Path& path, int& status) const;
    // Adds a child that is not there yet.
    static Entry& add(Node& parent, std::string_view name, bool node);
    // Removes the entry at `path` (not the root) when it is a node (`node`) or a leaf.
    int erase(const Path& path, bool node, Changes* changes);
    // The parent of the last name, creating missing nodes when `create` is set.
    Node* parent_of(const Path& path, bool create, Changes* changes, int& status);

    Entry root_{std::make_unique<Node>(), LeafValue{}};
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_TREE_H
