// Contract of the CNyr process services with the store, and the HMAC texts.
#include <toolkit/nyr.h>

#include <cstring>
#include <string>
#include <vector>

#include "double/store_double.h"

using nyrdouble::Text;
using namespace std::string_literals;
using toolkit::CNyr;

namespace {

class ClientServices : public nyrdouble::DoubleTest {
protected:
    CNyr client{fake_handle()};
};

// The members that hand their arguments on unchanged: texts as given ("" rather than null, except
// the system log's, where "" is null), numbers and flags in order, the status written by the store
// through the caller's address, and the store's result. None of them is a write, so read-only
// mode does not stop them.
#define MEMBER(call) [](CNyr& c, [[maybe_unused]] api_status_t& s) { return c.call; }
TEST_F(ClientServices, PassThroughMembersHandTheirArgumentsOnInOrder) {
    const struct {
        const char* fn;
        int (*call)(CNyr&, api_status_t&);
        std::vector<Text> texts;
        std::vector<long long> numbers;
    } rows[] = {
        // clang-format off
        {"watchdog_register", MEMBER(watchdog_register(s, "", 30, true)), {""s}, {30, 1}},
        {"watchdog_ping", MEMBER(watchdog_ping(s)), {}, {}},
        {"watchdog_clear", MEMBER(watchdog_clear(s)), {}, {}},
        {"set_verbosity", MEMBER(set_verbosity(3, 7, "module", s)), {"module"s}, {3, 7}},
        {"event_register", MEMBER(event_register("", 0x18, true, s)), {""s}, {0x18, 1}},
        {"event_clear", MEMBER(event_clear("/plant", 0x2, s)), {"/plant"s}, {0x2}},
        {"test_node", MEMBER(test_node("", s)), {""s}, {}},
        {"syslog_add", MEMBER(syslog_add("app", 4, "", "third")), {"app"s, {}, "third"s}, {4}},
        {"syslog_add", MEMBER(syslog_add("", 0, "second", "")), {{}, "second"s, {}}, {0}},
        // clang-format on
    };
    client.setReadOnly();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fn);
        store().script_result(row.fn, -2);
        store().script_status(row.fn, 6);
        api_status_t status = 0;
        EXPECT_EQ(row.call(client, status), -2);
        const nyrdouble::Call& call = store().last(row.fn);
        EXPECT_EQ(status, call.pointers.empty() ? 0 : 6);
        EXPECT_EQ(call.handle, fake_handle());
        EXPECT_EQ(call.texts, row.texts);
        EXPECT_EQ(call.numbers, row.numbers);
    }
}
#undef MEMBER

TEST_F(ClientServices, CreateUuidKeepsAllThirtySevenBytesOrNothing) {
    std::string out = "before";
    store().hooks.create_uuid = [](const char*, char* buf, uint32_t) {
        std::memset(buf, 'u', 36);
        return 0;
    };
    EXPECT_EQ(CNyr::create_uuid("name", out), 0);
    EXPECT_EQ(out, std::string(36, 'u') + '\0');  // the store's NUL included
    const nyrdouble::Call& call = store().last("create_uuid");
    EXPECT_EQ(call.texts, (std::vector<Text>{std::string("name")}));
    EXPECT_EQ(call.numbers, (std::vector<long long>{37}));

    store().hooks.create_uuid = [](const char*, char* buf, uint32_t) {
        std::memset(buf, 'x', 37);
        return -3;
    };
    EXPECT_EQ(CNyr::create_uuid("", out), -3);
    EXPECT_EQ(out, std::string(36, 'u') + '\0');
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
