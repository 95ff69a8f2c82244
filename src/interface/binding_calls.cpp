// The exported binding calls: each copies one value into the bound state of
// its family and returns 0. Wide calls fill the wide record and recipient
// list, narrow calls (suffix A) the narrow ones; attachments and tagged
// properties are shared.
#include <cstring>
#include <string>

#include "common/errors.h"
#include "common/strings.h"
#include "interface/binding.h"
#include "interface/export_guard.h"
#include "interface/library_state.h"
#include "interface/wide_arg.h"
#include "ltp/property_value.h"
#include "vendrel.h"

namespace vendrel {
namespace {

template <typename CharT>
BoundFields<CharT>& fields_of();
template <>
BoundFields<char16_t>& fields_of<char16_t>() { return library_state().wide; }
template <>
BoundFields<char>& fields_of<char>() { return library_state().narrow; }

template <typename CharT>
std::basic_string<CharT> required(const CharT* text) {
  if (!text) throw qm_invalid_arg("null string");
  return std::basic_string<CharT>(text);
}

template <typename CharT>
using string_field = std::optional<std::basic_string<CharT>> BoundFields<CharT>::*;

template <typename CharT>
int32_t bind_string(std::string_view operation, string_field<CharT> field, const CharT* text) {
  return guarded(operation, [&] {
    fields_of<CharT>().*field = required(text);
    return 0;
  });
}

template <typename CharT>
int32_t bind_subject(std::string_view operation, const CharT* text, uint32_t prefix_length) {
  return guarded(operation, [&] {
    auto value = required(text);
    fields_of<CharT>().subject = encode_subject<CharT>(value, prefix_length);
    return 0;
  });
}

template <typename CharT, typename T>
int32_t bind_value(std::string_view operation, T BoundFields<CharT>::*field, T value) {
  return guarded(operation, [&] {
    fields_of<CharT>().*field = value;
    return 0;
  });
}

platform::system_time to_system_time(const vendrel_systemtime& t) {
  return {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

using time_field = uint64_t BoundFields<char16_t>::*;
using time_fieldA = uint64_t BoundFields<char>::*;

// The wide plain calls take 0x2A2A2A2A:0x2A2A2A2A as "leave the time alone";
// the narrow ones store every value.
int32_t bind_time(std::string_view operation, time_field field, uint32_t low, uint32_t high) {
  return guarded(operation, [&] {
    if (low != unset_time_half || high != unset_time_half) library_state().wide.*field = filetime_from_halves(low, high);
    return 0;
  });
}

int32_t bind_timeA(std::string_view operation, time_fieldA field, uint32_t low, uint32_t high) {
  return guarded(operation, [&] {
    library_state().narrow.*field = filetime_from_halves(low, high);
    return 0;
  });
}

// The _s calls take the SYSTEMTIME as UTC; an invalid one leaves the field alone.
template <typename CharT>
int32_t bind_time_s(std::string_view operation, uint64_t BoundFields<CharT>::*field, const vendrel_systemtime& t) {
  return guarded(operation, [&] {
    bind_system_time(fields_of<CharT>().*field, to_system_time(t));
    return 0;
  });
}

template <typename CharT>
int32_t bind_sender(std::string_view operation, const CharT* email, const CharT* name, const CharT* type) {
  return guarded(operation, [&] {
    fields_of<CharT>().sender.build(email, name, type);
    return 0;
  });
}

template <typename CharT>
int32_t bind_recipient(std::string_view operation, std::vector<RecipientBinding<CharT>>& list, const CharT* email,
                       const CharT* name, const CharT* type, uint32_t recipient_type, uint32_t flags) {
  return guarded(operation, [&] {
    if (!email && !name && !type) return 0;  // nothing to address
    RecipientBinding<CharT> binding;
    binding.email = copy_string(email);
    binding.display_name = copy_string(name);
    binding.address_type = copy_string(type);
    binding.recipient_type = recipient_type;
    binding.recipient_flags = flags;
    list.push_back(std::move(binding));
    return 0;
  });
}

std::string hex_tag(uint32_t tag) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, tag >>= 4) text[static_cast<size_t>(i)] = digits[tag & 15];
  return text;
}

// The value's bytes are checked against its type here, at the call: a value
// that is not one would make the item's property context invalid.
void append_tagged(uint16_t id, uint16_t type, const void* data, uint32_t size) {
  if (!data && size != 0) throw qm_invalid_arg("null data for a non-empty value");
  if (const char* fault = value_size_fault(type, static_cast<const uint8_t*>(data), size))
    throw qm_invalid_arg(std::string(fault) + " (property " + hex_tag(make_tag(id, type)) + ")");
  TaggedPropBinding binding;
  binding.property_id = id;
  binding.property_type = type;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (size != 0) binding.data.assign(bytes, bytes + size);
  library_state().tagged_props.push_back(std::move(binding));
}

std::optional<std::string> optional_copy(const char* text) { return copy_string(text); }

}  // namespace
}  // namespace vendrel

