// Each request made as the public qel_ call on the session's handle, so that a remote handle
// gives what an in-process one gives; the reply is built from what the call handed back, before
// the next call on the handle can change it.
#include "session_calls.h"

#include <algorithm>
#include <cstdlib>

#include "core/owned_event.h"

namespace nyrd {

using nyrhost::WireWriter;
using nyrproto::FrameOut;
using nyrproto::Op;
using nyrproto::Request;

namespace {

// Memory a connection keeps between calls at most, per vector.
constexpr std::size_t kKeptEntries = 1024;

template <typename T>
void trim_vector(std::vector<T>& v) {
    if (v.capacity() > kKeptEntries) std::vector<T>().swap(v);
}

// Builds the reply, or a bare QEL_RESULT_NO_MEMORY when it would be too long to send.
template <typename Write>
void reply_with(FrameOut& reply, Write&& write) {
    if (!reply.build(write)) reply.build([](WireWriter& w) { w.i32(QEL_RESULT_NO_MEMORY); });
}

// `status` is read after `result`'s call has written it.
void reply_status(FrameOut& reply, int result, const api_status_t& status) {
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result == QEL_RESULT_OK) w.i32(status);
    });
}

void reply_result(FrameOut& reply, int result) {
    reply_with(reply, [&](WireWriter& w) { w.i32(result); });
}

void reply_statuses(FrameOut& reply, int result, const api_status_t* statuses, uint32_t count) {
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.u32(count);
        for (uint32_t k = 0; k < count; ++k) w.i32(statuses[k]);
    });
}

// The request's events as records for the store; their list arrays are freed by release().
const _event_t* records_of(const Request& request, Workspace& work) {
    work.texts.clear();
    work.records.resize(request.events.size());
    for (std::size_t k = 0; k < request.events.size(); ++k)
        nyrhost::to_record(request.events[k], work.records[k], work.texts);
    return work.records.data();
}

void release(Workspace& work) {
    for (_event_t& record : work.records) destruct_event(&record);
    work.records.clear();
}

// Events handed back by the store, sent after the result and freed as a caller frees them.
void reply_events(FrameOut& reply, int result, _event_t* records, uint32_t count,
                  bool count_is_result) {
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (!count_is_result) {
            if (result != QEL_RESULT_OK) return;
            w.u32(count);
        }
        for (uint32_t k = 0; k < count; ++k) nyrproto::write_event(w, records[k]);
    });
    for (uint32_t k = 0; k < count; ++k) destruct_event(&records[k]);
    std::free(records);
}

void write_name(WireWriter& w, const _byte_array_t& name) {
    nyrproto::write_ptext(w, name.data, name.length);
}

void list_node(const Request& q, qel_handle_t h, Workspace& work, FrameOut& reply) {
    api_status_t status = 0;
    uint32_t total = 0;
    int result = qel_list_node(h, q.path, &status, &total, nullptr, 0, nullptr, 0, nullptr, 0);
    uint32_t n_types = 0, n_properties = 0, n_names = 0;
    // The node may grow between the two calls: ask again until the places asked for are filled.
    for (uint32_t known = total; result == QEL_RESULT_OK && status == QEL_STATUS_OK;) {
        n_types = std::min(q.a, known);
        n_properties = std::min(q.b, known);
        n_names = std::min(q.c, known);
        work.types.resize(n_types);
        work.properties.resize(n_properties);
        work.names.resize(n_names);
        result = qel_list_node(h, q.path, &status, &total, work.types.data(), n_types,
                               work.properties.data(), n_properties, work.names.data(), n_names);
        if (total <= known || std::max({q.a, q.b, q.c}) <= known) break;
        known = total;
    }
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.i32(status);
        if (status != QEL_STATUS_OK) return;
        w.u32(total);
        w.u32(std::min(n_types, total));
        for (uint32_t k = 0; k < std::min(n_types, total); ++k) w.i32(work.types[k]);
        w.u32(std::min(n_properties, total));
        for (uint32_t k = 0; k < std::min(n_properties, total); ++k) w.u32(work.properties[k]);
        w.u32(std::min(n_names, total));
        for (uint32_t k = 0; k < std::min(n_names, total); ++k) write_name(w, work.names[k]);
    });
}

