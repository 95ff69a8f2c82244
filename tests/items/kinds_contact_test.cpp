// Contacts written into a store and read back from the committed file: the
// names that stand for a contact (display name, account, given name, file
// under, subject), the gender check, the three e-mail slots with their
// one-off entry IDs, the four postal addresses, the rest of the contact
// table, and the contact defaults.
#include <gtest/gtest.h>

#include "kinds_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

using namespace msg;

// PSETID_Address properties under the IDs of the default named property map.
constexpr uint16_t id_file_under = 0x8069;     // LID 0x8005
constexpr uint16_t id_file_under_id = 0x8068;  // LID 0x8006
constexpr uint16_t id_home_address = 0x806A;   // LID 0x801A
constexpr uint16_t id_business_address = 0x806B;
constexpr uint16_t id_other_address = 0x806C;

template <typename V>
class Contact : public kinds_test<V> {
 protected:
  using C = typename V::chartype;
  uint32_t write(const pst_contact_fields<C>& f) {
    auto contact = this->template make<pst_contact_impl>(&pst_store::create_contact);
    if constexpr (V::unicode)
      contact->apply_item_fields(f);
    else
      contact->apply_item_fieldsA(f);
    return this->file(*contact);
  }
  // The ID the store's map gives a PSETID_Address LID.
  uint16_t address_id(uint32_t lid) {
    pst_named_property name;
    name.guid = psetid_address;
    name.id = lid;
    return static_cast<uint16_t>(this->store().named_property_id(name));
  }
  texts<C> t;
};
TYPED_TEST_SUITE(Contact, store_variants, store_variant_name);

TYPED_TEST(Contact, TheNamesThatStandForTheContact) {
  using C = typename TypeParam::chartype;
  struct name_case {
    const char* what;
    const char *given, *middle, *surname, *generation, *full, *account, *company, *file_as, *subject;
    // Expected; nullptr: the property is absent.
    const char *display, *account_out, *given_out, *file_under, *subject_out;
  };
  const name_case cases[] = {
      {"given name and surname", "Ada", nullptr, "Lovelace", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
       "Ada Lovelace ", "Ada Lovelace ", "Ada", "Ada Lovelace ", "Ada Lovelace "},
      {"all parts and a suffix", "Ada", "King", "Lovelace", "Jr.", nullptr, nullptr, nullptr, nullptr, nullptr,
       "Ada King Lovelace Jr.", "Ada King Lovelace Jr.", "Ada", "Ada King Lovelace Jr.", "Ada King Lovelace Jr."},
      {"a full name wins over the parts", "Ada", nullptr, "Lovelace", nullptr, "Countess of Lovelace", nullptr,
       nullptr, nullptr, nullptr, "Countess of Lovelace", "Countess of Lovelace", "Ada", "Countess of Lovelace",
       "Countess of Lovelace"},
      {"an account of its own", nullptr, nullptr, nullptr, nullptr, "Ada L", "ada01", nullptr, nullptr, nullptr,
       "Ada L", "ada01", nullptr, "Ada L", "Ada L"},
      {"only a company", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "Analytical Engines", nullptr, nullptr,
       "Analytical Engines", "Analytical Engines", "Analytical Engines", "Analytical Engines", "\x01\x01"},
      {"filed as", "Ada", nullptr, "Lovelace", nullptr, nullptr, nullptr, nullptr, "Lovelace, Ada", nullptr,
       "Lovelace, Ada", "Ada Lovelace ", "Ada", "Lovelace, Ada", "Ada Lovelace "},
      {"only a subject", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
       "\x01\x01Note to self", "", nullptr, nullptr, "Note to self", "\x01\x01Note to self"},
  };
  auto opt = [&](const char* s) -> std::optional<std::basic_string_view<C>> {
    if (!s) return std::nullopt;
    return this->t(s);
  };
  std::vector<uint32_t> nids;
  for (const auto& c : cases) {
    pst_contact_fields<C> f;
    f.given_name = opt(c.given);
    f.middle_name = opt(c.middle);
    f.surname = opt(c.surname);
    f.generation = opt(c.generation);
    f.full_name = opt(c.full);
    f.account = opt(c.account);
    f.company_name = opt(c.company);
    f.file_as = opt(c.file_as);
    f.shared.subject = opt(c.subject);
    nids.push_back(this->write(f));
  }
  for (size_t i = 0; i < nids.size(); ++i) {
    const name_case& c = cases[i];
    SCOPED_TRACE(c.what);
    decoded_pc pc = this->pc(nids[i]);
    auto expect = [&](uint16_t id, const char* value) {
      if (value)
        EXPECT_EQ(text_of(pc.find(id)), value) << std::hex << id;
      else
        EXPECT_EQ(pc.find(id), nullptr) << std::hex << id;
    };
    expect(id_display_name, c.display);
    expect(0x3A00, c.account_out);
    expect(0x3A06, c.given_out);
    expect(id_file_under, c.file_under);
    expect(id_file_under_id, c.file_as);
    expect(id_subject, c.subject_out);
  }
}