using namespace vendrel;

extern "C" {

VENDREL_API int32_t Bind_codepage(uint32_t code_page) { return bind_value("Bind_codepage", &BoundFields<char16_t>::code_page, code_page); }
VENDREL_API int32_t Bind_codepageA(uint32_t code_page) { return bind_value("Bind_codepageA", &BoundFields<char>::code_page, code_page); }

VENDREL_API int32_t Bind_subj(const vendrel_wchar* subject, uint32_t prefix_length) {
  return bind_subject("Bind_subj", wide_arg(subject), prefix_length);
}
VENDREL_API int32_t Bind_subjA(const char* subject, uint32_t prefix_length) {
  return bind_subject("Bind_subjA", subject, prefix_length);
}

VENDREL_API int32_t Bind_body(const vendrel_wchar* text) {
  return bind_string<char16_t>("Bind_body", &BoundFields<char16_t>::plain_body, wide_arg(text));
}
VENDREL_API int32_t Bind_bodyA(const char* text) {
  return bind_string<char>("Bind_bodyA", &BoundFields<char>::plain_body, text);
}
VENDREL_API int32_t Bind_html_body(const vendrel_wchar* html) {
  return bind_string<char16_t>("Bind_html_body", &BoundFields<char16_t>::html_body, wide_arg(html));
}
VENDREL_API int32_t Bind_html_bodyA(const char* html) {
  return bind_string<char>("Bind_html_bodyA", &BoundFields<char>::html_body, html);
}

// The RTF body is Base64 text in both families.
static int32_t bind_rtf(std::string_view operation, BoundFields<char16_t>* wide, BoundFields<char>* narrow,
                        const char* base64_rtf) {
  return guarded(operation, [&] {
    auto value = required(base64_rtf);
    if (wide) {
      wide->rtf_body = std::move(value);
      wide->rtf_is_base64 = 1;
    } else {
      narrow->rtf_body = std::move(value);
      narrow->rtf_is_base64 = 1;
    }
    return 0;
  });
}
VENDREL_API int32_t Bind_rtf_body(const char* base64_rtf) {
  return bind_rtf("Bind_rtf_body", &library_state().wide, nullptr, base64_rtf);
}
VENDREL_API int32_t Bind_rtf_bodyA(const char* base64_rtf) {
  return bind_rtf("Bind_rtf_bodyA", nullptr, &library_state().narrow, base64_rtf);
}

VENDREL_API int32_t Bind_importance(uint32_t importance) { return bind_value("Bind_importance", &BoundFields<char16_t>::importance, importance); }
VENDREL_API int32_t Bind_importanceA(uint32_t importance) { return bind_value("Bind_importanceA", &BoundFields<char>::importance, importance); }
VENDREL_API int32_t Bind_flags(uint32_t flags) { return bind_value("Bind_flags", &BoundFields<char16_t>::message_flags, flags); }
VENDREL_API int32_t Bind_flagsA(uint32_t flags) { return bind_value("Bind_flagsA", &BoundFields<char>::message_flags, flags); }

VENDREL_API int32_t Bind_message_headers(const vendrel_wchar* headers) {
  return bind_string<char16_t>("Bind_message_headers", &BoundFields<char16_t>::transport_headers, wide_arg(headers));
}
VENDREL_API int32_t Bind_message_headersA(const char* headers) {
  return bind_string<char>("Bind_message_headersA", &BoundFields<char>::transport_headers, headers);
}

VENDREL_API int32_t Bind_creation_time(uint32_t low, uint32_t high) {
  return bind_time("Bind_creation_time", &BoundFields<char16_t>::creation_time, low, high);
}
VENDREL_API int32_t Bind_creation_timeA(uint32_t low, uint32_t high) {
  return bind_timeA("Bind_creation_timeA", &BoundFields<char>::creation_time, low, high);
}
VENDREL_API int32_t Bind_last_modified_time(uint32_t low, uint32_t high) {
  return bind_time("Bind_last_modified_time", &BoundFields<char16_t>::last_modification_time, low, high);
}
VENDREL_API int32_t Bind_last_modified_timeA(uint32_t low, uint32_t high) {
  return bind_timeA("Bind_last_modified_timeA", &BoundFields<char>::last_modification_time, low, high);
}
VENDREL_API int32_t Bind_client_submit_time(uint32_t low, uint32_t high) {
  return bind_time("Bind_client_submit_time", &BoundFields<char16_t>::client_submit_time, low, high);
}
VENDREL_API int32_t Bind_client_submit_timeA(uint32_t low, uint32_t high) {
  return bind_timeA("Bind_client_submit_timeA", &BoundFields<char>::client_submit_time, low, high);
}
VENDREL_API int32_t Bind_delivery_time(uint32_t low, uint32_t high) {
  return bind_time("Bind_delivery_time", &BoundFields<char16_t>::delivery_time, low, high);
}
VENDREL_API int32_t Bind_delivery_timeA(uint32_t low, uint32_t high) {
  return bind_timeA("Bind_delivery_timeA", &BoundFields<char>::delivery_time, low, high);
}

VENDREL_API int32_t Bind_creation_time_s(vendrel_systemtime t) {
  return bind_time_s<char16_t>("Bind_creation_time_s", &BoundFields<char16_t>::creation_time, t);
}
VENDREL_API int32_t Bind_creation_time_sA(vendrel_systemtime t) {
  return bind_time_s<char>("Bind_creation_time_sA", &BoundFields<char>::creation_time, t);
}
VENDREL_API int32_t Bind_last_modified_time_s(vendrel_systemtime t) {
  return bind_time_s<char16_t>("Bind_last_modified_time_s", &BoundFields<char16_t>::last_modification_time, t);
}
VENDREL_API int32_t Bind_last_modified_time_sA(vendrel_systemtime t) {
  return bind_time_s<char>("Bind_last_modified_time_sA", &BoundFields<char>::last_modification_time, t);
}
VENDREL_API int32_t Bind_client_submit_time_s(vendrel_systemtime t) {
  return bind_time_s<char16_t>("Bind_client_submit_time_s", &BoundFields<char16_t>::client_submit_time, t);
}
VENDREL_API int32_t Bind_client_submit_time_sA(vendrel_systemtime t) {
  return bind_time_s<char>("Bind_client_submit_time_sA", &BoundFields<char>::client_submit_time, t);
}
VENDREL_API int32_t Bind_delivery_time_s(vendrel_systemtime t) {
  return bind_time_s<char16_t>("Bind_delivery_time_s", &BoundFields<char16_t>::delivery_time, t);
}
VENDREL_API int32_t Bind_delivery_time_sA(vendrel_systemtime t) {
  return bind_time_s<char>("Bind_delivery_time_sA", &BoundFields<char>::delivery_time, t);
}

VENDREL_API int32_t Bind_priority(int32_t priority) { return bind_value("Bind_priority", &BoundFields<char16_t>::priority, priority); }
VENDREL_API int32_t Bind_priorityA(int32_t priority) { return bind_value("Bind_priorityA", &BoundFields<char>::priority, priority); }
VENDREL_API int32_t Bind_sensitivity(uint32_t sensitivity) {
  return bind_value("Bind_sensitivity", &BoundFields<char16_t>::sensitivity, sensitivity);
}
VENDREL_API int32_t Bind_sensitivityA(uint32_t sensitivity) {
  return bind_value("Bind_sensitivityA", &BoundFields<char>::sensitivity, sensitivity);
}

VENDREL_API int32_t Bind_billing_information(const vendrel_wchar* text) {
  return bind_string<char16_t>("Bind_billing_information", &BoundFields<char16_t>::billing_information,
                               wide_arg(text));
}
VENDREL_API int32_t Bind_billing_informationA(const char* text) {
  return bind_string<char>("Bind_billing_informationA", &BoundFields<char>::billing_information, text);
}
VENDREL_API int32_t Bind_mileage(const vendrel_wchar* text) {
  return bind_string<char16_t>("Bind_mileage", &BoundFields<char16_t>::mileage, wide_arg(text));
}
VENDREL_API int32_t Bind_mileageA(const char* text) {
  return bind_string<char>("Bind_mileageA", &BoundFields<char>::mileage, text);
}

VENDREL_API int32_t Bind_sender(const vendrel_wchar* email, const vendrel_wchar* display_name,
                                const vendrel_wchar* address_type) {
  return bind_sender("Bind_sender", wide_arg(email), wide_arg(display_name), wide_arg(address_type));
}
VENDREL_API int32_t Bind_senderA(const char* email, const char* display_name, const char* address_type) {
  return bind_sender("Bind_senderA", email, display_name, address_type);
}

VENDREL_API int32_t Bind_recipient(const vendrel_wchar* email, const vendrel_wchar* display_name,
                                   const vendrel_wchar* address_type, uint32_t recipient_type,
                                   uint32_t recipient_flags) {
  return bind_recipient("Bind_recipient", library_state().wide_recipients, wide_arg(email), wide_arg(display_name),
                        wide_arg(address_type), recipient_type, recipient_flags);
}
VENDREL_API int32_t Bind_recipientA(const char* email, const char* display_name, const char* address_type,
                                    uint32_t recipient_type, uint32_t recipient_flags) {
  return bind_recipient("Bind_recipientA", library_state().narrow_recipients, email, display_name, address_type,
                        recipient_type, recipient_flags);
}

VENDREL_API int32_t Bind_attach(const void* data, int32_t size, const char* file_name, const char* content_id,
                                const char* mime_type, const char* content_location, uint8_t by_value,
                                uint8_t second_flag) {
  return guarded("Bind_attach", [&] {
    if (size < 0) throw qm_invalid_arg("negative attachment size");
    if (!data && size != 0) throw qm_invalid_arg("null attachment data");
    if (!file_name) throw qm_invalid_arg("attachment without a name");
    AttachBinding binding;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size != 0) binding.data.assign(bytes, bytes + size);
    binding.size = size;
    binding.name = file_name;
    binding.content_id = optional_copy(content_id);
    binding.mime_type = optional_copy(mime_type);
    binding.content_location = optional_copy(content_location);
    binding.by_value = by_value;
    binding.second_flag = second_flag;
    library_state().attachments.push_back(std::move(binding));
    return 0;
  });
}