void mpl_fetch(const Request& q, qel_handle_t h, Workspace& work, FrameOut& reply) {
    api_status_t status = 0;
    uint32_t total = 0;
    int result = qel_mpl_fetch(h, q.path, &status, &total, nullptr, 0, nullptr, 0);
    uint32_t n_values = 0, n_names = 0;
    for (uint32_t known = total; result == QEL_RESULT_OK && status == QEL_STATUS_OK;) {
        n_values = std::min(q.a, known);
        n_names = std::min(q.b, known);
        work.values.resize(n_values);
        work.names.resize(n_names);
        result = qel_mpl_fetch(h, q.path, &status, &total, work.values.data(), n_values,
                               work.names.data(), n_names);
        if (total <= known || std::max(q.a, q.b) <= known) break;
        known = total;
    }
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.i32(status);
        if (status != QEL_STATUS_OK) return;
        w.u32(total);
        w.u32(std::min(n_values, total));
        for (uint32_t k = 0; k < std::min(n_values, total); ++k)
            nyrproto::write_value(w, work.values[k]);
        w.u32(std::min(n_names, total));
        for (uint32_t k = 0; k < std::min(n_names, total); ++k) write_name(w, work.names[k]);
    });
}

void get_leaves(const Request& q, qel_handle_t h, Workspace& work, FrameOut& reply) {
    const auto count = static_cast<uint32_t>(q.paths.size());
    work.values.resize(count);
    work.properties.resize(count);
    api_status_t* statuses = nullptr;
    uint32_t status_count = 0;
    const int result = qel_get_leaves(h, q.paths.data(), count, &statuses, &status_count,
                                      work.values.data(), work.properties.data(), count);
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.u32(status_count);
        for (uint32_t k = 0; k < status_count; ++k) {
            w.i32(statuses[k]);
            const bool found = statuses[k] == QEL_STATUS_OK;
            w.u8(found ? 1 : 0);
            if (!found) continue;
            nyrproto::write_value(w, work.values[k]);
            w.u32(work.properties[k]);
        }
    });
}

void get_leaf(const Request& q, qel_handle_t h, FrameOut& reply) {
    api_status_t status = 0;
    _element_datatype_t value{};
    element_property_t property = 0;
    const int result = qel_get_leaf(h, q.path, &status, &value, &property);
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.i32(status);
        const bool found = status == QEL_STATUS_OK;
        w.u8(found ? 1 : 0);
        if (!found) return;
        nyrproto::write_value(w, value);
        w.u32(property);
    });
}

void batch(const Request& q, qel_handle_t h, FrameOut& reply) {
    const auto count = static_cast<uint32_t>(q.paths.size());
    api_status_t* statuses = nullptr;
    uint32_t status_count = 0;
    int result = QEL_RESULT_OK;
    switch (q.op) {
        case Op::kAddNodes:
            result = qel_add_nodes(h, q.paths.data(), count, q.source, &statuses, &status_count);
            break;
        case Op::kRemoveNodes:
            result = qel_remove_nodes(h, q.paths.data(), count, q.source, &statuses, &status_count);
            break;
        case Op::kClearLeaves:
            result = qel_clear_leaves(h, q.paths.data(), count, q.source, &statuses, &status_count);
            break;
        default:
            result = qel_set_leaves(h, q.paths.data(), count, q.values.data(), q.tribools.data(),
                                    q.auto_times.get(), q.source, &statuses, &status_count);
            break;
    }
    reply_statuses(reply, result, statuses, status_count);
}

void watchdog_state(qel_handle_t h, FrameOut& reply) {
    int registered = 0;
    uint32_t pings = 0, number = 0;
    const int result = qel_host_watchdog_state(h, &registered, &pings, &number);
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.i32(registered);
        w.u32(pings);
        w.u32(number);
    });
}

void syslog_entry(const Request& q, qel_handle_t h, FrameOut& reply) {
    syslog_severity_t severity = 0;
    const char* texts[3] = {};
    const int result = qel_host_syslog_entry(h, q.a, &severity, &texts[0], &texts[1], &texts[2]);
    reply_with(reply, [&](WireWriter& w) {
        w.i32(result);
        if (result != QEL_RESULT_OK) return;
        w.i32(severity);
        for (const char* text : texts) nyrproto::write_ptext(w, text);
    });
}

void count(long long value, FrameOut& reply) {
    reply_with(reply, [&](WireWriter& w) { w.u64(static_cast<uint64_t>(value)); });
}

}  // namespace

void Workspace::trim() {
    trim_vector(statuses);
    trim_vector(values);
    trim_vector(properties);
    trim_vector(types);
    trim_vector(names);
    trim_vector(records);
    std::deque<std::string>().swap(texts);
}

