// Sticky notes: a message of the class "IPM.StickyNote" with a colour and
// a window geometry (PSETID_Note), an icon that follows the colour, and the
// defaults of a note committed without fields.
#pragma once

#include <cstdint>

#include "items/message.h"
#include "items/message_fields.h"

namespace vendrel {

template <typename CharT>
struct pst_sticky_note_fields {
  pst_message_fields<CharT> shared;
  // The library interface starts every note with colour 3 (yellow) and this geometry.
  uint32_t colour = 3;
  uint32_t x = 80;
  uint32_t width = 166;
  uint32_t y = 80;
  uint32_t height = 166;
};

class pst_sticky_note : public virtual pst_message {
 public:
  // Slots 16-17.
  virtual void apply_item_fields(const pst_sticky_note_fields<char16_t>& fields) = 0;
  virtual void apply_item_fieldsA(const pst_sticky_note_fields<char>& fields) = 0;

 protected:
  ~pst_sticky_note() override = default;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_sticky_note_impl : public pst_message_impl<bidtype, chartype>, public pst_sticky_note {
 public:
  using store_type = typename pst_message_impl<bidtype, chartype>::store_type;

  explicit pst_sticky_note_impl(store_type* store) : pst_message_impl<bidtype, chartype>(store) {}

  void apply_item_fields(const pst_sticky_note_fields<char16_t>& fields) override;
  void apply_item_fieldsA(const pst_sticky_note_fields<char>& fields) override;
  pst_item_kind item_kind() const override { return pst_item_kind::sticky_note; }
  // The note's defaults, then the message commit.
  void commit() override;

 protected:
  ~pst_sticky_note_impl() override = default;

 private:
  template <typename CharT>
  void apply(const pst_sticky_note_fields<CharT>& fields);
};

extern template class pst_sticky_note_impl<uint32_t, char>;
extern template class pst_sticky_note_impl<uint64_t, char16_t>;

}  // namespace vendrel
