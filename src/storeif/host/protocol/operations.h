// Every call on a handle as a value: its arguments, then what it hands back. The same structs are
// filled by the qel_ entry points, carried out by the local backend (api/local.h), sent by the
// remote backend and decoded by nyrd, so a call's shape is written here once.
//
// `args` lists the arguments in the order they travel in a request (after the operation byte);
// `outs` lists the outputs in the order they follow the result in a reply, and travels only when
// `carried(result)`. The field codec (protocol/fields.h) reads and writes both lists:
//   f(x)              one text, integer, flag, value, time or event
//   f.array(p, n)     n entries of an array the decoder allocates (a count travels before it)
//   f.fill(p, n)      n entries written into an array the caller provides
//   f.records(p, n)   n event records in a malloc'd array that becomes the caller's
//   f.encoded(p, n, at, size)  n event records, which nyrd leaves in the request at [at, at+size)
// Members after `// kept here` do not travel.
#ifndef NYR_HOST_PROTOCOL_OPERATIONS_H
#define NYR_HOST_PROTOCOL_OPERATIONS_H

#include <sys/time.h>

#include <algorithm>
#include <cstdint>

#include "nyr_host.h"

namespace nyrproto {

class FrameOut;

// The operations, in the order of their codes (1, 2, ...).
// clang-format off
#define NYR_OPERATIONS(X)                                                                       \
    X(AddNode) X(RemoveNode) X(SetLeaf) X(ClearLeaf) X(TestNode) X(GetLeaf)                     \
    X(TestNodes) X(AddNodes) X(RemoveNodes) X(ClearLeaves) X(SetLeaves) X(GetLeaves)            \
    X(ListNode) X(MplFetch)                                                                     \
    X(EventRegister) X(EventClear) X(EventsSend) X(EventsGet) X(EventsGetNonblocking)           \
    X(LogStore) X(LogRetrieve) X(LogClear)                                                      \
    X(WatchdogRegister) X(WatchdogPing) X(WatchdogClear) X(SetVerbosity) X(SyslogAdd)           \
    X(OverflowCount) X(QueuedCount) X(WatchdogState) X(Verbosity) X(SyslogCount) X(SyslogEntry)   \
    X(Stats) X(HistoryInfo) X(HistoryChanges) X(LeafAt) X(SubtreeAt) X(EventRegisterFrom)       \
    X(EventRevisions)
// clang-format on

enum class Op : uint8_t {
    kNone = 0,
#define NYR_OP_CODE(name) name,
    NYR_OPERATIONS(NYR_OP_CODE)
#undef NYR_OP_CODE
};

// The field lists, in their order: arguments in the request, outputs in the reply.
#define NYR_ARGS(...)     \
    template <typename F> \
    void args(F& f) {     \
        __VA_ARGS__;      \
    }
#define NYR_OUTS(...)     \
    template <typename F> \
    void outs(F& f) {     \
        __VA_ARGS__;      \
    }

// What every operation shares: outputs travel when the call was carried out.
template <Op K>
struct Operation {
    static constexpr Op id = K;
    // Whether the reply hands over what the daemon no longer keeps (fetched events).
    static constexpr bool hands_over = false;
    static bool carried(long long result) { return result == 0; }
    template <typename F>
    void args(F&) {}
    template <typename F>
    void outs(F&) {}
};

// A path and a source: add_node, remove_node, clear_leaf.
template <Op K>
struct PathWrite : Operation<K> {
    const char* path = nullptr;
    const char* source = nullptr;
    api_status_t status = 0;
    NYR_ARGS(f(path), f(source))
    NYR_OUTS(f(status))
};
using AddNode = PathWrite<Op::AddNode>;
using RemoveNode = PathWrite<Op::RemoveNode>;
using ClearLeaf = PathWrite<Op::ClearLeaf>;

struct SetLeaf : Operation<Op::SetLeaf> {
    const char* path = nullptr;
    _element_datatype_t value{};
    qel_tribool_t tribool = 0;
    bool auto_time = false;
    const char* source = nullptr;
    api_status_t status = 0;
    NYR_ARGS(f(path), f(value), f(tribool), f(auto_time), f(source))
    NYR_OUTS(f(status))
};

struct TestNode : Operation<Op::TestNode> {
    const char* path = nullptr;
    api_status_t status = 0;
    NYR_ARGS(f(path))
    NYR_OUTS(f(status))
};

struct GetLeaf : Operation<Op::GetLeaf> {
    const char* path = nullptr;
    api_status_t status = 0;
    _element_datatype_t value{};  // with `property`, only when the leaf was found
    element_property_t property = 0;
    NYR_ARGS(f(path))
    NYR_OUTS(f(status); if (status == QEL_STATUS_OK) f(value), f(property))
};

struct TestNodes : Operation<Op::TestNodes> {
    uint32_t count = 0;
    const char* const* paths = nullptr;
    api_status_t* statuses = nullptr;  // the caller's, `count` entries
    NYR_ARGS(f(count), f.array(paths, count))
    NYR_OUTS(f.fill(statuses, count))
};

// Paths and a source, one status each: add_nodes, remove_nodes, clear_leaves.
template <Op K>
struct PathBatch : Operation<K> {
    uint32_t count = 0;
    const char* const* paths = nullptr;
    const char* source = nullptr;
    api_status_t* statuses = nullptr;  // handed back
    uint32_t status_count = 0;
    NYR_ARGS(f(count), f.array(paths, count), f(source))
    NYR_OUTS(f(status_count), f.array(statuses, status_count))
};
using AddNodes = PathBatch<Op::AddNodes>;
using RemoveNodes = PathBatch<Op::RemoveNodes>;
using ClearLeaves = PathBatch<Op::ClearLeaves>;

struct SetLeaves : PathBatch<Op::SetLeaves> {
    const _element_datatype_t* values = nullptr;
    const qel_tribool_t* tribools = nullptr;
    const bool* auto_time = nullptr;
    NYR_ARGS(f(count), f.array(paths, count), f.array(values, count), f.array(tribools, count),
             f.array(auto_time, count), f(source))
};

struct GetLeaves : Operation<Op::GetLeaves> {
    uint32_t count = 0;
    const char* const* paths = nullptr;
    api_status_t* statuses = nullptr;  // handed back
    uint32_t status_count = 0;
    _element_datatype_t* values = nullptr;  // the caller's, `count` entries each
    element_property_t* properties = nullptr;
    NYR_ARGS(f(count), f.array(paths, count))
    NYR_OUTS(f(status_count), f.array(statuses, status_count), f.fill(values, count),
             f.fill(properties, count))
};

// list_node and mpl_fetch fill min(capacity, total) entries of each array.
struct ListNode : Operation<Op::ListNode> {
    const char* path = nullptr;
    uint32_t types_capacity = 0, properties_capacity = 0, names_capacity = 0;
    api_status_t status = 0;
    uint32_t total = 0;
    element_type_t* types = nullptr;  // the caller's arrays
    element_property_t* properties = nullptr;
    _byte_array_t* names = nullptr;
    // kept here: the arrays are made by the local backend, no longer than what it fills, and
    // the capacities cut to that (nyrd's case, where they are not the caller's)
    bool arrays_made = false;
    NYR_ARGS(f(path), f(types_capacity), f(properties_capacity), f(names_capacity))
    NYR_OUTS(f(status); if (status != QEL_STATUS_OK) return;
             f(total), f.fill(types, std::min(types_capacity, total)),
             f.fill(properties, std::min(properties_capacity, total)),
             f.fill(names, std::min(names_capacity, total)))
};

struct MplFetch : Operation<Op::MplFetch> {
    const char* path = nullptr;
    uint32_t values_capacity = 0, names_capacity = 0;
    api_status_t status = 0;
    uint32_t total = 0;
    _element_datatype_t* values = nullptr;  // the caller's arrays
    _byte_array_t* names = nullptr;
    bool arrays_made = false;  // kept here: as in ListNode
    NYR_ARGS(f(path), f(values_capacity), f(names_capacity))
    NYR_OUTS(f(status); if (status != QEL_STATUS_OK) return;
             f(total), f.fill(values, std::min(values_capacity, total)),
             f.fill(names, std::min(names_capacity, total)))
};

struct EventRegister : Operation<Op::EventRegister> {
    const char* path = nullptr;
    api_event_t kind = 0;
    bool flag = false;
    api_status_t status = 0;
    NYR_ARGS(f(path), f(kind), f(flag))
    NYR_OUTS(f(status))
};

struct EventClear : Operation<Op::EventClear> {
    const char* path = nullptr;
    api_event_t kind = 0;
    api_status_t status = 0;
    NYR_ARGS(f(path), f(kind))
    NYR_OUTS(f(status))
};

struct EventsSend : Operation<Op::EventsSend> {
    uint32_t count = 0;
    const _event_t* records = nullptr;
    api_status_t* statuses = nullptr;  // handed back
    uint32_t status_count = 0;
    // kept here: in nyrd, the records as they arrived, each read when the call is carried out
    // (`records` is then null), so that a batch is not held as records beside the store's copies
    const char* encoded = nullptr;
    std::size_t encoded_size = 0;
    NYR_ARGS(f(count), f.encoded(records, count, encoded, encoded_size))
    NYR_OUTS(f(status_count), f.array(statuses, status_count))
};

// The result is the number of events handed back.
template <Op K>
struct EventsFetch : Operation<K> {
    static constexpr bool wait = K == Op::EventsGet;
    static constexpr bool hands_over = true;
    static bool carried(long long result) { return result > 0; }
    _event_t* records = nullptr;
    uint32_t count = 0;
    // kept here: the most bytes the encoded events may take, so that a reply carries what fits
    // and leaves the rest queued; and the reply's frame, made large enough for them before they
    // leave the queue, so that none is taken and then lost for want of memory
    uint64_t room = UINT64_MAX;
    FrameOut* reply = nullptr;
    NYR_OUTS(f(count), f.records(records, count))
};
using EventsGet = EventsFetch<Op::EventsGet>;
using EventsGetNonblocking = EventsFetch<Op::EventsGetNonblocking>;

struct LogStore : Operation<Op::LogStore> {
    uint32_t count = 0;
    const _event_t* records = nullptr;
    bool flag = false;
    // kept here: in nyrd, the records as they arrived, as for EventsSend
    const char* encoded = nullptr;
    std::size_t encoded_size = 0;
    NYR_ARGS(f(count), f.encoded(records, count, encoded, encoded_size), f(flag))
};

struct LogRetrieve : Operation<Op::LogRetrieve> {
    const char* path = nullptr;
    const struct timeval* from = nullptr;
    const struct timeval* to = nullptr;
    uint32_t option_a = 0;
    bool flag_a = false;
    uint32_t option_b = 0;
    _event_t* records = nullptr;
    uint32_t count = 0;
    NYR_ARGS(f(path), f(from), f(to), f(option_a), f(flag_a), f(option_b))
    NYR_OUTS(f(count), f.records(records, count))
};

struct LogClear : Operation<Op::LogClear> {
    const char* path = nullptr;
    const struct timeval* from = nullptr;
    const struct timeval* to = nullptr;
    NYR_ARGS(f(path), f(from), f(to))
};

struct WatchdogRegister : Operation<Op::WatchdogRegister> {
    const char* text = nullptr;
    uint32_t number = 0;
    bool flag = false;
    api_status_t status = 0;
    NYR_ARGS(f(text), f(number), f(flag))
    NYR_OUTS(f(status))
};

// watchdog_ping and watchdog_clear: no arguments, a status.
template <Op K>
struct WatchdogCall : Operation<K> {
    api_status_t status = 0;
    NYR_OUTS(f(status))
};
using WatchdogPing = WatchdogCall<Op::WatchdogPing>;
using WatchdogClear = WatchdogCall<Op::WatchdogClear>;

struct SetVerbosity : Operation<Op::SetVerbosity> {
    nyrverb_thread_t thread = 0;
    uint32_t level = 0;
    const char* text = nullptr;
    api_status_t status = 0;
    NYR_ARGS(f(thread), f(level), f(text))
    NYR_OUTS(f(status))
};

struct SyslogAdd : Operation<Op::SyslogAdd> {
    const char* first = nullptr;
    syslog_severity_t severity = 0;
    const char* second = nullptr;
    const char* third = nullptr;
    NYR_ARGS(f(first), f(severity), f(second), f(third))
};

// The result is the count: overflow_count, queued_count, syslog_count.
template <Op K>
struct Count : Operation<K> {
    static bool carried(long long) { return false; }
};
using OverflowCount = Count<Op::OverflowCount>;
using QueuedCount = Count<Op::QueuedCount>;
using SyslogCount = Count<Op::SyslogCount>;

struct WatchdogState : Operation<Op::WatchdogState> {
    int32_t registered = 0;
    uint32_t pings = 0, number = 0;
    NYR_OUTS(f(registered), f(pings), f(number))
};

struct Verbosity : Operation<Op::Verbosity> {
    nyrverb_thread_t thread = 0;
    uint32_t level = 0;
    NYR_ARGS(f(thread))
    NYR_OUTS(f(level))
};

struct SyslogEntry : Operation<Op::SyslogEntry> {
    uint32_t index = 0;
    syslog_severity_t severity = 0;
    const char* first = nullptr;
    const char* second = nullptr;
    const char* third = nullptr;
    NYR_ARGS(f(index))
    NYR_OUTS(f(severity), f(first), f(second), f(third))
};

// qel_host_stats: the store's figures from the local backend, the daemon's from nyrd.
struct Stats : Operation<Op::Stats> {
    qel_host_stats_t stats{};
    // clang-format off
    NYR_OUTS(f(stats.handles), f(stats.registrations), f(stats.queued_events),
             f(stats.queued_bytes), f(stats.overflow), f(stats.file_bytes), f(stats.commits),
             f(stats.commit_us), f(stats.log_events), f(stats.history_changes),
             f(stats.history_bytes), f(stats.handle_count),
             f.array(stats.per_handle, stats.handle_count),
             f(stats.served), f(stats.connections), f(stats.sessions),
             f(stats.requests_in_flight), f(stats.request_memory), f(stats.request_memory_limit),
             f(stats.requests_waited), f(stats.requests_refused), f(stats.user_count),
             f.array(stats.users, stats.user_count))
    // clang-format on
};

struct HistoryInfo : Operation<Op::HistoryInfo> {
    uint64_t revision = 0, oldest = 0;
    const char* epoch = nullptr;
    NYR_OUTS(f(revision), f(oldest), f(epoch))
};

struct HistoryChanges : Operation<Op::HistoryChanges> {
    const char* path = nullptr;
    uint64_t from_revision = 0;
    uint32_t from_index = 0;
    uint64_t until_revision = UINT64_MAX;
    const struct timeval* since = nullptr;
    const struct timeval* until = nullptr;
    uint32_t limit = 0;
    bool newest = false;
    api_status_t status = 0;
    uint32_t count = 0;
    qel_host_change_t* changes = nullptr;  // handed back
    NYR_ARGS(f(path), f(from_revision), f(from_index), f(until_revision), f(since), f(until),
             f(limit), f(newest))
    NYR_OUTS(f(status), f(count), f.array(changes, count))
};

// The tree as it was: at `revision`, or at the time `at` when it is not null.
struct LeafAt : Operation<Op::LeafAt> {
    const char* path = nullptr;
    uint64_t revision = 0;
    const struct timeval* at = nullptr;
    api_status_t status = 0;
    uint64_t at_revision = 0;
    _element_datatype_t value{};  // with `property`, only when the leaf was found
    element_property_t property = 0;
    NYR_ARGS(f(path), f(revision), f(at))
    NYR_OUTS(f(status), f(at_revision); if (status == QEL_STATUS_OK) f(value), f(property))
};

struct SubtreeAt : Operation<Op::SubtreeAt> {
    const char* path = nullptr;
    uint64_t revision = 0;
    const struct timeval* at = nullptr;
    api_status_t status = 0;
    uint64_t at_revision = 0;
    uint32_t count = 0;
    qel_host_entry_t* entries = nullptr;  // handed back
    NYR_ARGS(f(path), f(revision), f(at))
    NYR_OUTS(f(status), f(at_revision), f(count), f.array(entries, count))
};

struct EventRegisterFrom : Operation<Op::EventRegisterFrom> {
    const char* path = nullptr;
    api_event_t kind = 0;
    bool flag = false;
    uint64_t revision = 0;
    api_status_t status = 0;
    NYR_ARGS(f(path), f(kind), f(flag), f(revision))
    NYR_OUTS(f(status))
};

struct EventRevisions : Operation<Op::EventRevisions> {
    uint32_t count = 0;
    uint64_t* revisions = nullptr;  // handed back
    NYR_OUTS(f(count), f.array(revisions, count))
};

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_OPERATIONS_H
