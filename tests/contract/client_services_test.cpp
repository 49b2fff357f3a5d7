// Contract of the CNyr process services with the store, and the HMAC texts.
#include <toolkit/nyr.h>

#include <cstring>
#include <string>
#include <vector>

#include "double/store_double.h"

using nyrdouble::Text;
using toolkit::CNyr;

namespace {

class ClientServices : public nyrdouble::DoubleTest {
protected:
    CNyr client{fake_handle()};
};

TEST_F(ClientServices, PassThroughMembersHandTheirArgumentsOnInOrder) {
    client.setReadOnly();  // services are not writes
    api_status_t status = 0;

    store().script_status("watchdog_register", 5);
    EXPECT_EQ(client.watchdog_register(status, "", 30, true), 0);
    EXPECT_EQ(status, 5);
    const nyrdouble::Call& reg = store().last("watchdog_register");
    EXPECT_EQ(reg.handle, fake_handle());
    EXPECT_EQ(reg.texts, (std::vector<Text>{std::string()}));
    EXPECT_EQ(reg.numbers, (std::vector<long long>{30, 1}));
    EXPECT_EQ(reg.pointers[0], &status);

    store().script_result("watchdog_ping", -2);
    EXPECT_EQ(client.watchdog_ping(status), -2);
    EXPECT_EQ(store().last("watchdog_ping").pointers[0], &status);
    store().script_status("watchdog_clear", 6);
    EXPECT_EQ(client.watchdog_clear(status), 0);
    EXPECT_EQ(status, 6);

    EXPECT_EQ(client.set_verbosity(3, 7, "module", status), 0);
    const nyrdouble::Call& verbosity = store().last("set_verbosity");
    EXPECT_EQ(verbosity.numbers, (std::vector<long long>{3, 7}));
    EXPECT_EQ(verbosity.texts, (std::vector<Text>{std::string("module")}));
    EXPECT_EQ(verbosity.pointers[0], &status);
    EXPECT_EQ(client.set_verbosity(1, 0, "", status), 0);
    EXPECT_EQ(store().last("set_verbosity").texts, (std::vector<Text>{std::string()}));

    // The system log takes empty texts as null pointers.
    store().script_result("syslog_add", 8);
    EXPECT_EQ(client.syslog_add("app", 4, "", "third"), 8);
    const nyrdouble::Call& log = store().last("syslog_add");
    EXPECT_EQ(log.texts,
              (std::vector<Text>{std::string("app"), std::nullopt, std::string("third")}));
    EXPECT_EQ(log.numbers, (std::vector<long long>{4}));
    EXPECT_EQ(client.syslog_add("", 0, "second", ""), 8);
    EXPECT_EQ(store().last("syslog_add").texts,
              (std::vector<Text>{std::nullopt, std::string("second"), std::nullopt}));
}

TEST_F(ClientServices, CreateUuidKeepsAllThirtySevenBytesOrNothing) {
    std::string out = "before";
    EXPECT_EQ(CNyr::create_uuid("name", out), 0);
    const nyrdouble::Call& call = store().last("create_uuid");
    EXPECT_EQ(call.texts, (std::vector<Text>{std::string("name")}));
    EXPECT_EQ(call.numbers, (std::vector<long long>{37}));
    EXPECT_EQ(out, std::string("00000000-0000-4000-8000-000000000000", 37));  // NUL included
    EXPECT_EQ(out.size(), 37u);

    store().hooks.create_uuid = [](const char*, char* buf, uint32_t) {
        std::memset(buf, 'u', 37);
        return 0;
    };
    EXPECT_EQ(CNyr::create_uuid("", out), 0);
    EXPECT_EQ(out, std::string(37, 'u'));
    EXPECT_EQ(store().last("create_uuid").texts, (std::vector<Text>{std::string()}));

    store().hooks.create_uuid = [](const char*, char* buf, uint32_t) {
        std::memset(buf, 'x', 37);
        return -3;
    };
    EXPECT_EQ(CNyr::create_uuid("", out), -3);
    EXPECT_EQ(out, std::string(37, 'u'));
}

#ifdef TOOLKIT_TESTS_HAVE_OPENSSL
constexpr bool kHaveHmac = true;
#else
constexpr bool kHaveHmac = false;
#endif

struct HmacVector {
    std::string key, data, hex;
};

// RFC 2202 test cases for HMAC-SHA1 (a short key, a key longer than a block), a key and data with
// NUL bytes inside, and empty ones.
const HmacVector kHmacVectors[] = {
    {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
    {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
     "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
    {std::string("k\0ey", 4), std::string("da\0ta", 5), "c13f287cf12241a250359ce4d0783570b613afc4"},
    {"", "", "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d"},
};

TEST(ClientHmac, GivesTheFirstOneToTwentyHexDigitsOfTheDigestAndRefusesOtherLengths) {
    if (!kHaveHmac) GTEST_SKIP() << "built without OpenSSL";
    for (const HmacVector& v : kHmacVectors) {
        SCOPED_TRACE(v.hex);
        for (unsigned int length : {1u, 8u, 13u, 20u}) {
            std::string out = "unchanged";
            EXPECT_EQ(CNyr::create_hmac(v.key, v.data, out, length), 0);
            EXPECT_EQ(out, v.hex.substr(0, length));
        }
    }
    for (unsigned int length : {0u, 21u, 40u, 4096u}) {
        std::string out = "unchanged";
        EXPECT_EQ(CNyr::create_hmac("key", "data", out, length), -1);
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(ClientHmac, WithoutOpenSslEveryRequestFails) {
    if (kHaveHmac) GTEST_SKIP() << "built with OpenSSL";
    std::string out = "unchanged";
    EXPECT_EQ(CNyr::create_hmac("Jefe", "what do ya want for nothing?", out, 20), -1);
    EXPECT_EQ(out, "unchanged");
}

}  // namespace
