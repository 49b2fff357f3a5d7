// A client process for the service tests: each command connects to the nyrd on SOCKET through
// qel_host_connect, does one thing through CNyr and exits 0 when it saw what it should.
//
//   exchange SOCKET ME PEER N   announce /ready/ME, wait for PEER, send N events to /chat/PEER,
//                               expect N events in order from PEER on /chat/ME, none dropped
//   watch SOCKET PATH N         announce /ready/watch, expect PATH/i = i announced as tree
//                               changes for i < N, in order
//   write SOCKET PATH N [READY] (after READY exists) write PATH/i = i for i < N
//   check SOCKET PATH N         PATH/i holds i for every i < N
//   stream SOCKET               write /stream/i = i for i = 0, 1, ... printing each i once the
//                               store acknowledged it, until the store is lost ("lost")
//   wait-lost SOCKET            wait in events_get ("waiting") until the store is lost; the
//                               next call must report the loss at once
//   oversize SOCKET BYTES       a leaf of BYTES bytes is refused as too large for the daemon's
//                               frames, and the handle goes on working
//   connect SOCKET              exit 0 when admitted and served, 3 when the connection is refused
//   stale-socket PATH           leave a socket file at PATH that nothing listens on
//   unread-replies SOCKET       shake hands by hand, then send calls without reading a reply
//                               until the daemon stops taking them ("stuck"), and stay until
//                               it closes the connection
#include <fcntl.h>
#include <nyr_host.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <toolkit/nyr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "protocol/fields.h"
#include "protocol/frame.h"

using toolkit::CElement;
using toolkit::CEvent;
using toolkit::CNyr;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kDeadline = std::chrono::seconds(10);
constexpr int32_t kChatKind = 0x4;

int fail(const std::string& why) {
    std::fprintf(stderr, "service_client: %s\n", why.c_str());
    return 1;
}

struct Connection {
    explicit Connection(const char* socket) : handle(qel_host_connect(socket)), nyr(handle) {}
    ~Connection() { qel_host_disconnect(handle); }
    qel_handle_t handle;
    CNyr nyr;
};

bool leaf_exists(CNyr& nyr, const std::string& path) {
    api_status_t status = 0;
    CElement value;
    element_property_t property = 0;
    return nyr.get_leaf(path, status, value, property) == 0 && status == QEL_STATUS_OK;
}

bool set(CNyr& nyr, const std::string& path, int32_t value) {
    api_status_t status = 0;
    return nyr.set_leaf(path, CElement(value), status, 0, "service_client") == 0 &&
           status == QEL_STATUS_OK;
}

