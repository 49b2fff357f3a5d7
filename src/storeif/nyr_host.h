/*
 * nyr_host.h - calls of our own host store that the device store does not have: opening and
 * closing a store and its handles, its settings, its status and result codes, and the hooks
 * tests use to watch it.
 *
 * Handles opened on one store share its tree, subscriptions and event log.
 */
#ifndef NYR_STOREIF_NYR_HOST_H
#define NYR_STOREIF_NYR_HOST_H

#include "nyr.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct qel_store_s qel_store_t;

/* Per-item statuses of the host store. 1 is success; 2 and 3 belong to the client, so the
 * store's own failures start at 4. */
enum {
    QEL_STATUS_OK = 1,
    QEL_STATUS_NOT_FOUND = 4,    /* no node or leaf at the path */
    QEL_STATUS_BAD_PATH = 5,     /* not "/" or "/name(/name)*" */
    QEL_STATUS_IS_NODE = 6,      /* a leaf operation met a node */
    QEL_STATUS_IS_LEAF = 7,      /* a node operation met a leaf (or a leaf on the way) */
    QEL_STATUS_BAD_TYPE = 8,     /* a value whose type code is outside 1..10 */
    QEL_STATUS_ROOT = 9,         /* the root cannot be removed or cleared */
    QEL_STATUS_BAD_ARGUMENT = 10 /* a null pointer where a text or record was needed */
};

/* Results of the host store (a call that failed as a whole). */
enum {
    QEL_RESULT_OK = 0,
    QEL_RESULT_BAD_HANDLE = -2,   /* null or closed handle */
    QEL_RESULT_BAD_ARGUMENT = -3, /* null pointer or inconsistent counts */
    QEL_RESULT_NO_MEMORY = -4,
    QEL_RESULT_DATABASE = -5      /* the event log's database failed */
};

/* Opens a store. `log_database` null or "": the event log lives in memory; otherwise it is kept
 * in that SQLite file and survives closing and reopening. Null when the store cannot be opened
 * (for example a file that is not a log database of ours). */
NYR_API qel_store_t* qel_host_store_open(const char* log_database);
/* Closes the store; every handle still open on it is closed first. */
NYR_API void qel_host_store_close(qel_store_t* store);
NYR_API qel_handle_t qel_host_handle_open(qel_store_t* store);
NYR_API void qel_host_handle_close(qel_handle_t handle);

#ifdef __cplusplus
}
#endif

#endif /* NYR_STOREIF_NYR_HOST_H */
