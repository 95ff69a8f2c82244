#include "ndb/page.h"

#include <cstring>
#include <string>

#include "common/crc32.h"
#include "common/errors.h"
#include "ndb/ndb.h"

namespace vendrel {

template <ndb_bidtype bidtype>
pst_page<bidtype>::pst_page(pst_ndb<bidtype>* ndb, page_type type, bidtype bid, bidtype offset)
    : ndb_(ndb), type_(type), bid_(bid), offset_(offset) {}

template <ndb_bidtype bidtype>
pst_page<bidtype>::pst_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
    : ndb_(ndb),
      type_(static_cast<page_type>(trailer::ptype::get(image))),
      bid_(trailer::bid::get(image)),
      offset_(offset),
      dirty_(false) {
  std::memcpy(image_.data(), image, page_size);
}

template <ndb_bidtype bidtype>
void pst_page<bidtype>::seal() {
  uint8_t* p = image_.data();
  trailer::ptype::put(p, static_cast<uint8_t>(type_));
  trailer::ptypeRepeat::put(p, static_cast<uint8_t>(type_));
  trailer::wSig::put(p, compute_sig(offset_, bid_));
  trailer::bid::put(p, bid_);
  trailer::dwCRC::put(p, crc32(p, data_size));
}

template <ndb_bidtype bidtype>
void pst_page<bidtype>::write() {
  if (offset_ == 0) {
    offset_ = ndb_->space().allocate_page();
    bid_ = ndb_->allocate_page_bid();
  }
  if (static_cast<uint64_t>(offset_) + page_size > static_cast<uint64_t>(ndb_->header().file_eof()))
    throw qm_invalid_call("pst_page::write: page at " + std::to_string(offset_) + " lies past the end of the file");
  seal();
  if (type_ != page_type::bbt && type_ != page_type::nbt) ndb_->prepare_map_write();
  ndb_->write_file(offset_, image_.data(), page_size);
  dirty_ = false;
}

template <ndb_bidtype bidtype>
void validate_page_image(const uint8_t* image, bidtype offset, bool check_signature) {
  using trailer = page_trailer_layout<bidtype>;
  std::string where = " (page at " + std::to_string(offset) + ")";
  if (crc32(image, trailer::data_size) != trailer::dwCRC::get(image))
    throw qm_invalid_call("bad page CRC" + where);
  if (check_signature && trailer::wSig::get(image) != compute_sig(offset, trailer::bid::get(image)))
    throw qm_invalid_call("bad page signature" + where);
  uint8_t type = trailer::ptype::get(image);
  if (type != trailer::ptypeRepeat::get(image) || !is_page_type(type))
    throw qm_invalid_call("bad page type" + where);
}

template class pst_page<uint32_t>;
template class pst_page<uint64_t>;
template void validate_page_image<uint32_t>(const uint8_t*, uint32_t, bool);
template void validate_page_image<uint64_t>(const uint8_t*, uint64_t, bool);

}  // namespace vendrel
