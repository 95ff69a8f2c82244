// Sticky notes and tasks written into a store and read back from the
// committed file: a note's defaults without fields, its icon that follows
// the colour, a task's fields with its reminder and online meeting, task
// completion by status, and the task defaults that never replace a value.
#include <gtest/gtest.h>

#include "kinds_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

using namespace msg;

template <typename V>
class NoteAndTask : public kinds_test<V> {};
TYPED_TEST_SUITE(NoteAndTask, store_variants, store_variant_name);

TYPED_TEST(NoteAndTask, ANoteWithoutFieldsGetsTheNoteDefaults) {
  auto note = this->template make<pst_sticky_note_impl>(&pst_store::create_sticky_note);
  const uint32_t nid = this->file(*note);
  EXPECT_EQ(note->item_kind(), pst_item_kind::sticky_note);
  decoded_pc pc = this->pc(nid);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.StickyNote");
  const struct {
    uint16_t id;
    uint64_t value;
  } numbers[] = {
      {id_note_color, 4},          {id_note_x, 768},        {id_note_y, 80},
      {id_note_width, 405},        {id_note_height, 233},   {id_icon_index, 772},
      {id_current_version, 93011}, {id_side_effects, 272},  {id_alternate_recipient_allowed, 0},
      {id_originator_delivery_report_requested, 0},         {id_read_receipt_requested, 0},
      {id_private, 0},             {id_reminder_set, 0},    {id_reminder_delta, 0},
      {id_aging_dont_age_me, 0},   {id_common_8511, 0},     {id_task_mode, 0},
  };
  for (const auto& n : numbers) EXPECT_EQ(number_of(pc.find(n.id)), n.value) << std::hex << n.id;
  EXPECT_EQ(text_of(pc.find(id_body)), " ");
  EXPECT_EQ(text_of(pc.find(id_subject)), "");
  EXPECT_EQ(text_of(pc.find(id_current_version_name)), "9.0");
  ASSERT_NE(pc.find(id_search_key), nullptr);
  EXPECT_EQ(pc.find(id_search_key)->bytes, std::vector<uint8_t>(16, 0));
  EXPECT_EQ(undecodable_messages(this->written()), "");
}

TYPED_TEST(NoteAndTask, TheIconFollowsTheColourAndTheGeometryIsKept) {
  using V = TypeParam;
  using C = typename V::chartype;
  texts<C> t;
  const uint32_t colours[] = {0, 1, 2, 3, 4};
  std::vector<uint32_t> nids;
  for (uint32_t colour : colours) {
    auto note = this->template make<pst_sticky_note_impl>(&pst_store::create_sticky_note);
    pst_sticky_note_fields<C> f;
    f.shared.subject = t(std::string("\x01\x01") + "note " + std::to_string(colour));
    f.shared.plain_body = t("body");
    f.colour = colour;
    f.x = 10 + colour;
    f.width = 200 + colour;
    f.y = 30 + colour;
    f.height = 400 + colour;
    if constexpr (V::unicode)
      note->apply_item_fields(f);
    else
      note->apply_item_fieldsA(f);
    nids.push_back(this->file(*note));
  }
  for (size_t i = 0; i < nids.size(); ++i) {
    const uint32_t colour = colours[i];
    SCOPED_TRACE(colour);
    decoded_pc pc = this->pc(nids[i]);
    EXPECT_EQ(number_of(pc.find(id_note_color)), colour);
    EXPECT_EQ(number_of(pc.find(id_icon_index)), 0x300u + colour);
    EXPECT_EQ(number_of(pc.find(id_note_x)), 10 + colour);
    EXPECT_EQ(number_of(pc.find(id_note_width)), 200 + colour);
    EXPECT_EQ(number_of(pc.find(id_note_y)), 30 + colour);
    EXPECT_EQ(number_of(pc.find(id_note_height)), 400 + colour);
    EXPECT_EQ(text_of(pc.find(id_body)), "body");
    EXPECT_EQ(text_of(pc.find(id_subject)), "\x01\x01note " + std::to_string(colour));
  }
}

TYPED_TEST(NoteAndTask, ATaskIsCompleteExactlyWhenItsStatusIsFour) {
  using V = TypeParam;
  using C = typename V::chartype;
  const struct {
    uint32_t status;
    bool complete;
  } cases[] = {{0, false}, {1, false}, {2, false}, {3, false}, {4, true}, {5, false}, {0xFFFFFFFF, false}};
  std::vector<uint32_t> nids;
  for (const auto& c : cases) {
    auto task = this->template make<pst_task_impl>(&pst_store::create_task);
    pst_task_fields<C> f;
    f.status = c.status;
    if constexpr (V::unicode)
      task->apply_item_fields(f);
    else
      task->apply_item_fieldsA(f);
    nids.push_back(this->file(*task));
  }
  for (size_t i = 0; i < nids.size(); ++i) {
    SCOPED_TRACE(cases[i].status);
    decoded_pc pc = this->pc(nids[i]);
    EXPECT_EQ(number_of(pc.find(id_task_status)), cases[i].status);
    EXPECT_EQ(number_of(pc.find(id_task_complete)), cases[i].complete ? 1u : 0u);
    ASSERT_NE(pc.find(id_task_complete), nullptr);
    EXPECT_EQ(pc.find(id_task_complete)->type, prop_type::boolean);
  }
}

