// One row of a store file's tree table (persist/store_file.h describes the table), and the leaf it
// keeps.
#ifndef NYR_HOST_PERSIST_TREE_ROW_H
#define NYR_HOST_PERSIST_TREE_ROW_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/tree.h"

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

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_TREE_ROW_H
