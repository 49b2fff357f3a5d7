// Working arrays shared by the batch, listing and event members of CNyr: the path array handed to
// the store and the copy of a status array that the store hands back.
#ifndef TOOLKIT_SRC_STORE_BATCH_ARRAYS_H
#define TOOLKIT_SRC_STORE_BATCH_ARRAYS_H

#include <nyr.h>

#include <cstdint>
#include <string>
#include <vector>

namespace toolkit {
namespace detail {

// True when a batch of `count` items can be described to the store by its 32-bit item count.
inline bool fits_item_count(std::size_t count) {
    return count <= UINT32_MAX;
}

// Pointers to the paths' own NUL-terminated characters, in the order of the vector. Valid while
// `paths` is unchanged, which is the duration of one store call.
inline std::vector<const char*> path_array(const std::vector<std::string>& paths) {
    std::vector<const char*> array;
    array.reserve(paths.size());
    for (const std::string& path : paths) array.push_back(path.c_str());
    return array;
}

// Replaces `statuses` with the `count` statuses the store handed back. The store's array stays
// the store's. A store that reports a count without an array gives no statuses at all.
inline void copy_handed_back(std::vector<api_status_t>& statuses, const api_status_t* array,
                             uint32_t count) {
    if (array == nullptr) {
        statuses.clear();
        return;
    }
    statuses.assign(array, array + count);
}

}  // namespace detail
}  // namespace toolkit

#endif  // TOOLKIT_SRC_STORE_BATCH_ARRAYS_H
