// The host store's process services: watchdog, verbosity, system log, UUIDs and error reports.
#include <cctype>
#include <set>

#include "store_fixture.h"

using namespace storetest;

TEST(HostUuid, NameBasedForATextRandomOtherwise) {
    auto uuid = [](const char* text) {
        char buf[37];
        EXPECT_EQ(qel_create_uuid(text, buf, sizeof buf), 0);
        return std::string(buf);
    };
    // Lower-case hex digits in groups of 8-4-4-4-12, the version digit, and the RFC variant.
    auto check_shape = [](const std::string& text, char version) {
        std::string pattern = "xxxxxxxx-xxxx-Vxxx-Rxxx-xxxxxxxxxxxx";
        for (std::size_t i = 0; i < text.size() && i < pattern.size(); ++i) {
            const char c = text[i];
            if (pattern[i] == 'x' && (std::isdigit(c) || (c >= 'a' && c <= 'f'))) pattern[i] = c;
            if (pattern[i] == 'R' && std::string("89ab").find(c) != std::string::npos)
                pattern[i] = c;
            if (pattern[i] == 'V' && c == version) pattern[i] = c;
        }
        EXPECT_EQ(text, pattern);
    };
    const std::string first = uuid("device-7");
    EXPECT_EQ(uuid("device-7"), first);
    EXPECT_NE(uuid("device-8"), first);
    check_shape(first, '5');
    // A version 5 UUID in the URL namespace, as other RFC 4122 implementations compute it.
    EXPECT_EQ(uuid("http://python.org/"), "4c565f0d-3f5a-5890-b41b-20cf47701c5e");

    std::set<std::string> random;
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        for (int i = 0; i < 20; ++i) {
            const std::string one = uuid(text);
            check_shape(one, '4');
            random.insert(one);
        }
    }
    EXPECT_EQ(random.size(), 40u);

    char small[36];
    EXPECT_EQ(qel_create_uuid("x", small, sizeof small), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_create_uuid("x", nullptr, 37), QEL_RESULT_BAD_ARGUMENT);
}

TEST_F(StoreTest, WatchdogIsKeptPerHandle) {
    api_status_t status = 0;
    int registered = -1;
    uint32_t pings = 99, number = 0;
    auto expect_status = [&](int result, api_status_t expected) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(status, expected);
    };
    expect_status(qel_watchdog_ping(a, &status), QEL_STATUS_NOT_FOUND);
    expect_status(qel_watchdog_register(a, &status, "main loop", 30, true), QEL_STATUS_OK);
    ASSERT_EQ(qel_watchdog_ping(a, &status), 0);
    expect_status(qel_watchdog_ping(a, &status), QEL_STATUS_OK);
    ASSERT_EQ(qel_host_watchdog_state(a, &registered, &pings, &number), 0);
    EXPECT_EQ(registered, 1);
    EXPECT_EQ(pings, 2u);
    EXPECT_EQ(number, 30u);
    ASSERT_EQ(qel_host_watchdog_state(b, &registered, &pings, &number), 0);
    EXPECT_EQ(registered, 0);
    expect_status(qel_watchdog_clear(b, &status), QEL_STATUS_NOT_FOUND);
    expect_status(qel_watchdog_clear(a, &status), QEL_STATUS_OK);
    ASSERT_EQ(qel_host_watchdog_state(a, &registered, &pings, &number), 0);
    EXPECT_EQ(registered, 0);
    EXPECT_EQ(qel_watchdog_ping(nullptr, &status), QEL_RESULT_BAD_HANDLE);
    EXPECT_EQ(qel_watchdog_register(a, nullptr, "", 1, false), QEL_RESULT_BAD_ARGUMENT);
}

TEST_F(StoreTest, VerbosityIsPerThreadCodeAndSharedByTheStoresHandles) {
    api_status_t status = 0;
    uint32_t level = 99;
    ASSERT_EQ(qel_host_verbosity(a, 3, &level), 0);
    EXPECT_EQ(level, 0u);
    ASSERT_EQ(qel_set_verbosity(a, 3, 7, "io", &status), 0);
    EXPECT_EQ(status, QEL_STATUS_OK);
    ASSERT_EQ(qel_set_verbosity(a, 4, 2, nullptr, &status), 0);
    ASSERT_EQ(qel_host_verbosity(b, 3, &level), 0);
    EXPECT_EQ(level, 7u);
    ASSERT_EQ(qel_host_verbosity(b, 4, &level), 0);
    EXPECT_EQ(level, 2u);
}

TEST_F(StoreTest, SystemLogEntriesAreKeptInOrderWithNullTextsAsEmpty) {
    ASSERT_EQ(qel_syslog_add(a, "first", 3, nullptr, "third"), 0);
    ASSERT_EQ(qel_syslog_add(b, nullptr, 6, "two", nullptr), 0);
    ASSERT_EQ(qel_host_syslog_count(a), 2);
    syslog_severity_t severity = 0;
    const char *first = nullptr, *second = nullptr, *third = nullptr;
    auto entry = [&](int index) {
        const int result = qel_host_syslog_entry(b, index, &severity, &first, &second, &third);
        auto text = [](const char* p) { return std::string(p ? p : "<null>"); };
        return result != 0 ? std::to_string(result)
                           : std::to_string(severity) + ":" + text(first) + ":" + text(second) +
                                 ":" + text(third);
    };
    EXPECT_EQ(entry(0), "3:first::third");
    EXPECT_EQ(entry(1), "6::two:");
    EXPECT_EQ(entry(2), std::to_string(QEL_RESULT_BAD_ARGUMENT));
    EXPECT_EQ(qel_syslog_add(nullptr, "x", 1, "y", "z"), QEL_RESULT_BAD_HANDLE);
}

TEST(HostErr, ReportsGoToTheInstalledSinkFormatted) {
    std::vector<std::pair<int, std::string>> reports;
    qel_host_set_err_sink(
        [](void* context, int code, const char* text) {
            static_cast<decltype(reports)*>(context)->emplace_back(code, text);
        },
        &reports);
    qel_err(0, "%s: Element '%s' changed type!", "copy_node_recursive", "/a/b");
    qel_err(-4, "%d items", 12);
    qel_host_set_err_sink(nullptr, nullptr);
    qel_err(1, "this one goes to stderr");
    EXPECT_EQ(reports,
              (std::vector<std::pair<int, std::string>>{
                  {0, "copy_node_recursive: Element '/a/b' changed type!"}, {-4, "12 items"}}));
}
