// Single-item calls of the host store: add, remove and test nodes, write, clear and read leaves.
#include "core/path.h"
#include "core/store.h"
#include "core/value.h"

namespace {

using nyrhost::acquire;

const char* or_empty(const char* text) {
    return text ? text : "";
}

// Splits `path` into its names; a null or malformed path is that item's status instead.
bool split_path(const char* path, std::vector<std::string_view>& names, api_status_t& status) {
    if (!path) {
        status = QEL_STATUS_BAD_ARGUMENT;
        return false;
    }
    if (!nyrhost::parse_path(path, names)) {
        status = QEL_STATUS_BAD_PATH;
        return false;
    }
    return true;
}

// The change list of a write: only kept when someone could be told about it.
nyrhost::Tree::Changes* changes_for(qel_store_s& store, nyrhost::Tree::Changes& changes) {
    return store.registrations ? &changes : nullptr;
}

// The common shape of the node and leaf writes that take only a path.
template <typename Operation>
int path_write(qel_handle_t handle, const char* path, const char* source, api_status_t* status,
               Operation operation) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::vector<std::string_view> names;
    if (!split_path(path, names, *status)) return QEL_RESULT_OK;
    qel_store_s& store = *h->store;
    std::lock_guard<std::mutex> lock(store.mutex);
    h->begin_call();
    nyrhost::Tree::Changes changes;
    *status = operation(store.tree, std::string_view(path), names, changes_for(store, changes));
    nyrhost::announce(store, changes, or_empty(source));
    return QEL_RESULT_OK;
}

}  // namespace

extern "C" {

int qel_add_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    return path_write(handle, path, source, status,
                      [](nyrhost::Tree& tree, std::string_view p, const auto& names,
                         auto* changes) { return tree.add_node(p, names, changes); });
}

int qel_remove_node(qel_handle_t handle, const char* path, const char* source,
                    api_status_t* status) {
    return path_write(handle, path, source, status,
                      [](nyrhost::Tree& tree, std::string_view p, const auto& names,
                         auto* changes) { return tree.remove_node(p, names, changes); });
}

int qel_clear_leaf(qel_handle_t handle, const char* path, const char* source,
                   api_status_t* status) {
    return path_write(handle, path, source, status,
                      [](nyrhost::Tree& tree, std::string_view p, const auto& names,
                         auto* changes) { return tree.clear_leaf(p, names, changes); });
}

int qel_set_leaf(qel_handle_t handle, const char* path, _element_datatype_t value,
                 qel_tribool_t tribool, bool auto_time, const char* source, api_status_t* status) {
    // The deep copy is made before the store's lock is taken.
    nyrhost::LeafValue leaf;
    const int made = nyrhost::make_leaf(value, auto_time, tribool, leaf);
    return path_write(
        handle, path, source, status,
        [&](nyrhost::Tree& tree, std::string_view p, const auto& names, auto* changes) {
            if (made != QEL_STATUS_OK) return made;
            return tree.set_leaf(p, names, std::move(leaf), changes);
        });
}

int qel_test_node(qel_handle_t handle, const char* path, api_status_t* status) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    std::vector<std::string_view> names;
    if (!split_path(path, names, *status)) return QEL_RESULT_OK;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    h->begin_call();
    *status = h->store->tree.test_node(names);
    return QEL_RESULT_OK;
}

int qel_get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
                 _element_datatype_t* value, element_property_t* property) {
    auto h = acquire(handle);
    if (!h) return QEL_RESULT_BAD_HANDLE;
    if (!status || !value || !property) return QEL_RESULT_BAD_ARGUMENT;
    std::vector<std::string_view> names;
    if (!split_path(path, names, *status)) return QEL_RESULT_OK;
    std::lock_guard<std::mutex> lock(h->store->mutex);
    nyrhost::Scratch& scratch = h->begin_call();
    int found = QEL_STATUS_OK;
    const nyrhost::LeafValue* leaf = h->store->tree.find_leaf(names, found);
    *status = found;
    if (leaf) {
        *value = nyrhost::hand_out(*leaf, scratch);
        *property = leaf->property;
    }
    return QEL_RESULT_OK;
}

}  // extern "C"
