#include "items/body_code_page.h"
#include "items/appointment.h"

#include "items/kind_tags.h"
#include "items/message_tags.h"
#include "items/time_zone_description.h"
#include "platform/platform.h"

namespace vendrel {

using namespace msg;
using kind::bool_value;
using kind::long_value;
using kind::time_value;

namespace {
constexpr uint64_t filetime_per_minute = 600000000ull;
}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_appointment_impl<bidtype, chartype>::apply(const pst_appointment_fields<CharT>& f) {
  apply_online_meeting<CharT>(*this, f.online_meeting);
  apply_reminder<CharT>(*this, f.reminder);
  if constexpr (std::is_same_v<CharT, char>)
    pst_message_impl<bidtype, chartype>::apply_fieldsA(f.shared);
  else
    pst_message_impl<bidtype, chartype>::apply_fields(f.shared);
  if (f.all_day) this->set_property(bool_value(id_appointment_sub_type, true));
  if (f.busy_status) this->set_property(long_value(id_busy_status, f.busy_status));

  // Start and end are UTC like every PT_SYSTIME value: a missing start is
  // now, a missing end the start plus the duration, and a missing duration
  // the minutes between the two.
  const uint64_t start = f.start_time ? f.start_time : platform::system_time_as_filetime();
  const uint64_t end = f.end_time ? f.end_time : start + uint64_t{f.duration_minutes} * filetime_per_minute;
  uint32_t duration = f.duration_minutes;
  if (!duration && end > start) duration = static_cast<uint32_t>((end - start) / filetime_per_minute);
  this->set_property(long_value(id_appointment_duration, duration));
  this->set_property(time_value(id_appointment_start_whole, start));
  this->set_property(time_value(id_appointment_end_whole, end));
  this->set_property(time_value(id_clip_start, start));
  this->set_property(time_value(id_clip_end, end));

  if (f.conferencing) this->set_property(bool_value(id_conferencing_check, true));
  if (f.location) this->set_property(kind::text_value<CharT>(id_location, *f.location));
  if (f.display_to) this->set_property(kind::text_value<CharT>(id_display_to, *f.display_to));
  if (f.display_bcc) this->set_property(kind::text_value<CharT>(id_display_bcc, *f.display_bcc));
  if (f.response_requested) this->set_property(bool_value(id_response_requested, true));
  if (f.time_zone_description) {
    this->set_property(kind::text_value<CharT>(id_time_zone_description, *f.time_zone_description));
  } else if (auto zone = current_time_zone_description()) {
    this->set_property(kind::text_value<char16_t>(id_time_zone_description, *zone));
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_appointment_impl<bidtype, chartype>::apply_item_fields(const pst_appointment_fields<char16_t>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_appointment_impl<bidtype, chartype>::apply_item_fieldsA(const pst_appointment_fields<char>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_appointment_impl<bidtype, chartype>::commit() {
  pst_property_set& self = *this;
  kind::set_default(self, long_value(id_icon_index, 1024));
  kind::set_default(self, long_value(id_internet_codepage, default_internet_code_page(std::is_same_v<chartype, char>)));
  kind::set_default(self, string_value<char>(id_message_class, "IPM.Appointment"));
  pst_message_impl<bidtype, chartype>::commit();
}

template class pst_appointment_impl<uint32_t, char>;
template class pst_appointment_impl<uint64_t, char16_t>;

}  // namespace vendrel
