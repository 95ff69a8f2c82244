// Appointments written into a store and read back from the committed file:
// start, end and duration (given, or from the current time), the reminder
// and online-meeting records, the appointment's own fields, recipients
// that replace the bound display-to text, and the time zone description
// from the caller or from the machine's zone.
#include <gtest/gtest.h>

#include <cstdlib>

#include "items/time_zone_description.h"
#include "kinds_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

using namespace msg;

constexpr uint64_t minute = 600000000ull;
constexpr uint64_t june_10_2024_0900 = 133624836000000000ull;  // 2024-06-10 09:00:00 UTC

template <typename V>
class Appointment : public kinds_test<V> {
 protected:
  using C = typename V::chartype;
  ref<kind_of<V, pst_appointment_impl>> make_applied(const pst_appointment_fields<C>& f) {
    auto a = this->template make<pst_appointment_impl>(&pst_store::create_appointment);
    if constexpr (V::unicode)
      a->apply_item_fields(f);
    else
      a->apply_item_fieldsA(f);
    return a;
  }
  texts<C> t;
};
TYPED_TEST_SUITE(Appointment, store_variants, store_variant_name);

TYPED_TEST(Appointment, FieldsBecomeProperties) {
  using C = typename TypeParam::chartype;
  auto& t = this->t;
  pst_appointment_fields<C> f;
  f.shared.subject = t("\x01\x01" "Design review");
  f.start_time = june_10_2024_0900;
  f.end_time = june_10_2024_0900 + 90 * minute;
  f.location = t("Room 4");
  f.busy_status = 2;
  f.all_day = true;
  f.conferencing = true;
  f.response_requested = true;
  f.display_bcc = t("Someone");
  f.time_zone_description = t("W. Europe Standard Time");
  f.reminder.reminder_set = true;
  f.reminder.delta_minutes = 15;
  f.reminder.reminder_time = june_10_2024_0900 - 15 * minute;
  f.online_meeting.collaboration_document = t("plan.doc");
  f.online_meeting.directory = t("ils.example.org");
  f.online_meeting.conferencing_type = 1;
  const uint32_t nid = this->file(*this->make_applied(f));

  decoded_pc pc = this->pc(nid);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Appointment");
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 1024u);
  EXPECT_EQ(number_of(pc.find(id_appointment_start_whole)), june_10_2024_0900);
  EXPECT_EQ(number_of(pc.find(id_appointment_end_whole)), june_10_2024_0900 + 90 * minute);
  EXPECT_EQ(number_of(pc.find(id_clip_start)), june_10_2024_0900);
  EXPECT_EQ(number_of(pc.find(id_clip_end)), june_10_2024_0900 + 90 * minute);
  EXPECT_EQ(number_of(pc.find(id_appointment_duration)), 90u);
  EXPECT_EQ(pc.find(id_appointment_start_whole)->type, prop_type::systime);
  EXPECT_EQ(text_of(pc.find(id_location)), "Room 4");
  EXPECT_EQ(number_of(pc.find(id_busy_status)), 2u);
  EXPECT_EQ(number_of(pc.find(id_appointment_sub_type)), 1u);
  EXPECT_EQ(number_of(pc.find(id_conferencing_check)), 1u);
  EXPECT_EQ(number_of(pc.find(id_response_requested)), 1u);
  EXPECT_EQ(text_of(pc.find(id_display_bcc)), "Someone");
  EXPECT_EQ(text_of(pc.find(id_time_zone_description)), "W. Europe Standard Time");
  EXPECT_EQ(number_of(pc.find(id_reminder_set)), 1u);
  EXPECT_EQ(number_of(pc.find(id_reminder_delta)), 15u);
  EXPECT_EQ(number_of(pc.find(id_reminder_time)), june_10_2024_0900 - 15 * minute);
  EXPECT_EQ(pc.find(id_reminder_play_sound), nullptr);
  EXPECT_EQ(text_of(pc.find(id_collaborate_doc)), "plan.doc");
  EXPECT_EQ(text_of(pc.find(id_directory)), "ils.example.org");
  EXPECT_EQ(number_of(pc.find(id_conferencing_type)), 1u);
  EXPECT_EQ(pc.find(id_auto_start_check), nullptr);
  EXPECT_EQ(text_of(pc.find(id_subject)), "\x01\x01" "Design review");
}

