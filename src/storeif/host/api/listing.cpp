// Listing a node and fetching the values below a path. Both report the whole number of entries in
// `total` and fill min(total, capacity) entries of each array, in name order, so a caller whose
// arrays were too small can grow them and ask again. A node's listing is made once per change of
// the node and shared, so asking again costs only the entries written; the names handed out lie
// in that shared listing, which the caller's scratch keeps alive.
#include <algorithm>

#include "core/call.h"
#include "core/path.h"
#include "core/value.h"
#include "remote/remote_calls.h"

using nyrhost::HandleCall;
using nyrhost::Path;
using Listing = nyrhost::Tree::Listing;

namespace {

// What both calls start from: the listing of the node at `path`, or the leaf at it in `self`;
// the status says which, or why neither.
int list_at(qel_store_s& store, const char* path, Path& parsed,
            std::shared_ptr<const Listing>& listing, const nyrhost::LeafValue** self)
    REQUIRES(store.mutex) {
    *self = nullptr;
    const int status = Path::parse(path, parsed);
    return status == QEL_STATUS_OK ? store.tree.list(parsed, listing, self) : status;
}

// A name handed out from a listing: read-only memory shared with other callers.
_byte_array_t name_in(const Listing& listing, std::size_t i) {
    const std::string& name = listing.name(i);
    return _byte_array_t{const_cast<char*>(name.data()), static_cast<uint32_t>(name.size())};
}

}  // namespace

extern "C" {

int qel_list_node(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
                  element_type_t* types, uint32_t types_capacity, element_property_t* properties,
                  uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    if (nyrremote::is_remote(handle))
        return nyrremote::list_node(handle, path, status, total, types, types_capacity, properties,
                                    properties_capacity, names, names_capacity);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status || !total || (types_capacity && !types) || (properties_capacity && !properties) ||
        (names_capacity && !names))
        return QEL_RESULT_BAD_ARGUMENT;
    *total = 0;
    Path parsed;
    std::shared_ptr<const Listing> listing;
    const nyrhost::LeafValue* self = nullptr;
    *status = list_at(*call.store, path, parsed, listing, &self);
    if (*status != QEL_STATUS_OK) return QEL_RESULT_OK;
    const std::size_t n = listing->size();
    *total = static_cast<uint32_t>(n);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, types_capacity); ++i)
        types[i] = listing->type(i);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, properties_capacity); ++i)
        properties[i] = listing->property(i);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, names_capacity); ++i)
        names[i] = name_in(*listing, i);
    call.scratch->kept.push_back(std::move(listing));
    return QEL_RESULT_OK;
}

int qel_mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
                  _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
                  uint32_t names_capacity) {
    if (nyrremote::is_remote(handle))
        return nyrremote::mpl_fetch(handle, path, status, total, values, values_capacity, names,
                                    names_capacity);
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status || !total || (values_capacity && !values) || (names_capacity && !names))
        return QEL_RESULT_BAD_ARGUMENT;
    *total = 0;
    Path parsed;
    std::shared_ptr<const Listing> listing;
    const nyrhost::LeafValue* self = nullptr;
    const int listed = list_at(*call.store, path, parsed, listing, &self);
    nyrhost::Scratch& scratch = *call.scratch;
    if (listed == QEL_STATUS_IS_LEAF && self) {  // the leaf itself, under its own name
        *status = QEL_STATUS_OK;
        *total = 1;
        if (values_capacity) values[0] = nyrhost::hand_out(*self, scratch);
        if (names_capacity) names[0] = scratch.keep(parsed.last());
        return QEL_RESULT_OK;
    }
    *status = listed;
    if (listed != QEL_STATUS_OK) return QEL_RESULT_OK;
    // A node's leaves, not its sub-nodes.
    const std::vector<std::size_t>& leaves = listing->leaves();
    const std::size_t n = leaves.size();
    *total = static_cast<uint32_t>(n);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, values_capacity); ++i)
        values[i] = nyrhost::hand_out(*listing->leaf(leaves[i]), scratch);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, names_capacity); ++i)
        names[i] = name_in(*listing, leaves[i]);
    scratch.kept.push_back(std::move(listing));
    return QEL_RESULT_OK;
}

}  // extern "C"
