// The host store's tree: nodes find their children by name and list them in name order, leaves
// hold their values.
#include "core/tree.h"

#include <algorithm>

#include "nyr_host.h"

namespace nyrhost {

Tree::Tree() : root_(std::make_unique<Child>()) {
    root_->name = "/";
    root_->entry.node = std::make_unique<Node>();
}

Tree::~Tree() {
    dismantle(std::move(*root_));
}

void Tree::dismantle(Child child) noexcept {
    try {
        std::vector<Child> pending;
        pending.push_back(std::move(child));
        while (!pending.empty()) {
            Child next = std::move(pending.back());
            pending.pop_back();
            if (next.entry.is_node()) next.entry.node->children.take_all(pending);
        }
    } catch (const std::bad_alloc&) {
        // What is left goes the recursive way, as the unwinding destroys it.
    }
}

Tree::Batch::Batch(Tree& tree) : tree_(tree) {
    tree_.batch_ = this;
}

Tree::Batch::~Batch() {
    tree_.batch_ = nullptr;
    for (Step& step : steps_)
        if (step.kind == kErased) dismantle(std::move(step.child));
}

void Tree::Batch::make_room(std::size_t steps, std::size_t bytes) {
    if (steps_.capacity() < steps_.size() + steps)
        steps_.reserve(std::max(2 * steps_.capacity(), steps_.size() + steps));
    if (names_.capacity() < names_.size() + bytes)
        names_.reserve(std::max(2 * names_.capacity(), names_.size() + bytes));
}

void Tree::Batch::push(Kind kind, Node& parent, std::string_view name, Child child) {
    steps_.push_back({kind, &parent, names_.size(), name.size(), std::move(child)});
    names_.append(name);
}

void Tree::Batch::undo() noexcept {
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        Node& parent = *step->parent;
        parent.listing.reset();
        if (step->kind == kAdded) {
            Child added;  // empty by now: what was written below it was taken back first
            parent.children.erase(name(*step), added);
        } else if (step->kind == kReplaced) {
            std::swap(parent.children.find(name(*step))->entry.leaf, step->child.entry.leaf);
        } else {
            parent.children.put_back(std::move(step->child));
        }
    }
    steps_.clear();
    names_.clear();
}

Tree::Entry& Tree::add(Node& parent, std::string_view name, bool node) {
    Child child;
    child.name.assign(name.data(), name.size());
    if (node) child.entry.node = std::make_unique<Node>();
    parent.listing.reset();
    Entry& added = parent.children.insert(std::move(child))->entry;
    if (batch_) batch_->push(Batch::kAdded, parent, name);
    return added;
}

void Tree::discard(Node& parent, Child child) {
    if (batch_)
        batch_->push(Batch::kErased, parent, {}, std::move(child));
    else
        dismantle(std::move(child));
}

const Tree::Entry* Tree::find(const Path& path, int& status) const {
    const Entry* entry = &root_->entry;
    for (std::string_view name : path.names()) {
        if (!entry->is_node()) {
            status = QEL_STATUS_IS_LEAF;
            return nullptr;
        }
        const Child* child = entry->node->children.find(name);
        if (!child) {
            status = QEL_STATUS_NOT_FOUND;
            return nullptr;
        }
        entry = &child->entry;
    }
    status = QEL_STATUS_OK;
    return entry;
}

// Room for `more` changes, made before the tree changes.
static void make_room(Tree::Changes* changes, std::size_t more) {
    if (changes && changes->capacity() < changes->size() + more)
        changes->reserve(std::max(2 * changes->capacity(), changes->size() + more));
}

void Tree::Created::undo(Changes* list, Batch* batch) {
    if (list) list->resize(changes, TreeChange{});
    if (batch) batch->steps_.erase(batch->steps_.begin() + steps, batch->steps_.end());
    if (!above) return;
    Child removed;  // a chain of new, empty nodes: it goes with this
    above->children.erase(name, removed);
    above->listing.reset();
}

Tree::Node* Tree::parent_of(const Path& path, bool create, Changes* changes, int& status,
                            Created* created) {
    Node* node = root_->entry.node.get();
    for (std::size_t i = 0; i + 1 < path.depth(); ++i) {
        Child* child = node->children.find(path.name(i));
        Entry* entry = child ? &child->entry : nullptr;
        if (!entry) {
            if (!create) {
                status = QEL_STATUS_NOT_FOUND;
                return nullptr;
            }
            // Everything below a node created here is new, so no later step can fail.
            TreeChange added{QEL_HOST_CHANGE_NODE_ADDED,
                             changes ? std::string(path.prefix(i)) : "",
                             {},
                             {},
                             0,
                             nullptr,
                             nullptr};
            entry = &add(*node, path.name(i), true);
            if (created && !created->above) created->above = node, created->name = path.name(i);
            if (changes) changes->push_back(std::move(added));
        } else if (!entry->is_node()) {
            status = QEL_STATUS_IS_LEAF;
            return nullptr;
        }
        node = entry->node.get();
    }
    status = QEL_STATUS_OK;
    return node;
}

