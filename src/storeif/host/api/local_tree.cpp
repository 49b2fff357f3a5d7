// The tree's operations in this process: single items, batches and listings.
//
// Batches: each item is carried out on its own, in path order, and reports its own status. The
// whole batch runs under one hold of the store's lock, so other callers see it all or not at all,
// and a store that keeps its tree in a file commits it in one transaction: QEL_RESULT_DATABASE
// when that fails, with the tree and the file as they were before the batch.
//
// A write on a store file returns once it is committed, together with the writes that arrived
// while the commit before it was in flight (persist/group_commit.h); the store's lock is let go
// while it waits, so reads and other writes go on meanwhile.
//
// Listings report the whole number of entries in `total` and fill min(total, capacity) entries of
// each array, in name order. A node's listing is made once per change of the node and shared, so
// asking again costs only the entries written; the names handed out lie in that shared listing,
// which the caller's scratch keeps alive.
#include <algorithm>
#include <cstring>
#include <vector>

#include "api/local.h"
#include "core/call.h"
#include "core/path.h"
#include "core/value.h"

namespace nyrlocal {

using namespace nyrproto;
using nyrhost::Path;
using nyrhost::Tree;
using Listing = Tree::Listing;

namespace {

// A write's end, under the store's lock; it needs no memory, and what it records of its caller
// (write.info) is made before the tree changes, so no failure to allocate comes after them. It
// takes its revision; on a store in memory its changes go to the history and are announced at once;
// on a store file they are queued as `write` for the next group commit, and true says so: the
// caller then lets the lock go and waits for that commit (await_commit).
bool queued(qel_store_s& store, const Tree::Changes& changes, nyrhost::PendingWrite& write)
    REQUIRES(store.mutex) {
    if (changes.empty()) return false;
    nyrhost::take_revision(store, write.info);
    if (!store.file) {
        store.history->record(changes, write.info);
        nyrhost::announce(store, changes, write.info);
        return false;
    }
    write.changes = &changes;
    nyrhost::queue_write(store, write);
    return true;
}

// A tree write for item `i` of a call.
auto edit(int (Tree::*write)(const Path&, Tree::Changes*)) {
    return [write](Tree& tree, uint32_t, const Path& p, Tree::Changes* changes) {
        return (tree.*write)(p, changes);
    };
}

// A single write: it takes the handle and the lock itself, since on a store file it lets the lock
// go while its commit is waited for.
template <typename Single, typename Write>
long long path_write(const Handle& handle, Single& op, Write write) {
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    if (!nyrhost::writable(*call.store)) return QEL_RESULT_DATABASE;
    nyrhost::PendingWrite pending;
    pending.info = nyrhost::write_info(*call.handle, op.source);
    Tree::Changes changes;
    op.status = write(call.store->tree, 0, parsed, nyrhost::changes_for(*call.store, changes));
    if (!queued(*call.store, changes, pending)) return QEL_RESULT_OK;
    call.unlock();
    return nyrhost::await_commit(*call.store, pending);
}

// The statuses collected in the scratch memory, handed back: never a null array.
template <typename Batch>
void hand_back(nyrhost::Scratch& scratch, Batch& op) {
    if (scratch.statuses.capacity() == 0) scratch.statuses.reserve(1);
    op.statuses = scratch.statuses.data();
    op.status_count = static_cast<uint32_t>(scratch.statuses.size());
}

// Each path is parsed in turn into one Path made room for any path before the store's lock is
// taken: parsing needs no memory, and a batch holds no parsed copy of all its paths. A batch that
// runs out of memory part-way takes back the items it carried out, still under the lock, so no
// one sees half of it.
template <typename Batch, typename Write>
long long path_batch(const Handle& handle, Batch& op, Write write) {
    Path parsed;
    parsed.reserve_any();
    HandleCall call(handle);
    if (!call) return QEL_RESULT_BAD_HANDLE;
    if (!nyrhost::writable(*call.store)) return QEL_RESULT_DATABASE;
    nyrhost::Scratch& scratch = *call.scratch;
    scratch.statuses.resize(op.count);
    nyrhost::PendingWrite pending;
    pending.info = nyrhost::write_info(*call.handle, op.source);
    Tree::Changes changes;
    Tree::Changes* record = nyrhost::changes_for(*call.store, changes);
    {
        Tree::Batch batch(call.store->tree);  // what the items removed goes with it, under the lock
        try {
            for (uint32_t i = 0; i < op.count; ++i) {
                const int status = Path::parse(op.paths[i], parsed);
                scratch.statuses[i] =
                    status == QEL_STATUS_OK ? write(call.store->tree, i, parsed, record) : status;
            }
        } catch (const std::bad_alloc&) {
            batch.undo();
            throw;
        }
    }
    if (queued(*call.store, changes, pending)) {
        call.unlock();
        if (const int failed = nyrhost::await_commit(*call.store, pending)) return failed;
        call.lock();
        // Closed meanwhile by another thread: its scratch memory is gone.
        if (!call.handle->open) return QEL_RESULT_BAD_HANDLE;
    }
    hand_back(scratch, op);
    return QEL_RESULT_OK;
}

// What both listings start from: the listing of the node at `path`, or the leaf at it in `self`;
// the status says which, or why neither.
int list_at(qel_store_s& store, const char* path, Path& parsed,
            std::shared_ptr<const Listing>& listing, const nyrhost::LeafValue** self)
    REQUIRES(store.mutex) {
    *self = nullptr;
    const int status = Path::parse(path, parsed);
    return status == QEL_STATUS_OK ? store.tree.list(parsed, listing, self) : status;
}

// Fills min(n, capacity) entries of `array` with entry(i); when `made`, the array is first made in
// the scratch memory, with `capacity` cut to what will be filled.
template <typename T, typename Entry>
void fill(nyrhost::Scratch& scratch, bool made, T*& array, uint32_t& capacity, std::size_t n,
          Entry entry) {
    if (made) array = scratch.alloc<T>(capacity = std::min<uint32_t>(capacity, n));
    for (std::size_t i = 0; i < std::min<std::size_t>(n, capacity); ++i) array[i] = entry(i);
}

// A name handed out from a listing: read-only memory shared with other callers.
_byte_array_t name_in(const Listing& listing, std::size_t i) {
    const std::string& name = listing.name(i);
    return _byte_array_t{const_cast<char*>(name.data()), static_cast<uint32_t>(name.size())};
}

}  // namespace

long long run(const Handle& handle, AddNode& op) {
    return path_write(handle, op, edit(&Tree::add_node));
}

long long run(const Handle& handle, RemoveNode& op) {
    return path_write(handle, op, edit(&Tree::remove_node));
}

long long run(const Handle& handle, ClearLeaf& op) {
    return path_write(handle, op, edit(&Tree::clear_leaf));
}

long long run(const Handle& handle, SetLeaf& op) {
    // The deep copy is made before the store's lock is taken.
    nyrhost::LeafValue leaf;
    const int made = nyrhost::make_leaf(op.value, op.auto_time, op.tribool, leaf);
    return path_write(handle, op, [&](Tree& tree, uint32_t, const Path& p, auto* changes) {
        return made != QEL_STATUS_OK ? made : tree.set_leaf(p, std::move(leaf), changes);
    });
}

long long run(HandleCall& call, TestNode& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    if (op.status == QEL_STATUS_OK) op.status = call.store->tree.test_node(parsed);
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, GetLeaf& op) {
    Path parsed;
    op.status = Path::parse(op.path, parsed);
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    const nyrhost::LeafValue* leaf = call.store->tree.find_leaf(parsed, op.status);
    if (leaf) {
        op.value = nyrhost::hand_out(*leaf, *call.scratch);
        op.property = leaf->property;
    }
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, TestNodes& op) {
    Path parsed;
    for (uint32_t i = 0; i < op.count; ++i) {
        const int status = Path::parse(op.paths[i], parsed);
        op.statuses[i] = status == QEL_STATUS_OK ? call.store->tree.test_node(parsed) : status;
    }
    return QEL_RESULT_OK;
}

long long run(const Handle& handle, AddNodes& op) {
    return path_batch(handle, op, edit(&Tree::add_node));
}

long long run(const Handle& handle, RemoveNodes& op) {
    return path_batch(handle, op, edit(&Tree::remove_node));
}

long long run(const Handle& handle, ClearLeaves& op) {
    return path_batch(handle, op, edit(&Tree::clear_leaf));
}

long long run(const Handle& handle, SetLeaves& op) {
    // Deep copies are made before the store's lock is taken.
    std::vector<nyrhost::LeafValue> leaves(op.count);
    std::vector<int> made(op.count);
    for (uint32_t i = 0; i < op.count; ++i)
        made[i] = nyrhost::make_leaf(op.values[i], op.auto_time[i], op.tribools[i], leaves[i]);
    return path_batch(handle, op, [&](Tree& tree, uint32_t i, const Path& p, auto* changes) {
        return made[i] != QEL_STATUS_OK ? made[i] : tree.set_leaf(p, std::move(leaves[i]), changes);
    });
}

long long run(HandleCall& call, GetLeaves& op) {
    nyrhost::Scratch& scratch = *call.scratch;
    scratch.statuses.resize(op.count);
    // No leaf: a record with every byte zero, the union's included, wherever it is copied to.
    _element_datatype_t none;
    std::memset(static_cast<void*>(&none), 0, sizeof none);
    Path parsed;
    for (uint32_t i = 0; i < op.count; ++i) {
        int status = Path::parse(op.paths[i], parsed);
        const nyrhost::LeafValue* leaf = nullptr;
        if (status == QEL_STATUS_OK) leaf = call.store->tree.find_leaf(parsed, status);
        scratch.statuses[i] = status;
        op.values[i] = leaf ? nyrhost::hand_out(*leaf, scratch) : none;
        op.properties[i] = leaf ? leaf->property : 0;
    }
    hand_back(scratch, op);
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, ListNode& op) {
    op.total = 0;
    Path parsed;
    std::shared_ptr<const Listing> listing;
    const nyrhost::LeafValue* self = nullptr;
    op.status = list_at(*call.store, op.path, parsed, listing, &self);
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    const std::size_t n = listing->size();
    op.total = static_cast<uint32_t>(n);
    nyrhost::Scratch& scratch = *call.scratch;
    const bool made = op.arrays_made;
    fill(scratch, made, op.types, op.types_capacity, n, [&](auto i) { return listing->type(i); });
    fill(scratch, made, op.properties, op.properties_capacity, n,
         [&](auto i) { return listing->property(i); });
    fill(scratch, made, op.names, op.names_capacity, n,
         [&](auto i) { return name_in(*listing, i); });
    scratch.kept.push_back(std::move(listing));
    return QEL_RESULT_OK;
}

long long run(HandleCall& call, MplFetch& op) {
    op.total = 0;
    Path parsed;
    std::shared_ptr<const Listing> listing;
    const nyrhost::LeafValue* self = nullptr;
    const int listed = list_at(*call.store, op.path, parsed, listing, &self);
    const bool alone = listed == QEL_STATUS_IS_LEAF && self;  // the leaf itself, under its name
    op.status = alone ? QEL_STATUS_OK : listed;
    if (op.status != QEL_STATUS_OK) return QEL_RESULT_OK;
    // Otherwise a node's leaves, not its sub-nodes.
    nyrhost::Scratch& scratch = *call.scratch;
    const std::size_t n = alone ? 1 : listing->leaves().size();
    auto leaf = [&](std::size_t i) { return alone ? self : listing->leaf(listing->leaves()[i]); };
    auto name = [&](std::size_t i) {
        return alone ? scratch.keep(parsed.last()) : name_in(*listing, listing->leaves()[i]);
    };
    op.total = static_cast<uint32_t>(n);
    fill(scratch, op.arrays_made, op.values, op.values_capacity, n,
         [&](auto i) { return nyrhost::hand_out(*leaf(i), scratch); });
    fill(scratch, op.arrays_made, op.names, op.names_capacity, n, name);
    if (listing) scratch.kept.push_back(std::move(listing));
    return QEL_RESULT_OK;
}

}  // namespace nyrlocal
