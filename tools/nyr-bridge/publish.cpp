// The publish loop: store events into the spool and onto the broker, state kept retained,
// inbound writes checked and answered.
#include "publish.h"

#include <nyr_host.h>
#include <sys/time.h>
#include <toolkit/log.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <unordered_map>

#include "inbound.h"
#include "payloads.h"
#include "spool.h"
#include "store_link.h"
#include "tool_error.h"
#include "topic_names.h"
#include "tree_walk.h"

namespace nyr_bridge {

namespace {

using Clock = std::chrono::steady_clock;

// Events sent and not yet acknowledged, at most: enough to keep a link busy, few enough that a
// reconnection sends little twice.
constexpr std::size_t kWindow = 512;
// How long a clean stop waits for the broker to take what is in flight.
constexpr auto kStopFlush = std::chrono::seconds(3);

timeval now() {
    timeval time{};
    gettimeofday(&time, nullptr);
    return time;
}

// The mark of an event: its payload as a logged copy of it would give it.
std::string mark_key(const toolkit::CEvent& event) {
    toolkit::CEvent copy = event;
    copy.was_logged = false;
    return event_payload(copy);
}

bool before(const timeval& a, const timeval& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_usec < b.tv_usec);
}

class Publisher {
public:
    Publisher(const nyr_tool::StoreOptions& store, const BrokerOptions& broker,
              const PublishOptions& options)
        : _options(options),
          _base(options.prefix + "/" + encode_name(options.device)),
          _store(store),
          _spool(options.spool_file, options.spool_bytes),
          _link(broker, _base + "/status", offline_payload()) {
        toolkit::CEvent::format_source_string(_source, "nyr-bridge", broker.client_id,
                                              _link.broker());
    }

    int run();

private:
    void register_all();
    void take_from_log();
    void handle_news(const LinkNews& news);
    void birth();
    std::map<std::string, std::string> snapshot();
    void sync_state(std::map<std::string, std::string> current, bool everything);
    void publish_state(const std::string& path, const std::string& payload);
    void tree_change(const toolkit::CEvent& event);
    void take_events(const std::vector<toolkit::CEvent>& events, int count);
    void send_unsent();
    void check_overflow();
    bool recover_store();
    void stop();

