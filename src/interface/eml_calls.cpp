// The exported EML calls: CreateEML turns EML mode on and names the next
// file, Bind_body_EML writes (or queues) the bound item as an .eml file, and
// Bind_EML reads an .eml file into a message of the current folder.
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "common/logger.h"
#include "eml/eml_reader.h"
#include "interface/binding.h"
#include "interface/eml_items.h"
#include "interface/export_guard.h"
#include "interface/library_state.h"
#include "interface/wide_arg.h"
#include "platform/platform.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

constexpr uint32_t code_page_windows_1252 = 1252;

// The whole file, or nullopt when it cannot be read. A buffer that cannot
// be allocated is logged (a library must not stop its host on a dialog).
std::optional<std::string> read_whole_file(std::u16string_view path) {
  const platform::file_handle file = platform::open_file(path, platform::access::read, platform::share::read,
                                                         platform::creation::open_existing, platform::file_flag::normal);
  if (file == platform::invalid_file) return std::nullopt;
  std::optional<std::string> text;
  uint64_t size = 0;
  if (platform::seek_file(file, 0, platform::seek_origin::end, &size) &&
      platform::seek_file(file, 0, platform::seek_origin::begin, nullptr)) {
    try {
      if (size >= SIZE_MAX / 2) throw std::bad_alloc();
      std::string buffer(static_cast<size_t>(size) + 1, '\0');
      size_t done = 0;
      bool ok = true;
      while (ok && done < size) {
        const uint64_t left = size - done;
        const uint32_t chunk = left > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(left);
        uint32_t got = 0;
        ok = platform::read_file(file, buffer.data() + done, chunk, &got) && got > 0;
        done += got;
      }
      if (ok) {
        buffer.resize(done);
        text = std::move(buffer);
      }
    } catch (const std::bad_alloc&) {
      logger().write_line("[ERROR]: Memory allocation error!");
    }
  }
  platform::close_file(file);
  return text;
}

// The host's wide bindings, kept aside while nested messages are made.
struct WideBindings {
  BoundFields<char16_t> fields;
  std::vector<TaggedPropBinding> tagged_props;
  std::vector<AttachBinding> attachments;
  std::vector<RecipientBinding<char16_t>> recipients;
};

WideBindings take_wide_bindings(LibraryState& state) {
  WideBindings saved{state.wide, std::move(state.tagged_props), std::move(state.attachments),
                     std::move(state.wide_recipients)};
  state.tagged_props.clear();
  state.attachments.clear();
  state.wide_recipients.clear();
  return saved;
}

void restore_wide_bindings(LibraryState& state, WideBindings saved) {
  state.wide = std::move(saved.fields);
  state.tagged_props = std::move(saved.tagged_props);
  state.attachments = std::move(saved.attachments);
  state.wide_recipients = std::move(saved.recipients);
}

// A nested message starts from the defaults: no sender or times of the
// message bound before it.
void reset_wide_bindings(LibraryState& state) {
  clear_wide_bindings(state);
  state.wide.sender.clear();
  state.wide.creation_time = state.wide.last_modification_time = 0;
  state.wide.client_submit_time = state.wide.delivery_time = 0;
}

