// CNyr subtree copy and move, built from the client's own listing, batch and single-item
// members, so the null-handle, read-only and auto-time rules apply to every step.
#include <toolkit/nyr.h>

namespace toolkit {

namespace {

// The client's own status for a leaf whose item got no status from the store at all.
constexpr api_status_t kNoStatus = 0;
// The client's own status for a leaf whose property changed between listing and reading.
constexpr api_status_t kChangedType = 2;
// The client's own status for a move onto a node that already exists.
constexpr api_status_t kTargetExists = 3;

std::string child_path(const std::string& parent, const std::string& name) {
    return parent + "/" + name;
}

}  // namespace

int CNyr::copy_node_recursive(const std::string& from, const std::string& to, api_status_t& status,
                              const std::string& source) {
    listing_t listing;
    api_status_t listing_status = 0;
    int result = list_node(from, listing_status, listing);
    if (result != 0) return result;
    // The listing status is not examined: a node that lists nothing is copied as an empty node.

    bool copied = false;
    std::vector<std::string> leaf_sources;
    std::vector<std::string> leaf_targets;
    for (const auto& entry : listing) {
        const std::string& name = entry.first;
        const element_type_t type = entry.second.first;
        const element_property_t property = entry.second.second;
        if (type == QEL_ELEMENT_NODE) {
            // Depth first: a sub-node is copied completely when it is met.
            result =
                copy_node_recursive(child_path(from, name), child_path(to, name), status, source);
            if (result != 0) return result;
            if (status != 1) return 0;
            copied = true;
        } else if (property <= 1) {
            leaf_sources.push_back(child_path(from, name));
            leaf_targets.push_back(child_path(to, name));
            copied = true;
        }
        // Leaves of any other property are not copied.
    }

    if (!leaf_sources.empty()) {
        const std::size_t count = leaf_sources.size();
        std::vector<api_status_t> leaf_statuses;
        std::vector<CElement> values;
        std::vector<element_property_t> properties;
        std::vector<qel_tribool_t> tribools;
        result = get_leaves(leaf_sources, leaf_statuses, values, properties);
        if (result != 0) return result;
        for (std::size_t i = 0; i < count; ++i) {
            if (i >= leaf_statuses.size()) {
                status = kNoStatus;
                return 0;
            }
            if (leaf_statuses[i] != 1) {
                status = leaf_statuses[i];
                return 0;
            }
            if (properties[i] > 1) {
                qel_err(0, "%s: Element '%s' changed type!", "copy_node_recursive",
                        leaf_sources[i].c_str());
                status = kChangedType;
                return 0;
            }
            // A leaf's property (0 or 1) is written back as its tri-state.
            tribools.push_back(static_cast<qel_tribool_t>(properties[i]));
        }
        result = set_leaves(leaf_targets, values, tribools, leaf_statuses, source);
        if (result != 0) return result;
        for (api_status_t leaf_status : leaf_statuses) {
            if (leaf_status != 1) {
                status = leaf_status;
                return 0;
            }
        }
        if (leaf_statuses.size() < count) {
            status = kNoStatus;
            return 0;
        }
        status = 1;
    }

    // Only a node with nothing to copy is created on its own; the writes create all others.
    if (!copied) return add_node(to, status, source);
    return 0;
}

int CNyr::move_node(const std::string& from, const std::string& to, api_status_t& status,
                    const std::string& source) {
    if (_handle == nullptr) return -1;
    if (_read_only) {
        status = 1;
        return 0;
    }
    api_status_t target_status = 0;
    int result = test_node(to, target_status);
    if (result != 0) return result;
    if (target_status == 1) {
        status = kTargetExists;
        return 0;
    }
    result = copy_node_recursive(from, to, status, source);
    if (result != 0) return result;
    // A copy that stopped on an item keeps the source, and whatever it copied so far.
    if (status != 1) return 0;
    return remove_node(from, status, source);
}

}  // namespace toolkit
