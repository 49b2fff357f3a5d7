// Helpers for tests of the host store through its raw qel_ calls: every test opens its own store
// with two handles on it, in process or remote (handle_source.h). The single-item helpers expect
// the call to be carried out (result 0) and return the item's status.
#ifndef TESTS_HOST_STORE_FIXTURE_H
#define TESTS_HOST_STORE_FIXTURE_H

#include <gtest/gtest.h>
#include <nyr_host.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/handle_source.h"

namespace storetest {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = qel_host_store_open(nullptr);
        ASSERT_NE(store, nullptr);
        a = open_handle(store);
        b = open_handle(store);
        ASSERT_TRUE(a != nullptr && b != nullptr);
    }
    void TearDown() override { close_store(store); }

    qel_store_t* store = nullptr;
    qel_handle_t a = nullptr, b = nullptr;
};

using Statuses = std::vector<api_status_t>;

inline Statuses statuses_of(const api_status_t* statuses, uint32_t count) {
    return Statuses(statuses, statuses + count);
}

inline _element_datatype_t int_value(int32_t v, int32_t seconds = -1) {
    _element_datatype_t record{};
    record.type = DATATYPE_INT;
    record.timestamp = {seconds, 0};
    record.value.int_value = v;
    return record;
}

// A text value pointing at `text`'s characters (valid while `text` lives).
inline _element_datatype_t text_value(std::string& text, int32_t seconds = -1) {
    _element_datatype_t record = int_value(0, seconds);
    record.type = DATATYPE_STRING;
    record.value.string_value = {&text[0], static_cast<uint32_t>(text.size())};
    return record;
}

inline std::string bytes_of(const _byte_array_t& bytes) {
    return bytes.data ? std::string(bytes.data, bytes.length) : std::string();
}

inline api_status_t set(qel_handle_t handle, const char* path, const _element_datatype_t& value,
                        qel_tribool_t tribool = 0, bool auto_time = false,
                        const char* source = "test") {
    api_status_t status = 0;
    EXPECT_EQ(qel_set_leaf(handle, path, value, tribool, auto_time, source, &status), 0);
    return status;
}

// Writes an int leaf stamped at second 100.
inline api_status_t put(qel_handle_t handle, const char* path, int32_t v,
                        qel_tribool_t tribool = 0) {
    return set(handle, path, int_value(v, 100), tribool);
}

inline api_status_t get(qel_handle_t handle, const char* path, _element_datatype_t& record,
                        element_property_t& property) {
    api_status_t status = 0;
    EXPECT_EQ(qel_get_leaf(handle, path, &status, &record, &property), 0);
    return status;
}

inline api_status_t get(qel_handle_t handle, const char* path) {
    _element_datatype_t record{};
    element_property_t property = 0;
    return get(handle, path, record, property);
}

#define STORETEST_ITEM_CALL(name, call)                       \
    inline api_status_t name(qel_handle_t h, const char* p) { \
        api_status_t status = 0;                              \
        EXPECT_EQ(call, 0) << p;                              \
        return status;                                        \
    }
STORETEST_ITEM_CALL(add_node, qel_add_node(h, p, "", &status))
STORETEST_ITEM_CALL(remove_node, qel_remove_node(h, p, "", &status))
STORETEST_ITEM_CALL(clear_leaf, qel_clear_leaf(h, p, "", &status))
STORETEST_ITEM_CALL(test_node, qel_test_node(h, p, &status))
#undef STORETEST_ITEM_CALL

// An event record of `kind` at `path` (pointing into `path`).
inline _event_t event_at(std::string& path, int32_t kind, int32_t cmd = 0) {
    _event_t record{};
    record.type = kind;
    record.cmd = cmd;
    record.path = {&path[0], static_cast<uint32_t>(path.size())};
    record.quality = 0xC0;
    return record;
}

// An event as a receiver saw it; `payload` holds a string or blob value's bytes.
struct Seen {
    std::string path;
    int32_t cmd, type;
    std::string source;
    std::string payload;
};

// Fetches the queued events of `handle` (waiting or not) and releases them as a receiver must.
inline std::vector<Seen> take_events(qel_handle_t handle, bool wait = false) {
    _event_t* records = nullptr;
    const int n =
        wait ? qel_events_get(handle, &records) : qel_events_get_nonblocking(handle, &records);
    std::vector<Seen> seen;
    if (n <= 0) {
        EXPECT_EQ(records, nullptr);
    }
    for (int i = 0; i < n; ++i) {
        const _event_t& r = records[i];
        seen.push_back({bytes_of(r.path), r.cmd, r.type, bytes_of(r.source), {}});
        if (r.value.type == DATATYPE_STRING || r.value.type == DATATYPE_BLOB)
            seen.back().payload = bytes_of(r.value.value.string_value);
        destruct_event(&records[i]);
    }
    std::free(records);
    return seen;
}

}  // namespace storetest

#endif  // TESTS_HOST_STORE_FIXTURE_H
