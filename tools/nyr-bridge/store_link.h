// The bridge's store, reached as nyr reaches it, and reached again when it is lost (nyrd
// restarted): a remote handle then answers every call with QEL_RESULT_LOST.
#ifndef NYR_BRIDGE_STORE_LINK_H
#define NYR_BRIDGE_STORE_LINK_H

#include <memory>

#include "session.h"

namespace nyr_bridge {

class StoreLink {
public:
    // Throws a refusal when the store cannot be reached now.
    explicit StoreLink(const nyr_tool::StoreOptions& options);

    toolkit::CNyr& client() { return _session->client(); }
    qel_handle_t handle() const { return _session->handle(); }
    // True when calls on the handle fail because its store went away.
    bool lost();
    // Reaches the store again, trying with back-off (0.2 s doubling to 5 s) until it answers;
    // false when a stop was asked for first.
    bool reopen();

private:
    nyr_tool::StoreOptions _options;
    std::unique_ptr<nyr_tool::Session> _session;
};

// SIGTERM and SIGINT ask the bridge to stop cleanly.
void install_stop_handlers();
bool stop_requested();

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_STORE_LINK_H
