// What a connection may cost the daemon in time: a client that says nothing, or stops half way
// through a frame, is closed within the session's limits, while an established one may stay
// silent for as long as it likes unless an idle limit is set. And the reports of such limits
// come once per cause and period, not once per connection.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "remote_server.h"
#include "report_throttle.h"
#include "request_budget.h"
#include "store_fixture.h"

using namespace storetest;
using remotetest::TestServer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr int kLimitMs = 150;

int dial(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// How long until the daemon closes `fd`, reading and dropping what it sends; `bound` if never.
milliseconds until_closed(int fd, milliseconds bound) {
    const auto start = Clock::now();
    char sink[512];
    for (;;) {
        const auto left = bound - std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) == 0)
            return bound;
        if (::recv(fd, sink, sizeof sink, 0) <= 0)
            return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    }
}

void send_bytes(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

std::string hello_frame() {
    std::string frame(4 + 16, '\0');
    nyrhost::WireWriter w(&frame[0]);
    w.u32(16);
    nyrproto::write_hello(w, nyrproto::Hello{nyrproto::kProtocolVersion, 0});
    return frame;
}

class SessionLimitsTest : public StoreTest {
protected:
    nyrd::SessionLimits limits(int idle_ms) {
        nyrd::SessionLimits given;
        given.handshake_ms = given.frame_ms = kLimitMs;
        given.idle_ms = idle_ms;
        return given;
    }
};

TEST_F(SessionLimitsTest, SilentAndHalfSentConnectionsAreClosedInTime) {
    TestServer server(store, limits(-1));
    const milliseconds bound(3000), late(kLimitMs + 1000);

    const int silent = dial(server.path());
    const milliseconds silent_took = until_closed(silent, bound);
    EXPECT_GE(silent_took.count(), kLimitMs - 10);
    EXPECT_LT(silent_took, late);

    // A hello that stops after its header is as good as none.
    const int half_hello = dial(server.path());
    send_bytes(half_hello, hello_frame().substr(0, 6));
    EXPECT_LT(until_closed(half_hello, bound), late);

    // After the hello, a request that stops half way is closed; a silent connection is not.
    const int half_request = dial(server.path()), quiet = dial(server.path());
    for (int fd : {half_request, quiet}) send_bytes(fd, hello_frame());
    send_bytes(half_request, std::string("\0\0\0\x10\x05", 5));
    EXPECT_LT(until_closed(half_request, bound), late);
    EXPECT_EQ(until_closed(quiet, milliseconds(3 * kLimitMs)), milliseconds(3 * kLimitMs));
    for (int fd : {silent, half_hello, half_request, quiet}) ::close(fd);

    std::string reports;
    for (const auto& line : server.reports()) reports += line + "\n";
    EXPECT_NE(reports.find("no hello within"), std::string::npos) << reports;
    EXPECT_NE(reports.find("did not arrive whole"), std::string::npos) << reports;
}

TEST_F(SessionLimitsTest, AnIdleLimitClosesASilentSessionAndItsHandleIsLost) {
    TestServer server(store, limits(kLimitMs));
    qel_handle_t handle = qel_host_connect(server.path().c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(put(handle, "/a", 1), QEL_STATUS_OK);
    std::this_thread::sleep_for(milliseconds(3 * kLimitMs));
    api_status_t status = 0;
    EXPECT_EQ(qel_test_node(handle, "/", &status), QEL_RESULT_LOST);
    qel_host_disconnect(handle);
}

// The budget charges a request its frame and then what its decoding makes: an add_nodes whose
// frame fits but whose decoded paths (8 bytes each, against 7 in the frame) do not is refused with
// QEL_RESULT_NO_MEMORY and adds nothing; the connection goes on and gives everything back.
TEST_F(SessionLimitsTest, ARequestWhoseDecodingFindsNoRoomIsRefusedAndChangesNothing) {
    constexpr uint32_t kPaths = 20000;
    nyrd::RequestBudget budget(7 * kPaths + 10000);
    nyrd::SessionLimits given = limits(-1);
    given.budget = &budget;
    TestServer server(store, given);
    qel_handle_t handle = qel_host_connect(server.path().c_str());
    ASSERT_NE(handle, nullptr);
    const std::vector<const char*> paths(kPaths, "/a");
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(qel_add_nodes(handle, paths.data(), kPaths, "s", &statuses, &count),
              QEL_RESULT_NO_MEMORY);
    api_status_t status = 0;
    EXPECT_EQ(qel_test_node(handle, "/a", &status), QEL_RESULT_OK);
    EXPECT_EQ(status, QEL_STATUS_NOT_FOUND);
    // A smaller batch fits and is carried out.
    EXPECT_EQ(qel_add_nodes(handle, paths.data(), 1000, "s", &statuses, &count), QEL_RESULT_OK);
    EXPECT_EQ(qel_test_node(handle, "/a", &status), QEL_RESULT_OK);
    EXPECT_EQ(status, QEL_STATUS_OK);
    const auto until = Clock::now() + milliseconds(3000);
    while (budget.use().taken != 0 && Clock::now() < until)
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(budget.use().taken, 0u);
    EXPECT_EQ(budget.use().refused, 1u);
    qel_host_disconnect(handle);
}

TEST(ReportThrottleTest, EachCauseIsReportedOncePerPeriodWithWhatItSkipped) {
    std::vector<std::string> lines;
    nyrd::ReportThrottle throttle([&](int, const std::string& line) { lines.push_back(line); },
                                  milliseconds(100));
    for (int i = 0; i < 3; ++i) throttle.hit("full", 4, "too many");
    throttle.hit("idle", 5, "silent");
    ASSERT_EQ(lines, (std::vector<std::string>{"too many", "silent"}));
    std::this_thread::sleep_for(milliseconds(120));
    throttle.hit("full", 4, "too many");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "too many (and 2 more like it since the last report)");
}

}  // namespace
