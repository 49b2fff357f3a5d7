// Batch calls of the host store. Each item is carried out on its own, in path order, and reports
// its own status; a batch refused as a whole (bad handle, null arrays) changes nothing. The whole
// batch runs under one hold of the store's lock, so other callers see it all or not at all, and a
// store that keeps its tree in a file commits it in one transaction: QEL_RESULT_DATABASE when that
// fails, with the tree and the file as they were before the batch.
#include "core/call.h"
#include "core/path.h"
#include "core/value.h"

namespace {

using nyrhost::HandleCall;
using nyrhost::Path;

// Hands back the statuses collected in `scratch`.
void hand_back(nyrhost::Scratch& scratch, api_status_t** statuses, uint32_t* status_count) {
    if (scratch.statuses.capacity() == 0) scratch.statuses.reserve(1);  // never a null array
    *statuses = scratch.statuses.data();
    *status_count = static_cast<uint32_t>(scratch.statuses.size());
}

// The shape shared by add_nodes, remove_nodes, clear_leaves and set_leaves.
template <typename Operation>
int path_batch(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
               api_status_t** statuses, uint32_t* status_count, Operation operation) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!statuses || !status_count || (count != 0 && !paths)) return QEL_RESULT_BAD_ARGUMENT;
    if (!nyrhost::writable(*call.store)) return QEL_RESULT_DATABASE;
    nyrhost::Scratch& scratch = *call.scratch;
    scratch.statuses.resize(count);
    nyrhost::Tree::Changes changes;
    nyrhost::Tree::Changes* record = nyrhost::changes_for(*call.store, changes);
    Path parsed;
    for (uint32_t i = 0; i < count; ++i) {
        int status = Path::parse(paths[i], parsed);
        if (status == QEL_STATUS_OK) status = operation(call.store->tree, i, parsed, record);
        scratch.statuses[i] = status;
    }
    if (const int failed = nyrhost::persist(*call.store, changes)) return failed;
    nyrhost::announce(*call.store, changes, nyrhost::or_empty(source));
    hand_back(scratch, statuses, status_count);
    return QEL_RESULT_OK;
}

}  // namespace

extern "C" {

int qel_test_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                   api_status_t* statuses) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (count != 0 && (!paths || !statuses)) return QEL_RESULT_BAD_ARGUMENT;
    Path parsed;
    for (uint32_t i = 0; i < count; ++i) {
        const int status = Path::parse(paths[i], parsed);
        statuses[i] = status == QEL_STATUS_OK ? call.store->tree.test_node(parsed) : status;
    }
    return QEL_RESULT_OK;
}

int qel_add_nodes(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
                  api_status_t** statuses, uint32_t* status_count) {
    return path_batch(handle, paths, count, source, statuses, status_count,
                      [](nyrhost::Tree& tree, uint32_t, const Path& p, auto* changes) {
                          return tree.add_node(p, changes);
                      });
}

int qel_remove_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                     const char* source, api_status_t** statuses, uint32_t* status_count) {
    return path_batch(handle, paths, count, source, statuses, status_count,
                      [](nyrhost::Tree& tree, uint32_t, const Path& p, auto* changes) {
                          return tree.remove_node(p, changes);
                      });
}

int qel_clear_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                     const char* source, api_status_t** statuses, uint32_t* status_count) {
    return path_batch(handle, paths, count, source, statuses, status_count,
                      [](nyrhost::Tree& tree, uint32_t, const Path& p, auto* changes) {
                          return tree.clear_leaf(p, changes);
                      });
}

int qel_set_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                   const _element_datatype_t* values, const qel_tribool_t* tribools,
                   const bool* auto_time, const char* source, api_status_t** statuses,
                   uint32_t* status_count) {
    if (count != 0 && (!values || !tribools || !auto_time)) {
        return nyrhost::acquire(handle) ? QEL_RESULT_BAD_ARGUMENT : QEL_RESULT_BAD_HANDLE;
    }
    // Deep copies are made before the store's lock is taken.
    std::vector<nyrhost::LeafValue> leaves(count);
    std::vector<int> made(count);
    for (uint32_t i = 0; i < count; ++i)
        made[i] = nyrhost::make_leaf(values[i], auto_time[i], tribools[i], leaves[i]);
    return path_batch(handle, paths, count, source, statuses, status_count,
                      [&](nyrhost::Tree& tree, uint32_t i, const Path& p, auto* changes) {
                          if (made[i] != QEL_STATUS_OK) return made[i];
                          return tree.set_leaf(p, std::move(leaves[i]), changes);
                      });
}

int qel_get_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                   api_status_t** statuses, uint32_t* status_count, _element_datatype_t* values,
                   element_property_t* properties, uint32_t value_count) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!statuses || !status_count || value_count != count ||
        (count != 0 && (!paths || !values || !properties)))
        return QEL_RESULT_BAD_ARGUMENT;
    nyrhost::Scratch& scratch = *call.scratch;
    scratch.statuses.resize(count);
    Path parsed;
    for (uint32_t i = 0; i < count; ++i) {
        int status = Path::parse(paths[i], parsed);
        const nyrhost::LeafValue* leaf = nullptr;
        if (status == QEL_STATUS_OK) leaf = call.store->tree.find_leaf(parsed, status);
        scratch.statuses[i] = status;
        if (leaf) {
            values[i] = nyrhost::hand_out(*leaf, scratch);
            properties[i] = leaf->property;
        } else {
            values[i] = _element_datatype_t{};  // type DATATYPE_INVALID, time stamp 0.0
            properties[i] = 0;
        }
    }
    hand_back(scratch, statuses, status_count);
    return QEL_RESULT_OK;
}

}  // extern "C"
