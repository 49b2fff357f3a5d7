// Committing a write to the store file, and undoing it in the tree when the commit fails.
#include <chrono>
#include <new>

#include "core/store.h"

namespace nyrhost {

int persist(qel_store_s& store, const Tree::Changes& changes) {
    if (!store.file || changes.empty()) return QEL_RESULT_OK;
    int failure = QEL_RESULT_DATABASE;
    try {
        const auto start = std::chrono::steady_clock::now();
        if (store.file->save(changes)) {
            ++store.commits;
            store.commit_us +=
                static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
            return QEL_RESULT_OK;
        }
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
