// Contacts: a message of the class "IPM.Contact" with the person's names,
// three e-mail slots (PSETID_Address, each with its one-off entry ID), four
// postal addresses, telephone numbers and the rest of the contact table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "items/message.h"
#include "items/message_fields.h"

namespace vendrel {

template <typename CharT>
struct pst_contact_email {
  using view = std::basic_string_view<CharT>;
  std::optional<view> address;
  std::optional<view> address_type;
  std::optional<view> display_name;
};

// One postal address: its text, or the parts it is made of when no text is
// given (street, postal code, city, state, country; the post office box is
// not part of the text).
template <typename CharT>
struct pst_contact_postal_address {
  using view = std::basic_string_view<CharT>;
  std::optional<view> text;
  std::optional<view> street;
  std::optional<view> postal_code;
  std::optional<view> city;
  std::optional<view> state;
  std::optional<view> country;
  std::optional<view> post_office_box;
};

// The contact record in its field order. Strings may be none; times are
// FILETIMEs, 0 meaning not given.
template <typename CharT>
struct pst_contact_fields {
  using view = std::basic_string_view<CharT>;
  using text = std::optional<view>;

  pst_message_fields<CharT> shared;
  text account;
  uint64_t wedding_anniversary = 0;
  text assistant;
  text assistant_telephone;
  uint64_t birthday = 0;
  text business_telephone;
  text business2_telephone;
  pst_contact_postal_address<CharT> business_address;
  text business_fax;
  text business_home_page;
  text callback_telephone;
  text car_telephone;
  text company_name;
  text computer_network_name;
  text customer_id;
  text department;
  pst_contact_email<CharT> email1;
  pst_contact_email<CharT> email2;
  pst_contact_email<CharT> email3;
  text file_as;
  text given_name;
  text ftp_site;
  text full_name;
  uint32_t gender = 0;  // 0 not given, 1 female, 2 male
  text government_id;
  text hobbies;
  text home2_telephone;
  pst_contact_postal_address<CharT> home_address;
  text home_fax;
  text home_telephone;
  text initials;
  text free_busy_address;  // PSETID_Address LID 0x80D8
  text isdn;
  text languages;  // 0x002F001E
  text surname;
  pst_contact_postal_address<CharT> mailing_address;
  text manager_name;
  text middle_name;
  text mobile_telephone;
  text nickname;
  text office_location;
  text organizational_id;
  pst_contact_postal_address<CharT> other_address;
  text primary_fax;
  text other_telephone;
  text pager;
  text personal_home_page;
  text primary_telephone;
  text profession;
  text radio_telephone;
  text referred_by;
  text spouse_name;
  text generation;
  text telex;
  text title;
  text tty_tdd_telephone;
  text web_page;  // PidTagPersonalHomePage too; wins over personal_home_page
  text user_field1;  // PSETID_Address LIDs 0x804F-0x8052
  text user_field2;
  text user_field3;
  text user_field4;
};

class pst_contact : public virtual pst_message {
 public:
  // Slots 16-17.
  virtual void apply_item_fields(const pst_contact_fields<char16_t>& fields) = 0;
  virtual void apply_item_fieldsA(const pst_contact_fields<char>& fields) = 0;

 protected:
  ~pst_contact() override = default;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_contact_impl : public pst_message_impl<bidtype, chartype>, public pst_contact {
 public:
  using store_type = typename pst_message_impl<bidtype, chartype>::store_type;

  explicit pst_contact_impl(store_type* store) : pst_message_impl<bidtype, chartype>(store) {}

  void apply_item_fields(const pst_contact_fields<char16_t>& fields) override;
  void apply_item_fieldsA(const pst_contact_fields<char>& fields) override;
  pst_item_kind item_kind() const override { return pst_item_kind::contact; }
  void commit() override;

 protected:
  ~pst_contact_impl() override = default;

 private:
  template <typename CharT>
  void apply(const pst_contact_fields<CharT>& fields);
  template <typename CharT>
  void apply_emails(const pst_contact_fields<CharT>& fields);
  template <typename CharT>
  void apply_addresses(const pst_contact_fields<CharT>& fields);
  // The ID the store's named property map gives a PSETID_Address LID.
  uint16_t address_property(uint32_t lid);
};

extern template class pst_contact_impl<uint32_t, char>;
extern template class pst_contact_impl<uint64_t, char16_t>;

}  // namespace vendrel
