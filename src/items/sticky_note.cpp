#include "items/sticky_note.h"

#include "items/kind_tags.h"
#include "items/message_tags.h"

namespace vendrel {

using namespace msg;
using kind::bool_value;
using kind::long_value;

namespace {
// A note's icon is this plus its colour (0 blue ... 4 white).
constexpr uint32_t note_icon_base = 0x300;
}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_sticky_note_impl<bidtype, chartype>::apply(const pst_sticky_note_fields<CharT>& f) {
  if constexpr (std::is_same_v<CharT, char>)
    pst_message_impl<bidtype, chartype>::apply_fieldsA(f.shared);
  else
    pst_message_impl<bidtype, chartype>::apply_fields(f.shared);
  this->set_property(long_value(id_note_color, f.colour));
  this->set_property(long_value(id_icon_index, note_icon_base + f.colour));
  this->set_property(long_value(id_note_x, f.x));
  this->set_property(long_value(id_note_y, f.y));
  this->set_property(long_value(id_note_width, f.width));
  this->set_property(long_value(id_note_height, f.height));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_sticky_note_impl<bidtype, chartype>::apply_item_fields(const pst_sticky_note_fields<char16_t>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_sticky_note_impl<bidtype, chartype>::apply_item_fieldsA(const pst_sticky_note_fields<char>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_sticky_note_impl<bidtype, chartype>::commit() {
  pst_property_set& self = *this;
  kind::set_default(self, bool_value(id_alternate_recipient_allowed, false));
  kind::set_default(self, bool_value(id_originator_delivery_report_requested, false));
  kind::set_default(self, long_value(id_priority, 0));
  kind::set_default(self, bool_value(id_read_receipt_requested, false));
  kind::set_default(self, long_value(id_current_version, 93011));
  kind::set_default(self, long_value(id_note_width, 405));
  kind::set_default(self, long_value(id_note_height, 233));
  kind::set_default(self, long_value(id_note_color, 4));
  kind::set_default(self, long_value(id_note_y, 80));
  kind::set_default(self, long_value(id_note_x, 768));
  kind::set_default(self, long_value(id_side_effects, 272));
  kind::set_default(self, bool_value(id_private, false));
  kind::set_default(self, long_value(id_reminder_delta, 0));
  kind::set_default(self, bool_value(id_reminder_set, false));
  kind::set_default(self, bool_value(id_aging_dont_age_me, false));
  kind::set_default(self, long_value(id_common_8511, 0));
  kind::set_default(self, long_value(id_task_mode, 0));
  kind::set_default(self, long_value(id_icon_index, 772));
  kind::set_default(self, string_value<char>(id_message_class, "IPM.StickyNote"));
  const uint8_t zeros[16] = {};
  kind::set_default(self, pst_property_value(make_tag(id_search_key, prop_type::binary), zeros, sizeof zeros));
  kind::set_default(self, string_value<char>(id_body, " "));
  kind::set_default(self, string_value<char>(id_subject, ""));
  kind::set_default(self, string_value<char>(id_current_version_name, "9.0"));
  pst_message_impl<bidtype, chartype>::commit();
}

template class pst_sticky_note_impl<uint32_t, char>;
template class pst_sticky_note_impl<uint64_t, char16_t>;

}  // namespace vendrel
