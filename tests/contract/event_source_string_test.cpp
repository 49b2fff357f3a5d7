// CEvent's source-string operations against the store double: what reaches the store, how many
// calls, and what the outputs hold afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "double/store_double.h"
#include "unit/event_samples.h"

using toolkit::CEvent;

namespace {

class SourceStringContract : public nyrdouble::DoubleTest {
protected:
    // Makes the store's formatter answer with `text` under the size contract: the full length,
    // at most `size` bytes written including the NUL.
    void format_answers(const std::string& text) {
        store().hooks.format_source_string = [this, text](char* buf, uint32_t size, const char*,
                                                          const char*, const char*) {
            sizes.push_back(size);
            if (size > 0) {
                const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
                std::memcpy(buf, text.data(), n);
                buf[n] = '\0';
            }
            return static_cast<int>(text.size());
        };
    }
    // Makes the store's parser answer with three fixed places (null for nullptr), changing the
    // text in place the way a real parser may.
    void parse_answers(const char* first, const char* second, const char* third) {
        store().hooks.parse_source_string = [=](char* text, char** a, char** b, char** c) {
            seen_text = text;
            for (char* p = text; *p; ++p) *p = 'X';
            static std::string places[3];
            places[0] = first ? first : "";
            places[1] = second ? second : "";
            places[2] = third ? third : "";
            *a = first ? &places[0][0] : nullptr;
            *b = second ? &places[1][0] : nullptr;
            *c = third ? &places[2][0] : nullptr;
            return 0;
        };
    }
    std::vector<uint32_t> sizes;
    std::string seen_text;
};

} // namespace

TEST_F(SourceStringContract, ParseHandsAPrivateCopyAndTakesThePlaces) {
    parse_answers("one", nullptr, "three");
    const std::string source = std::string("abc\0def", 7);
    std::string first = "old1", second = "old2", third = "old3";
    EXPECT_EQ(CEvent::parse_source_string(source, first, second, third), 0);
    EXPECT_EQ(seen_text, "abc") << "the store sees the text up to its first NUL";
    EXPECT_EQ(source, std::string("abc\0def", 7)) << "the caller's string is never changed";
    EXPECT_NE(store().last("parse_source_string").pointers[0],
              static_cast<const void*>(source.data()));
    EXPECT_EQ(first, "one");
    EXPECT_EQ(second, "") << "a null place gives an empty component";
    EXPECT_EQ(third, "three");
}

TEST_F(SourceStringContract, ParseFailurePassesThroughAndKeepsOutputs) {
    store().script_result("parse_source_string", -6);
    std::string first = "keep1", second = "keep2", third = "keep3";
    EXPECT_EQ(CEvent::parse_source_string("bad", first, second, third), -6);
    EXPECT_EQ(first, "keep1");
    EXPECT_EQ(second, "keep2");
    EXPECT_EQ(third, "keep3");
    store().script_result("parse_source_string", 3);
    EXPECT_EQ(CEvent::parse_source_string("bad", first, second, third), 3);
    EXPECT_EQ(first, "keep1");
}

TEST_F(SourceStringContract, FormatPassesNullForEmptyComponents) {
    store().script_result("format_source_string", 2);
    std::string out;
    EXPECT_EQ(CEvent::format_source_string(out, "", "", ""), 2);
    const nyrdouble::Call& call = store().last("format_source_string");
    ASSERT_EQ(call.texts.size(), 3u);
    EXPECT_FALSE(call.texts[0].has_value());
    EXPECT_FALSE(call.texts[1].has_value());
    EXPECT_FALSE(call.texts[2].has_value());
    EXPECT_EQ(out.size(), 2u);

    CEvent::format_source_string(out, "a", "", "c");
    const nyrdouble::Call& mixed = store().last("format_source_string");
    EXPECT_EQ(mixed.texts[0], nyrdouble::Text("a"));
    EXPECT_FALSE(mixed.texts[1].has_value());
    EXPECT_EQ(mixed.texts[2], nyrdouble::Text("c"));
}

TEST_F(SourceStringContract, FormatUsesOneCallUpTo511BytesAndTwoBeyond) {
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
        std::string out(1000, '#');
        EXPECT_EQ(CEvent::format_source_string(out, "f", "s", "t"), static_cast<int>(c.length));
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(out, text) << "exactly the source string, nothing of the old content";
    }
}

TEST_F(SourceStringContract, FormatFailureEmptiesTheOutput) {
    store().script_result("format_source_string", -3);
    std::string out = "previous";
    EXPECT_EQ(CEvent::format_source_string(out, "a", "b", "c"), -3);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(store().count("format_source_string"), 1u);

    // A failure on the second call empties the output too.
    int calls = 0;
    store().hooks.format_source_string = [&calls](char*, uint32_t, const char*, const char*,
                                                  const char*) { return ++calls == 1 ? 700 : -4; };
    out = "previous";
    EXPECT_EQ(CEvent::format_source_string(out, "a", "b", "c"), -4);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(calls, 2);
}

TEST_F(SourceStringContract, HumanFormLeavesOutAbsentParts) {
    struct Case {
        const char *first, *second, *third, *expected;
    } cases[] = {{"f", "s", "t", "s@t (f)"}, {nullptr, "s", "t", "s@t"},
                 {"f", "s", nullptr, "s (f)"}, {"f", nullptr, "t", "t (f)"},
                 {nullptr, "s", nullptr, "s"},  {nullptr, nullptr, "t", "t"},
                 {"f", nullptr, nullptr, "f"},  {nullptr, nullptr, nullptr, ""},
                 {"x", "y", "", "y (x)"}};
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
    EXPECT_EQ(out, "") << "a failed parse gives the empty string";
}
