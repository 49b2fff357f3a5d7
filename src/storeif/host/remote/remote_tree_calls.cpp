// The tree calls on a remote handle: single items, batches and listings.
#include "protocol/messages.h"
#include "remote/remote_calls.h"
#include "remote/remote_replies.h"

namespace nyrremote {

using nyrhost::WireReader;
using nyrhost::WireWriter;
using nyrproto::Op;

namespace {

int path_call(qel_handle_t handle, Op op, const char* path, const char* source,
              api_status_t* status) {
    return status_call(handle, status, [&](WireWriter& w) {
        w.u8(static_cast<uint8_t>(op));
        nyrproto::write_ptext(w, path);
        nyrproto::write_ptext(w, source);
    });
}

// A batch of paths whose output is the array of statuses.
template <typename Write>
int path_batch(Exchange& x, Write&& write, api_status_t** statuses, uint32_t* status_count) {
    return x.call(write, [&](WireReader& r) {
        const int result = r.i32();
        if (result == QEL_RESULT_OK) read_statuses(r, x.memory(), statuses, status_count);
        return result;
    });
}

int simple_batch(qel_handle_t handle, Op op, const char* const* paths, uint32_t count,
                 const char* source, api_status_t** statuses, uint32_t* status_count) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!statuses || !status_count || (count != 0 && !paths)) return QEL_RESULT_BAD_ARGUMENT;
    return path_batch(
        x,
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(op));
            nyrproto::write_paths(w, paths, count);
            nyrproto::write_ptext(w, source);
        },
        statuses, status_count);
}

}  // namespace

int add_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    return path_call(handle, Op::kAddNode, path, source, status);
}

int remove_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    return path_call(handle, Op::kRemoveNode, path, source, status);
}

int clear_leaf(qel_handle_t handle, const char* path, const char* source, api_status_t* status) {
    return path_call(handle, Op::kClearLeaf, path, source, status);
}

int set_leaf(qel_handle_t handle, const char* path, const _element_datatype_t& value,
             qel_tribool_t tribool, bool auto_time, const char* source, api_status_t* status) {
    return status_call(handle, status, [&](WireWriter& w) {
        w.u8(static_cast<uint8_t>(Op::kSetLeaf));
        nyrproto::write_ptext(w, path);
        nyrproto::write_value(w, value);
        w.i32(tribool);
        w.u8(auto_time ? 1 : 0);
        nyrproto::write_ptext(w, source);
    });
}

int test_node(qel_handle_t handle, const char* path, api_status_t* status) {
    return status_call(handle, status, [&](WireWriter& w) {
        w.u8(static_cast<uint8_t>(Op::kTestNode));
        nyrproto::write_ptext(w, path);
    });
}

int get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
             _element_datatype_t* value, element_property_t* property) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!status || !value || !property) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kGetLeaf));
            nyrproto::write_ptext(w, path);
        },
        [&](WireReader& r) {
            const int result = read_status(r, status);
            if (result == QEL_RESULT_OK && r.u8() != 0) read_leaf(r, x.memory(), *value, *property);
            return result;
        });
}

int test_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
               api_status_t* statuses) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (count != 0 && (!paths || !statuses)) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kTestNodes));
            nyrproto::write_paths(w, paths, count);
        },
        [&](WireReader& r) {
            const int result = r.i32();
            if (result != QEL_RESULT_OK) return result;
            if (r.u32() != count) r.fail();
            for (uint32_t k = 0; k < count && r.ok(); ++k) statuses[k] = r.i32();
            return result;
        });
}

int add_nodes(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
              api_status_t** statuses, uint32_t* status_count) {
    return simple_batch(handle, Op::kAddNodes, paths, count, source, statuses, status_count);
}

int remove_nodes(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
                 api_status_t** statuses, uint32_t* status_count) {
    return simple_batch(handle, Op::kRemoveNodes, paths, count, source, statuses, status_count);
}

