// Every standard integer type builds an element, on the PC and on the 32-bit device alike: the
// same source compiles in both builds (an ambiguous constructor would fail it), and each type
// gives the element of the width it has on that machine. Types narrower than int promote to int.
#include <gtest/gtest.h>
#include <toolkit/element.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <limits>
#include <string>
#include <type_traits>

#include "element_test_support.h"

using toolkit::CElement;

namespace {

// The element an integer type must give: by signedness and width, after promotion to int.
template <typename T>
constexpr data_type_t expected_type() {
    using Promoted = decltype(+T{});
    if (sizeof(Promoted) == 4)
        return std::is_signed<Promoted>::value ? DATATYPE_INT : DATATYPE_UINT;
    return std::is_signed<Promoted>::value ? DATATYPE_INT64 : DATATYPE_UINT64;
}

template <typename T>
void expect_element_of_its_width(const char* name) {
    static_assert(std::is_constructible<CElement, T>::value, "no element for an integer type");
    static_assert(std::is_constructible<CElement, T, timeval>::value, "no element with a time");
    for (const T value : {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), T{1}}) {
        const CElement e(value);
        EXPECT_EQ(expected_type<T>(), e.type) << name;
        EXPECT_EQ(std::to_string(+value), elementtest::text_of(e)) << name;
        if constexpr (std::is_signed<T>::value) {
            EXPECT_EQ(static_cast<std::int64_t>(value), e.to_int64()) << name;
        } else {
            EXPECT_EQ(static_cast<std::uint64_t>(value), e.to_uint64()) << name;
        }
        // Assigned over a string, with a time stamp.
        CElement assigned("text");
        assigned = CElement(value, timeval{7, 8});
        EXPECT_EQ(expected_type<T>(), assigned.type) << name;
        EXPECT_EQ(7, assigned.timestamp.tv_sec) << name;
        EXPECT_TRUE(assigned == e) << name;
    }
}

#define EXPECT_ELEMENT_OF_ITS_WIDTH(T) expect_element_of_its_width<T>(#T)

}  // namespace

TEST(ElementIntegerTypes, EveryIntegerTypeGivesTheElementOfItsWidth) {
    // The standard types, whichever of them the fixed-width names stand for here.
    EXPECT_ELEMENT_OF_ITS_WIDTH(char);
    EXPECT_ELEMENT_OF_ITS_WIDTH(signed char);
    EXPECT_ELEMENT_OF_ITS_WIDTH(unsigned char);
    EXPECT_ELEMENT_OF_ITS_WIDTH(short);
    EXPECT_ELEMENT_OF_ITS_WIDTH(unsigned short);
    EXPECT_ELEMENT_OF_ITS_WIDTH(int);
    EXPECT_ELEMENT_OF_ITS_WIDTH(unsigned int);
    EXPECT_ELEMENT_OF_ITS_WIDTH(long);
    EXPECT_ELEMENT_OF_ITS_WIDTH(unsigned long);
    EXPECT_ELEMENT_OF_ITS_WIDTH(long long);
    EXPECT_ELEMENT_OF_ITS_WIDTH(unsigned long long);
    EXPECT_ELEMENT_OF_ITS_WIDTH(wchar_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(char16_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(char32_t);
    // The names code uses for them.
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::int8_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::uint16_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::int32_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::uint32_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::int64_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::uint64_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::size_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::ptrdiff_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::intptr_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::uintmax_t);
    EXPECT_ELEMENT_OF_ITS_WIDTH(std::time_t);
}

TEST(ElementIntegerTypes, LiteralsAndExpressionsOfEveryWidthCompileOnBothMachines) {
    // Each of these was ambiguous on one of the two machines.
    EXPECT_EQ(sizeof(long) == 8 ? DATATYPE_INT64 : DATATYPE_INT, CElement(5L).type);
    EXPECT_EQ(sizeof(long) == 8 ? DATATYPE_UINT64 : DATATYPE_UINT, CElement(5UL).type);
    EXPECT_EQ(DATATYPE_INT64, CElement(5LL).type);
    const unsigned x = 3;
    const CElement product(x * 4000000000ULL);
    EXPECT_EQ(DATATYPE_UINT64, product.type);
    EXPECT_EQ(12000000000u, product.to_uint64());
    EXPECT_EQ(-9000000000, CElement(-9000000000LL).to_int64());
    // What compiled before keeps its element: bool, double, and the promotions to int.
    EXPECT_EQ(DATATYPE_BOOL, CElement(true).type);
    EXPECT_EQ(DATATYPE_FLOAT, CElement(1.5f).type);
    EXPECT_EQ(DATATYPE_INT, CElement('a').type);
    EXPECT_EQ(DATATYPE_INT, CElement(std::int16_t{-3}).type);
    EXPECT_EQ(DATATYPE_UINT, CElement(5u).type);
}
