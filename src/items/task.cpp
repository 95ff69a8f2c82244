#include "items/task.h"

#include "items/kind_tags.h"
#include "items/message_tags.h"
#include "platform/platform.h"

namespace vendrel {

using namespace msg;
using kind::bool_value;
using kind::long_value;
using kind::time_value;

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_task_impl<bidtype, chartype>::apply(const pst_task_fields<CharT>& f) {
  if constexpr (std::is_same_v<CharT, char>)
    pst_message_impl<bidtype, chartype>::apply_fieldsA(f.shared);
  else
    pst_message_impl<bidtype, chartype>::apply_fields(f.shared);
  this->set_property(string_value<char>(id_message_class, "IPM.Task"));
  apply_reminder<CharT>(*this, f.reminder);
  apply_online_meeting<CharT>(*this, f.online_meeting);
  this->set_property(bool_value(id_private, f.is_private));
  this->set_property(kind::text_value<CharT>(id_task_owner, f.owner ? *f.owner : std::basic_string_view<CharT>()));
  if (f.start_date) this->set_property(time_value(id_task_start_date, f.start_date));
  if (f.due_date) this->set_property(time_value(id_task_due_date, f.due_date));
  if (f.date_completed) this->set_property(time_value(id_task_date_completed, f.date_completed));
  this->set_property(long_value(id_task_status, f.status));
  this->set_property(bool_value(id_task_complete, f.status == task_status_complete));
  this->set_property(long_value(id_task_estimated_effort, f.estimated_effort));
  this->set_property(long_value(id_task_actual_effort, f.actual_effort));
  this->set_property(kind::double_value(id_percent_complete, f.percent_complete));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_task_impl<bidtype, chartype>::apply_item_fields(const pst_task_fields<char16_t>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_task_impl<bidtype, chartype>::apply_item_fieldsA(const pst_task_fields<char>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_task_impl<bidtype, chartype>::commit() {
  pst_property_set& self = *this;
  const uint64_t now = platform::system_time_as_filetime();
  kind::set_default(self, long_value(id_message_flags, 9));
  kind::set_default(self, long_value(id_current_version, 93011));
  kind::set_default(self, long_value(id_side_effects, 272));
  kind::set_default(self, bool_value(id_private, false));
  kind::set_default(self, bool_value(id_reminder_set, false));
  kind::set_default(self, bool_value(id_aging_dont_age_me, false));
  kind::set_default(self, long_value(id_reminder_delta, 0));
  kind::set_default(self, long_value(id_common_8511, 0));
  kind::set_default(self, long_value(id_task_mode, 0));
  kind::set_default(self, long_value(id_icon_index, 1280));
  kind::set_default(self, string_value<char>(id_message_class, "IPM.Task"));
  kind::set_default(self, time_value(id_reminder_time, now));
  kind::set_default(self, time_value(id_reminder_signal_time, now));
  kind::set_default(self, time_value(id_common_start, now));
  kind::set_default(self, time_value(id_common_end, now));
  kind::set_default(self, string_value<char>(id_current_version_name, "9.0"));
  kind::set_default(self, string_value<char>(id_mileage, ""));
  kind::set_default(self, string_value<char>(id_billing, ""));
  pst_message_impl<bidtype, chartype>::commit();
}

template class pst_task_impl<uint32_t, char>;
template class pst_task_impl<uint64_t, char16_t>;

}  // namespace vendrel
