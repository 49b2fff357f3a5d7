// Shared helpers for tests of the host store through its raw qel_ calls: every test opens its own
// store with two handles on it.
#ifndef TESTS_HOST_STORE_FIXTURE_H
#define TESTS_HOST_STORE_FIXTURE_H

#include <gtest/gtest.h>
#include <nyr_host.h>

#include <cstring>
#include <string>
#include <vector>

namespace storetest {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = qel_host_store_open(nullptr);
        ASSERT_NE(store, nullptr);
        a = qel_host_handle_open(store);
        b = qel_host_handle_open(store);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
    }
    void TearDown() override { qel_host_store_close(store); }

    qel_store_t* store = nullptr;
    qel_handle_t a = nullptr;
    qel_handle_t b = nullptr;
};

inline _element_datatype_t int_value(int32_t v, int32_t seconds = -1) {
    _element_datatype_t record{};
    record.type = DATATYPE_INT;
    record.timestamp = {seconds, 0};
    record.value.int_value = v;
    return record;
}

// A text value pointing at `text`'s characters (valid while `text` lives).
inline _element_datatype_t text_value(std::string& text, int32_t seconds = -1) {
    _element_datatype_t record{};
    record.type = DATATYPE_STRING;
    record.timestamp = {seconds, 0};
    record.value.string_value = {&text[0], static_cast<uint32_t>(text.size())};
    return record;
}

inline std::string bytes_of(const _byte_array_t& bytes) {
    return bytes.data ? std::string(bytes.data, bytes.length) : std::string();
}

// Writes an int leaf and returns its status.
inline api_status_t put(qel_handle_t handle, const char* path, int32_t v,
                        qel_tribool_t tribool = 0) {
    api_status_t status = 0;
    EXPECT_EQ(qel_set_leaf(handle, path, int_value(v, 100), tribool, false, "test", &status), 0);
    return status;
}

// Reads an int leaf; status in `status`.
inline int32_t get_int(qel_handle_t handle, const char* path, api_status_t& status) {
    _element_datatype_t record{};
    element_property_t property = 0;
    EXPECT_EQ(qel_get_leaf(handle, path, &status, &record, &property), 0);
    return record.value.int_value;
}

inline api_status_t test_node(qel_handle_t handle, const char* path) {
    api_status_t status = 0;
    EXPECT_EQ(qel_test_node(handle, path, &status), 0);
    return status;
}

// An event record of `kind` at `path` (pointing into `path`).
inline _event_t event_at(std::string& path, int32_t kind, int32_t cmd = 0) {
    _event_t record{};
    record.type = kind;
    record.cmd = cmd;
    record.path = {&path[0], static_cast<uint32_t>(path.size())};
    record.quality = 0xC0;
    return record;
}

// Fetches the queued events of `handle` without waiting and releases the array; returns
// (path, cmd, type) of each.
struct Seen {
    std::string path;
    int32_t cmd;
    int32_t type;
    std::string source;
    _element_datatype_t value;
    std::string payload;
};
std::vector<Seen> take_events(qel_handle_t handle, bool wait = false);

}  // namespace storetest

#endif  // TESTS_HOST_STORE_FIXTURE_H