TYPED_TEST(NoteAndTask, TaskFieldsReminderAndOnlineMeetingBecomeProperties) {
  using V = TypeParam;
  using C = typename V::chartype;
  texts<C> t;
  auto task = this->template make<pst_task_impl>(&pst_store::create_task);
  pst_task_fields<C> f;
  f.shared.subject = t("\x01\x01Write the report");
  f.shared.plain_body = t("Two pages.");
  f.owner = t("Ann Archer");
  f.actual_effort = 90;
  f.status = 1;
  f.estimated_effort = 120;
  f.is_private = true;
  f.percent_complete = 0.75;
  f.start_date = 133000000000000000ull;
  f.due_date = 133000864000000000ull;
  f.date_completed = 0;
  f.reminder.play_sound = true;
  f.reminder.reminder_set = true;
  f.reminder.sound_file = t("chime.wav");
  f.reminder.delta_minutes = 15;
  f.reminder.reminder_time = 133000000000000001ull;
  f.online_meeting.auto_start = true;
  f.online_meeting.conferencing_type = 2;
  f.online_meeting.organizer_alias = t("ann");
  f.online_meeting.net_show_url = t("http://meet.example.org/1");
  if constexpr (V::unicode)
    task->apply_item_fields(f);
  else
    task->apply_item_fieldsA(f);
  const uint32_t nid = this->file(*task);

  decoded_pc pc = this->pc(nid);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Task");
  EXPECT_EQ(text_of(pc.find(id_task_owner)), "Ann Archer");
  EXPECT_EQ(number_of(pc.find(id_task_actual_effort)), 90u);
  EXPECT_EQ(number_of(pc.find(id_task_estimated_effort)), 120u);
  EXPECT_EQ(number_of(pc.find(id_private)), 1u);
  ASSERT_NE(pc.find(id_percent_complete), nullptr);
  EXPECT_EQ(pc.find(id_percent_complete)->type, prop_type::r8);
  EXPECT_EQ(double_of(pc.find(id_percent_complete)), 0.75);
  EXPECT_EQ(number_of(pc.find(id_task_start_date)), 133000000000000000ull);
  EXPECT_EQ(number_of(pc.find(id_task_due_date)), 133000864000000000ull);
  EXPECT_EQ(pc.find(id_task_date_completed), nullptr);
  EXPECT_EQ(number_of(pc.find(id_reminder_play_sound)), 1u);
  EXPECT_EQ(number_of(pc.find(id_reminder_set)), 1u);
  EXPECT_EQ(text_of(pc.find(id_reminder_file_parameter)), "chime.wav");
  EXPECT_EQ(number_of(pc.find(id_reminder_delta)), 15u);
  EXPECT_EQ(number_of(pc.find(id_reminder_time)), 133000000000000001ull);
  EXPECT_EQ(number_of(pc.find(id_auto_start_check)), 1u);
  EXPECT_EQ(number_of(pc.find(id_conferencing_type)), 2u);
  EXPECT_EQ(text_of(pc.find(id_organizer_alias)), "ann");
  EXPECT_EQ(text_of(pc.find(id_net_show_url)), "http://meet.example.org/1");
  EXPECT_EQ(pc.find(id_collaborate_doc), nullptr);
  EXPECT_EQ(pc.find(id_directory), nullptr);
  EXPECT_EQ(text_of(pc.find(id_body)), "Two pages.");
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 1280u);
}

TYPED_TEST(NoteAndTask, TaskDefaultsFillOnlyWhatIsMissing) {
  auto bare = this->template make<pst_task_impl>(&pst_store::create_task);
  bare->remove_property(id_message_flags);  // the default 9 applies only without flags
  const uint64_t before = platform::system_time_as_filetime();
  const uint32_t bare_nid = this->file(*bare);
  const uint64_t after = platform::system_time_as_filetime();

  auto given = this->template make<pst_task_impl>(&pst_store::create_task);
  given->set_property(kind::long_value(id_icon_index, 7));
  given->set_property(kind::time_value(id_common_start, 42));
  given->set_property(string_value<char>(id_mileage, "12 km"));
  const uint32_t given_nid = this->file(*given);

  decoded_pc pc = this->pc(bare_nid);
  EXPECT_EQ(number_of(pc.find(id_message_flags)), 9u);
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 1280u);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Task");
  EXPECT_EQ(number_of(pc.find(id_current_version)), 93011u);
  for (uint16_t id : {id_reminder_time, id_reminder_signal_time, id_common_start, id_common_end}) {
    EXPECT_GE(number_of(pc.find(id)), before) << std::hex << id;
    EXPECT_LE(number_of(pc.find(id)), after) << std::hex << id;
  }
  EXPECT_EQ(text_of(pc.find(id_mileage)), "");
  EXPECT_EQ(text_of(pc.find(id_billing)), "");

  decoded_pc kept = this->pc(given_nid);
  EXPECT_EQ(number_of(kept.find(id_icon_index)), 7u);
  EXPECT_EQ(number_of(kept.find(id_common_start)), 42u);
  EXPECT_EQ(text_of(kept.find(id_mileage)), "12 km");
  EXPECT_EQ(number_of(kept.find(id_message_flags)), 0u);  // set when the item was made
}

}  // namespace
}  // namespace vendrel::test
