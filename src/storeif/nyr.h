/**
 * @file
 * @brief The store interface of libnyr: every record, type and function through which libnyr++
 * reaches the store.
 *
 * The records are exchanged in memory, in the host's byte order, so their layout is fixed: on the
 * 32-bit device the value record is 32 bytes and the event record 160 bytes, with the offsets
 * asserted at the end of this file. On a host with 64-bit pointers each pointer widens and the
 * fields after it follow the host's alignment; every other field keeps its width. Time stamps
 * inside records are two signed 32-bit fields on every host (#qel_time32_t), never the host's
 * `struct timeval`.
 *
 * Conventions shared by all functions:
 *  - functions that act on the store take the handle first;
 *  - texts are NUL-terminated and only read during the call;
 *  - per-item outcomes come back as #api_status_t, 1 meaning success;
 *  - the integer result is 0 when the call was carried out, non-zero when it failed as a whole
 *    (event fetches return a count instead);
 *  - status arrays, names and value records handed back stay the store's and remain valid until
 *    the same handle's next call; event record arrays handed back belong to the caller, who
 *    passes each record to destruct_event() and the array to free().
 *
 * What the host store does with bad input, its status and result codes and its threading rules
 * are set out in nyr_host.h.
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

/** Marks a function of the store interface as exported from the shared library libnyr. */
#if defined(_WIN32)
#define NYR_API
#else
#define NYR_API __attribute__((visibility("default")))
#endif

/** Opaque connection to one store; every call that acts on the store takes one first. */
typedef struct qel_handle_s* qel_handle_t;

typedef int32_t api_status_t;        /**< Per-item status, 1 = success. */
typedef int32_t element_type_t;      /**< Kind of a listed entry, #QEL_ELEMENT_NODE marks a node. */
typedef uint32_t element_property_t; /**< Property word of a leaf. */
typedef int32_t qel_tribool_t;       /**< Three-state value of a leaf write. */
typedef int32_t api_event_t;         /**< Event kind mask. */
typedef int32_t nyrverb_thread_t;    /**< Thread whose verbosity is set. */
typedef int32_t syslog_severity_t;   /**< System-log severity. */

/** Entry kind of a listing (#element_type_t): a leaf, which holds a value. */
#define QEL_ELEMENT_LEAF 1
/** Entry kind of a listing (#element_type_t): a node, which holds leaves and nodes. */
#define QEL_ELEMENT_NODE 2

/**
 * Data type codes of a value. In C++ the enumeration has a fixed 32-bit underlying type so that a
 * record carrying an unknown code (11, 255, ...) is still a valid object.
 */
#ifdef __cplusplus
enum data_type_t : int32_t {
#else
typedef enum data_type_t {
#endif
    DATATYPE_INVALID = 0, /**< No value: the union is not interpreted. */
    DATATYPE_BOOL = 1,    /**< A boolean in `bool_value`. */
    DATATYPE_INT = 2,     /**< A signed 32-bit integer in `int_value`. */
    DATATYPE_UINT = 3,    /**< An unsigned 32-bit integer in `uint_value`. */
    DATATYPE_FLOAT = 4,   /**< A double in `float_value`. */
    DATATYPE_TIME = 5,    /**< A point in time in `time_value`. */
    DATATYPE_STRING = 6,  /**< A text by reference in `string_value`. */
    DATATYPE_BLOB = 7,    /**< A byte array by reference in `blob_value`. */
    DATATYPE_COMPLEX = 8, /**< A complex number in `complex_value`. */
    DATATYPE_INT64 = 9,   /**< A signed 64-bit integer in `int64_value`. */
    DATATYPE_UINT64 = 10  /**< An unsigned 64-bit integer in `uint64_value`. */
#ifdef __cplusplus
};
#else
} data_type_t;
#endif

/**
 * A time stamp as records carry it: seconds since 1970-01-01 UTC, then microseconds.
 * @headerfile nyr.h <nyr.h>
 */
