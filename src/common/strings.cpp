#include "common/strings.h"

#include "platform/platform.h"

namespace vendrel {

namespace {
constexpr uint32_t utf8_code_page = 65001;
}

std::string to_utf8(std::u16string_view text) { return platform::wide_to_multibyte(utf8_code_page, text); }

std::u16string from_utf8(std::string_view text) { return platform::multibyte_to_wide(utf8_code_page, text); }

}  // namespace vendrel
