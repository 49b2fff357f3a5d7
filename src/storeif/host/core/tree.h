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
// a text or byte-array value (as many as the record's length says) in `bytes`. Kept small, since a
// tree holds a million of them: the record's own length serves for the payload's.
struct LeafValue {
    _element_datatype_t record{};
    std::unique_ptr<char[]> bytes;
    element_property_t property = 0;

    std::string_view payload() const {
        return bytes ? std::string_view(bytes.get(), record.value.string_value.length)
                     : std::string_view();
    }
};

// A copy of a leaf as it was before a change, kept for the store's history.
struct LeafCopy {
    _element_datatype_t record{};
    std::string payload;
    element_property_t property = 0;
};

// An entry below a removed node, as it was: `path` is the whole path, `leaf` null for a node.
struct RemovedEntry {
    std::string path;
    std::unique_ptr<LeafCopy> leaf;
};

// A change made to the tree, reported so that it can be announced as an event and kept in the
// store's history.
struct TreeChange {
    int cmd;  // QEL_HOST_CHANGE_*
    std::string path;
    // A copy of the written leaf's record, payload and property word for
    // QEL_HOST_CHANGE_LEAF_SET.
    _element_datatype_t record{};
    std::string payload;
    element_property_t property = 0;
    // The leaf that a set replaced or a clear removed; null when a set made a new leaf.
    std::shared_ptr<const LeafCopy> before;
    // For QEL_HOST_CHANGE_NODE_REMOVED: everything that was below the node, parents first.
    std::shared_ptr<const std::vector<RemovedEntry>> removed;
};

class Tree {
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

public:
    // A node's children in name order as of the node's last change (a child added, removed or
    // written). Names, kinds and property words are copies laid out flat, so handing out a
    // listing again costs only the entries written, and a caller holding it may hand the names
    // out while the tree changes on; the leaves themselves are only valid until the node changes
    // (under the store's lock).
    class Listing {
    public:
        std::size_t size() const { return names_.size(); }
        const std::string& name(std::size_t i) const { return names_[i]; }
        element_type_t type(std::size_t i) const { return types_[i]; }
        element_property_t property(std::size_t i) const { return properties_[i]; }
        // The leaf of entry i, null for a node.
        const LeafValue* leaf(std::size_t i) const {
            return children_[i]->entry.is_node() ? nullptr : &children_[i]->entry.leaf;
        }
        // The positions of the leaves among the entries, in order.
        const std::vector<std::size_t>& leaves() const { return leaves_; }

    private:
        friend class Tree;
        std::vector<std::string> names_;
        std::vector<element_type_t> types_;
        std::vector<element_property_t> properties_;
        std::vector<const Child*> children_;
        std::vector<std::size_t> leaves_;
    };

    // Changes are reported through `changes` when it is not null. Every operation takes a parsed
    // path and returns an item status (QEL_STATUS_*). A failed operation changes nothing.
    using Changes = std::vector<TreeChange>;

    // The writes made while a batch is open on the tree can be taken back together, so that a
    // batch that runs out of memory part-way changes nothing. Each write keeps what it replaced or
    // removed (not a copy: the entries themselves) and the names of the entries it added, and the
    // room for that is made before the tree changes, so taking them back needs no memory. One
    // batch at a time, under the store's lock.
    class Batch {
    public:
        explicit Batch(Tree& tree);
        // Keeps the writes; what they removed is destroyed.
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Takes back every write since the batch opened, the last first.
        void undo() noexcept;

    private:
        friend class Tree;
        enum Kind { kAdded, kReplaced, kErased };
        struct Step {
            Kind kind;
            Node* parent;
            std::size_t name_at, name_size;  // in names_; an erased child has its own name
            Child child;                     // the leaf replaced, or the entry erased
        };
        // Room for `steps` more steps and `bytes` more of their names.
        void make_room(std::size_t steps, std::size_t bytes);
        void push(Kind kind, Node& parent, std::string_view name, Child child = {});
        std::string_view name(const Step& step) const {
            return std::string_view(names_).substr(step.name_at, step.name_size);
        }
        Tree& tree_;
        std::vector<Step> steps_;
        std::string names_;
    };

