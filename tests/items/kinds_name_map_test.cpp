// The named properties of the item kinds, read back from a committed file:
// every ID an item holds resolves, through the named property map stored
// in the same file (node 0x61, its GUID, entry and string streams), to the
// property set and LID the kinds mean by it.
#include <gtest/gtest.h>

#include "kinds_test_support.h"
#include <set>

#include "ltp/name_to_id_map.h"

namespace vendrel::test {
namespace {

using namespace msg;

constexpr const char* psetid_common = "00062008-0000-0000-C000-000000000046";
constexpr const char* psetid_note = "0006200E-0000-0000-C000-000000000046";
constexpr const char* psetid_task = "00062003-0000-0000-C000-000000000046";
constexpr const char* psetid_appointment_text = "00062002-0000-0000-C000-000000000046";
constexpr const char* psetid_address_text = "00062004-0000-0000-C000-000000000046";

struct named {
  uint16_t id;
  const char* set;
  uint32_t lid;
};
// The IDs of the kinds and what they stand for.
const named kind_names[] = {
    {0x8001, psetid_common, 0x8510}, {0x800C, psetid_common, 0x8552}, {0x800D, psetid_common, 0x8554},
    {0x800E, psetid_common, 0x8506}, {0x800F, psetid_common, 0x8501}, {0x8010, psetid_common, 0x8502},
    {0x8011, psetid_common, 0x8560}, {0x8012, psetid_common, 0x8516}, {0x8013, psetid_common, 0x8517},
    {0x8014, psetid_common, 0x8503}, {0x8017, psetid_common, 0x851E}, {0x8018, psetid_common, 0x851F},
    {0x8019, psetid_common, 0x850E}, {0x801A, psetid_common, 0x8511}, {0x801C, psetid_common, 0x8518},
    {0x8026, psetid_common, 0x8534}, {0x8027, psetid_common, 0x8535}, {0x807B, psetid_note, 0x8B00},
    {0x807C, psetid_note, 0x8B02},   {0x807D, psetid_note, 0x8B03},   {0x807E, psetid_note, 0x8B04},
    {0x807F, psetid_note, 0x8B05},   {0x8004, psetid_task, 0x8101},   {0x8007, psetid_task, 0x8105},
    {0x8008, psetid_task, 0x811C},   {0x8080, psetid_task, 0x810F},   {0x8081, psetid_task, 0x8104},
    {0x8082, psetid_task, 0x8102},   {0x8083, psetid_task, 0x8110},   {0x8084, psetid_task, 0x8111},
    {0x808C, psetid_task, 0x811F},   {0x80A4, psetid_appointment_text, 0x8208},
    {0x80A6, psetid_appointment_text, 0x8215}, {0x80A7, psetid_appointment_text, 0x8205},
    {0x80A9, psetid_appointment_text, 0x820E}, {0x80AA, psetid_appointment_text, 0x820D},
    {0x80AB, psetid_appointment_text, 0x8241}, {0x80AC, psetid_appointment_text, 0x8243},
    {0x80AD, psetid_appointment_text, 0x8242}, {0x80AE, psetid_appointment_text, 0x8244},
    {0x80AF, psetid_appointment_text, 0x8247}, {0x80B0, psetid_appointment_text, 0x8248},
    {0x80B1, psetid_appointment_text, 0x8213}, {0x80B6, psetid_appointment_text, 0x8234},
    {0x80B7, psetid_appointment_text, 0x8235}, {0x80B8, psetid_appointment_text, 0x8236},
    {0x80C9, psetid_appointment_text, 0x8240},
};

// The map committed into a file, parsed from its three streams.
pst_name_to_id_parser committed_map(decoded_pc map_pc) {
  pst_name_to_id_parser parser;
  for (uint16_t id : {uint16_t{2}, uint16_t{3}, uint16_t{4}})
    if (!map_pc.find(id)) ADD_FAILURE() << "stream " << id << " is missing";
  EXPECT_TRUE(parser.add_guids(map_pc.find(2)->bytes.data(), map_pc.find(2)->bytes.size()));
  EXPECT_TRUE(parser.add_records(map_pc.find(3)->bytes.data(), map_pc.find(3)->bytes.size()));
  EXPECT_TRUE(parser.add_names(map_pc.find(4)->bytes.data(), map_pc.find(4)->bytes.size()));
  return parser;
}

template <typename V>
class KindNames : public kinds_test<V> {};
TYPED_TEST_SUITE(KindNames, store_variants, store_variant_name);

TYPED_TEST(KindNames, EveryNamedIdOfTheItemsResolvesThroughTheCommittedMap) {
  using V = TypeParam;
  using C = typename V::chartype;
  texts<C> t;
  std::vector<uint32_t> nids;

  // Each kind with every field that becomes a named property.
  auto note = this->template make<pst_sticky_note_impl>(&pst_store::create_sticky_note);
  nids.push_back(this->file(*note));

  pst_appointment_fields<C> a;
  a.shared.billing_information = t("B-1");
  a.shared.mileage = t("3 km");
  a.online_meeting = {true, t("doc"), t("alias"), t("dir"), 1, t("http://show")};
  a.reminder.play_sound = a.reminder.reminder_set = true;
  a.reminder.sound_file = t("ring.wav");
  a.reminder.delta_minutes = 5;
  a.reminder.reminder_time = 133624836000000000ull;
  a.all_day = a.conferencing = true;
  a.busy_status = 2;
  a.location = t("Room");
  a.time_zone_description = t("Zone");
  auto appointment = this->template make<pst_appointment_impl>(&pst_store::create_appointment);
  if constexpr (V::unicode)
    appointment->apply_item_fields(a);
  else
    appointment->apply_item_fieldsA(a);
  nids.push_back(this->file(*appointment));

  pst_task_fields<C> k;
  k.owner = t("Owner");
  k.status = 4;
  k.start_date = k.due_date = k.date_completed = 133624836000000000ull;
  k.reminder.sound_file = t("ring.wav");
  k.reminder.play_sound = true;
  auto task = this->template make<pst_task_impl>(&pst_store::create_task);
  if constexpr (V::unicode)
    task->apply_item_fields(k);
  else
    task->apply_item_fieldsA(k);
  nids.push_back(this->file(*task));

  pst_contact_fields<C> c;
  c.email1.address = t("ada@example.org");
  c.full_name = t("Ada");
  c.home_address.text = t("Home");
  auto contact = this->template make<pst_contact_impl>(&pst_store::create_contact);
  if constexpr (V::unicode)
    contact->apply_item_fields(c);
  else
    contact->apply_item_fieldsA(c);
  nids.push_back(this->file(*contact));

  stored_file<typename V::bidtype>& file = this->written();
  const pst_name_to_id_parser map = committed_map(file.pc(0x61));

  // Every ID of the table that some item holds, resolved by the stored map.
  std::set<uint16_t> held;
  for (uint32_t nid : nids)
    for (const decoded_property& p : this->pc(nid).properties)
      if (p.id >= 0x8000) held.insert(p.id);
  for (const named& n : kind_names) {
    SCOPED_TRACE(::testing::Message() << std::hex << n.id);
    EXPECT_TRUE(held.count(n.id)) << "no item holds it";
    const auto desc = map.parsed_descriptor(n.id);
    ASSERT_TRUE(desc.has_value());
    EXPECT_EQ(desc->guid, *parse_guid(n.set));
    EXPECT_FALSE(desc->is_string);
    EXPECT_EQ(desc->id, n.lid);
  }

  // The contact's PSETID_Address properties, found by their LIDs in the stored map.
  auto id_of = [&](uint32_t lid) -> uint16_t {
    for (uint16_t id = 0x8000; id < 0x8000 + map.parsed_entries().size(); ++id) {
      const auto desc = map.parsed_descriptor(id);
      if (desc && !desc->is_string && desc->guid == *parse_guid(psetid_address_text) && desc->id == lid) return id;
    }
    return 0;
  };
  decoded_pc contact_pc = this->pc(nids.back());
  EXPECT_EQ(text_of(contact_pc.find(id_of(0x8083))), "ada@example.org");
  EXPECT_EQ(text_of(contact_pc.find(id_of(0x8080))), "ada@example.org");
  EXPECT_EQ(text_of(contact_pc.find(id_of(0x8082))), "SMTP");
  EXPECT_EQ(text_of(contact_pc.find(id_of(0x8005))), "Ada");
  EXPECT_EQ(text_of(contact_pc.find(id_of(0x801A))), "Home");
  // Every named ID an item holds is known to the stored map.
  for (uint16_t id : held) EXPECT_TRUE(map.parsed_descriptor(id).has_value()) << std::hex << id;
}

}  // namespace
}  // namespace vendrel::test