TYPED_TEST(Contact, AGenderOtherThanOneOrTwoIsLoggedAndStoredAnyway) {
  using C = typename TypeParam::chartype;
  const struct {
    uint32_t gender;
    bool stored, logged;
  } cases[] = {{0, false, false}, {1, true, false}, {2, true, false}, {3, true, true}, {0xFFFFFFFF, true, true}};
  std::vector<std::pair<uint32_t, uint64_t>> written;  // NID, the gender expected
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gender);
    const auto log = this->dir / ("gender-" + std::to_string(c.gender) + ".log");
    uint32_t nid;
    {
      log_capture capture(log);
      pst_contact_fields<C> f;
      f.gender = c.gender;
      nid = this->write(f);
      EXPECT_EQ(capture.has("[PST] invalid gender"), c.logged);
    }
    written.push_back({nid, c.stored ? c.gender : ~uint64_t{0}});
  }
  for (const auto& [nid, gender] : written) EXPECT_EQ(number_of(this->pc(nid).find(0x3A4D)), gender);
}

TYPED_TEST(Contact, EmailSlotsCarryTheirAddressesAndOneOffEntryIds) {
  using V = TypeParam;
  using C = typename V::chartype;
  pst_contact_fields<C> f;
  f.email1.address = this->t("ada@example.org");
  f.email1.display_name = this->t("Ada (work)");
  f.email2.address = this->t("ada@home.example");  // no name: the address; no type: SMTP
  f.email3.display_name = this->t("Nobody");       // no address: the placeholder
  f.email3.address_type = this->t("X400");
  const uint32_t nid = this->write(f);
  const struct {
    uint32_t address, name, original, type, entry_id;
    const char *email, *display, *address_type;
  } slots[] = {
      {0x8083, 0x8080, 0x8084, 0x8082, 0x8085, "ada@example.org", "Ada (work)", "SMTP"},
      {0x8093, 0x8090, 0x8094, 0x8092, 0x8095, "ada@home.example", "ada@home.example", "SMTP"},
      {0x80A3, 0x80A0, 0x80A4, 0x80A2, 0x80A5, "unknown@address.invalid", "Nobody", "X400"},
  };
  std::vector<uint16_t> ids[3];
  for (size_t i = 0; i < 3; ++i)
    for (uint32_t lid : {slots[i].address, slots[i].name, slots[i].original, slots[i].type, slots[i].entry_id})
      ids[i].push_back(this->address_id(lid));
  decoded_pc pc = this->pc(nid);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(text_of(pc.find(ids[i][0])), slots[i].email);
    EXPECT_EQ(text_of(pc.find(ids[i][1])), slots[i].display);
    EXPECT_EQ(text_of(pc.find(ids[i][2])), slots[i].display);
    EXPECT_EQ(text_of(pc.find(ids[i][3])), slots[i].address_type);
    const decoded_property* entry = pc.find(ids[i][4]);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->type, prop_type::binary);
    test_address<C> expected(slots[i].email, slots[i].display, slots[i].address_type);
    const uint8_t one_off_uid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                     0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    std::copy(one_off_uid, one_off_uid + 16, expected.entry_id.begin() + 4);
    EXPECT_EQ(entry->bytes, expected.entry_id);
  }
}