// A write that runs out of memory takes back what it created and changes nothing: what it
// records is made before the tree changes, and the nodes it created on its way are removed again.
template <typename Write>
int Tree::creating(const Path& path, Changes* changes, Write write) {
    make_room(changes, path.depth() + 1);
    if (batch_) batch_->make_room(path.depth() + 1, path.text().size());
    Created created;
    created.changes = changes ? changes->size() : 0;
    created.steps = batch_ ? batch_->steps_.size() : 0;
    try {
        int status = QEL_STATUS_OK;
        Node* parent = parent_of(path, true, changes, status, &created);
        return parent ? write(*parent) : status;
    } catch (...) {
        created.undo(changes, batch_);
        throw;
    }
}

int Tree::add_node(const Path& path, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_OK;
    TreeChange added{QEL_HOST_CHANGE_NODE_ADDED,
                     changes ? std::string(path.text()) : "",
                     {},
                     {},
                     0,
                     nullptr,
                     nullptr};
    return creating(path, changes, [&](Node& parent) {
        if (const Child* existing = parent.children.find(path.last()))
            return existing->entry.is_node() ? QEL_STATUS_OK : QEL_STATUS_IS_LEAF;
        add(parent, path.last(), true);
        if (changes) changes->push_back(std::move(added));
        return QEL_STATUS_OK;
    });
}

int Tree::remove_node(const Path& path, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_ROOT;
    return erase(path, true, changes);
}

std::shared_ptr<const LeafCopy> Tree::copy_of(const LeafValue& leaf) {
    auto copy = std::make_shared<LeafCopy>();
    copy->record = leaf.record;
    copy->payload = std::string(leaf.payload());
    copy->property = leaf.property;
    return copy;
}

std::shared_ptr<const std::vector<RemovedEntry>> Tree::copy_below(const Node& top,
                                                                  std::string_view path) {
    auto entries = std::make_shared<std::vector<RemovedEntry>>();
    // Breadth first, level by level, so that parents come first and nothing recurses.
    std::vector<std::pair<const Node*, std::size_t>> pending{{&top, SIZE_MAX}};
    for (std::size_t next = 0; next < pending.size(); ++next) {
        const auto [node, at] = pending[next];
        const std::string prefix = at == SIZE_MAX ? std::string(path) : (*entries)[at].path;
        node->children.for_each([&](const Child& child) {
            RemovedEntry entry;
            entry.path = prefix + "/" + child.name;
            if (!child.entry.is_node()) {
                auto leaf = std::make_unique<LeafCopy>(*copy_of(child.entry.leaf));
                entry.leaf = std::move(leaf);
            }
            entries->push_back(std::move(entry));
            if (child.entry.is_node())
                pending.emplace_back(child.entry.node.get(), entries->size() - 1);
        });
    }
    return entries;
}

int Tree::erase(const Path& path, bool node, Changes* changes) {
    int status = QEL_STATUS_OK;
    Node* parent = parent_of(path, false, nullptr, status);
    if (!parent) return status;
    const Child* child = parent->children.find(path.last());
    if (!child) return QEL_STATUS_NOT_FOUND;
    if (child->entry.is_node() != node) return node ? QEL_STATUS_IS_LEAF : QEL_STATUS_IS_NODE;
    // What the change records is made before the tree changes.
    const int cmd = node ? QEL_HOST_CHANGE_NODE_REMOVED : QEL_HOST_CHANGE_LEAF_CLEARED;
    TreeChange erased{cmd, changes ? std::string(path.text()) : "", {}, {}, 0, nullptr, nullptr};
    if (batch_) batch_->make_room(1, 0);
    if (changes) {
        make_room(changes, 1);
        if (node)
            erased.removed = copy_below(*child->entry.node, path.text());
        else
            erased.before = copy_of(child->entry.leaf);
    }
    Child removed;
    parent->children.erase(path.last(), removed);
    parent->listing.reset();
    discard(*parent, std::move(removed));
    if (changes) changes->push_back(std::move(erased));
    return QEL_STATUS_OK;
}

