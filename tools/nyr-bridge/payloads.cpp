// Payload forms, built on nyr's JSON form of values and events.
#include "payloads.h"

#include <limits>

#include "json_value.h"
#include "tool_error.h"

namespace nyr_bridge {

using nyr_tool::Json;

const char kBridgeVersion[] = "1.0.0";

namespace {

std::string dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string leaf_payload(const toolkit::CElement& value, element_property_t property) {
    Json out = Json::object();
    nyr_tool::put_value(value, out);
    out["property"] = property;
    return dump(out);
}

bool parse_leaf(const std::string& payload, toolkit::CElement& value, element_property_t& property,
                std::string& why) {
    const Json json = Json::parse(payload, nullptr, false);
    if (json.is_discarded()) {
        why = "the payload is not JSON";
        return false;
    }
    if (!json.is_object()) {
        why = "a leaf is a JSON object";
        return false;
    }
    property = 0;
    const auto word = json.find("property");
    if (word != json.end()) {
        if (!word->is_number_unsigned() ||
            word->get<uint64_t>() > std::numeric_limits<element_property_t>::max()) {
            why = "\"property\" is 0 to 4294967295";
            return false;
        }
        property = word->get<element_property_t>();
    }
    try {
        value = nyr_tool::take_value(json, "leaf");
    } catch (const nyr_tool::ToolError& error) {
        why = error.what();
        return false;
    }
    return true;
}

std::string event_payload(const toolkit::CEvent& event) {
    return dump(nyr_tool::event_to_json(event));
}

std::string online_payload(const timeval& since) {
    return dump(Json{{"online", true},
                     {"since", Json::array({static_cast<int64_t>(since.tv_sec),
                                            static_cast<int64_t>(since.tv_usec)})},
                     {"version", kBridgeVersion}});
}

std::string offline_payload() {
    return R"({"online":false})";
}

bool parse_status(const std::string& payload, bool& online, timeval& since) {
    const Json json = Json::parse(payload, nullptr, false);
    if (!json.is_object()) return false;
    const auto flag = json.find("online");
    if (flag == json.end() || !flag->is_boolean()) return false;
    online = flag->get<bool>();
    since = toolkit::CElement::_invalid_time;
    const auto time = json.find("since");
    if (time != json.end() && time->is_array() && time->size() == 2 &&
        (*time)[0].is_number_integer() && (*time)[1].is_number_integer()) {
        since.tv_sec = (*time)[0].get<int64_t>();
        since.tv_usec = (*time)[1].get<int64_t>();
    }
    return true;
}

std::string result_payload(int status, const std::string& meaning) {
    return dump(Json{{"status", status}, {"meaning", meaning}});
}

}  // namespace nyr_bridge
