#include "check/pst_reader.h"

#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "common/file.h"
#include "ndb/encoding.h"

namespace vendrel {

namespace {

constexpr uint32_t pst_magic = 0x4E444221;  // "!BDN"
constexpr uint8_t ptype_bbt = 0x80;
constexpr uint8_t ptype_nbt = 0x81;
constexpr size_t page_bytes = 512;

}  // namespace

std::string check_hex(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
  return buf;
}

file_check_source::file_check_source(IFile& file) : file_(file) {
  try {
    size_ = file.is_open() ? file.size() : 0;
  } catch (const qm_retcode&) {
    size_ = 0;
  }
}

bool file_check_source::read(uint64_t offset, void* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset || count > 0xFFFFFFFFu) return false;
  try {
    file_.read_at(offset, buffer, static_cast<uint32_t>(count));
    return true;
  } catch (const qm_retcode&) {
    return false;
  }
}

bool memory_check_source::read(uint64_t offset, void* buffer, size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  if (count) std::memcpy(buffer, bytes_.data() + offset, count);
  return true;
}

const pst_node* pst_reader::node(uint32_t nid) const {
  auto it = nodes_.find(nid);
  return it == nodes_.end() ? nullptr : &it->second;
}

uint64_t pst_reader::node_entry_offset(uint32_t nid) const {
  auto it = node_entries_.find(nid);
  return it == node_entries_.end() ? 0 : it->second;
}

bool pst_reader::open(std::string& reason) {
  uint8_t h[564] = {};
  if (source_.size() < 512 || !source_.read(0, h, 512)) {
    reason = "the file is shorter than a PST header";
    return false;
  }
  if (le_value(h, 4) != pst_magic) {
    reason = "the file does not start with the PST magic \"!BDN\"";
    return false;
  }
  const uint16_t version = static_cast<uint16_t>(le_value(h + 10, 2));
  if (version == 14 || version == 15) {
    unicode_ = false;
  } else if (version >= 23) {
    unicode_ = true;
    if (source_.size() < 564 || !source_.read(0, h, 564)) {
      reason = "the file is shorter than a Unicode PST header";
      return false;
    }
  } else {
    reason = "wVer " + std::to_string(version) + " is neither an ANSI nor a Unicode file's";
    return false;
  }
  if (unicode_) {
    crypt_ = h[513];
    nbt_bid_ = le_value(h + 216, 8), nbt_ib_ = le_value(h + 224, 8);
    bbt_bid_ = le_value(h + 232, 8), bbt_ib_ = le_value(h + 240, 8);
  } else {
    crypt_ = h[461];
    nbt_bid_ = le_value(h + 184, 4), nbt_ib_ = le_value(h + 188, 4);
    bbt_bid_ = le_value(h + 192, 4), bbt_ib_ = le_value(h + 196, 4);
  }
  if (crypt_ > 2) {
    reason = "bCryptMethod " + std::to_string(crypt_) + " is unknown: the data cannot be decoded";
    return false;
  }
  return true;
}

bool pst_reader::read_page(uint64_t ib, uint8_t* page) { return source_.read(ib, page, page_bytes); }

void pst_reader::load_trees(std::vector<std::string>& problems) {
  pages_seen_.clear();
  if (!walk_btree(nbt_bid_, nbt_ib_, true, -1, 0, problems)) problems.push_back("the node B-tree cannot be read whole");
  if (!walk_btree(bbt_bid_, bbt_ib_, false, -1, 0, problems)) problems.push_back("the block B-tree cannot be read whole");
}

