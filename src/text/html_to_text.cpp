#include "text/html_to_text.h"

#include <cstddef>
#include <limits>

#include "common/errors.h"
#include "platform/platform.h"
#include "text/html_entities.h"
#include "text/html_tags.h"
#include "text/text_buffer.h"

namespace vendrel {

namespace {

constexpr std::string_view crlf = "\r\n";
constexpr std::string_view dashes =
    "--------------------------------------------------------------------------------";
static_assert(dashes.size() == 80);

struct switches {
  bool output = false;
  bool blanks = false;
  bool preformatted = false;
};

void apply(html_tag_action action, switches& state, text_buffer& out) {
  switch (action) {
    case html_tag_action::off:
      state.output = false;
      state.blanks = false;
      return;
    case html_tag_action::keep:
      break;
    case html_tag_action::keep_tight:
      state.output = true;
      state.blanks = false;
      return;
    case html_tag_action::line:
      out.append(crlf);
      break;
    case html_tag_action::paragraph:
      out.append(crlf);
      out.append(crlf);
      break;
    case html_tag_action::rule:
      out.append(crlf);
      out.append(dashes);
      out.append(crlf);
      break;
    case html_tag_action::pre_on:
      state.preformatted = true;
      break;
    case html_tag_action::pre_off:
      state.preformatted = false;
      break;
  }
  state.output = true;
  state.blanks = true;
}

}  // namespace

std::string html_to_text(std::string_view html) {
  html = html.substr(0, html.find('\0'));
  const size_t n = html.size();
  if (n > std::numeric_limits<size_t>::max() / 2) throw qm_enomem_error("html to text: out of memory");
  text_buffer out(2 * n);
  switches state;

  size_t p = 0;
  while (p < n) {
    const char c = html[p];
    if (c == '<') {
      if (p + 1 == n) break;
      apply(html_tag_action_for(html.substr(p)), state, out);
      const size_t close = html.find('>', p + 1);
      p = (close == std::string_view::npos) ? n : close + 1;
      continue;
    }
    if (!state.output) {
      ++p;
      continue;
    }
    if (c == '&') {
      if (auto entity = match_html_entity(html.substr(p))) {
        out.append(entity->replacement);
        p += entity->advance;
      } else {
        ++p;
      }
      continue;
    }
    if (c == '\r') {
      // A line break of the source; only the LF of a CR LF pair goes with
      // the CR, so a lone CR cannot swallow the start of a tag or entity.
      ++p;
      if (p < n && html[p] == '\n') ++p;
      if (state.preformatted) out.append(crlf);
      continue;
    }
    if (c == ' ') {
      if (state.blanks) out.append(c);
      ++p;
      continue;
    }
    out.append(c);
    ++p;
  }
  return out.take();
}

std::string html_to_text(std::u16string_view html, uint32_t code_page) {
  html = html.substr(0, html.find(u'\0'));
  return html_to_text(platform::wide_to_multibyte(code_page, html));
}

}  // namespace vendrel
