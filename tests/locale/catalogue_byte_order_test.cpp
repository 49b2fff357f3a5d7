// Message catalogues are read in either byte order: a catalogue compiled on a little-endian PC and
// one compiled for the big-endian device give the same translations, whichever machine reads them.
#include <gtest/gtest.h>
#include <toolkit/element.h>

#include <boost/locale/generator.hpp>
#include <fstream>
#include <locale>
#include <string>

using toolkit::CElement;

TEST(CatalogueByteOrder, BothByteOrdersGiveTheSameTranslations) {
    // The first byte of a catalogue's magic number 0x950412de tells its byte order.
    const struct {
        const char* dir;
        unsigned char first_byte;
    } catalogues[] = {{NYRTEST_LITTLE_ENDIAN_DIR, 0xde}, {NYRTEST_BIG_ENDIAN_DIR, 0x95}};
    for (const auto& catalogue : catalogues) {
        SCOPED_TRACE(catalogue.dir);
        std::ifstream file(std::string(catalogue.dir) + "/de/LC_MESSAGES/nyrtest.mo",
                           std::ios::binary);
        char first = 0;
        ASSERT_TRUE(file.get(first));
        EXPECT_EQ(static_cast<unsigned char>(first), catalogue.first_byte);

        boost::locale::generator generator;
        // Narrow-character facets only, as in the translation tests.
        generator.characters(boost::locale::char_facet);
        generator.add_messages_path(catalogue.dir);
        generator.add_messages_domain("nyrtest");
        const std::locale german = generator("de_DE.UTF-8");
        auto translated = [&](const CElement& e, const char* context = nullptr) {
            return e.to_translated_string(german, context, "nyrtest");
        };
        EXPECT_EQ("wahr", translated(CElement(true)));
        EXPECT_EQ("ein", translated(CElement(true), "switch"));
        EXPECT_EQ("zweiundvierzig", translated(CElement(int32_t{42})));
        EXPECT_EQ("\xc3\xa4", translated(CElement("a")));
        EXPECT_EQ("Haus", translated(CElement("Haus")));
    }
}
