#include "items/body_code_page.h"
#include "items/contact.h"

#include <span>
#include <string>

#include "common/logger.h"
#include "items/kind_tags.h"
#include "items/message_tags.h"
#include "items/one_off_entry.h"
#include "store/store.h"

namespace vendrel {

using namespace msg;
using kind::long_value;
using kind::time_value;

namespace {

// Standard contact properties.
constexpr uint16_t id_account = 0x3A00;
constexpr uint16_t id_given_name = 0x3A06;
constexpr uint16_t id_postal_address = 0x3A15;
constexpr uint16_t id_country = 0x3A26;
constexpr uint16_t id_locality = 0x3A27;
constexpr uint16_t id_state_or_province = 0x3A28;
constexpr uint16_t id_street_address = 0x3A29;
constexpr uint16_t id_postal_code = 0x3A2A;
constexpr uint16_t id_post_office_box = 0x3A2B;
constexpr uint16_t id_ftp_site = 0x3A4C;
constexpr uint16_t id_gender = 0x3A4D;

// PSETID_Address LIDs.
constexpr uint32_t lid_file_under = 0x8005;
constexpr uint32_t lid_file_under_id = 0x8006;
constexpr uint32_t lid_home_address = 0x801A;
constexpr uint32_t lid_business_address = 0x801B;
constexpr uint32_t lid_other_address = 0x801C;

// The five LIDs of an e-mail slot: address, display name, original display
// name, address type, one-off entry ID.
struct email_lids {
  uint32_t address, display_name, original_display_name, address_type, entry_id;
};
constexpr email_lids email_slot_lids[3] = {
    {0x8083, 0x8080, 0x8084, 0x8082, 0x8085},
    {0x8093, 0x8090, 0x8094, 0x8092, 0x8095},
    {0x80A3, 0x80A0, 0x80A4, 0x80A2, 0x80A5},
};

// A text field's property: a standard tag, or a PSETID_Address LID.
struct text_target {
  uint16_t id;   // standard property ID, 0 for a LID
  uint32_t lid;  // PSETID_Address LID, 0 for a standard ID
};
constexpr text_target standard(uint16_t id) { return {id, 0}; }
constexpr text_target address_lid(uint32_t lid) { return {0, lid}; }

template <typename CharT>
using text_member = std::optional<std::basic_string_view<CharT>> pst_contact_fields<CharT>::*;
template <typename CharT>
using part_member = std::optional<std::basic_string_view<CharT>> pst_contact_postal_address<CharT>::*;

template <typename CharT>
struct text_field {
  text_member<CharT> member;
  text_target target;
};
template <typename CharT>
struct part_field {
  pst_contact_postal_address<CharT> pst_contact_fields<CharT>::*address;
  part_member<CharT> part;
  text_target target;
};

// The fields set as they are, in the record's order; web_page follows
// personal_home_page so that it wins when both are given.
template <typename CharT>
std::span<const text_field<CharT>> plain_text_fields() {
  using F = pst_contact_fields<CharT>;
  static const text_field<CharT> fields[] = {
      {&F::assistant, standard(0x3A30)},
      {&F::assistant_telephone, standard(0x3A2E)},
      {&F::business_telephone, standard(0x3A08)},
      {&F::business2_telephone, standard(0x3A1B)},
      {&F::business_fax, standard(0x3A24)},
      {&F::business_home_page, standard(0x3A51)},
      {&F::callback_telephone, standard(0x3A02)},
      {&F::car_telephone, standard(0x3A1E)},
      {&F::company_name, standard(0x3A16)},
      {&F::computer_network_name, standard(0x3A49)},
      {&F::customer_id, standard(0x3A4A)},
      {&F::department, standard(0x3A18)},
      {&F::government_id, standard(0x3A07)},
      {&F::hobbies, standard(0x3A43)},
      {&F::home2_telephone, standard(0x3A2F)},
      {&F::home_fax, standard(0x3A25)},
      {&F::home_telephone, standard(0x3A09)},
      {&F::initials, standard(0x3A0A)},
      {&F::free_busy_address, address_lid(0x80D8)},
      {&F::isdn, standard(0x3A2D)},
      {&F::languages, standard(0x002F)},
      {&F::surname, standard(0x3A11)},
      {&F::manager_name, standard(0x3A4E)},
      {&F::middle_name, standard(0x3A44)},
      {&F::mobile_telephone, standard(0x3A1C)},
      {&F::nickname, standard(0x3A4F)},
      {&F::office_location, standard(0x3A19)},
      {&F::organizational_id, standard(0x3A10)},
      {&F::primary_fax, standard(0x3A23)},
      {&F::other_telephone, standard(0x3A1F)},
      {&F::pager, standard(0x3A21)},
      {&F::personal_home_page, standard(0x3A50)},
      {&F::primary_telephone, standard(0x3A1A)},
      {&F::profession, standard(0x3A46)},
      {&F::radio_telephone, standard(0x3A1D)},
      {&F::referred_by, standard(0x3A47)},
      {&F::spouse_name, standard(0x3A48)},
      {&F::generation, standard(0x3A05)},
      {&F::telex, standard(0x3A2C)},
      {&F::title, standard(0x3A17)},
      {&F::tty_tdd_telephone, standard(0x3A4B)},
      {&F::web_page, standard(0x3A50)},
      {&F::user_field1, address_lid(0x804F)},
      {&F::user_field2, address_lid(0x8050)},
      {&F::user_field3, address_lid(0x8051)},
      {&F::user_field4, address_lid(0x8052)},
  };
  return std::span<const text_field<CharT>>(fields);
}

// The parts of the business, home and other addresses, each to its own property.
template <typename CharT>
std::span<const part_field<CharT>> address_part_fields() {
  using F = pst_contact_fields<CharT>;
  using A = pst_contact_postal_address<CharT>;
  static const part_field<CharT> fields[] = {
      {&F::business_address, &A::city, address_lid(0x8046)},
      {&F::business_address, &A::country, address_lid(0x8049)},
      {&F::business_address, &A::postal_code, address_lid(0x8048)},
      {&F::business_address, &A::post_office_box, address_lid(0x804A)},
      {&F::business_address, &A::state, address_lid(0x8047)},
      {&F::business_address, &A::street, address_lid(0x8045)},
      {&F::home_address, &A::city, standard(0x3A59)},
      {&F::home_address, &A::country, standard(0x3A5A)},
      {&F::home_address, &A::postal_code, standard(0x3A5B)},
      {&F::home_address, &A::post_office_box, standard(0x3A5E)},
      {&F::home_address, &A::state, standard(0x3A5C)},
      {&F::home_address, &A::street, standard(0x3A5D)},
      {&F::other_address, &A::city, standard(0x3A5F)},
      {&F::other_address, &A::country, standard(0x3A60)},
      {&F::other_address, &A::postal_code, standard(0x3A61)},
      {&F::other_address, &A::post_office_box, standard(0x3A64)},
      {&F::other_address, &A::state, standard(0x3A62)},
      {&F::other_address, &A::street, standard(0x3A63)},
  };
  return std::span<const part_field<CharT>>(fields);
}

template <typename CharT>
bool has_text(const std::optional<std::basic_string_view<CharT>>& text) {
  return text && !text->empty();
}

// An address's text: its text field when given, else its present parts,
// each followed by one blank.
template <typename CharT>
std::basic_string<CharT> address_text(const pst_contact_postal_address<CharT>& a) {
  if (a.text) return std::basic_string<CharT>(*a.text);
  std::basic_string<CharT> out;
  for (const auto* part : {&a.street, &a.postal_code, &a.city, &a.state, &a.country}) {
    if (!has_text(*part)) continue;
    out.append(**part);
    out.push_back(CharT(' '));
  }
  return out;
}

// A subject without its prefix code (code unit 1, then the prefix length + 1).
template <typename CharT>
std::basic_string_view<CharT> subject_without_prefix(std::basic_string_view<CharT> subject) {
  if (subject.size() >= 2 && subject[0] == CharT(1)) subject.remove_prefix(2);
  return subject;
}

}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint16_t pst_contact_impl<bidtype, chartype>::address_property(uint32_t lid) {
  pst_named_property name;
  name.guid = psetid_address;
  name.kind = 0;
  name.id = lid;
  return static_cast<uint16_t>(this->store()->named_property_id(name));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_contact_impl<bidtype, chartype>::apply_emails(const pst_contact_fields<CharT>& f) {
  const pst_contact_email<CharT>* slots[3] = {&f.email1, &f.email2, &f.email3};
  for (size_t i = 0; i < 3; ++i) {
    const pst_contact_email<CharT>& slot = *slots[i];
    if (!slot.address && !slot.display_name) continue;
    const pst_one_off_entry<CharT> entry(slot.address, slot.display_name, slot.address_type);
    const email_lids& lids = email_slot_lids[i];
    this->set_property(kind::text_value<CharT>(address_property(lids.address), entry.email()));
    this->set_property(kind::text_value<CharT>(address_property(lids.display_name), entry.display_name()));
    this->set_property(kind::text_value<CharT>(address_property(lids.original_display_name), entry.display_name()));
    this->set_property(kind::text_value<CharT>(address_property(lids.address_type), entry.address_type()));
    this->set_property(pst_property_value(make_tag(address_property(lids.entry_id), prop_type::binary),
                                          entry.entry_id().data(), entry.entry_id().size()));
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_contact_impl<bidtype, chartype>::apply_addresses(const pst_contact_fields<CharT>& f) {
  const auto home = address_text(f.home_address);
  const auto business = address_text(f.business_address);
  const auto other = address_text(f.other_address);
  const auto mailing = address_text(f.mailing_address);
  if (!home.empty()) this->set_property(kind::text_value<CharT>(address_property(lid_home_address), home));
  if (!business.empty()) this->set_property(kind::text_value<CharT>(address_property(lid_business_address), business));
  if (!other.empty()) this->set_property(kind::text_value<CharT>(address_property(lid_other_address), other));
  if (!mailing.empty()) this->set_property(kind::text_value<CharT>(id_postal_address, mailing));

  // The parts of the first address that has a text, mailing address first.
  const pst_contact_postal_address<CharT>* first = nullptr;
  if (!mailing.empty()) first = &f.mailing_address;
  else if (!home.empty()) first = &f.home_address;
  else if (!business.empty()) first = &f.business_address;
  else if (!other.empty()) first = &f.other_address;
  if (!first) return;
  const std::pair<const std::optional<std::basic_string_view<CharT>>*, uint16_t> parts[] = {
      {&first->city, id_locality},           {&first->country, id_country},
      {&first->postal_code, id_postal_code}, {&first->post_office_box, id_post_office_box},
      {&first->state, id_state_or_province}, {&first->street, id_street_address},
  };
  for (const auto& [part, id] : parts)
    if (has_text(*part)) this->set_property(kind::text_value<CharT>(id, **part));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
void pst_contact_impl<bidtype, chartype>::apply(const pst_contact_fields<CharT>& f) {
  using string = std::basic_string<CharT>;
  using view = std::basic_string_view<CharT>;
  if constexpr (std::is_same_v<CharT, char>)
    pst_message_impl<bidtype, chartype>::apply_fieldsA(f.shared);
  else
    pst_message_impl<bidtype, chartype>::apply_fields(f.shared);
  apply_emails(f);
  apply_addresses(f);

  auto set_text = [&](uint16_t id, view text) { this->set_property(kind::text_value<CharT>(id, text)); };

  // 1. The full name, or the name parts each followed by a blank, then the suffix.
  string full_name;
  if (f.full_name) {
    full_name = string(*f.full_name);
  } else {
    for (const auto* part : {&f.given_name, &f.middle_name, &f.surname}) {
      if (!has_text(*part)) continue;
      full_name.append(**part);
      full_name.push_back(CharT(' '));
    }
    if (f.generation) full_name.append(*f.generation);
  }

  // 2. Account, and the names that stand for the contact.
  bool named = false;
  if (f.account) {
    set_text(id_account, *f.account);
  } else if (!full_name.empty() || f.company_name) {
    const view name = !full_name.empty() ? view(full_name) : *f.company_name;
    set_text(id_account, name);
    set_text(id_given_name, name);
    set_text(id_display_name, name);
    named = true;
  }

  // 3. What the contact is filed as.
  if (f.file_as) {
    set_text(id_given_name, *f.file_as);
    set_text(id_display_name, *f.file_as);
    set_text(address_property(lid_file_under), *f.file_as);
    set_text(address_property(lid_file_under_id), *f.file_as);
    named = true;
  } else if (!full_name.empty()) {
    set_text(address_property(lid_file_under), full_name);
  } else if (f.company_name) {
    set_text(address_property(lid_file_under), *f.company_name);
  } else if (f.shared.subject) {
    set_text(address_property(lid_file_under), subject_without_prefix(*f.shared.subject));
  }
  // A contact with an account of its own is still shown under its name.
  if (!named && (!full_name.empty() || f.company_name))
    set_text(id_display_name, !full_name.empty() ? view(full_name) : *f.company_name);

  // 4. Given name, FTP site, and the full name as the subject when there is none.
  if (f.given_name) set_text(id_given_name, *f.given_name);
  if (f.ftp_site) set_text(id_ftp_site, *f.ftp_site);
  if (!full_name.empty() && !f.shared.subject) set_text(id_subject, full_name);

  // 5. Gender: 1 female, 2 male; anything else is stored as given, and logged.
  if (f.gender) {
    if (f.gender != 1 && f.gender != 2) logger().write_line("[PST] invalid gender");
    this->set_property(long_value(id_gender, f.gender));
  }

  // 6. The other fields, each when given.
  if (f.wedding_anniversary) this->set_property(time_value(0x3A41, f.wedding_anniversary));
  if (f.birthday) this->set_property(time_value(0x3A42, f.birthday));
  auto set_target = [&](const text_target& target, view text) {
    set_text(target.lid ? address_property(target.lid) : target.id, text);
  };
  for (const auto& field : address_part_fields<CharT>()) {
    const auto& part = (f.*field.address).*field.part;
    if (part) set_target(field.target, *part);
  }
  for (const auto& field : plain_text_fields<CharT>())
    if (f.*field.member) set_target(field.target, *(f.*field.member));
  if (f.shared.sensitivity) this->set_property(long_value(id_original_sensitivity, f.shared.sensitivity));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_contact_impl<bidtype, chartype>::apply_item_fields(const pst_contact_fields<char16_t>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_contact_impl<bidtype, chartype>::apply_item_fieldsA(const pst_contact_fields<char>& fields) {
  apply(fields);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_contact_impl<bidtype, chartype>::commit() {
  pst_property_set& self = *this;
  kind::set_default(self, long_value(id_message_flags, 1));
  kind::set_default(self, long_value(id_icon_index, 512));
  kind::set_default(self, long_value(id_internet_codepage, default_internet_code_page(std::is_same_v<chartype, char>)));
  kind::set_default(self, string_value<char>(id_message_class, "IPM.Contact"));
  pst_message_impl<bidtype, chartype>::commit();
}

template class pst_contact_impl<uint32_t, char>;
template class pst_contact_impl<uint64_t, char16_t>;

}  // namespace vendrel
