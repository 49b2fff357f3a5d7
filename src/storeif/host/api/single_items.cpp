// Single-item calls of the host store: add, remove and test nodes, write, clear and read leaves.
#include "core/call.h"
#include "core/path.h"
#include "core/value.h"

namespace {

using nyrhost::HandleCall;
using nyrhost::Path;

// The common shape of the writes: one path, a tree operation, its changes committed to the store
// file (when there is one) and announced.
template <typename Operation>
int path_write(qel_handle_t handle, const char* path, const char* source, api_status_t* status,
               Operation operation) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    Path parsed;
    *status = Path::parse(path, parsed);
    if (*status != QEL_STATUS_OK) return QEL_RESULT_OK;
    if (!nyrhost::writable(*call.store)) return QEL_RESULT_DATABASE;
    nyrhost::Tree::Changes changes;
    *status = operation(call.store->tree, parsed, nyrhost::changes_for(*call.store, changes));
    if (const int failed = nyrhost::persist(*call.store, changes)) return failed;
    nyrhost::announce(*call.store, changes, nyrhost::or_empty(source));
    return QEL_RESULT_OK;
}

}  // namespace

extern "C" {

int qel_add_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    return path_write(handle, path, source, status,
                      [](nyrhost::Tree& tree, const Path& p, auto* changes) {
                          return tree.add_node(p, changes);
                      });
}

int qel_remove_node(qel_handle_t handle, const char* path, const char* source,
                    api_status_t* status) {
    return path_write(handle, path, source, status,
                      [](nyrhost::Tree& tree, const Path& p, auto* changes) {
                          return tree.remove_node(p, changes);
                      });
}

int qel_clear_leaf(qel_handle_t handle, const char* path, const char* source,
                   api_status_t* status) {
    return path_write(handle, path, source, status,
                      [](nyrhost::Tree& tree, const Path& p, auto* changes) {
                          return tree.clear_leaf(p, changes);
                      });
}

int qel_set_leaf(qel_handle_t handle, const char* path, _element_datatype_t value,
                 qel_tribool_t tribool, bool auto_time, const char* source, api_status_t* status) {
    // The deep copy is made before the store's lock is taken.
    nyrhost::LeafValue leaf;
    const int made = nyrhost::make_leaf(value, auto_time, tribool, leaf);
    return path_write(handle, path, source, status,
                      [&](nyrhost::Tree& tree, const Path& p, auto* changes) {
                          if (made != QEL_STATUS_OK) return made;
                          return tree.set_leaf(p, std::move(leaf), changes);
                      });
}

int qel_test_node(qel_handle_t handle, const char* path, api_status_t* status) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    Path parsed;
    *status = Path::parse(path, parsed);
    if (*status == QEL_STATUS_OK) *status = call.store->tree.test_node(parsed);
    return QEL_RESULT_OK;
}

int qel_get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
                 _element_datatype_t* value, element_property_t* property) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!status || !value || !property) return QEL_RESULT_BAD_ARGUMENT;
    Path parsed;
    *status = Path::parse(path, parsed);
    if (*status != QEL_STATUS_OK) return QEL_RESULT_OK;
    int found = QEL_STATUS_OK;
    const nyrhost::LeafValue* leaf = call.store->tree.find_leaf(parsed, found);
    *status = found;
    if (leaf) {
        *value = nyrhost::hand_out(*leaf, *call.scratch);
        *property = leaf->property;
    }
    return QEL_RESULT_OK;
}

}  // extern "C"
