// Subtree reading for ls -R and export: breadth first over a queue of nodes, so a deep tree costs
// no stack, then the leaves' values in batches.
#include "tree_walk.h"

#include <algorithm>
#include <deque>

#include "tool_error.h"

namespace nyr_tool {

std::string join_path(const std::string& base, const std::string& relative) {
    if (relative.empty()) return base;
    if (base == "/") return "/" + relative;
    return base + "/" + relative;
}

std::vector<TreeEntry> list_entries(toolkit::CNyr& client, const std::string& root,
                                    bool recursive) {
    std::vector<TreeEntry> entries;
    std::deque<std::string> pending{""};
    toolkit::CNyr::listing_t listing;
    while (!pending.empty()) {
        const std::string relative = std::move(pending.front());
        pending.pop_front();
        const std::string path = join_path(root, relative);
        api_status_t status = 0;
        listing.clear();
        const int result = client.list_node(path, status, listing);
        check_item(path, result, status);
        for (const auto& [name, kind] : listing) {
            TreeEntry entry{relative.empty() ? name : relative + "/" + name,
                            kind.first == QEL_ELEMENT_NODE, kind.second};
            if (entry.node && recursive) pending.push_back(entry.relative);
            entries.push_back(std::move(entry));
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.relative < b.relative; });
    return entries;
}

void read_leaves(toolkit::CNyr& client, const std::vector<std::string>& paths,
                 std::vector<toolkit::CElement>& values,
                 std::vector<element_property_t>& properties,
                 const std::function<void(std::size_t)>& progress) {
    values.clear();
    properties.clear();
    values.reserve(paths.size());
    properties.reserve(paths.size());
    std::vector<std::string> batch;
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> batch_values;
    std::vector<element_property_t> batch_properties;
    for (std::size_t first = 0; first < paths.size(); first += kBatchLeaves) {
        const std::size_t count = std::min(kBatchLeaves, paths.size() - first);
        batch.assign(paths.begin() + first, paths.begin() + first + count);
        const int result = client.get_leaves(batch, statuses, batch_values, batch_properties);
        check_result(batch.front(), result);
        if (statuses.size() < count || batch_values.size() < count)
            throw refused(batch.front() + ": the store answered for fewer leaves than asked");
        for (std::size_t i = 0; i < count; ++i) {
            check_item(batch[i], 0, statuses[i]);
            values.push_back(std::move(batch_values[i]));
            properties.push_back(batch_properties[i]);
        }
        if (progress) progress(first + count);
    }
}

}  // namespace nyr_tool
