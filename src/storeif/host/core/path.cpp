// Path parsing and subtree matching for the host store.
#include "core/path.h"

#include "nyr_host.h"

namespace nyrhost {

int Path::parse(const char* text, Path& out) {
    if (text == nullptr) {
        out = Path();
        return QEL_STATUS_BAD_ARGUMENT;
    }
    return parse(std::string_view(text), out);
}

int Path::parse(std::string_view text, Path& out) {
    out.text_ = text;
    out.names_.clear();
    out.ends_.clear();
    if (text.empty() || text.front() != '/' || text.size() > QEL_HOST_MAX_PATH_LENGTH)
        return QEL_STATUS_BAD_PATH;
    if (text.size() == 1) return QEL_STATUS_OK;  // the root
    std::size_t start = 1;
    while (true) {
        const std::size_t slash = text.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? text.size() : slash;
        if (end == start || out.names_.size() == QEL_HOST_MAX_PATH_DEPTH) {
            // "//", a trailing "/", or one name too many
            out.names_.clear();
            out.ends_.clear();
            return QEL_STATUS_BAD_PATH;
        }
        out.names_.push_back(text.substr(start, end - start));
        out.ends_.push_back(end);
        if (slash == std::string_view::npos) return QEL_STATUS_OK;
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
