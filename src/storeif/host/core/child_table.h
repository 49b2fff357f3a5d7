// The children of one node of the tree, found by name in a single probe of an open-addressing
// table: each slot holds a name's hash beside the owning pointer to the child, so a lookup in a
// node of a million children touches the slot and then the child, nothing else. Children never
// move once made, so pointers to them stay valid until they are erased.
#ifndef NYR_HOST_CORE_CHILD_TABLE_H
#define NYR_HOST_CORE_CHILD_TABLE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nyrhost {

template <typename Child>  // Child has a `std::string name`
class ChildTable {
public:
    std::size_t size() const { return size_; }

    Child* find(std::string_view name) const {
        if (size_ == 0) return nullptr;
        const uint64_t hash = hash_of(name);
        for (std::size_t i = hash & mask(); slots_[i].child; i = (i + 1) & mask()) {
            if (slots_[i].hash == hash && slots_[i].child->name == name)
                return slots_[i].child.get();
        }
        return nullptr;
    }

    // Adds a child that is not there yet and returns it.
    Child* insert(std::unique_ptr<Child> child) {
        if ((size_ + 1) * 4 > slots_.size() * 3) grow();
        Child* added = child.get();
        place(hash_of(added->name), std::move(child));
        ++size_;
        return added;
    }

    // Removes the child called `name` and hands it over (null when there is none), shifting the
    // slots after it back so that no probe sequence is broken.
    std::unique_ptr<Child> erase(std::string_view name) {
        if (size_ == 0) return nullptr;
        const uint64_t hash = hash_of(name);
        std::size_t i = hash & mask();
        while (slots_[i].child && !(slots_[i].hash == hash && slots_[i].child->name == name))
            i = (i + 1) & mask();
        if (!slots_[i].child) return nullptr;
        std::unique_ptr<Child> taken = std::move(slots_[i].child);
        for (std::size_t j = (i + 1) & mask(); slots_[j].child; j = (j + 1) & mask()) {
            const std::size_t home = slots_[j].hash & mask();
            // Slot j may move into the hole at i when its home does not lie in (i, j].
            if (((j - home) & mask()) >= ((j - i) & mask())) {
                slots_[i] = std::move(slots_[j]);
                i = j;
            }
        }
        --size_;
        return taken;
    }

    // Every child, in no particular order.
    template <typename Visit>
    void for_each(Visit visit) const {
        for (const Slot& slot : slots_)
            if (slot.child) visit(*slot.child);
    }

    // Hands over every child and leaves the table empty.
    void take_all(std::vector<std::unique_ptr<Child>>& out) {
        for (Slot& slot : slots_)
            if (slot.child) out.push_back(std::move(slot.child));
        slots_.clear();
        size_ = 0;
    }

private:
    struct Slot {
        uint64_t hash = 0;
        std::unique_ptr<Child> child;
    };

    static uint64_t hash_of(std::string_view name) { return std::hash<std::string_view>()(name); }
    std::size_t mask() const { return slots_.size() - 1; }

    void place(uint64_t hash, std::unique_ptr<Child> child) {
        std::size_t i = hash & mask();
        while (slots_[i].child) i = (i + 1) & mask();
        slots_[i].hash = hash;
        slots_[i].child = std::move(child);
    }

    void grow() {
        std::vector<Slot> old(slots_.empty() ? 4 : slots_.size() * 2);
        old.swap(slots_);
        for (Slot& slot : old)
            if (slot.child) place(slot.hash, std::move(slot.child));
    }

    std::vector<Slot> slots_;  // a power of two in size, at most three quarters full
    std::size_t size_ = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_CHILD_TABLE_H
