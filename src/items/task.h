// Tasks: a message of the class "IPM.Task" with its owner, status, efforts,
// percent complete, start, due and completion dates (PSETID_Task), privacy,
// reminder and online meeting.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "items/message.h"
#include "items/message_fields.h"
#include "items/online_meeting.h"
#include "items/reminder.h"

namespace vendrel {

// PidLidTaskStatus of a finished task; it also sets PidLidTaskComplete.
inline constexpr uint32_t task_status_complete = 4;

template <typename CharT>
struct pst_task_fields {
  using view = std::basic_string_view<CharT>;

  pst_message_fields<CharT> shared;
  std::optional<view> owner;  // none: an empty owner
  uint32_t actual_effort = 0;     // minutes
  uint32_t status = 0;            // 0 not started ... 4 complete
  uint32_t estimated_effort = 0;  // minutes
  bool is_private = false;
  double percent_complete = 0.0;  // 0.0 to 1.0
  uint64_t date_completed = 0;    // FILETIMEs; 0 sets nothing
  uint64_t due_date = 0;
  uint64_t start_date = 0;
  pst_online_meeting_fields<CharT> online_meeting;
  pst_reminder_fields<CharT> reminder;
};

class pst_task : public virtual pst_message {
 public:
  // Slots 16-17.
  virtual void apply_item_fields(const pst_task_fields<char16_t>& fields) = 0;
  virtual void apply_item_fieldsA(const pst_task_fields<char>& fields) = 0;

 protected:
  ~pst_task() override = default;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_task_impl : public pst_message_impl<bidtype, chartype>, public pst_task {
 public:
  using store_type = typename pst_message_impl<bidtype, chartype>::store_type;

  explicit pst_task_impl(store_type* store) : pst_message_impl<bidtype, chartype>(store) {}

  void apply_item_fields(const pst_task_fields<char16_t>& fields) override;
  void apply_item_fieldsA(const pst_task_fields<char>& fields) override;
  pst_item_kind item_kind() const override { return pst_item_kind::task; }
  void commit() override;

 protected:
  ~pst_task_impl() override = default;

 private:
  template <typename CharT>
  void apply(const pst_task_fields<CharT>& fields);
};

extern template class pst_task_impl<uint32_t, char>;
extern template class pst_task_impl<uint64_t, char16_t>;

}  // namespace vendrel
