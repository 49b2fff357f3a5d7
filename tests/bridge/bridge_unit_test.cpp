// The bridge's pieces on their own: names in topic levels, the spool, inbound writes against a
// store in memory.
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/nyr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "inbound.h"
#include "payloads.h"
#include "spool.h"
#include "topic_names.h"

namespace {

using namespace nyr_bridge;

TEST(TopicNames, EveryNameRoundTripsAndTopicsCarryNoWildcardOrBadByte) {
    const std::string names[] = {"plain",
                                 "a+b",
                                 "#",
                                 "100%",
                                 "",
                                 std::string("nul\0x", 5),
                                 "tab\there",
                                 "\x7f",
                                 "\xc2\x85",
                                 "\xff\xfe",
                                 "caf\xc3\xa9",
                                 "\xe2\x82",
                                 "%41",
                                 "snow\xe2\x98\x83"};
    for (const std::string& name : names) {
        const std::string level = encode_name(name);
        EXPECT_EQ(level.find_first_of("+#/"), std::string::npos) << level;
        for (const char c : level) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << level;
        std::string back;
        ASSERT_TRUE(decode_name(level, back)) << level;
        EXPECT_EQ(back, name) << level;
    }
    EXPECT_EQ(encode_name("a+b"), "a%2Bb");
    EXPECT_EQ(encode_name(""), "%");
    EXPECT_EQ(encode_name("caf\xc3\xa9"), "caf\xc3\xa9");  // valid UTF-8 stays readable
    EXPECT_EQ(encode_name("\xe2\x82"), "%E2%82");
    std::string path;
    ASSERT_TRUE(levels_to_path(path_to_levels("/a/%/b c"), path));
    EXPECT_EQ(path, "/a/%/b c");
    EXPECT_EQ(path_to_levels("/"), "");
    for (const char* bad : {"/a%", "/a%4", "/a%zz", "a", "/x/", "/+"})
        EXPECT_FALSE(levels_to_path(bad, path)) << bad;
    EXPECT_TRUE(is_within("/a/b", "/a"));
    EXPECT_FALSE(is_within("/ab", "/a"));
    EXPECT_TRUE(is_within("/a", "/"));
}

class SpoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/nyr-spool-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        _dir = folder;
    }
    void TearDown() override { std::filesystem::remove_all(_dir); }
    static std::vector<SpoolRow> rows(int first, int count) {
        std::vector<SpoolRow> out;
        for (int i = first; i < first + count; ++i)
            out.push_back(SpoolRow{0, "t/" + std::to_string(i), std::string(68, 'x')});
        return out;
    }
    std::string _dir;
};

TEST_F(SpoolTest, KeepsRowsInOrderAcrossReopeningUntilRemoved) {
    SpoolMark mark;
    mark.set = true;
    mark.time = timeval{7, 8};
    mark.key = "last";
    {
        Spool spool(_dir + "/s.db", 1 << 20);
        std::vector<SpoolRow> batch = rows(0, 5);
        EXPECT_EQ(spool.append(batch, mark), 0u);
        EXPECT_LT(batch[0].id, batch[4].id);
        spool.remove({batch[1].id, batch[3].id, 12345});
        EXPECT_EQ(spool.rows(), 3u);
    }
    Spool again(_dir + "/s.db", 1 << 20);
    const std::vector<SpoolRow> left = again.pending();
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[0].topic, "t/0");
    EXPECT_EQ(left[1].topic, "t/2");
    EXPECT_EQ(left[2].topic, "t/4");
    EXPECT_EQ(again.bytes(), 3 * (3 + 68 + 32u));
    EXPECT_TRUE(again.mark().set);
    EXPECT_EQ(again.mark().time.tv_usec, 8);
    EXPECT_EQ(again.mark().key, "last");
}

TEST_F(SpoolTest, DropsTheOldestPastItsBoundAndCountsThem) {
    // A row counts its topic, 68 payload bytes and 32: 103 bytes for t/0 to t/9, 104 beyond.
    // Thirteen rows take 1342 bytes; without the three oldest, 1033.
    Spool spool(_dir + "/s.db", 1033);
    std::vector<SpoolRow> batch = rows(0, 8);
    EXPECT_EQ(spool.append(batch, SpoolMark()), 0u);
    batch = rows(8, 5);
    EXPECT_EQ(spool.append(batch, SpoolMark()), 3u);
    EXPECT_EQ(spool.dropped(), 3u);
    const std::vector<SpoolRow> left = spool.pending();
    ASSERT_EQ(left.size(), 10u);
    EXPECT_EQ(left.front().topic, "t/3");
    EXPECT_EQ(left.back().topic, "t/12");
    EXPECT_EQ(Spool(_dir + "/s.db", 1033).dropped(), 3u);  // the count is kept in the file
}

TEST_F(SpoolTest, AFileThatIsNoSpoolIsRefused) {
    std::ofstream(_dir + "/junk") << ("this is not a database, just some text of a user's own");
    EXPECT_THROW(Spool(_dir + "/junk", 1 << 20), std::exception);
}

