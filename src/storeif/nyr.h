/*
 * nyr.h - the store interface of libnyr.
 *
 * Every record, type and function through which libnyr++ reaches the store. The records are
 * exchanged in memory, in the host's byte order, so their layout is fixed: on the 32-bit device
 * the value record is 32 bytes and the event record 160 bytes, with the offsets asserted at the
 * end of this file. On a host with 64-bit pointers each pointer widens and the fields after it
 * follow the host's alignment; every other field keeps its width. Time stamps inside records are
 * two signed 32-bit fields on every host (`qel_time32_t`), never the host's `struct timeval`.
 *
 * Conventions shared by all functions:
 *  - functions that act on the store take the handle first;
 *  - texts are NUL-terminated and only read during the call;
 *  - per-item outcomes come back as api_status_t, 1 meaning success;
 *  - the integer result is 0 when the call was carried out, non-zero when it failed as a whole
 *    (event fetches return a count instead);
 *  - status arrays, names and value records handed back stay the store's and remain valid until
 *    the same handle's next call; event record arrays handed back belong to the caller, who
 *    passes each record to destruct_event() and the array to free().
 */
#ifndef NYR_STOREIF_NYR_H
#define NYR_STOREIF_NYR_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define NYR_API
#else
#define NYR_API __attribute__((visibility("default")))
#endif

/* Opaque connection to one store. */
typedef struct qel_handle_s* qel_handle_t;

typedef int32_t api_status_t;        /* per-item status, 1 = success */
typedef int32_t element_type_t;      /* kind of a listed entry, QEL_ELEMENT_NODE marks a node */
typedef uint32_t element_property_t; /* property word of a leaf */
typedef int32_t qel_tribool_t;       /* three-state value of a leaf write */
typedef int32_t api_event_t;         /* event kind mask */
typedef int32_t nyrverb_thread_t;    /* thread whose verbosity is set */
typedef int32_t syslog_severity_t;   /* system-log severity */

#define QEL_ELEMENT_LEAF 1
#define QEL_ELEMENT_NODE 2

/* Data type codes of a value. In C++ the enumeration has a fixed 32-bit underlying type so that a
 * record carrying an unknown code (11, 255, ...) is still a valid object. */
#ifdef __cplusplus
enum data_type_t : int32_t {
#else
typedef enum data_type_t {
#endif
    DATATYPE_INVALID = 0,
    DATATYPE_BOOL = 1,
    DATATYPE_INT = 2,
    DATATYPE_UINT = 3,
    DATATYPE_FLOAT = 4,
    DATATYPE_TIME = 5,
    DATATYPE_STRING = 6,
    DATATYPE_BLOB = 7,
    DATATYPE_COMPLEX = 8,
    DATATYPE_INT64 = 9,
    DATATYPE_UINT64 = 10
#ifdef __cplusplus
};
#else
} data_type_t;
#endif

/* A time stamp as records carry it: seconds since 1970-01-01 UTC, then microseconds. */
typedef struct qel_time32_t {
    int32_t tv_sec;
    int32_t tv_usec;
} qel_time32_t;

/* Bytes by reference: a text (no terminator counted) or a byte array. */
typedef struct _byte_array_t {
    char* data;
    uint32_t length;
} _byte_array_t;

typedef struct _complex_t {
    double real;
    double imag;
} _complex_t;

/* The value record: 32 bytes on the device. */
typedef struct _element_datatype_t {
    data_type_t type;
    qel_time32_t timestamp; /* tv_sec -1: no time stamp */
    uint32_t _fill;         /* alignment fill, copied with the record, never interpreted */
    union {
        uint8_t bool_value; /* 0 = false, anything else = true */
        int32_t int_value;
        uint32_t uint_value;
        double float_value;
        qel_time32_t time_value;
        _byte_array_t string_value;
        _byte_array_t blob_value;
        _complex_t complex_value;
        int64_t int64_value;
        uint64_t uint64_value;
    } value;
} _element_datatype_t;

/* Event kinds the library tells apart. */
#define QEL_EVENT_GENERIC_MASK 0xFC
#define QEL_EVENT_ALARM_MASK 0xD8
#define QEL_EVENT_ACK_MASK 0x90
#define QEL_EVENT_FINAL_KIND 0x20
#define QEL_EVENT_SEVERITY_KIND 0x100

/* The event record: 160 bytes on the device. Which fields a record carries depends on its kind:
 * the generic fields (description .. detail_count) for kinds with a bit of 0xFC, the alarm fields
 * (ack_status .. variation_level) for kinds with a bit of 0xD8, `final` for kind 0x20 only, and
 * `severity` instead of `quality` for kind 0x100. */