bool pst_reader::walk_btree(uint64_t bid, uint64_t ib, bool nbt, int level, size_t depth,
                            std::vector<std::string>& problems) {
  const char* tree = nbt ? "NBT" : "BBT";
  if (depth > max_tree_depth) {
    problems.push_back(std::string(tree) + " deeper than " + std::to_string(max_tree_depth) + " levels");
    return false;
  }
  if (pages_seen_.count(ib)) {
    problems.push_back(std::string(tree) + " page at " + check_hex(ib) + " is reached twice");
    return false;
  }
  pages_seen_[ib] = true;
  uint8_t page[page_bytes];
  if (!read_page(ib, page)) {
    problems.push_back(std::string(tree) + " page at " + check_hex(ib) + " cannot be read");
    return false;
  }
  ++pages_;
  const size_t w = unicode_ ? 8 : 4;
  const size_t trailer = unicode_ ? 496 : 500;
  const size_t counts = unicode_ ? 488 : 496;
  const uint8_t ptype = page[trailer];
  const uint64_t page_bid = le_value(page + 504, w);
  if (ptype != (nbt ? ptype_nbt : ptype_bbt) || page_bid != bid) {
    problems.push_back(std::string(tree) + " page at " + check_hex(ib) + " is not the page its parent names");
    return false;
  }
  const size_t cent = page[counts], clevel = page[counts + 3];
  if (level >= 0 && static_cast<int>(clevel) != level) {
    problems.push_back(std::string(tree) + " page at " + check_hex(ib) + " has the wrong level");
    return false;
  }
  const size_t entry = clevel > 0 ? 3 * w : nbt ? (unicode_ ? 32 : 16) : (unicode_ ? 24 : 12);
  if (cent * entry > counts) {
    problems.push_back(std::string(tree) + " page at " + check_hex(ib) + " claims more entries than fit");
    return false;
  }
  bool whole = true;
  for (size_t i = 0; i < cent; ++i) {
    const uint8_t* e = page + i * entry;
    if (clevel > 0) {
      whole &= walk_btree(le_value(e + w, w), le_value(e + 2 * w, w), nbt, static_cast<int>(clevel) - 1, depth + 1,
                          problems);
    } else if (nbt) {
      pst_node n;
      n.nid = static_cast<uint32_t>(le_value(e, 4));
      n.bid_data = le_value(e + w, w);
      n.bid_sub = le_value(e + 2 * w, w);
      n.parent = static_cast<uint32_t>(le_value(e + 3 * w, 4));
      if (nodes_.emplace(n.nid, n).second) node_entries_.emplace(n.nid, ib + i * entry);
    } else {
      pst_block_info b;
      const uint64_t key = le_value(e, w) & ~uint64_t{1};
      b.ib = le_value(e + w, w);
      b.cb = static_cast<uint16_t>(le_value(e + 2 * w, 2));
      b.cref = static_cast<uint16_t>(le_value(e + 2 * w + 2, 2));
      blocks_.emplace(key, b);
    }
  }
  return whole;
}

std::optional<std::vector<uint8_t>> pst_reader::block(uint64_t bid, std::string& why) {
  auto it = blocks_.find(bid & ~uint64_t{1});
  if (it == blocks_.end()) {
    why = "block " + check_hex(bid) + " is not in the BBT";
    return std::nullopt;
  }
  const pst_block_info& info = it->second;
  const size_t trailer = unicode_ ? 16 : 12;
  if (info.cb > 8192 - trailer) {
    why = "block " + check_hex(bid) + " has cb " + std::to_string(info.cb);
    return std::nullopt;
  }
  const size_t disk = (info.cb + trailer + 63) / 64 * 64;
  std::vector<uint8_t> image(disk);
  block_bytes_ += disk;
  if (!source_.read(info.ib, image.data(), disk)) {
    why = "block " + check_hex(bid) + " at " + check_hex(info.ib) + " cannot be read";
    return std::nullopt;
  }
  const uint8_t* t = image.data() + disk - trailer;
  const uint16_t cb = static_cast<uint16_t>(le_value(t, 2));
  const uint64_t tbid = unicode_ ? le_value(t + 8, 8) : le_value(t + 4, 4);
  if (cb != info.cb || (tbid & ~uint64_t{1}) != (bid & ~uint64_t{1})) {
    why = "block " + check_hex(bid) + " at " + check_hex(info.ib) + " has a trailer of another block";
    return std::nullopt;
  }
  image.resize(info.cb);
  if (!(bid & 2) && crypt_ != 0) decode_block_data(crypt_, image.data(), image.size(), bid);
  return image;
}

