// Element lifecycle: construction, copy, move, taking over records, equality, export.
#include <toolkit/element.h>
#include <toolkit/event.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

using toolkit::CElement;

namespace {

std::string payload(const _element_datatype_t& record) {
    return std::string(record.value.string_value.data, record.value.string_value.length);
}

CElement bool_with_byte(uint8_t byte) {
    CElement e(true);
    e.value.bool_value = byte;
    return e;
}

} // namespace

TEST(ElementConstruction, DefaultHoldsNoValueAndNoTimeStamp) {
    CElement e;
    EXPECT_EQ(e.type, DATATYPE_INVALID);
    EXPECT_EQ(e.timestamp.tv_sec, -1);
    EXPECT_EQ(e.timestamp.tv_usec, 0);
    EXPECT_TRUE(e.string_buffer().empty());
    EXPECT_TRUE(e.blob_buffer().empty());
}

TEST(ElementConstruction, EveryTypeHasAConstructorWithOptionalTimeStamp) {
    const timeval t{100, 5};
    CElement b(true), i(int32_t{-7}, t), u(uint32_t{7}), f(2.5), i64(-(std::int64_t{1} << 40)),
        u64(std::uint64_t{1} << 63), c(std::complex<double>(1.5, -2)), s(std::string("text")),
        blob(std::vector<char>{'\0', 'x'});
    EXPECT_EQ(b.type, DATATYPE_BOOL);
    EXPECT_EQ(b.value.bool_value, 1);
    EXPECT_EQ(CElement(false).value.bool_value, 0);
    EXPECT_EQ(i.type, DATATYPE_INT);
    EXPECT_EQ(i.value.int_value, -7);
    EXPECT_EQ(i.timestamp.tv_sec, 100);
    EXPECT_EQ(i.timestamp.tv_usec, 5);
    EXPECT_EQ(u.type, DATATYPE_UINT);
    EXPECT_EQ(f.type, DATATYPE_FLOAT);
    EXPECT_EQ(f.value.float_value, 2.5);
    EXPECT_EQ(i64.type, DATATYPE_INT64);
    EXPECT_EQ(i64.value.int64_value, -(std::int64_t{1} << 40));
    EXPECT_EQ(u64.type, DATATYPE_UINT64);
    EXPECT_EQ(c.type, DATATYPE_COMPLEX);
    EXPECT_EQ(c.value.complex_value.real, 1.5);
    EXPECT_EQ(c.value.complex_value.imag, -2.0);
    EXPECT_EQ(s.type, DATATYPE_STRING);
    EXPECT_EQ(payload(s), "text");
    EXPECT_EQ(s.timestamp.tv_sec, -1);
    EXPECT_EQ(blob.type, DATATYPE_BLOB);
    EXPECT_EQ(payload(blob), std::string("\0x", 2));
    EXPECT_EQ(blob.value.blob_value.data, blob.blob_buffer().data());

    CElement time = CElement::from_time(timeval{1700000000, 250000}, t);
    EXPECT_EQ(time.type, DATATYPE_TIME);
    EXPECT_EQ(time.value.time_value.tv_sec, 1700000000);
    EXPECT_EQ(time.value.time_value.tv_usec, 250000);
    EXPECT_EQ(time.timestamp.tv_sec, 100);
}

TEST(ElementConstruction, StringLiteralHoldsAString) {
    CElement e("abc");
    ASSERT_EQ(e.type, DATATYPE_STRING);
    EXPECT_EQ(payload(e), "abc");
    EXPECT_EQ(e.value.string_value.data, e.string_buffer().data());
    // The buffer keeps a terminating zero after the characters.
    EXPECT_EQ(e.value.string_value.data[3], '\0');
    CElement none(static_cast<const char*>(nullptr));
    EXPECT_EQ(none.type, DATATYPE_STRING);
    EXPECT_EQ(none.value.string_value.length, 0u);
}

