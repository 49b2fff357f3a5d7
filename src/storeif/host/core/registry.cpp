// Opening and closing stores and handles, and the one registry of every handle, in-process or
// remote, that tells open handles from closed or unknown values, so that a stale handle gives
// QEL_RESULT_BAD_HANDLE instead of a crash.
//
// The values callers hold are tokens, not addresses: each open takes the next number of one
// counter, so a value is never handed out twice in a process's life (where an address would come
// back with the next allocation of the same size) and a stale value never reaches another
// handle's state.
#include <sys/time.h>

#include <algorithm>
#include <new>

#include "core/store.h"
#include "log/sqlite_log.h"
#include "remote/remote_handle.h"

namespace nyrhost {

namespace {

struct Registry {
    SharedMutex mutex;
    std::unordered_map<const void*, std::shared_ptr<qel_store_s>> stores GUARDED_BY(mutex);
    std::unordered_map<const void*, Found> handles GUARDED_BY(mutex);
    uintptr_t last_token GUARDED_BY(mutex) = 0;

    // A value never handed out before; the registry's lock is held.
    template <typename Pointer>
    Pointer next_token() REQUIRES(mutex) {
        last_token += 16;  // aligned like an address, in case a debugger shows it as one
        return reinterpret_cast<Pointer>(last_token);
    }
};

Registry& registry() {
    static Registry* instance = new Registry();  // never destroyed: usable during exit
    return *instance;
}

// Marks a handle closed and detaches it from its store; waiters in qel_events_get wake up.
void detach(qel_handle_s& handle) {
    MutexLock lock(handle.store->mutex);
    if (!handle.open) return;
    handle.open = false;
    handle.store->subscriptions.remove(&handle, handle.registered);
    handle.registered.clear();
    handle.queue.clear();
    handle.queued_bytes = 0;
    handle.scratch.clear();
    auto& handles = handle.store->handles;
    handles.erase(std::remove(handles.begin(), handles.end(), &handle), handles.end());
    handle.arrived.notify_all();
}

}  // namespace

Found find(qel_handle_t handle) {
    if (handle == nullptr) return {};
    Registry& reg = registry();
    ReaderLock lock(reg.mutex);
    auto it = reg.handles.find(handle);
    return it == reg.handles.end() ? Found{} : it->second;
}

std::shared_ptr<qel_store_s> acquire_store(qel_store_t* store) {
    if (store == nullptr) return nullptr;
    Registry& reg = registry();
    ReaderLock lock(reg.mutex);
    auto it = reg.stores.find(store);
    return it == reg.stores.end() ? nullptr : it->second;
}

qel_time32_t now32() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return qel_time32_t{static_cast<int32_t>(now.tv_sec), static_cast<int32_t>(now.tv_usec)};
}

void set_peer(qel_handle_t handle, uint32_t uid, uint32_t pid) {
    const Found found = find(handle);
    if (!found.local) return;
    MutexLock hold(found.local->store->mutex);
    found.local->peer = PeerInfo{true, uid, pid};
}

qel_store_t* open_store(const char* store_file, int* result) {
    int ignored = QEL_HOST_OPEN_OK;
    int& reason = result != nullptr ? *result : ignored;
    try {
        // The file is locked before anything else opens it, and its tree is read once the log's
        // opener has laid it out and checked it.
        std::unique_ptr<StoreFile> file;
        if (store_file != nullptr && store_file[0] != '\0') {
            file = StoreFile::open(store_file, &reason);
            if (!file) return nullptr;
        }
        // One connection to the file, for the log and the tree alike.
        std::shared_ptr<SqliteConnection> connection;
        auto log = file ? open_sqlite_log(store_file, &reason, &connection)
                        : EventLog::open(nullptr, &reason);
        if (!log) return nullptr;
        auto store = std::make_shared<qel_store_s>();
        {
            MutexLock hold(store->mutex);
            if (file &&
                (reason = file->load(store->tree, std::move(connection))) != QEL_HOST_OPEN_OK)
                return nullptr;
            store->file = std::move(file);
            if (!store->file) store->memory_history = make_memory_history();
            store->history = store->file ? &store->file->history() : store->memory_history.get();
        }
        if (store->file) store->file_path = store_file;
        store->log = std::move(log);
        Registry& reg = registry();
        WriterLock lock(reg.mutex);
        auto* token = reg.next_token<qel_store_t*>();
        reg.stores.emplace(token, std::move(store));
        return token;
    } catch (const std::bad_alloc&) {
        reason = QEL_HOST_OPEN_NO_MEMORY;
        return nullptr;
    }
}

void close_store(qel_store_t* store) {
    std::shared_ptr<qel_store_s> kept;
    std::vector<std::shared_ptr<qel_handle_s>> closing;
    {
        Registry& reg = registry();
        WriterLock lock(reg.mutex);
        auto it = reg.stores.find(store);
        if (it == reg.stores.end()) return;
        kept = std::move(it->second);
        reg.stores.erase(it);
        for (auto h = reg.handles.begin(); h != reg.handles.end();) {
            if (h->second.local && h->second.local->store == kept) {
                closing.push_back(std::move(h->second.local));
                h = reg.handles.erase(h);
            } else {
                ++h;
            }
        }
    }
    for (auto& handle : closing) detach(*handle);
    // The store's memory goes with the last call still running on one of its handles.
}

qel_handle_t open_handle(qel_store_t* store) {
    auto state = acquire_store(store);
    if (!state) return nullptr;
    auto handle = std::make_shared<qel_handle_s>();
    handle->store = state;
    {
        MutexLock lock(handle->store->mutex);
        handle->store->handles.push_back(handle.get());
    }
    Registry& reg = registry();
    {
        WriterLock lock(reg.mutex);
        if (reg.stores.find(store) != reg.stores.end()) {
            qel_handle_t token = reg.next_token<qel_handle_t>();
            reg.handles.emplace(token, Found{std::move(handle), nullptr});
            return token;
        }
    }
    detach(*handle);  // the store was closed meanwhile
    return nullptr;
}

qel_handle_t add_remote(std::shared_ptr<nyrremote::RemoteHandle> remote) {
    Registry& reg = registry();
    WriterLock lock(reg.mutex);
    qel_handle_t token = reg.next_token<qel_handle_t>();
    reg.handles.emplace(token, Found{nullptr, std::move(remote)});
    return token;
}

void close_handle(qel_handle_t handle) {
    Found kept;
    {
        Registry& reg = registry();
        WriterLock lock(reg.mutex);
        auto it = reg.handles.find(handle);
        if (it == reg.handles.end()) return;
        kept = std::move(it->second);
        reg.handles.erase(it);
    }
    if (kept.local) detach(*kept.local);
    if (kept.remote) kept.remote->close();
}

}  // namespace nyrhost