typedef struct _event_t {
    int32_t _reserved; /* never interpreted; zero in records the library builds */
    int32_t type;
    _byte_array_t path;
    int32_t cmd;
    int32_t _fill0;
    _element_datatype_t value;
    _byte_array_t source;
    union {
        int32_t severity; /* kind 0x100 */
        uint16_t quality; /* every other kind */
    };
    uint8_t was_logged;
    _byte_array_t description;
    uint64_t event_id;
    uint32_t sequence_id;
    _byte_array_t* waveform_urls;
    uint32_t waveform_url_count;
    _byte_array_t* detail_keys;
    _byte_array_t* detail_values;
    uint32_t detail_count;
    qel_time32_t event_time;
    int32_t cause;
    uint8_t final;
    int32_t ack_status;
    uint32_t base_priority;
    uint8_t condition_raised;
    _byte_array_t note;
    uint8_t auto_close;
    int32_t variation_level;
} _event_t;

/* ---- Single items ---------------------------------------------------------------------- */
NYR_API int qel_add_node(qel_handle_t handle, const char* path, const char* source,
                         api_status_t* status);
NYR_API int qel_remove_node(qel_handle_t handle, const char* path, const char* source,
                            api_status_t* status);
/* auto_time asks the store to stamp the value with the time of the write. */
NYR_API int qel_set_leaf(qel_handle_t handle, const char* path, _element_datatype_t value,
                         qel_tribool_t tribool, bool auto_time, const char* source,
                         api_status_t* status);
NYR_API int qel_clear_leaf(qel_handle_t handle, const char* path, const char* source,
                           api_status_t* status);
NYR_API int qel_test_node(qel_handle_t handle, const char* path, api_status_t* status);
NYR_API int qel_get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
                         _element_datatype_t* value, element_property_t* property);

/* ---- Batches --------------------------------------------------------------------------- */
NYR_API int qel_test_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                           api_status_t* statuses);
NYR_API int qel_add_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                          const char* source, api_status_t** statuses, uint32_t* status_count);
NYR_API int qel_remove_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                             const char* source, api_status_t** statuses, uint32_t* status_count);
NYR_API int qel_clear_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                             const char* source, api_status_t** statuses, uint32_t* status_count);
NYR_API int qel_set_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                           const _element_datatype_t* values, const qel_tribool_t* tribools,
                           const bool* auto_time, const char* source, api_status_t** statuses,
                           uint32_t* status_count);
NYR_API int qel_get_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                           api_status_t** statuses, uint32_t* status_count,
                           _element_datatype_t* values, element_property_t* properties,
                           uint32_t value_count);

/* ---- Listing --------------------------------------------------------------------------- */
/* Fills at most the given capacities and sets *total to the number of entries there are. */
NYR_API int qel_list_node(qel_handle_t handle, const char* path, api_status_t* status,
                          uint32_t* total, element_type_t* types, uint32_t types_capacity,
                          element_property_t* properties, uint32_t properties_capacity,
                          _byte_array_t* names, uint32_t names_capacity);
NYR_API int qel_mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status,
                          uint32_t* total, _element_datatype_t* values, uint32_t values_capacity,
                          _byte_array_t* names, uint32_t names_capacity);

/* ---- Events ---------------------------------------------------------------------------- */
NYR_API int qel_event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                               api_status_t* status);
NYR_API int qel_event_clear(qel_handle_t handle, const char* path, api_event_t kind,
                            api_status_t* status);
NYR_API int qel_events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                            api_status_t** statuses, uint32_t* status_count);
/* Both return the number of records handed back through *records (an array the caller frees),
 * or 0 / a negative value with no array. */
NYR_API int qel_events_get(qel_handle_t handle, _event_t** records);
NYR_API int qel_events_get_nonblocking(qel_handle_t handle, _event_t** records);
/* Frees the three list arrays of a record (waveform_urls, detail_keys, detail_values), never the
 * texts its pairs point to, and sets them to null. */
NYR_API void destruct_event(_event_t* record);

/* ---- Event log ------------------------------------------------------------------------- */
NYR_API int qel_log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag);
NYR_API int qel_log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count,
                             const char* path, const struct timeval* from, const struct timeval* to,
                             uint32_t option_a, bool flag_a, uint32_t option_b);
NYR_API int qel_log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
                          const struct timeval* to);

/* ---- Process services ------------------------------------------------------------------ */
NYR_API int qel_watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                                  unsigned int number, bool flag);
NYR_API int qel_watchdog_ping(qel_handle_t handle, api_status_t* status);
NYR_API int qel_watchdog_clear(qel_handle_t handle, api_status_t* status);
NYR_API int qel_set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                              const char* text, api_status_t* status);
NYR_API int qel_syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
                           const char* second, const char* third);
/* Writes a 36-character UUID text and its NUL into buf (size must be at least 37). */
NYR_API int qel_create_uuid(const char* text, char* buf, uint32_t size);

