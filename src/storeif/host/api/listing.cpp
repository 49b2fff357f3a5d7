// Listing a node and fetching the values below a path. Both report the whole number of entries in
// `total` and fill min(total, capacity) entries of each array, in name order, so a caller whose
// arrays were too small can grow them and ask again.
#include <algorithm>

#include "core/call.h"
#include "core/path.h"
#include "core/value.h"

using nyrhost::HandleCall;
using nyrhost::Path;

namespace {

// What both calls start from: the entries below `path`, or the leaf at it in `self`; the status
// says which, or why neither.
int list_at(qel_store_s& store, const char* path, Path& parsed,
            std::vector<nyrhost::ListedEntry>& entries, const nyrhost::LeafValue** self)
    REQUIRES(store.mutex) {
    *self = nullptr;
    const int status = Path::parse(path, parsed);
    return status == QEL_STATUS_OK ? store.tree.list(parsed, entries, self) : status;
}

}  // namespace

extern "C" {

int qel_list_node(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
                  element_type_t* types, uint32_t types_capacity, element_property_t* properties,
                  uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status || !total || (types_capacity && !types) || (properties_capacity && !properties) ||
        (names_capacity && !names))
        return QEL_RESULT_BAD_ARGUMENT;
    *total = 0;
    Path parsed;
    std::vector<nyrhost::ListedEntry> entries;
    const nyrhost::LeafValue* self = nullptr;
    *status = list_at(*call.store, path, parsed, entries, &self);
    if (*status != QEL_STATUS_OK) return QEL_RESULT_OK;
    nyrhost::Scratch& scratch = *call.scratch;
    const std::size_t n = entries.size();
    *total = static_cast<uint32_t>(n);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, types_capacity); ++i)
        types[i] = entries[i].leaf ? QEL_ELEMENT_LEAF : QEL_ELEMENT_NODE;
    for (std::size_t i = 0; i < std::min<std::size_t>(n, properties_capacity); ++i)
        properties[i] = entries[i].leaf ? entries[i].leaf->property : 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(n, names_capacity); ++i)
        names[i] = scratch.keep(*entries[i].name);
    return QEL_RESULT_OK;
}

int qel_mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
                  _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
                  uint32_t names_capacity) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status || !total || (values_capacity && !values) || (names_capacity && !names))
        return QEL_RESULT_BAD_ARGUMENT;
    *total = 0;
    Path parsed;
    std::vector<nyrhost::ListedEntry> entries;
    const nyrhost::LeafValue* self = nullptr;
    const int listed = list_at(*call.store, path, parsed, entries, &self);
    nyrhost::Scratch& scratch = *call.scratch;
    // The fetched values: a node's leaves, or the leaf itself.
    std::vector<std::pair<std::string_view, const nyrhost::LeafValue*>> fetched;
    if (listed == QEL_STATUS_OK) {
        for (const auto& entry : entries)
            if (entry.leaf) fetched.emplace_back(*entry.name, entry.leaf);
    } else if (listed == QEL_STATUS_IS_LEAF && self) {
        fetched.emplace_back(parsed.last(), self);
    } else {
        *status = listed;
        return QEL_RESULT_OK;
    }
    *status = QEL_STATUS_OK;
    const std::size_t n = fetched.size();
    *total = static_cast<uint32_t>(n);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, values_capacity); ++i)
        values[i] = nyrhost::hand_out(*fetched[i].second, scratch);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, names_capacity); ++i)
        names[i] = scratch.keep(fetched[i].first);
    return QEL_RESULT_OK;
}

}  // extern "C"
