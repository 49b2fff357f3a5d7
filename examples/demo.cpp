// A tour of libnyr++ on the host store: every step prints what it did and what came back.
//
//   nyr_demo [log-database]
//
// With a file name the event log is kept in that SQLite file; without one it lives in memory.
#include <nyr_host.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include <cstdio>
#include <string>
#include <vector>

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CLog;
using toolkit::CNyr;

namespace {

void heading(const char* title) {
    std::printf("\n== %s\n", title);
}

std::string text_of(const CElement& value) {
    std::string out;
    value.to_string(out);
    return out;
}

void leaf_road(CNyr& client) {
    heading("The road of a leaf write and read-back");
    CElement value(std::string("pump running"));  // a string without a time stamp
    std::printf("value to write: \"%s\", time stamp seconds %d (none)\n", text_of(value).c_str(),
                value.timestamp.tv_sec);
    api_status_t status = 0;
    int result = client.set_leaf("/plant/pump/state", value, status, 0, "demo");
    std::printf("set_leaf(/plant/pump/state) -> result %d, status %d\n", result, status);

    CElement read;
    element_property_t property = 0;
    result = client.get_leaf("/plant/pump/state", status, read, property);
    std::printf("get_leaf -> result %d, status %d, property %u\n", result, status, property);
    std::printf("to_string: \"%s\", stamped by the store at %d.%06d\n", text_of(read).c_str(),
                read.timestamp.tv_sec, read.timestamp.tv_usec);

    result = client.get_leaf("/plant/pump/missing", status, read, property);
    std::printf(
        "get_leaf of a missing leaf -> result %d, status %d (not found), value kept: "
        "\"%s\"\n",
        result, status, text_of(read).c_str());
}

void batches_and_listing(CNyr& client) {
    heading("Batches and listing");
    std::vector<std::string> paths;
    std::vector<CElement> values;
    for (int i = 0; i < 5; ++i) {
        paths.push_back("/plant/sensors/t" + std::to_string(i));
        values.emplace_back(20.5 + i);
    }
    std::vector<api_status_t> statuses;
    int result =
        client.set_leaves(paths, values, std::vector<qel_tribool_t>(5, 1), statuses, "demo");
    std::printf("set_leaves of %zu leaves -> result %d, %zu statuses\n", paths.size(), result,
                statuses.size());

    std::vector<CElement> read;
    std::vector<element_property_t> properties;
    paths.push_back("/plant/sensors/absent");
    result = client.get_leaves(paths, statuses, read, properties);
    std::printf("get_leaves -> result %d\n", result);
    for (std::size_t i = 0; i < read.size(); ++i)
        std::printf("  %-24s status %d value %s\n", paths[i].c_str(), statuses[i],
                    text_of(read[i]).c_str());

    CNyr::listing_t listing;
    api_status_t status = 0;
    result = client.list_node("/plant", status, listing);
    std::printf("list_node(/plant) -> result %d, status %d:\n", result, status);
    for (const auto& [name, kind] : listing)
        std::printf("  %-10s %s, property %u\n", name.c_str(),
                    kind.first == QEL_ELEMENT_NODE ? "node" : "leaf", kind.second);

    CNyr::fetch_t fetched;
    result = client.mpl_fetch("/plant/sensors", status, fetched);
    std::printf("mpl_fetch(/plant/sensors) -> result %d, %zu values, first %s = %s\n", result,
                fetched.size(), fetched.empty() ? "-" : fetched[0].first.c_str(),
                fetched.empty() ? "-" : text_of(fetched[0].second).c_str());
}

void copy_and_move(CNyr& client) {
    heading("Subtree copy and move");
    api_status_t status = 0;
    int result = client.copy_node_recursive("/plant", "/backup/plant", status, "demo");
    std::printf("copy_node_recursive(/plant -> /backup/plant) -> result %d, status %d\n", result,
                status);
    CElement copy;
    element_property_t property = 0;
    client.get_leaf("/backup/plant/sensors/t2", status, copy, property);
    std::printf("copied leaf /backup/plant/sensors/t2 = %s (status %d)\n", text_of(copy).c_str(),
                status);
    result = client.move_node("/backup", "/plant", status, "demo");
    std::printf("move_node onto an existing node -> result %d, status %d (target exists)\n", result,
                status);
    result = client.move_node("/backup", "/archive", status, "demo");
    client.test_node("/backup", status);
    std::printf("move_node(/backup -> /archive) -> result %d; /backup now has status %d\n", result,
                status);
}

void events(CNyr& sender, CNyr& receiver) {
    heading("Events between two clients");
    api_status_t status = 0;
    receiver.event_register("/plant", 0x8 | QEL_HOST_EVENT_TREE_CHANGE, true, status);
    std::printf("receiver registered for alarms and tree changes under /plant (status %d)\n",
                status);
    CEvent alarm(0x8);
    alarm.path = "/plant/pump";
    alarm.note = "bearing temperature high";
    alarm.base_priority = 2;
    std::vector<api_status_t> statuses;
    int result = sender.events_send({alarm}, statuses);
    std::printf("sender sent one alarm -> result %d, status %d\n", result, statuses.at(0));
    CElement value(std::string("stopped"));
    sender.set_leaf("/plant/pump/state", value, status, 0, "demo");
    std::printf("sender wrote /plant/pump/state\n");

    std::vector<CEvent> got;
    result = receiver.events_get(got);
    std::printf("receiver events_get -> %d events\n", result);
    for (const CEvent& event : got) std::printf("  %s\n", event.to_string().c_str());
    result = receiver.events_get_nonblocking(got);
    std::printf("receiver events_get_nonblocking -> %d (nothing left)\n", result);
}

void event_log(qel_handle_t handle) {
    heading("The event log");
    CLog log(handle);
    std::vector<CEvent> events;
    for (int i = 0; i < 3; ++i) {
        CEvent event(0x8);
        event.path = "/plant/line" + std::to_string(i % 2);
        event.event_time = timeval{1700000000 + i * 60, 0};
        event.note = "entry " + std::to_string(i);
        events.push_back(event);
    }
    int result = log.store(events, false);
    std::printf("store of %zu events -> result %d\n", events.size(), result);
    std::vector<CEvent> out;
    const timeval from{1700000000, 0}, to{1700000100, 0};
    result = log.retrieve(out, "/plant/line0", &from, &to, 0, false, false, 0);
    std::printf("retrieve(/plant/line0, first 100 s) -> result %d, %zu events\n", result,
                out.size());
    for (const CEvent& event : out)
        std::printf("  %s at %ld: %s\n", event.path.c_str(),
                    static_cast<long>(event.event_time.tv_sec), event.note.c_str());
    result = log.clear("", nullptr, nullptr);
    out.clear();
    log.retrieve(out, "", nullptr, nullptr, 0, false, false, 0);
    std::printf("clear of everything -> result %d, %zu events left\n", result, out.size());
}

void services(CNyr& client) {
    heading("Process services");
    api_status_t status = 0;
    int result = client.watchdog_register(status, "demo loop", 10, false);
    std::printf("watchdog_register -> result %d, status %d\n", result, status);
    result = client.watchdog_ping(status);
    std::printf("watchdog_ping -> result %d, status %d\n", result, status);
    result = client.watchdog_clear(status);
    std::printf("watchdog_clear -> result %d, status %d\n", result, status);
    result = client.set_verbosity(1, 3, "demo", status);
    std::printf("set_verbosity(thread 1, level 3) -> result %d, status %d\n", result, status);
    result = client.syslog_add("demo", 6, "", "tour finished");
    std::printf("syslog_add -> result %d\n", result);
    std::string uuid;
    CNyr::create_uuid("pump-7", uuid);
    std::printf("create_uuid(\"pump-7\") -> %s (name-based, the same every time)\n", uuid.c_str());
    CNyr::create_uuid("", uuid);
    std::printf("create_uuid(\"\") -> %s (random)\n", uuid.c_str());
    std::string hmac;
    if (CNyr::create_hmac("key", "message", hmac, 20) == 0)
        std::printf("create_hmac(key, message, 20) -> %s\n", hmac.c_str());
    else
        std::printf("create_hmac is not available in this build\n");
}

}  // namespace

int main(int argc, char** argv) {
    qel_store_t* store = qel_host_store_open(argc > 1 ? argv[1] : nullptr);
    if (!store) {
        std::fprintf(stderr, "cannot open the store%s%s\n", argc > 1 ? " with log " : "",
                     argc > 1 ? argv[1] : "");
        return 1;
    }
    qel_host_set_event_wait(store, 100);
    qel_handle_t first_handle = qel_host_handle_open(store);
    qel_handle_t second_handle = qel_host_handle_open(store);
    CNyr first(first_handle);
    CNyr second(second_handle);

    leaf_road(first);
    batches_and_listing(first);
    copy_and_move(first);
    events(first, second);
    event_log(first_handle);
    services(first);

    qel_host_store_close(store);
    return 0;
}
