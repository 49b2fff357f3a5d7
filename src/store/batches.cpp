// CNyr batch operations: one store call for a list of paths, one status per item.
#include <toolkit/nyr.h>

#include <memory>

#include "batch_arrays.h"

namespace toolkit {

namespace {

using HandedBackCall = int (*)(qel_handle_t, const char* const*, uint32_t, const char*,
                               api_status_t**, uint32_t*);

// Read-only refusal of a batch write: one status 1 per path, after what the vector held.
void refuse_batch(std::size_t count, std::vector<api_status_t>& statuses) {
    statuses.insert(statuses.end(), count, 1);
}

// add_nodes, remove_nodes and clear_leaves differ only in the store function they call.
int handed_back_write(qel_handle_t handle, bool read_only, HandedBackCall call,
                      const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                      const std::string& source) {
    if (handle == nullptr || !detail::fits_item_count(paths.size())) return -1;
    if (read_only) {
        refuse_batch(paths.size(), statuses);
        return 0;
    }
    const std::vector<const char*> array = detail::path_array(paths);
    api_status_t* store_statuses = nullptr;
    uint32_t status_count = 0;
    const int result = call(handle, array.data(), static_cast<uint32_t>(paths.size()),
                            source.c_str(), &store_statuses, &status_count);
    if (result == 0) detail::copy_handed_back(statuses, store_statuses, status_count);
    return result;
}

}  // namespace

int CNyr::test_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses) {
    if (_handle == nullptr || !detail::fits_item_count(paths.size())) return -1;
    const std::vector<const char*> array = detail::path_array(paths);
    // The store writes one status per path straight into the caller's vector.
    statuses.resize(paths.size());
    return qel_test_nodes(_handle, array.data(), static_cast<uint32_t>(paths.size()),
                          statuses.data());
}

int CNyr::add_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                    const std::string& source) {
    return handed_back_write(_handle, _read_only, &qel_add_nodes, paths, statuses, source);
}

int CNyr::remove_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                       const std::string& source) {
    return handed_back_write(_handle, _read_only, &qel_remove_nodes, paths, statuses, source);
}

int CNyr::clear_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                       const std::string& source) {
    return handed_back_write(_handle, _read_only, &qel_clear_leaves, paths, statuses, source);
}

int CNyr::set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& values,
                     const std::vector<qel_tribool_t>& tribools,
                     std::vector<api_status_t>& statuses, const std::string& source) {
    if (_handle == nullptr || !detail::fits_item_count(paths.size())) return -1;
    const std::size_t count = paths.size();
    // Mismatched vectors are refused before the read-only test, so that they never pass silently.
    if (values.size() != count || tribools.size() != count) return -1;
    if (_read_only) {
        refuse_batch(count, statuses);
        return 0;
    }
    const std::vector<const char*> array = detail::path_array(paths);
    // Copies of the value records: string and blob data point into the elements' own storage.
    std::vector<_element_datatype_t> records(count);
    std::unique_ptr<bool[]> auto_time(new bool[count]());
    for (std::size_t i = 0; i < count; ++i) {
        records[i] = values[i];
        auto_time[i] = auto_time_for(values[i]);
    }
    api_status_t* store_statuses = nullptr;
    uint32_t status_count = 0;
    const int result = qel_set_leaves(_handle, array.data(), static_cast<uint32_t>(count),
                                      records.data(), tribools.data(), auto_time.get(),
                                      source.c_str(), &store_statuses, &status_count);
    if (result == 0) detail::copy_handed_back(statuses, store_statuses, status_count);
    return result;
}

int CNyr::get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     std::vector<CElement>& values, std::vector<element_property_t>& properties) {
    if (_handle == nullptr || !detail::fits_item_count(paths.size())) return -1;
    const std::size_t count = paths.size();
    const std::vector<const char*> array = detail::path_array(paths);
    // The store writes the properties straight into the caller's vector, whatever the result.
    properties.resize(count);
    std::vector<_element_datatype_t> records(count);  // all bytes zero
    api_status_t* store_statuses = nullptr;
    uint32_t status_count = 0;
    const int result = qel_get_leaves(_handle, array.data(), static_cast<uint32_t>(count),
                                      &store_statuses, &status_count, records.data(),
                                      properties.data(), static_cast<uint32_t>(count));
    if (result != 0) return result;
    // Every record becomes an element, filled or not; the payload bytes are copied out of the
    // store's memory before anything else reaches the store.
    std::vector<CElement> taken(count);
    for (std::size_t i = 0; i < count; ++i) taken[i] = records[i];
    detail::copy_handed_back(statuses, store_statuses, status_count);
    values.swap(taken);
    return 0;
}

}  // namespace toolkit
