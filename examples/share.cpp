// Two processes sharing one store through nyrd: run the watcher, then the writer, on the same
// socket (null: the default socket).
//
//   nyr_share watch [SOCKET]   registers for tree changes and alarms under /plant and prints what
//                              arrives until the writer says it is done
//   nyr_share write [SOCKET]   waits for the watcher, writes leaves under /plant, sends an alarm
#include <nyr_host.h>
#include <toolkit/nyr.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;

namespace {

constexpr int32_t kAlarm = 0x8;
constexpr int32_t kNotice = 0x4;  // the writer's "done"
const char kReady[] = "/share/watcher-ready";

std::string describe(const CEvent& event) {
    if (event.type == kAlarm) {
        return "alarm on " + event.path + ": " + event.note + " (priority " +
               std::to_string(event.base_priority) + ")";
    }
    static const char* const changes[] = {"?", "leaf written", "leaf cleared", "node added",
                                          "node removed"};
    std::string what = event.cmd >= 1 && event.cmd <= 4 ? changes[event.cmd] : changes[0];
    std::string line = "tree change: " + what + " " + event.path;
    if (event.cmd == QEL_HOST_CHANGE_LEAF_SET) {
        std::string value;
        event.value.to_string(value);
        line += " = " + value;
    }
    return line;
}

int watch(CNyr& nyr) {
    api_status_t status = 0;
    nyr.event_register("/plant", kAlarm | QEL_HOST_EVENT_TREE_CHANGE, true, status);
    nyr.event_register("/share", kNotice, true, status);
    nyr.set_leaf(kReady, CElement(true), status, 0, "watcher");
    std::printf("[watcher %d] registered for /plant, waiting\n", getpid());
    std::fflush(stdout);
    std::vector<CEvent> events;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        int n = nyr.events_get(events);
        if (n < 0) {
            std::printf("[watcher %d] the store is gone (result %d)\n", getpid(), n);
            return 1;
        }
        for (int i = 0; i < n; ++i) {
            if (events[i].type == kNotice) {
                std::printf("[watcher %d] the writer is done\n", getpid());
                return 0;
            }
            std::printf("[watcher %d] %s\n", getpid(), describe(events[i]).c_str());
        }
        std::fflush(stdout);
    }
    std::printf("[watcher %d] gave up after 10 s\n", getpid());
    return 1;
}

int write(CNyr& nyr) {
    api_status_t status = 0;
    CElement ready;
    element_property_t property = 0;
    for (int i = 0; i < 1000; ++i) {
        if (nyr.get_leaf(kReady, status, ready, property) == 0 && status == QEL_STATUS_OK) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("[writer %d] writing /plant/pump/state and /plant/pump/rpm\n", getpid());
    nyr.set_leaf("/plant/pump/state", CElement(std::string("running")), status, 0, "writer");
    nyr.set_leaf("/plant/pump/rpm", CElement(int32_t{1450}), status, 0, "writer");
    CEvent alarm(kAlarm);
    alarm.path = "/plant/pump";
    alarm.note = "bearing temperature high";
    alarm.base_priority = 2;
    CEvent done(kNotice);
    done.path = "/share/done";
    std::vector<api_status_t> statuses;
    int result = nyr.events_send({alarm, done}, statuses);
    std::printf("[writer %d] sent an alarm on /plant/pump -> result %d\n", getpid(), result);
    return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (std::strcmp(argv[1], "watch") && std::strcmp(argv[1], "write"))) {
        std::fprintf(stderr, "usage: nyr_share watch|write [SOCKET]\n");
        return 2;
    }
    qel_handle_t handle = qel_host_connect(argc == 3 ? argv[2] : nullptr);
    if (!handle) return 1;  // qel_host_connect reported why
    CNyr nyr(handle);
    int status = std::strcmp(argv[1], "watch") == 0 ? watch(nyr) : write(nyr);
    qel_host_disconnect(handle);
    return status;
}
