#include "mime/registry.h"

#include <string>

#include "mime/ascii.h"
#include "mime/base64.h"
#include "mime/code_7bit.h"
#include "mime/field_code_address.h"
#include "mime/field_code_parameter.h"
#include "mime/quoted_printable.h"

namespace vendrel {

using namespace mime;

namespace {

bool g_auto_folding = true;

constexpr std::string_view kTextFields[] = {"Subject", "Comments", "Content-Description"};
constexpr std::string_view kAddressFields[] = {"From",   "To",         "Resent-To", "Cc",
                                               "Resent-Cc", "Bcc",     "Resent-Bcc", "Reply-To",
                                               "Resent-Reply-To"};
constexpr std::string_view kParameterFields[] = {"Content-Type", "Content-Disposition"};

template <size_t N>
bool listed(const std::string_view (&names)[N], std::string_view name) {
  for (std::string_view candidate : names)
    if (iequals(candidate, name)) return true;
  return false;
}

std::string normalised_encoding(std::string_view encoding) {
  const size_t semicolon = encoding.find(';');
  std::string name = to_lower(trim(encoding.substr(0, semicolon)));
  for (char& c : name)
    if (is_blank(c)) c = '-';
  return name;
}

}  // namespace

bool CMimeEnvironment::auto_folding() { return g_auto_folding; }
void CMimeEnvironment::set_auto_folding(bool on) { g_auto_folding = on; }

std::unique_ptr<CMimeCodeBase> CMimeEnvironment::create_transfer_codec(std::string_view encoding) {
  const std::string name = normalised_encoding(encoding);
  if (name == "quoted-printable") return std::make_unique<CMimeCodeQP>();
  if (name == "base64") return std::make_unique<CMimeCodeBase64>();
  if (name == "7bit" || name == "8bit") {
    if (g_auto_folding) return std::make_unique<CMimeCode7bit>();
    return nullptr;
  }
  return std::make_unique<CMimeCodeBase>();
}

std::unique_ptr<CFieldCodeBase> CMimeEnvironment::create_field_codec(std::string_view field_name) {
  if (listed(kTextFields, field_name)) return std::make_unique<CFieldCodeText>();
  if (listed(kAddressFields, field_name)) return std::make_unique<CFieldCodeAddress>();
  if (listed(kParameterFields, field_name)) return std::make_unique<CFieldCodeParameter>();
  return std::make_unique<CFieldCodeBase>();
}

bool is_identity_transfer(std::string_view encoding) {
  const std::string name = normalised_encoding(encoding);
  return name.empty() || name == "7bit" || name == "8bit" || name == "binary";
}

std::string encode_transfer(std::string_view encoding, std::string_view content) {
  const auto codec = CMimeEnvironment::create_transfer_codec(encoding);
  if (!codec) return std::string(content);
  return mime_encode(*codec, content);
}

std::string decode_transfer(std::string_view encoding, std::string_view content) {
  const auto codec = CMimeEnvironment::create_transfer_codec(encoding);
  if (!codec) return std::string(content);
  return mime_decode(*codec, content);
}

}  // namespace vendrel
