#include "check/node_decode.h"

#include <algorithm>
#include <set>

#include "platform/platform.h"

namespace vendrel {

namespace {

std::string dec(uint64_t v) { return std::to_string(v); }

constexpr uint8_t hn_sig = 0xEC;
constexpr uint8_t bth_sig = 0xB5;
constexpr uint8_t tc_sig = 0x7C;
constexpr uint8_t pc_sig = 0xBC;

bool is_bitmap_block(size_t i) { return i >= 8 && (i - 8) % 128 == 0; }
size_t first_offset(size_t i) { return i == 0 ? 12 : is_bitmap_block(i) ? 66 : 2; }

// [MS-PST] 2.3.1.2: the fill level of a block with `free` bytes.
uint8_t fill_level(size_t free) {
  static constexpr size_t floor[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8, 0};
  for (uint8_t i = 0; i < 16; ++i)
    if (free >= floor[i]) return i;
  return 15;
}

// Bounds on the work a hostile heap can cause.
constexpr size_t max_bth_records = 1u << 22;
constexpr size_t max_tc_rows = 1u << 22;

}  // namespace

bool diag::has_error() const {
  return std::any_of(items.begin(), items.end(), [](const item& i) { return i.severity == check_severity::error; });
}

// ---------------------------------------------------------------- heap

bool hn_view::valid(uint32_t hid) const {
  if ((hid & 0x1F) != 0) return false;
  const size_t b = hid >> 16, i = (hid >> 5) & 0x7FF;
  return b < allocations.size() && i >= 1 && i <= allocations[b].size();
}

std::optional<std::span<const uint8_t>> hn_view::at(uint32_t hid) const {
  if (!valid(hid)) return std::nullopt;
  const size_t b = hid >> 16, i = ((hid >> 5) & 0x7FF) - 1;
  auto [begin, end] = allocations[b][i];
  return std::span<const uint8_t>(blocks[b].data() + begin, end - begin);
}

std::optional<hn_view> decode_heap(block_list blocks, diag& d) {
  if (blocks.empty()) {
    d.error("heap without blocks");
    return std::nullopt;
  }
  if (blocks.size() > 0xFFFF) {
    d.error("heap of " + dec(blocks.size()) + " blocks: a HID cannot name them all");
    return std::nullopt;
  }
  hn_view hn;
  const std::vector<uint8_t>& b0 = blocks[0];
  if (b0.size() < 12) {
    d.error("heap block 0 is shorter than HNHDR");
    return std::nullopt;
  }
  if (b0[2] != hn_sig) {
    d.error("heap signature is " + check_hex(b0[2]) + ", not 0xEC");
    return std::nullopt;
  }
  hn.client_sig = b0[3];
  hn.user_root = static_cast<uint32_t>(le_value(b0.data() + 4, 4));
  for (size_t i = 0; i < blocks.size(); ++i) {
    const std::vector<uint8_t>& b = blocks[i];
    const std::string where = "heap block " + dec(i);
    std::vector<std::pair<uint16_t, uint16_t>> list;
    const size_t first = first_offset(i);
    if (b.size() < first + 4 || b.size() > 0xFFFF) {
      d.error(where + " of " + dec(b.size()) + " bytes cannot hold its header and page map");
      return std::nullopt;
    }
    const size_t ib = le_value(b.data(), 2);
    if (ib < first || ib + 4 > b.size() || ib % 2) {
      d.error(where + ": ibHnpm " + dec(ib) + " lies outside the block");
      return std::nullopt;
    }
    const size_t calloc = le_value(b.data() + ib, 2), cfree = le_value(b.data() + ib + 2, 2);
    if (ib + 4 + 2 * (calloc + 1) > b.size()) {
      d.error(where + ": the page map's " + dec(calloc) + " allocations run past the block");
      return std::nullopt;
    }
    if (calloc > 0x7FF) {
      d.error(where + " has " + dec(calloc) + " allocations, more than a HID can name");
      return std::nullopt;
    }
    size_t prev = le_value(b.data() + ib + 4, 2);
    if (prev != first) d.error(where + ": the first allocation starts at " + dec(prev) + ", not " + dec(first));
    size_t freed = 0;
    for (size_t a = 0; a < calloc; ++a) {
      const size_t next = le_value(b.data() + ib + 4 + 2 * (a + 1), 2);
      if (next < prev || next > ib) {
        d.error(where + ": allocation " + dec(a + 1) + " spans " + dec(prev) + ".." + dec(next) +
                ", outside the space before the page map");
        return std::nullopt;
      }
      if (next == prev) ++freed;
      list.emplace_back(static_cast<uint16_t>(prev), static_cast<uint16_t>(next));
      prev = next;
    }
    if (cfree > calloc) d.warn(where + ": cFree " + dec(cfree) + " exceeds cAlloc " + dec(calloc));
    if (ib - prev > 64)
      d.warn(where + ": " + dec(ib - prev) + " bytes lie between the last allocation and the page map");
    (void)freed;
    hn.allocations.push_back(std::move(list));
  }
  // Fill levels: HNHDR covers blocks 0..7, each HNBITMAPHDR the next 128.
  for (size_t i = 0; i < blocks.size(); ++i) {
    const uint8_t* levels = nullptr;
    size_t position = 0;
    if (i < 8) {
      levels = blocks[0].data() + 8;
      position = i;
    } else {
      const size_t bm = 8 + 128 * ((i - 8) / 128);
      levels = blocks[bm].data() + 2;
      position = i - bm;
    }
    const uint8_t stored = (levels[position / 2] >> (4 * (position % 2))) & 0xF;
    const std::vector<uint8_t>& b = blocks[i];
    const size_t ib = le_value(b.data(), 2);
    const size_t calloc = le_value(b.data() + ib, 2);
    // Free space as the client counts it: the gap up to the largest block
    // minus the page map the block carries.
    const size_t used = le_value(b.data() + ib + 4 + 2 * calloc, 2) + 4 + 2 * (calloc + 1);
    const size_t capacity = 8180;
    const uint8_t actual = fill_level(used < capacity ? capacity - used : 0);
    if (stored > actual + 1 || actual > stored + 1)
      d.warn("heap block " + dec(i) + " has fill level " + dec(stored) + ", its space gives " + dec(actual));
  }
  hn.blocks = std::move(blocks);
  return hn;
}

// ---------------------------------------------------------------- BTH

std::optional<std::vector<bth_leaf>> decode_bth(const hn_view& heap, uint32_t hid, uint8_t key_size,
                                                uint8_t entry_size, const char* what, diag& d) {
  const std::string w(what);
  auto header = heap.at(hid);
  if (!header) {
    d.error(w + ": BTH header HID " + check_hex(hid) + " names no allocation");
    return std::nullopt;
  }
  if (header->size() != 8) {
    d.error(w + ": BTH header of " + dec(header->size()) + " bytes, not 8");
    return std::nullopt;
  }
  const uint8_t* h = header->data();
  const uint8_t ck = h[1], ce = h[2], levels = h[3];
  const uint32_t root = static_cast<uint32_t>(le_value(h + 4, 4));
  if (h[0] != bth_sig) {
    d.error(w + ": BTH signature " + check_hex(h[0]) + ", not 0xB5");
    return std::nullopt;
  }
  if (!(ck == 2 || ck == 4 || ck == 8 || ck == 16) || ce == 0 || ce > 32 || (key_size && ck != key_size) ||
      (entry_size && ce != entry_size)) {
    d.error(w + ": BTH key/entry sizes " + dec(ck) + "/" + dec(ce) + " are not " +
            (key_size ? dec(key_size) + "/" + dec(entry_size) : std::string("allowed")));
    return std::nullopt;
  }
  std::vector<bth_leaf> out;
  if (root == 0) {
    if (levels) d.warn(w + ": an empty BTH with " + dec(levels) + " index levels");
    return out;
  }
  std::set<uint32_t> seen;
  bool broken = false;
  size_t visited = 0;
  std::function<void(uint32_t, size_t, const std::vector<uint8_t>*)> walk = [&](uint32_t at, size_t level,
                                                                                const std::vector<uint8_t>* first) {
    if (broken) return;
    if (!seen.insert(at).second) {
      d.error(w + ": BTH record array " + check_hex(at) + " is reached twice");
      broken = true;
      return;
    }
    auto bytes = heap.at(at);
    if (!bytes) {
      d.error(w + ": BTH " + (level ? "index" : "record") + " array HID " + check_hex(at) + " names no allocation");
      broken = true;
      return;
    }
    const size_t size = level ? ck + 4u : ck + size_t{ce};
    if (bytes->empty() || bytes->size() % size) {
      d.error(w + ": BTH array of " + dec(bytes->size()) + " bytes is not a whole number of " + dec(size) +
              "-byte records");
      broken = true;
      return;
    }
    const size_t n = bytes->size() / size;
    for (size_t i = 0; i < n && !broken; ++i) {
      if (++visited > max_bth_records) {
        d.error(w + ": BTH of more than " + dec(max_bth_records) + " records");
        broken = true;
        return;
      }
      const uint8_t* r = bytes->data() + i * size;
      std::vector<uint8_t> key(r, r + ck);
      if (i == 0 && first && *first != key) d.error(w + ": a BTH index key differs from its child's first key");
      if (level) {
        walk(static_cast<uint32_t>(le_value(r + ck, 4)), level - 1, &key);
      } else {
        // Keys compare as little-endian integers.
        if (!out.empty()) {
          const auto& prev = out.back().key;
          bool less = false, equal = true;
          for (size_t k = ck; k-- > 0;) {
            if (prev[k] != key[k]) {
              less = prev[k] < key[k];
              equal = false;
              break;
            }
          }
          if (equal || !less) {
            d.error(w + ": BTH keys are not in ascending order");
            broken = true;
            return;
          }
        }
        out.push_back({std::move(key), std::vector<uint8_t>(r + ck, r + ck + ce)});
      }
    }
  };
  walk(root, levels, nullptr);
  if (broken) return std::nullopt;
  return out;
}

// ---------------------------------------------------------------- values

std::optional<size_t> fixed_size_of(uint16_t type) {
  switch (type & 0x0FFF) {
    case 0x0001: return 0;  // PtypNull
    case 0x0002: return 2;
    case 0x0003: return 4;
    case 0x0004: return 4;
    case 0x0005: return 8;
    case 0x0006: return 8;
    case 0x0007: return 8;
    case 0x000A: return 4;
    case 0x000B: return 1;
    case 0x0014: return 8;
    case 0x0040: return 8;
    case 0x0048: return 16;
    case 0x000D:
    case 0x001E:
    case 0x001F:
    case 0x00FB:
    case 0x00FD:
    case 0x00FE:
    case 0x0102:
      return size_t{0};
    default:
      return std::nullopt;
  }
}

bool is_multi(uint16_t type) { return (type & 0x1000) != 0; }

bool stored_inline_in_pc(uint16_t type) {
  switch (type) {
    case 0x0001:
    case 0x0002:
    case 0x0003:
    case 0x0004:
    case 0x000A:
    case 0x000B:
      return true;
    default:
      return false;
  }
}

void check_value_bytes(uint16_t type, std::span<const uint8_t> bytes, const std::string& what, diag& d) {
  auto fixed = fixed_size_of(type);
  if (!fixed) return;
  const uint16_t base = type & 0x0FFF;
  if (!is_multi(type)) {
    if (*fixed && bytes.size() != *fixed && !stored_inline_in_pc(type))
      d.error(what + " of type " + check_hex(type) + " holds " + dec(bytes.size()) + " bytes, not " + dec(*fixed));
    if (base == 0x001F && bytes.size() % 2) d.error(what + ": a UTF-16 string of odd length " + dec(bytes.size()));
    return;
  }
  if (*fixed) {
    if (bytes.size() % *fixed)
      d.error(what + ": multi-valued " + check_hex(type) + " of " + dec(bytes.size()) + " bytes is not a whole number of " +
              dec(*fixed) + "-byte values");
    return;
  }
  if (base != 0x001E && base != 0x001F && base != 0x0102 && base != 0x0048) return;
  if (bytes.empty()) return;
  if (bytes.size() < 4) {
    d.error(what + ": multi-valued " + check_hex(type) + " of " + dec(bytes.size()) + " bytes has no count");
    return;
  }
  const uint64_t count = le_value(bytes.data(), 4);
  if (4 + 4 * count > bytes.size()) {
    d.error(what + ": multi-valued count " + dec(count) + " does not fit in " + dec(bytes.size()) + " bytes");
    return;
  }
  uint64_t prev = 4 + 4 * count;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t off = le_value(bytes.data() + 4 + 4 * i, 4);
    if (off < prev || off > bytes.size()) {
      d.error(what + ": multi-valued offset " + dec(i) + " (" + dec(off) + ") lies outside its values");
      return;
    }
    const uint64_t end = i + 1 < count ? le_value(bytes.data() + 8 + 4 * i, 4) : bytes.size();
    if (base == 0x001F && end >= off && (end - off) % 2) {
      d.error(what + ": multi-valued UTF-16 string " + dec(i) + " of odd length");
      return;
    }
    prev = off;
  }
}