typedef struct qel_time32_t {
    int32_t tv_sec;  /**< Seconds since 1970-01-01 UTC. */
    int32_t tv_usec; /**< Microseconds within the second. */
} qel_time32_t;

/**
 * Bytes by reference: a text (no terminator counted) or a byte array.
 * @headerfile nyr.h <nyr.h>
 */
typedef struct _byte_array_t {
    char* data;      /**< The first byte; not owned by the record. */
    uint32_t length; /**< Number of bytes at `data`. */
} _byte_array_t;

/**
 * A complex number as the value record carries it.
 * @headerfile nyr.h <nyr.h>
 */
typedef struct _complex_t {
    double real; /**< Real part. */
    double imag; /**< Imaginary part. */
} _complex_t;

/**
 * The value record: 32 bytes on the device.
 * @headerfile nyr.h <nyr.h>
 */
typedef struct _element_datatype_t {
    data_type_t type;       /**< Which member of `value` holds the value (#data_type_t). */
    qel_time32_t timestamp; /**< Time stamp of the value; tv_sec -1: no time stamp. */
    uint32_t _fill;         /**< Alignment fill, copied with the record, never interpreted. */
    /** The value itself; `type` tells which member is meant. */
    union {
        uint8_t bool_value;         /**< #DATATYPE_BOOL: 0 = false, anything else = true. */
        int32_t int_value;          /**< #DATATYPE_INT. */
        uint32_t uint_value;        /**< #DATATYPE_UINT. */
        double float_value;         /**< #DATATYPE_FLOAT. */
        qel_time32_t time_value;    /**< #DATATYPE_TIME. */
        _byte_array_t string_value; /**< #DATATYPE_STRING: the characters, no terminator. */
        _byte_array_t blob_value;   /**< #DATATYPE_BLOB: the bytes. */
        _complex_t complex_value;   /**< #DATATYPE_COMPLEX. */
        int64_t int64_value;        /**< #DATATYPE_INT64. */
        uint64_t uint64_value;      /**< #DATATYPE_UINT64. */
    } value;
} _element_datatype_t;

/** Event kinds (bits of `_event_t::type`) that carry the generic fields. */
#define QEL_EVENT_GENERIC_MASK 0xFC
/** Event kinds that are alarms and carry the alarm fields. */
#define QEL_EVENT_ALARM_MASK 0xD8
/** Event kinds that are acknowledgements. */
#define QEL_EVENT_ACK_MASK 0x90
/** The one event kind that carries `final`. */
#define QEL_EVENT_FINAL_KIND 0x20
/** The one event kind that carries `severity` in place of `quality`. */
#define QEL_EVENT_SEVERITY_KIND 0x100

/**
 * The event record: 160 bytes on the device. Which fields a record carries depends on its kind:
 * the generic fields (description .. detail_count) for kinds with a bit of 0xFC, the alarm fields
 * (ack_status .. variation_level) for kinds with a bit of 0xD8, `final` for kind 0x20 only, and
 * `severity` instead of `quality` for kind 0x100. Every kind carries type, path, cmd, value,
 * source, severity or quality, was_logged, event_time and cause.
 * @headerfile nyr.h <nyr.h>
 */
