// One row of a store file's tree table (persist/store_file.h describes the table), and the leaf it
// keeps.
#ifndef NYR_HOST_PERSIST_TREE_ROW_H
#define NYR_HOST_PERSIST_TREE_ROW_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/path.h"
#include "core/tree.h"

struct sqlite3_stmt;

namespace nyrhost {

struct TreeRow {
    std::string_view path;
    std::optional<std::string_view> value;  // absent for a node
    int64_t fill = 0;
    int64_t property = 0;
    int64_t checksum = 0;
};

// The value column of a leaf: `record` (whose text or byte array is `payload`) in the value
// encoding with its time stamp. Throws std::bad_alloc.
std::string encode_leaf_value(const _element_datatype_t& record, std::string_view payload);

// The checksum a row carries: every column but the checksum itself.
uint32_t tree_row_checksum(const TreeRow& row);

// The leaf a row with a value keeps. False, with `out` unspecified, for a row that cannot have
// been written so: a checksum that does not match, a value that does not decode or holds no type
// a leaf can have, a fill or property word beyond 32 bits. Throws std::bad_alloc.
bool leaf_of(const TreeRow& row, LeafValue& out);

// The entry a row keeps, as loading the tree reads it: its path, which must be written as the
// tree writes paths (so that no two rows name one entry), and for a row with a value its leaf.
// False for a damaged row: a path the tree would not write, a leaf leaf_of refuses, a node whose
// checksum fails or that has a fill or property word. Throws std::bad_alloc.
bool tree_entry_of(const TreeRow& row, Path& path, LeafValue& leaf);

// The columns tree_row_at reads, in its order: the tree table's own.
inline constexpr const char* kTreeRowColumns = "path, value, fill, property, checksum";

// The row a statement over kTreeRowColumns stands on; its views are valid until the statement
// steps on. Only built with SQLite.
TreeRow tree_row_at(sqlite3_stmt* statement);

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_TREE_ROW_H
