// Element lifecycle: construction, copy, move, taking over records, equality, export.
#include <gtest/gtest.h>
#include <toolkit/element.h>
#include <toolkit/event.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "element_test_support.h"

using toolkit::CElement;
using namespace elementtest;
using namespace std::string_literals;

namespace {

std::string payload(const _element_datatype_t& record) {
    return std::string(record.value.string_value.data, record.value.string_value.length);
}

_element_datatype_t raw_bytes(data_type_t type, const void* data, uint32_t length) {
    _element_datatype_t raw{};
    raw.type = type;
    raw.value.string_value.data = static_cast<char*>(const_cast<void*>(data));
    raw.value.string_value.length = length;
    return raw;
}

}  // namespace

TEST(ElementConstruction, DefaultsAndTextsOwnATerminatedBuffer) {
    // Every typed constructor is exercised by the reader, text and byte tests.
    CElement none;
    EXPECT_EQ(none.type, DATATYPE_INVALID);
    EXPECT_EQ(none.timestamp, (timeval{-1, 0}));
    EXPECT_EQ(CElement::_invalid_time, (timeval{-1, 0}));
    EXPECT_TRUE(CElement::_auto_time);
    EXPECT_FALSE(CElement::_forced_auto_time);
    EXPECT_EQ(CElement::_invalid, "DATATYPE_INVALID");
    const timeval t{100, 5};
    EXPECT_EQ(CElement(int32_t{-7}, t).timestamp, t);
    EXPECT_EQ(CElement::from_time({1700000000, 250000}, t).timestamp, t);

    CElement literal("abc");
    ASSERT_EQ(literal.type, DATATYPE_STRING);
    expect_owns_payload(literal);
    EXPECT_EQ(literal.value.string_value.data[3], '\0') << "the buffer keeps a terminating zero";
    CElement blob(std::vector<char>{'\0', 'x'});
    expect_owns_payload(blob);
    EXPECT_EQ(blob.blob_buffer(), (std::vector<char>{'\0', 'x'}));
    CElement null_text(static_cast<const char*>(nullptr));
    EXPECT_EQ(null_text.type, DATATYPE_STRING);
    EXPECT_EQ(null_text.value.string_value.length, 0u);
}

TEST(ElementEquality, ComparesByTypeRulesIgnoringTimeStamps) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    using C = std::complex<double>;
    char text[] = "abc";
    CElement invalid, odd(int32_t{1}), other_odd(int32_t{1}), high(int32_t{1}),
        other_high(int32_t{1});
    odd.type = other_odd.type = static_cast<data_type_t>(11);
    high.type = other_high.type = static_cast<data_type_t>(255);
    EXPECT_FALSE(invalid == invalid) << "invalid types equal nothing, not even themselves";
    struct Case {
        CElement a, b;
        bool equal;
    };
    // clang-format off
    const Case cases[] = {
        {invalid, CElement(), false}, {odd, other_odd, false}, {high, other_high, false},
        {CElement(nan), CElement(-nan), true}, {CElement(nan), CElement(1.0), false},
        {CElement(1.0), CElement(nan), false}, {CElement(0.0), CElement(-0.0), true},
        {CElement(C(nan, 0)), CElement(C(nan, 0)), false},
        {CElement(C(1, -0.0)), CElement(C(1, 0)), true},
        {bool_byte(1), bool_byte(2), false}, {bool_byte(2), bool_byte(2), true},
        {CElement(int32_t{1}), CElement(uint32_t{1}), false},
        {CElement(uint64_t{5}), CElement(uint64_t{5}), true},
        {CElement(int64_t{5}), CElement(int64_t{6}), false},
        {time_value(3, 4), time_value(3, 4), true}, {time_value(3, 4), time_value(3, 5), false},
        {CElement(int32_t{9}, timeval{1, 0}), CElement(int32_t{9}, timeval{2, 7}), true},
        {CElement("x", timeval{1, 0}), CElement("x"), true},
        // Text and bytes compare every byte.
        {CElement("abc"), CElement("abd"), false}, {CElement("abc"), CElement("abc"), true},
        {CElement("ab"), CElement("abc"), false}, {CElement(""), CElement(""), true},
        {CElement("a\0b"s), CElement("a\0c"s), false},
        {CElement(std::vector<char>{}), CElement(std::vector<char>{}), true},
        {CElement(std::vector<char>{'a'}), CElement("a"), false}};
    // clang-format on
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        EXPECT_EQ(cases[n].equal, cases[n].a == cases[n].b) << "row " << n;
    }
    // A raw record pointing at other memory compares through its data pointer.
    EXPECT_TRUE(CElement("abc") == raw_bytes(DATATYPE_STRING, text, 3));
}

