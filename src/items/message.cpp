#include "items/message.h"

#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "common/logger.h"
#include "common/strings.h"
#include "items/body_code_page.h"
#include "items/message_body.h"
#include "items/message_tags.h"
#include "items/node_copy.h"
#include "ltp/table_templates.h"
#include "platform/platform.h"
#include "store/store.h"
#include "store/text_forms.h"

namespace vendrel {

using namespace msg;

namespace {

constexpr uint16_t pt_long = prop_type::i4;
constexpr uint16_t pt_bool = prop_type::boolean;
constexpr uint16_t pt_binary = prop_type::binary;
constexpr uint16_t pt_time = prop_type::systime;

// A subject of this many code units or more is cut to one less.
constexpr size_t subject_cut_at = 258;
// An embedded message's attachment is named after at most this much of its subject.
constexpr size_t attached_name_limit = 256;

pst_property_value long_value(uint16_t id, uint32_t value) { return pst_property_value::of_u32(make_tag(id, pt_long), value); }
pst_property_value bool_value(uint16_t id, bool value) { return pst_property_value::of_bool(make_tag(id, pt_bool), value); }
pst_property_value time_value(uint16_t id, uint64_t value) { return pst_property_value::of_u64(make_tag(id, pt_time), value); }
pst_property_value binary_value(uint16_t id, const void* data, size_t size) {
  return pst_property_value(make_tag(id, pt_binary), size ? data : nullptr, size);
}
pst_property_value empty_binary(uint16_t id) { return pst_property_value(make_tag(id, pt_binary), nullptr, 0); }
template <typename CharT>
pst_property_value text_value(uint16_t id, std::basic_string_view<CharT> text) {
  return string_value<CharT>(id, text);
}
pst_property_value narrow_text(uint16_t id, std::string_view text) { return string_value<char>(id, text); }

// Where a text of at most `limit` code units ends without splitting a
// character: 8-bit texts are the host's (they reach the property set so),
// UTF-16 texts keep their surrogate pairs whole.
template <typename CharT>
size_t cut_on_character(std::basic_string_view<CharT> text, size_t limit) {
  if constexpr (std::is_same_v<CharT, char>)
    return platform::character_cut(platform::host_code_page(), text, limit);
  else
    return platform::character_cut(text, limit);
}

// An 8-bit caller string: null is none; unreadable within 1 MiB is qm_invalid_arg.
std::optional<std::string_view> optional_text(const char* text, const char* what) {
  if (!text) return std::nullopt;
  return checked_text(text, what);
}

}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_message_impl<bidtype, chartype>::pst_message_impl(store_type* store)
    : pst_property_set_impl<bidtype, chartype>(store ? store->writer() : nullptr, 0), store_(store) {
  if (!store_) throw qm_invalid_arg("pst_message_impl: no store");
  this->set_nid(store_->new_message_nid(this));
  pst_property_set_impl<bidtype, chartype>::set_property(long_value(id_message_flags, 0));
  recipients_ = make_ref<table_type>(store_, recipient_table_nid,
                                     tc_template_columns(tc_template_nid::recipient, store_type::unicode),
                                     row_id_sequence);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_message_impl<bidtype, chartype>::~pst_message_impl() = default;

// ------------------------------------------------------------------ attachments

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_attachment> pst_message_impl<bidtype, chartype>::create_attachment() {
  auto attachment = make_ref<attachment_type>(store_);
  attachments_.push_back(attachment);
  return ref<pst_attachment>(attachment.get());
}

namespace {

// The extension of a file name: from its last "." on; none without a ".".
std::optional<std::string_view> extension_of(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  return name.substr(dot);
}

template <ndb_bidtype bidtype>
ref<pst_xstream<bidtype>> stream_of(pst_ndb<bidtype>& ndb, const void* data, size_t size) {
  ref<pst_xstream<bidtype>> stream(new pst_xstream<bidtype>(&ndb));
  if (size) stream->write(data, size);
  return stream;
}

// The file properties shared by attachments by value: encoding, extension,
// names, method, content ID, MIME tag and content location.
void set_file_properties(pst_property_set& attachment, std::string_view file_name,
                         std::optional<std::string_view> content_id, std::optional<std::string_view> mime_tag,
                         std::optional<std::string_view> content_location) {
  attachment.set_property(empty_binary(id_attach_encoding));
  if (auto extension = extension_of(file_name)) attachment.set_property(narrow_text(id_attach_extension, *extension));
  attachment.set_property(narrow_text(id_attach_filename, file_name));
  attachment.set_property(long_value(id_attach_method, attach_by_value));
  attachment.set_property(narrow_text(id_attach_long_filename, file_name));
  if (content_id) attachment.set_property(narrow_text(id_attach_content_id, *content_id));
  if (mime_tag) attachment.set_property(narrow_text(id_attach_mime_tag, *mime_tag));
  attachment.set_property(narrow_text(id_attach_content_location, content_location ? *content_location : file_name));
}

}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_attachment> pst_message_impl<bidtype, chartype>::add_attachment_ref(const pst_property_value& binary,
                                                                            const char* file_name,
                                                                            const char* content_id,
                                                                            const char* mime_tag) {
  // The data given as a property value (bytes or a stream) under the data
  // tag, with the names and tags of an attachment by value.
  if (!file_name) throw qm_invalid_arg("pst_message_impl::add_attachment_ref: no file name");
  const std::string_view name = checked_text(file_name, "the attachment's file name");
  const auto cid = optional_text(content_id, "the content ID");
  const auto mime = optional_text(mime_tag, "the MIME tag");
  ref<pst_attachment> attachment = create_attachment();
  attachment->set_property(binary.retagged(make_tag(id_attach_data, pt_binary)));
  set_file_properties(*attachment, name, cid, mime, std::nullopt);
  return attachment;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_attachment> pst_message_impl<bidtype, chartype>::add_file_attachment(const void* data, size_t size,
                                                                             const char* file_name,
                                                                             const char* content_id,
                                                                             const char* mime_tag,
                                                                             const char* content_location) {
  if (!data && size) throw qm_invalid_arg("pst_message_impl::add_file_attachment: the data is not readable");
  if (!file_name) throw qm_invalid_arg("pst_message_impl::add_file_attachment: no file name");
  const std::string_view name = checked_text(file_name, "the attachment's file name");
  const auto cid = optional_text(content_id, "the content ID");
  const auto mime = optional_text(mime_tag, "the MIME tag");
  const auto location = optional_text(content_location, "the content location");

  ref<pst_attachment> attachment = create_attachment();
  if (size < attachment_stream_threshold) {
    attachment->set_property(binary_value(id_attach_data, data, size));
  } else {
    // Written to the file block by block now; the property holds the stream.
    ref<pst_xstream<bidtype>> stream = stream_of(store_->ndb(), data, size);
    attachment->set_property(pst_property_value(make_tag(id_attach_data, pt_binary), ref<pst_const_stream>(stream)));
  }
  set_file_properties(*attachment, name, cid, mime, location);
  return attachment;
}

namespace {

// Commits the attachment's data stream as its OLE object subnode and sets the
// properties of an OLE attachment: the object reference (subnode NID, size),
// the display name, an empty encoding and the OLE attach method.
template <typename Impl, typename Ndb, typename Stream>
void fill_ole_object(pst_attachment& attachment, Impl& impl, Ndb& ndb, Stream& stream, uint64_t size,
                     std::string_view name) {
  const auto data_bid = stream.commit();
  const uint32_t nid = ndb.allocate_nid(nid_type::ole_attachment_data).value();
  impl.add_extra_subnode(nid, data_bid.value(), 0);
  uint8_t object[8];
  put_le<uint32_t>(object, nid);
  put_le<uint32_t>(object + 4, static_cast<uint32_t>(size));
  attachment.set_property(pst_property_value(make_tag(id_attach_data, prop_type::object), object, sizeof object));
  attachment.set_property(narrow_text(id_display_name, name));
  attachment.set_property(empty_binary(id_attach_encoding));
  attachment.set_property(long_value(id_attach_method, attach_ole));
}

}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_attachment> pst_message_impl<bidtype, chartype>::add_ole_attachment_stream(pst_const_stream* source,
                                                                                   const char* display_name) {
  if (!source) throw qm_invalid_arg("pst_message_impl::add_ole_attachment_stream: no stream");
  if (!display_name) throw qm_invalid_arg("pst_message_impl::add_ole_attachment_stream: no display name");
  const std::string_view name = checked_text(display_name, "the attachment's display name");

  ref<pst_xstream<bidtype>> stream(new pst_xstream<bidtype>(&store_->ndb()));
  std::vector<uint8_t> chunk(pst_xstream<bidtype>::chunk);
  const uint64_t size = source->size();
  for (uint64_t position = 0; position < size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - position));
    const size_t got = source->read_at(position, chunk.data(), want);
    if (got == 0) throw qm_invalid_arg("pst_message_impl::add_ole_attachment_stream: the stream ends before its size");
    stream->write(chunk.data(), got);
    position += got;
  }
  if (size > 0xFFFFFFFFu) throw qm_invalid_arg("pst_message_impl::add_ole_attachment_stream: more than 4 GiB of data");

  ref<pst_attachment> attachment = create_attachment();
  fill_ole_object(*attachment, *attachments_.back(), store_->ndb(), *stream, size, name);
  return attachment;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_attachment> pst_message_impl<bidtype, chartype>::add_ole_attachment(const void* data, size_t size,
                                                                            const char* display_name) {
  if (!data && size) throw qm_invalid_arg("pst_message_impl::add_ole_attachment: the data is not readable");
  if (!display_name) throw qm_invalid_arg("pst_message_impl::add_ole_attachment: no display name");
  const std::string_view name = checked_text(display_name, "the attachment's display name");
  if (size > 0xFFFFFFFFu) throw qm_invalid_arg("pst_message_impl::add_ole_attachment: more than 4 GiB of data");
  // The bytes are written once, straight into the attachment's data stream.
  ref<pst_xstream<bidtype>> source = stream_of(store_->ndb(), data, size);

  ref<pst_attachment> attachment = create_attachment();
  fill_ole_object(*attachment, *attachments_.back(), store_->ndb(), *source, size, name);
  return attachment;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_message_impl<bidtype, chartype>::take_written_reference() {
  if (placed_by_attachment_) return false;
  // A filed message's node entry holds the written reference already.
  if (auto entry = store_->ndb().lookup_node(node_id(this->nid())); entry && entry->bid_data.value() == this->data_bid_)
    return false;
  placed_by_attachment_ = true;
  return true;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
typename pst_message_impl<bidtype, chartype>::string_type pst_message_impl<bidtype, chartype>::subject_text() const {
  return string_property<chartype>(*this, id_subject);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_attachment> pst_message_impl<bidtype, chartype>::add_message_attachment(pst_message* message) {
  if (!message) throw qm_invalid_arg("pst_message_impl::add_message_attachment: no message");
  if (!message->flag()) throw qm_invalid_call("pst_message_impl::add_message_attachment: the message is not committed");
  auto* embedded = dynamic_cast<pst_message_impl*>(message);
  if (!embedded) throw qm_invalid_call("pst_message_impl::add_message_attachment: a message of another file variant");
  if (embedded == this) throw qm_invalid_call("pst_message_impl::add_message_attachment: a message cannot hold itself");

  pst_ndb<bidtype>& ndb = store_->ndb();
  bidtype data_bid = embedded->data_bid();
  bidtype sub_bid = embedded->sub_bid();
  if (this->same_store(embedded)) {
    // The attachment shares the message's blocks: the first placement takes
    // their written reference, any further one adds its own.
    if (!embedded->take_written_reference()) {
      if (data_bid) ndb.add_block_reference(block_id<bidtype>(data_bid));
      if (sub_bid) ndb.add_block_reference(block_id<bidtype>(sub_bid));
    }
  } else {
    // A message of another file (one the series has moved on from) is
    // copied into this one, block by block.
    auto copied = copy_node_blocks(embedded->store()->ndb(), ndb, block_id<bidtype>(data_bid), block_id<bidtype>(sub_bid));
    data_bid = copied.first.value();
    sub_bid = copied.second.value();
  }
  ref<pst_attachment> attachment = create_attachment();
  auto* impl = attachments_.back().get();
  const uint32_t nid = ndb.allocate_nid(nid_type::message).value();
  impl->add_extra_subnode(nid, data_bid, sub_bid);

  const pst_property_value* size = embedded->get_property(id_message_size);
  uint8_t object[8];
  put_le<uint32_t>(object, nid);
  put_le<uint32_t>(object + 4, size ? static_cast<uint32_t>(size->as_u64()) : 0);
  attachment->set_property(pst_property_value(make_tag(id_attach_data, prop_type::object), object, sizeof object));

  // Named after the subject without its prefix code (1, prefix length + 1).
  string_type name;
  if (!embedded->get_property(id_subject)) {
    name = text_form<chartype>(std::string_view("unnamed attached message"));
  } else {
    name = embedded->subject_text();
    if (name.empty()) {
      name = string_type(1, chartype(' '));
    } else {
      if (name.size() > attached_name_limit) name.resize(cut_on_character<chartype>(name, attached_name_limit));
      if (name[0] == chartype(1)) name.erase(0, std::min<size_t>(2, name.size()));
      const size_t first = name.find_first_not_of(chartype(1));
      name.erase(0, first == string_type::npos ? name.size() : first);
    }
  }
  attachment->set_property(text_value<chartype>(id_display_name, name));
  attachment->set_property(empty_binary(id_attach_encoding));
  attachment->set_property(long_value(id_attach_method, attach_embedded_message));
  return attachment;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::set_common_binaries(const void* first, size_t first_size,
                                                              const void* second, size_t second_size) {
  if ((!first && first_size) || (!second && second_size))
    throw qm_invalid_arg("pst_message_impl::set_common_binaries: the data is not readable");
  this->set_property(binary_value(id_common_binary_a, first, first_size));
  this->set_property(binary_value(id_common_binary_b, second, second_size));
  this->set_property(long_value(id_common_long, 0x09000000));
}

// ------------------------------------------------------------------ recipients

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::append_display_name(uint32_t recipient_type, const string_type& name) {
  string_type* list = recipient_type == 1 ? &display_to_
                         : recipient_type == 2 ? &display_cc_
                         : recipient_type == 3 ? &display_bcc_
                                               : nullptr;
  if (!list) return;
  if (!list->empty()) list->push_back(chartype(';'));
  list->append(name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_message_impl<bidtype, chartype>::add_recipient_row(const pst_address<CharT>& address, uint32_t recipient_type,
                                                            uint32_t flags, const void* entry_id,
                                                            size_t entry_id_size) {
  if (address.empty()) throw qm_invalid_arg("pst_message_impl::add_recipient: the address has no entry ID");
  table_type& table = *recipients_;
  const uint8_t* id = address.entry_id.data();
  const size_t id_size = address.entry_id.size();
  table.add_row();
  table.set_property(binary_value(id_record_key, id, id_size));
  table.set_property(long_value(id_recipient_type, recipient_type));
  table.set_property(bool_value(id_responsibility, false));
  table.set_property(long_value(id_object_type, 6));
  if (entry_id && entry_id_size)
    table.set_property(binary_value(id_entry_id, entry_id, entry_id_size));
  else
    table.set_property(binary_value(id_entry_id, id, id_size));
  table.set_property(text_value<CharT>(id_display_name, address.display_name));
  table.set_property(text_value<CharT>(id_address_type, address.address_type));
  table.set_property(text_value<CharT>(id_email_address, address.email));
  table.set_property(binary_value(id_search_key, id, id_size));
  table.set_property(long_value(id_display_type, 0));
  table.set_property(bool_value(id_send_rich_info, false));
  table.set_property(text_value<CharT>(id_recipient_display_name, address.display_name));
  table.set_property(binary_value(id_recipient_entry_id, id, id_size));
  table.set_property(long_value(id_recipient_flags, flags));
  table.set_property(long_value(id_recipient_track_status, 0));
  append_display_name(recipient_type, text_form<chartype>(address.display_name));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::add_recipient(const pst_address<char16_t>& address, uint32_t recipient_type,
                                                        uint32_t flags, const void* entry_id, size_t entry_id_size) {
  add_recipient_row(address, recipient_type, flags, entry_id, entry_id_size);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::add_recipientA(const pst_address<char>& address, uint32_t recipient_type,
                                                         uint32_t flags, const void* entry_id, size_t entry_id_size) {
  add_recipient_row(address, recipient_type, flags, entry_id, entry_id_size);
}

// ------------------------------------------------------------------ bound fields

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_message_impl<bidtype, chartype>::apply(const pst_message_fields<CharT>& f) {
  if constexpr (std::is_same_v<CharT, char>) {
    uint32_t code_page = f.code_page;
    if (code_page == 0) {
      code_page = platform::file_code_page();
      logger().write_formatted("[PST] invalid codepage, set to %d", static_cast<int>(code_page));
    }
    // Where an ANSI file's 8-bit strings are converted from the host's (not
    // on Windows), the bodies are in the file's code page whatever was bound:
    // the property names the code page the stored bytes are in.
    if constexpr (!store_type::unicode)
      if (platform::host_code_page() != platform::file_code_page()) code_page = platform::file_code_page();
    this->set_property(long_value(id_internet_codepage, code_page));
  }
  apply_message_body(*this, f);
  if (f.subject) {
    std::basic_string_view<CharT> subject = *f.subject;
    if (subject.size() >= subject_cut_at) subject = subject.substr(0, cut_on_character(subject, subject_cut_at - 1));
    this->set_property(text_value<CharT>(id_subject, subject));
  }
  if (f.delivery_time) this->set_property(time_value(id_delivery_time, f.delivery_time));
  if (f.client_submit_time) this->set_property(time_value(id_client_submit_time, f.client_submit_time));
  if (f.creation_time) this->set_property(time_value(id_creation_time, f.creation_time));
  if (f.last_modification_time) this->set_property(time_value(id_last_modification_time, f.last_modification_time));
  this->set_property(long_value(id_message_flags, f.message_flags & ~message_flag_has_attachments));
  if (f.transport_headers) this->set_property(text_value<CharT>(id_transport_headers, *f.transport_headers));
  this->set_property(long_value(id_priority, static_cast<uint32_t>(f.priority)));
  this->set_property(long_value(id_importance, f.importance));
  this->set_property(long_value(id_sensitivity, f.sensitivity));
  if (f.billing_information) this->set_property(text_value<CharT>(id_billing, *f.billing_information));
  if (f.mileage) this->set_property(text_value<CharT>(id_mileage, *f.mileage));

  const pst_address<CharT>& sender = f.sender;
  if (!sender.empty()) {
    // The search key's code units as bytes, without the terminator.
    std::vector<uint8_t> key;
    key.reserve(sender.search_key.size() * sizeof(CharT));
    for (CharT unit : sender.search_key) {
      const auto value = static_cast<uint16_t>(static_cast<std::make_unsigned_t<CharT>>(unit));
      key.push_back(static_cast<uint8_t>(value & 0xFF));
      if constexpr (sizeof(CharT) == 2) key.push_back(static_cast<uint8_t>(value >> 8));
    }
    const uint8_t* id = sender.entry_id.data();
    const size_t id_size = sender.entry_id.size();
    this->set_property(text_value<CharT>(id_sender_name, sender.display_name));
    this->set_property(binary_value(id_sender_entry_id, id, id_size));
    this->set_property(binary_value(id_sender_search_key, key.data(), key.size()));
    this->set_property(text_value<CharT>(id_sender_email, sender.email));
    this->set_property(text_value<CharT>(id_sender_address_type, sender.address_type));
    this->set_property(text_value<CharT>(id_sent_representing_name, sender.display_name));
    this->set_property(binary_value(id_sent_representing_entry_id, id, id_size));
    this->set_property(binary_value(id_sent_representing_search_key, key.data(), key.size()));
    this->set_property(text_value<CharT>(id_sent_representing_email, sender.email));
    this->set_property(text_value<CharT>(id_sent_representing_address_type, sender.address_type));
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::apply_fields(const pst_message_fields<char16_t>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::apply_fieldsA(const pst_message_fields<char>& fields) {
  apply(fields);
}

// ------------------------------------------------------------------ commit

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::set_default(const pst_property_value& value) {
  if (!this->get_property(value.id())) this->set_property(value);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint64_t pst_message_impl<bidtype, chartype>::property_bytes() const {
  uint64_t total = 0;
  for (const auto& [id, value] : this->properties_) total += value.size();
  return total;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::write_attachment_table(uint64_t& total, bool& non_inline) {
  pst_tc<bidtype> table(store_->writer(), attachment_table_nid,
                        tc_template_columns(tc_template_nid::attachment, store_type::unicode));
  for (const ref<attachment_type>& attachment : attachments_) {
    if (!attachment->flag()) attachment->commit();
    if (const pst_property_value* size = attachment->get_property(id_attach_size)) total += size->as_u64();
    if (!attachment->get_property(id_attach_content_id) || !attachment->get_property(id_attach_mime_tag))
      non_inline = true;
    if (attachment->nid() == 0) attachment->set_nid(store_->ndb().allocate_nid(nid_type::attachment).value());
    const uint32_t row = table.add_row(attachment->nid());
    table.fill_row(row, *attachment, [](size_t size, uint32_t tag) {
      logger().write_formatted("[PST] pst_message_impl<bidtype,chartype>::commit : set_prop failed [size=%d,tag=%X]",
                               static_cast<int>(size), tag);
    });
    this->add_extra_subnode(attachment->nid(), attachment->data_bid(), attachment->sub_bid());
  }
  const tc_commit_result<bidtype> written = table.commit();
  this->add_extra_subnode(attachment_table_nid, written.data_bid, written.sub_bid);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_message_impl<bidtype, chartype>::commit() {
  try {
    const uint64_t now = platform::system_time_as_filetime();

    set_default(long_value(id_icon_index, 0xFFFFFFFFu));
    set_default(bool_value(id_alternate_recipient_allowed, true));
    set_default(long_value(id_importance, 1));
    set_default(long_value(id_priority, 0));
    set_default(bool_value(id_read_receipt_requested, false));
    set_default(long_value(id_sensitivity, 0));
    set_default(bool_value(id_delete_after_submit, false));
    set_default(long_value(id_message_flags, 8));
    set_default(long_value(id_message_status, 0));
    set_default(bool_value(id_has_attachments, false));
    set_default(long_value(id_internet_codepage, default_internet_code_page(!store_type::unicode)));
    // The 8-bit strings of an ANSI file are in the file's code page: readers
    // decode them by this property.
    if constexpr (std::is_same_v<chartype, char>)
      this->set_property(long_value(id_message_codepage, platform::file_code_page()));

    set_default(narrow_text(id_message_class, "IPM.Note"));
    set_default(narrow_text(id_subject, std::string_view("\x01\x01", 2)));
    set_default(time_value(id_delivery_time, now));
    set_default(time_value(id_last_modification_time, now));
    set_default(time_value(id_creation_time, now));
    set_default(narrow_text(id_current_version_name, "9.0"));
    set_default(narrow_text(id_display_name, ""));
    const uint8_t zeros[16] = {};
    set_default(binary_value(id_search_key, zeros, sizeof zeros));

    if (this->get_property(id_rtf_marker)) this->set_property(long_value(id_rtf_in_sync, 1));

    const pst_property_value* current_flags = this->get_property(id_message_flags);
    uint32_t flags = current_flags ? static_cast<uint32_t>(current_flags->as_u64()) : 0;

    uint64_t attachment_total = 0;
    bool non_inline = false;
    if (!attachments_.empty()) {
      write_attachment_table(attachment_total, non_inline);
      this->set_property(long_value(id_attachment_total, static_cast<uint32_t>(attachment_total)));
    }
    flags = non_inline ? (flags | message_flag_has_attachments) : (flags & ~message_flag_has_attachments);

    uint32_t recipient_heap = 0;
    if (recipients_->row_count() > 0) {
      recipients_->commit();
      uint64_t data_bid = 0, sub_bid = 0;
      recipients_->node_bids(&data_bid, &sub_bid);
      this->add_extra_subnode(recipient_table_nid, static_cast<bidtype>(data_bid), static_cast<bidtype>(sub_bid));
      recipient_heap = recipients_->heap_size();
      this->set_property(long_value(id_recipient_heap_size, recipient_heap));
    }

    if (!display_to_.empty()) this->set_property(text_value<chartype>(id_display_to, display_to_));
    if (!display_cc_.empty()) this->set_property(text_value<chartype>(id_display_cc, display_cc_));
    if (!display_bcc_.empty()) this->set_property(text_value<chartype>(id_display_bcc, display_bcc_));

    this->set_property(long_value(id_message_flags, flags));
    this->set_property(long_value(id_message_size, 0));
    const uint64_t size = property_bytes() + recipient_heap + attachment_total;
    this->set_property(long_value(id_message_size, static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFFu))));

    // BIDs an attachment placed keep that reference when this commit
    // replaces them.
    if (placed_by_attachment_) {
      if (this->data_bid_) store_->ndb().add_block_reference(block_id<bidtype>(this->data_bid_));
      if (this->sub_bid_) store_->ndb().add_block_reference(block_id<bidtype>(this->sub_bid_));
      placed_by_attachment_ = false;
    }
    pst_property_set_impl<bidtype, chartype>::commit();
    this->set_flag(1);
    saved_ = true;
  } catch (...) {
    logger().write_line("[PST] pst_message_impl<bidtype,chartype>::commit : exception");
    throw;
  }
}

template class pst_message_impl<uint32_t, char>;
template class pst_message_impl<uint64_t, char16_t>;

}  // namespace vendrel