TYPED_TEST(Appointment, MissingTimesComeFromTheOthersAndTheClock) {
  using C = typename TypeParam::chartype;
  const struct {
    const char* what;
    uint64_t start, end;
    uint32_t duration;
    bool start_is_now;
    uint64_t end_after_start;  // FILETIME units
    uint32_t duration_out;
  } cases[] = {
      {"start and duration", june_10_2024_0900, 0, 45, false, 45 * minute, 45},
      {"start and end", june_10_2024_0900, june_10_2024_0900 + 30 * minute, 0, false, 30 * minute, 30},
      {"end and a duration of its own", june_10_2024_0900, june_10_2024_0900 + 30 * minute, 20, false, 30 * minute, 20},
      {"nothing", 0, 0, 0, true, 0, 0},
      {"only a duration", 0, 0, 60, true, 60 * minute, 60},
  };
  std::vector<uint32_t> nids;
  const uint64_t before = platform::system_time_as_filetime();
  for (const auto& c : cases) {
    pst_appointment_fields<C> f;
    f.start_time = c.start;
    f.end_time = c.end;
    f.duration_minutes = c.duration;
    nids.push_back(this->file(*this->make_applied(f)));
  }
  const uint64_t after = platform::system_time_as_filetime();
  for (size_t i = 0; i < nids.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.what);
    decoded_pc pc = this->pc(nids[i]);
    const uint64_t start = number_of(pc.find(id_appointment_start_whole));
    if (c.start_is_now) {
      EXPECT_GE(start, before);  // UTC, like every PT_SYSTIME value
      EXPECT_LE(start, after);
    } else {
      EXPECT_EQ(start, c.start);
    }
    EXPECT_EQ(number_of(pc.find(id_appointment_end_whole)), start + c.end_after_start);
    EXPECT_EQ(number_of(pc.find(id_clip_start)), start);
    EXPECT_EQ(number_of(pc.find(id_clip_end)), start + c.end_after_start);
    EXPECT_EQ(number_of(pc.find(id_appointment_duration)), c.duration_out);
  }
}

TYPED_TEST(Appointment, ToRecipientsReplaceTheBoundDisplayTo) {
  using V = TypeParam;
  using C = typename V::chartype;
  pst_appointment_fields<C> f;
  f.display_to = this->t("Bound text");
  auto with = this->make_applied(f);
  const test_address<C> ann("ann@example.org", "Ann Archer"), bob("bob@example.org", "Bob Baker");
  if constexpr (V::unicode) {
    with->add_recipient(ann.view(), 1, 1);
    with->add_recipient(bob.view(), 1, 1);
  } else {
    with->add_recipientA(ann.view(), 1, 1);
    with->add_recipientA(bob.view(), 1, 1);
  }
  const uint32_t with_nid = this->file(*with);
  const uint32_t without_nid = this->file(*this->make_applied(f));

  written_message<V> w(this->written(), with_nid);
  EXPECT_EQ(text_of(w.pc().find(id_display_to)), "Ann Archer;Bob Baker");
  EXPECT_EQ(w.table(recipient_table_nid).rows.size(), 2u);
  EXPECT_EQ(text_of(this->pc(without_nid).find(id_display_to)), "Bound text");
}

TEST(TimeZoneDescription, TheNameOfTheTimeInEffect) {
  const struct {
    uint32_t id;
    std::u16string standard, daylight;
    std::optional<std::u16string> description;
  } cases[] = {
      {platform::time_zone_id_standard, u"CET", u"CEST", u"CET"},
      {platform::time_zone_id_daylight, u"CET", u"CEST", u"CEST"},
      {platform::time_zone_id_unknown, u"UTC", u"UTC", std::nullopt},
      {3, u"CET", u"CEST", std::nullopt},
      {platform::time_zone_id_daylight, u"CET", u"", std::nullopt},
  };
  for (const auto& c : cases) {
    platform::time_zone_information zone;
    zone.id = c.id;
    zone.standard_name = c.standard;
    zone.daylight_name = c.daylight;
    EXPECT_EQ(time_zone_description(zone), c.description) << c.id << " " << to_utf8(c.daylight);
  }
}

TYPED_TEST(Appointment, WithoutADescriptionTheMachineZoneNameIsStored) {
  using C = typename TypeParam::chartype;
  const std::optional<std::u16string> zone = current_time_zone_description();
  const uint32_t nid = this->file(*this->make_applied(pst_appointment_fields<C>{}));
  decoded_pc pc = this->pc(nid);
  if (zone)
    EXPECT_EQ(text_of(pc.find(id_time_zone_description)), to_utf8(*zone));
  else
    EXPECT_EQ(pc.find(id_time_zone_description), nullptr);
}

#if !defined(_WIN32)  // TZ rules are the POSIX layer's
// A zone in daylight time all year round: the appointment takes its daylight name.
TYPED_TEST(Appointment, AZoneInDaylightTimeGivesTheDaylightName) {
  using C = typename TypeParam::chartype;
  const char* saved = std::getenv("TZ");
  const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("TZ", "XST5XDT,J1/0,J365/25", 1);
  const uint32_t nid = this->file(*this->make_applied(pst_appointment_fields<C>{}));
  if (previous)
    setenv("TZ", previous->c_str(), 1);
  else
    unsetenv("TZ");
  EXPECT_EQ(text_of(this->pc(nid).find(id_time_zone_description)), "XDT");
}
#endif

}  // namespace
}  // namespace vendrel::test
