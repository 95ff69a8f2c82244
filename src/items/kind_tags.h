// Property IDs of the item kinds (sticky notes, appointments, contacts,
// tasks). The named properties carry the fixed IDs that every store's named
// property map gives them from its default set (ltp/name_defaults.cpp); the
// comment names the property set and LID each ID stands for. The contact's
// PSETID_Address properties are looked up through the store's map instead
// (contact.cpp), by the LIDs listed there.
#pragma once

#include <bit>
#include <cstdint>

#include "ltp/property_set.h"
#include "ltp/property_value.h"
#include "store/text_forms.h"

namespace vendrel::msg {

// PSETID_Common
inline constexpr uint16_t id_side_effects = 0x8001;           // LID 0x8510
inline constexpr uint16_t id_current_version = 0x800C;        // LID 0x8552
inline constexpr uint16_t id_private = 0x800E;                // LID 0x8506
inline constexpr uint16_t id_reminder_delta = 0x800F;         // LID 0x8501
inline constexpr uint16_t id_reminder_time = 0x8010;          // LID 0x8502
inline constexpr uint16_t id_reminder_signal_time = 0x8011;   // LID 0x8560
inline constexpr uint16_t id_common_start = 0x8012;           // LID 0x8516
inline constexpr uint16_t id_common_end = 0x8013;             // LID 0x8517
inline constexpr uint16_t id_reminder_set = 0x8014;           // LID 0x8503
inline constexpr uint16_t id_reminder_play_sound = 0x8017;    // LID 0x851E
inline constexpr uint16_t id_reminder_file_parameter = 0x8018;  // LID 0x851F
inline constexpr uint16_t id_aging_dont_age_me = 0x8019;      // LID 0x850E
inline constexpr uint16_t id_common_8511 = 0x801A;            // LID 0x8511
inline constexpr uint16_t id_task_mode = 0x801C;              // LID 0x8518

// PSETID_Note
inline constexpr uint16_t id_note_color = 0x807B;   // LID 0x8B00
inline constexpr uint16_t id_note_width = 0x807C;   // LID 0x8B02
inline constexpr uint16_t id_note_height = 0x807D;  // LID 0x8B03
inline constexpr uint16_t id_note_x = 0x807E;       // LID 0x8B04
inline constexpr uint16_t id_note_y = 0x807F;       // LID 0x8B05

// PSETID_Task
inline constexpr uint16_t id_task_status = 0x8004;            // LID 0x8101
inline constexpr uint16_t id_task_due_date = 0x8007;          // LID 0x8105
inline constexpr uint16_t id_task_complete = 0x8008;          // LID 0x811C
inline constexpr uint16_t id_task_date_completed = 0x8080;    // LID 0x810F
inline constexpr uint16_t id_task_start_date = 0x8081;        // LID 0x8104
inline constexpr uint16_t id_percent_complete = 0x8082;       // LID 0x8102
inline constexpr uint16_t id_task_actual_effort = 0x8083;     // LID 0x8110
inline constexpr uint16_t id_task_estimated_effort = 0x8084;  // LID 0x8111
inline constexpr uint16_t id_task_owner = 0x808C;             // LID 0x811F

// PSETID_Appointment
inline constexpr uint16_t id_location = 0x80A4;              // LID 0x8208
inline constexpr uint16_t id_appointment_sub_type = 0x80A6;  // LID 0x8215
inline constexpr uint16_t id_busy_status = 0x80A7;           // LID 0x8205
inline constexpr uint16_t id_appointment_end_whole = 0x80A9;    // LID 0x820E
inline constexpr uint16_t id_appointment_start_whole = 0x80AA;  // LID 0x820D
inline constexpr uint16_t id_conferencing_type = 0x80AB;     // LID 0x8241
inline constexpr uint16_t id_organizer_alias = 0x80AC;       // LID 0x8243
inline constexpr uint16_t id_directory = 0x80AD;             // LID 0x8242
inline constexpr uint16_t id_auto_start_check = 0x80AE;      // LID 0x8244
inline constexpr uint16_t id_collaborate_doc = 0x80AF;       // LID 0x8247
inline constexpr uint16_t id_net_show_url = 0x80B0;          // LID 0x8248
inline constexpr uint16_t id_appointment_duration = 0x80B1;  // LID 0x8213
inline constexpr uint16_t id_time_zone_description = 0x80B6;  // LID 0x8234
inline constexpr uint16_t id_clip_start = 0x80B7;            // LID 0x8235
inline constexpr uint16_t id_clip_end = 0x80B8;              // LID 0x8236
inline constexpr uint16_t id_conferencing_check = 0x80C9;    // LID 0x8240

// Standard properties the kinds set.
inline constexpr uint16_t id_originator_delivery_report_requested = 0x0023;
inline constexpr uint16_t id_original_sensitivity = 0x002E;
inline constexpr uint16_t id_response_requested = 0x0063;

// The property sets by GUID, as the named property map takes them.
inline constexpr uint8_t psetid_address[16] = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace vendrel::msg

namespace vendrel::kind {

// Property values of the usual types.
inline pst_property_value long_value(uint16_t id, uint32_t value) {
  return pst_property_value::of_u32(make_tag(id, prop_type::i4), value);
}
inline pst_property_value bool_value(uint16_t id, bool value) {
  return pst_property_value::of_bool(make_tag(id, prop_type::boolean), value);
}
inline pst_property_value time_value(uint16_t id, uint64_t filetime) {
  return pst_property_value::of_u64(make_tag(id, prop_type::systime), filetime);
}
inline pst_property_value double_value(uint16_t id, double value) {
  return pst_property_value::of_u64(make_tag(id, prop_type::r8), std::bit_cast<uint64_t>(value));
}
template <typename CharT>
pst_property_value text_value(uint16_t id, std::basic_string_view<CharT> text) {
  return string_value<CharT>(id, text);
}

// Kind commit defaults: a property the item holds already is never replaced.
inline void set_default(pst_property_set& item, const pst_property_value& value) {
  if (!item.get_property(value.id())) item.set_property(value);
}

}  // namespace vendrel::kind
