// Writes that arrive from the broker on B/set/...: checked before anything reaches the store.
#ifndef NYR_BRIDGE_INBOUND_H
#define NYR_BRIDGE_INBOUND_H

#include <toolkit/nyr.h>

#include <string>
#include <vector>

namespace nyr_bridge {

// The largest inbound payload taken; a leaf of nyr's JSON form that needs more is refused.
constexpr std::size_t kMaxInboundBytes = 65536;

struct InboundOutcome {
    int status;           // the store's status, or 0 when refused before any store call
    std::string meaning;  // what the status means, or why the message was refused
    std::string path;     // the store path, when the topic gave one
};

// Writes the leaf of `payload` at the path that the topic levels `levels` (after B/set) name,
// with set_leaf and `source`, when that path lies within one of `writable`; refuses an oversized
// payload, levels that do not decode, a path outside every writable subtree, a payload that is
// no leaf and a value of the wrong form, in that order, without calling the store.
InboundOutcome apply_inbound(toolkit::CNyr& client, const std::vector<std::string>& writable,
                             const std::string& levels, const std::string& payload,
                             const std::string& source);

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_INBOUND_H
