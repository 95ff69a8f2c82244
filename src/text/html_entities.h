// The character entities the HTML-to-text converter replaces.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vendrel {

struct html_entity_match {
  std::string_view replacement;  // bytes to append, whatever the blank switch
  size_t advance;                // input bytes consumed from the '&', never past the end
};

// Looks at the text that begins with '&'. "& " becomes "& " (both consumed).
// A known name, compared as a prefix in the table's order, consumes the '&',
// the name and one more character taken as its ';', whatever that character
// is. Anything else is no match: the caller skips the '&' alone.
std::optional<html_entity_match> match_html_entity(std::string_view text);

}  // namespace vendrel
