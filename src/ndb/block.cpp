#include "ndb/block.h"

#include <cstring>
#include <string>

#include "common/crc32.h"
#include "common/errors.h"
#include "ndb/encoding.h"
#include "ndb/ndb.h"

namespace vendrel {

template <ndb_bidtype bidtype>
pst_low_layer_block<bidtype>::pst_low_layer_block(pst_ndb<bidtype>* ndb, block_kind kind, bool reserved)
    : ndb_(ndb), kind_(kind), crypt_(ndb->header().crypt()), reserved_(reserved) {
  if (!reserved) return;
  if (kind == block_kind::none) throw qm_invalid_call("a reserved block needs a kind");
  cb_ = static_cast<uint16_t>(max_payload);
  image_.assign(max_block_size, 0);
  if (encoded()) plain_.assign(max_payload, 0);
  bid_ = ndb->allocate_bid(kind);
  offset_ = ndb->space().allocate_block_space(max_block_size);
  ndb->bbt().add(bid_, offset_, cb_, pst_ndb<bidtype>::written_cref);
}

template <ndb_bidtype bidtype>
pst_low_layer_block<bidtype>::pst_low_layer_block(pst_ndb<bidtype>* ndb, const bbt_entry<bidtype>& entry,
                                                  std::vector<uint8_t> image)
    : ndb_(ndb),
      kind_(block_kind::none),
      crypt_(ndb->header().crypt()),
      image_(std::move(image)),
      cb_(entry.cb),
      bid_(entry.bref.bid),
      offset_(entry.bref.ib),
      filled_(true),
      written_(true) {
  std::string where = " (block " + std::to_string(bid_.value()) + " at " + std::to_string(offset_) + ")";
  if (cb_ > max_payload || image_.size() != block_disk_size<bidtype>(cb_))
    throw qm_invalid_call("bad block size" + where);
  const uint8_t* t = image_.data() + image_.size() - trailer::size;
  if (trailer::cb::get(t) != cb_ || trailer::bid::get(t) != bid_.value())
    throw qm_invalid_call("block trailer does not match its BBT entry" + where);
  if (trailer::dwCRC::get(t) != crc32(image_.data(), cb_)) throw qm_invalid_call("bad block CRC" + where);
  if (trailer::wSig::get(t) != compute_sig(offset_, bid_.value()))
    throw qm_invalid_call("bad block signature" + where);
}

template <ndb_bidtype bidtype>
void pst_low_layer_block<bidtype>::set_kind(block_kind kind) {
  kind_ = kind;
  if (written_ && encoded() && !decoded_) {
    plain_.assign(image_.begin(), image_.begin() + cb_);
    decode_block_data(crypt_, plain_.data(), cb_, bid_.value());
    decoded_ = true;
  }
}

template <ndb_bidtype bidtype>
void pst_low_layer_block<bidtype>::set_data(const void* data, size_t size) {
  if (written_) throw qm_invalid_call("set_data on a block already written");
  if (size > max_payload)
    throw qm_invalid_arg("block payload of " + std::to_string(size) + " bytes exceeds " +
                         std::to_string(max_payload));
  if (reserved_ && size != max_payload)
    throw qm_invalid_arg("a reserved block takes exactly " + std::to_string(max_payload) + " bytes");
  if (data == nullptr && size != 0) throw qm_invalid_arg("block data pointer not readable");
  cb_ = static_cast<uint16_t>(size);
  image_.assign(block_disk_size<bidtype>(size), 0);
  if (encoded()) {
    plain_.assign(size, 0);
    if (size) std::memcpy(plain_.data(), data, size);
  } else if (size) {
    std::memcpy(image_.data(), data, size);
  }
  filled_ = true;
}

template <ndb_bidtype bidtype>
const uint8_t* pst_low_layer_block<bidtype>::data() const {
  return encoded() && (!written_ || decoded_) ? plain_.data() : image_.data();
}

template <ndb_bidtype bidtype>
uint8_t* pst_low_layer_block<bidtype>::mutable_data() {
  if (written_) throw qm_invalid_call("a written block cannot change");
  if (image_.empty()) throw qm_invalid_call("the block has no payload yet");
  filled_ = true;
  return encoded() ? plain_.data() : image_.data();
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_low_layer_block<bidtype>::write() {
  if (written_) throw qm_invalid_call("block already written");
  if (kind_ == block_kind::none) throw qm_invalid_call("block of kind 0 cannot be written");
  if (!filled_ || cb_ == 0) throw qm_invalid_call("block without data cannot be written");
  size_t size = disk_size();
  if (!reserved_) {
    offset_ = ndb_->space().allocate_block_space(size);
    if (offset_ == 0) throw qm_invalid_call("no file space for a block");
    bid_ = ndb_->allocate_bid(kind_);
  }
  if (encoded()) {
    std::memcpy(image_.data(), plain_.data(), cb_);
    encode_block_data(crypt_, image_.data(), cb_, bid_.value());
  }
  uint8_t* t = image_.data() + size - trailer::size;
  trailer::cb::put(t, cb_);
  trailer::wSig::put(t, compute_sig(offset_, bid_.value()));
  trailer::bid::put(t, bid_.value());
  trailer::dwCRC::put(t, crc32(image_.data(), cb_));
  try {
    ndb_->write_file(offset_, image_.data(), size);
  } catch (...) {
    // The block never reached the file: its space goes back to the map (a
    // reserved block keeps its space and BBT entry for a later try).
    if (!reserved_) ndb_->space().free_block_space(offset_, size);
    throw;
  }
  if (!reserved_) ndb_->bbt().add(bid_, offset_, cb_, pst_ndb<bidtype>::written_cref);
  written_ = true;
  decoded_ = true;
  return bid_;
}

template class pst_low_layer_block<uint32_t>;
template class pst_low_layer_block<uint64_t>;

}  // namespace vendrel