    Tree();
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Creates the node and any missing node above it; an existing node is success.
    int add_node(const Path& path, Changes* changes);
    // Removes a node and everything below it; the root cannot be removed.
    int remove_node(const Path& path, Changes* changes);
    // Creates or replaces a leaf, creating missing nodes above it.
    int set_leaf(const Path& path, LeafValue&& value, Changes* changes);
    // Removes a leaf; the root is no leaf and cannot be cleared (QEL_STATUS_ROOT).
    int clear_leaf(const Path& path, Changes* changes);
    // QEL_STATUS_OK for an existing node (the root always exists).
    int test_node(const Path& path) const;
    // The leaf at the path, or null with `status` saying why.
    const LeafValue* find_leaf(const Path& path, int& status) const;
    // Puts back one entry of a tree being rebuilt from its saved form: a node when `leaf` is null,
    // else that leaf. Its parent must be there already and the entry itself not, so that a saved
    // form with an entry missing or twice is refused (QEL_STATUS_NOT_FOUND, QEL_STATUS_IS_LEAF or
    // QEL_STATUS_IS_NODE) rather than rebuilt into another tree. Nothing is announced.
    int restore(const Path& path, LeafValue* leaf);
    void swap(Tree& other) noexcept { root_.swap(other.root_); }
    // A copy of the entry at `path`: for a leaf `leaf` is set, for a node `below` holds
    // everything under it, parents first. The status of the look-up (QEL_STATUS_OK, or
    // QEL_STATUS_NOT_FOUND for no entry). Throws std::bad_alloc.
    int copy(const Path& path, std::shared_ptr<const LeafCopy>& leaf,
             std::shared_ptr<const std::vector<RemovedEntry>>& below) const;
    // The entries directly below a node, in name order; made once per change of the node, so
    // listing an unchanged node again costs nothing. For a leaf, the status is
    // QEL_STATUS_IS_LEAF and `self` is set to the leaf.
    int list(const Path& path, std::shared_ptr<const Listing>& out, const LeafValue** self) const;

private:
    struct Node {
        ChildTable<Child> children;
        mutable std::shared_ptr<const Listing> listing;  // null once the children change
    };

    // The entry at `path`, or null; `status` says why not (NOT_FOUND or IS_LEAF on the way).
    const Entry* find(const Path& path, int& status) const;
    // Adds a child that is not there yet.
    Entry& add(Node& parent, std::string_view name, bool node);
    // Removes the entry at `path` (not the root) when it is a node (`node`) or a leaf.
    int erase(const Path& path, bool node, Changes* changes);
    // The parent of the last name, creating missing nodes when `create` is set.
    // The nodes a write created on its way, so that a write that runs out of memory half-way can
    // take them back and change nothing.
    struct Created {
        Node* above = nullptr;  // holds the first node created
        std::string_view name;
        std::size_t changes = 0;  // the change list's length before the write
        std::size_t steps = 0;    // the open batch's steps before the write
        void undo(Changes* list, Batch* batch);
    };
    Node* parent_of(const Path& path, bool create, Changes* changes, int& status,
                    Created* created = nullptr);
    template <typename Write>
    int creating(const Path& path, Changes* changes, Write write);
    // Copies of what a change replaces or removes, for the history.
    static std::shared_ptr<const LeafCopy> copy_of(const LeafValue& leaf);
    static std::shared_ptr<const std::vector<RemovedEntry>> copy_below(const Node& top,
                                                                       std::string_view path);
    // Destroys a removed child and everything below it level by level, so that no depth of tree
    // makes the destruction recurse (unless there is no memory for the level list).
    static void dismantle(Child child) noexcept;
    // A removed child, handed to the open batch or destroyed.
    void discard(Node& parent, Child child);

    std::unique_ptr<Child> root_;
    Batch* batch_ = nullptr;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_TREE_H
