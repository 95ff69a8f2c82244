// The HTML-to-text converter on arbitrary bytes, in both of its forms: the
// 8-bit path over the bytes as they are, and the UTF-16 path over the same
// bytes read as code units, made 8-bit in a code page chosen by the first
// byte (the bound code page of a wide HTML body), as the body path does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "items/body_code_page.h"
#include "text/html_to_text.h"

namespace {

constexpr uint32_t code_pages[] = {0, 1252, 1251, 932, 936, 65001, 50220, 20127};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::string text = vendrel::html_to_text(bytes);
  // Text is only ever taken from the input or the converter's fixed
  // replacements: it cannot outgrow the rule (84 bytes) per input byte.
  if (text.size() > 84 * bytes.size() + 1) std::abort();

  if (size < 1) return 0;
  const uint32_t bound = code_pages[data[0] % (sizeof code_pages / sizeof code_pages[0])];
  std::u16string wide((size - 1) / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
  const uint32_t used = vendrel::html_conversion_code_page(wide, bound);
  (void)vendrel::html_to_text(wide, used);
  return 0;
}
