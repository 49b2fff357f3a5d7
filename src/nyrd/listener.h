// The listening side of nyrd: the socket, admitting peers, one thread per connection, and an
// orderly stop. Used by the daemon and, on a socket of their own, by tests that serve a store
// from inside the test program.
#ifndef NYRD_LISTENER_H
#define NYRD_LISTENER_H

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "session.h"

namespace nyrd {

// Connections served at once, in all and of one user, unless nyrd is told otherwise. Each costs
// a descriptor and a thread; root may open kAdminRoom more beyond the total, so that an
// administrator can still look at a daemon that others have filled.
constexpr unsigned kDefaultMaxConnections = 4096;
constexpr unsigned kDefaultMaxConnectionsPerUser = 2048;
constexpr unsigned kAdminRoom = 8;

struct ListenerOptions {
    std::string socket_path;     // where to listen; its folder is created when missing
    std::optional<gid_t> group;  // a group whose members are admitted besides the owner and root
    unsigned max_connections = kDefaultMaxConnections;
    unsigned max_connections_per_user = kDefaultMaxConnectionsPerUser;  // root has no such bound
    uint64_t max_request_memory =
        0;  // the budget of requests in flight (request_budget.h); 0: none
    SessionLimits limits;
    Report report;  // where diagnostics go; refusals and limits reached once per cause and minute
};

class Listener {
public:
    // Starts serving `store` (which must outlive the listener). Null, with `error` set to a
    // message for a person, when the socket is served by another daemon or cannot be made. The
    // socket exists under its name only once connections are accepted.
    static std::unique_ptr<Listener> start(qel_store_t* store, const ListenerOptions& options,
                                           std::string& error);
    // Stops accepting, lets every connection finish the call it is in, waits for them and
    // removes the socket. Called by the destructor if not before.
    virtual void stop() = 0;
    virtual ~Listener() = default;
};

}  // namespace nyrd

#endif  // NYRD_LISTENER_H
