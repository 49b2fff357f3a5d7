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
    *this = StoreDouble();
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

}  // namespace nyrdouble

using nyrdouble::Call;
using nyrdouble::Text;

namespace {

nyrdouble::StoreDouble& sd() {
    return nyrdouble::StoreDouble::get();
}
Text text(const char* p) {
    return p ? Text(p) : std::nullopt;
}

int result_of(const char* fn) {
    auto it = sd().results.find(fn);
    return it == sd().results.end() ? 0 : it->second;
}

api_status_t status_of(const char* fn) {
    auto it = sd().statuses.find(fn);
    return it == sd().statuses.end() ? 1 : it->second;
}

std::string pair_text(const _byte_array_t& pair) {
    return pair.data && pair.length ? std::string(pair.data, pair.length) : std::string();
}

bool has_payload(const _element_datatype_t& v) {
    return v.type == DATATYPE_STRING || v.type == DATATYPE_BLOB;
}

void record_value(Call& call, const _element_datatype_t& value) {
    call.values.push_back(value);
    call.payloads.push_back(has_payload(value) ? pair_text(value.value.string_value) : "");
}

void record_paths(Call& call, const char* const* paths, uint32_t count) {
    for (uint32_t i = 0; paths && i < count; ++i) call.paths.push_back(paths[i] ? paths[i] : "");
}

void record_events(Call& call, const _event_t* records, uint32_t count) {
    for (uint32_t i = 0; records && i < count; ++i) {
        const _event_t& r = records[i];
        nyrdouble::RecordedEvent e{r, pair_text(r.path), pair_text(r.note), {}, {}};
        for (uint32_t j = 0; r.waveform_urls && j < r.waveform_url_count; ++j)
            e.waveform_urls.push_back(pair_text(r.waveform_urls[j]));
        for (uint32_t j = 0; r.detail_keys && j < r.detail_count; ++j)
            e.detail_keys.push_back(pair_text(r.detail_keys[j]));
        call.events.push_back(std::move(e));
    }
}

// Files each argument in the list of its kind, in argument order.
struct Filer {
    Call& call;
    void operator()(const char* t) { call.texts.push_back(text(t)); }
    void operator()(long long number) { call.numbers.push_back(number); }
    void operator()(const _element_datatype_t& value) { record_value(call, value); }
    template <class T>
    void operator()(T* pointer) {
        call.pointers.push_back(pointer);
    }
};

template <class... Args>
Call& record(const char* fn, qel_handle_t handle, Args... args) {
    Call& call = sd().calls.emplace_back();
    call.fn = fn;
    call.handle = handle;
    (Filer{call}(args), ...);
    return call;
}

// Default answer of a single-item call: scripted status, scripted result.
int single(const char* fn, api_status_t* status) {
    if (status) *status = status_of(fn);
    return result_of(fn);
}

// Default answer of a batch that hands statuses back: one scripted status per item.
int handed_back(const char* fn, uint32_t items, api_status_t** statuses, uint32_t* count) {
    if (result_of(fn) != 0) return result_of(fn);
    auto scripted = sd().status_arrays.find(fn);
    if (scripted != sd().status_arrays.end())
        sd().status_storage = scripted->second;
    else
        sd().status_storage.assign(items, status_of(fn));
    items = static_cast<uint32_t>(sd().status_storage.size());
    if (statuses) *statuses = sd().status_storage.data();
    if (count) *count = items;
    return 0;
}

}  // namespace

