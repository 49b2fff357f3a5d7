// Where nyrd listens: the socket's folder, the lock that keeps two daemons off one socket, and a
// listening socket that appears under its name only once it accepts connections.
#ifndef NYRD_SOCKET_PLACE_H
#define NYRD_SOCKET_PLACE_H

#include <sys/types.h>

#include <optional>
#include <string>

namespace nyrd {

class SocketPlace {
public:
    // Takes the socket's place: creates its folder 0700 when missing, locks `<path>.lock`,
    // refuses a socket that another process serves, replaces a stale one, and binds, listens and
    // renames a socket of mode 0600 into place. With `group`, the folder is made 0750 and the
    // socket 0660, both owned by that group, so that its members can connect; an existing folder
    // must already let the group in. On failure `error` says why, for a person, and nothing is
    // left behind.
    bool take(const std::string& path, std::string& error,
              const std::optional<gid_t>& group = std::nullopt);
    // The listening socket, or -1 before take() succeeded.
    int fd() const { return listen_fd_; }
    // Removes the socket and closes it: new clients find nothing, while the lock still keeps
    // another daemon off until release().
    void withdraw();
    // Withdraws the socket, removes the lock file and unlocks it; the place is free again.
    void release();
    ~SocketPlace() { release(); }

private:
    bool lock(std::string& error);
    bool clear_stale_socket(std::string& error);
    bool listen_and_publish(const std::optional<gid_t>& group, std::string& error);

    std::string path_;
    std::string lock_path_;
    int lock_fd_ = -1;
    int listen_fd_ = -1;
    bool published_ = false;
};

}  // namespace nyrd

#endif  // NYRD_SOCKET_PLACE_H
