// Path parsing and subtree matching for the host store.
#include "core/path.h"

namespace nyrhost {

bool parse_path(std::string_view path, std::vector<std::string_view>& names) {
    names.clear();
    if (path.empty() || path.front() != '/') return false;
    if (path.size() == 1) return true;  // the root
    std::size_t start = 1;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end == start) {  // "//" or a trailing "/"
            names.clear();
            return false;
        }
        names.push_back(path.substr(start, end - start));
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

bool path_within(std::string_view path, std::string_view base, bool subtree) {
    if (path == base) return true;
    if (!subtree) return false;
    if (base == "/") return true;
    return path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           path[base.size()] == '/';
}

}  // namespace nyrhost
