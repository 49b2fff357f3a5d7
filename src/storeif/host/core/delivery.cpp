// Event delivery inside the host store: which handles an event reaches, and the tree changes
// announced as events.
#include <new>

#include "core/path.h"
#include "core/store.h"

namespace nyrhost {

// Appends `event` to the queue of `handle`, dropping (and counting) the oldest while the queue is
// full in events or in bytes; an event larger than the whole byte bound is dropped itself.
void enqueue(qel_store_s& store, qel_handle_s& handle, const OwnedEvent& event)
    REQUIRES(store.mutex) {
    handle.store->mutex.assert_held();  // the same store, so the lock the caller holds
    const uint64_t size = footprint(event);
    if (size > store.queue_bytes) {
        ++handle.overflow;
        return;
    }
    while (!handle.queue.empty() && (handle.queue.size() >= store.queue_capacity ||
                                     handle.queued_bytes + size > store.queue_bytes)) {
        handle.queued_bytes -= footprint(handle.queue.front());
        handle.queue.pop_front();
        ++handle.overflow;
    }
    // An event the queue cannot take for want of memory is dropped and counted like one that
    // overflows it: the call that caused it has been carried out already.
    try {
        handle.queue.push_back(event);
    } catch (const std::bad_alloc&) {
        ++handle.overflow;
        return;
    }
    handle.queued_bytes += size;
    handle.arrived.notify_all();
}

OwnedEvent tree_event(int cmd, const std::string& path, const _element_datatype_t* written,
                      std::string_view payload, const WriteInfo& info) {
    OwnedEvent event;
    event.scalars.type = QEL_HOST_EVENT_TREE_CHANGE;
    event.scalars.cmd = cmd;
    event.scalars.quality = 0xC0;
    event.scalars.event_time = qel_time32_t{static_cast<int32_t>(info.time_us / 1000000),
                                            static_cast<int32_t>(info.time_us % 1000000)};
    event.path = path;
    event.source = std::string(info.source);
    if (written) {
        event.scalars.value = *written;
        event.value_payload = std::string(payload);
    }
    event.revision = info.revision;
    return event;
}

void deliver(qel_store_s& store, const Path& path, const OwnedEvent& event) {
    std::vector<qel_handle_s*> reached;
    store.subscriptions.match(path, event.scalars.type, reached);
    for (qel_handle_s* handle : reached) enqueue(store, *handle, event);
}

void announce(qel_store_s& store, const Tree::Changes& changes, const WriteInfo& info) {
    // Every write's changes are recorded for the history, watched or not.
    if (changes.empty() || store.subscriptions.size() == 0) return;
    Path path;
    std::vector<qel_handle_s*> reached;
    for (const TreeChange& change : changes) {
        reached.clear();
        // A change whose event cannot be made for want of memory is counted as overflow by the
        // handles it reaches: the write itself has been carried out.
        try {
            // The event is only made for a change that someone is registered for.
            if (Path::parse(std::string_view(change.path), path) != QEL_STATUS_OK) continue;
            store.subscriptions.match(path, QEL_HOST_EVENT_TREE_CHANGE, reached);
            if (reached.empty()) continue;
            const bool set = change.cmd == QEL_HOST_CHANGE_LEAF_SET;
            const OwnedEvent event = tree_event(
                change.cmd, change.path, set ? &change.record : nullptr, change.payload, info);
            for (qel_handle_s* handle : reached) enqueue(store, *handle, event);
        } catch (const std::bad_alloc&) {
            for (qel_handle_s* handle : reached) {
                handle->store->mutex.assert_held();
                ++handle->overflow;
            }
        }
    }
}

}  // namespace nyrhost
