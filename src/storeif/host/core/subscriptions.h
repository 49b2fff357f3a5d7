// Which handles are registered for which paths: a tree of path names mirroring the store's, each
// name with the registrations made at it. An event at /a/b/c consults the registrations at "/",
// /a and /a/b that cover their subtrees and every registration at /a/b/c, and nothing else, so
// its cost follows the depth of its path and the handles it reaches, not the registrations made
// elsewhere. Not thread-safe by itself: the store holds its lock around every call.
#ifndef NYR_HOST_CORE_SUBSCRIPTIONS_H
#define NYR_HOST_CORE_SUBSCRIPTIONS_H

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/child_table.h"
#include "core/path.h"
#include "nyr.h"

struct qel_handle_s;

namespace nyrhost {

class Subscriptions {
public:
    Subscriptions();
    ~Subscriptions();
    Subscriptions(const Subscriptions&) = delete;
    Subscriptions& operator=(const Subscriptions&) = delete;

    // Registers `handle` at `path` for the kind bits `kinds`: added to those of an earlier
    // registration there, whose subtree flag `subtree` replaces. False when the registration is
    // new.
    bool add(qel_handle_s* handle, const Path& path, api_event_t kinds, bool subtree);
    // Takes the kind bits `kinds` from the registration of `handle` at `path`; one left without
    // kinds ends, and `ended` says so. False when `handle` has none there.
    bool clear(qel_handle_s* handle, const Path& path, api_event_t kinds, bool& ended);
    // Ends every registration of `handle`, whose registered paths are `paths`.
    void remove(qel_handle_s* handle, const std::unordered_set<std::string>& paths);

    // Appends to `out`, once each, the handles with a registration for an event of kind `type` at
    // `path`: at the path itself, or at an ancestor for its subtree. Registrations whose kind
    // bits share none with `type` do not count.
    void match(const Path& path, int32_t type, std::vector<qel_handle_s*>& out) const;

    // The number of registrations over all handles; 0 lets writes skip announcing.
    std::size_t size() const { return size_; }

private:
    struct Entry {
        qel_handle_s* handle;
        api_event_t kinds;
        bool subtree;
    };
    struct Node {
        std::string name;
        std::vector<Entry> here;
        ChildTable<Node> children;
    };

    Node* find(const Path& path) const;
    Node* make(const Path& path);
    // Drops the node at `path` and its ancestors while they hold neither registrations nor
    // children.
    void prune(const Path& path);
    bool erase(Node* node, qel_handle_s* handle);

    std::unique_ptr<Node> root_;
    std::size_t size_ = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_SUBSCRIPTIONS_H
