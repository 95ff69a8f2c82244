#include "mime/field_code_parameter.h"

#include <string>

#include "mime/ascii.h"
#include "mime/parameters.h"

namespace vendrel {

using namespace mime;

bool CFieldCodeParameter::is_special(char c) const {
  return std::string_view("()<>@,;:\\\"/[]?=").find(c) != std::string_view::npos;
}

void CFieldCodeParameter::encode_into(CMimeOutput& out) const {
  const std::string_view in = input();
  if (charset().empty() || !contains_8bit(in)) {
    out.put(in);
    return;
  }
  const ParameterList list = split_parameters(in);
  size_t cursor = 0;
  for (const ParameterSpan& p : list.parameters) {
    if (p.attribute.empty() || iequals(p.attribute, "boundary") || p.attribute.find('*') != std::string_view::npos)
      continue;
    if (!contains_8bit(p.value)) continue;
    out.put(in.substr(cursor, p.value_begin - cursor));
    out.put('"');
    encode_run(unquote(p.value), true, out);
    out.put('"');
    cursor = p.value_end;
  }
  out.put(in.substr(cursor));
}

void CFieldCodeParameter::decode_into(CMimeOutput& out) const {
  reset_decoded_charset();
  const std::string_view in = input();
  const ParameterList list = split_parameters(in);
  bool rewrite = false;
  for (const ParameterSpan& p : list.parameters)
    if (p.attribute.find('*') != std::string_view::npos || p.value.find("=?") != std::string_view::npos)
      rewrite = true;
  if (!rewrite) {
    out.put(in);
    return;
  }
  out.put(in.substr(0, list.main_end));
  std::string charset;
  for (const DecodedParameter& p : decoded_parameters(in, &charset)) {
    out.put("; ");
    out.put(p.name);
    out.put('=');
    out.put(quote_parameter(p.value));
  }
  note_charset(charset);
}

}  // namespace vendrel
