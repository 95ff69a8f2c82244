#include "items/reminder.h"

#include "items/kind_tags.h"

namespace vendrel {

using namespace msg;

template <typename CharT>
void apply_reminder(pst_property_set& item, const pst_reminder_fields<CharT>& r) {
  if (r.play_sound) item.set_property(kind::bool_value(id_reminder_play_sound, true));
  if (r.reminder_set) item.set_property(kind::bool_value(id_reminder_set, true));
  if (r.sound_file) item.set_property(kind::text_value<CharT>(id_reminder_file_parameter, *r.sound_file));
  if (r.reminder_time) item.set_property(kind::time_value(id_reminder_time, r.reminder_time));
  if (r.delta_minutes) item.set_property(kind::long_value(id_reminder_delta, r.delta_minutes));
}

template void apply_reminder<char>(pst_property_set&, const pst_reminder_fields<char>&);
template void apply_reminder<char16_t>(pst_property_set&, const pst_reminder_fields<char16_t>&);

}  // namespace vendrel
