#include "interface/one_off_address.h"

#include <optional>

namespace vendrel {

template <typename CharT>
void OneOffAddress<CharT>::build(const CharT* email, const CharT* display_name, const CharT* address_type) {
  clear();
  auto given = [](const CharT* text) { return text ? std::optional<view>(text) : std::nullopt; };
  const pst_one_off_entry<CharT> entry(given(email), given(display_name), given(address_type));
  entry_id_ = entry.entry_id();
  email_ = entry.email();
  display_name_ = entry.display_name();
  address_type_ = entry.address_type();
  search_key_ = entry.search_key();
}

template <typename CharT>
void OneOffAddress<CharT>::clear() {
  entry_id_.clear();
  email_.clear();
  display_name_.clear();
  address_type_.clear();
  search_key_.clear();
}

template <typename CharT>
uint32_t OneOffAddress<CharT>::entry_id_length() const {
  return static_cast<uint32_t>(entry_id_.size() / sizeof(CharT));
}

template class OneOffAddress<char>;
template class OneOffAddress<char16_t>;

}  // namespace vendrel
