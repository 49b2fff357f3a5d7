// Remote handles against the daemon's session served from this program: one path through the
// calls, then what the protocol itself must guarantee: bad frames end only their connection,
// another version is refused with a reason, a lost daemon ends even a waiting call, and threads
// sharing a handle do not wait for each other.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "protocol/frame.h"
#include "remote_server.h"
#include "store_fixture.h"

using namespace storetest;
using remotetest::TestServer;
using Clock = std::chrono::steady_clock;

namespace {

class RemoteTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        server = std::make_unique<TestServer>(store, limits);
        remote = qel_host_connect(server->path().c_str());
        ASSERT_NE(remote, nullptr);
    }
    void TearDown() override {
        qel_host_disconnect(remote);
        server.reset();
        StoreTest::TearDown();
    }

    nyrd::SessionLimits limits = [] {
        nyrd::SessionLimits given;
        given.max_frame = 64 * 1024;
        return given;
    }();
    std::unique_ptr<TestServer> server;
    qel_handle_t remote = nullptr;
};

// A raw connection that speaks frames, to send what no remote handle would.
struct RawPeer {
    explicit RawPeer(const std::string& path) {
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~RawPeer() { ::close(fd); }
    void send_frame(const std::string& body, uint32_t announced) {
        std::string bytes(4, '\0');
        nyrhost::WireWriter(&bytes[0]).u32(announced);
        ::send(fd, bytes.data(), 4, MSG_NOSIGNAL);
        ::send(fd, body.data(), body.size(), MSG_NOSIGNAL);
    }
    void hello(uint32_t version) {
        std::string body(16, '\0');
        nyrhost::WireWriter w(&body[0]);
        nyrproto::write_hello(w, nyrproto::Hello{version, 0});
        send_frame(body, 16);
    }
    nyrproto::FrameIn::Status read() { return in.read(fd, nyrproto::kMaxHelloBody); }
    int fd;
    nyrproto::FrameIn in;
};

void capture_err(void* context, int, const char* text) {
    *static_cast<std::string*>(context) = text;
}

TEST_F(RemoteTest, CallsGiveWhatTheStoreGives) {
    std::string text = "hello";
    EXPECT_EQ(set(remote, "/plant/name", text_value(text, 7), 3), QEL_STATUS_OK);
    EXPECT_EQ(set(remote, "/plant/bad", int_value(1)), QEL_STATUS_OK);
    _element_datatype_t got{};
    element_property_t property = 0;
    ASSERT_EQ(get(remote, "/plant/name", got, property), QEL_STATUS_OK);
    EXPECT_EQ(bytes_of(got.value.string_value), "hello");
    EXPECT_EQ(got.timestamp.tv_sec, 7);
    EXPECT_EQ(property, 3u);
    EXPECT_EQ(get(remote, "/plant/none"), QEL_STATUS_NOT_FOUND);
    EXPECT_EQ(qel_get_leaf(remote, "/plant/name", nullptr, &got, &property),
              QEL_RESULT_BAD_ARGUMENT);
    _element_datatype_t unknown = int_value(5);
    unknown.type = static_cast<data_type_t>(42);
    EXPECT_EQ(set(remote, "/plant/odd", unknown), QEL_STATUS_BAD_TYPE);

    // Listing: names stay valid until this thread's next call on the handle.
    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t types[1];
    _byte_array_t names[3];
    ASSERT_EQ(qel_list_node(remote, "/plant", &status, &total, types, 1, nullptr, 0, names, 3), 0);
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(bytes_of(names[0]) + "," + bytes_of(names[1]), "bad,name");

    // Events cross between a remote and a local handle both ways, with what the event encoding
    // cannot hold (an unknown value type, the fill word) intact.
    ASSERT_EQ(qel_event_register(remote, "/ev", 0x1, true, &status), 0);
    ASSERT_EQ(qel_event_register(a, "/ev", 0x1, true, &status), 0);
    std::string path = "/ev/x";
    _event_t record = event_at(path, 0x1, 9);
    record.value.type = static_cast<data_type_t>(77);
    record.value._fill = 0xABCD;
    record.value.value.uint64_value = 0x1122334455667788u;
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(qel_events_send(a, &record, 1, &statuses, &count), 0);
    _event_t* got_events = nullptr;
    ASSERT_EQ(qel_events_get_nonblocking(remote, &got_events), 1);
    EXPECT_EQ(bytes_of(got_events[0].path), "/ev/x");
    EXPECT_EQ(got_events[0].value.type, 77);
    EXPECT_EQ(got_events[0].value._fill, 0xABCDu);
    EXPECT_EQ(got_events[0].value.value.uint64_value, 0x1122334455667788u);
    destruct_event(&got_events[0]);
    std::free(got_events);
    take_events(a);
    ASSERT_EQ(qel_events_send(remote, &record, 1, &statuses, &count), 0);
    EXPECT_EQ(statuses_of(statuses, count), Statuses{QEL_STATUS_OK});
    EXPECT_EQ(take_events(a).size(), 1u);
    EXPECT_EQ(qel_host_queued_count(remote), 1);

    const char* texts[3] = {};
    syslog_severity_t severity = 0;
    ASSERT_EQ(qel_syslog_add(remote, "one", 4, nullptr, "three"), 0);
    ASSERT_EQ(qel_host_syslog_entry(remote, 0, &severity, &texts[0], &texts[1], &texts[2]), 0);
    EXPECT_EQ(std::string(texts[0]) + "|" + texts[1] + "|" + texts[2], "one||three");
    EXPECT_EQ(qel_host_syslog_entry(remote, 1, &severity, &texts[0], &texts[1], &texts[2]),
              QEL_RESULT_BAD_ARGUMENT);

    // A closed remote handle is a bad handle, never the value of another.
    qel_host_disconnect(remote);
    EXPECT_EQ(qel_test_node(remote, "/plant", &status), QEL_RESULT_BAD_HANDLE);
    remote = nullptr;
}

TEST_F(RemoteTest, MalformedOrOversizeFramesEndOnlyTheirConnection) {
    // A request too long for the daemon is refused before it is sent; the handle stays usable.
    std::string big(limits.max_frame, 'x');
    api_status_t status = 0;
    std::string error;
    qel_host_set_err_sink(capture_err, &error);
    EXPECT_EQ(qel_set_leaf(remote, "/big", text_value(big), 0, false, "", &status),
              QEL_RESULT_NO_MEMORY);
    qel_host_set_err_sink(nullptr, nullptr);
    EXPECT_NE(error.find("longer than"), std::string::npos) << error;
    EXPECT_EQ(get(remote, "/big"), QEL_STATUS_NOT_FOUND);

    RawPeer garbled(server->path()), oversize(server->path());
    for (RawPeer* peer : {&garbled, &oversize}) {
        peer->hello(nyrproto::kProtocolVersion);
        ASSERT_EQ(peer->read(), nyrproto::FrameIn::kFrame);
    }
    garbled.send_frame(std::string(1, '\xC8'), 1);  // no such operation
    oversize.send_frame("", limits.max_frame + 1);
    EXPECT_EQ(garbled.read(), nyrproto::FrameIn::kClosed);
    EXPECT_EQ(oversize.read(), nyrproto::FrameIn::kClosed);
    const auto reports = server->reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE((reports[0] + reports[1]).find("malformed request"), std::string::npos);
    EXPECT_NE((reports[0] + reports[1]).find("over the limit"), std::string::npos);
    EXPECT_EQ(put(remote, "/after", 1), QEL_STATUS_OK);
}

TEST_F(RemoteTest, AnotherVersionOrNoDaemonIsRefusedWithAReason) {
    RawPeer future(server->path());
    future.hello(nyrproto::kProtocolVersion + 1);
    ASSERT_EQ(future.read(), nyrproto::FrameIn::kFrame);
    nyrproto::HelloReply reply;
    ASSERT_TRUE(nyrproto::read_hello_reply(future.in.body(), future.in.body_size(), reply));
    EXPECT_EQ(reply.verdict, nyrproto::kOtherVersion);
    EXPECT_EQ(reply.version, nyrproto::kProtocolVersion);
    EXPECT_EQ(future.read(), nyrproto::FrameIn::kClosed);

    std::string error;
    qel_host_set_err_sink(capture_err, &error);
    EXPECT_EQ(qel_host_connect((server->path() + ".none").c_str()), nullptr);
    qel_host_set_err_sink(nullptr, nullptr);
    EXPECT_NE(error.find("no daemon at"), std::string::npos) << error;
}

TEST_F(RemoteTest, LostDaemonEndsAWaitingCallAndEveryLaterOne) {
    ASSERT_EQ(qel_host_set_event_wait(store, 2000), 0);
    Clock::time_point returned;
    auto waiting = std::async(std::launch::async, [&] {
        _event_t* records = nullptr;
        const int result = qel_events_get(remote, &records);
        returned = Clock::now();
        return result;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto killed = Clock::now();
    server->kill();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), QEL_RESULT_LOST);
    EXPECT_LT(returned - killed, std::chrono::milliseconds(500));
    api_status_t status = 0;
    const auto later = Clock::now();
    EXPECT_EQ(qel_test_node(remote, "/", &status), QEL_RESULT_LOST);
    EXPECT_LT(Clock::now() - later, std::chrono::milliseconds(50));
}

TEST_F(RemoteTest, AClientGoneDuringAWaitEndsItsSessionAtOnce) {
    ASSERT_EQ(qel_host_set_event_wait(store, 5000), 0);
    auto waiting = std::async(std::launch::async, [&] { return take_events(remote, true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    qel_host_disconnect(remote);
    EXPECT_TRUE(waiting.get().empty());
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (server->open_connections() != 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(server->open_connections(), 0u) << "the session outlived its client";
}

TEST_F(RemoteTest, AWaitingThreadDoesNotHoldUpAnotherOnTheSameHandle) {
    ASSERT_EQ(qel_host_set_event_wait(store, 3000), 0);
    ASSERT_EQ(add_node(remote, "/t"), QEL_STATUS_OK);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(remote, "/t", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);
    auto waiting = std::async(std::launch::async, [&] { return take_events(remote, true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    EXPECT_EQ(put(remote, "/t/x", 1), QEL_STATUS_OK);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(1000)), std::future_status::ready);
    const auto seen = waiting.get();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].path, "/t/x");
    EXPECT_EQ(seen[0].cmd, QEL_HOST_CHANGE_LEAF_SET);
}

}  // namespace