bool wait_for_leaf(CNyr& nyr, const std::string& path) {
    for (auto end = Clock::now() + kDeadline; Clock::now() < end;) {
        if (leaf_exists(nyr, path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Collects events until `accept` has taken `count` of them or the deadline passes.
template <typename Accept>
bool collect(CNyr& nyr, int count, Accept accept) {
    std::vector<CEvent> got;
    int taken = 0;
    for (auto end = Clock::now() + kDeadline; taken < count && Clock::now() < end;) {
        int n = nyr.events_get(got);
        if (n < 0) return false;
        for (int i = 0; i < n; ++i) {
            if (!accept(got[i], taken)) return false;
        }
    }
    return taken == count;
}

int exchange(Connection& c, const std::string& me, const std::string& peer, int count) {
    api_status_t status = 0;
    if (c.nyr.event_register("/chat/" + me, kChatKind, false, status) != 0 ||
        status != QEL_STATUS_OK || !set(c.nyr, "/ready/" + me, 1)) {
        return fail("cannot register and announce " + me);
    }
    if (!wait_for_leaf(c.nyr, "/ready/" + peer)) return fail(peer + " never came");
    std::vector<CEvent> batch;
    std::vector<api_status_t> statuses;
    for (int i = 0; i < count; ++i) {
        CEvent event(kChatKind);
        event.path = "/chat/" + peer;
        event.event_id = static_cast<uint64_t>(i);
        event.description = me;
        batch.push_back(event);
        if (batch.size() == 100 || i + 1 == count) {
            if (c.nyr.events_send(batch, statuses) != 0) return fail("events_send failed");
            batch.clear();
        }
    }
    bool in_order = collect(c.nyr, count, [&](const CEvent& event, int& taken) {
        if (event.path != "/chat/" + me || event.description != peer ||
            event.event_id != static_cast<uint64_t>(taken)) {
            return false;
        }
        ++taken;
        return true;
    });
    if (!in_order) return fail(me + " did not get " + std::to_string(count) + " events in order");
    if (qel_host_overflow_count(c.handle) != 0) return fail("events were dropped");
    return 0;
}

int watch(Connection& c, const std::string& path, int count) {
    api_status_t status = 0;
    if (c.nyr.event_register(path, QEL_HOST_EVENT_TREE_CHANGE, true, status) != 0 ||
        status != QEL_STATUS_OK || !set(c.nyr, "/ready/watch", 1)) {
        return fail("cannot register and announce the watcher");
    }
    bool seen = collect(c.nyr, count, [&](const CEvent& event, int& taken) {
        if (event.cmd != QEL_HOST_CHANGE_LEAF_SET) return true;  // nodes added on the way
        if (event.path != path + "/" + std::to_string(taken) || event.value.to_int() != taken) {
            return false;
        }
        ++taken;
        return true;
    });
    return seen ? 0 : fail("the watcher did not see every write in order");
}

int write_leaves(Connection& c, const std::string& path, int count, const char* ready) {
    if (ready && !wait_for_leaf(c.nyr, ready)) return fail(std::string(ready) + " never came");
    for (int i = 0; i < count; ++i) {
        if (!set(c.nyr, path + "/" + std::to_string(i), i)) return fail("a write failed");
    }
    return 0;
}

int check(Connection& c, const std::string& path, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back(path + "/" + std::to_string(i));
    std::vector<api_status_t> statuses;
    std::vector<CElement> values;
    std::vector<element_property_t> properties;
    if (c.nyr.get_leaves(paths, statuses, values, properties) != 0) return fail("get_leaves");
    for (int i = 0; i < count; ++i) {
        if (statuses[i] != QEL_STATUS_OK || values[i].to_int() != i) {
            return fail(paths[i] + " is missing or wrong");
        }
    }
    return 0;
}

int stream(Connection& c) {
    for (int i = 0;; ++i) {
        api_status_t status = 0;
        int result = c.nyr.set_leaf("/stream/" + std::to_string(i), CElement(int32_t{i}), status, 0,
                                    "service_client");
        if (result == QEL_RESULT_LOST) {
            std::printf("lost\n");
            return 0;
        }
        if (result != 0 || status != QEL_STATUS_OK) return fail("a write failed");
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}

int wait_lost(Connection& c) {
    api_status_t status = 0;
    c.nyr.event_register("/", kChatKind, true, status);
    std::printf("waiting\n");
    std::fflush(stdout);
    std::vector<CEvent> events;
    int result = 0;
    for (auto end = Clock::now() + kDeadline; result >= 0 && Clock::now() < end;) {
        result = c.nyr.events_get(events);
    }
    if (result != QEL_RESULT_LOST) return fail("events_get never reported the lost store");
    auto start = Clock::now();
    if (c.nyr.test_node("/", status) != QEL_RESULT_LOST) return fail("a later call did not");
    if (Clock::now() - start > std::chrono::milliseconds(100)) return fail("a later call waited");
    return 0;
}

int oversize(Connection& c, int bytes) {
    api_status_t status = 0;
    CElement big(std::string(static_cast<std::size_t>(bytes), 'x'));
    if (c.nyr.set_leaf("/big", big, status, 0, "service_client") != QEL_RESULT_NO_MEMORY) {
        return fail("a leaf larger than the daemon's frames was not refused");
    }
    return set(c.nyr, "/small", 1) ? 0 : fail("the handle stopped working");
}

bool send_all(int fd, const std::vector<char>& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// A frame: its body's length, then the body that `write` gives.
template <typename Write>
std::vector<char> frame(Write write) {
    nyrhost::WireWriter measure(nullptr);
    write(measure);
    std::vector<char> out(nyrproto::kFrameHeader + measure.size());
    nyrhost::WireWriter header(out.data());
    header.u32(static_cast<uint32_t>(measure.size()));
    nyrhost::WireWriter body(out.data() + nyrproto::kFrameHeader);
    write(body);
    return out;
}

int unread_replies(const char* path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return fail("connect");
    }
    auto hello = frame([](nyrhost::WireWriter& w) {
        w.bytes(nyrproto::kHelloMagic, sizeof nyrproto::kHelloMagic);
        w.u32(nyrproto::kProtocolVersion);
        w.u64(0);
    });
    char reply[256];
    if (!send_all(fd, hello) || recv(fd, reply, sizeof reply, 0) <= 0) return fail("handshake");
    // Each call's reply is small; sent until neither side's buffers take more.
    auto call = frame([](nyrhost::WireWriter& w) {
        w.u8(static_cast<uint8_t>(nyrproto::Op::EventsGetNonblocking));
    });
    fcntl(fd, F_SETFL, O_NONBLOCK);
    for (auto end = Clock::now() + kDeadline; Clock::now() < end;) {
        pollfd out = {fd, POLLOUT, 0};
        if (poll(&out, 1, 500) == 0) {
            std::printf("stuck\n");
            std::fflush(stdout);
            // Stays until the daemon closes the connection, within the deadline.
            pollfd closed = {fd, 0, 0};
            return poll(&closed, 1, 20000) == 1 ? 0 : fail("the daemon never closed it");
        }
        if (send(fd, call.data(), call.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN) {
            return fail("the daemon closed the connection before it was stuck");
        }
    }
    return fail("the daemon kept taking calls");
}

int stale_socket(const char* path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return fail("bind");
    return 0;  // exits without removing it
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "stale-socket") return stale_socket(argv[2]);
    if (args.size() == 2 && args[0] == "unread-replies") return unread_replies(argv[2]);
    if (args.size() < 2) return fail("usage: see the comment at the top of service_client.cpp");
    Connection c(argv[2]);
    const std::string& command = args[0];
    if (command == "connect") {
        api_status_t status = 0;
        if (!c.handle) return 3;
        return c.nyr.test_node("/", status) == 0 ? 0 : fail("connected but not served");
    }
    if (!c.handle) return fail("cannot connect to " + args[1]);
    if (command == "exchange" && args.size() == 5) {
        return exchange(c, args[2], args[3], std::stoi(args[4]));
    }
    if (command == "watch" && args.size() == 4) return watch(c, args[2], std::stoi(args[3]));
    if (command == "write" && (args.size() == 4 || args.size() == 5)) {
        return write_leaves(c, args[2], std::stoi(args[3]), args.size() == 5 ? argv[5] : nullptr);
    }
    if (command == "check" && args.size() == 4) return check(c, args[2], std::stoi(args[3]));
    if (command == "stream") return stream(c);
    if (command == "oversize" && args.size() == 3) return oversize(c, std::stoi(args[2]));
    if (command == "wait-lost") return wait_lost(c);
    return fail("unknown command or wrong arguments: " + command);
}