TYPED_TEST(Contact, AddressTextsAndTheFirstAddressPartsGoToTheirProperties) {
  using C = typename TypeParam::chartype;
  pst_contact_fields<C> f;
  auto& t = this->t;
  f.home_address.street = t("1 Home Row");
  f.home_address.city = t("Homeville");
  f.home_address.postal_code = t("H1");
  f.home_address.country = t("UK");
  f.home_address.post_office_box = t("PO 7");  // not part of the text
  f.business_address.text = t("Works Ltd, 2 Mill Lane");
  f.business_address.city = t("Milltown");
  f.business_address.street = t("2 Mill Lane");
  f.other_address.state = t("Kent");
  f.mailing_address.text = t("");  // an empty text: the home address comes first
  f.business_telephone = t("+44 1");
  f.mobile_telephone = t("+44 2");
  f.personal_home_page = t("http://ada.example");
  f.web_page = t("http://www.ada.example");
  f.free_busy_address = t("http://free.example");
  f.languages = t("en");
  f.user_field1 = t("one");
  f.user_field4 = t("four");
  f.birthday = 118000000000000000ull;
  f.shared.sensitivity = 2;
  const uint32_t nid = this->write(f);
  std::map<uint32_t, uint16_t> lid;  // looked up before the store is committed
  for (uint32_t l : {0x8046u, 0x8045u, 0x80D8u, 0x804Fu, 0x8050u, 0x8052u}) lid[l] = this->address_id(l);

  decoded_pc pc = this->pc(nid);
  EXPECT_EQ(text_of(pc.find(id_home_address)), "1 Home Row H1 Homeville UK ");
  EXPECT_EQ(text_of(pc.find(id_business_address)), "Works Ltd, 2 Mill Lane");
  EXPECT_EQ(text_of(pc.find(id_other_address)), "Kent ");
  EXPECT_EQ(pc.find(0x3A15), nullptr);  // no mailing text
  // The parts of the home address, the first with a text after the mailing one.
  EXPECT_EQ(text_of(pc.find(0x3A29)), "1 Home Row");
  EXPECT_EQ(text_of(pc.find(0x3A27)), "Homeville");
  EXPECT_EQ(text_of(pc.find(0x3A2A)), "H1");
  EXPECT_EQ(text_of(pc.find(0x3A26)), "UK");
  EXPECT_EQ(text_of(pc.find(0x3A2B)), "PO 7");
  EXPECT_EQ(pc.find(0x3A28), nullptr);
  // Each address's own part properties.
  EXPECT_EQ(text_of(pc.find(0x3A5D)), "1 Home Row");
  EXPECT_EQ(text_of(pc.find(0x3A59)), "Homeville");
  EXPECT_EQ(text_of(pc.find(0x3A5E)), "PO 7");
  EXPECT_EQ(text_of(pc.find(lid[0x8046])), "Milltown");
  EXPECT_EQ(text_of(pc.find(lid[0x8045])), "2 Mill Lane");
  EXPECT_EQ(text_of(pc.find(0x3A62)), "Kent");
  // The rest of the table.
  EXPECT_EQ(text_of(pc.find(0x3A08)), "+44 1");
  EXPECT_EQ(text_of(pc.find(0x3A1C)), "+44 2");
  EXPECT_EQ(text_of(pc.find(0x3A50)), "http://www.ada.example");  // the web page wins
  EXPECT_EQ(text_of(pc.find(lid[0x80D8])), "http://free.example");
  EXPECT_EQ(text_of(pc.find(0x002F)), "en");
  EXPECT_EQ(text_of(pc.find(lid[0x804F])), "one");
  EXPECT_EQ(text_of(pc.find(lid[0x8052])), "four");
  EXPECT_EQ(pc.find(lid[0x8050]), nullptr);
  EXPECT_EQ(number_of(pc.find(0x3A42)), 118000000000000000ull);
  EXPECT_EQ(pc.find(0x3A41), nullptr);
  EXPECT_EQ(number_of(pc.find(0x002E)), 2u);
  EXPECT_EQ(number_of(pc.find(id_sensitivity)), 2u);
}

TYPED_TEST(Contact, ContactDefaultsFillOnlyWhatIsMissing) {
  auto bare = this->template make<pst_contact_impl>(&pst_store::create_contact);
  bare->remove_property(id_message_flags);
  const uint32_t bare_nid = this->file(*bare);
  auto kept = this->template make<pst_contact_impl>(&pst_store::create_contact);
  kept->set_property(string_value<char>(id_message_class, "IPM.Contact.Custom"));
  kept->set_property(kind::long_value(id_internet_codepage, 65001));
  const uint32_t kept_nid = this->file(*kept);

  decoded_pc pc = this->pc(bare_nid);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Contact");
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 512u);
  EXPECT_EQ(number_of(pc.find(id_internet_codepage)), TypeParam::unicode ? 1250u : platform::file_code_page());
  EXPECT_EQ(number_of(pc.find(id_message_flags)), 1u);
  decoded_pc k = this->pc(kept_nid);
  EXPECT_EQ(text_of(k.find(id_message_class)), "IPM.Contact.Custom");
  EXPECT_EQ(number_of(k.find(id_internet_codepage)), 65001u);
  EXPECT_EQ(number_of(k.find(id_message_flags)), 0u);
}

}  // namespace
}  // namespace vendrel::test
