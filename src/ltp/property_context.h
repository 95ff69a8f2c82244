// Property context ([MS-PST] 2.3.3): a heap with client signature 0xBC whose
// user root is a BTH from 16-bit property IDs to (type, HNID). pst_bc_block
// is its block 0 with the extra blocks of the heap; commit_property_context
// places every value inline, in the heap or in a subnode and writes it all.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ltp/bth.h"
#include "ltp/heap.h"
#include "ltp/property_set.h"
#include "ltp/property_value.h"

namespace vendrel {

// The HNHDR's fill levels cover eight blocks; a property context stops there.
inline constexpr size_t pc_max_blocks = 8;
// Values up to this size may go to the heap; larger ones go to subnodes.
inline constexpr size_t pc_heap_value_limit = 512;
// Heap bytes of values placed by the size rule before the rest go to subnodes.
inline constexpr size_t pc_heap_budget = 6180;
inline constexpr uint32_t pc_user_root = 0x20;

// Sets nibble `position` (0..7) of an HNHDR's fill levels.
void put_hnhdr_fill_level(uint8_t* block0, size_t position, size_t used_size);

template <ndb_bidtype bidtype>
class pst_bc_block : public pst_entries_block<bidtype> {
 public:
  // Block 0 of a new PC: HNHDR (0xEC, 0xBC), the BTH header as HID 0x20.
  pst_bc_block();

  // Allocates a value in block 0, else in the extra blocks in order, else in
  // a new extra block; returns its HID. A ninth block is qm_invalid_arg.
  uint32_t allocate(const void* data, size_t size);
  // One BTH record (appended; sorted when the record array is written).
  void add_record(uint16_t id, uint16_t type, uint32_t hnid);
  // Sorts the records, allocates the record array and points hidRoot at it.
  void write_records();

  size_t block_count() const { return 1 + extra_.size(); }
  pst_entries_block<bidtype>& block(size_t i) { return i == 0 ? *this : *extra_[i - 1]; }
  const std::vector<uint8_t>& records() const { return records_; }

  // Fill levels live in the HNHDR (positions 0..7).
  void set_fill_level(size_t position, size_t used_size) override;
  // Records the fill levels of all blocks, writes each block and, with extra
  // blocks, the data tree over them; returns the node's data BID.
  virtual bidtype write_all(pst_node_writer<bidtype>& writer);
  // The block images as they are written (for checks and tests).
  std::vector<std::vector<uint8_t>> images();

 private:
  void record_fill_levels();

  std::vector<uint8_t> records_;  // 8 bytes per record
  std::vector<std::unique_ptr<pst_entries_block<bidtype>>> extra_;
};

// Where commit placed one property.
enum class pc_placement : uint8_t { inline_value, heap, subnode, empty };

// Builds and writes the PC of `props` for a node. Subnode values get new
// NIDs from the writer and are written as data streams; `extra` subnodes are
// listed with them. `previous_sub` is the node's subnode BID of the last
// commit (0 for none).
template <ndb_bidtype bidtype>
pc_commit_result<bidtype> commit_property_context(pst_node_writer<bidtype>& writer,
                                                  const std::map<uint16_t, pst_property_value>& props,
                                                  const std::vector<ltp_subnode<bidtype>>& extra,
                                                  bidtype previous_sub);

}  // namespace vendrel
