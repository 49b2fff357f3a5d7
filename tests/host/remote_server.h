// A store served to remote handles from inside the test program, as nyrd serves one: a socket in
// a folder of its own, a thread per connection running the daemon's session.
#ifndef TESTS_HOST_REMOTE_SERVER_H
#define TESTS_HOST_REMOTE_SERVER_H

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session.h"

namespace remotetest {

class TestServer {
public:
    explicit TestServer(qel_store_t* store, nyrd::SessionLimits limits = {}) {
        char folder[] = "/tmp/nyr-remote-test-XXXXXX";
        if (mkdtemp(folder) == nullptr) std::abort();
        folder_ = folder;
        path_ = folder_ + "/nyr.sock";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path_.c_str());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0)
            std::abort();
        const nyrd::Report report = [this](int, const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            reports_.push_back(line);
        };
        acceptor_ = std::thread([this, store, limits, report] {
            for (;;) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) return;
                std::lock_guard<std::mutex> lock(mutex_);
                connections_.push_back(fd);
                workers_.emplace_back([this, fd, store, limits, report] {
                    nyrd::serve_connection(fd, store, limits, report);
                    std::lock_guard<std::mutex> lock(mutex_);
                    connections_.erase(std::find(connections_.begin(), connections_.end(), fd));
                    ::close(fd);
                });
            }
        });
    }
    ~TestServer() {
        kill();
        ::unlink(path_.c_str());
        ::rmdir(folder_.c_str());
    }

    const std::string& path() const { return path_; }

    // Stops serving at once, as a daemon that dies: every connection breaks.
    void kill() {
        if (listener_ < 0) return;
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        ::close(listener_);
        listener_ = -1;
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
            workers.swap(workers_);
        }
        for (auto& worker : workers) worker.join();
    }

    std::size_t open_connections() {
        std::lock_guard<std::mutex> lock(mutex_);
        return connections_.size();
    }

    std::vector<std::string> reports() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_;
    }

private:
    std::string folder_, path_;
    int listener_ = -1;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> connections_;
    std::vector<std::thread> workers_;
    std::vector<std::string> reports_;
};

}  // namespace remotetest

#endif  // TESTS_HOST_REMOTE_SERVER_H
