#include "peer_check.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace nyrd {

namespace {

// The peer's supplementary groups as the kernel recorded them when it connected, so that a
// member of --group whose primary group is another one is admitted too.
bool peer_in_group(int fd, const ucred& cred, gid_t group) {
    if (cred.gid == group) return true;
    std::vector<gid_t> groups(32);
    for (;;) {
        socklen_t len = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &len) == 0) {
            groups.resize(len / sizeof(gid_t));
            return std::find(groups.begin(), groups.end(), group) != groups.end();
        }
        // ERANGE reports the size needed in `len`; anything else leaves only the primary group.
        if (errno != ERANGE || len <= groups.size() * sizeof(gid_t)) return false;
        groups.resize(len / sizeof(gid_t));
    }
}

}  // namespace

std::string check_peer(int fd, uid_t owner, const std::optional<gid_t>& group, uid_t* uid) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
        return std::string("peer credentials unavailable: ") + std::strerror(errno);
    }
    if (uid != nullptr) *uid = cred.uid;
    if (cred.uid == owner || cred.uid == 0) return {};
    if (group && peer_in_group(fd, cred, *group)) return {};
    std::string who = "process " + std::to_string(cred.pid) + " of user " +
                      std::to_string(cred.uid) + " (group " + std::to_string(cred.gid) + ")";
    std::string allowed = "the daemon's user (" + std::to_string(owner) + ")";
    allowed += group ? ", root nor a member of group " + std::to_string(*group) : " nor root";
    return who + " is neither " + allowed;
}

}  // namespace nyrd
