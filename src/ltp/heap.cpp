#include "ltp/heap.h"

#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "common/logger.h"

namespace vendrel {

uint8_t heap_fill_level(size_t used) {
  // Thresholds against 8180 bytes: level i while used is below entry i.
  static constexpr size_t thresholds[] = {4597, 5620, 6132, 6388, 6644, 6900, 7156, 7412,
                                          7668, 7924, 8052, 8116, 8148, 8164, 8172};
  uint8_t level = 0;
  for (size_t t : thresholds) {
    if (used < t) return level;
    ++level;
  }
  return 15;
}

void put_fill_nibble(uint8_t* levels, size_t position, uint8_t level) {
  uint8_t& byte = levels[position / 2];
  if (position % 2 == 0)
    byte = static_cast<uint8_t>((byte & 0xF0) | (level & 0x0F));
  else
    byte = static_cast<uint8_t>((byte & 0x0F) | ((level & 0x0F) << 4));
}

uint8_t get_fill_nibble(const uint8_t* levels, size_t position) {
  uint8_t byte = levels[position / 2];
  return position % 2 == 0 ? (byte & 0x0F) : (byte >> 4);
}

// ---------------------------------------------------------------- pst_entries_block

template <ndb_bidtype bidtype>
pst_entries_block<bidtype>::pst_entries_block(uint16_t first_offset) {
  offsets_.reserve(100);
  offsets_.push_back(first_offset);
}

template <ndb_bidtype bidtype>
pst_entries_block<bidtype>::pst_entries_block(const uint8_t* image, size_t size) {
  if (!image || size > block_size || size < 2)
    throw qm_invalid_call("heap block of " + std::to_string(size) + " bytes is larger than a block");
  std::memcpy(buffer_.data(), image, size);
  const size_t ib_hnpm = get_le<uint16_t>(buffer_.data());
  if (ib_hnpm == 0) throw qm_invalid_call("heap block without page map (ibHnpm 0)");
  if (ib_hnpm + 4 > size) throw qm_invalid_call("heap block page map lies outside the block");
  const size_t c_alloc = get_le<uint16_t>(buffer_.data() + ib_hnpm);
  if (ib_hnpm + 2 * c_alloc + 6 > size) throw qm_invalid_call("heap block allocation list exceeds the block");
  offsets_.reserve(std::max<size_t>(100, c_alloc + 1));
  const uint8_t* rg = buffer_.data() + ib_hnpm + hnpagemap_layout::rgibAlloc;
  for (size_t i = 0; i <= c_alloc; ++i) {
    uint16_t off = get_le<uint16_t>(rg + 2 * i);
    if (!offsets_.empty() && off < offsets_.back())
      throw qm_invalid_call("heap block allocation offsets decrease");
    offsets_.push_back(off);
  }
  if (offsets_.front() < 2 || page_map_offset() != ib_hnpm)
    throw qm_invalid_call("heap block page map does not follow the last allocation");
  full_ = size == block_size;
}

template <ndb_bidtype bidtype>
size_t pst_entries_block<bidtype>::projected_size() const {
  size_t projected = offsets_.back() + 2 * offsets_.size() + 4;
  return (projected + 1) & ~size_t{1};
}

template <ndb_bidtype bidtype>
uint16_t pst_entries_block<bidtype>::add_entry(const void* data, size_t size) {
  try {
    if (size > heap_max_allocation)
      throw qm_invalid_arg("heap allocation of " + std::to_string(size) + " bytes exceeds 6180");
    if (size > 0 && !data) throw qm_invalid_arg("heap allocation data is not readable");
    const size_t projected = projected_size();
    if (projected >= block_size || block_size - projected <= size + 2) return heap_no_room;
    if (offsets_.size() > 0x7FF) return heap_no_room;  // hidIndex has 11 bits
    const size_t end = offsets_.back();
    if (size) std::memcpy(buffer_.data() + end, data, size);
    offsets_.push_back(static_cast<uint16_t>(end + size));
    return static_cast<uint16_t>(offsets_.size() - 2);
  } catch (...) {
    logger().write_formatted("[PST] pst_entries_block<bidtype>::add_entry(%p,%d) : exception", data,
                             static_cast<int>(size));
    throw;
  }
}

template <ndb_bidtype bidtype>
void pst_entries_block<bidtype>::free_entry(size_t index) {
  if (index >= entry_count()) throw qm_invalid_arg("heap allocation index out of range");
  const size_t begin = offsets_[index];
  const size_t length = offsets_[index + 1] - begin;
  if (length == 0) return;
  const size_t end = offsets_.back();
  std::memmove(buffer_.data() + begin, buffer_.data() + begin + length, end - begin - length);
  std::memset(buffer_.data() + end - length, 0, length);
  for (size_t i = index + 1; i < offsets_.size(); ++i) offsets_[i] = static_cast<uint16_t>(offsets_[i] - length);
}

template <ndb_bidtype bidtype>
size_t pst_entries_block<bidtype>::free_count() const {
  size_t n = 0;
  for (size_t i = 0; i + 1 < offsets_.size(); ++i)
    if (offsets_[i] == offsets_[i + 1]) ++n;
  return n;
}

template <ndb_bidtype bidtype>
std::span<const uint8_t> pst_entries_block<bidtype>::entry(size_t index) const {
  if (index >= entry_count()) throw qm_invalid_arg("heap allocation index out of range");
  return {buffer_.data() + offsets_[index], static_cast<size_t>(offsets_[index + 1] - offsets_[index])};
}

template <ndb_bidtype bidtype>
std::span<uint8_t> pst_entries_block<bidtype>::entry(size_t index) {
  if (index >= entry_count()) throw qm_invalid_arg("heap allocation index out of range");
  return {buffer_.data() + offsets_[index], static_cast<size_t>(offsets_[index + 1] - offsets_[index])};
}

template <ndb_bidtype bidtype>
void pst_entries_block<bidtype>::set_fill_level(size_t position, size_t used_size) {
  if (position >= 128) throw qm_invalid_arg("fill level position beyond the bitmap header");
  put_fill_nibble(hnbitmaphdr_layout::rgbFillLevel::at(buffer_.data()), position, heap_fill_level(used_size));
}

template <ndb_bidtype bidtype>
void pst_entries_block<bidtype>::finish() {
  const size_t ib = page_map_offset();
  // The byte between an odd last offset and the page map is padding.
  if (ib != offsets_.back()) buffer_[offsets_.back()] = 0;
  uint8_t* map = buffer_.data() + ib;
  hnpagemap_layout::cAlloc::put(map, static_cast<uint16_t>(entry_count()));
  hnpagemap_layout::cFree::put(map, static_cast<uint16_t>(free_count()));
  for (size_t i = 0; i < offsets_.size(); ++i) put_le<uint16_t>(map + hnpagemap_layout::rgibAlloc + 2 * i, offsets_[i]);
  const size_t end = used_size();
  std::memset(buffer_.data() + end, 0, buffer_.size() - end);
  put_le<uint16_t>(buffer_.data(), static_cast<uint16_t>(ib));
}

template <ndb_bidtype bidtype>
std::vector<uint8_t> pst_entries_block<bidtype>::image() {
  if (used_size() > block_size) throw qm_invalid_call("heap block overflows its block");
  finish();
  return std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + written_size());
}

