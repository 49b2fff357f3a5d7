// The host store's source strings: every component text round-trips, the size contract of the
// formatter holds, malformed texts are refused.
#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/event.h>

#include <cstring>

#include "codec/wire_format.h"

using toolkit::CEvent;
using Parts = std::vector<std::string>;

namespace {

// Parses with the store; the components as texts, "<null>" for an absent one.
int parse(const std::string& text, Parts& parts) {
    std::vector<char> copy(text.c_str(), text.c_str() + text.size() + 1);
    char* places[3] = {nullptr, nullptr, nullptr};
    const int result = qel_parse_source_string(copy.data(), &places[0], &places[1], &places[2]);
    parts.clear();
    for (char* p : places) parts.push_back(p ? std::string(p) : "<null>");
    return result;
}

}  // namespace

TEST(HostSourceString, EveryComponentTextRoundTripsAndMalformedTextsAreRefused) {
    const Parts texts = {"plain", "a|b", "|", "\\", "\\|", "end\\", "x y"};
    Parts parts;
    for (const std::string& a : texts) {
        for (const std::string& c : texts) {
            std::string encoded;
            ASSERT_GT(CEvent::format_source_string(encoded, a, "|\\|", c), 0);
            ASSERT_EQ(parse(encoded, parts), 0) << encoded;
            EXPECT_EQ(parts, (Parts{a, "|\\|", c})) << encoded;
        }
    }
    std::string encoded;
    CEvent::format_source_string(encoded, "a|b", "", "c\\");
    EXPECT_EQ(encoded, "a\\|b||c\\\\");
    ASSERT_EQ(parse(encoded, parts), 0);
    EXPECT_EQ(parts[1], "<null>") << "an empty component comes back absent";
    ASSERT_EQ(parse("", parts), 0) << "the empty text names nothing";
    EXPECT_EQ(parts, (Parts{"<null>", "<null>", "<null>"}));

    for (const char* bad : {"abc", "a|b", "a|b|c|d", "a\\x|b|c", "a|b|c\\"})
        EXPECT_EQ(parse(bad, parts), nyrhost::kResultMalformed) << bad;
    char text[] = "a|b|c";
    char* place = nullptr;
    EXPECT_EQ(qel_parse_source_string(nullptr, &place, &place, &place), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(qel_parse_source_string(text, &place, nullptr, &place), QEL_RESULT_BAD_ARGUMENT);
}

TEST(HostSourceString, FormatWritesAtMostSizeBytesAndReportsTheFullLength) {
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(qel_format_source_string(buf, 5, "abc", "def", "g|h"), 12);  // abc|def|g\|h
    EXPECT_STREQ(buf, "abc|");
    EXPECT_EQ(buf[5], '#') << "nothing beyond the given size";
    EXPECT_EQ(qel_format_source_string(buf, 6, "abc", nullptr, ""), 5);
    EXPECT_STREQ(buf, "abc||") << "exactly fits with its NUL";
    EXPECT_EQ(qel_format_source_string(nullptr, 0, "abc", nullptr, nullptr), 5);
    EXPECT_EQ(qel_format_source_string(nullptr, 4, "abc", nullptr, nullptr),
              QEL_RESULT_BAD_ARGUMENT);
}
