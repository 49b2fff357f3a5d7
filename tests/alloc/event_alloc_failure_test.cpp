// get_base when malloc fails: the array stays null, its count keeps the list's size, the rest of
// the record is complete, and nothing leaks.
//
// This program is linked with --wrap=malloc and --wrap=free and compiles the event and element
// sources into itself (see tests/cmake/h2.cmake): the wrap only redirects calls made from the
// program's own objects, and the calls of libnyr++.so would never reach it.
#include <gtest/gtest.h>
#include <toolkit/event.h>

#include <cstddef>
#include <cstdlib>
#include <vector>

extern "C" {
void* __real_malloc(std::size_t size);
void __real_free(void* p);

namespace {
int malloc_calls = -1;  // counting while >= 0
int fail_call = 0;      // the call (1-based) that fails
std::vector<void*> freed;
bool watch_frees = false;
}  // namespace

// Visible, so that a sanitizer runtime resolving malloc/free against the program finds them.
__attribute__((visibility("default"))) void* __wrap_malloc(std::size_t size) {
    if (malloc_calls >= 0 && ++malloc_calls == fail_call) return nullptr;
    return __real_malloc(size);
}

__attribute__((visibility("default"))) void __wrap_free(void* p) {
    if (watch_frees && p != nullptr) freed.push_back(p);
    __real_free(p);
}
}

namespace {

toolkit::CEvent alarm() {
    toolkit::CEvent e(0x10);
    e.path = "/a";
    e.note = "note";
    e.waveform_urls = {"u1", "u2", "u3"};
    e.details = {{"k1", "v1"}, {"k2", "v2"}};
    return e;
}

// get_base with the n-th malloc failing; `calls` receives how many it made.
_event_t base_failing(const toolkit::CEvent& e, int n, int& calls) {
    malloc_calls = 0;
    fail_call = n;
    freed.clear();
    watch_frees = true;
    _event_t record = e.get_base();
    watch_frees = false;
    calls = malloc_calls;
    malloc_calls = -1;
    return record;
}

}  // namespace

TEST(EventAllocationFailure, ArrayStaysNullCountIsKept) {
    const toolkit::CEvent e = alarm();
    int calls = 0;
    _event_t r = base_failing(e, 1, calls);  // the waveform array
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(r.waveform_urls, nullptr);
    EXPECT_EQ(r.waveform_url_count, 3u) << "the count keeps the list's size";
    ASSERT_NE(r.detail_keys, nullptr);
    ASSERT_NE(r.detail_values, nullptr);
    EXPECT_EQ(r.note.length, 4u) << "the rest of the record is complete";
    toolkit::CEvent back(r);  // the absent list reads as empty, the rest survives
    EXPECT_TRUE(back.waveform_urls.empty());
    EXPECT_EQ(back.details.size(), 2u);
    destruct_event(&r);

    r = base_failing(e, 2, calls);  // the key array
    EXPECT_EQ(calls, 2) << "no value array is tried without a key array";
    EXPECT_EQ(r.detail_keys, nullptr);
    EXPECT_EQ(r.detail_values, nullptr);
    EXPECT_EQ(r.detail_count, 2u);
    ASSERT_NE(r.waveform_urls, nullptr);
    destruct_event(&r);

    r = base_failing(e, 3, calls);  // the value array: the key array is released again
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(r.detail_keys, nullptr);
    EXPECT_EQ(r.detail_values, nullptr);
    EXPECT_EQ(r.detail_count, 2u);
    EXPECT_EQ(freed.size(), 1u) << "the key array is freed inside get_base";
    back = r;
    EXPECT_TRUE(back.details.empty());
    EXPECT_EQ(back.waveform_urls.size(), 3u);
    destruct_event(&r);
}
