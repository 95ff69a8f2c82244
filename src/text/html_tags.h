// The fixed tag table of the HTML-to-text converter. The converter does not
// parse HTML: every tag it meets is looked up here by its leading characters
// and sets the output switches anew.
#pragma once

#include <cstdint>
#include <string_view>

namespace vendrel {

enum class html_tag_action : uint8_t {
  off,         // output off, blanks off
  keep,        // output on, blanks on
  keep_tight,  // output on, blanks off
  line,        // CR LF, then keep
  paragraph,   // CR LF CR LF, then keep
  rule,        // CR LF, 80 dashes, CR LF, then keep
  pre_on,      // preformatted on, then keep
  pre_off,     // preformatted off, then keep
};

// The action of the tag whose text begins at tag[0] == '<' and runs to the
// end of the view (the input after it, not cut at its '>'). Spellings are
// compared as prefixes, in the group of the tag letter: the character after
// "<", or after "</" when something follows the slash. The group of an
// upper-case letter holds the upper-case spellings, that of a lower-case
// letter the same spellings in lower case; mixed case matches nothing.
html_tag_action html_tag_action_for(std::string_view tag);

}  // namespace vendrel
