#include "interface/eml_items.h"

#include "common/logger.h"
#include "eml/eml_writer.h"
#include "interface/binding.h"
#include "interface/item_fields.h"
#include "mime/base64.h"
#include "mime/code_base.h"

namespace vendrel {

namespace {

template <typename T>
bool non_empty(const std::optional<T>& text) {
  return text && !text->empty();
}

// Writes the record with every queued part; the parts stay queued when the
// file cannot be written.
bool write_with_parts(LibraryState& state, EmlMessageRecord record) {
  EmlWriterContext& writer = eml_writer();
  record.parts = writer.queued_parts;
  if (!write_eml_message(writer, record, state.eml_directory, state.eml_file_name)) return false;
  writer.queued_parts.clear();
  return true;
}

bool write_item(LibraryState& state, std::u16string_view kind, int32_t& counter) {
  state.eml_body_only = 0;
  ++counter;
  const std::u16string saved = state.eml_file_name;
  state.eml_file_name = eml_item_file_name(kind, counter, saved);
  const bool written = write_with_parts(state, eml_record_of(state));
  state.eml_file_name = saved;
  return written;
}

}  // namespace

EmlMessageRecord eml_record_of(const LibraryState& state) {
  const BoundFields<char16_t>& bound = state.wide;
  EmlMessageRecord record;
  if (!bound.sender.empty()) record.from = eml_address_text(bound.sender.display_name(), bound.sender.email());
  std::u16string cc, bcc;
  for (const RecipientBinding<char16_t>& r : state.wide_recipients) {
    const OneOffAddress<char16_t> address = recipient_address(r);
    // Cc and Bcc recipients are listed under their own fields, not as To.
    std::u16string& list = r.recipient_type == 2 ? cc : r.recipient_type == 3 ? bcc : record.to;
    list += eml_address_text(address.display_name(), address.email());
    list += u", ";
  }
  record.cc = cc;
  record.bcc = bcc;
  if (bound.subject) {
    std::u16string_view subject = *bound.subject;
    // The two prefix code units that Bind_subj stores are no part of the text.
    if (subject.size() >= 2 && subject[0] == u'\x01') subject.remove_prefix(2);
    record.subject = std::u16string(subject);
  }
  if (non_empty(bound.plain_body)) record.plain_body = bound.plain_body;
  if (non_empty(bound.rtf_body)) {
    if (bound.rtf_is_base64) {
      CMimeCodeBase64 base64;
      record.rtf_body = mime_decode(base64, *bound.rtf_body);
    } else {
      record.rtf_body = bound.rtf_body;
    }
  }
  if (non_empty(bound.html_body)) record.html_body = bound.html_body;
  record.priority = eml_priority_text(bound.importance);
  record.date_text = eml_date_text(bound.creation_time);
  record.code_page = bound.code_page;
  for (const AttachBinding& a : state.attachments)
    record.attachments.push_back({std::string(a.data.begin(), a.data.end()), a.name});
  return record;
}

bool bind_body_eml(LibraryState& state) {
  EmlMessageRecord record = eml_record_of(state);
  if (state.eml_body_only) {
    eml_writer().queued_parts.push_back(std::move(record));
    return true;
  }
  return write_with_parts(state, std::move(record));
}

int32_t create_eml_item(eml_item_kind kind, uint8_t embedded, uint8_t attach_pending) {
  LibraryState& state = library_state();
  bool done = false;
  switch (kind) {
    case eml_item_kind::message: {
      state.eml_body_only = embedded && !attach_pending ? 1 : 0;
      if (embedded && attach_pending) {
        // An embedded message that holds the messages queued before it.
        EmlMessageRecord record = eml_record_of(state);
        record.parts = std::move(eml_writer().queued_parts);
        eml_writer().queued_parts.clear();
        eml_writer().queued_parts.push_back(std::move(record));
        done = true;
      } else {
        done = bind_body_eml(state);
      }
      if (done) clear_wide_bindings(state);
      return done ? 0 : -1;
    }
    case eml_item_kind::sticky: done = write_item(state, u"Sticky", state.eml_sticky_count); break;
    case eml_item_kind::appointment:
      done = write_item(state, u"Appointment", state.eml_appointment_count);
      break;
    case eml_item_kind::task: done = write_item(state, u"Task", state.eml_task_count); break;
  }
  if (done) clear_wide_bindings(state);
  return 0;
}

int32_t create_eml_sticky_narrow() {
  LibraryState& state = library_state();
  state.eml_body_only = 0;
  if (write_with_parts(state, eml_record_of(state))) clear_wide_bindings(state);
  return 0;
}

}  // namespace vendrel
