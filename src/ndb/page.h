// Pages ([MS-PST] 2.2.2.7): 512 bytes on 512-byte boundaries, a data part
// and a PAGETRAILER. The B-tree pages and the allocation maps derive from
// pst_page; all of them live in the node database's page cache.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ndb/disk.h"
#include "ndb/types.h"

namespace vendrel {

template <ndb_bidtype bidtype>
class pst_ndb;

// The virtual base of the node database's page and block objects.
class pst_ph_base {
 public:
  virtual ~pst_ph_base() = default;
};

enum class page_type : uint8_t {
  bbt = 0x80,
  nbt = 0x81,
  fmap = 0x82,
  pmap = 0x83,
  amap = 0x84,
  fpmap = 0x85,
};

inline constexpr bool is_page_type(uint8_t value) { return value >= 0x80 && value <= 0x85; }

template <ndb_bidtype bidtype>
class pst_page : public virtual pst_ph_base {
 public:
  using bid_type = bidtype;
  using trailer = page_trailer_layout<bidtype>;
  static constexpr size_t data_size = trailer::data_size;

  // A new page. An offset of 0 means "not placed yet": the first write takes
  // a page and a page BID.
  pst_page(pst_ndb<bidtype>* ndb, page_type type, bidtype bid, bidtype offset);
  // A page read from the file at `offset` (validated by read_page_image).
  pst_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset);
  ~pst_page() override = default;

  // Seals the trailer and writes the 512 bytes in place; clears the dirty flag.
  virtual void write();

  page_type type() const { return type_; }
  bidtype bid() const { return bid_; }
  bidtype offset() const { return offset_; }
  block_ref<bidtype> bref() const { return {block_id<bidtype>(bid_), offset_}; }
  bool dirty() const { return dirty_; }
  void mark_dirty() { dirty_ = true; }

  uint8_t* data() { return image_.data(); }
  const uint8_t* data() const { return image_.data(); }
  // The whole image as last sealed.
  const uint8_t* image() const { return image_.data(); }

 protected:
  // Fills ptype, ptypeRepeat, wSig, bid and dwCRC.
  void seal();

  pst_ndb<bidtype>* ndb_;
  std::array<uint8_t, page_size> image_{};
  page_type type_;
  bidtype bid_;
  bidtype offset_;
  bool dirty_ = true;
};

// Checks a page image read at `offset`: the CRC of the data part, ptype
// equal to ptypeRepeat and one of 0x80..0x85, and (when asked) wSig against
// ComputeSig(offset, stored BID). Each failure is qm_invalid_call.
template <ndb_bidtype bidtype>
void validate_page_image(const uint8_t* image, bidtype offset, bool check_signature);

extern template class pst_page<uint32_t>;
extern template class pst_page<uint64_t>;

}  // namespace vendrel