extern "C" {

#define NYR_DOUBLE_HOOK(name, ...) \
    if (sd().hooks.name) return sd().hooks.name(__VA_ARGS__)

// Functions answered by the scripted status (through `status`) and result only.
#define NYR_DOUBLE_SCRIPTED(name, parameters, ...) \
    int qel_##name parameters {                    \
        record(#name, __VA_ARGS__);                \
        return single(#name, status);              \
    }
NYR_DOUBLE_SCRIPTED(add_node, (qel_handle_t h, const char* p, const char* s, api_status_t* status),
                    h, p, s, status)
NYR_DOUBLE_SCRIPTED(remove_node,
                    (qel_handle_t h, const char* p, const char* s, api_status_t* status), h, p, s,
                    status)
NYR_DOUBLE_SCRIPTED(clear_leaf,
                    (qel_handle_t h, const char* p, const char* s, api_status_t* status), h, p, s,
                    status)
NYR_DOUBLE_SCRIPTED(test_node, (qel_handle_t h, const char* p, api_status_t* status), h, p, status)
NYR_DOUBLE_SCRIPTED(event_register,
                    (qel_handle_t h, const char* p, api_event_t kind, bool flag,
                     api_status_t* status),
                    h, p, kind, flag, status)
NYR_DOUBLE_SCRIPTED(event_clear,
                    (qel_handle_t h, const char* p, api_event_t kind, api_status_t* status), h, p,
                    kind, status)
NYR_DOUBLE_SCRIPTED(watchdog_register,
                    (qel_handle_t h, api_status_t* status, const char* t, unsigned n, bool flag), h,
                    status, t, n, flag)
NYR_DOUBLE_SCRIPTED(watchdog_ping, (qel_handle_t h, api_status_t* status), h, status)
NYR_DOUBLE_SCRIPTED(watchdog_clear, (qel_handle_t h, api_status_t* status), h, status)
NYR_DOUBLE_SCRIPTED(set_verbosity,
                    (qel_handle_t h, nyrverb_thread_t thread, unsigned level, const char* t,
                     api_status_t* status),
                    h, thread, level, t, status)
#define NYR_DOUBLE_RESULT_ONLY(name, parameters, ...) \
    int qel_##name parameters {                       \
        record(#name, __VA_ARGS__);                   \
        return result_of(#name);                      \
    }
NYR_DOUBLE_RESULT_ONLY(syslog_add,
                       (qel_handle_t h, const char* a, syslog_severity_t severity, const char* b,
                        const char* c),
                       h, a, severity, b, c)
NYR_DOUBLE_RESULT_ONLY(log_clear,
                       (qel_handle_t h, const char* p, const timeval* from, const timeval* to), h,
                       p, from, to)

#define NYR_DOUBLE_EVENT_FETCH(name)                     \
    int qel_##name(qel_handle_t h, _event_t** records) { \
        record(#name, h, records);                       \
        NYR_DOUBLE_HOOK(name, h, records);               \
        return result_of(#name);                         \
    }
NYR_DOUBLE_EVENT_FETCH(events_get)
NYR_DOUBLE_EVENT_FETCH(events_get_nonblocking)

int qel_set_leaf(qel_handle_t h, const char* path, _element_datatype_t value, qel_tribool_t tribool,
                 bool auto_time, const char* source, api_status_t* status) {
    Call& c = record("set_leaf", h, path, source, value, status);
    c.tribools = {tribool};
    c.auto_times = {auto_time};
    return single("set_leaf", status);
}

int qel_get_leaf(qel_handle_t h, const char* path, api_status_t* status, _element_datatype_t* value,
                 element_property_t* property) {
    record("get_leaf", h, path, status, value, property);
    NYR_DOUBLE_HOOK(get_leaf, h, path, status, value, property);
    return single("get_leaf", status);
}

int qel_test_nodes(qel_handle_t h, const char* const* paths, uint32_t count,
                   api_status_t* statuses) {
    record_paths(record("test_nodes", h, paths, count, statuses), paths, count);
    NYR_DOUBLE_HOOK(test_nodes, h, paths, count, statuses);
    for (uint32_t i = 0; statuses && i < count; ++i) statuses[i] = status_of("test_nodes");
    return result_of("test_nodes");
}

#define NYR_DOUBLE_HANDED_BACK(name)                                                             \
    int qel_##name(qel_handle_t h, const char* const* paths, uint32_t count, const char* source, \
                   api_status_t** statuses, uint32_t* n) {                                       \
        record_paths(record(#name, h, paths, count, source, statuses, n), paths, count);         \
        return handed_back(#name, count, statuses, n);                                           \
    }
NYR_DOUBLE_HANDED_BACK(add_nodes)
NYR_DOUBLE_HANDED_BACK(remove_nodes)
NYR_DOUBLE_HANDED_BACK(clear_leaves)

int qel_set_leaves(qel_handle_t h, const char* const* paths, uint32_t count,
                   const _element_datatype_t* values, const qel_tribool_t* tribools,
                   const bool* auto_time, const char* source, api_status_t** statuses,
                   uint32_t* n) {
    Call& c =
        record("set_leaves", h, paths, count, values, tribools, auto_time, source, statuses, n);
    record_paths(c, paths, count);
    for (uint32_t i = 0; values && i < count; ++i) record_value(c, values[i]);
    if (tribools) c.tribools.assign(tribools, tribools + count);
    if (auto_time) c.auto_times.assign(auto_time, auto_time + count);
    NYR_DOUBLE_HOOK(set_leaves, h, paths, count, values, tribools, auto_time, source, statuses, n);
    return handed_back("set_leaves", count, statuses, n);
}

int qel_get_leaves(qel_handle_t h, const char* const* paths, uint32_t count,
                   api_status_t** statuses, uint32_t* n, _element_datatype_t* values,
                   element_property_t* properties, uint32_t value_count) {
    Call& c = record("get_leaves", h, paths, count, statuses, n, values, properties, value_count);
    record_paths(c, paths, count);
    NYR_DOUBLE_HOOK(get_leaves, h, paths, count, statuses, n, values, properties, value_count);
    return handed_back("get_leaves", count, statuses, n);
}

int qel_list_node(qel_handle_t h, const char* path, api_status_t* status, uint32_t* total,
                  element_type_t* types, uint32_t types_capacity, element_property_t* properties,
                  uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    record("list_node", h, path, status, total, types, types_capacity, properties,
           properties_capacity, names, names_capacity);
    NYR_DOUBLE_HOOK(list_node, h, path, status, total, types, types_capacity, properties,
                    properties_capacity, names, names_capacity);
    if (total) *total = 0;
    return single("list_node", status);
}

int qel_mpl_fetch(qel_handle_t h, const char* path, api_status_t* status, uint32_t* total,
                  _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
                  uint32_t names_capacity) {
    record("mpl_fetch", h, path, status, total, values, values_capacity, names, names_capacity);
    NYR_DOUBLE_HOOK(mpl_fetch, h, path, status, total, values, values_capacity, names,
                    names_capacity);
    if (total) *total = 0;
    return single("mpl_fetch", status);
}

int qel_events_send(qel_handle_t h, const _event_t* records, uint32_t count,
                    api_status_t** statuses, uint32_t* n) {
    record_events(record("events_send", h, records, count, statuses, n), records, count);
    return handed_back("events_send", count, statuses, n);
}

void destruct_event(_event_t* r) {
    record("destruct_event", nullptr, r);
    sd().destructed.push_back(r);
    if (r == nullptr) return;
    std::free(r->waveform_urls);
    std::free(r->detail_keys);
    std::free(r->detail_values);
    r->waveform_urls = r->detail_keys = r->detail_values = nullptr;
}

int qel_log_store(qel_handle_t h, const _event_t* records, uint32_t count, bool flag) {
    record_events(record("log_store", h, records, count, flag), records, count);
    return result_of("log_store");
}

int qel_log_retrieve(qel_handle_t h, _event_t** records, uint32_t* count, const char* path,
                     const timeval* from, const timeval* to, uint32_t option_a, bool flag_a,
                     uint32_t option_b) {
    record("log_retrieve", h, records, count, path, from, to, option_a, flag_a, option_b);
    NYR_DOUBLE_HOOK(log_retrieve, h, records, count, path, from, to, option_a, flag_a, option_b);
    if (count) *count = 0;
    return result_of("log_retrieve");
}

int qel_create_uuid(const char* t, char* buf, uint32_t size) {
    record("create_uuid", nullptr, t, buf, size);
    NYR_DOUBLE_HOOK(create_uuid, t, buf, size);
    if (buf && size >= 37) std::memcpy(buf, "00000000-0000-4000-8000-000000000000", 37);
    return result_of("create_uuid");
}

void qel_err(int code, const char* format, ...) {
    record("err", nullptr, code, format);
    char buf[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    sd().errors.emplace_back(buf);
}

int qel_format_source_string(char* buf, uint32_t size, const char* first, const char* second,
                             const char* third) {
    record("format_source_string", nullptr, buf, size, first, second, third);
    NYR_DOUBLE_HOOK(format_source_string, buf, size, first, second, third);
    if (buf && size) buf[0] = '\0';
    return result_of("format_source_string");
}

int qel_parse_source_string(char* t, char** first, char** second, char** third) {
    record("parse_source_string", nullptr, static_cast<const char*>(t), t);
    NYR_DOUBLE_HOOK(parse_source_string, t, first, second, third);
    for (char** place : {first, second, third})
        if (place) *place = nullptr;
    return result_of("parse_source_string");
}

int serialize_element(_byte_array_t* buffer, _element_datatype_t value, bool flag) {
    record("serialize_element", nullptr, value, buffer ? buffer->length : -1LL, flag, buffer);
    NYR_DOUBLE_HOOK(serialize_element, buffer, value, flag);
    if (buffer) buffer->length = 0;
    return result_of("serialize_element");
}

int serialize_event(_byte_array_t* buffer, _event_t event) {
    record_events(record("serialize_event", nullptr, buffer), &event, 1);
    NYR_DOUBLE_HOOK(serialize_event, buffer, event);
    if (buffer) buffer->length = 0;
    return result_of("serialize_event");
}

}  // extern "C"