// ---------------------------------------------------------------- PC

const pc_property* pc_decoded::find(uint16_t id) const {
  auto it = std::lower_bound(properties.begin(), properties.end(), id,
                             [](const pc_property& p, uint16_t k) { return p.id < k; });
  return it != properties.end() && it->id == id ? &*it : nullptr;
}

std::optional<uint32_t> pc_decoded::i4(uint16_t id) const {
  const pc_property* p = find(id);
  if (!p || p->bytes.size() < 1 || p->bytes.size() > 8) return std::nullopt;
  return static_cast<uint32_t>(le_value(p->bytes.data(), std::min<size_t>(4, p->bytes.size())));
}

std::optional<uint64_t> pc_decoded::i8(uint16_t id) const {
  const pc_property* p = find(id);
  if (!p || p->bytes.size() != 8) return std::nullopt;
  return le_value(p->bytes.data(), 8);
}

std::optional<std::string> pc_decoded::text(uint16_t id, uint32_t code_page) const {
  const pc_property* p = find(id);
  if (!p) return std::nullopt;
  if (p->type == 0x001F) return utf16le_to_utf8(p->bytes);
  if (p->type == 0x001E) return ansi_to_utf8(p->bytes, code_page);
  return std::nullopt;
}

std::optional<pc_decoded> decode_pc(const block_list& blocks, const subnode_access& subnodes, diag& d) {
  auto heap = decode_heap(blocks, d);
  if (!heap) return std::nullopt;
  if (heap->client_sig != pc_sig) {
    d.error("heap client signature " + check_hex(heap->client_sig) + " is not a property context's (0xBC)");
    return std::nullopt;
  }
  auto records = decode_bth(*heap, heap->user_root, 2, 6, "property context", d);
  if (!records) return std::nullopt;
  pc_decoded pc;
  for (const bth_leaf& r : *records) {
    pc_property p;
    p.id = static_cast<uint16_t>(le_value(r.key.data(), 2));
    p.type = static_cast<uint16_t>(le_value(r.data.data(), 2));
    p.hnid = static_cast<uint32_t>(le_value(r.data.data() + 2, 4));
    const std::string what = "property " + check_hex(p.tag());
    auto fixed = fixed_size_of(p.type);
    if (!fixed) {
      d.warn(what + " has a type [MS-PST] does not define");
    } else if (!is_multi(p.type) && stored_inline_in_pc(p.type)) {
      const size_t width = *fixed;
      for (size_t i = 0; i < width; ++i) p.bytes.push_back(static_cast<uint8_t>(p.hnid >> (8 * i)));
    } else if (p.hnid == 0) {
      if (*fixed) d.error(what + " of a fixed-size type has no value (HNID 0)");
    } else if ((p.hnid & 0x1F) == 0) {
      auto bytes = heap->at(p.hnid);
      if (!bytes) {
        d.error(what + ": HID " + check_hex(p.hnid) + " names no heap allocation");
        continue;
      }
      p.bytes.assign(bytes->begin(), bytes->end());
      if (p.type == 0x000D) {
        // PtypObject: the heap item holds the subnode's NID and the object's size.
        if (p.bytes.size() != 8) {
          d.error(what + ": an object reference of " + dec(p.bytes.size()) + " bytes, not 8");
        } else {
          const uint32_t nid = static_cast<uint32_t>(le_value(p.bytes.data(), 4));
          std::string why;
          if (!subnodes.size || !subnodes.size(nid, why))
            d.error(what + ": the object names subnode " + check_hex(nid) + ", which the node does not hold" +
                    (why.empty() ? "" : " (" + why + ")"));
        }
      } else {
        check_value_bytes(p.type, p.bytes, what, d);
      }
    } else {
      p.in_subnode = true;
      std::string why;
      auto size = subnodes.size ? subnodes.size(p.hnid, why) : std::nullopt;
      if (!size) {
        d.error(what + " names subnode " + check_hex(p.hnid) + ", which the node does not hold" +
                (why.empty() ? "" : " (" + why + ")"));
        continue;
      }
      if (*fixed && !is_multi(p.type) && *size != *fixed)
        d.error(what + " of a fixed-size type is a subnode of " + dec(*size) + " bytes");
      // Small enough values are read for their type check and for callers.
      if (*size <= (uint64_t{1} << 20) && subnodes.bytes) {
        auto bytes = subnodes.bytes(p.hnid, uint64_t{1} << 20, why);
        if (bytes) {
          p.bytes = std::move(*bytes);
          check_value_bytes(p.type, p.bytes, what, d);
        }
      } else if (p.type == 0x001F && *size % 2) {
        d.error(what + ": a UTF-16 string of odd length " + dec(*size));
      }
    }
    pc.properties.push_back(std::move(p));
  }
  return pc;
}