TEST(ElementAssignment, RecordIsDeepCopiedWithAllThirtyTwoBytes) {
    char text[] = "hello";
    _element_datatype_t raw = raw_bytes(DATATYPE_STRING, text, 5);
    raw.timestamp = {12, 34};
    CElement e;
    e = raw;
    std::strcpy(text, "HELLO");
    EXPECT_EQ(payload(e), "hello");
    EXPECT_NE(e.value.string_value.data, text);
    EXPECT_EQ(e.timestamp, (timeval{12, 34}));

    unsigned char bytes[] = {0, 1, 2, 0};
    e = raw_bytes(DATATYPE_BLOB, bytes, 4);
    bytes[1] = 9;
    ASSERT_EQ(e.blob_buffer().size(), 4u);
    EXPECT_EQ(e.blob_buffer()[1], 1);
    EXPECT_EQ(e.value.blob_value.data, e.blob_buffer().data());

    // Embedded zero bytes are part of a text value.
    e = raw_bytes(DATATYPE_STRING, "a\0b", 3);
    EXPECT_EQ(e.string_buffer(), "a\0b"s);

    // Null data gives an empty payload whatever the length says.
    e = CElement("old");
    e = raw_bytes(DATATYPE_STRING, nullptr, 7);
    EXPECT_EQ(e.type, DATATYPE_STRING);
    EXPECT_EQ(e.value.string_value.length, 0u);
    EXPECT_TRUE(e.string_buffer().empty());

    _element_datatype_t number;
    std::memset(&number, 0xA5, sizeof number);
    number.type = DATATYPE_INT;
    number.value.int_value = 42;
    e = number;
    EXPECT_EQ(std::memcmp(static_cast<const _element_datatype_t*>(&e), &number, sizeof number), 0);
}

TEST(ElementCopyAndMove, DestinationOwnsItsPayloadAndKeepsTheTimeStamp) {
    for (const CElement& source :
         {CElement(std::string(40, 'L'), timeval{7, 8}), CElement("abc", timeval{7, 8}),
          CElement(std::vector<char>{9, 8}, timeval{7, 8})}) {
        CElement copy(source), assigned(int32_t{1});
        assigned = copy;
        EXPECT_NE(copy.value.string_value.data, source.value.string_value.data);
        const CElement& same = assigned;
        assigned = same;  // self-assignment keeps the value
        CElement from = source;
        CElement moved(std::move(from));
        CElement move_assigned;
        move_assigned = std::move(moved);
        for (const CElement* e : {&copy, &assigned, &move_assigned}) {
            expect_owns_payload(*e);
            EXPECT_TRUE(*e == source);
            EXPECT_EQ(e->timestamp, source.timestamp);
        }
        move_assigned = CElement(int32_t{5});
        EXPECT_TRUE(move_assigned == CElement(int32_t{5}));
    }
    // An explicit time replaces the time stamp, unless it is invalid.
    CElement b(CElement(int32_t{3}, timeval{1, 2}), timeval{100, 5});
    EXPECT_EQ(b.value.int_value, 3);
    EXPECT_EQ(b.timestamp, (timeval{100, 5}));
    CElement d(CElement(int32_t{4}, timeval{1, 2}), timeval{-1, 7});
    EXPECT_EQ(d.timestamp, (timeval{1, 2}));
}

// Moves cannot throw, so growing vectors move their elements (and keep the invariants above).
static_assert(std::is_nothrow_move_constructible<CElement>::value);
static_assert(std::is_nothrow_move_assignable<CElement>::value);
static_assert(std::is_nothrow_move_constructible<toolkit::CEvent>::value);

TEST(ElementExport, CopiesPayloadIntoCallerBufferCutToFit) {
    CElement hello("hello");
    char buf[10];
    std::memset(buf, '#', sizeof buf);
    _element_datatype_t out = hello.duplicate_element(buf, 10);
    EXPECT_EQ(out.type, DATATYPE_STRING);
    EXPECT_EQ(out.value.string_value.length, 5u);
    EXPECT_EQ(out.value.string_value.data, buf);
    EXPECT_EQ(std::string(buf, 6), "hello#");  // no terminator written
    EXPECT_EQ(hello.duplicate_element(buf, 6).value.string_value.length, 5u);
    out = hello.duplicate_element(buf, 5);
    EXPECT_EQ(out.value.string_value.length, 4u);
    EXPECT_EQ(std::string(buf, 4), "hell");
    EXPECT_EQ(hello.value.string_value.data, hello.string_buffer().data());  // element unchanged

    out = CElement(std::vector<char>{1, 2, 3}).duplicate_element(buf, 2);
    EXPECT_EQ(out.value.blob_value.length, 1u);
    EXPECT_EQ(buf[0], 1);

    // Other types come back whole and leave the buffer alone; bad buffers give no payload.
    CElement number(int32_t{77}, timeval{3, 0});
    std::memset(buf, 'x', sizeof buf);
    out = number.duplicate_element(buf, 4);
    EXPECT_EQ(std::memcmp(&out, static_cast<const _element_datatype_t*>(&number), sizeof out), 0);
    for (auto [buffer, size] : {std::pair<char*, uint32_t>{nullptr, 10}, {buf, 0}}) {
        out = hello.duplicate_element(buffer, size);
        EXPECT_EQ(out.type, DATATYPE_STRING);
        EXPECT_EQ(out.value.string_value.data, nullptr);
        EXPECT_EQ(out.value.string_value.length, 0u);
    }
    EXPECT_EQ(std::string(buf, 10), "xxxxxxxxxx");
}
