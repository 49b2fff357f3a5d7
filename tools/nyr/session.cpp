// Opening the store for a command, with messages that tell a user what to do about a failure.
#include "session.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "tool_error.h"

namespace nyr_tool {

namespace {

// The last report of the store library, so that a failed connection can say why.
void keep_report(void* context, int, const char* text) {
    *static_cast<std::string*>(context) = text;
}

// $NYR_TIMEOUT: milliseconds for reaching nyrd and for each call (0: no bound); nothing when it
// is not set, so that the library's defaults hold.
std::optional<uint32_t> timeout_from_environment() {
    const char* text = std::getenv("NYR_TIMEOUT");
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long ms = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0 || ms > UINT32_MAX || text[0] == '-')
        throw refused(std::string("NYR_TIMEOUT=") + text +
                      " is not a number of milliseconds from 0 to 4294967295");
    return static_cast<uint32_t>(ms);
}

}  // namespace

Session::Session(const StoreOptions& options) {
    if (!options.store_file.empty()) {
        int result = QEL_HOST_OPEN_OK;
        _store = qel_host_store_open_ex(options.store_file.c_str(), &result);
        if (_store == nullptr)
            throw refused(options.store_file + ": " + open_meaning(result) +
                          (result == QEL_HOST_OPEN_IN_USE ? ": reach it with --socket" : ""));
        _handle = qel_host_handle_open(_store);
        if (_handle == nullptr) {
            qel_host_store_close(_store);
            throw refused(options.store_file + ": no handle could be opened");
        }
    } else {
        std::string socket = options.socket;
        if (socket.empty()) {
            const char* from_environment = std::getenv("NYR_SOCKET");
            if (from_environment != nullptr) socket = from_environment;
        }
        if (socket.empty()) {
            char buf[4200];
            if (qel_host_default_socket(buf, sizeof buf) == 0) socket = buf;
        }
        const std::optional<uint32_t> timeout = timeout_from_environment();
        if (timeout) qel_host_set_connect_timeout(*timeout);
        std::string report;
        qel_host_set_err_sink(keep_report, &report);
        _handle = qel_host_connect(socket.c_str());
        qel_host_set_err_sink(nullptr, nullptr);
        if (_handle == nullptr)
            throw refused("cannot reach nyrd at " + socket + (report.empty() ? "" : ": " + report) +
                          " (start nyrd, or give --socket or --store)");
        if (timeout) qel_host_set_call_timeout(_handle, *timeout);
    }
    _client = toolkit::CNyr(_handle);
}

Session::~Session() {
    if (_store != nullptr) {
        qel_host_store_close(_store);  // closes the handle too
    } else {
        qel_host_disconnect(_handle);
    }
}

}  // namespace nyr_tool