typedef struct _event_t {
    int32_t _reserved;         /**< Never interpreted; zero in records the library builds. */
    int32_t type;              /**< The kind: its bits select the fields the record carries. */
    _byte_array_t path;        /**< Path of the store item the event is about. */
    int32_t cmd;               /**< Command code, carried unchanged. */
    int32_t _fill0;            /**< Alignment fill, never interpreted. */
    _element_datatype_t value; /**< The event's value. */
    _byte_array_t source;      /**< Source string (qel_format_source_string()). */
    /** Severity or quality, by kind: the two share one place in the record. */
    union {
        int32_t severity; /**< Kind 0x100 only. */
        uint16_t quality; /**< Every other kind. */
    };
    uint8_t was_logged;           /**< 0 or 1: the event's logged flag. */
    _byte_array_t description;    /**< Generic: description text. */
    uint64_t event_id;            /**< Generic: event identifier, carried unchanged. */
    uint32_t sequence_id;         /**< Generic: sequence number, carried unchanged. */
    _byte_array_t* waveform_urls; /**< Generic: array of `waveform_url_count` URL texts. */
    uint32_t waveform_url_count;  /**< Generic: number of entries of `waveform_urls`. */
    _byte_array_t* detail_keys;   /**< Generic: array of `detail_count` detail keys. */
    _byte_array_t* detail_values; /**< Generic: the value of each key, in the same order. */
    uint32_t detail_count;        /**< Generic: entries of `detail_keys` and `detail_values`. */
    qel_time32_t event_time;      /**< When the event happened; tv_sec -1: not set. */
    int32_t cause;                /**< Cause code, carried unchanged. */
    uint8_t final;                /**< Kind 0x20 only: 0 or 1, the final flag. */
    int32_t ack_status;           /**< Alarm: acknowledgement status, carried unchanged. */
    uint32_t base_priority;       /**< Alarm: base priority, carried unchanged. */
    uint8_t condition_raised;     /**< Alarm: 0 or 1, the condition-raised flag. */
    _byte_array_t note;           /**< Alarm: note text. */
    uint8_t auto_close;           /**< Alarm: 0 or 1, the auto-close flag. */
    int32_t variation_level;      /**< Alarm: variation level, carried unchanged. */
} _event_t;

/* ---- Single items ---------------------------------------------------------------------- */
/**
 * Adds a node at `path`.
 * @param handle The store handle.
 * @param path Path of the new node.
 * @param source Source string of the change.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out (the outcome is in `status`), non-zero when it failed as
 *         a whole.
 */
NYR_API int qel_add_node(qel_handle_t handle, const char* path, const char* source,
                         api_status_t* status);
