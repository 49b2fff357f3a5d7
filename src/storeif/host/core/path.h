// Paths of the host store's tree: "/" is the root, every other path is "/name" repeated with
// non-empty names that contain no "/", within the length and depth limits of nyr_host.h. A run of
// slashes separates like one ("/a//b" is /a/b), so that a client joining a base and a name with
// "/" reaches below the root too; a trailing slash is still a bad path. Every call parses each path
// it is given once, into a Path, and hands that on; nothing below re-derives names or prefixes
// from the text.
#ifndef NYR_HOST_CORE_PATH_H
#define NYR_HOST_CORE_PATH_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nyrhost {

class Path {
public:
    Path() = default;
    Path(const Path&) = delete;  // text() may point into the path itself
    Path& operator=(const Path&) = delete;

    // Parses `text` into `out` and returns the item status: QEL_STATUS_OK, QEL_STATUS_BAD_ARGUMENT
    // for a null text, QEL_STATUS_BAD_PATH for a malformed one (`out` is then empty). The path
    // points into `text`, which must outlive it; text() is the path written with single slashes.
    static int parse(const char* text, Path& out);
    static int parse(std::string_view text, Path& out);
    // Makes room for any path, so that parsing into this one needs no memory.
    void reserve_any();

    std::string_view text() const { return text_; }
    bool is_root() const { return names_.empty(); }
    std::size_t depth() const { return names_.size(); }
    const std::vector<std::string_view>& names() const { return names_; }
    std::string_view name(std::size_t index) const { return names_[index]; }
    // The last name, or "/" for the root.
    std::string_view last() const { return is_root() ? text_ : names_.back(); }
    // The path of the ancestor (or the path itself) that ends with name `index`.
    std::string_view prefix(std::size_t index) const { return text_.substr(0, ends_[index]); }

private:
    void reset();

    std::string_view text_;
    std::string rewritten_;                // text_ when the input had runs of slashes
    std::vector<std::string_view> names_;  // into the input
    std::vector<std::size_t> ends_;        // where each name ends in text_
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_PATH_H