/* ---- Error report ---------------------------------------------------------------------- */
NYR_API void qel_err(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* ---- Text and bytes -------------------------------------------------------------------- */
/* Returns the length of the whole source string (without NUL) whether or not it fit, writing at
 * most size bytes including the NUL; negative on failure. Null components are absent. */
NYR_API int qel_format_source_string(char* buf, uint32_t size, const char* first,
                                     const char* second, const char* third);
/* Splits text in place; on 0 each place is set to a text inside `text` or to null. */
NYR_API int qel_parse_source_string(char* text, char** first, char** second, char** third);
/* Encode into buffer->data (capacity buffer->length): 0 and buffer->length set to the bytes
 * written; > 0 the bytes needed when the buffer is too small; < 0 on failure. */
NYR_API int serialize_element(_byte_array_t* buffer, _element_datatype_t value, bool flag);
NYR_API int serialize_event(_byte_array_t* buffer, _event_t event);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout ---------------------------------------------------------------------------- */
#ifdef __cplusplus
#define NYR_STATIC_ASSERT static_assert
#else
#define NYR_STATIC_ASSERT _Static_assert
#endif

NYR_STATIC_ASSERT(sizeof(qel_time32_t) == 8, "time stamps are two 32-bit fields");
NYR_STATIC_ASSERT(sizeof(_element_datatype_t) == 32, "the value record is 32 bytes");
NYR_STATIC_ASSERT(offsetof(_element_datatype_t, timestamp) == 4, "value record: timestamp");
NYR_STATIC_ASSERT(offsetof(_element_datatype_t, value) == 16, "value record: value");

#if __SIZEOF_POINTER__ == 4
NYR_STATIC_ASSERT(sizeof(_byte_array_t) == 8, "byte array pair");
NYR_STATIC_ASSERT(offsetof(_element_datatype_t, value.string_value.length) == 20, "length");
NYR_STATIC_ASSERT(offsetof(_element_datatype_t, value.complex_value.imag) == 24, "imag");
NYR_STATIC_ASSERT(sizeof(_event_t) == 160, "the event record is 160 bytes");
NYR_STATIC_ASSERT(offsetof(_event_t, type) == 4, "event: type");
NYR_STATIC_ASSERT(offsetof(_event_t, path) == 8, "event: path");
NYR_STATIC_ASSERT(offsetof(_event_t, cmd) == 16, "event: cmd");
NYR_STATIC_ASSERT(offsetof(_event_t, value) == 24, "event: value");
NYR_STATIC_ASSERT(offsetof(_event_t, source) == 56, "event: source");
NYR_STATIC_ASSERT(offsetof(_event_t, severity) == 64, "event: severity");
NYR_STATIC_ASSERT(offsetof(_event_t, quality) == 64, "event: quality");
NYR_STATIC_ASSERT(offsetof(_event_t, was_logged) == 68, "event: was_logged");
NYR_STATIC_ASSERT(offsetof(_event_t, description) == 72, "event: description");
NYR_STATIC_ASSERT(offsetof(_event_t, event_id) == 80, "event: event_id");
NYR_STATIC_ASSERT(offsetof(_event_t, sequence_id) == 88, "event: sequence_id");
NYR_STATIC_ASSERT(offsetof(_event_t, waveform_urls) == 92, "event: waveform_urls");
NYR_STATIC_ASSERT(offsetof(_event_t, waveform_url_count) == 96, "event: waveform_url_count");
NYR_STATIC_ASSERT(offsetof(_event_t, detail_keys) == 100, "event: detail_keys");
NYR_STATIC_ASSERT(offsetof(_event_t, detail_values) == 104, "event: detail_values");
NYR_STATIC_ASSERT(offsetof(_event_t, detail_count) == 108, "event: detail_count");
NYR_STATIC_ASSERT(offsetof(_event_t, event_time) == 112, "event: event_time");
NYR_STATIC_ASSERT(offsetof(_event_t, cause) == 120, "event: cause");
NYR_STATIC_ASSERT(offsetof(_event_t, final) == 124, "event: final");
NYR_STATIC_ASSERT(offsetof(_event_t, ack_status) == 128, "event: ack_status");
NYR_STATIC_ASSERT(offsetof(_event_t, base_priority) == 132, "event: base_priority");
NYR_STATIC_ASSERT(offsetof(_event_t, condition_raised) == 136, "event: condition_raised");
NYR_STATIC_ASSERT(offsetof(_event_t, note) == 140, "event: note");
NYR_STATIC_ASSERT(offsetof(_event_t, auto_close) == 148, "event: auto_close");
NYR_STATIC_ASSERT(offsetof(_event_t, variation_level) == 152, "event: variation_level");
#elif __SIZEOF_POINTER__ == 8
NYR_STATIC_ASSERT(sizeof(_byte_array_t) == 16, "byte array pair");
NYR_STATIC_ASSERT(offsetof(_event_t, value) == 32, "event: value");
NYR_STATIC_ASSERT(offsetof(_event_t, severity) == 80, "event: severity");
NYR_STATIC_ASSERT(offsetof(_event_t, event_time) == 156, "event: event_time");
NYR_STATIC_ASSERT(sizeof(_event_t) == 208, "the event record on 64-bit hosts");
#endif

#endif /* NYR_STOREIF_NYR_H */
