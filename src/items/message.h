// Message objects: one item of a folder in memory. A message is a property
// set that also owns its recipient table and its attachments, builds the
// display strings of its To, Cc and Bcc recipients, applies the bound fields
// of the library interface, and on commit fills in every property a mail
// client expects and the caller did not give, computes the flags and size,
// and writes the attachment table (subnode 0x671), the recipient table
// (subnode 0x692), the attachments and the property context.
//
// The message's node is placed by whoever files it (the folder, in the node
// B-tree) or attaches it (an embedded-message attachment, in its subnode
// tree): the first placement takes the reference the blocks were written
// with, every further one adds a reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/base_object.h"
#include "items/attachment.h"
#include "items/message_fields.h"
#include "items/property_table.h"
#include "ltp/property_set.h"
#include "ndb/xstream.h"
#include "store/store_item.h"

namespace vendrel {

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_store_impl;

class pst_message : public virtual pst_property_set {
 public:
  // Slot 0: an attachment from a binary value, set up like a file
  // attachment; the value is not stored, and the attachment is returned
  // only when a MIME tag is given.
  virtual ref<pst_attachment> add_attachment_ref(const pst_property_value& binary, const char* file_name,
                                                 const char* content_id, const char* mime_tag) = 0;
  // Slot 1: an attachment by value. Data that is null for a non-zero size
  // and a missing file name are qm_invalid_arg.
  virtual ref<pst_attachment> add_file_attachment(const void* data, size_t size, const char* file_name,
                                                  const char* content_id, const char* mime_tag,
                                                  const char* content_location) = 0;
  // Slot 2: an OLE attachment copied from a stream; no stream or no display
  // name is qm_invalid_arg.
  virtual ref<pst_attachment> add_ole_attachment_stream(pst_const_stream* source, const char* display_name) = 0;
  // Slot 3: an OLE attachment from memory.
  virtual ref<pst_attachment> add_ole_attachment(const void* data, size_t size, const char* display_name) = 0;
  // Slot 4: an embedded message, which must be a committed message of the
  // same file variant (qm_invalid_call otherwise).
  virtual ref<pst_attachment> add_message_attachment(pst_message* message) = 0;
  // Slots 5-7: reserved; no object.
  virtual ref<pst_attachment> reserved_attachment_5() { return {}; }
  virtual ref<pst_attachment> reserved_attachment_6() { return {}; }
  virtual ref<pst_attachment> reserved_attachment_7() { return {}; }
  // Slot 8: a new empty attachment, appended to the list.
  virtual ref<pst_attachment> create_attachment() = 0;
  // Slot 9: PSETID_Common 0x850F and 0x8513 from the two arrays, 0x8542 = 0x09000000.
  virtual void set_common_binaries(const void* first, size_t first_size, const void* second,
                                   size_t second_size) = 0;
  // Slots 10-11: one recipient row; the optional entry ID replaces the
  // address's own in PidTagEntryId when both pointer and size are given.
  virtual void add_recipient(const pst_address<char16_t>& address, uint32_t recipient_type, uint32_t flags,
                             const void* entry_id = nullptr, size_t entry_id_size = 0) = 0;
  virtual void add_recipientA(const pst_address<char>& address, uint32_t recipient_type, uint32_t flags,
                              const void* entry_id = nullptr, size_t entry_id_size = 0) = 0;
  // Slots 12-13: reserved.
  virtual void reserved_12() {}
  virtual void reserved_13() {}
  // Slots 14-15: the bound fields of the wide and the narrow family.
  virtual void apply_fields(const pst_message_fields<char16_t>& fields) = 0;
  virtual void apply_fieldsA(const pst_message_fields<char>& fields) = 0;

 protected:
  ~pst_message() override = default;
};

// pst_message is a virtual base so that the item kinds (sticky_note.h and the
// others) can derive from it through their own interfaces as well.
template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_message_impl : public pst_property_set_impl<bidtype, chartype>,
                         public virtual pst_message,
                         public pst_store_item {
 public:
  using store_type = pst_store_impl<bidtype, chartype>;
  using attachment_type = pst_attachment_impl<bidtype, chartype>;
  using table_type = pst_property_table_impl<bidtype, chartype>;
  using string_type = std::basic_string<chartype>;

  // A message of the store with a new message NID, PidTagMessageFlags 0 and
  // an empty recipient table.
  explicit pst_message_impl(store_type* store);

  ref<pst_attachment> add_attachment_ref(const pst_property_value& binary, const char* file_name,
                                         const char* content_id, const char* mime_tag) override;
  ref<pst_attachment> add_file_attachment(const void* data, size_t size, const char* file_name,
                                          const char* content_id, const char* mime_tag,
                                          const char* content_location) override;
  ref<pst_attachment> add_ole_attachment_stream(pst_const_stream* source, const char* display_name) override;
  ref<pst_attachment> add_ole_attachment(const void* data, size_t size, const char* display_name) override;
  ref<pst_attachment> add_message_attachment(pst_message* message) override;
  ref<pst_attachment> create_attachment() override;
  void set_common_binaries(const void* first, size_t first_size, const void* second, size_t second_size) override;
  void add_recipient(const pst_address<char16_t>& address, uint32_t recipient_type, uint32_t flags,
                     const void* entry_id = nullptr, size_t entry_id_size = 0) override;
  void add_recipientA(const pst_address<char>& address, uint32_t recipient_type, uint32_t flags,
                      const void* entry_id = nullptr, size_t entry_id_size = 0) override;
  void apply_fields(const pst_message_fields<char16_t>& fields) override;
  void apply_fieldsA(const pst_message_fields<char>& fields) override;

  // pst_store_item
  uint32_t item_nid() const override { return this->nid(); }
  pst_item_kind item_kind() const override { return pst_item_kind::message; }
  bool is_saved() const override { return saved_; }

  // The commit with every default, the two tables and the attachments.
  void commit() override;

  store_type* store() const { return store_; }
  const std::vector<ref<attachment_type>>& attachments() const { return attachments_; }
  table_type& recipients() { return *recipients_; }

  // Called by an attachment that places this message's node in its subnode
  // tree: true when the placement takes the reference the blocks were
  // written with (nobody placed them yet), false when it must add one.
  bool take_written_reference();

 protected:
  ~pst_message_impl() override;

  // The subject's property value as the embedded-message attachment names it.
  string_type subject_text() const;

 private:
  template <typename CharT>
  void add_recipient_row(const pst_address<CharT>& address, uint32_t recipient_type, uint32_t flags,
                         const void* entry_id, size_t entry_id_size);
  template <typename CharT>
  void apply(const pst_message_fields<CharT>& fields);
  void append_display_name(uint32_t recipient_type, const string_type& name);
  void set_default(const pst_property_value& value);
  void write_attachment_table(uint64_t& total, bool& non_inline);
  // The byte size of the properties the context will hold.
  uint64_t property_bytes() const;

  store_type* store_;
  std::vector<ref<attachment_type>> attachments_;
  ref<table_type> recipients_;
  // The display lists in the file's own width, so that a narrow name in an
  // ANSI file keeps the caller's bytes.
  string_type display_to_;
  string_type display_cc_;
  string_type display_bcc_;
  bool saved_ = false;
  // The BIDs of the last commit have been placed by an attachment.
  bool placed_by_attachment_ = false;
};

extern template class pst_message_impl<uint32_t, char>;
extern template class pst_message_impl<uint64_t, char16_t>;

}  // namespace vendrel