template <ndb_bidtype bidtype>
bidtype pst_entries_block<bidtype>::write_block(pst_node_writer<bidtype>& writer, ltp_block_kind kind) {
  std::vector<uint8_t> bytes = image();
  return writer.write_block(kind, bytes.data(), bytes.size());
}

// ---------------------------------------------------------------- pst_entries

template <ndb_bidtype bidtype>
pst_entries<bidtype>::pst_entries(pst_node_writer<bidtype>* writer, uint32_t nid,
                                  std::unique_ptr<pst_entries_block<bidtype>> block0)
    : writer_(writer), nid_(nid), block0_(std::move(block0)) {}

template <ndb_bidtype bidtype>
pst_entries<bidtype>::pst_entries(std::unique_ptr<pst_node_writer<bidtype>> writer, uint32_t nid,
                                  std::unique_ptr<pst_entries_block<bidtype>> block0)
    : owned_writer_(std::move(writer)), writer_(owned_writer_.get()), nid_(nid), block0_(std::move(block0)) {}

template <ndb_bidtype bidtype>
pst_entries<bidtype>::~pst_entries() = default;

template <ndb_bidtype bidtype>
uint32_t pst_entries<bidtype>::add_entry(const void* data, size_t size, bool new_block, size_t limit) {
  try {
    if (size == 0 || size > heap_max_allocation)
      throw qm_invalid_arg("heap allocation of " + std::to_string(size) + " bytes");
    if (!data) throw qm_invalid_arg("heap allocation data is not readable");
    return allocate(data, size, new_block, limit);
  } catch (...) {
    logger().write_formatted("[PST] exception in pst_entries<bidtype>::add_entry(%p,%d)", data,
                             static_cast<int>(size));
    throw;
  }
}

