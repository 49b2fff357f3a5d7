// Helpers for tests of the tree's history: the tree as listings show it now, and as the history
// reads it back at a revision, both in one text form so that the two can be compared.
#ifndef TESTS_HOST_HISTORY_SUPPORT_H
#define TESTS_HOST_HISTORY_SUPPORT_H

#include <gtest/gtest.h>
#include <nyr_host.h>

#include <string>
#include <vector>

#include "host/store_fixture.h"

namespace historytest {

// A leaf's text: its type, its value (an integer or the bytes of a text), its stamp, its
// property word.
inline std::string leaf_text(const _element_datatype_t& v, element_property_t property) {
    std::string value = std::to_string(v.value.int64_value);
    if (v.type == DATATYPE_STRING || v.type == DATATYPE_BLOB)
        value = storetest::bytes_of(v.value.string_value);
    return std::to_string(v.type) + ":" + value + "@" + std::to_string(v.timestamp.tv_sec) + "#" +
           std::to_string(property);
}

// Every entry below `path` as the tree lists it now, one line each in byte order of the paths:
// a node's path, or a leaf's path and its text.
inline void dump_now(qel_handle_t h, const std::string& path, std::vector<std::string>& out) {
    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t types[64];
    element_property_t properties[64];
    _byte_array_t names[64];
    ASSERT_EQ(qel_list_node(h, path.c_str(), &status, &total, types, 64, properties, 64, names, 64),
              0);
    ASSERT_EQ(status, QEL_STATUS_OK);
    ASSERT_LE(total, 64u);
    std::vector<std::pair<std::string, bool>> children;
    for (uint32_t i = 0; i < total; ++i)
        children.emplace_back((path == "/" ? "" : path) + "/" + storetest::bytes_of(names[i]),
                              types[i] == QEL_ELEMENT_LEAF);
    for (const auto& [child, leaf] : children) {
        if (leaf) {
            _element_datatype_t v{};
            element_property_t property = 0;
            ASSERT_EQ(storetest::get(h, child.c_str(), v, property), QEL_STATUS_OK);
            out.push_back(child + " " + leaf_text(v, property));
        } else {
            out.push_back(child);
            dump_now(h, child, out);
        }
    }
}

inline std::vector<std::string> tree_now(qel_handle_t h) {
    std::vector<std::string> out{"/"};
    dump_now(h, "/", out);
    std::sort(out.begin(), out.end());
    return out;
}

// The tree at `revision` as the history reads it back, in the same form.
inline std::vector<std::string> tree_at(qel_handle_t h, uint64_t revision, const char* path = "/") {
    api_status_t status = 0;
    qel_host_entry_t* entries = nullptr;
    uint32_t count = 0;
    uint64_t at = 0;
    EXPECT_EQ(qel_host_subtree_at(h, path, revision, nullptr, &status, &entries, &count, &at), 0);
    EXPECT_EQ(at, revision);
    std::vector<std::string> out;
    for (uint32_t i = 0; i < count; ++i) {
        std::string line = entries[i].path;
        if (entries[i].is_leaf) line += " " + leaf_text(entries[i].value, entries[i].property);
        out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline uint64_t revision_of(qel_handle_t h) {
    uint64_t revision = 0, oldest = 0;
    const char* epoch = nullptr;
    EXPECT_EQ(qel_host_history_info(h, &revision, &oldest, &epoch), 0);
    return revision;
}

inline uint64_t oldest_of(qel_handle_t h) {
    uint64_t revision = 0, oldest = 0;
    const char* epoch = nullptr;
    EXPECT_EQ(qel_host_history_info(h, &revision, &oldest, &epoch), 0);
    return oldest;
}

// One change in a line: revision.index kind path old -> new source.
inline std::string change_text(const qel_host_change_t& c) {
    return std::to_string(c.revision) + "." + std::to_string(c.index) + " " +
           std::to_string(c.kind) + " " + c.path + " " +
           (c.has_old ? leaf_text(c.old_value, c.old_property) : "-") + " -> " +
           (c.has_new ? leaf_text(c.new_value, c.new_property) : "-") + " " + c.source;
}

// The changes at or below `path` from revision `from` on, oldest first.
inline std::vector<std::string> changes_of(qel_handle_t h, const char* path, uint64_t from = 0,
                                           uint32_t limit = 0, bool newest = false) {
    api_status_t status = 0;
    qel_host_change_t* changes = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_host_history_changes(h, path, from, 0, UINT64_MAX, nullptr, nullptr, limit,
                                       newest, &status, &changes, &count),
              0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    std::vector<std::string> out;
    for (uint32_t i = 0; i < count; ++i) out.push_back(change_text(changes[i]));
    return out;
}

}  // namespace historytest

#endif  // TESTS_HOST_HISTORY_SUPPORT_H
