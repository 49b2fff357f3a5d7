// Event delivery inside the host store: which handles an event reaches, and the tree changes
// announced as events.
#include "core/path.h"
#include "core/store.h"

namespace nyrhost {

namespace {

bool wants(const qel_handle_s& handle, const OwnedEvent& event) REQUIRES(handle.store->mutex) {
    for (const Registration& reg : handle.registrations) {
        if ((reg.kinds & event.scalars.type) == 0) continue;
        if (path_within(event.path, reg.path, reg.subtree)) return true;
    }
    return false;
}

}  // namespace

void deliver(qel_store_s& store, const OwnedEvent& event) {
    for (qel_handle_s* handle : store.handles) {
        handle->store->mutex.assert_held();  // the same store, so the lock the caller holds
        if (!wants(*handle, event)) continue;
        while (handle->queue.size() >= store.queue_capacity) {
            handle->queue.pop_front();
            ++handle->overflow;
        }
        handle->queue.push_back(event);
        handle->arrived.notify_all();
    }
}

void announce(qel_store_s& store, const Tree::Changes& changes, const char* source) {
    if (changes.empty()) return;
    const qel_time32_t now = now32();
    for (const TreeChange& change : changes) {
        OwnedEvent event;
        event.scalars.type = QEL_HOST_EVENT_TREE_CHANGE;
        event.scalars.cmd = change.cmd;
        event.scalars.quality = 0xC0;
        event.scalars.event_time = now;
        event.path = change.path;
        event.source = source;
        if (change.leaf) {
            event.scalars.value = change.leaf->record;
            event.value_payload = change.leaf->payload;
        }
        deliver(store, event);
    }
}

}  // namespace nyrhost
