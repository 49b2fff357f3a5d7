// The store nyr works on: a nyrd it connects to, or a store file it opens in this process.
#ifndef NYR_TOOL_SESSION_H
#define NYR_TOOL_SESSION_H

#include <nyr_host.h>
#include <toolkit/nyr.h>

#include <string>

namespace nyr_tool {

struct StoreOptions {
    std::string socket;      // --socket; empty: $NYR_SOCKET, else the default socket
    std::string store_file;  // --store; when set, the file is opened in process
};

// An open handle for the length of one command. Throws when the store cannot be reached: no
// daemon at the socket, or a store file that cannot be opened (one that a running nyrd holds is
// refused with a message that says so).
class Session {
public:
    explicit Session(const StoreOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    qel_handle_t handle() const { return _handle; }
    toolkit::CNyr& client() { return _client; }

private:
    qel_store_t* _store = nullptr;  // only for a store file opened in process
    qel_handle_t _handle = nullptr;
    toolkit::CNyr _client{nullptr};
};

}  // namespace nyr_tool

#endif  // NYR_TOOL_SESSION_H
