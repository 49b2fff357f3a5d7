// The checks and the write of an inbound leaf.
#include "inbound.h"

#include "payloads.h"
#include "tool_error.h"
#include "topic_names.h"

namespace nyr_bridge {

InboundOutcome apply_inbound(toolkit::CNyr& client, const std::vector<std::string>& writable,
                             const std::string& levels, const std::string& payload,
                             const std::string& source) {
    InboundOutcome outcome{0, "", ""};
    if (payload.size() > kMaxInboundBytes) {
        outcome.meaning = "the message has " + std::to_string(payload.size()) + " bytes; at most " +
                          std::to_string(kMaxInboundBytes) + " are taken";
        return outcome;
    }
    if (!levels_to_path(levels, outcome.path) || outcome.path == "/") {
        outcome.meaning = "the topic names no store path";
        return outcome;
    }
    bool allowed = false;
    for (const std::string& root : writable) allowed = allowed || is_within(outcome.path, root);
    if (!allowed) {
        outcome.meaning = writable.empty() ? "this bridge takes no writes (no --writable)"
                                           : "the path lies outside every writable subtree";
        return outcome;
    }
    toolkit::CElement value;
    element_property_t property = 0;
    if (!parse_leaf(payload, value, property, outcome.meaning)) return outcome;
    api_status_t status = 0;
    const int result =
        client.set_leaf(outcome.path, value, status, static_cast<qel_tribool_t>(property), source);
    if (result != 0) {
        // A failed call has no item status; the result says what went wrong.
        outcome.status = result;
        outcome.meaning = nyr_tool::result_meaning(result);
        return outcome;
    }
    outcome.status = status;
    outcome.meaning = nyr_tool::status_meaning(status);
    return outcome;
}

}  // namespace nyr_bridge
