// The local backend: each operation carried out on a handle of a store in this process, under the
// store's lock. The entry points (api/entry.h) and nyrd's sessions call it after the arguments
// were checked; it returns the call's result and fills the operation's outputs.
#ifndef NYR_HOST_API_LOCAL_H
#define NYR_HOST_API_LOCAL_H

#include <memory>

#include "protocol/operations.h"

struct qel_handle_s;

namespace nyrlocal {

using Handle = std::shared_ptr<qel_handle_s>;

#define NYR_LOCAL_RUN(name) long long run(const Handle& handle, nyrproto::name& op);
NYR_OPERATIONS(NYR_LOCAL_RUN)
#undef NYR_LOCAL_RUN

}  // namespace nyrlocal

#endif  // NYR_HOST_API_LOCAL_H
