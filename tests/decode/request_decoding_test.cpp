// What decoding a request costs nyrd: the bytes still allocated once a request of many tiny items
// is decoded, against the request's own bytes, for every operation whose request can be large;
// and that the decoder asks its admission for all of them, so that the daemon's memory budget
// charges what the decoding really takes.
//
// Allocations are counted through --wrap=malloc, calloc, realloc and free and a replaced operator
// new (tests/cmake/request_decoding_tests.cmake), while a test has counting switched on.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "codec/byte_cursor.h"
#include "protocol/fields.h"

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t n, std::size_t size);
void* __real_realloc(void* p, std::size_t size);
void __real_free(void* p);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<long> live{0};  // bytes allocated and not yet freed while counting

void* counted(void* p) {
    if (p != nullptr && counting.load(std::memory_order_relaxed))
        live += static_cast<long>(malloc_usable_size(p));
    return p;
}
void uncounted(void* p) {
    if (p != nullptr && counting.load(std::memory_order_relaxed))
        live -= static_cast<long>(malloc_usable_size(p));
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) void* __wrap_malloc(std::size_t size) {
    return counted(__real_malloc(size));
}
__attribute__((visibility("default"))) void* __wrap_calloc(std::size_t n, std::size_t size) {
    return counted(__real_calloc(n, size));
}
__attribute__((visibility("default"))) void* __wrap_realloc(void* p, std::size_t size) {
    uncounted(p);
    return counted(__real_realloc(p, size));
}
__attribute__((visibility("default"))) void __wrap_free(void* p) {
    uncounted(p);
    __real_free(p);
}
}

void* operator new(std::size_t size) {
    void* p = __wrap_malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    __wrap_free(p);
}
void operator delete[](void* p) noexcept {
    __wrap_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    __wrap_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    __wrap_free(p);
}

namespace {

using namespace nyrproto;

constexpr uint32_t kItems = 20000;

// The request body of `op`, as a remote handle sends it.
template <typename Operation>
std::vector<char> request_of(Operation& op) {
    nyrhost::WireWriter measure(nullptr);
    write_request(measure, op);
    std::vector<char> body(measure.size());
    nyrhost::WireWriter w(body.data());
    write_request(w, op);
    return body;
}

// The tiny items: two-character paths, and values of one or four bytes or a one-character string.
struct Items {
    std::vector<std::string> texts;
    std::vector<const char*> paths;
    std::vector<_element_datatype_t> values;
    std::vector<qel_tribool_t> tribools;
    std::vector<char> auto_time;  // bool, which std::vector<bool> cannot hand out as an array
    std::vector<_event_t> events;

