// Events in this process: subscriptions, sending to the handles registered, fetching what is
// queued, and the event log. The log serialises its own work, so the store's lock is let go while
// it runs: a slow log never holds up the tree or the event queues.
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "api/local.h"
#include "core/call.h"
#include "core/path.h"
#include "protocol/fields.h"
#include "protocol/frame.h"

namespace nyrlocal {

using namespace nyrproto;
using nyrhost::Path;

namespace {

// Hands out queued events, first waiting for one up to the store's wait time when `wait`. Only
// what fits in `op.room` once encoded leaves the queue (at least one event); the rest stays.
template <typename Fetch>
long long fetch(HandleCall& call, Fetch& op) HOLDS_STORE(call) {
    if (op.wait) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(call.store->event_wait_ms);
        while (call.handle->queue.empty() && call.handle->open) {
            if (!call.handle->arrived.wait_until(call.store->mutex, deadline)) break;
        }
    }
    if (!call.handle->open) return QEL_RESULT_BAD_HANDLE;
    auto& queue = call.handle->queue;
    if (queue.empty()) {
        call.handle->handed_revisions.clear();
        return 0;
    }
    // Room for the revisions first, so that nothing can fail once the events are handed out.
    call.handle->handed_revisions.reserve(queue.size());
    nyrhost::RecordArray array(queue.size());
    uint64_t bytes = 0;
    for (std::size_t k = 0; k < queue.size(); ++k) {
        _event_t& record = array.next();
        to_record(queue[k], record, call.scratch->texts);
        if (op.room == UINT64_MAX) continue;
        nyrhost::WireWriter measure(nullptr);
        nyrproto::FieldWriter{measure}(record);
        bytes += measure.size();
        if (k == 0 || bytes <= op.room) continue;
        array.drop_last();
        break;
    }
    if (op.reply) op.reply->reserve(bytes + 64);  // the result and the count besides
    _event_t* records = array.release(op.count);
    call.handle->handed_revisions.clear();
    for (uint32_t k = 0; k < op.count; ++k)
        call.handle->handed_revisions.push_back(queue[k].revision);
    for (uint32_t k = 0; k < op.count; ++k) {
        call.handle->queued_bytes -= nyrhost::footprint(queue.front());
        queue.pop_front();
    }
    op.records = records;
    return op.count;
}

}  // namespace

long long run(HandleCall& call, EventRegister& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    if (call.store->subscriptions.add(call.handle, parsed, op.kind, op.flag))
        call.handle->registered.emplace(parsed.text());
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, EventClear& op) {
    if (!op.path) {
        op.status = QEL_STATUS_BAD_ARGUMENT;
        return QEL_RESULT_OK;
    }
    // Any text may be cleared: one that was never registered is not found.
    Path parsed;
    bool ended = false;
    const bool found = Path::parse(op.path, parsed) == QEL_STATUS_OK &&
                       call.store->subscriptions.clear(call.handle, parsed, op.kind, ended);
    op.status = found ? QEL_STATUS_OK : QEL_STATUS_NOT_FOUND;
    if (ended) call.handle->registered.erase(std::string(parsed.text()));
    return QEL_RESULT_OK;
}

namespace {

// A request's records as they arrived, read one at a time; they were checked as the request was
// decoded, so a failure to read one again is a bad argument.
class EncodedRecords final : public nyrhost::RecordSource {
public:
    EncodedRecords(const char* encoded, std::size_t size) : r_(encoded, size) {}
    ~EncodedRecords() override { destruct_event(&record_); }
    const _event_t& next() override {
        destruct_event(&record_);
        if (!read_request_record(r_, record_)) throw std::invalid_argument("a record");
        return record_;
    }

private:
    nyrhost::WireReader r_;
    _event_t record_{};
};

// The owned copy of each record of `op` into `events`: from the caller's records, or read from
// the request in which they arrived; false for a request whose records do not read, which the
// decoder has refused before (nothing is sent then).
bool owned_copies(const EventsSend& op, std::vector<nyrhost::OwnedEvent>& events) {
    events.reserve(op.count);
    if (op.encoded == nullptr) {
        for (uint32_t i = 0; i < op.count; ++i)
            events.push_back(nyrhost::from_record(op.records[i]));
        return true;
    }
    try {
        EncodedRecords records(op.encoded, op.encoded_size);
        for (uint32_t i = 0; i < op.count; ++i)
            events.push_back(nyrhost::from_record(records.next()));
    } catch (const std::invalid_argument&) {
        return false;
    }
    return true;
}

}  // namespace

long long run(const Handle& handle, EventsSend& op) {
    // Owned copies are made before the store's lock is taken.
    std::vector<nyrhost::OwnedEvent> events;
    if (!owned_copies(op, events)) return QEL_RESULT_BAD_ARGUMENT;
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    std::vector<api_status_t>& sent = call.scratch->statuses;
    sent.resize(op.count);
    Path parsed;
    for (uint32_t i = 0; i < op.count; ++i) {
        sent[i] = Path::parse(std::string_view(events[i].path), parsed);
        if (sent[i] == QEL_STATUS_OK) nyrhost::deliver(*call.store, parsed, events[i]);
    }
    if (sent.capacity() == 0) sent.reserve(1);  // never a null array
    op.statuses = sent.data();
    op.status_count = op.count;
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, EventsGet& op) {
    return fetch(call, op);
}

long long run(HandleCall& call, EventsGetNonblocking& op) {
    return fetch(call, op);
}

long long run(const Handle& handle, LogStore& op) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    call.unlock();
    if (op.encoded == nullptr) return call.store->log->store(op.records, op.count, op.flag);
    EncodedRecords records(op.encoded, op.encoded_size);
    try {
        return call.store->log->store_from(records, op.count);
    } catch (const std::invalid_argument&) {
        return QEL_RESULT_BAD_ARGUMENT;
    }
}

long long run(const Handle& handle, LogRetrieve& op) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    call.unlock();
    std::vector<nyrhost::OwnedEvent> found;
    const int result = call.store->log->retrieve(
        found, nyrhost::LogSelection(op.path, op.from, op.to, op.option_a, op.flag_a, op.option_b));
    if (result != QEL_RESULT_OK || found.empty()) return result;
    nyrhost::RecordArray array(found.size());
    call.lock();
    // Closed meanwhile by another thread: its scratch memory is gone.
    if (!call.handle->open) return QEL_RESULT_BAD_HANDLE;
    for (const nyrhost::OwnedEvent& event : found)
        nyrhost::to_record(event, array.next(), call.scratch->texts);
    op.records = array.release(op.count);
    return QEL_RESULT_OK;
}

long long run(const Handle& handle, LogClear& op) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    call.unlock();
    return call.store->log->clear(nyrhost::LogSelection(op.path, op.from, op.to));
}

}  // namespace nyrlocal
