#include "ndb/xstream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/errors.h"
#include "ndb/ndb.h"

namespace vendrel {

template <ndb_bidtype bidtype>
pst_xstream<bidtype>::pst_xstream(pst_ndb<bidtype>* ndb) : ndb_(ndb) {}

template <ndb_bidtype bidtype>
ref<pst_xstream<bidtype>> pst_xstream<bidtype>::open(pst_ndb<bidtype>* ndb, block_id<bidtype> bid) {
  ref<pst_xstream> stream(new pst_xstream(ndb));
  if (!bid) return stream;
  if (bid.internal()) {
    stream->tree_ = std::make_unique<pst_data_tree<bidtype>>(pst_data_tree<bidtype>::load(ndb, bid));
    stream->size_ = stream->tree_->total_size();
  } else {
    auto entry = ndb->lookup_block(bid);
    if (!entry) throw qm_invalid_call("stream block " + std::to_string(bid.value()) + " is missing");
    stream->single_ = bid;
    stream->single_held_ = false;
    stream->size_ = entry->cb;
  }
  return stream;
}

template <ndb_bidtype bidtype>
uint64_t pst_xstream<bidtype>::seek(uint64_t position) {
  position_ = std::min(position, size_);
  return position_;
}

template <ndb_bidtype bidtype>
size_t pst_xstream<bidtype>::chunk_length(size_t index) const {
  uint64_t start = static_cast<uint64_t>(index) * chunk;
  if (start >= size_) return 0;
  return static_cast<size_t>(std::min<uint64_t>(chunk, size_ - start));
}

template <ndb_bidtype bidtype>
const uint8_t* pst_xstream<bidtype>::load_chunk(size_t index, size_t size) {
  if (size > chunk) throw qm_invalid_arg("chunk read of " + std::to_string(size) + " bytes");
  if (cached_index_ == index && cached_.size() >= size) return cached_.data();
  block_id<bidtype> bid;
  if (tree_) {
    bid = tree_->bid(index);
  } else {
    if (index != 0 || !single_) throw qm_invalid_arg("chunk " + std::to_string(index) + " does not exist");
    bid = single_;
  }
  auto block = ndb_->load_block(bid, block_kind::stream);
  if (!block) throw qm_invalid_call("stream block " + std::to_string(bid.value()) + " is missing");
  if (block->size() < size) throw qm_invalid_arg("stream block shorter than its chunk");
  cached_.assign(block->data(), block->data() + block->size());
  cached_index_ = index;
  return cached_.data();
}

template <ndb_bidtype bidtype>
size_t pst_xstream<bidtype>::read(void* buffer, size_t n) {
  if (buffer == nullptr && n != 0) throw qm_invalid_arg("stream read into a null buffer");
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < n && position_ < size_) {
    size_t index = static_cast<size_t>(position_ / chunk);
    size_t offset = static_cast<size_t>(position_ % chunk);
    size_t length = chunk_length(index);
    size_t take = std::min(n - done, length - offset);
    const uint8_t* bytes = load_chunk(index, length);
    std::memcpy(out + done, bytes + offset, take);
    done += take;
    position_ += take;
  }
  return done;
}

template <ndb_bidtype bidtype>
size_t pst_xstream<bidtype>::read_at(uint64_t position, void* buffer, size_t n) {
  if (seek(position) != position) return 0;
  return read(buffer, n);
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_xstream<bidtype>::write_chunk_block(const uint8_t* data, size_t size) {
  if (size > chunk) throw qm_invalid_arg("chunk write of " + std::to_string(size) + " bytes");
  return ndb_->write_block(block_kind::stream, data, size);
}

template <ndb_bidtype bidtype>
void pst_xstream<bidtype>::append_chunk(const uint8_t* data, size_t size) {
  block_id<bidtype> bid = write_chunk_block(data, size);
  if (tree_) {
    tree_->append(bid, static_cast<uint32_t>(size));
  } else if (!single_) {
    single_ = bid;
    single_held_ = true;
  } else {
    tree_ = std::make_unique<pst_data_tree<bidtype>>(ndb_);
    tree_->append(single_, static_cast<uint32_t>(chunk_length(0)), single_held_);
    tree_->append(bid, static_cast<uint32_t>(size));
    single_ = {};
    single_held_ = false;
  }
}

template <ndb_bidtype bidtype>
void pst_xstream<bidtype>::rewrite_chunk(size_t index, const uint8_t* data, size_t size) {
  if (tree_) {
    block_id<bidtype> bid = write_chunk_block(data, size);
    tree_->replace(index, bid, static_cast<uint32_t>(size));
  } else {
    if (index != 0 || !single_) throw qm_invalid_arg("chunk " + std::to_string(index) + " does not exist");
    block_id<bidtype> bid = write_chunk_block(data, size);
    // A block not yet handed out by commit is dropped here; one handed out
    // is released by whoever placed it, when the new BID takes its place.
    if (single_held_) ndb_->release_block(single_);
    single_ = bid;
    single_held_ = true;
  }
  if (cached_index_ == index) cached_index_ = static_cast<size_t>(-1);
}

template <ndb_bidtype bidtype>
uint64_t pst_xstream<bidtype>::write(const void* buffer, size_t n) {
  if (buffer == nullptr && n != 0) throw qm_invalid_arg("stream write from a null buffer");
  const auto* in = static_cast<const uint8_t*>(buffer);
  std::vector<uint8_t> scratch;
  while (n > 0) {
    size_t index = static_cast<size_t>(position_ / chunk);
    size_t offset = static_cast<size_t>(position_ % chunk);
    size_t existing = chunk_length(index);
    size_t take = std::min(n, chunk - offset);
    if (offset == 0 && take == chunk) {
      // A whole chunk.
      if (existing)
        rewrite_chunk(index, in, take);
      else
        append_chunk(in, take);
    } else if (existing) {
      // Part of a chunk that holds data: read, overlay, rewrite.
      size_t length = std::max(existing, offset + take);
      scratch.assign(length, 0);
      std::memcpy(scratch.data(), load_chunk(index, existing), existing);
      std::memcpy(scratch.data() + offset, in, take);
      rewrite_chunk(index, scratch.data(), length);
    } else {
      // A tail past the end of the data (the position is then a chunk start).
      append_chunk(in, take);
    }
    in += take;
    n -= take;
    position_ += take;
    size_ = std::max(size_, position_);
  }
  return position_;
}

template <ndb_bidtype bidtype>
uint64_t pst_xstream<bidtype>::write_at(uint64_t position, const void* buffer, size_t n) {
  if (seek(position) != position)
    throw qm_invalid_call("stream write at " + std::to_string(position) + " beyond its size " + std::to_string(size_));
  return write(buffer, n);
}

template <ndb_bidtype bidtype>
void pst_xstream<bidtype>::set_size(uint64_t size) {
  if (size != size_) throw qm_invalid_call("a stream's size cannot be changed");
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_xstream<bidtype>::commit() {
  if (!tree_) {
    single_held_ = false;
    return single_;
  }
  if (!tree_->dirty() && tree_->top()) return tree_->top();
  return tree_->write(size_);
}

template class pst_xstream<uint32_t>;
template class pst_xstream<uint64_t>;

}  // namespace vendrel
