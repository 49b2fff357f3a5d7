// The tree's history in this process: the revision and epoch, the changes of a subtree, the tree
// as it was, and registrations that first replay what a watcher missed. Everything runs under the
// store's lock, so a replay and the live changes after it meet without a gap or a duplicate.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "api/local.h"
#include "core/path.h"
#include "history/at.h"
#include "history/history_codec.h"

namespace nyrlocal {

using namespace nyrproto;
using nyrhost::History;
using nyrhost::HistoryChange;
using nyrhost::LeafCopy;
using nyrhost::Path;
using nyrhost::Scratch;

namespace {

timeval time_of(int64_t us) {
    timeval t{};
    t.tv_sec = static_cast<time_t>(us / 1000000);
    t.tv_usec = static_cast<suseconds_t>(us % 1000000);
    return t;
}

// A time in microseconds; any time a caller gives, however far off, saturates instead of
// overflowing.
int64_t us_of(const timeval& t) {
    constexpr int64_t kMost = INT64_MAX / 1000000 - 1;
    const int64_t seconds = int64_t{t.tv_sec};
    if (seconds > kMost) return INT64_MAX;
    if (seconds < -kMost) return INT64_MIN;
    const int64_t usec = std::max<int64_t>(-999999, std::min<int64_t>(999999, t.tv_usec));
    return seconds * 1000000 + usec;
}

// A leaf's record handed back, its payload copied into the scratch memory.
_element_datatype_t hand_out(const LeafCopy& leaf, Scratch& scratch) {
    _element_datatype_t record = leaf.record;
    if (nyrhost::has_payload(static_cast<int32_t>(record.type)))
        record.value.string_value = scratch.keep(leaf.payload);
    return record;
}

// An array of `n` records that lives as long as the scratch memory.
template <typename T>
T* scratch_array(Scratch& scratch, std::size_t n) {
    auto array = std::make_shared<std::vector<T>>(n == 0 ? 1 : n);
    T* data = array->data();
    scratch.kept.push_back(std::move(array));
    return data;
}

// A recorded leaf handed back: false for one that does not decode.
bool hand_out_encoded(const std::optional<std::string>& bytes, _element_datatype_t& value,
                      element_property_t& property, Scratch& scratch) {
    if (!bytes) return true;
    LeafCopy leaf;
    if (!nyrhost::decode_leaf(*bytes, leaf)) return false;
    value = hand_out(leaf, scratch);
    property = leaf.property;
    return true;
}

// The revision a call reads at: `revision`, or the one in force at the time `at`.
int point_of(History& history, uint64_t revision, const timeval* at, uint64_t& out) {
    out = revision;
    if (at == nullptr) return QEL_RESULT_OK;
    return nyrhost::revision_at(history, us_of(*at), out);
}

}  // namespace

long long run(HandleCall& call, HistoryInfo& op) {
    History& history = *call.store->history;
    op.revision = history.revision();
    op.oldest = history.oldest();
    op.epoch = call.scratch->texts.emplace_back(history.epoch()).c_str();
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, HistoryChanges& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    op.count = 0;
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    History& history = *call.store->history;
    if (op.from_revision != 0 && op.from_revision < history.oldest()) return QEL_RESULT_TOO_OLD;
    nyrhost::HistorySelection selection;
    selection.subtree = std::string(parsed.text());
    selection.from_revision = op.from_revision;
    selection.from_index = op.from_index;
    selection.until_revision = op.until_revision;
    if (op.since) selection.since_us = us_of(*op.since);
    if (op.until) selection.until_us = us_of(*op.until);
    selection.limit = op.limit;
    selection.newest = op.newest;
    std::vector<HistoryChange> found;
    if (const int failed = history.select(selection, found)) return failed;
    Scratch& scratch = *call.scratch;
    qel_host_change_t* out = scratch_array<qel_host_change_t>(scratch, found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        const HistoryChange& c = found[i];
        qel_host_change_t& r = out[i];
        r.revision = c.revision;
        r.index = c.index;
        r.kind = c.kind;
        r.time = time_of(c.time_us);
        r.path = scratch.texts.emplace_back(c.path).c_str();
        // A removed node's old value is what was below it, which a change record does not carry.
        const bool leaf_change = c.kind != QEL_HOST_CHANGE_NODE_REMOVED;
        r.has_old = leaf_change && c.old_value.has_value();
        r.has_new = c.new_value.has_value();
        if (!hand_out_encoded(leaf_change ? c.old_value : std::nullopt, r.old_value, r.old_property,
                              scratch) ||
            !hand_out_encoded(c.new_value, r.new_value, r.new_property, scratch))
            return QEL_RESULT_DAMAGED;
        r.source = scratch.texts.emplace_back(c.source).c_str();
        r.has_peer = c.has_peer;
        r.uid = c.uid;
        r.pid = c.pid;
    }
    op.changes = out;
    op.count = static_cast<uint32_t>(found.size());
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, LeafAt& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    History& history = *call.store->history;
    if (const int refused = point_of(history, op.revision, op.at, op.at_revision)) return refused;
    LeafCopy leaf;
    int status = QEL_STATUS_NOT_FOUND;
    if (const int failed =
            nyrhost::leaf_at(call.store->tree, history, parsed, op.at_revision, status, leaf))
        return failed;
    op.status = status;
    if (status == QEL_STATUS_OK) {
        op.value = hand_out(leaf, *call.scratch);
        op.property = leaf.property;
    }
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, SubtreeAt& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    op.count = 0;
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    History& history = *call.store->history;
    if (const int refused = point_of(history, op.revision, op.at, op.at_revision)) return refused;
    nyrhost::Snapshot snapshot;
    if (const int failed =
            nyrhost::subtree_at(call.store->tree, history, parsed, op.at_revision, snapshot))
        return failed;
    op.status = snapshot.empty() ? QEL_STATUS_NOT_FOUND : QEL_STATUS_OK;
    // The snapshot's byte order of paths puts every node before what lies below it.
    std::vector<const nyrhost::Snapshot::value_type*> ordered;
    ordered.reserve(snapshot.size());
    for (const auto& entry : snapshot) ordered.push_back(&entry);
    Scratch& scratch = *call.scratch;
    qel_host_entry_t* out = scratch_array<qel_host_entry_t>(scratch, ordered.size());
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        out[i].path = scratch.texts.emplace_back(ordered[i]->first).c_str();
        out[i].is_leaf = ordered[i]->second.has_value();
        if (out[i].is_leaf) {
            out[i].value = hand_out(*ordered[i]->second, scratch);
            out[i].property = ordered[i]->second->property;
        }
    }
    op.entries = out;
    op.count = static_cast<uint32_t>(ordered.size());
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, EventRegisterFrom& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    History& history = *call.store->history;
    if (const int refused = nyrhost::check_revision(history, op.revision)) return refused;
    std::vector<HistoryChange> missed;
    if (op.kind & QEL_HOST_EVENT_TREE_CHANGE) {
        nyrhost::HistorySelection selection;
        selection.subtree = std::string(parsed.text());
        selection.from_revision = op.revision + 1;
        if (const int failed = history.select(selection, missed)) return failed;
    }
    // Made before anything is queued or registered, so that running out of memory does neither.
    std::vector<nyrhost::OwnedEvent> events;
    events.reserve(missed.size());
    for (const HistoryChange& change : missed) {
        if (!op.flag && change.path != parsed.text()) continue;
        LeafCopy written;
        if (change.new_value && !nyrhost::decode_leaf(*change.new_value, written))
            return QEL_RESULT_DAMAGED;
        nyrhost::WriteInfo info;
        info.revision = change.revision;
        info.time_us = change.time_us;
        info.source = change.source;
        events.push_back(nyrhost::tree_event(change.kind, change.path,
                                             change.new_value ? &written.record : nullptr,
                                             written.payload, info));
    }
    if (call.store->subscriptions.add(call.handle, parsed, op.kind, op.flag))
        call.handle->registered.emplace(parsed.text());
    for (const nyrhost::OwnedEvent& event : events)
        nyrhost::enqueue(*call.store, *call.handle, event);
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, EventRevisions& op) {
    const std::size_t n = call.handle->handed_revisions.size();
    uint64_t* out = scratch_array<uint64_t>(*call.scratch, n);
    for (std::size_t i = 0; i < n; ++i) out[i] = call.handle->handed_revisions[i];
    op.revisions = out;
    op.count = static_cast<uint32_t>(n);
    return QEL_RESULT_OK;
}

}  // namespace nyrlocal