/**
 * Removes the node at `path`.
 * @param handle The store handle.
 * @param path Path of the node.
 * @param source Source string of the change.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_remove_node(qel_handle_t handle, const char* path, const char* source,
                            api_status_t* status);
/**
 * Writes the leaf at `path`.
 * @param handle The store handle.
 * @param path Path of the leaf.
 * @param value The value record; a text or byte array it refers to is only read during the call.
 * @param tribool Three-state value of the write; the leaf keeps it as its property word.
 * @param auto_time True asks the store to stamp the value with the time of the write.
 * @param source Source string of the change.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_set_leaf(qel_handle_t handle, const char* path, _element_datatype_t value,
                         qel_tribool_t tribool, bool auto_time, const char* source,
                         api_status_t* status);
/**
 * Clears the leaf at `path`.
 * @param handle The store handle.
 * @param path Path of the leaf.
 * @param source Source string of the change.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_clear_leaf(qel_handle_t handle, const char* path, const char* source,
                           api_status_t* status);
/**
 * Tests whether a node exists at `path`.
 * @param handle The store handle.
 * @param path Path to test.
 * @param[out] status 1 when the node exists, otherwise the store's status.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_test_node(qel_handle_t handle, const char* path, api_status_t* status);
/**
 * Reads the leaf at `path`.
 * @param handle The store handle.
 * @param path Path of the leaf.
 * @param[out] status The item's outcome, 1 on success.
 * @param[out] value The leaf's value record; a text or byte array it refers to stays the store's.
 * @param[out] property The leaf's property word.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_get_leaf(qel_handle_t handle, const char* path, api_status_t* status,
                         _element_datatype_t* value, element_property_t* property);

/* ---- Batches --------------------------------------------------------------------------- */
/**
 * Tests for each path whether a node exists there.
 * @param handle The store handle.
 * @param paths `count` paths.
 * @param count Number of paths.
 * @param[out] statuses `count` places the store writes, one per path: 1 when the node exists.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_test_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                           api_status_t* statuses);
/**
 * Adds a node at each path, item by item.
 * @param handle The store handle.
 * @param paths `count` paths.
 * @param count Number of paths.
 * @param source Source string of the changes.
 * @param[out] statuses Set to the store's array of per-path statuses.
 * @param[out] status_count Set to the number of entries of `*statuses`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_add_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                          const char* source, api_status_t** statuses, uint32_t* status_count);
/**
 * Removes the node at each path, item by item.
 * @param handle The store handle.
 * @param paths `count` paths.
 * @param count Number of paths.
 * @param source Source string of the changes.
 * @param[out] statuses Set to the store's array of per-path statuses.
 * @param[out] status_count Set to the number of entries of `*statuses`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_remove_nodes(qel_handle_t handle, const char* const* paths, uint32_t count,
                             const char* source, api_status_t** statuses, uint32_t* status_count);
/**
 * Clears the leaf at each path, item by item.
 * @param handle The store handle.
 * @param paths `count` paths.
 * @param count Number of paths.
 * @param source Source string of the changes.
 * @param[out] statuses Set to the store's array of per-path statuses.
 * @param[out] status_count Set to the number of entries of `*statuses`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_clear_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                             const char* source, api_status_t** statuses, uint32_t* status_count);
/**
 * Writes the leaf at each path, item by item, as qel_set_leaf() does.
 * @param handle The store handle.
 * @param paths `count` paths.
 * @param count Number of paths, and of entries of each of the three arrays that follow.
 * @param values The value record of each path.
 * @param tribools The three-state value of each write.
 * @param auto_time For each write, true asks the store to stamp it with the time of the write.
 * @param source Source string of the changes.
 * @param[out] statuses Set to the store's array of per-path statuses.
 * @param[out] status_count Set to the number of entries of `*statuses`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_set_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                           const _element_datatype_t* values, const qel_tribool_t* tribools,
                           const bool* auto_time, const char* source, api_status_t** statuses,
                           uint32_t* status_count);
/**
 * Reads the leaf at each path, item by item.
 * @param handle The store handle.
 * @param paths `count` paths.
 * @param count Number of paths.
 * @param[out] statuses Set to the store's array of per-path statuses.
 * @param[out] status_count Set to the number of entries of `*statuses`.
 * @param[out] values `value_count` places for the value records, one per path.
 * @param[out] properties `value_count` places for the property words, one per path.
 * @param value_count Number of places of `values` and of `properties`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_get_leaves(qel_handle_t handle, const char* const* paths, uint32_t count,
                           api_status_t** statuses, uint32_t* status_count,
                           _element_datatype_t* values, element_property_t* properties,
                           uint32_t value_count);

/* ---- Listing --------------------------------------------------------------------------- */
/**
 * Lists the entries of the node at `path`. Fills at most the given capacities and sets *total to
 * the number of entries there are, so a caller whose arrays were too small asks again with more.
 * @param handle The store handle.
 * @param path Path of the node.
 * @param[out] status The item's outcome, 1 on success.
 * @param[out] total Set to the number of entries.
 * @param[out] types Kind of each entry (#QEL_ELEMENT_LEAF or #QEL_ELEMENT_NODE).
 * @param types_capacity Places of `types`.
 * @param[out] properties Property word of each entry.
 * @param properties_capacity Places of `properties`.
 * @param[out] names Name of each entry, the characters staying the store's.
 * @param names_capacity Places of `names`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_list_node(qel_handle_t handle, const char* path, api_status_t* status,
                          uint32_t* total, element_type_t* types, uint32_t types_capacity,
                          element_property_t* properties, uint32_t properties_capacity,
                          _byte_array_t* names, uint32_t names_capacity);
/**
 * Fetches the leaves at `path` with their values. Fills at most the given capacities and sets
 * *total to the number of entries there are, as qel_list_node() does.
 * @param handle The store handle.
 * @param path Path of the node (or leaf).
 * @param[out] status The item's outcome, 1 on success.
 * @param[out] total Set to the number of entries.
 * @param[out] values Value record of each entry, its text or bytes staying the store's.
 * @param values_capacity Places of `values`.
 * @param[out] names Name of each entry, the characters staying the store's.
 * @param names_capacity Places of `names`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_mpl_fetch(qel_handle_t handle, const char* path, api_status_t* status,
                          uint32_t* total, _element_datatype_t* values, uint32_t values_capacity,
                          _byte_array_t* names, uint32_t names_capacity);

/* ---- Events ---------------------------------------------------------------------------- */
/**
 * Subscribes the handle to events of the kinds in `kind` at `path`.
 * @param handle The store handle.
 * @param path Path the registration covers.
 * @param kind Event kind mask.
 * @param flag Passed to the store; the host store takes true as "and everything below `path`".
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                               api_status_t* status);
/**
 * Removes the kinds in `kind` from the handle's registration at `path`.
 * @param handle The store handle.
 * @param path Path of the registration.
 * @param kind Event kind mask to remove.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_event_clear(qel_handle_t handle, const char* path, api_event_t kind,
                            api_status_t* status);
/**
 * Sends events: each record is delivered to the handles registered for it.
 * @param handle The store handle.
 * @param records `count` event records, only read during the call.
 * @param count Number of records.
 * @param[out] statuses Set to the store's array of per-event statuses.
 * @param[out] status_count Set to the number of entries of `*statuses`.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                            api_status_t** statuses, uint32_t* status_count);
/**
 * Fetches the events queued for the handle, waiting a while for a first one.
 * @param handle The store handle.
 * @param[out] records Set to an array of the fetched records, which the caller owns: each record
 *             goes to destruct_event(), the array to free().
 * @return The number of records handed back through *records, or 0 / a negative value with no
 *         array.
 */
