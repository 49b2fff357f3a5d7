// CNyr: the auto-time rule and the single-item node and leaf operations.
#include <toolkit/nyr.h>

namespace toolkit {

bool CNyr::auto_time_for(const CElement& value) {
    if (CElement::_forced_auto_time) return true;
    return CElement::_auto_time && value.timestamp.tv_sec == -1;
}

int CNyr::add_node(const std::string& path, api_status_t& status, const std::string& source) {
    if (_handle == nullptr) return -1;
    if (_read_only) {
        status = 1;
        return 0;
    }
    return qel_add_node(_handle, path.c_str(), source.c_str(), &status);
}

int CNyr::remove_node(const std::string& path, api_status_t& status, const std::string& source) {
    if (_handle == nullptr) return -1;
    if (_read_only) {
        status = 1;
        return 0;
    }
    return qel_remove_node(_handle, path.c_str(), source.c_str(), &status);
}

int CNyr::set_leaf(const std::string& path, const CElement& value, api_status_t& status,
                   qel_tribool_t tribool, const std::string& source) {
    if (_handle == nullptr) return -1;
    if (_read_only) {
        status = 1;
        return 0;
    }
    const _element_datatype_t& record = value;
    return qel_set_leaf(_handle, path.c_str(), record, tribool, auto_time_for(value),
                        source.c_str(), &status);
}

int CNyr::clear_leaf(const std::string& path, api_status_t& status, const std::string& source) {
    if (_handle == nullptr) return -1;
    if (_read_only) {
        status = 1;
        return 0;
    }
    return qel_clear_leaf(_handle, path.c_str(), source.c_str(), &status);
}

int CNyr::test_node(const std::string& path, api_status_t& status) {
    if (_handle == nullptr) return -1;
    return qel_test_node(_handle, path.c_str(), &status);
}

int CNyr::get_leaf(const std::string& path, api_status_t& status, CElement& value,
                   element_property_t& property) {
    if (_handle == nullptr) return -1;
    _element_datatype_t record{};
    const int result = qel_get_leaf(_handle, path.c_str(), &status, &record, &property);
    if (result == 0 && status == 1) value = record;
    return result;
}

}  // namespace toolkit
