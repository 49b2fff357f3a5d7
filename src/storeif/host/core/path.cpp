// Path parsing and subtree matching for the host store.
#include "core/path.h"

#include "nyr_host.h"

namespace nyrhost {

void Path::reset() {
    text_ = std::string_view();
    rewritten_.clear();
    names_.clear();
    ends_.clear();
}

void Path::reserve_any() {
    rewritten_.reserve(QEL_HOST_MAX_PATH_LENGTH);
    names_.reserve(QEL_HOST_MAX_PATH_DEPTH);
    ends_.reserve(QEL_HOST_MAX_PATH_DEPTH);
}

int Path::parse(const char* text, Path& out) {
    if (text == nullptr) {
        out.reset();
        return QEL_STATUS_BAD_ARGUMENT;
    }
    return parse(std::string_view(text), out);
}

int Path::parse(std::string_view text, Path& out) {
    out.reset();
    if (text.empty() || text.front() != '/' || text.size() > QEL_HOST_MAX_PATH_LENGTH)
        return QEL_STATUS_BAD_PATH;
    std::size_t start = text.find_first_not_of('/');
    if (start != std::string_view::npos && text.back() == '/') return QEL_STATUS_BAD_PATH;
    std::size_t written = 0;  // the length of the path with single slashes, so far
    while (start != std::string_view::npos) {
        const std::size_t slash = text.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? text.size() : slash;
        if (out.names_.size() == QEL_HOST_MAX_PATH_DEPTH) {
            out.reset();
            return QEL_STATUS_BAD_PATH;
        }
        out.names_.push_back(text.substr(start, end - start));
        written += 1 + (end - start);
        out.ends_.push_back(written);
        start = slash == std::string_view::npos ? slash : text.find_first_not_of('/', slash);
    }
    if (written == text.size() || out.names_.empty()) {
        out.text_ = out.names_.empty() ? std::string_view("/") : text;
        return QEL_STATUS_OK;
    }
    if (out.rewritten_.capacity() < written) out.rewritten_.reserve(written);
    for (std::string_view name : out.names_) out.rewritten_.append("/").append(name);
    out.text_ = out.rewritten_;
    return QEL_STATUS_OK;
}

}  // namespace nyrhost
