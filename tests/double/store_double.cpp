// The store interface answered by StoreDouble: record, then answer by hook or script.
#include "double/store_double.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nyrdouble {

StoreDouble& StoreDouble::get() {
    static StoreDouble instance;
    return instance;
}

void StoreDouble::reset() {
    calls.clear();
    hooks = Hooks();
    results.clear();
    statuses.clear();
    errors.clear();
    destructed.clear();
    status_storage.clear();
}

int StoreDouble::result_for(const std::string& fn) const {
    auto it = results.find(fn);
    return it == results.end() ? 0 : it->second;
}

api_status_t StoreDouble::status_for(const std::string& fn) const {
    auto it = statuses.find(fn);
    return it == statuses.end() ? 1 : it->second;
}

std::size_t StoreDouble::count(const std::string& fn) const {
    std::size_t n = 0;
    for (const Call& call : calls) n += call.fn == fn ? 1 : 0;
    return n;
}

const Call& StoreDouble::last(const std::string& fn) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->fn == fn) return *it;
    ADD_FAILURE() << "no call of " << fn;
    static const Call none;
    return none;
}

std::vector<std::string> StoreDouble::call_names() const {
    std::vector<std::string> names;
    for (const Call& call : calls) names.push_back(call.fn);
    return names;
}

} // namespace nyrdouble

using nyrdouble::Call;
using nyrdouble::StoreDouble;

namespace {

StoreDouble& sd() { return StoreDouble::get(); }

Call& record(const char* fn, qel_handle_t handle) {
    Call call;
    call.fn = fn;
    call.handle = handle;
    sd().calls.push_back(std::move(call));
    return sd().calls.back();
}

nyrdouble::Text text(const char* p) { return p ? nyrdouble::Text(p) : std::nullopt; }

std::string pair_text(const _byte_array_t& pair) {
    return pair.data && pair.length ? std::string(pair.data, pair.length) : std::string();
}

void record_value(Call& call, const _element_datatype_t& value) {
    call.values.push_back(value);
    if (value.type == DATATYPE_STRING || value.type == DATATYPE_BLOB)
        call.payloads.push_back(pair_text(value.value.string_value));
    else
        call.payloads.emplace_back();
}

void record_paths(Call& call, const char* const* paths, uint32_t count) {
    for (uint32_t i = 0; paths && i < count; ++i) call.paths.push_back(paths[i] ? paths[i] : "");
}

void record_events(Call& call, const _event_t* records, uint32_t count) {
    for (uint32_t i = 0; records && i < count; ++i) {
        const _event_t& r = records[i];
        nyrdouble::RecordedEvent e;
        e.raw = r;
        e.path = pair_text(r.path);
        e.source = pair_text(r.source);
        e.description = pair_text(r.description);
        e.note = pair_text(r.note);
        if (r.value.type == DATATYPE_STRING || r.value.type == DATATYPE_BLOB)
            e.value_payload = pair_text(r.value.value.string_value);
        for (uint32_t j = 0; r.waveform_urls && j < r.waveform_url_count; ++j)
            e.waveform_urls.push_back(pair_text(r.waveform_urls[j]));
        for (uint32_t j = 0; r.detail_keys && r.detail_values && j < r.detail_count; ++j) {
            e.detail_keys.push_back(pair_text(r.detail_keys[j]));
            e.detail_values.push_back(pair_text(r.detail_values[j]));
        }
        call.events.push_back(std::move(e));
    }
}

// Default answer of a single-item call: scripted status, scripted result.
int single(const char* fn, api_status_t* status) {
    if (status) *status = sd().status_for(fn);
    return sd().result_for(fn);
}

// Default answer of a batch that hands statuses back: one scripted status per item.
int handed_back(const char* fn, uint32_t items, api_status_t** statuses, uint32_t* count) {
    const int result = sd().result_for(fn);
    if (result != 0) return result;
    sd().status_storage.assign(items, sd().status_for(fn));
    if (statuses) *statuses = sd().status_storage.data();
    if (count) *count = items;
    return 0;
}

} // namespace

