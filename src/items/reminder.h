// The reminder record of appointments and tasks, and the properties it
// becomes: PidLidReminderPlaySound, PidLidReminderSet, the sound file
// (PidLidReminderFileParameter), PidLidReminderTime and PidLidReminderDelta.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ltp/property_set.h"

namespace vendrel {

template <typename CharT>
struct pst_reminder_fields {
  using view = std::basic_string_view<CharT>;

  uint8_t unused = 0;  // carried in the record, read by nothing
  bool play_sound = false;
  bool reminder_set = false;
  std::optional<view> sound_file;
  uint32_t delta_minutes = 0;  // minutes before the start; 0 sets nothing
  uint64_t reminder_time = 0;  // FILETIME; 0 sets nothing
};

// Sets the properties the record gives; flags that are off and values that
// are absent or 0 leave the item as it is.
template <typename CharT>
void apply_reminder(pst_property_set& item, const pst_reminder_fields<CharT>& reminder);

extern template void apply_reminder<char>(pst_property_set&, const pst_reminder_fields<char>&);
extern template void apply_reminder<char16_t>(pst_property_set&, const pst_reminder_fields<char16_t>&);

}  // namespace vendrel
