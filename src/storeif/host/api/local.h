// The local backend: each operation carried out on a handle of a store in this process. The entry
// points (api/entry.h) and nyrd's sessions call carry_out() after the arguments were checked; it
// returns the call's result and fills the operation's outputs.
//
// Most operations run wholly under the store's lock, which carry_out() takes, refusing a handle
// closed meanwhile. The writes copy what they are given, and make the room their parsing needs,
// before the lock is taken (so that a write that cannot allocate changes nothing, and the lock is
// held only for the write itself, and let go while a store file commits them); they take the
// handle and the lock themselves, as do the event log's calls.
#ifndef NYR_HOST_API_LOCAL_H
#define NYR_HOST_API_LOCAL_H

#include <memory>
#include <type_traits>
#include <utility>

#include "core/call.h"
#include "protocol/operations.h"

namespace nyrlocal {

using Handle = std::shared_ptr<qel_handle_s>;
using nyrhost::HandleCall;

// What a run under carry_out()'s lock holds, under both names of the store's mutex.
#define HOLDS_STORE(call) REQUIRES(call.store->mutex, call.handle->store->mutex)

#define NYR_LOCKED_RUN(name) long long run(HandleCall& call, nyrproto::name& op) HOLDS_STORE(call);
NYR_OPERATIONS(NYR_LOCKED_RUN)
#undef NYR_LOCKED_RUN
// clang-format off
#define NYR_HANDLE_RUN(name) long long run(const Handle& handle, nyrproto::name& op);
NYR_HANDLE_RUN(AddNode) NYR_HANDLE_RUN(RemoveNode) NYR_HANDLE_RUN(ClearLeaf)
NYR_HANDLE_RUN(SetLeaf) NYR_HANDLE_RUN(AddNodes) NYR_HANDLE_RUN(RemoveNodes)
NYR_HANDLE_RUN(ClearLeaves) NYR_HANDLE_RUN(SetLeaves) NYR_HANDLE_RUN(EventsSend)
NYR_HANDLE_RUN(LogStore) NYR_HANDLE_RUN(LogRetrieve) NYR_HANDLE_RUN(LogClear)
#undef NYR_HANDLE_RUN
    // clang-format on

    template <typename Operation, typename = void>
    struct Prepares : std::false_type {
};
template <typename Operation>
struct Prepares<Operation, std::void_t<decltype(run(std::declval<const Handle&>(),
                                                    std::declval<Operation&>()))>>
    : std::true_type {};

template <typename Operation>
long long carry_out(const Handle& handle, Operation& op) {
    if constexpr (Prepares<Operation>::value) {
        return run(handle, op);
    } else {
        HandleCall call(handle);
        if (!call) return QEL_RESULT_BAD_HANDLE;
        return run(call, op);
    }
}

}  // namespace nyrlocal

#endif  // NYR_HOST_API_LOCAL_H
