// Process services in this process: the watchdog, per-thread verbosity and the system log, and
// what tools and tests observe of a handle. The host store records what it is told and acts on
// none of it.
#include "api/local.h"
#include "core/call.h"

namespace nyrlocal {

using namespace nyrproto;
using nyrhost::or_empty;

long long run(HandleCall& call, WatchdogRegister& op) {
    call.handle->watchdog = nyrhost::Watchdog{true, or_empty(op.text), op.number, op.flag, 0};
    op.status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, WatchdogPing& op) {
    nyrhost::Watchdog& watchdog = call.handle->watchdog;
    if (watchdog.registered) ++watchdog.pings;
    op.status = watchdog.registered ? QEL_STATUS_OK : QEL_STATUS_NOT_FOUND;
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, WatchdogClear& op) {
    op.status = call.handle->watchdog.registered ? QEL_STATUS_OK : QEL_STATUS_NOT_FOUND;
    call.handle->watchdog = nyrhost::Watchdog{};
    return QEL_RESULT_OK;
}

// The text is a label for the setting; the host store keeps only the level.
long long run(HandleCall& call, SetVerbosity& op) {
    call.store->verbosity[op.thread] = op.level;
    op.status = QEL_STATUS_OK;
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, SyslogAdd& op) {
    call.store->syslog.push_back(
        {or_empty(op.first), or_empty(op.second), or_empty(op.third), op.severity});
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, OverflowCount&) {
    return static_cast<long long>(call.handle->overflow);
}

long long run(HandleCall& call, QueuedCount&) {
    return static_cast<long long>(call.handle->queue.size());
}

long long run(HandleCall& call, SyslogCount&) {
    return static_cast<long long>(call.store->syslog.size());
}

long long run(HandleCall& call, WatchdogState& op) {
    op.registered = call.handle->watchdog.registered ? 1 : 0;
    op.pings = call.handle->watchdog.pings;
    op.number = call.handle->watchdog.number;
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, Verbosity& op) {
    auto it = call.store->verbosity.find(op.thread);
    op.level = it == call.store->verbosity.end() ? 0 : it->second;
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, SyslogEntry& op) {
    if (op.index >= call.store->syslog.size()) return QEL_RESULT_BAD_ARGUMENT;
    nyrhost::Scratch& scratch = *call.scratch;
    const nyrhost::SyslogEntry& entry = call.store->syslog[op.index];
    op.severity = entry.severity;
    op.first = scratch.keep(entry.first).data;
    op.second = scratch.keep(entry.second).data;
    op.third = scratch.keep(entry.third).data;
    return QEL_RESULT_OK;
}

}  // namespace nyrlocal
