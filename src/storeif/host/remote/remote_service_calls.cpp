// The process services and the observation calls on a remote handle.
#include "protocol/messages.h"
#include "remote/remote_calls.h"
#include "remote/remote_replies.h"

namespace nyrremote {

using nyrhost::WireReader;
using nyrhost::WireWriter;
using nyrproto::Op;

namespace {

int watchdog_call(qel_handle_t handle, Op op, api_status_t* status) {
    return status_call(handle, status, [&](WireWriter& w) { w.u8(static_cast<uint8_t>(op)); });
}

long long count_call(qel_handle_t handle, Op op) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    return x.call([&](WireWriter& w) { w.u8(static_cast<uint8_t>(op)); },
                  [&](WireReader& r) { return static_cast<long long>(r.u64()); });
}

}  // namespace

int watchdog_register(qel_handle_t handle, api_status_t* status, const char* text,
                      unsigned int number, bool flag) {
    return status_call(handle, status, [&](WireWriter& w) {
        w.u8(static_cast<uint8_t>(Op::kWatchdogRegister));
        nyrproto::write_ptext(w, text);
        w.u32(number);
        w.u8(flag ? 1 : 0);
    });
}

int watchdog_ping(qel_handle_t handle, api_status_t* status) {
    return watchdog_call(handle, Op::kWatchdogPing, status);
}

int watchdog_clear(qel_handle_t handle, api_status_t* status) {
    return watchdog_call(handle, Op::kWatchdogClear, status);
}

int set_verbosity(qel_handle_t handle, nyrverb_thread_t thread, unsigned int level,
                  const char* text, api_status_t* status) {
    return status_call(handle, status, [&](WireWriter& w) {
        w.u8(static_cast<uint8_t>(Op::kSetVerbosity));
        w.i32(thread);
        w.u32(level);
        nyrproto::write_ptext(w, text);
    });
}

int syslog_add(qel_handle_t handle, const char* first, syslog_severity_t severity,
               const char* second, const char* third) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kSyslogAdd));
            nyrproto::write_ptext(w, first);
            w.i32(severity);
            nyrproto::write_ptext(w, second);
            nyrproto::write_ptext(w, third);
        },
        [&](WireReader& r) { return r.i32(); });
}

long long overflow_count(qel_handle_t handle) {
    return count_call(handle, Op::kOverflowCount);
}

long long queued_count(qel_handle_t handle) {
    return count_call(handle, Op::kQueuedCount);
}

long long syslog_count(qel_handle_t handle) {
    return count_call(handle, Op::kSyslogCount);
}

int watchdog_state(qel_handle_t handle, int* registered, uint32_t* pings, uint32_t* number) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!registered || !pings || !number) return QEL_RESULT_BAD_ARGUMENT;
    return x.call([&](WireWriter& w) { w.u8(static_cast<uint8_t>(Op::kWatchdogState)); },
                  [&](WireReader& r) {
                      const int result = r.i32();
                      if (result != QEL_RESULT_OK) return result;
                      *registered = r.i32();
                      *pings = r.u32();
                      *number = r.u32();
                      return result;
                  });
}

int verbosity(qel_handle_t handle, nyrverb_thread_t thread, uint32_t* level) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!level) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kVerbosity));
            w.i32(thread);
        },
        [&](WireReader& r) {
            const int result = r.i32();
            if (result == QEL_RESULT_OK) *level = r.u32();
            return result;
        });
}

int syslog_entry(qel_handle_t handle, uint32_t index, syslog_severity_t* severity,
                 const char** first, const char** second, const char** third) {
    Exchange x(handle);
    if (const int refused = x.refusal()) return refused;
    if (!severity || !first || !second || !third) return QEL_RESULT_BAD_ARGUMENT;
    return x.call(
        [&](WireWriter& w) {
            w.u8(static_cast<uint8_t>(Op::kSyslogEntry));
            w.u32(index);
        },
        [&](WireReader& r) {
            const int result = r.i32();
            if (result != QEL_RESULT_OK) return result;
            *severity = r.i32();
            for (const char** text : {first, second, third})
                if (!nyrproto::read_ptext(r, *text) || *text == nullptr) r.fail();
            return result;
        });
}

}  // namespace nyrremote
