// Committing a write to the store file, and undoing it in the tree when the commit fails.
#include <sys/time.h>

#include <algorithm>
#include <new>

#include "core/store.h"

namespace nyrhost {

WriteInfo write_info(const qel_handle_s& handle, const char* source) {
    WriteInfo info;
    info.source = source != nullptr ? source : "";
    info.has_peer = handle.peer.known;
    info.uid = handle.peer.uid;
    info.pid = handle.peer.pid;
    return info;
}

// The revision is taken here, under the store's lock, as the write is carried out; it becomes
// the history's only when the rows holding it are kept, so a failed commit leaves no gap.
int persist(qel_store_s& store, const Tree::Changes& changes, WriteInfo& info) {
    if (changes.empty()) return QEL_RESULT_OK;
    History& history = *store.history;
    timeval now{};
    gettimeofday(&now, nullptr);
    info.revision = history.revision() + 1;
    info.time_us = std::max(int64_t{now.tv_sec} * 1000000 + now.tv_usec, history.last_time_us());
    if (!store.file) {
        history.record(changes, info);
        return QEL_RESULT_OK;
    }
    int failure = QEL_RESULT_DATABASE;
    try {
        if (store.file->save(changes, info)) return QEL_RESULT_OK;
    } catch (const std::bad_alloc&) {
        failure = QEL_RESULT_NO_MEMORY;  // before anything was committed
    }
    roll_back(store);
    return failure;
}

// The tree changes are undone by reading the tree back from the file, which holds none of them: a
// failed write is rare, and this way no write needs to keep a copy of what it replaced.
void roll_back(qel_store_s& store) {
    if (!store.file) return;
    try {
        Tree before;
        if (store.file->read(before) == QEL_HOST_OPEN_OK) return store.tree.swap(before);
    } catch (const std::bad_alloc&) {
    }
    store.file_failed = true;
}

}  // namespace nyrhost
