// The one wording of each result and open reason, for every program that tells a person.
#include "nyr_host.h"

extern "C" {

const char* qel_host_result_text(int result) {
    switch (result) {
        case QEL_RESULT_OK:
            return "the call was carried out";
        case QEL_RESULT_BAD_HANDLE:
            return "the store handle is not open";
        case QEL_RESULT_BAD_ARGUMENT:
            return "the store refused the call's arguments";
        case QEL_RESULT_NO_MEMORY:
            return "out of memory";
        case QEL_RESULT_DATABASE:
            return "the store file's database failed";
        case QEL_RESULT_MALFORMED:
            return "malformed input";
        case QEL_RESULT_DAMAGED:
            return "the event log holds a damaged event";
        case QEL_RESULT_LOST:
            return "the connection to nyrd was lost";
        case QEL_RESULT_TIMED_OUT:
            return "nyrd did not answer within the call timeout";
        case QEL_RESULT_TOO_OLD:
            return "the tree's history no longer holds that revision or time";
        default:
            return "an unknown result";
    }
}

const char* qel_host_open_text(int reason) {
    switch (reason) {
        case QEL_HOST_OPEN_OK:
            return "the store is open";
        case QEL_HOST_OPEN_FOREIGN:
            return "not a store file of ours (another application's database, another layout, or "
                   "not SQLite at all); it is left as it was";
        case QEL_HOST_OPEN_DAMAGED:
            return "the file is damaged (it fails SQLite's structural check, or an entry of its "
                   "tree fails its own)";
        case QEL_HOST_OPEN_LOCKED:
            return "another connection kept the file locked for too long";
        case QEL_HOST_OPEN_UNREADABLE:
            return "the file or its folder cannot be opened or read, or it is not a regular file";
        case QEL_HOST_OPEN_READ_ONLY:
            return "the file cannot be written (permissions or medium)";
        case QEL_HOST_OPEN_FULL:
            return "the disk is full";
        case QEL_HOST_OPEN_NO_MEMORY:
            return "out of memory";
        case QEL_HOST_OPEN_NO_SQLITE:
            return "this libnyr was built without SQLite: stores live in memory only";
        case QEL_HOST_OPEN_IN_USE:
            return "another store holds the file (another nyrd, or a process that opened it)";
        default:
            return "the store file's database failed";
    }
}

}  // extern "C"
