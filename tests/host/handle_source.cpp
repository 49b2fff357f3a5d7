// Handles in process or through a listener on a socket of the test's own (handle_source.h).
#include "handle_source.h"

#include <gtest/gtest.h>
#include <listener.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace storetest {

namespace {

// A listener serving one store, on a socket in a folder of its own.
struct Served {
    std::unique_ptr<nyrd::Listener> listener;
    std::string folder, socket;
};

std::mutex served_mutex;
std::map<qel_store_t*, Served> served;  // guarded by served_mutex

// The socket of the listener serving `store`, started when there is none yet.
std::string socket_for(qel_store_t* store) {
    static int count = 0;
    std::lock_guard<std::mutex> lock(served_mutex);
    auto found = served.find(store);
    if (found != served.end()) return found->second.socket;
    Served s;
    s.folder = "/tmp/nyr-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    s.socket = s.folder + "/s";
    nyrd::ListenerOptions options;
    options.socket_path = s.socket;
    options.report = [](int, const std::string& line) {
        std::fprintf(stderr, "nyrd: %s\n", line.c_str());
    };
    std::string error;
    s.listener = nyrd::Listener::start(store, options, error);
    EXPECT_TRUE(s.listener) << error;
    return served.emplace(store, std::move(s)).first->second.socket;
}

}  // namespace

bool remote_handles() {
    const char* remote = std::getenv("NYR_TEST_REMOTE");
    return remote != nullptr && std::string(remote) == "1";
}

qel_handle_t open_handle(qel_store_t* store) {
    if (!remote_handles()) return qel_host_handle_open(store);
    if (qel_host_log_dropped_count(store) < 0) return nullptr;  // not an open store
    return qel_host_connect(socket_for(store).c_str());
}

void close_store(qel_store_t* store) {
    Served s;
    {
        std::lock_guard<std::mutex> lock(served_mutex);
        auto found = served.find(store);
        if (found != served.end()) {
            s = std::move(found->second);
            served.erase(found);
        }
    }
    if (s.listener) {
        s.listener->stop();
        rmdir(s.folder.c_str());  // the listener made it
    }
    qel_host_store_close(store);
}

}  // namespace storetest
