// The mirror loop: messages of every device into the central store, state writes in batches.
#include "mirror.h"

#include <fnmatch.h>
#include <sys/time.h>
#include <toolkit/log.h>

#include <cstdio>

#include "json_value.h"
#include "payloads.h"
#include "store_link.h"
#include "tool_error.h"
#include "topic_names.h"
#include "tree_walk.h"

namespace nyr_bridge {

namespace {

class Mirror {
public:
    Mirror(const nyr_tool::StoreOptions& store, const BrokerOptions& broker,
           const MirrorOptions& options)
        : _options(options), _store(store), _link(broker, "", "") {
        toolkit::CEvent::format_source_string(_source, "nyr-bridge", broker.client_id,
                                              _link.broker());
    }

    int run();

private:
    // False when the store was lost (the message is then taken again once it is back).
    bool take(const Received& message);
    bool flush();
    bool write_status(const std::string& device_root, const std::string& payload);
    bool write_event(const std::string& tree, const std::string& path, const std::string& payload);
    void report(const std::string& topic, const std::string& why) {
        std::fprintf(stderr, "nyr-bridge: ignored %s: %s\n", topic.c_str(), why.c_str());
    }

    MirrorOptions _options;
    StoreLink _store;
    MqttLink _link;
    std::string _source;
    // Leaf writes gathered from consecutive state messages, written with one set_leaves.
    std::vector<std::string> _paths;
    std::vector<toolkit::CElement> _values;
    std::vector<qel_tribool_t> _tribools;
    std::size_t _batch_bytes = 0;
};

bool Mirror::flush() {
    if (_paths.empty()) return true;
    std::vector<api_status_t> statuses;
    const int result = _store.client().set_leaves(_paths, _values, _tribools, statuses, _source);
    if (result == QEL_RESULT_LOST) return false;
    if (result != 0) {
        std::fprintf(stderr, "nyr-bridge: %zu leaves not written: %s\n", _paths.size(),
                     nyr_tool::result_meaning(result).c_str());
    } else {
        for (std::size_t i = 0; i < statuses.size() && i < _paths.size(); ++i)
            if (statuses[i] != QEL_STATUS_OK)
                std::fprintf(stderr, "nyr-bridge: %s not written: %s\n", _paths[i].c_str(),
                             nyr_tool::status_meaning(statuses[i]).c_str());
    }
    _paths.clear();
    _values.clear();
    _tribools.clear();
    _batch_bytes = 0;
    return true;
}

bool Mirror::write_status(const std::string& device_root, const std::string& payload) {
    bool online = false;
    timeval since{};
    if (payload.empty()) return true;  // a retained status cleared
    if (!parse_status(payload, online, since)) {
        report(device_root, "a status is {\"online\": true or false, ...}");
        return true;
    }
    if (!online || since.tv_sec == -1) gettimeofday(&since, nullptr);
    api_status_t status = 0;
    const int result = _store.client().set_leaf(
        device_root + "/online", toolkit::CElement(online, since), status, 0, _source);
    return result != QEL_RESULT_LOST;
}

bool Mirror::write_event(const std::string& tree, const std::string& path,
                         const std::string& payload) {
    toolkit::CEvent event;
    try {
        event = nyr_tool::event_from_json(nyr_tool::Json::parse(payload));
    } catch (const std::exception& error) {
        report(tree + path, std::string("not an event: ") + error.what());
        return true;
    }
    event.path = below(tree, path);  // the topic carries the path exactly
    std::vector<api_status_t> statuses;
    const std::vector<toolkit::CEvent> batch{event};
    int result = _store.client().events_send(batch, statuses);
    if (result == 0) result = toolkit::CLog(_store.handle()).store(batch, false);
    if (result == QEL_RESULT_LOST) return false;
    if (result != 0)
        std::fprintf(stderr, "nyr-bridge: event at %s not taken: %s\n", event.path.c_str(),
                     nyr_tool::result_meaning(result).c_str());
    return true;
}

bool Mirror::take(const Received& message) {
    const std::string stem = _options.prefix + "/";
    if (message.topic.compare(0, stem.size(), stem) != 0) return true;
    const std::size_t id_end = message.topic.find('/', stem.size());
    if (id_end == std::string::npos) return true;
    std::string device;
    if (!decode_name(message.topic.substr(stem.size(), id_end - stem.size()), device)) {
        report(message.topic, "the device ID does not decode");
        return true;
    }
    if (fnmatch(_options.devices.c_str(), device.c_str(), 0) != 0) return true;
    const std::size_t kind_end = message.topic.find('/', id_end + 1);
    const std::string kind = message.topic.substr(
        id_end + 1, kind_end == std::string::npos ? kind_end : kind_end - id_end - 1);
    const std::string levels =
        kind_end == std::string::npos ? std::string() : message.topic.substr(kind_end);
    const std::string device_root = below(_options.into, "/" + device);
    const std::string tree = device_root + "/tree";
    std::string path;
    if (kind == "status") {
        if (!flush()) return false;
        return write_status(device_root, message.payload);
    }
    if (!levels_to_path(levels, path)) {
        report(message.topic, "the topic names no store path");
        return true;
    }
    if (kind == "events") {
        if (!flush()) return false;
        return write_event(tree, path, message.payload);
    }
    if (kind != "state") return true;
    if (message.payload.empty()) {
        if (!flush()) return false;
        api_status_t status = 0;
        return _store.client().clear_leaf(below(tree, path), status, _source) != QEL_RESULT_LOST;
    }
    toolkit::CElement value;
    element_property_t property = 0;
    std::string why;
    if (!parse_leaf(message.payload, value, property, why)) {
        report(message.topic, why);
        return true;
    }
    _paths.push_back(below(tree, path));
    _values.push_back(std::move(value));
    _tribools.push_back(static_cast<qel_tribool_t>(property));
    _batch_bytes += message.payload.size() + _paths.back().size();
    if (_paths.size() >= nyr_tool::kBatchLeaves || _batch_bytes >= nyr_tool::kBatchBytes)
        return flush();
    return true;
}

int Mirror::run() {
    // Values keep the time stamps their devices gave them; none is stamped here.
    toolkit::CElement::_auto_time = false;
    std::vector<Received> waiting;
    while (!stop_requested()) {
        LinkNews news = _link.take(std::chrono::milliseconds(200));
        if (news.connections != 0) {
            std::fprintf(stderr, "nyr-bridge: connected to %s\n", _link.broker().c_str());
            for (const char* kind : {"/+/status", "/+/state/#", "/+/events/#"})
                _link.subscribe(_options.prefix + kind, 1);
        }
        for (Received& message : news.messages) waiting.push_back(std::move(message));
        std::size_t done = 0;
        bool lost = false;
        while (done < waiting.size() && !lost) {
            lost = !take(waiting[done]);
            if (!lost) ++done;
        }
        if (!lost) lost = !flush();
        if (lost) {
            // The batch not written is taken again, whole, once the store is back.
            _paths.clear();
            _values.clear();
            _tribools.clear();
            _batch_bytes = 0;
            if (!_store.reopen()) break;
            continue;
        }
        waiting.clear();
    }
    _link.disconnect();
    return nyr_tool::kExitOk;
}

}  // namespace

int run_mirror(const nyr_tool::StoreOptions& store, const BrokerOptions& broker,
               const MirrorOptions& options) {
    Mirror mirror(store, broker, options);
    return mirror.run();
}

}  // namespace nyr_bridge
