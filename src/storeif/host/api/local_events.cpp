// Events in this process: subscriptions, sending to the handles registered, fetching what is
// queued, and the event log. The log serialises its own work, so the store's lock is let go while
// it runs: a slow log never holds up the tree or the event queues.
#include <chrono>
#include <cstdlib>
#include <utility>

#include "api/local.h"
#include "core/call.h"
#include "core/path.h"
#include "protocol/messages.h"

namespace nyrlocal {

using namespace nyrproto;
using nyrhost::Path;

namespace {

// A malloc'd record array being filled; freed with the records made so far unless released to
// the caller, so that running out of memory half-way leaks nothing.
class RecordArray {
public:
    explicit RecordArray(std::size_t n)
        : records_(static_cast<_event_t*>(std::calloc(n == 0 ? 1 : n, sizeof(_event_t)))) {
        if (!records_) throw std::bad_alloc();
    }
    ~RecordArray() {
        for (std::size_t k = 0; k < made_; ++k) destruct_event(&records_[k]);
        std::free(records_);
    }
    RecordArray(const RecordArray&) = delete;
    RecordArray& operator=(const RecordArray&) = delete;
    _event_t& next() { return records_[made_++]; }
    std::size_t size() const { return made_; }
    void drop_last() { destruct_event(&records_[--made_]); }
    _event_t* release(uint32_t& count) {
        count = static_cast<uint32_t>(made_);
        made_ = 0;
        return std::exchange(records_, nullptr);
    }

private:
    _event_t* records_;
    std::size_t made_ = 0;
};

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
    RecordArray array(queue.size());
    uint64_t bytes = 0;
    for (std::size_t k = 0; k < queue.size(); ++k) {
        _event_t& record = array.next();
        to_record(queue[k], record, call.scratch->texts);
        if (op.room == UINT64_MAX) continue;
        nyrhost::WireWriter measure(nullptr);
        nyrproto::write_event(measure, record);
        bytes += measure.size();
        if (k == 0 || bytes <= op.room) continue;
        array.drop_last();
        break;
    }
    auto& revisions = call.handle->handed_revisions;
    revisions.resize(array.size());
    for (std::size_t k = 0; k < revisions.size(); ++k) revisions[k] = queue[k].revision;
    _event_t* records = array.release(op.count);
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

long long run(const Handle& handle, EventsSend& op) {
    // Owned copies are made before the store's lock is taken.
    std::vector<nyrhost::OwnedEvent> events;
    events.reserve(op.count);
    for (uint32_t i = 0; i < op.count; ++i) events.push_back(nyrhost::from_record(op.records[i]));
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
    return call.store->log->store(op.records, op.count, op.flag);
}

long long run(const Handle& handle, LogRetrieve& op) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    call.unlock();
    std::vector<nyrhost::OwnedEvent> found;
    const int result = call.store->log->retrieve(
        found, nyrhost::LogSelection(op.path, op.from, op.to, op.option_a, op.flag_a, op.option_b));
    if (result != QEL_RESULT_OK || found.empty()) return result;
    RecordArray array(found.size());
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
