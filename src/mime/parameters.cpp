#include "mime/parameters.h"

#include <algorithm>
#include <unordered_map>

#include "mime/ascii.h"
#include "mime/encoded_word.h"

namespace vendrel::mime {

namespace {

// The position of the next ";" outside a quoted string, from `from`.
size_t next_semicolon(std::string_view s, size_t from) {
  bool quoted = false;
  for (size_t i = from; i < s.size(); ++i) {
    const char c = s[i];
    if (quoted) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ';') {
      return i;
    }
  }
  return s.size();
}

bool is_tspecial(char c) {
  return std::string_view("()<>@,;:\\\"/[]?=").find(c) != std::string_view::npos;
}

std::string percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hex_value(text[i + 1]);
      const int low = hex_value(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// The parameter name a (possibly RFC 2231) attribute belongs to.
std::string_view base_name(std::string_view attribute) {
  const size_t star = attribute.find('*');
  return star == std::string_view::npos ? attribute : attribute.substr(0, star);
}

struct Section {
  unsigned number = 0;
  bool extended = false;
  std::string_view value;
};

}  // namespace

ParameterList split_parameters(std::string_view s) {
  ParameterList list;
  list.main_end = next_semicolon(s, 0);
  list.main_value = trim(s.substr(0, list.main_end));
  size_t pos = list.main_end;
  while (pos < s.size()) {
    ParameterSpan span;
    span.segment_begin = pos + 1;
    span.segment_end = next_semicolon(s, span.segment_begin);
    const std::string_view segment = s.substr(span.segment_begin, span.segment_end - span.segment_begin);
    const size_t eq = segment.find('=');
    if (eq == std::string_view::npos) {
      span.value_begin = span.value_end = span.segment_end;
    } else {
      span.attribute = trim(segment.substr(0, eq));
      size_t vb = span.segment_begin + eq + 1;
      while (vb < span.segment_end && is_space(s[vb])) ++vb;
      size_t ve = span.segment_end;
      if (vb < span.segment_end && s[vb] == '"') {
        ve = vb + 1;
        while (ve < span.segment_end && s[ve] != '"') ve += s[ve] == '\\' ? 2 : 1;
        ve = ve < span.segment_end ? ve + 1 : span.segment_end;
      } else {
        while (ve > vb && is_space(s[ve - 1])) --ve;
      }
      span.value_begin = vb;
      span.value_end = ve;
      span.value = s.substr(vb, ve - vb);
    }
    list.parameters.push_back(span);
    pos = span.segment_end;
  }
  return list;
}

std::string unquote(std::string_view raw) {
  raw = trim(raw);
  if (raw.empty() || raw.front() != '"') return std::string(raw);
  std::string out;
  for (size_t i = 1; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\\' && i + 1 < raw.size()) {
      out.push_back(raw[++i]);
    } else if (c == '"') {
      break;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string quote_parameter(std::string_view value) {
  bool token = !value.empty();
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127 || is_tspecial(c)) token = false;
  }
  if (token) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

namespace {

// The value of one parameter from its segments (all of one base name, in
// field order): see find_parameter.
std::optional<std::string> resolve(const std::vector<const ParameterSpan*>& segments, std::string_view name,
                                   std::string* charset, bool decode) {
  std::optional<std::string_view> plain;
  std::vector<Section> sections;
  for (const ParameterSpan* p : segments) {
    if (p->attribute.size() == name.size()) {  // the plain form
      if (!plain) plain = p->value;
      continue;
    }
    // name* or name*N or name*N*
    std::string_view rest = p->attribute.substr(name.size() + 1);
    Section section;
    section.value = p->value;
    if (rest.empty()) {
      section.extended = true;
    } else {
      size_t digits = 0;
      unsigned number = 0;
      while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && digits < 6)
        number = number * 10 + static_cast<unsigned>(rest[digits++] - '0');
      if (digits == 0) continue;
      rest.remove_prefix(digits);
      if (rest == "*")
        section.extended = true;
      else if (!rest.empty())
        continue;
      section.number = number;
    }
    sections.push_back(section);
  }

  if (!sections.empty()) {
    std::stable_sort(sections.begin(), sections.end(),
                     [](const Section& a, const Section& b) { return a.number < b.number; });
    std::string value;
    std::string found_charset;
    unsigned expected = 0;
    for (const Section& section : sections) {
      if (section.number != expected) {
        if (section.number < expected) continue;  // a repeated section: the first one counts
        break;                                    // a gap ends the value
      }
      ++expected;
      if (!section.extended) {
        value += unquote(section.value);
        continue;
      }
      std::string text = unquote(section.value);
      std::string_view body = text;
      if (section.number == 0) {
        // charset'language'text; without both quotes the whole is text
        const size_t q1 = body.find('\'');
        const size_t q2 = q1 == std::string_view::npos ? q1 : body.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) {
          found_charset = std::string(body.substr(0, q1));
          body = body.substr(q2 + 1);
        }
      }
      value += percent_decode(body);
    }
    if (charset) *charset = found_charset;
    return value;
  }

  if (!plain) return std::nullopt;
  std::string value = unquote(*plain);
  std::string found;
  if (decode) value = CMimeEncodedWord::decode_text(value, &found);
  if (charset) *charset = found;
  return value;
}

}  // namespace

std::optional<std::string> find_parameter(std::string_view field_value, std::string_view name, std::string* charset,
                                          bool decode) {
  const ParameterList list = split_parameters(field_value);
  std::vector<const ParameterSpan*> segments;
  for (const ParameterSpan& p : list.parameters)
    if (!p.attribute.empty() && iequals(base_name(p.attribute), name)) segments.push_back(&p);
  return resolve(segments, name, charset, decode);
}

std::vector<DecodedParameter> decoded_parameters(std::string_view field_value, std::string* first_charset) {
  const ParameterList list = split_parameters(field_value);
  std::vector<DecodedParameter> result;
  std::vector<std::vector<const ParameterSpan*>> groups;
  std::unordered_map<std::string, size_t> index;
  for (const ParameterSpan& p : list.parameters) {
    if (p.attribute.empty()) continue;
    const std::string_view name = base_name(p.attribute);
    const auto [it, added] = index.emplace(to_lower(name), groups.size());
    if (added) {
      groups.emplace_back();
      result.push_back({std::string(name), {}});
    }
    groups[it->second].push_back(&p);
  }
  if (first_charset) first_charset->clear();
  for (size_t i = 0; i < groups.size(); ++i) {
    std::string charset;
    result[i].value = resolve(groups[i], result[i].name, &charset, true).value_or(std::string());
    if (first_charset && first_charset->empty()) *first_charset = charset;
  }
  return result;
}

std::string replace_parameter(std::string_view field_value, std::string_view name, std::string_view value) {
  const ParameterList list = split_parameters(field_value);
  std::string out(field_value.substr(0, list.main_end));
  const std::string replacement = "; " + std::string(name) + "=" + quote_parameter(value);
  bool placed = false;
  for (const ParameterSpan& p : list.parameters) {
    if (!p.attribute.empty() && iequals(base_name(p.attribute), name)) {
      if (!placed) out += replacement;
      placed = true;
      continue;
    }
    out.push_back(';');
    out.append(field_value.substr(p.segment_begin, p.segment_end - p.segment_begin));
  }
  if (!placed) {
    while (!out.empty() && is_space(out.back())) out.pop_back();
    if (!out.empty() && out.back() == ';') out.pop_back();
    out += replacement;
  }
  return out;
}

}  // namespace vendrel::mime