std::optional<block_list> pst_reader::data_blocks(uint64_t bid, std::string& why, uint64_t max_bytes) {
  block_list out;
  uint64_t total = 0;
  // An explicit stack bounded by the two levels of a data tree.
  std::function<bool(uint64_t, int)> walk = [&](uint64_t b, int depth) -> bool {
    auto image = block(b, why);
    if (!image) return false;
    if (!(b & 2)) {
      total += image->size();
      if (total > max_bytes) {
        why = "node data larger than " + std::to_string(max_bytes) + " bytes";
        return false;
      }
      out.push_back(std::move(*image));
      return true;
    }
    const std::vector<uint8_t>& x = *image;
    if (depth >= 2 || x.size() < 8 || x[0] != 0x01 || x[1] < 1 || x[1] > 2 || (depth == 1 && x[1] != 1)) {
      why = "block " + check_hex(b) + " is not a well-formed XBLOCK or XXBLOCK";
      return false;
    }
    const size_t w = unicode_ ? 8 : 4;
    const size_t count = le_value(x.data() + 2, 2);
    if (8 + count * w > x.size()) {
      why = "block " + check_hex(b) + " claims more entries than it holds";
      return false;
    }
    for (size_t i = 0; i < count; ++i) {
      const uint64_t child = le_value(x.data() + 8 + i * w, w);
      if (x[1] == 1 && (child & 2)) {
        why = "XBLOCK " + check_hex(b) + " names an internal block";
        return false;
      }
      if (x[1] == 2 && !(child & 2)) {
        why = "XXBLOCK " + check_hex(b) + " names a data block";
        return false;
      }
      if (!walk(child, depth + 1)) return false;
    }
    return true;
  };
  if (!bid) {
    why = "the node has no data";
    return std::nullopt;
  }
  if (!walk(bid, 0)) return std::nullopt;
  return out;
}

std::optional<std::vector<uint8_t>> pst_reader::data(uint64_t bid, std::string& why, uint64_t max_bytes) {
  auto blocks = data_blocks(bid, why, max_bytes);
  if (!blocks) return std::nullopt;
  std::vector<uint8_t> out;
  size_t total = 0;
  for (const auto& b : *blocks) total += b.size();
  out.reserve(total);
  for (const auto& b : *blocks) out.insert(out.end(), b.begin(), b.end());
  return out;
}

std::optional<uint64_t> pst_reader::data_size(uint64_t bid, std::string& why) {
  if (!(bid & 2)) {
    auto it = blocks_.find(bid & ~uint64_t{1});
    if (it == blocks_.end()) {
      why = "block " + check_hex(bid) + " is not in the BBT";
      return std::nullopt;
    }
    return it->second.cb;
  }
  auto x = block(bid, why);
  if (!x) return std::nullopt;
  if (x->size() < 8 || (*x)[0] != 0x01) {
    why = "block " + check_hex(bid) + " is not an XBLOCK or XXBLOCK";
    return std::nullopt;
  }
  return le_value(x->data() + 4, 4);
}

bool pst_reader::walk_subnodes(uint64_t bid, size_t depth, std::map<uint32_t, pst_subnode>& out, std::string& why) {
  if (depth > 2) {
    why = "subnode tree deeper than an SIBLOCK over SLBLOCKs";
    return false;
  }
  auto image = block(bid, why);
  if (!image) return false;
  const std::vector<uint8_t>& s = *image;
  const size_t w = unicode_ ? 8 : 4;
  const size_t start = unicode_ ? 8 : 4;
  if (!(bid & 2) || s.size() < start || s[0] != 0x02 || s[1] > 1 || (depth > 0 && s[1] != 0)) {
    why = "block " + check_hex(bid) + " is not a well-formed SLBLOCK or SIBLOCK";
    return false;
  }
  const size_t count = le_value(s.data() + 2, 2);
  const size_t entry = s[1] == 0 ? 3 * w : 2 * w;
  if (start + count * entry > s.size()) {
    why = "block " + check_hex(bid) + " claims more entries than it holds";
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = s.data() + start + i * entry;
    if (s[1] == 0) {
      pst_subnode n{static_cast<uint32_t>(le_value(e, 4)), le_value(e + w, w), le_value(e + 2 * w, w)};
      out.emplace(n.nid, n);
    } else if (!walk_subnodes(le_value(e + w, w), depth + 1, out, why)) {
      return false;
    }
  }
  return true;
}

std::optional<std::map<uint32_t, pst_subnode>> pst_reader::subnodes(uint64_t bid_sub, std::string& why) {
  std::map<uint32_t, pst_subnode> out;
  if (!bid_sub) return out;
  if (!walk_subnodes(bid_sub, 0, out, why)) return std::nullopt;
  return out;
}

}  // namespace vendrel