NYR_API int qel_events_get(qel_handle_t handle, _event_t** records);
/**
 * As qel_events_get(), without waiting.
 * @param handle The store handle.
 * @param[out] records Set to an array of the fetched records, which the caller owns.
 * @return The number of records handed back through *records, or 0 / a negative value with no
 *         array.
 */
NYR_API int qel_events_get_nonblocking(qel_handle_t handle, _event_t** records);
/**
 * Frees the three list arrays of a record (waveform_urls, detail_keys, detail_values), never the
 * texts its pairs point to, and sets them to null.
 * @param record The record; its other fields are left as they are.
 */
NYR_API void destruct_event(_event_t* record);

/* ---- Event log ------------------------------------------------------------------------- */
/**
 * Stores events in the event log.
 * @param handle The store handle.
 * @param records `count` event records, only read during the call.
 * @param count Number of records.
 * @param flag Passed to the store (the host store accepts it without effect).
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag);
/**
 * Retrieves logged events for a path and a time range.
 * @param handle The store handle.
 * @param[out] records Set to an array of the records found (null when none), which the caller
 *             owns: each record goes to destruct_event(), the array to free().
 * @param[out] count Set to the number of records found.
 * @param path Path whose events are wanted; null: every path.
 * @param from Earliest event time; null: no lower bound.
 * @param to Latest event time; null: no upper bound.
 * @param option_a Passed to the store; the host store: at most that many events (0: all).
 * @param flag_a Passed to the store; the host store: true counts `option_a` and `option_b` from
 *        the newest event.
 * @param option_b Passed to the store; the host store: skip that many events first.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count,
                             const char* path, const struct timeval* from, const struct timeval* to,
                             uint32_t option_a, bool flag_a, uint32_t option_b);
/**
 * Clears logged events for a path and a time range.
 * @param handle The store handle.
 * @param path Path whose events go; null: every path.
 * @param from Earliest event time; null: no lower bound.
 * @param to Latest event time; null: no upper bound.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
                          const struct timeval* to);

/* ---- Process services ------------------------------------------------------------------ */
/**
 * Registers the handle with the watchdog.
 * @param handle The store handle.
 * @param[out] status The item's outcome, 1 on success.
 * @param text Passed to the store.
 * @param number Passed to the store.
 * @param flag Passed to the store.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                                  unsigned int number, bool flag);
/**
 * Pings the handle's watchdog registration.
 * @param handle The store handle.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_watchdog_ping(qel_handle_t handle, api_status_t* status);
/**
 * Ends the handle's watchdog registration.
 * @param handle The store handle.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_watchdog_clear(qel_handle_t handle, api_status_t* status);
/**
 * Sets the verbosity of one thread.
 * @param handle The store handle.
 * @param thread The thread whose verbosity is set.
 * @param level The new level.
 * @param text Passed to the store.
 * @param[out] status The item's outcome, 1 on success.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                              const char* text, api_status_t* status);
/**
 * Adds an entry to the system log.
 * @param handle The store handle.
 * @param first First text of the entry; may be null.
 * @param severity Severity of the entry.
 * @param second Second text of the entry; may be null.
 * @param third Third text of the entry; may be null.
 * @return 0 when the call was carried out, non-zero when it failed as a whole.
 */
