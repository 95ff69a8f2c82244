// The RTF side of the body path on arbitrary bytes: the Base64 decoder the
// RTF body arrives through, the container it is stored in, the code page
// of its "\ansicpg" and the RTF reader that derives the plain body. The
// first byte chooses whether the rest is the Base64 text or the RTF itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "items/body_code_page.h"
#include "items/rtf_base64.h"
#include "items/rtf_container.h"
#include "text/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool is_base64 = (data[0] & 1) != 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  std::string decoded;
  if (is_base64) {
    decoded = vendrel::decode_rtf_base64(input);
    // Every four significant characters give at most three bytes.
    if (decoded.size() > input.size() / 4 * 3 + 2) std::abort();
  }
  const std::string_view rtf = is_base64 ? std::string_view(decoded) : input;

  const std::vector<uint8_t> container = vendrel::make_uncompressed_rtf_container(rtf);
  if (container.size() != rtf.size() + vendrel::rtf_container_header_size) std::abort();

  (void)vendrel::rtf_document_code_page(rtf, 1252);
  const vendrel::rtf_text text = vendrel::rtf_to_text(rtf);
  // The reader writes at most one byte per input byte.
  if (text.text.size() > rtf.size()) std::abort();
  return 0;
}
