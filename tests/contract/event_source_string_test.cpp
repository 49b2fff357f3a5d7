// CEvent's source-string operations against the store double: what reaches the store, how many
// calls, and what the outputs hold afterwards.
#include <toolkit/event.h>

#include <cstring>
#include <string>
#include <vector>

#include "double/store_double.h"

using toolkit::CEvent;

namespace {

class SourceStringContract : public nyrdouble::DoubleTest {
protected:
    // The store's formatter answers `text` under its size contract and notes each size offered.
    void format_answers(const std::string& text) {
        store().hooks.format_source_string = [this, text](char* buf, uint32_t size, const char*,
                                                          const char*, const char*) {
            sizes.push_back(size);
            const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
            std::memcpy(buf, text.data(), n);
            buf[n] = '\0';
            return static_cast<int>(text.size());
        };
    }
    // The store's parser overwrites the text it gets and answers three places (null: nullptr).
    void parse_answers(const char* first, const char* second, const char* third) {
        store().hooks.parse_source_string = [=](char* text, char** a, char** b, char** c) {
            seen_text = text;
            std::memset(text, 'X', std::strlen(text));
            *a = const_cast<char*>(first);
            *b = const_cast<char*>(second);
            *c = const_cast<char*>(third);
            return 0;
        };
    }
    std::vector<uint32_t> sizes;
    std::string seen_text;
};

}  // namespace

TEST_F(SourceStringContract, ParseUsesAPrivateCopyAndKeepsOutputsOnFailure) {
    parse_answers("one", nullptr, "three");
    const std::string source("abc\0def", 7);
    std::string first = "old1", second = "old2", third = "old3";
    EXPECT_EQ(CEvent::parse_source_string(source, first, second, third), 0);
    EXPECT_EQ(seen_text, "abc") << "the store sees the text up to its first NUL";
    EXPECT_EQ(source, std::string("abc\0def", 7)) << "the caller's string is never changed";
    EXPECT_EQ(first, "one");
    EXPECT_EQ(second, "") << "a null place gives an empty component";
    EXPECT_EQ(third, "three");

    store().hooks.parse_source_string = nullptr;
    store().script_result("parse_source_string", 3);
    EXPECT_EQ(CEvent::parse_source_string("bad", first, second, third), 3);
    EXPECT_EQ(first, "one");
    EXPECT_EQ(third, "three");
}

TEST_F(SourceStringContract, FormatPassesNullForEmptyPartsUsesAtMostTwoCallsEmptiesOnFailure) {
    store().script_result("format_source_string", 2);
    std::string out;
    EXPECT_EQ(CEvent::format_source_string(out, "a", "", ""), 2);
    const nyrdouble::Call& call = store().last("format_source_string");
    EXPECT_EQ(call.texts,
              (std::vector<nyrdouble::Text>{std::string("a"), std::nullopt, std::nullopt}));
    EXPECT_EQ(out.size(), 2u);

    struct Case {
        std::size_t length;
        std::vector<uint32_t> sizes;
    } cases[] = {{0, {512}}, {511, {512}}, {512, {512, 513}}, {600, {512, 601}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        sizes.clear();
        std::string text(c.length, 'q');
        if (!text.empty()) text.back() = 'z';
        format_answers(text);
        out.assign(1000, '#');
        EXPECT_EQ(CEvent::format_source_string(out, "f", "s", "t"), static_cast<int>(c.length));
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(out, text) << "exactly the source string, nothing of the old content";
    }

    // A failure on either call empties the output.
    for (int fail_at : {1, 2}) {
        int calls = 0;
        store().hooks.format_source_string = [&](auto...) { return ++calls == fail_at ? -4 : 700; };
        out = "previous";
        EXPECT_EQ(CEvent::format_source_string(out, "a", "b", "c"), -4);
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(calls, fail_at);
    }
}

TEST_F(SourceStringContract, HumanFormLeavesOutAbsentParts) {
    struct Case {
        const char *first, *second, *third, *expected;
    } cases[] = {{"f", "s", "t", "s@t (f)"},     {nullptr, "s", "t", "s@t"},
                 {"f", "s", nullptr, "s (f)"},   {"f", nullptr, "t", "t (f)"},
                 {nullptr, nullptr, "t", "t"},   {"f", nullptr, nullptr, "f"},
                 {nullptr, nullptr, nullptr, ""}};
    for (const Case& c : cases) {
        parse_answers(c.first, c.second, c.third);
        std::string out = "stale";
        CEvent::human_source_string("anything", out);
        EXPECT_EQ(out, c.expected);
    }
    store().hooks.parse_source_string = nullptr;
    store().script_result("parse_source_string", 1);
    std::string out = "stale";
    CEvent::human_source_string("unparsable", out);
    EXPECT_EQ(out, "");
}
