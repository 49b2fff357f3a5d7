// Shared fixture of the integration tests: the library's client objects on a host store of their
// own, two client objects on two handles of it.
#ifndef TESTS_INTEGRATION_HOST_CLIENT_H
#define TESTS_INTEGRATION_HOST_CLIENT_H

#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/log.h>
#include <toolkit/nyr.h>

#include <memory>
#include <string>

namespace integration {

class HostClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = qel_host_store_open(nullptr);
        ASSERT_NE(store, nullptr);
        first_handle = qel_host_handle_open(store);
        second_handle = qel_host_handle_open(store);
        first = std::make_unique<toolkit::CNyr>(first_handle);
        second = std::make_unique<toolkit::CNyr>(second_handle);
    }
    void TearDown() override {
        toolkit::CElement::_auto_time = saved_auto;
        toolkit::CElement::_forced_auto_time = saved_forced;
        qel_host_store_close(store);
    }

    // The status of a node test through the second client.
    api_status_t node_status(const std::string& path) {
        api_status_t status = 0;
        EXPECT_EQ(second->test_node(path, status), 0);
        return status;
    }

    qel_store_t* store = nullptr;
    qel_handle_t first_handle = nullptr, second_handle = nullptr;
    std::unique_ptr<toolkit::CNyr> first, second;

private:
    const bool saved_auto = toolkit::CElement::_auto_time;
    const bool saved_forced = toolkit::CElement::_forced_auto_time;
};

inline timeval tv(long seconds, long micros = 0) {
    timeval t{};
    t.tv_sec = seconds;
    t.tv_usec = micros;
    return t;
}

}  // namespace integration

#endif  // TESTS_INTEGRATION_HOST_CLIENT_H
