// Appointments: a message of the class "IPM.Appointment" with its start and
// end, duration, location, busy status, all-day flag, reminder, online
// meeting and time zone description (PSETID_Appointment and PSETID_Common),
// and recipients like a message.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "items/message.h"
#include "items/message_fields.h"
#include "items/online_meeting.h"
#include "items/reminder.h"

namespace vendrel {

template <typename CharT>
struct pst_appointment_fields {
  using view = std::basic_string_view<CharT>;

  pst_message_fields<CharT> shared;
  pst_online_meeting_fields<CharT> online_meeting;
  pst_reminder_fields<CharT> reminder;
  uint32_t duration_minutes = 0;  // 0: the minutes between start and end
  uint64_t start_time = 0;        // FILETIME (UTC); 0: now
  uint64_t end_time = 0;          // FILETIME (UTC); 0: start plus the duration
  std::optional<view> display_to;
  std::optional<view> display_bcc;
  bool all_day = false;
  bool conferencing = false;
  uint32_t busy_status = 0;  // 0 sets nothing
  bool response_requested = false;
  std::optional<view> location;
  std::optional<view> time_zone_description;  // none: the machine's zone name
};

class pst_appointment : public virtual pst_message {
 public:
  // Slots 16-17.
  virtual void apply_item_fields(const pst_appointment_fields<char16_t>& fields) = 0;
  virtual void apply_item_fieldsA(const pst_appointment_fields<char>& fields) = 0;

 protected:
  ~pst_appointment() override = default;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_appointment_impl : public pst_message_impl<bidtype, chartype>, public pst_appointment {
 public:
  using store_type = typename pst_message_impl<bidtype, chartype>::store_type;

  explicit pst_appointment_impl(store_type* store) : pst_message_impl<bidtype, chartype>(store) {}

  void apply_item_fields(const pst_appointment_fields<char16_t>& fields) override;
  void apply_item_fieldsA(const pst_appointment_fields<char>& fields) override;
  pst_item_kind item_kind() const override { return pst_item_kind::appointment; }
  void commit() override;

 protected:
  ~pst_appointment_impl() override = default;

 private:
  template <typename CharT>
  void apply(const pst_appointment_fields<CharT>& fields);
};

extern template class pst_appointment_impl<uint32_t, char>;
extern template class pst_appointment_impl<uint64_t, char16_t>;

}  // namespace vendrel
