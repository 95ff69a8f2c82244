#include "interface/binding.h"

#include <type_traits>

#include "common/logger.h"

namespace vendrel {

void bind_system_time(uint64_t& field, const platform::system_time& time) {
  uint64_t filetime = 0;
  if (platform::system_time_to_filetime(time, &filetime)) field = filetime;
}

std::optional<uint32_t> parse_literal_tag(std::string_view text) {
  size_t pos = 0;
  if (pos < text.size() && text[pos] == 'M') ++pos;
  if (pos >= text.size()) return std::nullopt;
  uint16_t type;
  switch (text[pos]) {
    case 'B': type = 0x000B; break;
    case 'I': type = 0x0002; break;
    case 'L': type = 0x0003; break;
    case 'N': type = 0x0102; break;
    case 'Q': type = 0x0014; break;
    case 'S': type = 0x001E; break;
    case 'T': type = 0x0040; break;
    default: return std::nullopt;
  }
  ++pos;
  // The ID is read as hexadecimal, truncated to 16 bits. Text without a
  // hexadecimal digit names no property and is refused rather than bound as 0.
  uint32_t id = 0;
  size_t digits = 0;
  for (; pos < text.size(); ++pos, ++digits) {
    char c = text[pos];
    int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (value < 0) break;
    id = (id << 4) | static_cast<uint32_t>(value);
  }
  // Anything after the digits ("N10zz") makes the text name no property.
  if (digits == 0 || pos != text.size()) return std::nullopt;
  return ((id & 0xFFFF) << 16) | type;
}

namespace {

template <typename CharT>
void clear_fields(BoundFields<CharT>& fields) {
  // The code pages the library starts with (library_state.cpp).
  fields.code_page = std::is_same_v<CharT, char> ? platform::file_code_page() : platform::host_code_page();
  fields.subject.reset();
  fields.plain_body.reset();
  fields.html_body.reset();
  fields.rtf_body.reset();
  fields.transport_headers.reset();
  fields.billing_information.reset();
  fields.mileage.reset();
  fields.importance = 1;
  fields.message_flags = 8;
  fields.priority = 0;
  fields.sensitivity = 0;
  // The RTF flag, the four times and the sender carry over to the next item.
}

}  // namespace

void clear_wide_bindings(LibraryState& state) {
  clear_fields(state.wide);
  auto& log = logger();
  log.write_line("[PST] delete attaches");
  for (const auto& attachment : state.attachments)
    log.write_formatted("[PST] deleting attach [%s]", attachment.name.c_str());
  state.attachments.clear();
  log.write_line("[PST] delete binded props");
  state.tagged_props.clear();
  log.write_line("[PST] delete recipients");
  state.wide_recipients.clear();
}

void clear_narrow_bindings(LibraryState& state) {
  clear_fields(state.narrow);
  state.attachments.clear();
  state.tagged_props.clear();
  state.narrow_recipients.clear();
}

}  // namespace vendrel