int Tree::set_leaf(const Path& path, LeafValue&& value, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_IS_NODE;
    TreeChange set;
    if (changes)
        set = {QEL_HOST_CHANGE_LEAF_SET,
               std::string(path.text()),
               value.record,
               std::string(value.payload()),
               value.property,
               nullptr,
               nullptr};
    // Parents are only created when missing, and a new node has nothing below it, so a refusal
    // further down (a node at the path, a leaf on the way) never follows a creation.
    return creating(path, changes, [&](Node& parent) {
        Child* existing = parent.children.find(path.last());
        if (existing && existing->entry.is_node()) return QEL_STATUS_IS_NODE;
        if (changes && existing) set.before = copy_of(existing->entry.leaf);
        Entry* leaf = existing ? &existing->entry : &add(parent, path.last(), false);
        if (existing && batch_) {
            batch_->push(Batch::kReplaced, parent, path.last());
            batch_->steps_.back().child.entry.leaf = std::move(leaf->leaf);
        }
        leaf->leaf = std::move(value);
        parent.listing.reset();  // its property word is listed
        if (changes) changes->push_back(std::move(set));
        return QEL_STATUS_OK;
    });
}

int Tree::clear_leaf(const Path& path, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_ROOT;
    return erase(path, false, changes);
}

int Tree::restore(const Path& path, LeafValue* leaf) {
    if (path.is_root()) return QEL_STATUS_ROOT;
    int status = QEL_STATUS_OK;
    Node* parent = parent_of(path, false, nullptr, status);
    if (!parent) return status;
    if (const Child* existing = parent->children.find(path.last()))
        return existing->entry.is_node() ? QEL_STATUS_IS_NODE : QEL_STATUS_IS_LEAF;
    Entry& entry = add(*parent, path.last(), leaf == nullptr);
    if (leaf) entry.leaf = std::move(*leaf);
    return QEL_STATUS_OK;
}

int Tree::copy(const Path& path, std::shared_ptr<const LeafCopy>& leaf,
               std::shared_ptr<const std::vector<RemovedEntry>>& below) const {
    leaf.reset();
    below.reset();
    int status = QEL_STATUS_OK;
    const Entry* entry = find(path, status);
    if (!entry) return QEL_STATUS_NOT_FOUND;
    if (entry->is_node())
        below = copy_below(*entry->node, path.is_root() ? "" : path.text());
    else
        leaf = copy_of(entry->leaf);
    return QEL_STATUS_OK;
}

int Tree::test_node(const Path& path) const {
    int status = QEL_STATUS_OK;
    const Entry* entry = find(path, status);
    if (!entry) return status == QEL_STATUS_IS_LEAF ? QEL_STATUS_NOT_FOUND : status;
    return entry->is_node() ? QEL_STATUS_OK : QEL_STATUS_IS_LEAF;
}

const LeafValue* Tree::find_leaf(const Path& path, int& status) const {
    const Entry* entry = find(path, status);
    if (!entry) {
        if (status == QEL_STATUS_IS_LEAF) status = QEL_STATUS_NOT_FOUND;
        return nullptr;
    }
    if (entry->is_node()) {
        status = QEL_STATUS_IS_NODE;
        return nullptr;
    }
    return &entry->leaf;
}

int Tree::list(const Path& path, std::shared_ptr<const Listing>& out,
               const LeafValue** self) const {
    out.reset();
    *self = nullptr;
    int status = QEL_STATUS_OK;
    const Entry* entry = find(path, status);
    if (!entry) return status == QEL_STATUS_IS_LEAF ? QEL_STATUS_NOT_FOUND : status;
    if (!entry->is_node()) {
        *self = &entry->leaf;
        return QEL_STATUS_IS_LEAF;
    }
    const Node& node = *entry->node;
    if (!node.listing) {
        auto made = std::make_shared<Listing>();
        made->children_.reserve(node.children.size());
        node.children.for_each([&](const Child& child) { made->children_.push_back(&child); });
        std::sort(made->children_.begin(), made->children_.end(),
                  [](const Child* a, const Child* b) { return a->name < b->name; });
        made->names_.reserve(made->children_.size());
        made->types_.reserve(made->children_.size());
        made->properties_.reserve(made->children_.size());
        for (std::size_t i = 0; i < made->children_.size(); ++i) {
            const Child& child = *made->children_[i];
            const bool is_leaf = !child.entry.is_node();
            made->names_.push_back(child.name);
            made->types_.push_back(is_leaf ? QEL_ELEMENT_LEAF : QEL_ELEMENT_NODE);
            made->properties_.push_back(is_leaf ? child.entry.leaf.property : 0);
            if (is_leaf) made->leaves_.push_back(i);
        }
        node.listing = std::move(made);
    }
    out = node.listing;
    return QEL_STATUS_OK;
}

}  // namespace nyrhost
