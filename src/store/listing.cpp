// CNyr listing and multi-path fetch: lists whose length only the store knows, fetched into
// working arrays that grow by a fixed step until the whole list fits.
#include <toolkit/nyr.h>

#include <cstdint>

namespace toolkit {

namespace {

constexpr uint32_t kListStep = 512;
constexpr uint32_t kFetchStep = 32;

// The largest capacity a growth step can reach while it still fits the store's 32-bit counts.
constexpr uint32_t largest_capacity(uint32_t step) {
    return UINT32_MAX - UINT32_MAX % step;
}

// The name bytes of a listed entry; a name without data is empty.
std::string name_of(const _byte_array_t& name) {
    if (name.data == nullptr) return std::string();
    return std::string(name.data, name.length);
}

}  // namespace

int CNyr::list_node(const std::string& path, api_status_t& status, listing_t& entries) {
    if (_handle == nullptr) return -1;
    std::vector<element_type_t> types;
    std::vector<element_property_t> properties;
    std::vector<_byte_array_t> names;
    uint32_t total = 0;
    for (;;) {
        // The arrays keep what they held and gain one step of zeroed entries.
        const uint32_t capacity = static_cast<uint32_t>(types.size()) + kListStep;
        types.resize(capacity);
        properties.resize(capacity);
        names.resize(capacity);
        total = 0;
        const int result =
            qel_list_node(_handle, path.c_str(), &status, &total, types.data(), capacity,
                          properties.data(), capacity, names.data(), capacity);
        if (result != 0) return result;
        if (total <= capacity) break;
        // No capacity could ever hold this total: stop rather than grow without end.
        if (total > largest_capacity(kListStep)) return -1;
    }
    if (status != 1) return 0;
    entries.resize(total);
    for (uint32_t i = 0; i < total; ++i) {
        entries[i].first = name_of(names[i]);
        entries[i].second = std::make_pair(types[i], properties[i]);
    }
    return 0;
}

int CNyr::mpl_fetch(const std::string& path, api_status_t& status, fetch_t& entries) {
    if (_handle == nullptr) return -1;
    std::vector<_element_datatype_t> values;
    std::vector<_byte_array_t> names;
    uint32_t total = 0;
    for (;;) {
        const uint32_t capacity = static_cast<uint32_t>(values.size()) + kFetchStep;
        values.resize(capacity);
        names.resize(capacity);
        total = 0;
        const int result = qel_mpl_fetch(_handle, path.c_str(), &status, &total, values.data(),
                                         capacity, names.data(), capacity);
        if (result != 0) return result;
        if (total <= capacity) break;
        if (total > largest_capacity(kFetchStep)) return -1;
    }
    if (status != 1) return 0;
    entries.resize(total);
    for (uint32_t i = 0; i < total; ++i) {
        entries[i].first = name_of(names[i]);
        // The element copies the text or blob bytes out of the store's memory.
        entries[i].second = values[i];
    }
    return 0;
}

}  // namespace toolkit
