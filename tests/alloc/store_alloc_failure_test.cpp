// The host store when memory runs out: each call below is made again and again, the first time
// with its first allocation failing, then its second, and so on until it runs without meeting the
// failure. Every time the store is either as it was before the call or the call is carried out,
// never half; a result of 0 means carried out; nothing leaks (the sanitizer lane checks that).
// Both kinds of handle: in process, and remote through the daemon's session served from inside
// this program, where a failure may meet the client or the daemon.
//
// Allocations fail through a replaced operator new and, for the store's own C allocations, through
// --wrap=malloc and --wrap=calloc (tests/cmake/alloc_failure_tests.cmake).
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "host/remote_server.h"

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t n, std::size_t size);
void __real_free(void* p);
}

namespace {

// Allocations still allowed before one fails; -1: none fails.
std::atomic<long> allowed{-1};

bool fails() {
    return allowed.load(std::memory_order_relaxed) >= 0 && allowed.fetch_sub(1) == 0;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) void* __wrap_malloc(std::size_t size) {
    return fails() ? nullptr : __real_malloc(size);
}
__attribute__((visibility("default"))) void* __wrap_calloc(std::size_t n, std::size_t size) {
    return fails() ? nullptr : __real_calloc(n, size);
}
__attribute__((visibility("default"))) void __wrap_free(void* p) {
    __real_free(p);
}
}

void* operator new(std::size_t size) {
    void* p = fails() ? nullptr : __real_malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    __real_free(p);
}
void operator delete[](void* p) noexcept {
    __real_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    __real_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    __real_free(p);
}

namespace {

_element_datatype_t int_value(int32_t v) {
    _element_datatype_t value{};
    value.type = DATATYPE_INT;
    value.timestamp = {-1, 0};
    value.value.int_value = v;
    return value;
}

// The value of the leaf at `path`, or -1 when there is none.
int32_t leaf(qel_handle_t h, const char* path) {
    api_status_t status = 0;
    _element_datatype_t value{};
    element_property_t property = 0;
    if (qel_get_leaf(h, path, &status, &value, &property) != 0 || status != QEL_STATUS_OK)
        return -1;
    return value.value.int_value;
}

// The values of the leaves at `paths`, read at one moment (-1 where there is none).
std::vector<int32_t> leaves(qel_handle_t h, const char* const* paths, uint32_t n) {
    std::vector<_element_datatype_t> values(n);
    std::vector<element_property_t> properties(n);
    api_status_t* statuses = nullptr;
    uint32_t count = 0;
    std::vector<int32_t> found(n, -1);
    if (qel_get_leaves(h, paths, n, &statuses, &count, values.data(), properties.data(), n) != 0)
        return found;
    for (uint32_t i = 0; i < n; ++i)
        if (statuses[i] == QEL_STATUS_OK) found[i] = values[i].value.int_value;
    return found;
}

std::string temp_folder() {
    std::string folder = (std::filesystem::temp_directory_path() / "nyralloc-XXXXXX").string();
    if (::mkdtemp(&folder[0]) == nullptr) std::abort();
    return folder;
}

// One store for one try: `inspect` sees it in process, `handle` makes the call, in process or
// through the served session.
class Try {
public:
    Try(bool remote, const std::string& file) {
        store_ = qel_host_store_open(file.empty() ? nullptr : file.c_str());
        qel_host_set_event_wait(store_, 0);
        inspect = qel_host_handle_open(store_);
        if (remote) {
            server_ = std::make_unique<remotetest::TestServer>(store_);
            handle = qel_host_connect(server_->path().c_str());
        } else {
            handle = qel_host_handle_open(store_);
        }
    }
    ~Try() {
        qel_host_handle_close(handle);
        server_.reset();
        qel_host_store_close(store_);
    }
    // Runs `call` with allocation `n` (0 = the first) failing; true when the failure was met.
    template <typename Call>
    bool failing_at(long n, Call&& call) {
        allowed = n;
        call();
        const bool met = allowed.exchange(-1) < 0;
        return met;
    }