// Inbound writes on a store in memory: every refusal leaves the store untouched.
class InboundTest : public ::testing::Test {
protected:
    void SetUp() override {
        _store = qel_host_store_open(nullptr);
        _handle = qel_host_handle_open(_store);
        _client = toolkit::CNyr(_handle);
        api_status_t status = 0;
        _client.set_leaf("/plant/pump/speed", toolkit::CElement(1.5), status, 0, "test");
    }
    void TearDown() override { qel_host_store_close(_store); }
    InboundOutcome apply(const std::string& levels, const std::string& payload,
                         const std::vector<std::string>& writable = {"/plant/pump"}) {
        return apply_inbound(_client, writable, levels, payload, _source);
    }
    double speed() {
        api_status_t status = 0;
        toolkit::CElement value;
        element_property_t property = 0;
        _client.get_leaf("/plant/pump/speed", status, value, property);
        return value.to_float();
    }
    qel_store_t* _store = nullptr;
    qel_handle_t _handle = nullptr;
    toolkit::CNyr _client{nullptr};
    std::string _source = "bridge-source";
};

TEST_F(InboundTest, RefusesBadMessagesBeforeAnyStoreCallAndWritesGoodOnes) {
    const struct {
        std::string levels, payload;
        std::vector<std::string> writable;
        const char* reason;
    } refused[] = {
        {"/plant/pump/speed", "{\"type\":", {"/plant/pump"}, "not JSON"},
        {"/plant/pump/speed", "[1,2]", {"/plant/pump"}, "JSON object"},
        {"/plant/pump/speed", R"({"type":"double","value":"fast"})", {"/plant/pump"}, "double"},
        {"/plant/pump/speed", R"({"type":"int32","value":4294967296})", {"/plant/pump"}, "fit"},
        {"/plant/pump/speed", R"({"type":"color","value":1})", {"/plant/pump"}, "unknown type"},
        {"/plant/pump/speed",
         R"({"type":"double","value":2,"property":-1})",
         {"/plant/pump"},
         "property"},
        {"/plant/valve", R"({"type":"double","value":2})", {"/plant/pump"}, "outside"},
        {"/plant/pumpx", R"({"type":"double","value":2})", {"/plant/pump"}, "outside"},
        {"/plant/pump/speed", R"({"type":"double","value":2})", {}, "no --writable"},
        {"/plant/pump/sp%zzeed", R"({"type":"double","value":2})", {"/plant/pump"}, "no store"},
        {"/plant/pump/speed", std::string(kMaxInboundBytes + 1, ' '), {"/plant/pump"}, "bytes"},
    };
    for (const auto& message : refused) {
        const InboundOutcome outcome = apply(message.levels, message.payload, message.writable);
        EXPECT_EQ(outcome.status, 0) << message.reason;
        EXPECT_NE(outcome.meaning.find(message.reason), std::string::npos)
            << outcome.meaning << " for " << message.reason;
    }
    EXPECT_EQ(speed(), 1.5);

    // A good write goes through set_leaf with the bridge's source string and the property word.
    api_status_t status = 0;
    ASSERT_EQ(_client.event_register("/plant", 0x2, true, status), 0);
    const InboundOutcome written =
        apply("/plant/pump/speed", R"({"type":"double","value":2.25,"property":3})");
    EXPECT_EQ(written.status, 1) << written.meaning;
    EXPECT_EQ(speed(), 2.25);
    std::vector<toolkit::CEvent> events;
    ASSERT_EQ(_client.events_get_nonblocking(events), 1);
    EXPECT_EQ(events[0].source, _source);
    toolkit::CElement value;
    element_property_t property = 0;
    _client.get_leaf("/plant/pump/speed", status, value, property);
    EXPECT_EQ(property, 3u);
    // A store refusal is passed on as the store's status.
    const InboundOutcome onto_node =
        apply("/plant/pump", R"({"type":"bool","value":true})", {"/plant"});
    EXPECT_NE(onto_node.status, 1);
    EXPECT_NE(onto_node.status, 0);
}

TEST(Payloads, LeavesRoundTripBitForBitAndStatusesParse) {
    const double odd = -0.0;
    toolkit::CElement value(odd, timeval{5, 6});
    const std::string payload = leaf_payload(value, 9);
    EXPECT_EQ(payload,
              R"({"property":9,"time":[5,6],"type":"double","value":"0x8000000000000000"})");
    toolkit::CElement back;
    element_property_t property = 0;
    std::string why;
    ASSERT_TRUE(parse_leaf(payload, back, property, why)) << why;
    EXPECT_EQ(leaf_payload(back, property), payload);
    bool online = false;
    timeval since{};
    ASSERT_TRUE(parse_status(online_payload(timeval{10, 20}), online, since));
    EXPECT_TRUE(online);
    EXPECT_EQ(since.tv_usec, 20);
    ASSERT_TRUE(parse_status(offline_payload(), online, since));
    EXPECT_FALSE(online);
    EXPECT_FALSE(parse_status("{\"online\":1}", online, since));
}

}  // namespace
