// The host store's tree: nodes hold their children sorted by name, leaves hold their values.
#include "core/tree.h"

#include "nyr_host.h"

namespace nyrhost {

const Tree::Entry* Tree::find(const Path& path, int& status) const {
    const Entry* entry = &root_;
    for (std::string_view name : path.names()) {
        if (!entry->is_node) {
            status = QEL_STATUS_IS_LEAF;
            return nullptr;
        }
        auto it = entry->children.find(name);
        if (it == entry->children.end()) {
            status = QEL_STATUS_NOT_FOUND;
            return nullptr;
        }
        entry = it->second.get();
    }
    status = QEL_STATUS_OK;
    return entry;
}

Tree::Entry* Tree::parent_of(const Path& path, bool create, Changes* changes, int& status) {
    Entry* entry = &root_;
    for (std::size_t i = 0; i + 1 < path.depth(); ++i) {
        auto it = entry->children.find(path.name(i));
        if (it == entry->children.end()) {
            if (!create) {
                status = QEL_STATUS_NOT_FOUND;
                return nullptr;
            }
            // Everything below a node created here is new, so no later step can fail.
            it =
                entry->children.emplace(std::string(path.name(i)), std::make_unique<Entry>()).first;
            if (changes)
                changes->push_back(
                    {QEL_HOST_CHANGE_NODE_ADDED, std::string(path.prefix(i)), nullptr});
        } else if (!it->second->is_node) {
            status = QEL_STATUS_IS_LEAF;
            return nullptr;
        }
        entry = it->second.get();
    }
    status = QEL_STATUS_OK;
    return entry;
}

int Tree::add_node(const Path& path, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_OK;
    int status = QEL_STATUS_OK;
    Entry* parent = parent_of(path, true, changes, status);
    if (!parent) return status;
    auto it = parent->children.find(path.last());
    if (it != parent->children.end())
        return it->second->is_node ? QEL_STATUS_OK : QEL_STATUS_IS_LEAF;
    parent->children.emplace(std::string(path.last()), std::make_unique<Entry>());
    if (changes)
        changes->push_back({QEL_HOST_CHANGE_NODE_ADDED, std::string(path.text()), nullptr});
    return QEL_STATUS_OK;
}

int Tree::remove_node(const Path& path, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_ROOT;
    return erase(path, true, changes);
}

int Tree::erase(const Path& path, bool node, Changes* changes) {
    int status = QEL_STATUS_OK;
    Entry* parent = parent_of(path, false, nullptr, status);
    if (!parent) return status;
    auto it = parent->children.find(path.last());
    if (it == parent->children.end()) return QEL_STATUS_NOT_FOUND;
    if (it->second->is_node != node) return node ? QEL_STATUS_IS_LEAF : QEL_STATUS_IS_NODE;
    parent->children.erase(it);
    const int cmd = node ? QEL_HOST_CHANGE_NODE_REMOVED : QEL_HOST_CHANGE_LEAF_CLEARED;
    if (changes) changes->push_back({cmd, std::string(path.text()), nullptr});
    return QEL_STATUS_OK;
}

int Tree::set_leaf(const Path& path, LeafValue&& value, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_IS_NODE;
    int status = QEL_STATUS_OK;
    // Parents are only created when missing, and a new node has nothing below it, so a refusal
    // further down (a node at the path, a leaf on the way) never follows a creation.
    Entry* parent = parent_of(path, true, changes, status);
    if (!parent) return status;
    auto it = parent->children.find(path.last());
    if (it == parent->children.end()) {
        it = parent->children.emplace(std::string(path.last()), std::make_unique<Entry>()).first;
        it->second->is_node = false;
    } else if (it->second->is_node) {
        return QEL_STATUS_IS_NODE;
    }
    it->second->leaf = std::move(value);
    if (changes)
        changes->push_back({QEL_HOST_CHANGE_LEAF_SET, std::string(path.text()), &it->second->leaf});
    return QEL_STATUS_OK;
}

int Tree::clear_leaf(const Path& path, Changes* changes) {
    if (path.is_root()) return QEL_STATUS_IS_NODE;
    return erase(path, false, changes);
}

int Tree::test_node(const Path& path) const {
    int status = QEL_STATUS_OK;
    const Entry* entry = find(path, status);
    if (!entry) return status == QEL_STATUS_IS_LEAF ? QEL_STATUS_NOT_FOUND : status;
    return entry->is_node ? QEL_STATUS_OK : QEL_STATUS_IS_LEAF;
}

const LeafValue* Tree::find_leaf(const Path& path, int& status) const {
    const Entry* entry = find(path, status);
    if (!entry) {
        if (status == QEL_STATUS_IS_LEAF) status = QEL_STATUS_NOT_FOUND;
        return nullptr;
    }
    if (entry->is_node) {
        status = QEL_STATUS_IS_NODE;
        return nullptr;
    }
    return &entry->leaf;
}

int Tree::list(const Path& path, std::vector<ListedEntry>& out, const LeafValue** self) const {
    out.clear();
    *self = nullptr;
    int status = QEL_STATUS_OK;
    const Entry* entry = find(path, status);
    if (!entry) return status == QEL_STATUS_IS_LEAF ? QEL_STATUS_NOT_FOUND : status;
    if (!entry->is_node) {
        *self = &entry->leaf;
        return QEL_STATUS_IS_LEAF;
    }
    out.reserve(entry->children.size());
    for (const auto& [name, child] : entry->children)
        out.push_back({&name, child->is_node ? nullptr : &child->leaf});
    return QEL_STATUS_OK;
}

}  // namespace nyrhost