void carry_out(const Request& q, qel_handle_t h, Workspace& work, FrameOut& reply) {
    api_status_t status = 0;
    switch (q.op) {
        case Op::kAddNode:
            return reply_status(reply, qel_add_node(h, q.path, q.source, &status), status);
        case Op::kRemoveNode:
            return reply_status(reply, qel_remove_node(h, q.path, q.source, &status), status);
        case Op::kClearLeaf:
            return reply_status(reply, qel_clear_leaf(h, q.path, q.source, &status), status);
        case Op::kSetLeaf:
            return reply_status(
                reply, qel_set_leaf(h, q.path, q.values[0], q.i, q.flag, q.source, &status),
                status);
        case Op::kTestNode:
            return reply_status(reply, qel_test_node(h, q.path, &status), status);
        case Op::kGetLeaf:
            return get_leaf(q, h, reply);
        case Op::kTestNodes: {
            const auto n = static_cast<uint32_t>(q.paths.size());
            work.statuses.resize(n);
            const int result = qel_test_nodes(h, q.paths.data(), n, work.statuses.data());
            return reply_statuses(reply, result, work.statuses.data(), n);
        }
        case Op::kAddNodes:
        case Op::kRemoveNodes:
        case Op::kClearLeaves:
        case Op::kSetLeaves:
            return batch(q, h, reply);
        case Op::kGetLeaves:
            return get_leaves(q, h, work, reply);
        case Op::kListNode:
            return list_node(q, h, work, reply);
        case Op::kMplFetch:
            return mpl_fetch(q, h, work, reply);
        case Op::kEventRegister:
            return reply_status(reply, qel_event_register(h, q.path, q.i, q.flag, &status), status);
        case Op::kEventClear:
            return reply_status(reply, qel_event_clear(h, q.path, q.i, &status), status);
        case Op::kEventsSend: {
            const _event_t* records = records_of(q, work);
            api_status_t* statuses = nullptr;
            uint32_t status_count = 0;
            const int result = qel_events_send(h, records, static_cast<uint32_t>(q.events.size()),
                                               &statuses, &status_count);
            release(work);
            return reply_statuses(reply, result, statuses, status_count);
        }
        case Op::kEventsGet:
        case Op::kEventsGetNonblocking: {
            _event_t* records = nullptr;
            const int n = q.op == Op::kEventsGet ? qel_events_get(h, &records)
                                                 : qel_events_get_nonblocking(h, &records);
            return reply_events(reply, n, records, n > 0 ? static_cast<uint32_t>(n) : 0, true);
        }
        case Op::kLogStore: {
            const _event_t* records = records_of(q, work);
            const int result =
                qel_log_store(h, records, static_cast<uint32_t>(q.events.size()), q.flag);
            release(work);
            return reply_result(reply, result);
        }
        case Op::kLogRetrieve: {
            _event_t* records = nullptr;
            uint32_t n = 0;
            const int result =
                qel_log_retrieve(h, &records, &n, q.path, q.has_from ? &q.from : nullptr,
                                 q.has_to ? &q.to : nullptr, q.a, q.flag, q.b);
            return reply_events(reply, result, records, n, false);
        }
        case Op::kLogClear:
            return reply_result(reply, qel_log_clear(h, q.path, q.has_from ? &q.from : nullptr,
                                                     q.has_to ? &q.to : nullptr));
        case Op::kWatchdogRegister:
            return reply_status(reply, qel_watchdog_register(h, &status, q.path, q.a, q.flag),
                                status);
        case Op::kWatchdogPing:
            return reply_status(reply, qel_watchdog_ping(h, &status), status);
        case Op::kWatchdogClear:
            return reply_status(reply, qel_watchdog_clear(h, &status), status);
        case Op::kSetVerbosity:
            return reply_status(reply, qel_set_verbosity(h, q.i, q.a, q.path, &status), status);
        case Op::kSyslogAdd:
            return reply_result(reply, qel_syslog_add(h, q.path, q.i, q.source, q.third));
        case Op::kOverflowCount:
            return count(qel_host_overflow_count(h), reply);
        case Op::kQueuedCount:
            return count(qel_host_queued_count(h), reply);
        case Op::kSyslogCount:
            return count(qel_host_syslog_count(h), reply);
        case Op::kWatchdogState:
            return watchdog_state(h, reply);
        case Op::kVerbosity: {
            uint32_t level = 0;
            const int result = qel_host_verbosity(h, q.i, &level);
            return reply_with(reply, [&](WireWriter& w) {
                w.i32(result);
                if (result == QEL_RESULT_OK) w.u32(level);
            });
        }
        case Op::kSyslogEntry:
            return syslog_entry(q, h, reply);
    }
}

}  // namespace nyrd
