// The payloads of the bridge's topics: a leaf as the export document writes one (without its
// path), an event as nyr watch --json prints it, a device's status, a write's result.
#ifndef NYR_BRIDGE_PAYLOADS_H
#define NYR_BRIDGE_PAYLOADS_H

#include <sys/time.h>
#include <toolkit/element.h>
#include <toolkit/event.h>

#include <string>

namespace nyr_bridge {

// {"property":P,"time":[s,us],"type":"...","value":...}: members sorted, no spaces, doubles bit
// for bit, texts that are not UTF-8 as {"base64": "..."}.
std::string leaf_payload(const toolkit::CElement& value, element_property_t property);
// A leaf payload back into a value and a property word (0 when "property" is absent). False, with
// the reason in `why`, for anything but a JSON object with a valid type and value.
bool parse_leaf(const std::string& payload, toolkit::CElement& value, element_property_t& property,
                std::string& why);

// One event as one line of nyr watch --json (texts that are not UTF-8 show replacement characters;
// the path travels exactly in the topic).
std::string event_payload(const toolkit::CEvent& event);

// {"online":true,"since":[s,us],"version":"..."} and {"online":false}.
std::string online_payload(const timeval& since);
std::string offline_payload();
// A status payload; false when it is not one.
bool parse_status(const std::string& payload, bool& online, timeval& since);

// {"meaning":"...","status":N}.
std::string result_payload(int status, const std::string& meaning);

// The version that online status payloads and --version name.
extern const char kBridgeVersion[];

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_PAYLOADS_H
