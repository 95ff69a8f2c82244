// Charset names and code pages: every name decodes with its own code page,
// names compare without case, unknown names are asked of the platform, and
// the name written on export is the name of the code page the bytes were
// made with.
#include <gtest/gtest.h>

#include "eml/charsets.h"
#include "platform/platform.h"

namespace vendrel {
namespace {

struct NameCase {
  const char* name;
  uint32_t code_page;
};

class CharsetImport : public ::testing::TestWithParam<NameCase> {};

TEST_P(CharsetImport, NameGivesItsOwnCodePage) {
  EXPECT_EQ(charset_code_page(GetParam().name), GetParam().code_page) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CharsetImport,
    ::testing::Values(NameCase{"iso-8859-1", 28591}, NameCase{"ISO-8859-2", 28592}, NameCase{"iso-8859-4", 28594},
                      NameCase{"iso-8859-5", 28595}, NameCase{"Iso-8859-7", 28597}, NameCase{"iso-8859-9", 28599},
                      NameCase{"iso-8859-15", 28605}, NameCase{"GB2312", 936}, NameCase{"hz-gb-2312", 936},
                      NameCase{"x-mac-cyrillic", 10007}, NameCase{"mac-cyrillic-2000", 10007},
                      NameCase{"UTF-8", 65001}, NameCase{"koi8-r", 20866}, NameCase{"csiso2022jp", 50220},
                      NameCase{"EUC-JP", 51932}, NameCase{"euc-kr", 51949}, NameCase{"us-ascii", 20127},
                      NameCase{" \"utf-8\" ", 65001}, NameCase{"", 0}, NameCase{"no-such-charset", 0}));

// Names the mail table lacks are found through the platform's converters.
INSTANTIATE_TEST_SUITE_P(Platform, CharsetImport,
                         ::testing::Values(NameCase{"windows-1252", 1252}, NameCase{"Windows-1258", 1258},
                                           NameCase{"cp850", 850}, NameCase{"iso-8859-13", 28603},
                                           NameCase{"latin2", 28592}, NameCase{"gbk", 936},
                                           NameCase{"iso8859_2", 28592}, NameCase{"ms932", 932},
                                           NameCase{"csisolatin2", 28592}, NameCase{"l2", 28592},
                                           NameCase{"iso-ir-100", 28591}, NameCase{"iso_8859-2:1987", 28592},
                                           NameCase{"windows-31j", 932}, NameCase{"csshiftjis", 932},
                                           NameCase{"euc-cn", 936}, NameCase{"tis-620", 874},
                                           NameCase{"ansi_x3.4-1968", 20127}));

TEST(CharsetImport, DecodingWithTheFoundCodePageGivesTheCharacters) {
  // "ő" is 0xF5 in ISO-8859-2 but "õ" in windows-1250's neighbour 1252.
  EXPECT_EQ(platform::multibyte_to_wide(charset_code_page("iso-8859-2"), "\xF5"), u"\u0151");
  EXPECT_EQ(platform::multibyte_to_wide(charset_code_page("ISO-8859-15"), "\xA4"), u"\u20AC");
  EXPECT_EQ(platform::multibyte_to_wide(charset_code_page("x-mac-cyrillic"), "\x80"), u"\u0410");
  EXPECT_EQ(platform::multibyte_to_wide(charset_code_page("gb2312"), "\xC4\xE3"), u"\u4F60");
}

struct ExportCase {
  uint32_t code_page;
  const char* charset;
  uint32_t written_with;
};

class CharsetExport : public ::testing::TestWithParam<ExportCase> {};

TEST_P(CharsetExport, LabelNamesTheCodePageOfTheBytes) {
  const EmlEncoding encoding = eml_encoding(GetParam().code_page);
  EXPECT_EQ(encoding.charset, GetParam().charset) << GetParam().code_page;
  EXPECT_EQ(encoding.code_page, GetParam().written_with) << GetParam().code_page;
}

INSTANTIATE_TEST_SUITE_P(Table, CharsetExport,
                         ::testing::Values(ExportCase{28592, "iso-8859-2", 28592}, ExportCase{1250, "windows-1250", 1250},
                                           ExportCase{28605, "iso-8859-15", 28605}, ExportCase{1252, "windows-1252", 1252},
                                           ExportCase{10007, "x-mac-cyrillic", 10007}, ExportCase{20866, "koi8-r", 20866},
                                           ExportCase{936, "gbk", 936}, ExportCase{932, "shift_jis", 932},
                                           ExportCase{65001, "utf-8", 65001},
                                           // A code page without a name: written and labelled as UTF-8.
                                           ExportCase{708, "utf-8", 65001}));

TEST(CharsetExport, CurrentAndUnknownCodePagesAreTheSystemCodePage) {
  // 0 to 3 name the current code page and 99999 has no converter: both are
  // written with the system's ANSI code page (UTF-8 on Linux, 1252 on an
  // English Windows), under that code page's own name.
  const EmlEncoding system = eml_encoding(platform::ansi_code_page());
  EXPECT_EQ(system.code_page, code_page_charset(platform::ansi_code_page()) ? platform::ansi_code_page() : 65001u);
  for (uint32_t code_page : {0u, 1u, 3u, 99999u}) {
    const EmlEncoding encoding = eml_encoding(code_page);
    EXPECT_EQ(encoding.charset, system.charset) << code_page;
    EXPECT_EQ(encoding.code_page, system.code_page) << code_page;
  }
}

TEST(CharsetRoundTrip, EveryExportedNameReadsBackAsItsCodePage) {
  for (uint32_t code_page : {1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 874u, 28591u, 28592u,
                             28595u, 28597u, 28605u, 866u, 20866u, 21866u, 20127u, 10000u, 10007u, 932u, 936u, 949u,
                             950u, 51932u, 51949u, 50220u, 65000u, 65001u}) {
    const EmlEncoding encoding = eml_encoding(code_page);
    if (encoding.code_page != code_page) continue;  // no converter on this system
    EXPECT_EQ(charset_code_page(encoding.charset), code_page) << encoding.charset;
  }
}

}  // namespace
}  // namespace vendrel
