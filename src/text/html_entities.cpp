#include "text/html_entities.h"

#include <algorithm>

namespace vendrel {

namespace {

struct entity {
  std::string_view name;
  std::string_view replacement;
};

// In comparison order.
constexpr entity entities[] = {
    {"lt", "<"},
    {"#60", "<"},
    {"gt", ">"},
    {"#62", ">"},
    {"amp", "&"},
    {"#38", "&"},
    {"nbsp", " "},
    {"quot", "\""},
    {"#34", "\""},
    {"copy", "[Copyright]"},
    {"#169", "[Copyright]"},
    {"reg", "[Registered]"},
    {"#174", "[Registered]"},
    {"trade", "[Trademark]"},
    {"#153", "[Trademark]"},
};

}  // namespace

std::optional<html_entity_match> match_html_entity(std::string_view text) {
  if (text.empty() || text[0] != '&') return std::nullopt;
  const std::string_view rest = text.substr(1);
  if (!rest.empty() && rest[0] == ' ') return html_entity_match{"& ", 2};
  for (const entity& e : entities) {
    if (rest.starts_with(e.name)) {
      // '&', the name and its terminator; an entity at the very end of the
      // input has no terminator to consume.
      const size_t advance = std::min(text.size(), 1 + e.name.size() + 1);
      return html_entity_match{e.replacement, advance};
    }
  }
  return std::nullopt;
}

}  // namespace vendrel