// ---------------------------------------------------------------- TC

const tc_column_desc* tc_decoded::column(uint32_t tag) const {
  for (const auto& c : columns)
    if (c.tag == tag) return &c;
  return nullptr;
}

const tc_column_desc* tc_decoded::column_by_id(uint16_t id) const {
  for (const auto& c : columns)
    if ((c.tag >> 16) == id) return &c;
  return nullptr;
}

bool tc_decoded::has(size_t row, const tc_column_desc& c) const {
  const size_t at = ceb_offset + c.bit / 8;
  return row < rows.size() && at < rows[row].size() && (rows[row][at] & (0x80 >> (c.bit % 8))) != 0;
}

uint64_t tc_decoded::value(size_t row, const tc_column_desc& c) const {
  if (row >= rows.size() || c.ib + size_t{c.cb} > rows[row].size() || c.cb > 8) return 0;
  return le_value(rows[row].data() + c.ib, c.cb);
}

std::optional<std::vector<uint8_t>> tc_cell_bytes(const hn_view& heap, const subnode_access& subnodes, uint32_t hnid,
                                                  uint64_t limit, std::string& why) {
  if (hnid == 0) return std::vector<uint8_t>{};
  if ((hnid & 0x1F) == 0) {
    auto b = heap.at(hnid);
    if (!b) {
      why = "HID " + check_hex(hnid) + " names no heap allocation";
      return std::nullopt;
    }
    return std::vector<uint8_t>(b->begin(), b->end());
  }
  if (!subnodes.bytes) {
    why = "no subnodes";
    return std::nullopt;
  }
  return subnodes.bytes(hnid, limit, why);
}

