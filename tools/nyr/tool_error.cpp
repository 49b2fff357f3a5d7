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
    if (result == -1) return "no store handle";
    return qel_host_result_text(result);
}

std::string open_meaning(int result) {
    return qel_host_open_text(result);
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
