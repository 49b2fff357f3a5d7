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

void StoreDouble::reset() { *this = StoreDouble(); }

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

nyrdouble::StoreDouble& sd() { return nyrdouble::StoreDouble::get(); }
Text text(const char* p) { return p ? Text(p) : std::nullopt; }

Call& record(const char* fn, qel_handle_t handle, std::vector<Text> texts,
             std::vector<long long> numbers, std::vector<const void*> pointers) {
    Call& call = sd().calls.emplace_back();
    call.fn = fn;
    call.handle = handle;
    call.texts = std::move(texts);
    call.numbers = std::move(numbers);
    call.pointers = std::move(pointers);
    return call;
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

// Default answer of a single-item call: scripted status, scripted result.
int single(const char* fn, api_status_t* status) {
    if (status) *status = status_of(fn);
    return result_of(fn);
}

// Default answer of a batch that hands statuses back: one scripted status per item.
int handed_back(const char* fn, uint32_t items, api_status_t** statuses, uint32_t* count) {
    if (result_of(fn) != 0) return result_of(fn);
    sd().status_storage.assign(items, status_of(fn));
    if (statuses) *statuses = sd().status_storage.data();
    if (count) *count = items;
    return 0;
}

}  // namespace

extern "C" {

#define NYR_DOUBLE_PATH_AND_SOURCE(name)                                                       \
    int qel_##name(qel_handle_t h, const char* path, const char* source, api_status_t* status) { \
        record(#name, h, {text(path), text(source)}, {}, {status});                            \
        return single(#name, status);                                                          \
    }
NYR_DOUBLE_PATH_AND_SOURCE(add_node)
NYR_DOUBLE_PATH_AND_SOURCE(remove_node)
NYR_DOUBLE_PATH_AND_SOURCE(clear_leaf)

int qel_set_leaf(qel_handle_t h, const char* path, _element_datatype_t value, qel_tribool_t tribool,
                 bool auto_time, const char* source, api_status_t* status) {
    Call& c = record("set_leaf", h, {text(path), text(source)}, {}, {status});
    record_value(c, value);
    c.tribools = {tribool};
    c.auto_times = {auto_time};
    return single("set_leaf", status);
}

int qel_test_node(qel_handle_t h, const char* path, api_status_t* status) {
    record("test_node", h, {text(path)}, {}, {status});
    return single("test_node", status);
}

int qel_get_leaf(qel_handle_t h, const char* path, api_status_t* status, _element_datatype_t* value,
                 element_property_t* property) {
    record("get_leaf", h, {text(path)}, {}, {status, value, property});
    if (sd().hooks.get_leaf) return sd().hooks.get_leaf(h, path, status, value, property);
    return single("get_leaf", status);
}

int qel_test_nodes(qel_handle_t h, const char* const* paths, uint32_t count,
                   api_status_t* statuses) {
    record_paths(record("test_nodes", h, {}, {count}, {paths, statuses}), paths, count);
    if (sd().hooks.test_nodes) return sd().hooks.test_nodes(h, paths, count, statuses);
    for (uint32_t i = 0; statuses && i < count; ++i) statuses[i] = status_of("test_nodes");
    return result_of("test_nodes");
}

#define NYR_DOUBLE_HANDED_BACK(name)                                                           \
    int qel_##name(qel_handle_t h, const char* const* paths, uint32_t count, const char* source, \
                   api_status_t** statuses, uint32_t* n) {                                     \
        Call& c = record(#name, h, {text(source)}, {count}, {paths, statuses, n});             \
        record_paths(c, paths, count);                                                         \
        if (sd().hooks.name) return sd().hooks.name(h, paths, count, source, statuses, n);     \
        return handed_back(#name, count, statuses, n);                                         \
    }
NYR_DOUBLE_HANDED_BACK(add_nodes)
NYR_DOUBLE_HANDED_BACK(remove_nodes)
NYR_DOUBLE_HANDED_BACK(clear_leaves)

int qel_set_leaves(qel_handle_t h, const char* const* paths, uint32_t count,
                   const _element_datatype_t* values, const qel_tribool_t* tribools,
                   const bool* auto_time, const char* source, api_status_t** statuses,
                   uint32_t* n) {
    Call& c = record("set_leaves", h, {text(source)}, {count},
                     {paths, values, tribools, auto_time, statuses, n});
    record_paths(c, paths, count);
    for (uint32_t i = 0; values && i < count; ++i) record_value(c, values[i]);
    if (tribools) c.tribools.assign(tribools, tribools + count);
    if (auto_time) c.auto_times.assign(auto_time, auto_time + count);
    if (sd().hooks.set_leaves)
        return sd().hooks.set_leaves(h, paths, count, values, tribools, auto_time, source,
                                     statuses, n);
    return handed_back("set_leaves", count, statuses, n);
}

int qel_get_leaves(qel_handle_t h, const char* const* paths, uint32_t count,
                   api_status_t** statuses, uint32_t* n, _element_datatype_t* values,
                   element_property_t* properties, uint32_t value_count) {
    Call& c = record("get_leaves", h, {}, {count, value_count},
                     {paths, statuses, n, values, properties});
    record_paths(c, paths, count);
    if (sd().hooks.get_leaves)
        return sd().hooks.get_leaves(h, paths, count, statuses, n, values, properties,
                                     value_count);
    return handed_back("get_leaves", count, statuses, n);
}

int qel_list_node(qel_handle_t h, const char* path, api_status_t* status, uint32_t* total,
                  element_type_t* types, uint32_t types_capacity, element_property_t* properties,
                  uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity) {
    record("list_node", h, {text(path)}, {types_capacity, properties_capacity, names_capacity},
           {status, total, types, properties, names});
    if (sd().hooks.list_node)
        return sd().hooks.list_node(h, path, status, total, types, types_capacity, properties,
                                    properties_capacity, names, names_capacity);
    if (total) *total = 0;
    return single("list_node", status);
}

int qel_mpl_fetch(qel_handle_t h, const char* path, api_status_t* status, uint32_t* total,
                  _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
                  uint32_t names_capacity) {
    record("mpl_fetch", h, {text(path)}, {values_capacity, names_capacity},
           {status, total, values, names});
    if (sd().hooks.mpl_fetch)
        return sd().hooks.mpl_fetch(h, path, status, total, values, values_capacity, names,
                                    names_capacity);
    if (total) *total = 0;
    return single("mpl_fetch", status);
}

int qel_event_register(qel_handle_t h, const char* path, api_event_t kind, bool flag,
                       api_status_t* status) {
    record("event_register", h, {text(path)}, {kind, flag}, {status});
    return single("event_register", status);
}

int qel_event_clear(qel_handle_t h, const char* path, api_event_t kind, api_status_t* status) {
    record("event_clear", h, {text(path)}, {kind}, {status});
    return single("event_clear", status);
}

int qel_events_send(qel_handle_t h, const _event_t* records, uint32_t count,
                    api_status_t** statuses, uint32_t* n) {
    record_events(record("events_send", h, {}, {count}, {records, statuses, n}), records, count);
    if (sd().hooks.events_send) return sd().hooks.events_send(h, records, count, statuses, n);
    return handed_back("events_send", count, statuses, n);
}

int qel_events_get(qel_handle_t h, _event_t** records) {
    record("events_get", h, {}, {}, {records});
    if (sd().hooks.events_get) return sd().hooks.events_get(h, records);
    return result_of("events_get");
}

int qel_events_get_nonblocking(qel_handle_t h, _event_t** records) {
    record("events_get_nonblocking", h, {}, {}, {records});
    if (sd().hooks.events_get_nonblocking) return sd().hooks.events_get_nonblocking(h, records);
    return result_of("events_get_nonblocking");
}

void destruct_event(_event_t* r) {
    record("destruct_event", nullptr, {}, {}, {r});
    sd().destructed.push_back(r);
    if (r == nullptr) return;
    std::free(r->waveform_urls);
    std::free(r->detail_keys);
    std::free(r->detail_values);
    r->waveform_urls = r->detail_keys = r->detail_values = nullptr;
}

int qel_log_store(qel_handle_t h, const _event_t* records, uint32_t count, bool flag) {
    record_events(record("log_store", h, {}, {count, flag}, {records}), records, count);
    if (sd().hooks.log_store) return sd().hooks.log_store(h, records, count, flag);
    return result_of("log_store");
}

int qel_log_retrieve(qel_handle_t h, _event_t** records, uint32_t* count, const char* path,
                     const timeval* from, const timeval* to, uint32_t option_a, bool flag_a,
                     uint32_t option_b) {
    record("log_retrieve", h, {text(path)}, {option_a, flag_a, option_b},
           {records, count, from, to});
    if (sd().hooks.log_retrieve)
        return sd().hooks.log_retrieve(h, records, count, path, from, to, option_a, flag_a,
                                       option_b);
    if (count) *count = 0;
    return result_of("log_retrieve");
}

int qel_log_clear(qel_handle_t h, const char* path, const timeval* from, const timeval* to) {
    record("log_clear", h, {text(path)}, {}, {from, to});
    return result_of("log_clear");
}

int qel_watchdog_register(qel_handle_t h, api_status_t* status, const char* t, unsigned int number,
                          bool flag) {
    record("watchdog_register", h, {text(t)}, {number, flag}, {status});
    return single("watchdog_register", status);
}

int qel_watchdog_ping(qel_handle_t h, api_status_t* status) {
    record("watchdog_ping", h, {}, {}, {status});
    return single("watchdog_ping", status);
}

int qel_watchdog_clear(qel_handle_t h, api_status_t* status) {
    record("watchdog_clear", h, {}, {}, {status});
    return single("watchdog_clear", status);
}

int qel_set_verbosity(qel_handle_t h, nyrverb_thread_t thread, unsigned int level, const char* t,
                      api_status_t* status) {
    record("set_verbosity", h, {text(t)}, {thread, level}, {status});
    return single("set_verbosity", status);
}

int qel_syslog_add(qel_handle_t h, const char* first, syslog_severity_t severity,
                   const char* second, const char* third) {
    record("syslog_add", h, {text(first), text(second), text(third)}, {severity}, {});
    return result_of("syslog_add");
}

int qel_create_uuid(const char* t, char* buf, uint32_t size) {
    record("create_uuid", nullptr, {text(t)}, {size}, {buf});
    if (sd().hooks.create_uuid) return sd().hooks.create_uuid(t, buf, size);
    if (buf && size >= 37) std::memcpy(buf, "00000000-0000-4000-8000-000000000000", 37);
    return result_of("create_uuid");
}

void qel_err(int code, const char* format, ...) {
    record("err", nullptr, {text(format)}, {code}, {});
    char buf[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    sd().errors.emplace_back(buf);
}

int qel_format_source_string(char* buf, uint32_t size, const char* first, const char* second,
                             const char* third) {
    record("format_source_string", nullptr, {text(first), text(second), text(third)}, {size},
           {buf});
    if (sd().hooks.format_source_string)
        return sd().hooks.format_source_string(buf, size, first, second, third);
    if (buf && size) buf[0] = '\0';
    return result_of("format_source_string");
}

int qel_parse_source_string(char* t, char** first, char** second, char** third) {
    record("parse_source_string", nullptr, {text(t)}, {}, {t});
    if (sd().hooks.parse_source_string)
        return sd().hooks.parse_source_string(t, first, second, third);
    for (char** place : {first, second, third})
        if (place) *place = nullptr;
    return result_of("parse_source_string");
}

int serialize_element(_byte_array_t* buffer, _element_datatype_t value, bool flag) {
    Call& c = record("serialize_element", nullptr, {},
                     {buffer ? static_cast<long long>(buffer->length) : -1, flag}, {buffer});
    record_value(c, value);
    if (sd().hooks.serialize_element) return sd().hooks.serialize_element(buffer, value, flag);
    if (buffer) buffer->length = 0;
    return result_of("serialize_element");
}

int serialize_event(_byte_array_t* buffer, _event_t event) {
    record_events(record("serialize_event", nullptr, {}, {}, {buffer}), &event, 1);
    if (sd().hooks.serialize_event) return sd().hooks.serialize_event(buffer, event);
    if (buffer) buffer->length = 0;
    return result_of("serialize_event");
}

}  // extern "C"