    qel_handle_t inspect = nullptr;
    qel_handle_t handle = nullptr;

private:
    qel_store_t* store_ = nullptr;
    std::unique_ptr<remotetest::TestServer> server_;
};

// Each call is tried until it runs through; `prepare` sets up the store, `check` judges one try.
template <typename Prepare, typename Call, typename Check>
void every_failure(bool remote, const std::string& file, Prepare prepare, Call call, Check check) {
    for (long n = 0;; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        if (!file.empty()) std::filesystem::remove(file);
        Try t(remote, file);
        prepare(t);
        int result = 0;
        const bool met = t.failing_at(n, [&] { result = call(t); });
        check(t, result);
        if (!met) {
            EXPECT_EQ(result, 0) << "the call fails without a failing allocation";
            EXPECT_GT(n, 0) << "no allocation of the call was made to fail";
            return;
        }
        ASSERT_LT(n, 100000) << "the call never runs through";
    }
}

class StoreAllocationFailure : public ::testing::TestWithParam<bool> {};

TEST_P(StoreAllocationFailure, ASingleWriteIsWholeOrNothing) {
    const bool remote = GetParam();
    every_failure(
        remote, "",
        [](Try& t) {
            api_status_t status = 0;
            // A registration makes the write record and announce its changes.
            ASSERT_EQ(qel_event_register(t.inspect, "/", QEL_HOST_EVENT_TREE_CHANGE, true, &status),
                      0);
            ASSERT_EQ(qel_set_leaf(t.inspect, "/x", int_value(1), 0, false, "", &status), 0);
        },
        [](Try& t) {
            api_status_t status = 0;
            return qel_set_leaf(t.handle, "/a/b/c", int_value(7), 0, false, "", &status);
        },
        [&](Try& t, int result) {
            const bool done = leaf(t.inspect, "/a/b/c") == 7;
            api_status_t a = 0;
            ASSERT_EQ(qel_test_node(t.inspect, "/a", &a), 0);
            EXPECT_TRUE(done || a == QEL_STATUS_NOT_FOUND) << "a parent left behind";
            EXPECT_TRUE(done || result != 0);
            EXPECT_TRUE(!done || result == 0 || remote) << "carried out, yet reported failed";
            EXPECT_EQ(leaf(t.inspect, "/x"), 1);
        });
}

// Batches on a store in memory and on a store file: an item carried out before the failing one is
// taken back.
TEST_P(StoreAllocationFailure, ABatchWriteIsWholeOrNothing) {
    const bool remote = GetParam();
    const std::string folder = temp_folder();
    const char* paths[] = {"/n/one", "/n/two", "/m/new/three"};
    for (const std::string& file : {std::string(), folder + "/store.db"}) {
        SCOPED_TRACE(file.empty() ? "in memory" : "on a file");
        every_failure(
            remote, file,
            [&](Try& t) {
                api_status_t status = 0;
                ASSERT_EQ(qel_set_leaf(t.inspect, paths[0], int_value(1), 0, false, "", &status),
                          0);
                ASSERT_EQ(qel_set_leaf(t.inspect, paths[1], int_value(2), 0, false, "", &status),
                          0);
            },
            [&](Try& t) {
                const _element_datatype_t values[] = {int_value(10), int_value(20), int_value(30)};
                const qel_tribool_t tribools[3] = {};
                const bool auto_time[3] = {};
                api_status_t* statuses = nullptr;
                uint32_t count = 0;
                return qel_set_leaves(t.handle, paths, 3, values, tribools, auto_time, "",
                                      &statuses, &count);
            },
            [&](Try& t, int result) {
                const std::vector<int32_t> now = leaves(t.inspect, paths, 3);
                const bool done = now == std::vector<int32_t>{10, 20, 30};
                EXPECT_TRUE(done || now == (std::vector<int32_t>{1, 2, -1})) << "half a batch";
                EXPECT_TRUE(done || result != 0);
                EXPECT_TRUE(!done || result == 0 || remote) << "carried out, yet reported failed";
            });
        // Removed nodes come back whole, with what was below them.
        const char* nodes[] = {"/n", "/p/q"};
        const char* below[] = {"/n/one", "/n/two", "/p/q/r", "/p/s"};
        every_failure(
            remote, file,
            [&](Try& t) {
                api_status_t status = 0;
                for (int i = 0; i < 4; ++i)
                    ASSERT_EQ(
                        qel_set_leaf(t.inspect, below[i], int_value(i), 0, false, "", &status), 0);
            },
            [&](Try& t) {
                api_status_t* statuses = nullptr;
                uint32_t count = 0;
                return qel_remove_nodes(t.handle, nodes, 2, "", &statuses, &count);
            },
            [&](Try& t, int result) {
                const std::vector<int32_t> now = leaves(t.inspect, below, 4);
                const bool done = now == std::vector<int32_t>{-1, -1, -1, 3};
                EXPECT_TRUE(done || now == (std::vector<int32_t>{0, 1, 2, 3})) << "half a batch";
                EXPECT_TRUE(done || result != 0);
                EXPECT_TRUE(!done || result == 0 || remote) << "carried out, yet reported failed";
            });
    }
    std::filesystem::remove_all(folder);
}

TEST_P(StoreAllocationFailure, FetchedEventsAreHandedOutOrStayQueued) {
    const bool remote = GetParam();
    every_failure(
        remote, "",
        [](Try& t) {
            api_status_t status = 0;
            ASSERT_EQ(qel_event_register(t.handle, "/", 0x10, true, &status), 0);
            std::string path = "/e";
            _event_t record{};
            record.type = 0x10;
            record.path = {&path[0], 2};
            record.waveform_urls = &record.path;
            record.waveform_url_count = 1;
            const _event_t records[] = {record, record, record};
            api_status_t* statuses = nullptr;
            uint32_t count = 0;
            ASSERT_EQ(qel_events_send(t.inspect, records, 3, &statuses, &count), 0);
        },
        [](Try& t) {
            _event_t* records = nullptr;
            const int n = qel_events_get_nonblocking(t.handle, &records);
            for (int k = 0; k < n; ++k) destruct_event(&records[k]);
            std::free(records);
            if (n > 0 && n != 3) ADD_FAILURE() << n << " events of 3";
            return n > 0 ? 0 : n;
        },
        [&](Try& t, int result) {
            // Events not handed out are handed out by the next fetch, in process and through the
            // daemon, whether the daemon or the client ran out of memory.
            _event_t* records = nullptr;
            const int again = qel_events_get_nonblocking(t.handle, &records);
            for (int k = 0; k < again; ++k) destruct_event(&records[k]);
            std::free(records);
            EXPECT_EQ(again, result == 0 ? 0 : 3);
        });
}

TEST_P(StoreAllocationFailure, ARetrievalHandsOutAllOrNothing) {
    const bool remote = GetParam();
    every_failure(
        remote, "",
        [](Try& t) {
            std::string path = "/log";
            _event_t record{};
            record.type = 0x10;
            record.path = {&path[0], 4};
            const _event_t records[] = {record, record, record};
            ASSERT_EQ(qel_log_store(t.inspect, records, 3, false), 0);
        },
        [](Try& t) {
            _event_t* records = nullptr;
            uint32_t count = 0;
            const int result = qel_log_retrieve(t.handle, &records, &count, nullptr, nullptr,
                                                nullptr, 0, false, 0);
            if (result == 0 && count != 3) ADD_FAILURE() << count << " events of 3";
            if (result != 0 && (records != nullptr || count != 0)) ADD_FAILURE() << "half handed";
            for (uint32_t k = 0; k < count; ++k) destruct_event(&records[k]);
            std::free(records);
            return result;
        },
        [](Try& t, int) {
            _event_t* records = nullptr;
            uint32_t count = 0;
            ASSERT_EQ(qel_log_retrieve(t.inspect, &records, &count, nullptr, nullptr, nullptr, 0,
                                       false, 0),
                      0);
            EXPECT_EQ(count, 3u);
            for (uint32_t k = 0; k < count; ++k) destruct_event(&records[k]);
            std::free(records);
        });
}

INSTANTIATE_TEST_SUITE_P(Handles, StoreAllocationFailure, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Remote" : "InProcess"; });

}  // namespace