std::optional<std::u16string> non_empty(const std::u16string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

void add_literal(LibraryState& state, uint16_t id, uint16_t type, std::string_view bytes) {
  TaggedPropBinding binding;
  binding.property_id = id;
  binding.property_type = type;
  binding.data.assign(bytes.begin(), bytes.end());
  state.tagged_props.push_back(std::move(binding));
}

// Binds what the file gives for one message, as Bind_subj, Bind_sender,
// Bind_recipient, Bind_creation_time_s, Bind_importance, Bind_body,
// BindLiteralProp and Bind_attach would (without their length limits).
void bind_imported(LibraryState& state, const ImportedMessage& m) {
  BoundFields<char16_t>& bound = state.wide;
  // The sender and the times are the file's: none carry over from the item
  // bound before (BClear leaves them in place).
  bound.sender.clear();
  bound.creation_time = bound.last_modification_time = bound.client_submit_time = bound.delivery_time = 0;
  if (m.subject) bound.subject = encode_subject<char16_t>(*m.subject, 0);
  if (m.sender) {
    const auto email = non_empty(m.sender->email);
    const auto name = non_empty(m.sender->display_name);
    bound.sender.build(email ? email->c_str() : nullptr, name ? name->c_str() : nullptr, nullptr);
  }
  auto add_recipients = [&](const std::vector<ImportedAddress>& list, uint32_t type) {
    for (const ImportedAddress& a : list) {
      RecipientBinding<char16_t> r;
      r.email = non_empty(a.email);
      r.display_name = non_empty(a.display_name);
      r.recipient_type = type;
      r.recipient_flags = 1;
      state.wide_recipients.push_back(std::move(r));
    }
  };
  add_recipients(m.to, 1);
  add_recipients(m.cc, 2);
  add_recipients(m.bcc, 3);
  if (m.date) {
    bind_system_time(bound.creation_time, *m.date);
    bind_system_time(bound.client_submit_time, *m.date);
    bind_system_time(bound.delivery_time, *m.date);
  }
  if (m.importance) bound.importance = *m.importance;
  if (m.plain_body) bound.plain_body = *m.plain_body;
  if (m.html_body) {
    const uint32_t code_page = m.html_code_page ? m.html_code_page : code_page_windows_1252;
    const char bytes[4] = {static_cast<char>(code_page), static_cast<char>(code_page >> 8),
                           static_cast<char>(code_page >> 16), static_cast<char>(code_page >> 24)};
    add_literal(state, 0x3FDE, 0x0003, std::string_view(bytes, 4));
    add_literal(state, 0x1013, 0x0102, *m.html_body);
  }
  for (const ImportedAttachment& a : m.attachments) {
    if (a.data.size() > static_cast<size_t>(INT32_MAX)) continue;
    AttachBinding binding;
    binding.data.assign(a.data.begin(), a.data.end());
    binding.size = static_cast<int32_t>(a.data.size());
    binding.name = a.name;
    binding.content_id = a.content_id;
    if (!a.mime_type.empty()) binding.mime_type = a.mime_type;
    binding.by_value = 1;
    state.attachments.push_back(std::move(binding));
  }
}

// Creates the message and, first, its nested messages, each held as an
// embedded message of the one that contains it. Returns CreateMessage's result.
int32_t create_imported(LibraryState& state, const ImportedMessage& m, bool top) {
  // Messages that were pending before belong to the host, not to this message.
  std::vector<ref<pst_store_item>> outer = std::exchange(state.pending_embedded, {});
  int32_t result = 0;
  if (!m.embedded.empty()) {
    std::optional<WideBindings> host;
    if (top) host = take_wide_bindings(state);
    for (const ImportedMessage& inner : m.embedded) {
      result = create_imported(state, inner, false);
      if (result != 0) break;
    }
    if (host) restore_wide_bindings(state, std::move(*host));
  }
  if (result == 0) {
    if (!top) reset_wide_bindings(state);
    bind_imported(state, m);
    result = CreateMessage(reinterpret_cast<const vendrel_wchar*>(u"IPM.Note"), top ? 0 : 1, m.embedded.empty() ? 0 : 1);
  }
  if (result != 0) {
    state.pending_embedded = std::move(outer);
  } else {
    for (ref<pst_store_item>& made : state.pending_embedded) outer.push_back(std::move(made));
    state.pending_embedded = std::move(outer);
  }
  return result;
}

int32_t bind_eml(const char16_t* path) {
  LibraryState& state = library_state();
  if (state.eml_mode) return 0;
  if (!path) return 0;
  const std::optional<std::string> text = read_whole_file(checked_text(path, "the EML path"));
  if (!text) return 0;
  const ImportedMessage message = read_eml(*text);
  return create_imported(state, message, true) == 0 ? 1 : 0;
}

}  // namespace
}  // namespace vendrel

using namespace vendrel;

extern "C" {

VENDREL_API int32_t CreateEML(const vendrel_wchar* file_name) {
  guarded("CreateEML", [&] {
    LibraryState& state = library_state();
    state.eml_mode = 1;
    const char16_t* name = wide_arg(file_name);
    state.eml_file_name = name ? std::u16string(checked_text(name, "the EML file name")) : std::u16string();
    return 1;
  });
  return 1;
}

VENDREL_API int32_t Bind_body_EML(void) {
  const int32_t result = guarded("Bind_body_EML", [] { return bind_body_eml(library_state()) ? 1 : 0; });
  return result == 1 ? 1 : 0;
}

VENDREL_API int32_t Bind_EML(const vendrel_wchar* eml_path) {
  const int32_t result = guarded("Bind_EML", [&] { return bind_eml(wide_arg(eml_path)); });
  return result == 1 ? 1 : 0;
}

}  // extern "C"