    PublishOptions _options;
    std::string _base;
    StoreLink _store;
    Spool _spool;
    MqttLink _link;
    std::string _source;
    // The state the broker holds as far as this bridge knows: path to retained payload.
    std::map<std::string, std::string> _published;
    std::deque<SpoolRow> _unsent;
    std::unordered_map<int, int64_t> _in_flight;  // message id to spool row
    // True from the news of a connection to the news of its loss: nothing is sent on a new
    // connection before its birth.
    bool _session = false;
    bool up() const { return _session && _link.connected(); }
    bool _need_birth = false;
    long long _overflow_seen = 0;
    Clock::time_point _next_poll = Clock::now();
};

void Publisher::register_all() {
    api_event_t kinds = _options.kinds;
    if (_options.poll_seconds == 0) kinds |= QEL_HOST_EVENT_TREE_CHANGE;
    for (const std::string& path : _options.paths) {
        api_status_t status = 0;
        nyr_tool::check_item(path, _store.client().event_register(path, kinds, true, status),
                             status);
    }
    _overflow_seen = qel_host_overflow_count(_store.handle());
}

void Publisher::take_from_log() {
    const SpoolMark mark = _spool.mark();
    std::vector<toolkit::CEvent> logged;
    toolkit::CLog log(_store.handle());
    for (const std::string& path : _options.paths)
        nyr_tool::check_result(path, log.retrieve(logged, path, mark.set ? &mark.time : nullptr,
                                                  nullptr, 0, false, false, 0));
    std::stable_sort(logged.begin(), logged.end(),
                     [](const toolkit::CEvent& a, const toolkit::CEvent& b) {
                         return before(a.event_time, b.event_time);
                     });
    std::vector<toolkit::CEvent> fresh;
    for (const toolkit::CEvent& event : logged) {
        if ((event.type & _options.kinds) == 0) continue;
        if (mark.set && (before(event.event_time, mark.time) ||
                         (!before(mark.time, event.event_time) && mark_key(event) == mark.key)))
            continue;
        fresh.push_back(event);
    }
    std::fprintf(stderr, "nyr-bridge: %zu logged events to publish\n", fresh.size());
    take_events(fresh, static_cast<int>(fresh.size()));
}

std::map<std::string, std::string> Publisher::snapshot() {
    std::map<std::string, std::string> state;
    toolkit::CNyr& client = _store.client();
    for (const std::string& root : _options.paths) {
        api_status_t status = 0;
        nyr_tool::check_result(root, client.test_node(root, status));
        if (status != QEL_STATUS_OK) {  // a leaf, or nothing yet
            toolkit::CElement value;
            element_property_t property = 0;
            nyr_tool::check_result(root, client.get_leaf(root, status, value, property));
            if (status == QEL_STATUS_OK) state[root] = leaf_payload(value, property);
            continue;
        }
        std::vector<std::string> leaves;
        for (const nyr_tool::TreeEntry& entry : nyr_tool::list_entries(client, root, true))
            if (!entry.node) leaves.push_back(nyr_tool::join_path(root, entry.relative));
        std::vector<toolkit::CElement> values;
        std::vector<element_property_t> properties;
        nyr_tool::read_leaves(client, leaves, values, properties, [](std::size_t) {});
        for (std::size_t i = 0; i < leaves.size(); ++i)
            state[leaves[i]] = leaf_payload(values[i], properties[i]);
    }
    return state;
}

void Publisher::publish_state(const std::string& path, const std::string& payload) {
    _link.publish(_base + "/state" + path_to_levels(path), payload, 1, true);
}

void Publisher::sync_state(std::map<std::string, std::string> current, bool everything) {
    for (const auto& [path, payload] : _published)
        if (current.find(path) == current.end()) publish_state(path, "");
    for (const auto& [path, payload] : current) {
        const auto known = _published.find(path);
        if (everything || known == _published.end() || known->second != payload)
            publish_state(path, payload);
    }
    _published = std::move(current);
}

void Publisher::birth() {
    _need_birth = false;
    sync_state(snapshot(), true);
    _link.publish(_base + "/status", online_payload(now()), 1, true);
    std::fprintf(stderr, "nyr-bridge: birth of %s: %zu leaves\n", _base.c_str(), _published.size());
}

void Publisher::tree_change(const toolkit::CEvent& event) {
    if (!up() || _need_birth) return;  // the next birth brings the broker up to date
    const std::string& path = event.path;
    if (event.cmd == QEL_HOST_CHANGE_LEAF_SET) {
        toolkit::CElement value;
        element_property_t property = 0;
        api_status_t status = 0;
        if (_store.client().get_leaf(path, status, value, property) != 0) return;
        if (status == QEL_STATUS_OK) {
            std::string payload = leaf_payload(value, property);
            std::string& known = _published[path];
            if (known != payload) {
                known = std::move(payload);
                publish_state(path, known);
            }
            return;
        }
    }
    if (event.cmd == QEL_HOST_CHANGE_NODE_ADDED) return;
    // Cleared or removed: every retained leaf at or below the path goes.
    for (auto item = _published.lower_bound(path); item != _published.end();) {
        if (!is_within(item->first, path)) break;
        publish_state(item->first, "");
        item = _published.erase(item);
    }
}

void Publisher::take_events(const std::vector<toolkit::CEvent>& events, int count) {
    std::vector<SpoolRow> rows;
    const toolkit::CEvent* last = nullptr;
    for (int i = 0; i < count; ++i) {
        const toolkit::CEvent& event = events[i];
        if (event.type == QEL_HOST_EVENT_TREE_CHANGE && _options.poll_seconds == 0)
            tree_change(event);
        if ((event.type & _options.kinds) == 0) continue;
        rows.push_back(
            SpoolRow{0, _base + "/events" + path_to_levels(event.path), event_payload(event)});
        last = &event;
    }
    if (rows.empty()) return;
    SpoolMark mark;
    mark.set = true;
    mark.time = last->event_time;
    mark.key = mark_key(*last);
    const uint64_t dropped = _spool.append(rows, mark);
    if (dropped != 0) {
        std::fprintf(stderr,
                     "nyr-bridge: the spool is full: dropped its %llu oldest events "
                     "(%llu dropped in all)\n",
                     static_cast<unsigned long long>(dropped),
                     static_cast<unsigned long long>(_spool.dropped()));
        // Whatever was dropped has left the spool; what is still unsent is read again.
        std::vector<int64_t> sent;
        for (const auto& [mid, id] : _in_flight) sent.push_back(id);
        std::sort(sent.begin(), sent.end());
        _unsent.clear();
        for (SpoolRow& row : _spool.pending())
            if (!std::binary_search(sent.begin(), sent.end(), row.id))
                _unsent.push_back(std::move(row));
        return;
    }
    for (SpoolRow& row : rows) _unsent.push_back(std::move(row));
}

void Publisher::send_unsent() {
    while (up() && !_need_birth && _in_flight.size() < kWindow && !_unsent.empty()) {
        const SpoolRow& row = _unsent.front();
        int mid = 0;
        if (!_link.publish(row.topic, row.payload, 1, false, &mid)) break;
        _in_flight[mid] = row.id;
        _unsent.pop_front();
    }
}

void Publisher::handle_news(const LinkNews& news) {
    std::vector<int64_t> done;
    for (const int mid : news.acked) {
        const auto found = _in_flight.find(mid);
        if (found == _in_flight.end()) continue;
        done.push_back(found->second);
        _in_flight.erase(found);
    }
    _spool.remove(done);
    if (news.disconnected || news.connections != 0) {
        // What was in flight may not have arrived: it goes again, in order, after the birth.
        _in_flight.clear();
        _unsent.clear();
        for (SpoolRow& row : _spool.pending()) _unsent.push_back(std::move(row));
    }
    if (news.disconnected) _session = false;
    if (news.disconnected)
        std::fprintf(stderr, "nyr-bridge: broker %s lost; %llu events wait in the spool\n",
                     _link.broker().c_str(), static_cast<unsigned long long>(_spool.rows()));
    if (news.connections != 0) {
        std::fprintf(stderr, "nyr-bridge: connected to %s\n", _link.broker().c_str());
        _link.subscribe(_base + "/set/#", 1);
        _session = true;
        _need_birth = true;
    }
    const std::string set_stem = _base + "/set";
    for (const Received& message : news.messages) {
        if (message.topic.compare(0, set_stem.size(), set_stem) != 0) continue;
        if (message.retained) continue;  // a write is an order of now, not a state to replay
        const std::string levels = message.topic.substr(set_stem.size());
        const InboundOutcome outcome =
            apply_inbound(_store.client(), _options.writable, levels, message.payload, _source);
        if (outcome.status != QEL_STATUS_OK)
            std::fprintf(stderr, "nyr-bridge: refused %s: %s\n", message.topic.c_str(),
                         outcome.meaning.c_str());
        _link.publish(_base + "/result" + levels, result_payload(outcome.status, outcome.meaning),
                      1, false);
    }
}

void Publisher::check_overflow() {
    const long long overflow = qel_host_overflow_count(_store.handle());
    if (overflow > _overflow_seen) {
        std::fprintf(stderr,
                     "nyr-bridge: the store dropped %lld events from the bridge's queue; "
                     "publishing the whole state again\n",
                     overflow - _overflow_seen);
        _need_birth = true;
    }
    if (overflow >= 0) _overflow_seen = overflow;
}

bool Publisher::recover_store() {
    if (!_store.reopen()) return false;
    register_all();
    _need_birth = true;
    return true;
}

void Publisher::stop() {
    int mid = 0;
    const bool sent = up() && _link.publish(_base + "/status", offline_payload(), 1, true, &mid);
    const auto deadline = Clock::now() + kStopFlush;
    bool offline_acked = !sent;
    while (Clock::now() < deadline && up() && (!offline_acked || !_in_flight.empty())) {
        const LinkNews news = _link.take(std::chrono::milliseconds(50));
        for (const int acked : news.acked) offline_acked = offline_acked || acked == mid;
        LinkNews acks;
        acks.acked = news.acked;
        handle_news(acks);
    }
    _link.disconnect();
    std::fprintf(stderr, "nyr-bridge: stopped; %llu events wait in the spool\n",
                 static_cast<unsigned long long>(_spool.rows()));
}

int Publisher::run() {
    register_all();
    if (_options.from_log) take_from_log();
    _unsent.clear();
    for (SpoolRow& row : _spool.pending()) _unsent.push_back(std::move(row));
    std::vector<toolkit::CEvent> events;
    while (!stop_requested()) {
        const bool busy = up() && (!_unsent.empty() || !_in_flight.empty());
        handle_news(_link.take(std::chrono::milliseconds(busy ? 2 : 0)));
        try {
            if (up() && _need_birth) birth();
            if (_options.poll_seconds > 0 && up() && Clock::now() >= _next_poll) {
                sync_state(snapshot(), false);
                _next_poll =
                    Clock::now() +
                    std::chrono::milliseconds(static_cast<long long>(_options.poll_seconds * 1000));
            }
        } catch (const nyr_tool::ToolError& error) {
            if (!_store.lost()) throw;
            if (!recover_store()) break;
            continue;
        }
        // With work waiting on the broker the store is only asked, not waited for.
        const int count = busy ? _store.client().events_get_nonblocking(events)
                               : _store.client().events_get(events);
        if (count == QEL_RESULT_LOST) {
            if (!recover_store()) break;
            continue;
        }
        if (count < 0) nyr_tool::check_result("events", count);
        if (count > 0) take_events(events, count);
        check_overflow();
        send_unsent();
    }
    stop();
    return nyr_tool::kExitOk;
}

}  // namespace

int run_publish(const nyr_tool::StoreOptions& store, const BrokerOptions& broker,
                const PublishOptions& options) {
    Publisher publisher(store, broker, options);
    return publisher.run();
}

}  // namespace nyr_bridge
