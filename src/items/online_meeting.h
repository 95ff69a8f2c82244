// The online-meeting record of appointments and tasks, and the properties
// it becomes: PidLidAutoStartCheck, PidLidConferencingType and the four
// texts PidLidCollaborateDoc, PidLidOrganizerAlias, PidLidDirectory and
// PidLidNetShowUrl.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ltp/property_set.h"

namespace vendrel {

template <typename CharT>
struct pst_online_meeting_fields {
  using view = std::basic_string_view<CharT>;

  bool auto_start = false;
  std::optional<view> collaboration_document;
  std::optional<view> organizer_alias;
  std::optional<view> directory;
  uint32_t conferencing_type = 0;  // always set
  std::optional<view> net_show_url;
};

template <typename CharT>
void apply_online_meeting(pst_property_set& item, const pst_online_meeting_fields<CharT>& meeting);

extern template void apply_online_meeting<char>(pst_property_set&, const pst_online_meeting_fields<char>&);
extern template void apply_online_meeting<char16_t>(pst_property_set&, const pst_online_meeting_fields<char16_t>&);

}  // namespace vendrel
