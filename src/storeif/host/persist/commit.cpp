// Committing a write to the store file, and undoing it in the tree when the commit fails.
#include <new>

#include "core/store.h"

namespace nyrhost {

int persist(qel_store_s& store, const Tree::Changes& changes) {
    if (!store.file || changes.empty()) return QEL_RESULT_OK;
    int failure = QEL_RESULT_DATABASE;
    try {
        if (store.file->save(changes)) return QEL_RESULT_OK;
    } catch (const std::bad_alloc&) {
        failure = QEL_RESULT_NO_MEMORY;  // before anything was committed
    }
    // The tree changes are undone by reading the tree back from the file, which rolled back: a
    // failed commit is rare, and this way no write needs to keep a copy of what it replaced.
    try {
        Tree before;
        if (store.file->read(before) == QEL_HOST_OPEN_OK) {
            store.tree.swap(before);
            return failure;
        }
    } catch (const std::bad_alloc&) {
    }
    store.file_failed = true;
    return failure;
}

}  // namespace nyrhost
