// The qel_ calls on a remote handle: each entry point of the store hands a remote handle here
// (remote/remote_handle.h) with its arguments unchanged. Each refuses bad arguments as the store
// does, after the handle's own check, and otherwise carries out the call in nyrd.
#ifndef NYR_HOST_REMOTE_REMOTE_CALLS_H
#define NYR_HOST_REMOTE_REMOTE_CALLS_H

#include "nyr_host.h"
#include "remote/remote_handle.h"

namespace nyrremote {

int add_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status);
int remove_node(qel_handle_t handle, const char* path, const char* source, api_status_t* status);
int set_leaf(qel_handle_t handle, const char* path, const _element_datatype_t& value,
             qel_tribool_t tribool, bool auto_time, const char* source, api_status_t* status);
int clear_leaf(qel_handle_t handle, const char* path, const char* source, api_status_t* status);
int test_node(qel_handle_t handle, const char* path, api_status_t* status);
int get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
             _element_datatype_t* value, element_property_t* property);

int test_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
               api_status_t* statuses);
int add_nodes(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
              api_status_t** statuses, uint32_t* status_count);
int remove_nodes(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
                 api_status_t** statuses, uint32_t* status_count);
int clear_leaves(qel_handle_t handle, const char* const* paths, uint32_t count, const char* source,
                 api_status_t** statuses, uint32_t* status_count);
int set_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
               const _element_datatype_t* values, const qel_tribool_t* tribools,
               const bool* auto_time, const char* source, api_status_t** statuses,
               uint32_t* status_count);
int get_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
               api_status_t** statuses, uint32_t* status_count, _element_datatype_t* values,
               element_property_t* properties, uint32_t value_count);

int list_node(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
              element_type_t* types, uint32_t types_capacity, element_property_t* properties,
              uint32_t properties_capacity, _byte_array_t* names, uint32_t names_capacity);
int mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status, uint32_t* total,
              _element_datatype_t* values, uint32_t values_capacity, _byte_array_t* names,
              uint32_t names_capacity);

int event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                   api_status_t* status);
int event_clear(qel_handle_t handle, const char* path, api_event_t kind, api_status_t* status);
int events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                api_status_t** statuses, uint32_t* status_count);
int events_get(qel_handle_t handle, _event_t** records, bool wait);

int log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag);
int log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count, const char* path,
                 const struct timeval* from, const struct timeval* to, uint32_t option_a,
                 bool flag_a, uint32_t option_b);
int log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
              const struct timeval* to);

int watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                      unsigned int number, bool flag);
int watchdog_ping(qel_handle_t handle, api_status_t* status);
int watchdog_clear(qel_handle_t handle, api_status_t* status);
int set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                  const char* text, api_status_t* status);
int syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
               const char* second, const char* third);

long long overflow_count(qel_handle_t handle);
long long queued_count(qel_handle_t handle);
int watchdog_state(qel_handle_t handle, int* registered, uint32_t* pings, uint32_t* number);
int verbosity(qel_handle_t handle, nyrverb_thread_t thread, uint32_t* level);
long long syslog_count(qel_handle_t handle);
int syslog_entry(qel_handle_t handle, uint32_t index, syslog_severity_t* severity,
                 const char** first, const char** second, const char** third);

}  // namespace nyrremote

#endif  // NYR_HOST_REMOTE_REMOTE_CALLS_H
