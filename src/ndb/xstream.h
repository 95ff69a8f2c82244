// Streams over node data. pst_xstream writes (and reads back) a node's data
// in chunks of one block's payload: chunk i is data block i. While the data
// fits one block the stream keeps that block's BID; past it, a data tree.
// commit() returns the BID the node records as its bidData.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/base_object.h"
#include "ndb/data_tree.h"
#include "ndb/page.h"
#include "ndb/types.h"

namespace vendrel {

class pst_const_stream : public BaseObject, public virtual pst_ph_base {
 public:
  virtual uint64_t size() const = 0;
  // Positions the stream; a position beyond the size is clamped to it.
  virtual uint64_t seek(uint64_t position) = 0;
  virtual uint64_t position() const = 0;
  // Reads up to n bytes; fewer at the end of the data.
  virtual size_t read(void* buffer, size_t n) = 0;
  // Seeks, then reads; 0 when the seek does not reach the position.
  virtual size_t read_at(uint64_t position, void* buffer, size_t n) = 0;
  virtual bool at_end() const = 0;
  virtual size_t chunk_size() const = 0;
};

class pst_stream : public pst_const_stream {
 public:
  // Writes n bytes at the position; returns the new position.
  virtual uint64_t write(const void* buffer, size_t n) = 0;
  // Seeks to `position` (which must not lie beyond the size, else
  // qm_invalid_call), then writes.
  virtual uint64_t write_at(uint64_t position, const void* buffer, size_t n) = 0;
  // Only the current size is accepted: streams neither shrink nor jump.
  virtual void set_size(uint64_t size) = 0;
};

template <ndb_bidtype bidtype>
class pst_xstream final : public pst_stream {
 public:
  explicit pst_xstream(pst_ndb<bidtype>* ndb);
  // A stream over stored node data (one data block or a data tree).
  static ref<pst_xstream> open(pst_ndb<bidtype>* ndb, block_id<bidtype> bid);

  uint64_t size() const override { return size_; }
  uint64_t seek(uint64_t position) override;
  uint64_t position() const override { return position_; }
  size_t read(void* buffer, size_t n) override;
  size_t read_at(uint64_t position, void* buffer, size_t n) override;
  bool at_end() const override { return position_ >= size_; }
  size_t chunk_size() const override { return chunk; }
  uint64_t write(const void* buffer, size_t n) override;
  uint64_t write_at(uint64_t position, const void* buffer, size_t n) override;
  void set_size(uint64_t size) override;

  // The node's data BID: the single block's (0 when empty) or the data
  // tree's top, written now if it changed. The first commit after a change
  // hands the BID's reference to the caller, who places it (and releases
  // the BID it replaces); a commit without change returns the same BID and
  // no further reference.
  block_id<bidtype> commit();

  static constexpr size_t chunk = ndb_format<bidtype>::max_block_payload;

 protected:
  ~pst_xstream() override = default;

 private:
  size_t chunk_count() const { return static_cast<size_t>((size_ + chunk - 1) / chunk); }
  size_t chunk_length(size_t index) const;
  // Reads the first `size` bytes of chunk i (through a one-chunk cache).
  const uint8_t* load_chunk(size_t index, size_t size);
  void append_chunk(const uint8_t* data, size_t size);
  void rewrite_chunk(size_t index, const uint8_t* data, size_t size);
  block_id<bidtype> write_chunk_block(const uint8_t* data, size_t size);

  pst_ndb<bidtype>* ndb_;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
  block_id<bidtype> single_;
  bool single_held_ = false;  // single_'s reference is the stream's (not handed out yet)
  std::unique_ptr<pst_data_tree<bidtype>> tree_;
  // The last chunk read, so that small sequential reads load each block once.
  size_t cached_index_ = static_cast<size_t>(-1);
  std::vector<uint8_t> cached_;
};

extern template class pst_xstream<uint32_t>;
extern template class pst_xstream<uint64_t>;

}  // namespace vendrel
