// nyr-bridge mirror: every device under a prefix written into the local store: device ID's leaf
// at X as INTO/ID/tree + X, its status as the bool leaf INTO/ID/online, its events sent into the
// store and kept in its event log with their paths moved below INTO/ID/tree.
#ifndef NYR_BRIDGE_MIRROR_H
#define NYR_BRIDGE_MIRROR_H

#include <string>

#include "mqtt_link.h"
#include "session.h"

namespace nyr_bridge {

struct MirrorOptions {
    std::string into;
    std::string prefix = "nyr/v1";
    std::string devices = "*";  // a glob of device IDs (fnmatch)
};

// Runs until SIGTERM or SIGINT; gives the exit status. Throws a ToolError when it cannot start.
int run_mirror(const nyr_tool::StoreOptions& store, const BrokerOptions& broker,
               const MirrorOptions& options);

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_MIRROR_H