TEST(ElementEquality, InvalidTypesEqualNothing) {
    CElement a, b;
    EXPECT_FALSE(a == a);
    EXPECT_FALSE(a == b);
    CElement odd(int32_t{1}), other(int32_t{1});
    odd.type = static_cast<data_type_t>(11);
    other.type = static_cast<data_type_t>(11);
    EXPECT_FALSE(odd == other);
    odd.type = other.type = static_cast<data_type_t>(255);
    EXPECT_FALSE(odd == other);
}

TEST(ElementEquality, ComparesByTypeRules) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(CElement(nan) == CElement(-nan));
    EXPECT_FALSE(CElement(nan) == CElement(1.0));
    EXPECT_FALSE(CElement(1.0) == CElement(nan));
    EXPECT_TRUE(CElement(0.0) == CElement(-0.0));
    EXPECT_FALSE(CElement(std::complex<double>(nan, 0)) == CElement(std::complex<double>(nan, 0)));
    EXPECT_TRUE(CElement(std::complex<double>(1, -0.0)) == CElement(std::complex<double>(1, 0)));
    EXPECT_FALSE(bool_with_byte(1) == bool_with_byte(2));
    EXPECT_TRUE(bool_with_byte(2) == bool_with_byte(2));
    EXPECT_FALSE(CElement(int32_t{1}) == CElement(uint32_t{1}));
    EXPECT_TRUE(CElement(std::uint64_t{5}) == CElement(std::uint64_t{5}));
    EXPECT_FALSE(CElement(std::int64_t{5}) == CElement(std::int64_t{6}));
    EXPECT_TRUE(CElement::from_time({3, 4}) == CElement::from_time({3, 4}));
    EXPECT_FALSE(CElement::from_time({3, 4}) == CElement::from_time({3, 5}));
}

TEST(ElementEquality, IgnoresTimeStamps) {
    EXPECT_TRUE(CElement(int32_t{9}, timeval{1, 0}) == CElement(int32_t{9}, timeval{2, 7}));
    EXPECT_TRUE(CElement("x", timeval{1, 0}) == CElement("x"));
}

TEST(ElementEquality, TextAndBytesCompareEveryByte) {
    EXPECT_FALSE(CElement("abc") == CElement("abd"));
    EXPECT_TRUE(CElement("abc") == CElement("abc"));
    EXPECT_FALSE(CElement("ab") == CElement("abc"));
    EXPECT_TRUE(CElement("") == CElement(""));
    EXPECT_FALSE(CElement(std::string("a\0b", 3)) == CElement(std::string("a\0c", 3)));
    EXPECT_TRUE(CElement(std::vector<char>{}) == CElement(std::vector<char>{}));
    EXPECT_FALSE(CElement(std::vector<char>{'a'}) == CElement("a"));

    // A raw record pointing at other memory compares through its data pointer.
    char text[] = "abc";
    _element_datatype_t raw{};
    raw.type = DATATYPE_STRING;
    raw.value.string_value.data = text;
    raw.value.string_value.length = 3;
    EXPECT_TRUE(CElement("abc") == raw);
}

TEST(ElementAssignment, RecordIsDeepCopied) {
    char text[] = "hello";
    _element_datatype_t raw{};
    raw.type = DATATYPE_STRING;
    raw.timestamp = {12, 34};
    raw.value.string_value.data = text;
    raw.value.string_value.length = 5;
    CElement e;
    e = raw;
    std::strcpy(text, "HELLO");
    EXPECT_EQ(payload(e), "hello");
    EXPECT_NE(e.value.string_value.data, text);
    EXPECT_EQ(e.timestamp.tv_sec, 12);
    EXPECT_EQ(e.timestamp.tv_usec, 34);

    unsigned char bytes[] = {0, 1, 2, 0};
    raw.type = DATATYPE_BLOB;
    raw.value.blob_value.data = reinterpret_cast<char*>(bytes);
    raw.value.blob_value.length = 4;
    e = raw;
    bytes[1] = 9;
    ASSERT_EQ(e.blob_buffer().size(), 4u);
    EXPECT_EQ(e.blob_buffer()[1], 1);
    EXPECT_EQ(e.value.blob_value.data, e.blob_buffer().data());

    // Embedded zero bytes are part of a text value.
    char zeros[] = {'a', '\0', 'b'};
    raw.type = DATATYPE_STRING;
    raw.value.string_value.data = zeros;
    raw.value.string_value.length = 3;
    e = raw;
    EXPECT_EQ(e.string_buffer(), std::string("a\0b", 3));
}

