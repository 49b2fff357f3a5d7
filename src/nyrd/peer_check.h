// Who may talk to nyrd: the daemon's own user, root, and with --group the members of one group.
#ifndef NYRD_PEER_CHECK_H
#define NYRD_PEER_CHECK_H

#include <sys/types.h>

#include <optional>
#include <string>

namespace nyrd {

// Checks the credentials the kernel records for the peer of the connected socket `fd`. Returns
// an empty string for a peer that is admitted, otherwise a one-line reason naming the peer. The
// peer's user goes to `uid` when it is not null and the credentials could be read.
std::string check_peer(int fd, uid_t owner, const std::optional<gid_t>& group,
                       uid_t* uid = nullptr);

}  // namespace nyrd

#endif  // NYRD_PEER_CHECK_H
