// Paths of the host store's tree: "/" is the root, every other path is "/name" repeated with
// non-empty names that contain no "/".
#ifndef NYR_HOST_CORE_PATH_H
#define NYR_HOST_CORE_PATH_H

#include <string_view>
#include <vector>

namespace nyrhost {

// Splits `path` into its names (none for the root). False, with `names` emptied, for a bad path.
// The names point into `path`.
bool parse_path(std::string_view path, std::vector<std::string_view>& names);

// True when `path` is `base` itself or, with `subtree`, lies anywhere below it. Both must be
// valid paths.
bool path_within(std::string_view path, std::string_view base, bool subtree);

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_PATH_H