TEST(ElementAssignment, RecordCopiesAllThirtyTwoBytes) {
    _element_datatype_t raw;
    std::memset(&raw, 0xA5, sizeof raw);
    raw.type = DATATYPE_INT;
    raw.value.int_value = 42;
    CElement e;
    e = raw;
    EXPECT_EQ(std::memcmp(static_cast<const _element_datatype_t*>(&e), &raw, sizeof raw), 0);
}

TEST(ElementAssignment, NullDataOrZeroLengthGivesAnEmptyPayload) {
    _element_datatype_t raw{};
    raw.type = DATATYPE_STRING;
    raw.value.string_value.data = nullptr;
    raw.value.string_value.length = 7;
    CElement e("old");
    e = raw;
    EXPECT_EQ(e.type, DATATYPE_STRING);
    EXPECT_EQ(e.value.string_value.length, 0u);
    EXPECT_TRUE(e.string_buffer().empty());
}

TEST(ElementAssignment, TypeChangesReuseBuffers) {
    CElement e("a string value");
    e = CElement(int32_t{5});
    EXPECT_EQ(e.type, DATATYPE_INT);
    EXPECT_EQ(e.value.int_value, 5);
    EXPECT_EQ(e.string_buffer(), "a string value"); // kept until a new string arrives
    e = CElement("new");
    EXPECT_EQ(payload(e), "new");
    EXPECT_EQ(e.value.string_value.data, e.string_buffer().data());
}

TEST(ElementCopy, DuplicatesPayload) {
    CElement blob(std::vector<char>{1, 2, 3}, timeval{5, 6});
    CElement copy(blob);
    EXPECT_NE(copy.value.blob_value.data, blob.value.blob_value.data);
    EXPECT_EQ(copy.value.blob_value.data, copy.blob_buffer().data());
    EXPECT_TRUE(copy == blob);
    EXPECT_EQ(copy.timestamp.tv_sec, 5);

    CElement text("copied");
    CElement other(int32_t{1});
    other = text;
    EXPECT_EQ(payload(other), "copied");
    EXPECT_NE(other.value.string_value.data, text.value.string_value.data);
    const CElement& same = other;
    other = same; // self-assignment keeps the value
    EXPECT_EQ(payload(other), "copied");
}

TEST(ElementMove, DestinationOwnsItsBuffer) {
    const std::string longer(40, 'L');
    for (const std::string& text : {longer, std::string("abc")}) {
        CElement source(text, timeval{7, 8});
        CElement moved(std::move(source));
        EXPECT_EQ(moved.value.string_value.data, moved.string_buffer().data());
        EXPECT_EQ(payload(moved), text);
        EXPECT_EQ(moved.timestamp.tv_sec, 7);

        CElement assigned;
        assigned = std::move(moved);
        EXPECT_EQ(assigned.value.string_value.data, assigned.string_buffer().data());
        EXPECT_EQ(payload(assigned), text);
    }
    CElement blob(std::vector<char>{9, 8});
    CElement moved_blob(std::move(blob));
    EXPECT_EQ(moved_blob.value.blob_value.data, moved_blob.blob_buffer().data());
    EXPECT_EQ(payload(moved_blob), std::string("\x09\x08", 2));
}

