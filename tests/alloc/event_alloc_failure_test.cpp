// get_base when malloc fails: the array stays null, its count keeps the list's size, the rest of
// the record is complete, and nothing leaks.
//
// This program is linked with --wrap=malloc and --wrap=free and compiles the event and element
// sources into itself (see tests/cmake/alloc_failure_tests.cmake): the wrap only redirects calls
// made from the program's own objects, and the calls of libnyr++.so would never reach it.
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

TEST(EventAllocationFailure, ArrayStaysNullCountIsKept) {
    toolkit::CEvent e(0x10);
    e.path = "/a";
    e.note = "note";
    e.waveform_urls = {"u1", "u2", "u3"};
    e.details = {{"k1", "v1"}, {"k2", "v2"}};
    // Which malloc fails, how many get_base makes, and what the record holds then.
    struct Case {
        int failing, calls;
        bool urls, details;
    };
    for (const Case c : {Case{1, 3, false, true},     // the waveform array
                         Case{2, 2, true, false},     // the key array: no value array is tried
                         Case{3, 3, true, false}}) {  // the value array: the key array is freed
        SCOPED_TRACE(c.failing);
        malloc_calls = 0;
        fail_call = c.failing;
        freed.clear();
        watch_frees = true;
        _event_t r = e.get_base();
        watch_frees = false;
        EXPECT_EQ(malloc_calls, c.calls);
        malloc_calls = -1;
        EXPECT_EQ(freed.size(), c.failing == 3 ? 1u : 0u) << "frees inside get_base";
        EXPECT_EQ(r.waveform_urls != nullptr, c.urls);
        EXPECT_EQ(r.detail_keys != nullptr, c.details);
        EXPECT_EQ(r.detail_values != nullptr, c.details);
        EXPECT_EQ(r.waveform_url_count, 3u) << "the count keeps the list's size";
        EXPECT_EQ(r.detail_count, 2u);
        EXPECT_EQ(r.note.length, 4u) << "the rest of the record is complete";
        const toolkit::CEvent back(r);  // an absent list reads as empty, the rest survives
        EXPECT_EQ(back.waveform_urls.size(), c.urls ? 3u : 0u);
        EXPECT_EQ(back.details.size(), c.details ? 2u : 0u);
        destruct_event(&r);
    }
}