VENDREL_API int32_t BindTaggedProp(uint32_t tag, const void* data, uint32_t size) {
  return guarded("BindTaggedProp", [&] {
    append_tagged(static_cast<uint16_t>(tag >> 16), static_cast<uint16_t>(tag & 0xFFFF), data, size);
    return 0;
  });
}

// The narrow twin records a UTF-16 string type as an 8-bit one; the bytes are kept as given.
VENDREL_API int32_t BindTaggedPropA(uint32_t tag, const void* data, uint32_t size) {
  return guarded("BindTaggedPropA", [&] {
    uint16_t type = static_cast<uint16_t>(tag & 0xFFFF);
    if (type == 0x001F) type = 0x001E;
    append_tagged(static_cast<uint16_t>(tag >> 16), type, data, size);
    return 0;
  });
}

VENDREL_API int32_t BindLiteralProp(const char* type_and_id, const void* data, uint32_t size) {
  return guarded("BindLiteralProp", [&] {
    if (!type_and_id) throw qm_invalid_arg("null property text");
    auto tag = parse_literal_tag(type_and_id);
    if (!tag) return -1;
    append_tagged(static_cast<uint16_t>(*tag >> 16), static_cast<uint16_t>(*tag & 0xFFFF), data, size);
    return 0;
  });
}

VENDREL_API int32_t BClear(void) {
  return guarded("BClear", [] {
    clear_wide_bindings(library_state());
    return 0;
  });
}
VENDREL_API int32_t BClearA(void) {
  return guarded("BClearA", [] {
    clear_narrow_bindings(library_state());
    return 0;
  });
}

}  // extern "C"