TEST(ElementMove, ExplicitTimeReplacesTheTimeStamp) {
    CElement a(int32_t{3}, timeval{1, 2});
    CElement b(std::move(a), timeval{100, 5});
    EXPECT_EQ(b.value.int_value, 3);
    EXPECT_EQ(b.timestamp.tv_sec, 100);
    EXPECT_EQ(b.timestamp.tv_usec, 5);
    CElement c(int32_t{4}, timeval{1, 2});
    CElement d(std::move(c), timeval{-1, 7});
    EXPECT_EQ(d.timestamp.tv_sec, 1);
    EXPECT_EQ(d.timestamp.tv_usec, 2);
}

TEST(ElementMove, GrowingVectorsKeepInvariantsAndTimeStamps) {
    std::vector<CElement> values;
    for (int i = 0; i < 100; ++i) values.emplace_back(std::string(i % 30, 'a' + i % 26), timeval{i, i});
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(values[i].value.string_value.data, values[i].string_buffer().data());
        EXPECT_EQ(values[i].value.string_value.length, static_cast<uint32_t>(i % 30));
        EXPECT_EQ(values[i].timestamp.tv_sec, i);
    }
    values.erase(values.begin()); // shifts by move assignment
    EXPECT_EQ(values[0].value.string_value.data, values[0].string_buffer().data());
    EXPECT_EQ(values[0].timestamp.tv_sec, 1);
}

TEST(ElementExport, CopiesPayloadIntoCallerBuffer) {
    CElement hello("hello");
    char buf[10];
    std::memset(buf, '#', sizeof buf);
    _element_datatype_t out = hello.duplicate_element(buf, 10);
    EXPECT_EQ(out.value.string_value.length, 5u);
    EXPECT_EQ(out.value.string_value.data, buf);
    EXPECT_EQ(std::string(buf, 6), "hello#"); // no terminator written

    out = hello.duplicate_element(buf, 5);
    EXPECT_EQ(out.value.string_value.length, 4u);
    EXPECT_EQ(std::string(buf, 4), "hell");
    out = hello.duplicate_element(buf, 6);
    EXPECT_EQ(out.value.string_value.length, 5u);
    EXPECT_EQ(out.type, DATATYPE_STRING);
    EXPECT_EQ(hello.value.string_value.data, hello.string_buffer().data()); // element unchanged

    CElement blob(std::vector<char>{1, 2, 3});
    out = blob.duplicate_element(buf, 2);
    EXPECT_EQ(out.value.blob_value.length, 1u);
    EXPECT_EQ(buf[0], 1);
}

TEST(ElementExport, OtherTypesAndBadBuffers) {
    CElement number(int32_t{77}, timeval{3, 0});
    char buf[4] = {'x', 'x', 'x', 'x'};
    _element_datatype_t out = number.duplicate_element(buf, 4);
    EXPECT_EQ(std::memcmp(&out, static_cast<const _element_datatype_t*>(&number), sizeof out), 0);
    EXPECT_EQ(std::string(buf, 4), "xxxx");

    CElement text("hello");
    out = text.duplicate_element(nullptr, 10);
    EXPECT_EQ(out.type, DATATYPE_STRING);
    EXPECT_EQ(out.value.string_value.data, nullptr);
    EXPECT_EQ(out.value.string_value.length, 0u);
    out = text.duplicate_element(buf, 0);
    EXPECT_EQ(out.value.string_value.data, nullptr);
    EXPECT_EQ(std::string(buf, 4), "xxxx");
}

TEST(ElementStatics, InitialValues) {
    EXPECT_EQ(CElement::_invalid_time.tv_sec, -1);
    EXPECT_EQ(CElement::_invalid_time.tv_usec, 0);
    EXPECT_TRUE(CElement::_auto_time);
    EXPECT_FALSE(CElement::_forced_auto_time);
    EXPECT_EQ(CElement::_invalid, "DATATYPE_INVALID");
}

TEST(ElementMove, IsNoThrowSoContainersMoveInsteadOfCopying) {
    EXPECT_TRUE(std::is_nothrow_move_constructible<CElement>::value);
    EXPECT_TRUE(std::is_nothrow_move_assignable<CElement>::value);
    EXPECT_TRUE(std::is_nothrow_move_constructible<toolkit::CEvent>::value);
}