std::vector<uint32_t> tc_decoded::row_ids() const {
  std::vector<uint32_t> out;
  const tc_column_desc* c = column(0x67F20003);
  if (!c) return out;
  for (size_t i = 0; i < rows.size(); ++i)
    if (has(i, *c)) out.push_back(static_cast<uint32_t>(value(i, *c)));
  return out;
}

std::optional<tc_decoded> decode_tc(const block_list& blocks, bool unicode, const subnode_access& subnodes, diag& d) {
  auto heap = decode_heap(blocks, d);
  if (!heap) return std::nullopt;
  if (heap->client_sig != tc_sig) {
    d.error("heap client signature " + check_hex(heap->client_sig) + " is not a table context's (0x7C)");
    return std::nullopt;
  }
  auto info = heap->at(heap->user_root);
  if (!info || info->size() < 22) {
    d.error("TCINFO (HID " + check_hex(heap->user_root) + ") is missing or shorter than 22 bytes");
    return std::nullopt;
  }
  const uint8_t* t = info->data();
  const size_t cols = t[1];
  if (t[0] != tc_sig) {
    d.error("TCINFO bType " + check_hex(t[0]) + ", not 0x7C");
    return std::nullopt;
  }
  if (info->size() != 22 + 8 * cols) {
    d.error("TCINFO of " + dec(info->size()) + " bytes for " + dec(cols) + " columns");
    return std::nullopt;
  }
  tc_decoded tc;
  const size_t end4 = le_value(t + 2, 2), end2 = le_value(t + 4, 2), end1 = le_value(t + 6, 2),
               endbm = le_value(t + 8, 2);
  const uint32_t hid_index = static_cast<uint32_t>(le_value(t + 10, 4));
  const uint32_t hnid_rows = static_cast<uint32_t>(le_value(t + 14, 4));
  if (!(end4 <= end2 && end2 <= end1 && end1 <= endbm) || endbm - end1 < (cols + 7) / 8 || endbm == 0) {
    d.error("TCINFO row offsets " + dec(end4) + "/" + dec(end2) + "/" + dec(end1) + "/" + dec(endbm) +
            " do not make a row for " + dec(cols) + " columns");
    return std::nullopt;
  }
  tc.row_size = endbm;
  tc.ceb_offset = end1;
  if (le_value(t + 18, 4) != 0) d.warn("TCINFO hidIndex is not 0 (deprecated)");
  std::set<uint8_t> bits;
  for (size_t i = 0; i < cols; ++i) {
    const uint8_t* c = t + 22 + 8 * i;
    tc_column_desc col{static_cast<uint32_t>(le_value(c, 4)), static_cast<uint16_t>(le_value(c + 4, 2)), c[6], c[7]};
    const std::string what = "column " + check_hex(col.tag);
    const uint16_t type = col.tag & 0xFFFF;
    auto fixed = fixed_size_of(type);
    size_t expect = 0;
    if (fixed) expect = is_multi(type) || *fixed == 0 || *fixed > 8 ? 4 : *fixed;
    if (fixed && type != 0x0001 && col.cb != expect)
      d.error(what + " is " + dec(col.cb) + " bytes wide; its type takes " + dec(expect));
    const size_t region_end = col.cb >= 4 ? end4 : col.cb == 2 ? end2 : end1;
    if (col.cb == 0 || col.ib + size_t{col.cb} > end1) {
      d.error(what + " at " + dec(col.ib) + "+" + dec(col.cb) + " lies outside the row's data");
      return std::nullopt;
    }
    if (col.ib + size_t{col.cb} > region_end) d.warn(what + " lies outside the cell region of its width");
    if (col.bit >= 8 * (endbm - end1)) {
      d.error(what + ": cell bit " + dec(col.bit) + " lies outside the cell existence block");
      return std::nullopt;
    }
    if (!bits.insert(col.bit).second) d.error(what + " shares its cell bit " + dec(col.bit) + " with another column");
    if (!tc.columns.empty() && tc.columns.back().tag >= col.tag) d.warn(what + ": column descriptors are not sorted by tag");
    tc.columns.push_back(col);
  }
  const tc_column_desc* row_id = tc.column(0x67F20003);
  if (!row_id) {
    d.error("the table has no row ID column (0x67F20003)");
    return std::nullopt;
  }
  auto index = decode_bth(*heap, hid_index, 4, unicode ? 4 : 2, "row index", d);
  if (!index) return std::nullopt;
  for (const bth_leaf& r : *index)
    tc.row_index.emplace_back(static_cast<uint32_t>(le_value(r.key.data(), 4)),
                              static_cast<uint32_t>(le_value(r.data.data(), r.data.size())));

  // Row matrix
  if (hnid_rows == 0) {
    // no rows
  } else if ((hnid_rows & 0x1F) == 0) {
    auto m = heap->at(hnid_rows);
    if (!m) {
      d.error("row matrix HID " + check_hex(hnid_rows) + " names no heap allocation");
      return std::nullopt;
    }
    if (m->size() % tc.row_size) d.error("row matrix of " + dec(m->size()) + " bytes is not a whole number of rows");
    for (size_t i = 0; i + tc.row_size <= m->size(); i += tc.row_size)
      tc.rows.emplace_back(m->begin() + i, m->begin() + i + tc.row_size);
  } else {
    std::string why;
    auto size = subnodes.size ? subnodes.size(hnid_rows, why) : std::nullopt;
    if (!size) {
      d.error("row matrix names subnode " + check_hex(hnid_rows) + ", which the node does not hold" +
              (why.empty() ? "" : " (" + why + ")"));
      return std::nullopt;
    }
    const size_t block = unicode ? 8176 : 8180;
    const size_t per_block = block / tc.row_size;
    if (per_block == 0 || *size / tc.row_size > max_tc_rows) {
      d.error("row matrix of " + dec(*size) + " bytes for rows of " + dec(tc.row_size) + " bytes");
      return std::nullopt;
    }
    auto m = subnodes.bytes(hnid_rows, uint64_t{max_tc_rows} * tc.row_size + block, why);
    if (!m) {
      d.error("row matrix subnode " + check_hex(hnid_rows) + " cannot be read (" + why + ")");
      return std::nullopt;
    }
    // Rows never span data blocks: each full block holds per_block rows
    // and its tail is padding.
    const size_t full = m->size() / block, tail = m->size() % block;
    if (tail % tc.row_size)
      d.error("row matrix subnode of " + dec(m->size()) + " bytes: the last block is not a whole number of rows");
    for (size_t b = 0; b <= full; ++b) {
      const size_t base = b * block;
      const size_t n = b < full ? per_block : tail / tc.row_size;
      for (size_t i = 0; i < n; ++i)
        tc.rows.emplace_back(m->begin() + base + i * tc.row_size, m->begin() + base + (i + 1) * tc.row_size);
    }
  }
  std::set<uint32_t> numbers;
  size_t bad_rows = 0;
  for (const auto& [id, number] : tc.row_index) {
    if (bad_rows == 8) {
      d.error("more rows disagree with the row index");
      break;
    }
    if (number >= tc.rows.size()) {
      d.error("row index names row " + dec(number) + " of " + dec(tc.rows.size()));
      ++bad_rows;
    } else if (!numbers.insert(number).second) {
      d.error("row index names row " + dec(number) + " twice");
      ++bad_rows;
    } else if (tc.value(number, *row_id) != id) {
      d.error("row " + dec(number) + " carries row ID " + check_hex(tc.value(number, *row_id)) + ", its index key is " +
              check_hex(id));
      ++bad_rows;
    }
  }
  if (tc.row_index.size() < tc.rows.size())
    d.warn("the row matrix holds " + dec(tc.rows.size()) + " rows, the row index " + dec(tc.row_index.size()));
  // Variable-size cells name a heap allocation or a subnode.
  size_t reported = 0;
  for (size_t r = 0; r < tc.rows.size() && reported < 8; ++r) {
    for (const auto& c : tc.columns) {
      const uint16_t type = c.tag & 0xFFFF;
      auto fixed = fixed_size_of(type);
      if (!fixed || !tc.has(r, c)) continue;
      if (!(is_multi(type) || *fixed == 0 || *fixed > 8)) continue;
      const uint32_t hnid = static_cast<uint32_t>(tc.value(r, c));
      if (hnid == 0) continue;
      std::string why;
      bool ok = (hnid & 0x1F) == 0 ? heap->valid(hnid) : (subnodes.size && subnodes.size(hnid, why).has_value());
      if (!ok) {
        d.error("row " + dec(r) + ", column " + check_hex(c.tag) + ": HNID " + check_hex(hnid) +
                " names neither a heap allocation nor a subnode");
        ++reported;
      } else if ((hnid & 0x1F) == 0) {
        auto b = heap->at(hnid);
        diag local;
        check_value_bytes(type, *b, "row " + dec(r) + ", column " + check_hex(c.tag), local);
        for (auto& i : local.items) d.items.push_back(std::move(i)), ++reported;
      }
    }
  }
  return tc;
}

// ---------------------------------------------------------------- text

std::string utf16le_to_utf8(std::span<const uint8_t> bytes) {
  std::u16string wide(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return platform::wide_to_multibyte(65001, wide);
}

std::string ansi_to_utf8(std::span<const uint8_t> bytes, uint32_t code_page) {
  if (code_page == 0 || !platform::code_page_supported(code_page)) code_page = 1252;
  std::string narrow(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  while (!narrow.empty() && narrow.back() == '\0') narrow.pop_back();
  return platform::wide_to_multibyte(65001, platform::multibyte_to_wide(code_page, narrow));
}

}  // namespace vendrel