NYR_API int qel_syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
                           const char* second, const char* third);
/**
 * Writes a 36-character UUID text and its NUL into buf (size must be at least 37).
 * @param text What the UUID is made from (the host store: name-based from a non-empty text,
 *        random otherwise).
 * @param[out] buf At least 37 bytes.
 * @param size Bytes at `buf`.
 * @return 0 when the UUID was written, non-zero on failure.
 */
NYR_API int qel_create_uuid(const char* text, char* buf, uint32_t size);

/* ---- Error report ---------------------------------------------------------------------- */
/**
 * Reports an error, formatted as printf() does.
 * @param code Error code of the report.
 * @param format printf() format of the text, followed by its arguments.
 */
NYR_API void qel_err(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* ---- Text and bytes -------------------------------------------------------------------- */
/**
 * Builds a source string from its three components. Writes at most `size` bytes including the
 * NUL. Null components are absent.
 * @param[out] buf Where the source string goes.
 * @param size Bytes at `buf`.
 * @param first First component, or null.
 * @param second Second component, or null.
 * @param third Third component, or null.
 * @return The length of the whole source string (without NUL) whether or not it fit; negative on
 *         failure.
 */
NYR_API int qel_format_source_string(char* buf, uint32_t size, const char* first,
                                     const char* second, const char* third);
/**
 * Splits a source string into its three components, in place.
 * @param text The source string; its characters are rewritten.
 * @param[out] first On 0, set to the first component inside `text`, or null when absent.
 * @param[out] second On 0, set to the second component inside `text`, or null when absent.
 * @param[out] third On 0, set to the third component inside `text`, or null when absent.
 * @return 0 on success, non-zero on failure.
 */
NYR_API int qel_parse_source_string(char* text, char** first, char** second, char** third);
/**
 * Encodes a value record into buffer->data (capacity buffer->length).
 * @param[in,out] buffer The output bytes and their capacity; on 0, buffer->length is set to the
 *                bytes written.
 * @param value The value record.
 * @param flag Passed to the store; the host store includes the time stamp when it is set.
 * @return 0 when written; > 0 the bytes needed when the buffer is too small; < 0 on failure.
 */
NYR_API int serialize_element(_byte_array_t* buffer, _element_datatype_t value, bool flag);
/**
 * Encodes an event record into buffer->data (capacity buffer->length), as serialize_element().
 * @param[in,out] buffer The output bytes and their capacity; on 0, buffer->length is set to the
 *                bytes written.
 * @param event The event record.
 * @return 0 when written; > 0 the bytes needed when the buffer is too small; < 0 on failure.
 */
NYR_API int serialize_event(_byte_array_t* buffer, _event_t event);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout ---------------------------------------------------------------------------- */
/** Compile-time check of the record layout, in C and in C++. */
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
