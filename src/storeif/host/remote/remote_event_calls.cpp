// The event and event-log calls on a remote handle.
#include <cstdlib>

#include "protocol/messages.h"
#include "remote/remote_calls.h"
#include "remote/remote_replies.h"

namespace nyrremote {

using nyrhost::WireReader;
using nyrhost::WireWriter;
using nyrproto::Op;

namespace {

// An event array read from a reply that turned out broken after it goes back, with its records.
int drop_if_failed(int result, _event_t** records, uint32_t count) {
    if (result >= 0 || *records == nullptr) return result;
    for (uint32_t k = 0; k < count; ++k) destruct_event(&(*records)[k]);
    std::free(*records);
    *records = nullptr;
    return result;
}

}  // namespace

int event_register(qel_handle_t handle, const char* path, api_event_t kind, bool flag,
                   api_status_t* status) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kEventRegister));
            nyrproto::write_ptext(w, path);
            w.i32(kind);
            w.u8(flag ? 1 : 0);
        },
        [&](WireReader& r) { return read_status(r, status); });
}

int event_clear(qel_handle_t handle, const char* path, api_event_t kind, api_status_t* status) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!status) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kEventClear));
            nyrproto::write_ptext(w, path);
            w.i32(kind);
        },
        [&](WireReader& r) { return read_status(r, status); });
}

int events_send(qel_handle_t handle, const _event_t* records, uint32_t count,
                api_status_t** statuses, uint32_t* status_count) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!statuses || !status_count || (count != 0 && !records)) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kEventsSend));
            nyrproto::write_events(w, records, count);
        },
        [&](WireReader& r) {
            const int result = r.i32();
            if (result == QEL_RESULT_OK) read_statuses(r, x.memory(), statuses, status_count);
            return result;
        });
}

int events_get(qel_handle_t handle, _event_t** records, bool wait) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!records) return QEL_RESULT_BAD_ARGUMENT;
    *records = nullptr;
    uint32_t read = 0;
    const int result = x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(wait ? Op::kEventsGet : Op::kEventsGetNonblocking));
        },
        [&](WireReader& r) {
            const int n = r.i32();
            if (n > 0) {
                read = static_cast<uint32_t>(n);
                *records = read_event_array(r, x.memory(), read);
            }
            return n;
        });
    return drop_if_failed(result, records, read);
}

int log_store(qel_handle_t handle, const _event_t* records, uint32_t count, bool flag) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (count != 0 && !records) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kLogStore));
            nyrproto::write_events(w, records, count);
            w.u8(flag ? 1 : 0);
        },
        [&](WireReader& r) { return r.i32(); });
}

int log_retrieve(qel_handle_t handle, _event_t** records, uint32_t* count, const char* path,
                 const struct timeval* from, const struct timeval* to, uint32_t option_a,
                 bool flag_a, uint32_t option_b) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!records || !count) return QEL_RESULT_BAD_ARGUMENT;
    *records = nullptr;
    *count = 0;
    const int result = x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kLogRetrieve));
            nyrproto::write_ptext(w, path);
            nyrproto::write_time(w, from);
            nyrproto::write_time(w, to);
            w.u32(option_a);
            w.u8(flag_a ? 1 : 0);
            w.u32(option_b);
        },
        [&](WireReader& r) {
            const int result = r.i32();
            if (result != QEL_RESULT_OK) return result;
            const uint32_t n = r.u32();
            *records = read_event_array(r, x.memory(), n);
            if (*records != nullptr) *count = n;
            return result;
        });
    const uint32_t read = *count;
    if (result < 0) *count = 0;
    return drop_if_failed(result, records, read);
}

int log_clear(qel_handle_t handle, const char* path, const struct timeval* from,
              const struct timeval* to) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kLogClear));
            nyrproto::write_ptext(w, path);
            nyrproto::write_time(w, from);
            nyrproto::write_time(w, to);
        },
        [&](WireReader& r) { return r.i32(); });
}

}  // namespace nyrremote