int clear_leaves(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
                 api_status_t** statuses, uint32_t* status_count) {
    return simple_batch(handle, Op::kClearLeaves, paths, count, source, statuses, status_count);
}

int set_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
               const _element_datatype_t* values, const qel_tribool_t* tribools,
               const bool* auto_time, const char* source, api_status_t** statuses,
               uint32_t* status_count) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if ((count != 0 && (!values || !tribools || !auto_time || !paths)) || !statuses ||
        !status_count)
        return QEL_RESULT_BAD_ARGUMENT;
    return path_batch(
        x,
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kSetLeaves));
            nyrproto::write_paths(w, paths, count);
            for (uint32_t k = 0; k < count; ++k) {
                nyrproto::write_value(w, values[k]);
                w.i32(tribools[k]);
                w.u8(auto_time[k] ? 1 : 0);
            }
            nyrproto::write_ptext(w, source);
        },
        statuses, status_count);
}

int get_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
               api_status_t** statuses, uint32_t* status_count, _element_datatype_t* values,
               element_property_t* properties, uint32_t value_count) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!statuses || !status_count || value_count != count ||
        (count != 0 && (!paths || !values || !properties)))
        return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kGetLeaves));
            nyrproto::write_paths(w, paths, count);
        },
        [&](WireReader& r) {
            const int result = r.i32();
            if (result != QEL_RESULT_OK) return result;
            if (r.u32() != count) r.fail();
            ThreadMemory& memory = x.memory();
            memory.statuses.resize(count);
            for (uint32_t k = 0; k < count && r.ok(); ++k) {
                memory.statuses[k] = r.i32();
                values[k] = _element_datatype_t{};
                properties[k] = 0;
                if (r.u8() != 0) read_leaf(r, memory, values[k], properties[k]);
            }
            hand_back(memory, statuses, status_count);
            return result;
        });
}

int list_node(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
              element_type_t* types, uint32_t types_capacity, element_property_t* properties,
              uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!status || !total || (types_capacity && !types) || (properties_capacity && !properties) ||
        (names_capacity && !names))
        return QEL_RESULT_BAD_ARGUMENT;
    *total = 0;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kListNode));
            nyrproto::write_ptext(w, path);
            w.u32(types_capacity);
            w.u32(properties_capacity);
            w.u32(names_capacity);
        },
        [&](WireReader& r) {
            const int result = read_status(r, status);
            if (result != QEL_RESULT_OK || *status != QEL_STATUS_OK) return result;
            *total = r.u32();
            const uint32_t n_types = read_filled(r, types_capacity, *total);
            for (uint32_t k = 0; k < n_types; ++k) types[k] = r.i32();
            const uint32_t n_properties = read_filled(r, properties_capacity, *total);
            for (uint32_t k = 0; k < n_properties; ++k) properties[k] = r.u32();
            const uint32_t n_names = read_filled(r, names_capacity, *total);
            for (uint32_t k = 0; k < n_names; ++k) read_name(r, names[k]);
            return result;
        });
}

int mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
              _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
              uint32_t names_capacity) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!status || !total || (values_capacity && !values) || (names_capacity && !names))
        return QEL_RESULT_BAD_ARGUMENT;
    *total = 0;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kMplFetch));
            nyrproto::write_ptext(w, path);
            w.u32(values_capacity);
            w.u32(names_capacity);
        },
        [&](WireReader& r) {
            const int result = read_status(r, status);
            if (result != QEL_RESULT_OK || *status != QEL_STATUS_OK) return result;
            *total = r.u32();
            const uint32_t n_values = read_filled(r, values_capacity, *total);
            for (uint32_t k = 0; k < n_values && r.ok(); ++k) {
                std::string& payload = x.memory().texts.emplace_back();
                if (!nyrproto::read_value(r, values[k], payload)) break;
            }
            const uint32_t n_names = read_filled(r, names_capacity, *total);
            for (uint32_t k = 0; k < n_names; ++k) read_name(r, names[k]);
            return result;
        });
}

}  // namespace nyrremote
