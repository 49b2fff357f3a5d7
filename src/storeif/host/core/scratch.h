// Memory that what a call hands back lies in, kept until the next call that uses the same scratch:
// the same thread's next call on the same handle in process, a connection's next request in nyrd,
// or a remote handle's thread's next call.
#ifndef NYR_HOST_CORE_SCRATCH_H
#define NYR_HOST_CORE_SCRATCH_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "nyr.h"

namespace nyrhost {

struct Scratch {
    std::vector<api_status_t> statuses;
    std::deque<std::string> texts;
    std::vector<std::shared_ptr<const void>> kept;  // arrays, and shared memory such as listings
    // Record arrays in `kept` whose records own their list arrays, freed by clear().
    std::vector<std::pair<_event_t*, uint32_t>> records;

    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { clear(); }
    void clear() {
        for (auto& [array, count] : records)
            for (uint32_t k = 0; k < count; ++k) destruct_event(&array[k]);
        records.clear();
        statuses.clear();
        texts.clear();
        kept.clear();
    }
    // Keeps a copy of `bytes` and returns a pair pointing at it.
    _byte_array_t keep(std::string_view bytes) {
        std::string& text = texts.emplace_back(bytes);
        return _byte_array_t{&text[0], static_cast<uint32_t>(text.size())};
    }
    // An array of `n` zeroed entries (one at least, so never null).
    template <typename T>
    T* alloc(std::size_t n) {
        auto block = std::shared_ptr<T[]>(new T[n == 0 ? 1 : n]());
        kept.push_back(block);
        return block.get();
    }
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_SCRATCH_H
