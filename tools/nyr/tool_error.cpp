// The words nyr uses for the statuses and results of the store and the client.
#include "tool_error.h"

#include <nyr_host.h>

namespace nyr_tool {

std::string status_meaning(api_status_t status) {
    switch (status) {
        case QEL_STATUS_OK:
            return "done";
        case 2:
            return "a leaf changed its property while it was copied";
        case 3:
            return "the target exists";
        case QEL_STATUS_NOT_FOUND:
            return "not found";
        case QEL_STATUS_BAD_PATH:
            return "bad path (\"/\" or \"/name/...\")";
        case QEL_STATUS_IS_NODE:
            return "is a node, not a leaf";
        case QEL_STATUS_IS_LEAF:
            return "is a leaf, not a node (or a leaf lies on the way)";
        case QEL_STATUS_BAD_TYPE:
            return "bad data type";
        case QEL_STATUS_ROOT:
            return "the root cannot be removed or cleared";
        case QEL_STATUS_BAD_ARGUMENT:
            return "bad argument";
        default:
            return "refused with status " + std::to_string(status);
    }
}

std::string result_meaning(int result) {
    switch (result) {
        case -1:
            return "no store handle";
        case QEL_RESULT_BAD_HANDLE:
            return "the store handle is not open";
        case QEL_RESULT_BAD_ARGUMENT:
            return "the store refused the call's arguments";
        case QEL_RESULT_NO_MEMORY:
            return "the store ran out of memory";
        case QEL_RESULT_DATABASE:
            return "the event log's database failed";
        case QEL_RESULT_MALFORMED:
            return "malformed input";
        case QEL_RESULT_DAMAGED:
            return "the event log holds a damaged event";
        case QEL_RESULT_LOST:
            return "the connection to nyrd was lost";
        default:
            return "the call failed with result " + std::to_string(result);
    }
}

std::string open_meaning(int result) {
    switch (result) {
        case QEL_HOST_OPEN_FOREIGN:
            return "not a store file of ours";
        case QEL_HOST_OPEN_DAMAGED:
            return "the file is damaged";
        case QEL_HOST_OPEN_LOCKED:
            return "the file stayed locked by another connection";
        case QEL_HOST_OPEN_UNREADABLE:
            return "the file cannot be opened or read";
        case QEL_HOST_OPEN_READ_ONLY:
            return "the file cannot be written";
        case QEL_HOST_OPEN_FULL:
            return "the disk is full";
        case QEL_HOST_OPEN_NO_MEMORY:
            return "out of memory";
        case QEL_HOST_OPEN_NO_SQLITE:
            return "this libnyr was built without SQLite";
        case QEL_HOST_OPEN_IN_USE:
            return "another store holds the file (a running nyrd?)";
        default:
            return "the database failed";
    }
}

void check_item(const std::string& path, int result, const api_status_t& status) {
    check_result(path, result);
    if (status != QEL_STATUS_OK)
        throw refused(path + ": " + status_meaning(status) + " (status " + std::to_string(status) +
                      ")");
}

void check_result(const std::string& what, int result) {
    if (result != 0)
        throw refused(what + ": " + result_meaning(result) + " (result " + std::to_string(result) +
                      ")");
}

}  // namespace nyr_tool
