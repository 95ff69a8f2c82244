// Blocks ([MS-PST] 2.2.2.8): a payload of at most 8180 (ANSI) or 8176
// (Unicode) bytes, zero padding and a BLOCKTRAILER, 64-byte aligned. Every
// layer above writes its data through pst_low_layer_block: a block is made
// empty, filled once, and written once; its BID and file space are taken at
// write time, so BBT entries arrive in ascending BID order. A reserved
// block takes its BID, space and BBT entry up front and is written later
// into that space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/base_object.h"
#include "ndb/btree.h"
#include "ndb/disk.h"
#include "ndb/page.h"
#include "ndb/types.h"

namespace vendrel {

enum class block_kind : uint8_t {
  none = 0,
  stream = 1,        // raw node data written through a stream
  data_tree = 2,     // XBLOCK / XXBLOCK
  subnode_tree = 3,  // SLBLOCK / SIBLOCK
  pc_heap = 4,       // heap blocks of a property context
  tc_heap = 5,       // heap blocks of a table context
};

// Internal blocks take BIDs with bit 1 set and are never encoded.
constexpr bool is_internal_kind(block_kind kind) {
  return kind == block_kind::data_tree || kind == block_kind::subnode_tree;
}
constexpr bool is_encoded_kind(block_kind kind) {
  return kind == block_kind::stream || kind == block_kind::pc_heap || kind == block_kind::tc_heap;
}

template <ndb_bidtype bidtype>
class pst_low_layer_block : public BaseObject, public virtual pst_ph_base {
 public:
  using format = ndb_format<bidtype>;
  using trailer = block_trailer_layout<bidtype>;
  static constexpr size_t max_payload = format::max_block_payload;

  // An empty block, or a reserved one (BID, 8192 bytes of space and the BBT
  // entry are taken now). The node database makes both; see pst_ndb.
  pst_low_layer_block(pst_ndb<bidtype>* ndb, block_kind kind, bool reserved);
  // A block read from the file: `image` holds cb + trailer rounded up to 64
  // bytes as stored. It counts as written; set_kind decodes it.
  pst_low_layer_block(pst_ndb<bidtype>* ndb, const bbt_entry<bidtype>& entry, std::vector<uint8_t> image);

  block_kind kind() const { return kind_; }
  // Sets the kind of a loaded block, decoding its payload for data kinds.
  void set_kind(block_kind kind);

  // Copies the payload. qm_invalid_arg above the largest payload (or for a
  // reserved block, anything but exactly the largest payload); qm_invalid_call
  // once written.
  void set_data(const void* data, size_t size);
  // Places, signs and writes the block and adds its BBT entry (cRef 2: the
  // BBT's own reference and the one its writer will place); returns the
  // BID. A failed file write gives the space back and leaves no BBT entry.
  block_id<bidtype> write();

  // The plain payload (size() bytes).
  const uint8_t* data() const;
  // The plain payload of a block not yet written, for in-place edits.
  uint8_t* mutable_data();
  size_t size() const { return cb_; }
  size_t disk_size() const { return block_disk_size<bidtype>(cb_); }
  // The block as stored (payload, padding, trailer); complete once written.
  const std::vector<uint8_t>& stored_image() const { return image_; }

  block_id<bidtype> bid() const { return bid_; }
  bidtype offset() const { return offset_; }
  bool written() const { return written_; }
  bool reserved() const { return reserved_; }
  uint8_t crypt_method() const { return crypt_; }

 protected:
  ~pst_low_layer_block() override = default;

 private:
  bool encoded() const { return crypt_ != 0 && is_encoded_kind(kind_); }

  pst_ndb<bidtype>* ndb_;
  block_kind kind_;
  uint8_t crypt_;
  // The stored form with its trailer; when the block is encoded the plain
  // form lives in plain_, otherwise the two are this one buffer.
  std::vector<uint8_t> image_;
  std::vector<uint8_t> plain_;
  uint16_t cb_ = 0;
  block_id<bidtype> bid_;
  bidtype offset_ = 0;
  bool filled_ = false;
  bool written_ = false;
  bool reserved_ = false;
  bool decoded_ = false;
};

extern template class pst_low_layer_block<uint32_t>;
extern template class pst_low_layer_block<uint64_t>;

}  // namespace vendrel