extern "C" {

int qel_add_node(qel_handle_t h, const char* path, const char* source, api_status_t* status) {
    Call& c = record("add_node", h);
    c.texts = {text(path), text(source)};
    c.pointers = {status};
    if (sd().hooks.add_node) return sd().hooks.add_node(h, path, source, status);
    return single("add_node", status);
}

int qel_remove_node(qel_handle_t h, const char* path, const char* source, api_status_t* status) {
    Call& c = record("remove_node", h);
    c.texts = {text(path), text(source)};
    c.pointers = {status};
    if (sd().hooks.remove_node) return sd().hooks.remove_node(h, path, source, status);
    return single("remove_node", status);
}

int qel_set_leaf(qel_handle_t h, const char* path, _element_datatype_t value, qel_tribool_t tribool,
                 bool auto_time, const char* source, api_status_t* status) {
    Call& c = record("set_leaf", h);
    c.texts = {text(path), text(source)};
    record_value(c, value);
    c.tribools = {tribool};
    c.auto_times = {auto_time};
    c.numbers = {tribool, auto_time ? 1 : 0};
    c.pointers = {status};
    if (sd().hooks.set_leaf) return sd().hooks.set_leaf(h, path, value, tribool, auto_time, source, status);
    return single("set_leaf", status);
}

int qel_clear_leaf(qel_handle_t h, const char* path, const char* source, api_status_t* status) {
    Call& c = record("clear_leaf", h);
    c.texts = {text(path), text(source)};
    c.pointers = {status};
    if (sd().hooks.clear_leaf) return sd().hooks.clear_leaf(h, path, source, status);
    return single("clear_leaf", status);
}

int qel_test_node(qel_handle_t h, const char* path, api_status_t* status) {
    Call& c = record("test_node", h);
    c.texts = {text(path)};
    c.pointers = {status};
    if (sd().hooks.test_node) return sd().hooks.test_node(h, path, status);
    return single("test_node", status);
}

int qel_get_leaf(qel_handle_t h, const char* path, api_status_t* status, _element_datatype_t* value,
                 element_property_t* property) {
    Call& c = record("get_leaf", h);
    c.texts = {text(path)};
    c.pointers = {status, value, property};
    if (sd().hooks.get_leaf) return sd().hooks.get_leaf(h, path, status, value, property);
    return single("get_leaf", status);
}

int qel_test_nodes(qel_handle_t h, const char* const* paths, uint32_t count, api_status_t* statuses) {
    Call& c = record("test_nodes", h);
    record_paths(c, paths, count);
    c.numbers = {count};
    c.pointers = {paths, statuses};
    if (sd().hooks.test_nodes) return sd().hooks.test_nodes(h, paths, count, statuses);
    for (uint32_t i = 0; statuses && i < count; ++i) statuses[i] = sd().status_for("test_nodes");
    return sd().result_for("test_nodes");
}

#define NYR_DOUBLE_HANDED_BACK(name)                                                               \
    int qel_##name(qel_handle_t h, const char* const* paths, uint32_t count, const char* source,  \
                   api_status_t** statuses, uint32_t* status_count) {                              \
        Call& c = record(#name, h);                                                                \
        record_paths(c, paths, count);                                                             \
        c.texts = {text(source)};                                                                  \
        c.numbers = {count};                                                                       \
        c.pointers = {paths, statuses, status_count};                                              \
        if (sd().hooks.name) return sd().hooks.name(h, paths, count, source, statuses, status_count); \
        return handed_back(#name, count, statuses, status_count);                                  \
    }

NYR_DOUBLE_HANDED_BACK(add_nodes)
NYR_DOUBLE_HANDED_BACK(remove_nodes)
NYR_DOUBLE_HANDED_BACK(clear_leaves)

int qel_set_leaves(qel_handle_t h, const char* const* paths, uint32_t count,
                   const _element_datatype_t* values, const qel_tribool_t* tribools,
                   const bool* auto_time, const char* source, api_status_t** statuses,
                   uint32_t* status_count) {
    Call& c = record("set_leaves", h);
    record_paths(c, paths, count);
    for (uint32_t i = 0; values && i < count; ++i) record_value(c, values[i]);
    for (uint32_t i = 0; tribools && i < count; ++i) c.tribools.push_back(tribools[i]);
    for (uint32_t i = 0; auto_time && i < count; ++i) c.auto_times.push_back(auto_time[i]);
    c.texts = {text(source)};
    c.numbers = {count};
    c.pointers = {paths, values, tribools, auto_time, statuses, status_count};
    if (sd().hooks.set_leaves)
        return sd().hooks.set_leaves(h, paths, count, values, tribools, auto_time, source, statuses,
                                     status_count);
    return handed_back("set_leaves", count, statuses, status_count);
}

int qel_get_leaves(qel_handle_t h, const char* const* paths, uint32_t count, api_status_t** statuses,
                   uint32_t* status_count, _element_datatype_t* values,
                   element_property_t* properties, uint32_t value_count) {
    Call& c = record("get_leaves", h);
    record_paths(c, paths, count);
    c.numbers = {count, value_count};
    c.pointers = {paths, statuses, status_count, values, properties};
    if (sd().hooks.get_leaves)
        return sd().hooks.get_leaves(h, paths, count, statuses, status_count, values, properties,
                                     value_count);
    return handed_back("get_leaves", count, statuses, status_count);
}

int qel_list_node(qel_handle_t h, const char* path, api_status_t* status, uint32_t* total,
                  element_type_t* types, uint32_t types_capacity, element_property_t* properties,
                  uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    Call& c = record("list_node", h);
    c.texts = {text(path)};
    c.numbers = {types_capacity, properties_capacity, names_capacity};
    c.pointers = {status, total, types, properties, names};
    if (sd().hooks.list_node)
        return sd().hooks.list_node(h, path, status, total, types, types_capacity, properties,
                                    properties_capacity, names, names_capacity);
    if (total) *total = 0;
    return single("list_node", status);
}

int qel_mpl_fetch(qel_handle_t h, const char* path, api_status_t* status, uint32_t* total,
                  _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
                  uint32_t names_capacity) {
    Call& c = record("mpl_fetch", h);
    c.texts = {text(path)};
    c.numbers = {values_capacity, names_capacity};
    c.pointers = {status, total, values, names};
    if (sd().hooks.mpl_fetch)
        return sd().hooks.mpl_fetch(h, path, status, total, values, values_capacity, names,
                                    names_capacity);
    if (total) *total = 0;
    return single("mpl_fetch", status);
}

int qel_event_register(qel_handle_t h, const char* path, api_event_t kind, bool flag,
                       api_status_t* status) {
    Call& c = record("event_register", h);
    c.texts = {text(path)};
    c.numbers = {kind, flag ? 1 : 0};
    c.pointers = {status};
    if (sd().hooks.event_register) return sd().hooks.event_register(h, path, kind, flag, status);
    return single("event_register", status);
}

int qel_event_clear(qel_handle_t h, const char* path, api_event_t kind, api_status_t* status) {
    Call& c = record("event_clear", h);
    c.texts = {text(path)};
    c.numbers = {kind};
    c.pointers = {status};
    if (sd().hooks.event_clear) return sd().hooks.event_clear(h, path, kind, status);
    return single("event_clear", status);
}

int qel_events_send(qel_handle_t h, const _event_t* records, uint32_t count, api_status_t** statuses,
                    uint32_t* status_count) {
    Call& c = record("events_send", h);
    record_events(c, records, count);
    c.numbers = {count};
    c.pointers = {records, statuses, status_count};
    if (sd().hooks.events_send) return sd().hooks.events_send(h, records, count, statuses, status_count);
    return handed_back("events_send", count, statuses, status_count);
}

int qel_events_get(qel_handle_t h, _event_t** records) {
    Call& c = record("events_get", h);
    c.pointers = {records};
    if (sd().hooks.events_get) return sd().hooks.events_get(h, records);
    return sd().result_for("events_get");
}

int qel_events_get_nonblocking(qel_handle_t h, _event_t** records) {
    Call& c = record("events_get_nonblocking", h);
    c.pointers = {records};
    if (sd().hooks.events_get_nonblocking) return sd().hooks.events_get_nonblocking(h, records);
    return sd().result_for("events_get_nonblocking");
}

void destruct_event(_event_t* r) {
    Call& c = record("destruct_event", nullptr);
    c.pointers = {r};
    sd().destructed.push_back(r);
    if (r == nullptr) return;
    std::free(r->waveform_urls);
    std::free(r->detail_keys);
    std::free(r->detail_values);
    r->waveform_urls = nullptr;
    r->detail_keys = nullptr;
    r->detail_values = nullptr;
}

int qel_log_store(qel_handle_t h, const _event_t* records, uint32_t count, bool flag) {
    Call& c = record("log_store", h);
    record_events(c, records, count);
    c.numbers = {count, flag ? 1 : 0};
    c.pointers = {records};
    if (sd().hooks.log_store) return sd().hooks.log_store(h, records, count, flag);
    return sd().result_for("log_store");
}

int qel_log_retrieve(qel_handle_t h, _event_t** records, uint32_t* count, const char* path,
                     const timeval* from, const timeval* to, uint32_t option_a, bool flag_a,
                     uint32_t option_b) {
    Call& c = record("log_retrieve", h);
    c.texts = {text(path)};
    c.numbers = {option_a, flag_a ? 1 : 0, option_b};
    c.pointers = {records, count, from, to};
    if (sd().hooks.log_retrieve)
        return sd().hooks.log_retrieve(h, records, count, path, from, to, option_a, flag_a, option_b);
    if (count) *count = 0;
    return sd().result_for("log_retrieve");
}

int qel_log_clear(qel_handle_t h, const char* path, const timeval* from, const timeval* to) {
    Call& c = record("log_clear", h);
    c.texts = {text(path)};
    c.pointers = {from, to};
    if (sd().hooks.log_clear) return sd().hooks.log_clear(h, path, from, to);
    return sd().result_for("log_clear");
}

int qel_watchdog_register(qel_handle_t h, api_status_t* status, const char* t, unsigned int number,
                          bool flag) {
    Call& c = record("watchdog_register", h);
    c.texts = {text(t)};
    c.numbers = {number, flag ? 1 : 0};
    c.pointers = {status};
    if (sd().hooks.watchdog_register) return sd().hooks.watchdog_register(h, status, t, number, flag);
    return single("watchdog_register", status);
}

int qel_watchdog_ping(qel_handle_t h, api_status_t* status) {
    Call& c = record("watchdog_ping", h);
    c.pointers = {status};
    if (sd().hooks.watchdog_ping) return sd().hooks.watchdog_ping(h, status);
    return single("watchdog_ping", status);
}

int qel_watchdog_clear(qel_handle_t h, api_status_t* status) {
    Call& c = record("watchdog_clear", h);
    c.pointers = {status};
    if (sd().hooks.watchdog_clear) return sd().hooks.watchdog_clear(h, status);
    return single("watchdog_clear", status);
}

int qel_set_verbosity(qel_handle_t h, nyrverb_thread_t thread, unsigned int level, const char* t,
                      api_status_t* status) {
    Call& c = record("set_verbosity", h);
    c.texts = {text(t)};
    c.numbers = {thread, level};
    c.pointers = {status};
    if (sd().hooks.set_verbosity) return sd().hooks.set_verbosity(h, thread, level, t, status);
    return single("set_verbosity", status);
}

int qel_syslog_add(qel_handle_t h, const char* first, syslog_severity_t severity, const char* second,
                   const char* third) {
    Call& c = record("syslog_add", h);
    c.texts = {text(first), text(second), text(third)};
    c.numbers = {severity};
    if (sd().hooks.syslog_add) return sd().hooks.syslog_add(h, first, severity, second, third);
    return sd().result_for("syslog_add");
}

int qel_create_uuid(const char* t, char* buf, uint32_t size) {
    Call& c = record("create_uuid", nullptr);
    c.texts = {text(t)};
    c.numbers = {size};
    c.pointers = {buf};
    if (sd().hooks.create_uuid) return sd().hooks.create_uuid(t, buf, size);
    const char* fixed = "00000000-0000-4000-8000-000000000000";
    if (buf && size >= 37) std::memcpy(buf, fixed, 37);
    return sd().result_for("create_uuid");
}

void qel_err(int code, const char* format, ...) {
    Call& c = record("err", nullptr);
    c.numbers = {code};
    c.texts = {text(format)};
    char buf[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    sd().errors.emplace_back(buf);
}

int qel_format_source_string(char* buf, uint32_t size, const char* first, const char* second,
                             const char* third) {
    Call& c = record("format_source_string", nullptr);
    c.texts = {text(first), text(second), text(third)};
    c.numbers = {size};
    c.pointers = {buf};
    if (sd().hooks.format_source_string)
        return sd().hooks.format_source_string(buf, size, first, second, third);
    if (buf && size) buf[0] = '\0';
    return sd().result_for("format_source_string");
}

int qel_parse_source_string(char* t, char** first, char** second, char** third) {
    Call& c = record("parse_source_string", nullptr);
    c.texts = {text(t)};
    c.pointers = {t};
    if (sd().hooks.parse_source_string) return sd().hooks.parse_source_string(t, first, second, third);
    if (first) *first = nullptr;
    if (second) *second = nullptr;
    if (third) *third = nullptr;
    return sd().result_for("parse_source_string");
}

int serialize_element(_byte_array_t* buffer, _element_datatype_t value, bool flag) {
    Call& c = record("serialize_element", nullptr);
    record_value(c, value);
    c.numbers = {buffer ? static_cast<long long>(buffer->length) : -1, flag ? 1 : 0};
    c.pointers = {buffer, buffer ? buffer->data : nullptr};
    if (sd().hooks.serialize_element) return sd().hooks.serialize_element(buffer, value, flag);
    if (buffer) buffer->length = 0;
    return sd().result_for("serialize_element");
}

int serialize_event(_byte_array_t* buffer, _event_t event) {
    Call& c = record("serialize_event", nullptr);
    record_events(c, &event, 1);
    c.numbers = {buffer ? static_cast<long long>(buffer->length) : -1};
    c.pointers = {buffer, buffer ? buffer->data : nullptr};
    if (sd().hooks.serialize_event) return sd().hooks.serialize_event(buffer, event);
    if (buffer) buffer->length = 0;
    return sd().result_for("serialize_event");
}

} // extern "C"
