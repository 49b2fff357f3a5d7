// The tree's entry points: single items, batches and listings (api/local_tree.cpp carries them
// out in this process).
#include "api/entry.h"

using namespace nyrproto;
using nyrapi::perform;
using nyrapi::with_status;
using nyrapi::with_statuses;

namespace {

template <typename Write>
int path_write(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    Write op;
    op.path = path, op.source = source;
    return with_status(handle, op, status);
}

template <typename Batch>
int path_batch(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
               api_status_t** statuses, uint32_t* status_count) {
    Batch op;
    op.count = count, op.paths = paths, op.source = source;
    return with_statuses(handle, op, count == 0 || paths, statuses, status_count);
}

}  // namespace

extern "C" {

int qel_add_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    return path_write<AddNode>(handle, path, source, status);
}

int qel_remove_node(qel_handle_t handle, const char* path, const char* source,
                    api_status_t* status) {
    return path_write<RemoveNode>(handle, path, source, status);
}

int qel_clear_leaf(qel_handle_t handle, const char* path, const char* source,
                   api_status_t* status) {
    return path_write<ClearLeaf>(handle, path, source, status);
}

int qel_set_leaf(qel_handle_t handle, const char* path, _element_datatype_t value,
                 qel_tribool_t tribool, bool auto_time, const char* source, api_status_t* status) {
    SetLeaf op;
    op.path = path, op.value = value, op.tribool = tribool, op.auto_time = auto_time;
    op.source = source;
    return with_status(handle, op, status);
}

int qel_test_node(qel_handle_t handle, const char* path, api_status_t* status) {
    TestNode op;
    op.path = path;
    return with_status(handle, op, status);
}

int qel_get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
                 _element_datatype_t* value, element_property_t* property) {
    GetLeaf op;
    op.path = path;
    const auto result = static_cast<int>(perform(handle, op, status && value && property));
    if (result != QEL_RESULT_OK) return result;
    *status = op.status;
    if (op.status == QEL_STATUS_OK) *value = op.value, *property = op.property;
    return result;
}

int qel_test_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                   api_status_t* statuses) {
    TestNodes op;
    op.count = count, op.paths = paths, op.statuses = statuses;
    return static_cast<int>(perform(handle, op, count == 0 || (paths && statuses)));
}

int qel_add_nodes(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
                  api_status_t** statuses, uint32_t* status_count) {
    return path_batch<AddNodes>(handle, paths, count, source, statuses, status_count);
}

int qel_remove_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                     const char* source, api_status_t** statuses, uint32_t* status_count) {
    return path_batch<RemoveNodes>(handle, paths, count, source, statuses, status_count);
}

int qel_clear_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                     const char* source, api_status_t** statuses, uint32_t* status_count) {
    return path_batch<ClearLeaves>(handle, paths, count, source, statuses, status_count);
}

int qel_set_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                   const _element_datatype_t* values, const qel_tribool_t* tribools,
                   const bool* auto_time, const char* source, api_status_t** statuses,
                   uint32_t* status_count) {
    SetLeaves op;
    op.count = count, op.paths = paths, op.values = values, op.tribools = tribools;
    op.auto_time = auto_time, op.source = source;
    const bool given = count == 0 || (paths && values && tribools && auto_time);
    return with_statuses(handle, op, given, statuses, status_count);
}

int qel_get_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                   api_status_t** statuses, uint32_t* status_count, _element_datatype_t* values,
                   element_property_t* properties, uint32_t value_count) {
    GetLeaves op;
    op.count = count, op.paths = paths, op.values = values, op.properties = properties;
    const bool given = value_count == count && (count == 0 || (paths && values && properties));
    return with_statuses(handle, op, given, statuses, status_count);
}

int qel_list_node(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
                  element_type_t* types, uint32_t types_capacity, element_property_t* properties,
                  uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    ListNode op;
    op.path = path, op.types = types, op.types_capacity = types_capacity;
    op.properties = properties, op.properties_capacity = properties_capacity;
    op.names = names, op.names_capacity = names_capacity;
    const bool given = status && total && (types || !types_capacity) &&
                       (properties || !properties_capacity) && (names || !names_capacity);
    const auto result = static_cast<int>(perform(handle, op, given));
    if (given) *total = result == QEL_RESULT_OK ? op.total : 0;
    if (result == QEL_RESULT_OK) *status = op.status;
    return result;
}

int qel_mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
                  _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
                  uint32_t names_capacity) {
    MplFetch op;
    op.path = path, op.values = values, op.values_capacity = values_capacity;
    op.names = names, op.names_capacity = names_capacity;
    const bool given =
        status && total && (values || !values_capacity) && (names || !names_capacity);
    const auto result = static_cast<int>(perform(handle, op, given));
    if (given) *total = result == QEL_RESULT_OK ? op.total : 0;
    if (result == QEL_RESULT_OK) *status = op.status;
    return result;
}

}  // extern "C"
