// An attachment of a message: a property set of its own, stored as a
// subnode of the message node (NID type 0x05) and listed as a row of the
// message's attachment table. Its data is a binary property (inline below
// 201 bytes, a stream from 201 on), or an object reference to a subnode of
// the attachment: OLE data (NID type 0x09) or an embedded message (NID type
// 0x04) whose blocks it shares.
#pragma once

#include <cstdint>

#include "ltp/property_set.h"

namespace vendrel {

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_store_impl;

class pst_attachment : public virtual pst_property_set {
 protected:
  ~pst_attachment() override = default;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_attachment_impl : public pst_property_set_impl<bidtype, chartype>, public pst_attachment {
 public:
  using store_type = pst_store_impl<bidtype, chartype>;

  // A new attachment on the store, with the initial properties: method 0,
  // attach flags 0, rendering position -1, link ID 0, attachment flags 0,
  // not hidden.
  explicit pst_attachment_impl(store_type* store);

  // Fills in the data (an empty binary), the exception start and end times
  // (now, as local time) and the attachment size when absent, then writes
  // the property context. The flag reads 1 afterwards.
  void commit() override;

  store_type* store() const { return store_; }

 protected:
  ~pst_attachment_impl() override = default;

 private:
  store_type* store_;
};

extern template class pst_attachment_impl<uint32_t, char>;
extern template class pst_attachment_impl<uint64_t, char16_t>;

}  // namespace vendrel
