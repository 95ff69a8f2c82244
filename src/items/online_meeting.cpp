#include "items/online_meeting.h"

#include "items/kind_tags.h"

namespace vendrel {

using namespace msg;

template <typename CharT>
void apply_online_meeting(pst_property_set& item, const pst_online_meeting_fields<CharT>& m) {
  if (m.auto_start) item.set_property(kind::bool_value(id_auto_start_check, true));
  item.set_property(kind::long_value(id_conferencing_type, m.conferencing_type));
  if (m.collaboration_document) item.set_property(kind::text_value<CharT>(id_collaborate_doc, *m.collaboration_document));
  if (m.organizer_alias) item.set_property(kind::text_value<CharT>(id_organizer_alias, *m.organizer_alias));
  if (m.directory) item.set_property(kind::text_value<CharT>(id_directory, *m.directory));
  if (m.net_show_url) item.set_property(kind::text_value<CharT>(id_net_show_url, *m.net_show_url));
}

template void apply_online_meeting<char>(pst_property_set&, const pst_online_meeting_fields<char>&);
template void apply_online_meeting<char16_t>(pst_property_set&, const pst_online_meeting_fields<char16_t>&);

}  // namespace vendrel
