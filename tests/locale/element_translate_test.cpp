// Translated value texts through a real message catalogue (domain nyrtest, language de).
#include <gtest/gtest.h>
#include <toolkit/element.h>

#include <boost/locale/generator.hpp>
#include <complex>
#include <locale>
#include <string>

#include "double/store_double.h"
#include "unit/element_test_support.h"

using elementtest::with_type_code;
using toolkit::CElement;

namespace {

std::locale make_locale(const char* name, bool with_catalogue) {
    boost::locale::generator generator;
    // Only the narrow-character facets, the ones the library looks up in: the wide ones need the
    // C library's converters to UTF-32, which a device (or the emulator's sysroot) may lack.
    generator.characters(boost::locale::char_facet);
    if (with_catalogue) {
        generator.add_messages_path(NYRTEST_CATALOGUE_DIR);
        generator.add_messages_domain("nyrtest");
    }
    return generator(name);
}

// Built on the store double: translating a value must never reach the store.
class ElementTranslation : public nyrdouble::DoubleTest {
protected:
    void TearDown() override {
        EXPECT_TRUE(store().calls.empty());
        nyrdouble::DoubleTest::TearDown();
    }
    std::string german(const CElement& e, const char* context = nullptr) const {
        return e.to_translated_string(german_, context, "nyrtest");
    }
    const std::locale german_ = make_locale("de_DE.UTF-8", true);
};

}  // namespace

TEST_F(ElementTranslation, LooksUpTheCanonicalTextOfEveryTypeUnderItsContext) {
    EXPECT_EQ("wahr", german(CElement(true)));
    EXPECT_EQ("falsch", german(CElement(false)));
    EXPECT_EQ("zweiundvierzig", german(CElement(int32_t{42})));
    EXPECT_EQ("zweiundvierzig", german(CElement(uint32_t{42})));
    EXPECT_EQ("zweiundvierzig", german(CElement(uint64_t{42})));
    EXPECT_EQ("1,5", german(CElement(1.5)));
    EXPECT_EQ("komplex", german(CElement(std::complex<double>(1.5, -2))));
    EXPECT_EQ("wahr", german(CElement("true")));
    // A string is looked up by its text up to the first NUL.
    EXPECT_EQ("\xc3\xa4", german(CElement(std::string("a\0b", 3))));
    // A context selects its own entry; an entry under another context, or none, is not used.
    EXPECT_EQ("ein", german(CElement(true), "switch"));
    EXPECT_EQ("true", german(CElement(true), "door"));
    EXPECT_EQ("false", german(CElement(false), "switch"));
}

TEST_F(ElementTranslation, TextsWithoutAnEntryComeBackUnchanged) {
    EXPECT_EQ("Haus", german(CElement("Haus")));
    EXPECT_EQ("43", german(CElement(int32_t{43})));
    EXPECT_EQ("TRUE", german(CElement("TRUE")));
    EXPECT_EQ("true", CElement(true).to_translated_string(german_, nullptr, "otherdomain"));
    // Locales without this catalogue, or without any catalogue facet.
    for (const std::locale& other : {make_locale("fr_FR.UTF-8", true),
                                     make_locale("de_DE.UTF-8", false), std::locale::classic()}) {
        EXPECT_EQ("true", CElement(true).to_translated_string(other, nullptr, "nyrtest"));
    }
}

TEST_F(ElementTranslation, EmptyTextsAndInvalidTypesGiveEmptyText) {
    EXPECT_EQ("", german(CElement("")));
    EXPECT_EQ("", german(CElement(std::string("\0a", 2))));
    EXPECT_EQ("", german(with_type_code(0)));
    EXPECT_EQ("", german(with_type_code(11)));
    EXPECT_EQ("", german(CElement(std::vector<char>{})));
}
