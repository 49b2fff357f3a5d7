// The registrations of a store's handles, kept by path.
#include "core/subscriptions.h"

#include <algorithm>

#include "nyr_host.h"

namespace nyrhost {

Subscriptions::Subscriptions() : root_(std::make_unique<Node>()) {}

Subscriptions::~Subscriptions() {
    // Taken apart level by level, so that a deep path does not recurse in the destructors.
    std::vector<Node> pending;
    root_->children.take_all(pending);
    while (!pending.empty()) {
        Node node = std::move(pending.back());
        pending.pop_back();
        node.children.take_all(pending);
    }
}

Subscriptions::Node* Subscriptions::find(const Path& path) const {
    Node* node = root_.get();
    for (std::string_view name : path.names()) {
        node = node->children.find(name);
        if (!node) return nullptr;
    }
    return node;
}

Subscriptions::Node* Subscriptions::make(const Path& path) {
    Node* node = root_.get();
    for (std::string_view name : path.names()) {
        Node* next = node->children.find(name);
        if (!next) {
            Node made;
            made.name.assign(name.data(), name.size());
            next = node->children.insert(std::move(made));
        }
        node = next;
    }
    return node;
}

void Subscriptions::prune(const Path& path) {
    // Erasing a child moves its siblings in their parent's table, never the parent itself, so
    // the chain of ancestors stays valid from the bottom up.
    std::vector<Node*> chain{root_.get()};
    for (std::string_view name : path.names()) {
        Node* next = chain.back()->children.find(name);
        if (!next) return;
        chain.push_back(next);
    }
    for (std::size_t depth = path.depth(); depth > 0; --depth) {
        const Node& node = *chain[depth];
        if (!node.here.empty() || node.children.size() != 0) return;
        Node removed;
        chain[depth - 1]->children.erase(path.name(depth - 1), removed);
    }
}

bool Subscriptions::add(qel_handle_s* handle, const Path& path, api_event_t kinds, bool subtree) {
    Node* node = make(path);
    for (Entry& entry : node->here) {
        if (entry.handle != handle) continue;
        entry.kinds |= kinds;
        entry.subtree = subtree;
        return false;
    }
    node->here.push_back({handle, kinds, subtree});
    ++size_;
    return true;
}

bool Subscriptions::erase(Node* node, qel_handle_s* handle) {
    auto& here = node->here;
    auto it = std::find_if(here.begin(), here.end(),
                           [&](const Entry& entry) { return entry.handle == handle; });
    if (it == here.end()) return false;
    here.erase(it);
    --size_;
    return true;
}

bool Subscriptions::clear(qel_handle_s* handle, const Path& path, api_event_t kinds, bool& ended) {
    ended = false;
    Node* node = find(path);
    if (!node) return false;
    for (Entry& entry : node->here) {
        if (entry.handle != handle) continue;
        entry.kinds &= ~kinds;
        if (entry.kinds == 0) {
            ended = true;
            erase(node, handle);
            prune(path);
        }
        return true;
    }
    return false;
}

void Subscriptions::remove(qel_handle_s* handle, const std::unordered_set<std::string>& paths) {
    Path parsed;
    for (const std::string& path : paths) {
        if (Path::parse(std::string_view(path), parsed) != QEL_STATUS_OK) continue;
        Node* node = find(parsed);
        if (node && erase(node, handle)) prune(parsed);
    }
}

void Subscriptions::match(const Path& path, int32_t type, std::vector<qel_handle_s*>& out) const {
    const std::size_t first = out.size();
    const Node* node = root_.get();
    for (std::size_t depth = 0; node; ++depth) {
        const bool at_path = depth == path.depth();
        for (const Entry& entry : node->here) {
            if ((entry.kinds & type) != 0 && (at_path || entry.subtree))
                out.push_back(entry.handle);
        }
        if (at_path) break;
        node = node->children.find(path.name(depth));
    }
    // A handle registered at several of these paths is reached once.
    if (out.size() - first > 1) {
        std::sort(out.begin() + static_cast<long>(first), out.end());
        out.erase(std::unique(out.begin() + static_cast<long>(first), out.end()), out.end());
    }
}

}  // namespace nyrhost
