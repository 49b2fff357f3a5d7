#include "socket_place.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nyrd {

namespace {

const char kLockSuffix[] = ".lock";
const char kTempSuffix[] = ".new";

std::string system_error(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool fill_address(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates `folder` and any missing folder above it with mode 0700. An existing folder is kept as
// it is, unless another user (not root) owns it or others may write to it without the sticky
// bit: a folder such as /tmp/nyr-UID made by someone else could let them swap the socket under
// us. With a group, the socket's own folder (`group_folder`) is made 0750 and given to it, the
// folders above it 0711, and an existing socket folder must let the group's members through.
bool make_folder(const std::string& folder, std::string& error,
                 const std::optional<gid_t>& group = std::nullopt, bool group_folder = false) {
    const bool for_group = group && group_folder;
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            error = "socket folder " + folder + " is not a folder";
            return false;
        }
        if (st.st_uid != geteuid() && st.st_uid != 0) {
            error = "socket folder " + folder + " belongs to user " + std::to_string(st.st_uid) +
                    ", not to this one";
            return false;
        }
        // Others who may rename entries in it could put their own socket in place of ours.
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
            error = "socket folder " + folder + " may be changed by other users; make it 0700";
            return false;
        }
        if (for_group && (st.st_gid != *group || (st.st_mode & S_IXGRP) == 0)) {
            error = "socket folder " + folder + " does not let group " + std::to_string(*group) +
                    " in; remove it, or give it to the group with mode 0750";
            return false;
        }
        return true;
    }
    if (errno != ENOENT) {
        error = system_error("cannot reach socket folder", folder);
        return false;
    }
    std::string parent = folder_of(folder);
    if (parent != folder && !make_folder(parent, error, group, false)) return false;
    // chmod as well: the umask may have taken bits that the owner needs.
    // Folders above the socket's own, made for a group, let its members pass through only.
    const mode_t mode = for_group ? 0750 : group ? 0711 : 0700;
    if ((mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) || chmod(folder.c_str(), mode) != 0) {
        error = system_error("cannot create socket folder", folder);
        return false;
    }
    if (for_group && chown(folder.c_str(), static_cast<uid_t>(-1), *group) != 0) {
        error = system_error("cannot give group " + std::to_string(*group) + " the socket folder",
                             folder);
        rmdir(folder.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool SocketPlace::take(const std::string& path, std::string& error,
                       const std::optional<gid_t>& group) {
    release();
    sockaddr_un address;
    if (!fill_address(path + kTempSuffix, address)) {
        error = "socket path '" + path + "' is empty or too long (at most " +
                std::to_string(sizeof address.sun_path - 1 - (sizeof kTempSuffix - 1)) + " bytes)";
        return false;
    }
    path_ = path;
    lock_path_ = path + kLockSuffix;
    if (make_folder(folder_of(path), error, group, true) && lock(error) &&
        clear_stale_socket(error) && listen_and_publish(group, error)) {
        return true;
    }
    release();
    return false;
}

// The lock is held for the daemon's life, so a second daemon on the same socket fails here at
// once, and two starting together cannot both find the socket stale and replace each other's.
bool SocketPlace::lock(std::string& error) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        lock_fd_ = open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (lock_fd_ < 0) {
            error = system_error("cannot open lock file", lock_path_);
            return false;
        }
        if (flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
            error =
                errno == EWOULDBLOCK
                    ? "socket " + path_ + " is served by another nyrd (it holds " + lock_path_ + ")"
                    : system_error("cannot lock", lock_path_);
            close(lock_fd_);
            lock_fd_ = -1;
            return false;
        }
        // A daemon that stopped meanwhile removed the file we locked: lock the new one instead.
        struct stat held {
        }, named{};
        if (fstat(lock_fd_, &held) == 0 && stat(lock_path_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return true;
        }
        close(lock_fd_);
        lock_fd_ = -1;
    }
    error = "cannot lock " + lock_path_ + ": it keeps being replaced";
    return false;
}

bool SocketPlace::clear_stale_socket(std::string& error) {
    struct stat st {};
    if (lstat(path_.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        error = system_error("cannot reach socket", path_);
        return false;
    }
    if (!S_ISSOCK(st.st_mode)) {
        error = path_ + " exists and is not a socket; it is left as it is";
        return false;
    }
    // A socket that accepts (or whose queue is full) is served by a process that does not use
    // the lock file, such as a daemon of another version.
    sockaddr_un address;
    fill_address(path_, address);
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) {
        error = system_error("cannot probe socket", path_);
        return false;
    }
    int rc = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int connect_errno = errno;
    close(probe);
    if (rc == 0 || connect_errno == EAGAIN || connect_errno == EINPROGRESS) {
        error = "socket " + path_ + " is served by another process";
        return false;
    }
    if (connect_errno != ECONNREFUSED) {
        errno = connect_errno;
        error = system_error("cannot probe socket", path_);
        return false;
    }
    if (unlink(path_.c_str()) != 0 && errno != ENOENT) {
        error = system_error("cannot remove stale socket", path_);
        return false;
    }
    return true;
}

// Bound under a temporary name, made 0600 (0660 for a group), listening, and only then renamed
// into place: a client that finds the socket can connect at once.
bool SocketPlace::listen_and_publish(const std::optional<gid_t>& group, std::string& error) {
    std::string temp = path_ + kTempSuffix;
    sockaddr_un address;
    fill_address(temp, address);
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_fd_ < 0) {
        error = system_error("cannot create socket for", path_);
        return false;
    }
    unlink(temp.c_str());  // left by a daemon that died while starting; we hold the lock
    if (bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = system_error("cannot bind", temp);
        return false;
    }
    if (group && chown(temp.c_str(), static_cast<uid_t>(-1), *group) != 0) {
        error = system_error("cannot give group " + std::to_string(*group) + " the socket", temp);
        unlink(temp.c_str());
        return false;
    }
    if (chmod(temp.c_str(), group ? 0660 : 0600) != 0 || listen(listen_fd_, SOMAXCONN) != 0 ||
        rename(temp.c_str(), path_.c_str()) != 0) {
        error = system_error("cannot publish socket", path_);
        unlink(temp.c_str());
        return false;
    }
    published_ = true;
    return true;
}

void SocketPlace::withdraw() {
    if (published_) unlink(path_.c_str());
    published_ = false;
    if (listen_fd_ >= 0) close(listen_fd_);
    listen_fd_ = -1;
}

void SocketPlace::release() {
    withdraw();
    if (lock_fd_ >= 0) {
        // Removed while still locked; a daemon that opened it meanwhile notices and retries.
        unlink(lock_path_.c_str());
        close(lock_fd_);
    }
    lock_fd_ = -1;
}

}  // namespace nyrd
