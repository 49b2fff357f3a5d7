// String utilities of CElement: splitting, joining with ";", XML escaping.
#include <gtest/gtest.h>
#include <toolkit/element.h>

#include <string>
#include <vector>

using toolkit::CElement;
using Pieces = std::vector<std::string>;
using namespace std::string_literals;

namespace {

Pieces split(const std::string& text, char separator) {
    Pieces out = {"stale"};
    CElement::split_string(out, text, separator);
    return out;
}

std::string merge(const Pieces& parts) {
    std::string out = "stale";
    CElement::merge_strings(out, parts);
    return out;
}

std::string escaped(std::string text) {
    CElement::xml_escape(text);
    return text;
}

}  // namespace

TEST(ElementStrings, SplitGivesOneMorePieceThanSeparators) {
    EXPECT_EQ(Pieces{}, split("", ';'));
    EXPECT_EQ((Pieces{"", ""}), split(";", ';'));
    EXPECT_EQ((Pieces{"a", "", "b"}), split("a;;b", ';'));
    EXPECT_EQ((Pieces{"a", ""}), split("a;", ';'));
    EXPECT_EQ((Pieces{"", "a"}), split(";a", ';'));
    EXPECT_EQ((Pieces{"abc"}), split("abc", ';'));
    EXPECT_EQ((Pieces{"", "", ""}), split(";;", ';'));
    EXPECT_EQ((Pieces{"a", "b;c"}), split("a,b;c", ','));
    // Any byte separates, NUL included, and NULs may sit inside pieces.
    EXPECT_EQ((Pieces{"x", "y"}), split("x\0y"s, '\0'));
    EXPECT_EQ((Pieces{"a\0b"s, "c"}), split("a\0b;c"s, ';'));
    EXPECT_EQ((Pieces{"a", "b"}), split("a\377b", '\377'));
}

TEST(ElementStrings, MergeJoinsWithSemicolons) {
    EXPECT_EQ("", merge({}));
    EXPECT_EQ("", merge({""}));
    EXPECT_EQ(";", merge({"", ""}));
    EXPECT_EQ("a;b", merge({"a", "b"}));
    EXPECT_EQ("a;;c", merge({"a", "", "c"}));
    EXPECT_EQ("x;y;z", merge({"x;y", "z"}));  // entries are not escaped, so split gives three
}

TEST(ElementStrings, XmlEscapeReplacesTheFiveSpecialCharactersOnce) {
    EXPECT_EQ("a&lt;b &amp; &apos;c&apos;&gt;", escaped("a<b & 'c'>"));
    EXPECT_EQ("&quot;&quot;", escaped("\"\""));
    EXPECT_EQ("&amp;amp;", escaped("&amp;"));
    EXPECT_EQ("&lt;&gt;&amp;&apos;&quot;", escaped("<>&'\""));
    EXPECT_EQ("&amp;&amp;&amp;", escaped("&&&"));
    EXPECT_EQ("", escaped(""));
    EXPECT_EQ("plain text", escaped("plain text"));
    // Control characters, high bytes and NULs pass unchanged.
    const std::string other = "\x01\n\t\xc3\xa4\0z"s;
    EXPECT_EQ(other, escaped(other));
    EXPECT_EQ("\0&lt;\xff"s, escaped("\0<\xff"s));
}
