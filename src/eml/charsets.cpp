#include "eml/charsets.h"

#include "mime/ascii.h"
#include "platform/platform.h"

namespace vendrel {

namespace {

struct CharsetCodePage {
  std::string_view name;
  uint32_t code_page;
};

// Charset names met in mail, each with the code page that decodes it.
constexpr CharsetCodePage kImportTable[] = {
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"utf-7", 65000},
    {"utf-8", 65001},
    {"iso-8859-1", 28591},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"windows-1253", 1253},
    {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},
    {"iso-8859-15", 28605},
    {"cp866", 866},
    {"shift_jis", 932},
    {"csshiftjis", 932},
    {"windows-31j", 932},
    {"euc-jp", 51932},
    {"iso-2022-jp", 50220},
    {"iso-2020-jp", 50220},  // a misspelling some mailers write
    {"csISO2022JP", 50220},
    {"big5", 950},
    {"gb2312", 936},
    {"euc-cn", 936},
    {"hz-gb-2312", 936},
    {"x-euc-tw", 51950},
    {"euc-kr", 51949},
    {"iso-2022-kr", 50225},
    {"windows-949", 949},
    {"mac-cyrillic-2000", 10007},
    {"x-mac-cyrillic", 10007},
    {"us-ascii", 20127},
    {"windows-1250", 1250},
    {"tis-620", 874},
    // Names this library writes itself (see kExportTable) that the
    // converters may know under other names.
    {"gbk", 936},
    {"ks_c_5601-1987", 949},
    {"gb18030", 54936},
    {"macintosh", 10000},
    {"iso-8859-8-i", 28598},
};

// The name of each code page the writer may convert with.
constexpr CharsetCodePage kExportTable[] = {
    {"windows-1250", 1250},     {"windows-1251", 1251},  {"windows-1252", 1252},  {"windows-1253", 1253},
    {"windows-1254", 1254},     {"windows-1255", 1255},  {"windows-1256", 1256},  {"windows-1257", 1257},
    {"windows-1258", 1258},     {"windows-874", 874},    {"iso-8859-1", 28591},   {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},      {"iso-8859-4", 28594},   {"iso-8859-5", 28595},   {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},      {"iso-8859-8", 28598},   {"iso-8859-9", 28599},   {"iso-8859-10", 28600},
    {"iso-8859-13", 28603},     {"iso-8859-14", 28604},  {"iso-8859-15", 28605},  {"iso-8859-8-i", 38598},
    {"ibm437", 437},            {"ibm850", 850},         {"ibm852", 852},         {"ibm855", 855},
    {"ibm857", 857},            {"ibm862", 862},         {"cp866", 866},          {"ibm869", 869},
    {"koi8-r", 20866},          {"koi8-u", 21866},       {"us-ascii", 20127},     {"macintosh", 10000},
    {"x-mac-cyrillic", 10007},  {"shift_jis", 932},      {"gbk", 936},            {"ks_c_5601-1987", 949},
    {"big5", 950},              {"iso-2022-jp", 50220},  {"iso-2022-jp", 50221},  {"iso-2022-jp", 50222},
    {"euc-jp", 51932},          {"iso-2022-kr", 50225},  {"euc-kr", 51949},       {"hz-gb-2312", 52936},
    {"gb18030", 54936},         {"utf-7", 65000},        {"utf-8", 65001},
};

}  // namespace

uint32_t charset_code_page(std::string_view charset) {
  const std::string_view name = mime::trim(charset);
  if (name.empty()) return 0;
  for (const CharsetCodePage& entry : kImportTable)
    if (mime::iequals(name, entry.name)) return entry.code_page;
  return platform::code_page_for_charset(name).value_or(0);
}

std::optional<std::string_view> code_page_charset(uint32_t code_page) {
  for (const CharsetCodePage& entry : kExportTable)
    if (entry.code_page == code_page) return entry.name;
  return std::nullopt;
}

EmlEncoding eml_encoding(uint32_t bound_code_page) {
  uint32_t code_page = bound_code_page;
  // 0 to 3 are the "current" code pages; a code page the system cannot
  // convert with falls back to the host's one in the conversion itself.
  if (code_page <= 3 || !platform::code_page_supported(code_page)) code_page = platform::host_code_page();
  EmlEncoding encoding;
  if (auto name = code_page_charset(code_page)) {
    encoding.code_page = code_page;
    encoding.charset = std::string(*name);
  }
  return encoding;
}

}  // namespace vendrel
