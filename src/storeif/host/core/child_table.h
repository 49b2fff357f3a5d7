// The children of one node of the tree, kept in the slots of an open-addressing table itself: a
// lookup in a node of a million children reads the slot that holds the child, and nothing else.
// Children move when the table grows or when one before them is erased, so nothing keeps a
// pointer to a child across a change of its node. An empty name marks a free slot (a child's name
// is never empty). The table grows by half when it is three quarters full, which keeps it at
// least half full: a child costs its own size and at most as much again.
#ifndef NYR_HOST_CORE_CHILD_TABLE_H
#define NYR_HOST_CORE_CHILD_TABLE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace nyrhost {

template <typename Child>  // Child: default-constructible, movable, with a `std::string name`
class ChildTable {
public:
    std::size_t size() const { return size_; }

    Child* find(std::string_view name) {
        if (size_ == 0) return nullptr;
        for (std::size_t i = home(name);; i = next(i)) {
            Child& slot = slots_[i];
            if (slot.name.empty()) return nullptr;
            if (slot.name == name) return &slot;
        }
    }
    const Child* find(std::string_view name) const {
        return const_cast<ChildTable*>(this)->find(name);
    }

    // Adds a child whose name is not there yet; the pointer holds until the table next changes.
    Child* insert(Child&& child) {
        if ((size_ + 1) * 4 > slots_.size() * 3) grow();
        ++size_;
        return &place(std::move(child));
    }

    // Puts back a child that erase() took out, with every change made since taken back: the table
    // held it then and has not shrunk, so there is room without growing (nothing is allocated).
    void put_back(Child&& child) noexcept {
        ++size_;
        place(std::move(child));
    }

    // Removes the child called `name` into `out`; false when there is none. The slots after it
    // move back, so that no probe sequence is broken.
    bool erase(std::string_view name, Child& out) {
        Child* found = find(name);
        if (!found) return false;
        std::size_t hole = static_cast<std::size_t>(found - slots_.data());
        out = std::move(*found);
        found->name.clear();
        for (std::size_t j = next(hole); !slots_[j].name.empty(); j = next(j)) {
            const std::size_t h = home(slots_[j].name);
            // Slot j may fill the hole when its home does not lie cyclically in (hole, j].
            if (distance(h, j) >= distance(hole, j)) {
                slots_[hole] = std::move(slots_[j]);
                slots_[j].name.clear();
                hole = j;
            }
        }
        --size_;
        return true;
    }

    template <typename Visit>
    void for_each(Visit visit) const {
        for (const Child& slot : slots_)
            if (!slot.name.empty()) visit(slot);
    }

    // Hands over every child and leaves the table empty.
    void take_all(std::vector<Child>& out) {
        for (Child& slot : slots_)
            if (!slot.name.empty()) out.push_back(std::move(slot));
        slots_.clear();
        slots_.shrink_to_fit();
        size_ = 0;
    }

private:
    // The hash's upper half scaled onto the table (which holds fewer than 2^32 slots), so that
    // growth need not double.
    std::size_t home(std::string_view name) const {
        const uint64_t hash = std::hash<std::string_view>()(name);
        return static_cast<std::size_t>(((hash >> 32) * slots_.size()) >> 32);
    }
    std::size_t next(std::size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
    std::size_t distance(std::size_t from, std::size_t to) const {
        return to >= from ? to - from : to + slots_.size() - from;
    }

    Child& place(Child&& child) {
        std::size_t i = home(child.name);
        while (!slots_[i].name.empty()) i = next(i);
        slots_[i] = std::move(child);
        return slots_[i];
    }

    void grow() {
        std::vector<Child> old(slots_.empty() ? 4 : slots_.size() + slots_.size() / 2);
        old.swap(slots_);
        for (Child& child : old)
            if (!child.name.empty()) place(std::move(child));
    }

    std::vector<Child> slots_;
    std::size_t size_ = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_CHILD_TABLE_H
