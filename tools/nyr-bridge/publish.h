// nyr-bridge publish: subtrees of the store on the broker below B = PREFIX/DEVICE: their state
// retained on B/state/..., the chosen events on B/events/..., the device's status on B/status,
// and writes from B/set/... below the writable subtrees.
#ifndef NYR_BRIDGE_PUBLISH_H
#define NYR_BRIDGE_PUBLISH_H

#include <nyr.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mqtt_link.h"
#include "session.h"

namespace nyr_bridge {

// Event kinds published by default: every kind but tree changes, which travel as state.
constexpr api_event_t kDefaultKinds = 0x1FF & ~static_cast<api_event_t>(0x2);

struct PublishOptions {
    std::string device;
    std::string prefix = "nyr/v1";
    api_event_t kinds = kDefaultKinds;
    std::string spool_file;
    uint64_t spool_bytes = 64u << 20;
    std::vector<std::string> writable;
    double poll_seconds = 0;  // 0: tree changes come as the store's events
    bool from_log = false;
    std::vector<std::string> paths;
};

// Runs until SIGTERM or SIGINT; gives the exit status. Throws a ToolError when it cannot start.
int run_publish(const nyr_tool::StoreOptions& store, const BrokerOptions& broker,
                const PublishOptions& options);

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_PUBLISH_H
