#include "items/attachment.h"

#include "common/errors.h"
#include "items/message_tags.h"
#include "platform/platform.h"
#include "store/store.h"

namespace vendrel {

namespace {
constexpr uint16_t pt_long = prop_type::i4;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_attachment_impl<bidtype, chartype>::pst_attachment_impl(store_type* store)
    : pst_property_set_impl<bidtype, chartype>(store ? store->writer() : nullptr, 0), store_(store) {
  if (!store_) throw qm_invalid_arg("pst_attachment_impl: no store");
  using namespace msg;
  // Called on the property set directly: in a constructor the compiler
  // cannot see through the virtual base to the final overrider.
  auto initial = [this](const pst_property_value& value) {
    pst_property_set_impl<bidtype, chartype>::set_property(value);
  };
  initial(pst_property_value::of_u32(make_tag(id_attach_method, pt_long), 0));
  initial(pst_property_value::of_u32(make_tag(id_attach_flags, pt_long), 0));
  initial(pst_property_value::of_u32(make_tag(id_rendering_position, pt_long), 0xFFFFFFFFu));
  initial(pst_property_value::of_u32(make_tag(id_attachment_link_id, pt_long), 0));
  initial(pst_property_value::of_u32(make_tag(id_attachment_flags, pt_long), 0));
  initial(pst_property_value::of_bool(make_tag(id_attachment_hidden, prop_type::boolean), false));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_attachment_impl<bidtype, chartype>::commit() {
  using namespace msg;
  if (!this->get_property(id_attach_data))
    this->set_property(pst_property_value(make_tag(id_attach_data, prop_type::binary), nullptr, 0));
  uint64_t local = 0;
  if (!platform::filetime_to_local_filetime(platform::system_time_as_filetime(), &local))
    local = platform::system_time_as_filetime();
  if (!this->get_property(id_exception_start_time))
    this->set_property(pst_property_value::of_u64(make_tag(id_exception_start_time, prop_type::systime), local));
  if (!this->get_property(id_exception_end_time))
    this->set_property(pst_property_value::of_u64(make_tag(id_exception_end_time, prop_type::systime), local));
  // Readers list the attachment table's size column; it tells the size of
  // the data (the object's recorded size for OLE data and messages).
  if (!this->get_property(id_attach_size)) {
    const pst_property_value* data = this->get_property(id_attach_data);
    uint64_t size = data->size();
    if (data->type() == prop_type::object && data->data() && data->size() == 8)
      size = get_le<uint32_t>(data->data() + 4);
    this->set_property(pst_property_value::of_u32(make_tag(id_attach_size, pt_long),
                                                  static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFFu))));
  }
  pst_property_set_impl<bidtype, chartype>::commit();
  this->set_flag(1);
}

template class pst_attachment_impl<uint32_t, char>;
template class pst_attachment_impl<uint64_t, char16_t>;

}  // namespace vendrel