template <ndb_bidtype bidtype>
uint32_t pst_entries<bidtype>::allocate(const void* data, size_t size, bool new_block, size_t limit) {
  if (sizes_.empty()) {
    if (block0_->projected_size() + size + 2 <= limit) {
      uint16_t index = block0_->add_entry(data, size);
      if (index != heap_no_room) return make_hid(0, index);
    }
    // Block 0 is done: from now on it is written at the full block size and
    // takes nothing more. It stays in memory until commit, when its header
    // is final.
    block0_->set_full();
    bids_.assign(1, 0);
    sizes_.assign(1, block0_->used_size());
  }
  if (overflow_ && !new_block && overflow_->projected_size() + size + 2 <= limit) {
    uint16_t index = overflow_->add_entry(data, size);
    if (index != heap_no_room) {
      sizes_[overflow_index_] = overflow_->used_size();
      return make_hid(static_cast<uint32_t>(overflow_index_), index);
    }
  }
  close_overflow();
  const size_t n = bids_.size();
  if (n > 0xFFFF) throw qm_invalid_arg("heap has no block index left");
  auto block = std::make_unique<pst_entries_block<bidtype>>(heap_first_offset(n));
  uint16_t index = block->add_entry(data, size);
  if (index == heap_no_room) throw qm_invalid_arg("heap allocation does not fit an empty block");
  bids_.push_back(0);
  sizes_.push_back(block->used_size());
  overflow_ = std::move(block);
  overflow_index_ = n;
  return make_hid(static_cast<uint32_t>(n), index);
}

template <ndb_bidtype bidtype>
void pst_entries<bidtype>::close_overflow() {
  if (!overflow_) return;
  overflow_->set_full();
  if (is_bitmap_block(overflow_index_)) {
    bitmap_blocks_[overflow_index_] = std::move(overflow_);
  } else {
    if (!writer_) throw qm_invalid_call("heap without a node database");
    bids_[overflow_index_] = overflow_->write_block(*writer_, ltp_block_kind::tc_heap);
    overflow_.reset();
  }
}

template <ndb_bidtype bidtype>
void pst_entries<bidtype>::add_subnode(uint32_t nid, bidtype data_bid, bidtype sub_bid) {
  for (auto& s : subnodes_) {
    if (s.nid == nid) {
      s.data_bid = data_bid;
      s.sub_bid = sub_bid;
      return;
    }
  }
  subnodes_.push_back({nid, data_bid, sub_bid});
}

template <ndb_bidtype bidtype>
bidtype pst_entries<bidtype>::commit() {
  if (!writer_) throw qm_invalid_call("heap without a node database");
  if (committed_) throw qm_invalid_call("a table heap is committed once");
  committed_ = true;
  if (sizes_.empty()) {
    data_bid_ = block0_->write_block(*writer_, ltp_block_kind::tc_heap);
  } else {
    // Fill levels of every block but the last.
    const size_t count = sizes_.size();
    for (size_t b = 0; b + 1 < count; ++b) {
      if (b < 8) {
        block0_->set_fill_level(b, sizes_[b]);
      } else {
        const size_t g = governing_bitmap_block(b);
        pst_entries_block<bidtype>* holder = nullptr;
        if (auto it = bitmap_blocks_.find(g); it != bitmap_blocks_.end())
          holder = it->second.get();
        else if (overflow_ && overflow_index_ == g)
          holder = overflow_.get();
        if (!holder) throw qm_invalid_call("heap bitmap block is missing");
        holder->set_fill_level(b - g, sizes_[b]);
      }
    }
    bids_[0] = block0_->write_block(*writer_, ltp_block_kind::tc_heap);
    for (auto& [index, block] : bitmap_blocks_) bids_[index] = block->write_block(*writer_, ltp_block_kind::tc_heap);
    bitmap_blocks_.clear();
    // The last block keeps its used size.
    if (overflow_) {
      bids_[overflow_index_] = overflow_->write_block(*writer_, ltp_block_kind::tc_heap);
      overflow_.reset();
    }
    std::vector<size_t> written(count, block_size);
    written.back() = sizes_.back();
    data_bid_ = writer_->write_data_tree(bids_, written);
  }
  sub_bid_ = writer_->write_subnode_tree(subnodes_, 0);
  return data_bid_;
}

template class pst_entries_block<uint32_t>;
template class pst_entries_block<uint64_t>;
template class pst_entries<uint32_t>;
template class pst_entries<uint64_t>;

}  // namespace vendrel
