// Process services in this process: the watchdog, per-thread verbosity and the system log, and
// what tools and tests observe of a handle. The host store records what it is told and acts on
// none of it.
#include <sys/stat.h>

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

// The store's own figures; nyrd adds its own to them. The sizes of the event log and of the tree's
// history are to join them here once the store keeps them apart.
long long run(HandleCall& call, Stats& op) {
    qel_host_stats_t& out = op.stats;
    out.handles = static_cast<uint32_t>(call.store->handles.size());
    auto* per_handle = call.scratch->alloc<qel_host_handle_stats_t>(call.store->handles.size());
    for (std::size_t k = 0; k < call.store->handles.size(); ++k) {
        const qel_handle_s& handle = *call.store->handles[k];
        handle.store->mutex.assert_held();  // the store's one lock, which the call holds
        per_handle[k] = qel_host_handle_stats_t{static_cast<uint32_t>(handle.registered.size()),
                                                static_cast<uint32_t>(handle.queue.size()),
                                                handle.queued_bytes, handle.overflow};
        out.registrations += per_handle[k].registrations;
        out.queued_events += per_handle[k].queued_events;
        out.queued_bytes += per_handle[k].queued_bytes;
        out.overflow += per_handle[k].overflow;
    }
    out.handle_count = out.handles;
    out.per_handle = per_handle;
    struct stat file {};
    for (const char* suffix : {"", "-wal"}) {
        if (!call.store->file_path.empty() &&
            ::stat((call.store->file_path + suffix).c_str(), &file) == 0)
            out.file_bytes += static_cast<uint64_t>(file.st_size);
    }
    out.commits = call.store->commits;
    out.commit_us = call.store->commit_us;
    out.history_changes = call.store->history->held_changes();
    out.history_bytes = call.store->history->held_bytes();
    out.log_events = call.store->log->size();  // the log's own lock, taken after the store's
    return QEL_RESULT_OK;
}

}  // namespace nyrlocal
