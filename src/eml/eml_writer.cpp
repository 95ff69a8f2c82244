#include "eml/eml_writer.h"

#include "common/logger.h"
#include "platform/platform.h"

namespace vendrel {

namespace {

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The first `count` code units, one fewer when that would split a pair.
std::u16string_view head(std::u16string_view text, size_t count) {
  if (count > text.size()) count = text.size();
  if (count > 0 && count < text.size() && is_high_surrogate(text[count - 1])) --count;
  return text.substr(0, count);
}

std::u16string decimal(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

bool write_file(const std::u16string& path, const std::string& text) {
  const platform::file_handle file = platform::open_file(path, platform::access::write, platform::share::write,
                                                         platform::creation::create_always, platform::file_flag::normal);
  if (file == platform::invalid_file) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < text.size()) {
    const size_t left = text.size() - done;
    const uint32_t chunk = left > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(left);
    uint32_t written = 0;
    ok = platform::write_file(file, text.data() + done, chunk, &written) && written == chunk;
    done += written;
  }
  platform::close_file(file);
  return ok;
}

}  // namespace

EmlWriterContext& eml_writer() {
  static EmlWriterContext context;
  return context;
}

std::u16string eml_file_name(std::u16string_view name, int32_t& shortening_count) {
  if (name.size() <= eml_max_file_name) return std::u16string(name);
  const std::u16string_view kept = head(name, eml_shortened_keep);
  const std::u16string_view first = head(kept, kept.size() / 2);
  std::u16string out(first);
  out += u"(...)";
  out += kept.substr(first.size());
  out += u'_';
  out += decimal(shortening_count++);
  out += u".eml";
  return out;
}

std::u16string eml_file_path(std::u16string_view directory, std::u16string_view name) {
  std::u16string path(directory);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  path += name;
  if (path.size() > eml_path_prefix_threshold && path.substr(0, 4) != u"\\\\?\\") path.insert(0, u"\\\\?\\");
  return path;
}

std::u16string eml_item_file_name(std::u16string_view kind, int32_t number, std::u16string_view name) {
  std::u16string out = decimal(number);
  out += u'_';
  out += kind;
  out += u'_';
  out += name;
  return out;
}

bool write_eml_message(EmlWriterContext& context, const EmlMessageRecord& record, std::u16string_view directory,
                       std::u16string_view file_name) {
  context.message = record;
  const std::string text = compose_eml(record);
  context.output_size = static_cast<uint32_t>(text.size());
  if (write_file(eml_file_path(directory, eml_file_name(file_name, context.shortening_count)), text)) return true;
  const std::string fallback = "Unknown_message_" + std::to_string(++context.unknown_message_count) + ".eml";
  logger().write_line("[PST] cannot create the EML file, writing " + fallback);
  return write_file(eml_file_path(directory, std::u16string(fallback.begin(), fallback.end())), text);
}

}  // namespace vendrel