    Items() : texts(kItems), paths(kItems), values(kItems), tribools(kItems), auto_time(kItems) {
        events.resize(kItems);
        for (uint32_t i = 0; i < kItems; ++i) {
            texts[i] = std::string("/") + static_cast<char>('a' + i % 26);
            paths[i] = texts[i].c_str();
            _element_datatype_t& v = values[i];
            v.timestamp = {1700000000, 0};
            switch (i % 3) {
                case 0:
                    v.type = DATATYPE_BOOL;
                    v.value.bool_value = 1;
                    break;
                case 1:
                    v.type = DATATYPE_INT;
                    v.value.int_value = static_cast<int32_t>(i);
                    break;
                default:
                    v.type = DATATYPE_STRING;
                    v.value.string_value = {const_cast<char*>("x"), 1};
            }
            _event_t& e = events[i];
            e.type = 0x1;  // a kind with none of the generic or alarm fields
            e.path = {const_cast<char*>(paths[i]), 2};
            e.value = values[i];
            e.event_time = {1700000000, 0};
        }
    }
};

const Items& items() {
    static const Items* made = new Items();
    return *made;
}

// What decoding `body` leaves allocated until the call is carried out, and what the decoder asked
// its admission for; `check` sees the decoded operation.
struct Cost {
    long long allocated = 0;
    std::size_t admitted = 0;
    int arrays = 0;  // how often the decoder asked
    Decoded decoded = Decoded::kMalformed;
};
template <typename Check>
Cost decode(const std::vector<char>& body, Check&& check) {
    Cost cost;
    Memory memory;
    const DecodeAdmit admit = [&](std::size_t bytes) {
        cost.admitted += bytes;
        ++cost.arrays;
        return true;
    };
    live = 0;
    counting = true;
    cost.decoded = decode_request(
        body.data(), body.size(), memory,
        [&](auto& op) {
            cost.allocated = live.load();
            counting = false;
            check(op);
        },
        &admit);
    counting = false;
    return cost;
}

// The decoding of a request of tiny items allocates at most `limit` times the request's bytes,
// and no more than the decoder asked its admission for, so that the daemon's budget, which
// charges what is admitted, charges what the decoding takes. Beyond that only bookkeeping: the
// block each array is kept by, and the rounding of a large block to whole pages.
void expect_within(const char* name, const std::vector<char>& body, const Cost& cost,
                   double limit = 2.0) {
    ASSERT_EQ(cost.decoded, Decoded::kCarried) << name;
    const double ratio = static_cast<double>(cost.allocated) / static_cast<double>(body.size());
    EXPECT_LE(ratio, limit) << name << ": " << cost.allocated << " bytes decoded from "
                            << body.size();
    EXPECT_LE(cost.allocated, static_cast<long long>(cost.admitted) + 256 + 4160 * cost.arrays)
        << name << ": allocated beyond what was admitted";
    std::printf("%-12s %8zu request bytes, %8lld decoded (%.2f), %8zu admitted\n", name,
                body.size(), cost.allocated, ratio, cost.admitted);
}

SetLeaves set_leaves_of(const Items& it) {
    SetLeaves set;
    set.count = kItems;
    set.paths = it.paths.data();
    set.values = it.values.data();
    set.tribools = it.tribools.data();
    set.auto_time = reinterpret_cast<const bool*>(it.auto_time.data());
    set.source = "s";
    return set;
}

// add_nodes, remove_nodes, clear_leaves and get_leaves: paths (and a source) alone.
template <typename Batch>
void expect_paths_within(const char* name) {
    Batch batch;
    batch.count = kItems;
    batch.paths = items().paths.data();
    const std::vector<char> body = request_of(batch);
    expect_within(name, body, decode(body, [](auto&) {}));
}

TEST(RequestDecoding, TreeBatchesOfTinyItemsCostAtMostTwiceTheirBytes) {
    const Items& it = items();
    SetLeaves set = set_leaves_of(it);
    const std::vector<char> set_body = request_of(set);
    expect_within("set_leaves", set_body, decode(set_body, [&](auto& op) {
                      using Decoded = std::decay_t<decltype(op)>;
                      if constexpr (std::is_same_v<Decoded, SetLeaves>) {
                          ASSERT_EQ(op.count, kItems);
                          for (uint32_t i = 0; i < kItems; ++i) {
                              ASSERT_STREQ(op.paths[i], it.paths[i]);
                              ASSERT_EQ(op.values[i].type, it.values[i].type);
                          }
                          // A string's bytes are read where they lie in the request.
                          const _byte_array_t& s = op.values[2].value.string_value;
                          EXPECT_EQ(std::string(s.data, s.length), "x");
                          EXPECT_GE(s.data, set_body.data());
                          EXPECT_LT(s.data, set_body.data() + set_body.size());
                          EXPECT_EQ(op.values[1].value.int_value, 1);
                      } else {
                          ADD_FAILURE() << "decoded as another operation";
                      }
                  }));

    expect_paths_within<GetLeaves>("get_leaves");
    expect_paths_within<AddNodes>("add_nodes");
    expect_paths_within<RemoveNodes>("remove_nodes");
    expect_paths_within<ClearLeaves>("clear_leaves");
}

// events_send's and log_store's records are checked and left in the request, read one at a time
// when the call is carried out.
template <typename Batch>
void expect_records_left_in_place(const char* name) {
    const Items& it = items();
    Batch batch;
    batch.count = kItems;
    batch.records = it.events.data();
    const std::vector<char> body = request_of(batch);
    expect_within(name, body, decode(body, [&](auto& op) {
                      if constexpr (std::is_same_v<std::decay_t<decltype(op)>, Batch>) {
                          ASSERT_EQ(op.records, nullptr);
                          ASSERT_NE(op.encoded, nullptr);
                          nyrhost::WireReader r(op.encoded, op.encoded_size);
                          for (uint32_t i = 0; i < kItems; ++i) {
                              _event_t e{};
                              ASSERT_TRUE(read_request_record(r, e)) << i;
                              EXPECT_EQ(std::string(e.path.data, e.path.length), it.texts[i]);
                              EXPECT_EQ(e.value.type, it.values[i].type);
                              destruct_event(&e);
                          }
                          EXPECT_EQ(r.remaining(), 0u);
                      } else {
                          ADD_FAILURE() << "decoded as another operation";
                      }
                  }));
}

TEST(RequestDecoding, EventBatchesOfTinyEventsCostAtMostTwiceTheirBytes) {
    expect_records_left_in_place<EventsSend>("events_send");
    expect_records_left_in_place<LogStore>("log_store");
}

// A request whose decoding is refused its room is not handed on, and keeps nothing.
TEST(RequestDecoding, RefusedRoomStopsTheDecodingAndKeepsNothing) {
    SetLeaves set = set_leaves_of(items());
    const std::vector<char> body = request_of(set);
    for (int allowed = 0; allowed < 4; ++allowed) {
        int asked = 0;
        const DecodeAdmit admit = [&](std::size_t) { return asked++ < allowed; };
        bool used = false;
        live = 0;
        counting = true;
        {
            Memory memory;
            EXPECT_EQ(decode_request(
                          body.data(), body.size(), memory, [&](auto&) { used = true; }, &admit),
                      Decoded::kRefused)
                << allowed;
        }
        counting = false;
        EXPECT_FALSE(used);
        EXPECT_EQ(live.load(), 0) << "left allocated after a refusal with " << allowed;
    }
}

}  // namespace
