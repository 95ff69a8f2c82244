#include "ndb/walker.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "common/crc32.h"
#include "common/errors.h"
#include "ndb/amap.h"
#include "ndb/disk.h"
#include "ndb/header.h"
#include "ndb/page.h"
#include "ndb/types.h"

namespace vendrel {

const char* to_string(ndb_check check) {
  switch (check) {
    case ndb_check::unreadable: return "unreadable";
    case ndb_check::header: return "header";
    case ndb_check::map_page: return "map page";
    case ndb_check::map_summary: return "map summary";
    case ndb_check::btree_page: return "B-tree page";
    case ndb_check::block: return "block";
    case ndb_check::missing_block: return "missing block";
    case ndb_check::data_tree: return "data tree";
    case ndb_check::subnode_tree: return "subnode tree";
    case ndb_check::reference_count: return "reference count";
    case ndb_check::unmarked_space: return "unmarked space";
    case ndb_check::unused_space: return "unused space";
    case ndb_check::overlap: return "overlap";
    case ndb_check::truncated: return "truncated";
  }
  return "unknown";
}

namespace {

std::string hex(uint64_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), digits[value & 15]);
    value >>= 4;
  } while (value);
  return "0x" + out;
}

std::string dec(uint64_t value) { return std::to_string(value); }

}  // namespace

std::string to_string(const ndb_finding& f) {
  std::string out = to_string(f.check);
  if (f.offset) out += " at " + hex(f.offset);
  if (f.bid) out += " bid " + hex(f.bid);
  if (f.nid) out += " nid " + hex(f.nid);
  return out + ": " + f.message;
}

// ------------------------------------------------------------------ walker state

template <ndb_bidtype bidtype>
struct ndb_walker<bidtype>::state {
  using format = ndb_format<bidtype>;
  using hlayout = header_layout<bidtype>;
  using ptrailer = page_trailer_layout<bidtype>;
  using btlayout = btpage_layout<bidtype>;
  using btrailer = block_trailer_layout<bidtype>;

  // A stretch of file space that one structure occupies.
  enum class extent_kind : uint8_t { map_page, btree_page, block };
  struct extent {
    uint64_t offset;
    uint64_t size;
    extent_kind kind;
    uint64_t id;  // the BID of a page or block
  };

  struct block_info {
    uint64_t ib = 0;
    uint16_t cb = 0;
    uint16_t cref = 0;
    uint32_t references = 0;
    bool readable = false;           // the stored block passed its checks
    bool visited = false;            // its tree content was walked
    int level = -1;                  // of a walked tree block
    uint8_t btype = 0;               // of a walked tree block
    uint32_t first_nid = 0;          // of a walked subnode tree block
    uint64_t total = 0;              // lcbTotal of a walked data tree block
    std::vector<uint8_t> payload;    // internal blocks only
  };

  struct node {
    uint32_t nid;
    bidtype bid_data;
    bidtype bid_sub;
    uint32_t parent;
  };

  IFile& file;
  ndb_walker_options options;
  std::vector<ndb_finding> findings;
  bool stopped = false;
  uint64_t file_size = 0;

  std::array<uint8_t, format::header_kept_size> header{};
  uint64_t eof = 0;
  uint64_t regions = 0;         // regions present in the file
  uint64_t header_regions = 0;  // regions the header claims
  // A tree page that could not be used leaves its tree incomplete: what
  // depends on all of it (references, unused space) is not judged then.
  bool bbt_complete = true, nbt_complete = true;
  // fAMapValid: maps marked not valid are read and checked as pages, but
  // what they say about the space is not judged.
  bool maps_valid = true;
  block_ref<bidtype> bbt_root, nbt_root;

  // Per region: AMap bits; per PMap: its bits (empty when unreadable).
  std::vector<std::vector<uint8_t>> amaps;
  std::vector<std::vector<uint8_t>> pmaps;
  std::map<uint64_t, std::vector<uint8_t>> fmaps;   // by first AMap index
  std::map<uint64_t, std::vector<uint8_t>> fpmaps;  // by first PMap index

  std::vector<extent> extents;
  std::map<bidtype, block_info> blocks;
  std::vector<node> nodes;
  std::set<uint64_t> pages_seen;
  bidtype max_page_bid = 0;

  state(IFile& f, ndb_walker_options o) : file(f), options(o) {}

  // ---- findings and reads

  void add(ndb_check check, uint64_t offset, uint64_t bid, uint32_t nid, std::string message) {
    if (stopped) return;
    if (findings.size() >= options.max_findings) {
      findings.push_back({ndb_check::truncated, 0, 0, 0,
                          "more than " + dec(options.max_findings) + " findings; the rest are not recorded"});
      stopped = true;
      return;
    }
    findings.push_back({check, offset, bid, nid, std::move(message)});
  }

  bool read(uint64_t offset, void* buffer, size_t size) {
    if (offset > file_size || size > file_size - offset) return false;
    try {
      file.read_at(offset, buffer, static_cast<uint32_t>(size));
      return true;
    } catch (const qm_retcode&) {
      return false;
    }
  }

  static bool bit(const std::vector<uint8_t>& bits, size_t index) {
    return (bits[index / 8] & (0x80 >> (index % 8))) != 0;
  }

  static uint8_t free_slot_value(const std::vector<uint8_t>& bits) {
    size_t best = 0, run = 0;
    for (size_t i = 0; i < slots_per_region; ++i) {
      run = bit(bits, i) ? 0 : run + 1;
      best = std::max(best, run);
    }
    return static_cast<uint8_t>(std::min<size_t>(best, 255));
  }

  static bool has_clear_bit(const std::vector<uint8_t>& bits) {
    for (size_t i = 0; i < map_bitmap_bytes; ++i)
      if (bits[i] != 0xFF) return true;
    return false;
  }

  // ---- the header

  bool check_header() {
    if (!read(0, header.data(), header.size())) {
      add(ndb_check::unreadable, 0, 0, 0, "the file is shorter than its header");
      return false;
    }
    const uint8_t* h = header.data();
    if (hlayout::dwMagic::get(h) != ndb_magic)
      add(ndb_check::header, hlayout::dwMagic::offset, 0, 0, "dwMagic is " + hex(hlayout::dwMagic::get(h)));
    uint16_t version = hlayout::wVer::get(h);
    bool version_ok = format::unicode ? version >= 23 : (version == 14 || version == 15);
    if (!version_ok)
      add(ndb_check::header, hlayout::wVer::offset, 0, 0,
          "wVer " + dec(version) + " is not a " + format::name + " file's");
    if (hlayout::wMagicClient::get(h) != ndb_magic_client_pst)
      add(ndb_check::header, hlayout::wMagicClient::offset, 0, 0,
          "wMagicClient is " + hex(hlayout::wMagicClient::get(h)));
    uint32_t partial = crc32(h + hlayout::crc_partial_start, hlayout::crc_partial_size);
    if (partial != hlayout::dwCRCPartial::get(h))
      add(ndb_check::header, hlayout::dwCRCPartial::offset, 0, 0,
          "dwCRCPartial is " + hex(hlayout::dwCRCPartial::get(h)) + ", the bytes give " + hex(partial));
    if constexpr (format::unicode) {
      uint32_t full = crc32(h + hlayout::crc_full_start, hlayout::crc_full_size);
      if (full != hlayout::dwCRCFull::get(h))
        add(ndb_check::header, hlayout::dwCRCFull::offset, 0, 0,
            "dwCRCFull is " + hex(hlayout::dwCRCFull::get(h)) + ", the bytes give " + hex(full));
    }
    if (hlayout::bSentinel::get(h) != 0x80)
      add(ndb_check::header, hlayout::bSentinel::offset, 0, 0, "bSentinel is " + hex(hlayout::bSentinel::get(h)));
    if (hlayout::bCryptMethod::get(h) > crypt_method::cyclic)
      add(ndb_check::header, hlayout::bCryptMethod::offset, 0, 0,
          "bCryptMethod " + dec(hlayout::bCryptMethod::get(h)) + " is unknown");
    uint8_t valid = hlayout::fAMapValid::get(h);
    maps_valid = valid == 1 || valid == 2;
    if (!maps_valid)
      add(ndb_check::header, hlayout::fAMapValid::offset, 0, 0,
          "fAMapValid is " + dec(valid) + ": the maps are marked not valid (a reader rebuilds them)");

    eof = hlayout::ibFileEof::get(h);
    uint64_t amap_last = hlayout::ibAMapLast::get(h);
    if (eof <= first_region_offset || (eof - first_region_offset) % region_size != 0) {
      add(ndb_check::header, hlayout::ibFileEof::offset, 0, 0,
          "ibFileEof " + hex(eof) + " is not the end of a region");
      regions = eof > first_region_offset ? (eof - first_region_offset) / region_size : 0;
    } else {
      regions = (eof - first_region_offset) / region_size;
    }
    header_regions = regions;
    if (regions > 0 && amap_last != region_offset(regions - 1))
      add(ndb_check::header, hlayout::ibAMapLast::offset, 0, 0,
          "ibAMapLast " + hex(amap_last) + " is not the last region's AMap " + hex(region_offset(regions - 1)));
    if (file_size < eof) {
      add(ndb_check::unreadable, hlayout::ibFileEof::offset, 0, 0,
          "the file holds " + dec(file_size) + " bytes, ibFileEof says " + dec(eof));
      // Walk only what is there.
      regions = file_size > first_region_offset ? (file_size - first_region_offset) / region_size : 0;
    }
    bbt_root = hlayout::brefBBT::get(h);
    nbt_root = hlayout::brefNBT::get(h);
    return true;
  }

  // ---- map pages

  // Reads and checks one page; nullopt (with a finding) when unusable.
  std::optional<std::array<uint8_t, page_size>> read_page(uint64_t offset, page_type expected, ndb_check check,
                                                         const char* what, uint32_t nid = 0) {
    std::array<uint8_t, page_size> image;
    if (offset % page_size != 0 || offset < first_region_offset || offset + page_size > eof) {
      add(check, offset, 0, nid, std::string(what) + " lies outside the file's regions or off a page boundary");
      return std::nullopt;
    }
    if (!read(offset, image.data(), image.size())) {
      add(ndb_check::unreadable, offset, 0, nid, std::string(what) + " cannot be read");
      return std::nullopt;
    }
    const uint8_t* p = image.data();
    bidtype bid = ptrailer::bid::get(p);
    bool ok = true;
    uint8_t type = ptrailer::ptype::get(p);
    if (type != static_cast<uint8_t>(expected) || ptrailer::ptypeRepeat::get(p) != type) {
      add(check, offset, bid, nid,
          std::string(what) + ": ptype " + hex(type) + " / " + hex(ptrailer::ptypeRepeat::get(p)) + ", expected " +
              hex(static_cast<uint8_t>(expected)));
      ok = false;
    }
    uint32_t crc = crc32(p, ptrailer::data_size);
    if (crc != ptrailer::dwCRC::get(p)) {
      add(check, offset, bid, nid,
          std::string(what) + ": dwCRC " + hex(ptrailer::dwCRC::get(p)) + ", the data gives " + hex(crc));
      ok = false;
    }
    if (ptrailer::wSig::get(p) != compute_sig(offset, bid)) {
      add(check, offset, bid, nid,
          std::string(what) + ": wSig " + hex(ptrailer::wSig::get(p)) + ", expected " + hex(compute_sig(offset, bid)));
      ok = false;
    }
    if (!ok) return std::nullopt;
    return image;
  }

  void read_maps() {
    amaps.assign(regions, {});
    pmaps.assign((regions + 7) / 8, {});
    for (uint64_t region = 0; region < regions && !stopped; ++region) {
      uint64_t offset = region_offset(region);
      struct wanted {
        bool present;
        page_type type;
        const char* name;
      };
      const wanted maps[] = {{true, page_type::amap, "AMap"},
                             {region_has_pmap(region), page_type::pmap, "PMap"},
                             {region_has_fmap(region), page_type::fmap, "FMap"},
                             {region_has_fpmap(region), page_type::fpmap, "FPMap"}};
      uint64_t at = offset;
      for (const auto& m : maps) {
        if (!m.present) continue;
        extents.push_back({at, page_size, extent_kind::map_page, at});
        auto image = read_page(at, m.type, ndb_check::map_page, m.name);
        if (image) {
          bidtype bid = ptrailer::bid::get(image->data());
          if (bid != at) add(ndb_check::map_page, at, bid, 0, std::string(m.name) + " carries a BID other than its offset");
          std::vector<uint8_t> data(image->data(), image->data() + map_bitmap_bytes);
          switch (m.type) {
            case page_type::amap: amaps[region] = std::move(data); break;
            case page_type::pmap: pmaps[region / 8] = std::move(data); break;
            case page_type::fmap: fmaps[region] = std::move(data); break;
            case page_type::fpmap: fpmaps[region / 8] = std::move(data); break;
            default: break;
          }
        }
        at += page_size;
      }
    }
  }

  // The header's and the FMaps' / FPMaps' records of the maps, and the free totals.
  void check_map_summaries() {
    const uint8_t* h = header.data();
    uint64_t amap_free = 0, pmap_free = 0;
    for (uint64_t region = 0; region < regions; ++region) {
      if (amaps[region].empty()) continue;
      for (size_t i = 0; i < slots_per_region; ++i) amap_free += bit(amaps[region], i) ? 0 : block_alignment;
      uint8_t value = free_slot_value(amaps[region]);
      std::optional<uint8_t> recorded;
      uint64_t where = 0;
      if (region < fmap_first_region) {
        recorded = hlayout::rgbFM::at(h)[region];
        where = hlayout::rgbFM::offset + region;
      } else if (auto found = fmaps.find(fmap_region(region)); found != fmaps.end()) {
        recorded = found->second[region - fmap_region(region)];
        where = fmap_offset(region);
      }
      if (recorded && *recorded != value)
        add(ndb_check::map_summary, where, 0, 0,
            "AMap " + dec(region) + " has a longest free run of " + dec(value) + " slots, recorded as " +
                dec(*recorded));
    }
    for (uint64_t region = header_regions; region < fmap_first_region; ++region)
      if (hlayout::rgbFM::at(h)[region] != 0)
        add(ndb_check::map_summary, hlayout::rgbFM::offset + region, 0, 0,
            "rgbFM holds " + dec(hlayout::rgbFM::at(h)[region]) + " for AMap " + dec(region) + ", which does not exist");
    for (const auto& [first, values] : fmaps)
      for (uint64_t j = 0; j < map_span; ++j)
        if (first + j >= header_regions && values[j] != 0)
          add(ndb_check::map_summary, fmap_offset(first), 0, 0,
              "FMap holds " + dec(values[j]) + " for AMap " + dec(first + j) + ", which does not exist");

    const uint64_t pmap_count = pmaps.size();
    for (uint64_t index = 0; index < pmap_count; ++index) {
      if (pmaps[index].empty()) continue;
      for (size_t i = 0; i < slots_per_region; ++i) {
        if (bit(pmaps[index], i)) continue;
        uint64_t region = 8 * index + i / pages_per_region;
        if (region >= header_regions)
          add(ndb_check::map_summary, pmap_offset(index), 0, 0,
              "PMap " + dec(index) + " offers page " + hex(region_offset(8 * index) + page_size * i) +
                  " beyond the end of the file");
        else
          pmap_free += page_size;
      }
      bool full = !has_clear_bit(pmaps[index]);
      std::optional<bool> recorded;
      uint64_t where = 0;
      if (index < fpmap_first_pmap) {
        recorded = (hlayout::rgbFP::at(h)[index / 8] & (0x80 >> (index % 8))) != 0;
        where = hlayout::rgbFP::offset + index / 8;
      } else if (auto found = fpmaps.find(fpmap_pmap(index)); found != fpmaps.end()) {
        recorded = bit(found->second, index - fpmap_pmap(index));
        where = fpmap_offset(index);
      }
      if (recorded && *recorded != full)
        add(ndb_check::map_summary, where, 0, 0,
            "PMap " + dec(index) + (full ? " has no free page" : " has free pages") + ", recorded as " +
                (*recorded ? "full" : "not full"));
    }
    for (uint64_t index = std::max<uint64_t>(pmap_count, (header_regions + 7) / 8); index < fpmap_first_pmap; ++index)
      if ((hlayout::rgbFP::at(h)[index / 8] & (0x80 >> (index % 8))) == 0)
        add(ndb_check::map_summary, hlayout::rgbFP::offset + index / 8, 0, 0,
            "rgbFP offers PMap " + dec(index) + ", which does not exist");

    if (hlayout::cbAMapFree::get(h) != amap_free)
      add(ndb_check::map_summary, hlayout::cbAMapFree::offset, 0, 0,
          "cbAMapFree is " + dec(hlayout::cbAMapFree::get(h)) + ", the AMaps have " + dec(amap_free) + " bytes free");
    if (hlayout::cbPMapFree::get(h) != pmap_free)
      add(ndb_check::map_summary, hlayout::cbPMapFree::offset, 0, 0,
          "cbPMapFree is " + dec(hlayout::cbPMapFree::get(h)) + ", the PMaps have " + dec(pmap_free) + " bytes free");
  }

  // ---- B-trees

  struct tree_kind {
    page_type type;
    const char* name;
    size_t leaf_size;
  };

  // Walks the page at `bref`; returns the first key of the page (nullopt
  // when the page is unusable). `level` is the level the parent expects (-1
  // for the root); [low, high) the keys it may hold.
  std::optional<uint64_t> walk_tree(const tree_kind& kind, const block_ref<bidtype>& bref, int level,
                                    std::optional<uint64_t> low, std::optional<uint64_t> high) {
    if (stopped) return std::nullopt;
    std::optional<uint64_t> first = walk_page(kind, bref, level, low, high);
    if (!first) (kind.type == page_type::bbt ? bbt_complete : nbt_complete) = false;
    return first;
  }

  std::optional<uint64_t> walk_page(const tree_kind& kind, const block_ref<bidtype>& bref, int level,
                                    std::optional<uint64_t> low, std::optional<uint64_t> high) {
    uint64_t offset = bref.ib;
    std::string what = std::string(kind.name) + " page";
    if (!pages_seen.insert(offset).second) {
      add(ndb_check::btree_page, offset, bref.bid.value(), 0, what + " is reached twice");
      return std::nullopt;
    }
    extents.push_back({offset, page_size, extent_kind::btree_page, bref.bid.value()});
    auto image = read_page(offset, kind.type, ndb_check::btree_page, what.c_str());
    if (!image) return std::nullopt;
    const uint8_t* p = image->data();
    bidtype bid = ptrailer::bid::get(p);
    max_page_bid = std::max(max_page_bid, bid);
    if (bid != bref.bid.value()) {
      add(ndb_check::btree_page, offset, bid, 0, what + " carries BID " + hex(bid) + ", its parent names " +
                                                     hex(bref.bid.value()));
      return std::nullopt;
    }
    uint8_t count = btlayout::cEnt::get(p), max = btlayout::cEntMax::get(p), size = btlayout::cbEnt::get(p),
            page_level = btlayout::cLevel::get(p);
    if (level >= 0 && page_level != level) {
      add(ndb_check::btree_page, offset, bid, 0, what + " has cLevel " + dec(page_level) + ", expected " + dec(level));
      return std::nullopt;
    }
    if (page_level > 8) {
      add(ndb_check::btree_page, offset, bid, 0, what + " has cLevel " + dec(page_level));
      return std::nullopt;
    }
    size_t expected_size = page_level == 0 ? kind.leaf_size : btentry_layout<bidtype>::size;
    size_t expected_max = btlayout::rgentries::size / expected_size;
    if (size != expected_size || max != expected_max || count > max) {
      add(ndb_check::btree_page, offset, bid, 0,
          what + " counts: cEnt " + dec(count) + ", cEntMax " + dec(max) + ", cbEnt " + dec(size) + "; expected cEntMax " +
              dec(expected_max) + ", cbEnt " + dec(expected_size));
      return std::nullopt;
    }
    if (count == 0) {
      add(ndb_check::btree_page, offset, bid, 0, what + " holds no entries");
      return std::nullopt;
    }
    auto key_at = [&](size_t i) -> uint64_t {
      const uint8_t* e = p + i * size;
      if (page_level > 0) return btentry_layout<bidtype>::btkey::get(e);
      if (kind.type == page_type::bbt) return bbtentry_layout<bidtype>::bref::bid::get(e);
      return nbtentry_layout<bidtype>::nid::get(e);
    };
    for (size_t i = 0; i < count; ++i) {
      uint64_t key = key_at(i);
      if (i > 0 && key <= key_at(i - 1))
        add(ndb_check::btree_page, offset, bid, 0, what + ": key " + hex(key) + " of entry " + dec(i) + " is out of order");
      if ((low && key < *low) || (high && key >= *high))
        add(ndb_check::btree_page, offset, bid, 0, what + ": key " + hex(key) + " lies outside the range its parent gives");
    }
    for (size_t i = 0; i < count && !stopped; ++i) {
      const uint8_t* e = p + i * size;
      if (page_level > 0) {
        block_ref<bidtype> child = btentry_layout<bidtype>::bref::get(e);
        uint64_t key = key_at(i);
        std::optional<uint64_t> next = i + 1 < count ? std::optional<uint64_t>(key_at(i + 1)) : high;
        std::optional<uint64_t> first = walk_tree(kind, child, page_level - 1, key, next);
        if (first && *first != key)
          add(ndb_check::btree_page, offset, bid, 0,
              what + ": entry " + dec(i) + " has key " + hex(key) + ", its child begins with " + hex(*first));
      } else if (kind.type == page_type::bbt) {
        using leaf = bbtentry_layout<bidtype>;
        bidtype block = leaf::bref::bid::get(e);
        block_info info;
        info.ib = leaf::bref::ib::get(e);
        info.cb = leaf::cb::get(e);
        info.cref = leaf::cRef::get(e);
        if (!blocks.emplace(block, std::move(info)).second)
          add(ndb_check::btree_page, offset, block, 0, "the BBT lists the block twice");
      } else {
        using leaf = nbtentry_layout<bidtype>;
        nodes.push_back({leaf::nid::get(e), leaf::bidData::get(e), leaf::bidSub::get(e), leaf::nidParent::get(e)});
      }
    }
    return key_at(0);
  }

  void walk_trees() {
    const tree_kind bbt{page_type::bbt, "BBT", bbtentry_layout<bidtype>::size};
    const tree_kind nbt{page_type::nbt, "NBT", nbtentry_layout<bidtype>::size};
    for (const auto& [kind, root, field] :
         {std::tuple{bbt, bbt_root, hlayout::brefBBT::offset}, std::tuple{nbt, nbt_root, hlayout::brefNBT::offset}}) {
      if (root.ib == 0 && root.bid.value() == 0) continue;  // an empty tree
      if (root.ib == 0) {
        add(ndb_check::header, field, root.bid.value(), 0, std::string(kind.name) + " root has a BID but no offset");
        continue;
      }
      walk_tree(kind, root, -1, std::nullopt, std::nullopt);
    }
  }

  // ---- blocks

  void check_blocks() {
    const uint8_t* h = header.data();
    bidtype next_b = hlayout::bidNextB::get(h);
    if (!blocks.empty() && blocks.rbegin()->first >= next_b)
      add(ndb_check::header, hlayout::bidNextB::offset, blocks.rbegin()->first, 0,
          "bidNextB " + hex(next_b) + " is not above the highest BID in use");
    for (auto& [bid, info] : blocks) {
      if (stopped) return;
      if (bid == 0 || (bid & 1) != 0)
        add(ndb_check::block, info.ib, bid, 0, "the BID has its reserved bit set or is 0");
      size_t disk = block_disk_size<bidtype>(info.cb);
      if (info.cb == 0 || info.cb > format::max_block_payload) {
        add(ndb_check::block, info.ib, bid, 0, "cb " + dec(info.cb) + " is not a block size");
        continue;
      }
      if (info.ib % block_alignment != 0 || info.ib < first_region_offset || info.ib + disk > eof) {
        add(ndb_check::block, info.ib, bid, 0, "the block lies off a 64-byte boundary or outside the regions");
        continue;
      }
      uint64_t region = (info.ib - first_region_offset) / region_size;
      if (info.ib + disk > region_offset(region) + region_size)
        add(ndb_check::block, info.ib, bid, 0, "the block runs past the end of region " + dec(region));
      extents.push_back({info.ib, disk, extent_kind::block, bid});
      std::vector<uint8_t> image(disk);
      if (!read(info.ib, image.data(), image.size())) {
        add(ndb_check::unreadable, info.ib, bid, 0, "the block cannot be read");
        continue;
      }
      const uint8_t* t = image.data() + disk - btrailer::size;
      bool ok = true;
      if (btrailer::cb::get(t) != info.cb) {
        add(ndb_check::block, info.ib, bid, 0,
            "the trailer's cb " + dec(btrailer::cb::get(t)) + " differs from the BBT's " + dec(info.cb));
        ok = false;
      }
      if (btrailer::bid::get(t) != bid) {
        add(ndb_check::block, info.ib, bid, 0, "the trailer carries BID " + hex(btrailer::bid::get(t)));
        ok = false;
      }
      if (btrailer::wSig::get(t) != compute_sig(info.ib, bid)) {
        add(ndb_check::block, info.ib, bid, 0,
            "wSig " + hex(btrailer::wSig::get(t)) + ", expected " + hex(compute_sig(info.ib, bid)));
        ok = false;
      }
      uint32_t crc = crc32(image.data(), info.cb);
      if (btrailer::dwCRC::get(t) != crc) {
        add(ndb_check::block, info.ib, bid, 0,
            "dwCRC " + hex(btrailer::dwCRC::get(t)) + ", the payload gives " + hex(crc));
        ok = false;
      }
      info.readable = ok;
      if (ok && (bid & 2) != 0) info.payload.assign(image.begin(), image.begin() + info.cb);
    }
  }

  // ---- references

  // Counts one reference to `bid`; the block's entry, or nullptr when the
  // BBT does not hold it.
  block_info* reference(bidtype bid, uint32_t nid, const std::string& from) {
    auto found = blocks.find(bid);
    if (found == blocks.end()) {
      if (bbt_complete) add(ndb_check::missing_block, 0, bid, nid, from + " names a block the BBT does not hold");
      return nullptr;
    }
    ++found->second.references;
    return &found->second;
  }

  // Walks a data tree block once; afterwards info.level and info.total hold
  // what it is (level -1: unusable).
  void visit_data_tree(bidtype bid, block_info& info, uint32_t nid) {
    if (info.visited) return;
    info.visited = true;
    if (!info.readable) return;
    using layout = xblock_layout<bidtype>;
    const std::vector<uint8_t>& p = info.payload;
    if (p.size() < layout::rgbid || layout::btype::get(p.data()) != layout::btype_value) {
      add(ndb_check::data_tree, info.ib, bid, nid, "an internal block named as node data is not an XBLOCK or XXBLOCK");
      return;
    }
    uint8_t level = layout::cLevel::get(p.data());
    size_t count = layout::cEnt::get(p.data());
    uint64_t total = layout::lcbTotal::get(p.data());
    if ((level != 1 && level != 2) || count == 0 || layout::rgbid + count * layout::entry_size > p.size()) {
      add(ndb_check::data_tree, info.ib, bid, nid,
          "cLevel " + dec(level) + ", cEnt " + dec(count) + " in a block of " + dec(p.size()) + " bytes");
      return;
    }
    info.level = level;
    info.btype = layout::btype_value;
    info.total = total;
    uint64_t sum = 0;
    bool complete = true;
    // Copy: walking a child may not move this block's payload, but keep it simple.
    std::vector<bidtype> children;
    for (size_t i = 0; i < count; ++i) children.push_back(get_le<bidtype>(p.data() + layout::rgbid + i * layout::entry_size));
    for (bidtype child : children) {
      block_info* c = reference(child, nid, "data tree block " + hex(bid));
      if (!c) {
        complete = false;
        continue;
      }
      if (level == 1) {
        if (child & 2) {
          add(ndb_check::data_tree, info.ib, bid, nid, "XBLOCK entry " + hex(child) + " is an internal block");
          complete = false;
        }
        sum += c->cb;
      } else {
        if (!(child & 2)) {
          add(ndb_check::data_tree, info.ib, bid, nid, "XXBLOCK entry " + hex(child) + " is a data block");
          complete = false;
          continue;
        }
        visit_data_tree(child, *c, nid);
        if (c->level != 1) {
          if (c->level >= 0)
            add(ndb_check::data_tree, c->ib, child, nid, "an XXBLOCK entry is not an XBLOCK");
          complete = false;
          continue;
        }
        sum += c->total;
      }
    }
    if (complete && sum != total)
      add(ndb_check::data_tree, info.ib, bid, nid,
          "lcbTotal " + dec(total) + ", the blocks below hold " + dec(sum) + " bytes");
  }

  void visit_subnode_tree(bidtype bid, block_info& info, uint32_t nid) {
    if (info.visited) return;
    info.visited = true;
    if (!info.readable) return;
    using layout = slblock_layout<bidtype>;
    const std::vector<uint8_t>& p = info.payload;
    if (p.size() < layout::rgentries || layout::btype::get(p.data()) != layout::btype_value) {
      add(ndb_check::subnode_tree, info.ib, bid, nid, "an internal block named as subnodes is not an SLBLOCK or SIBLOCK");
      return;
    }
    uint8_t level = layout::cLevel::get(p.data());
    size_t count = layout::cEnt::get(p.data());
    size_t entry_size = level == 0 ? slentry_layout<bidtype>::size : sientry_layout<bidtype>::size;
    if (level > 1 || count == 0 || layout::rgentries + count * entry_size > p.size()) {
      add(ndb_check::subnode_tree, info.ib, bid, nid,
          "cLevel " + dec(level) + ", cEnt " + dec(count) + " in a block of " + dec(p.size()) + " bytes");
      return;
    }
    info.level = level;
    info.btype = layout::btype_value;
    struct entry {
      uint32_t nid;
      bidtype a, b;
    };
    std::vector<entry> entries;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = p.data() + layout::rgentries + i * entry_size;
      if (level == 0)
        entries.push_back({slentry_layout<bidtype>::nid::get(e), slentry_layout<bidtype>::bidData::get(e),
                           slentry_layout<bidtype>::bidSub::get(e)});
      else
        entries.push_back({sientry_layout<bidtype>::nid::get(e), sientry_layout<bidtype>::bid::get(e), 0});
    }
    info.first_nid = entries.front().nid;
    for (size_t i = 1; i < entries.size(); ++i)
      if (entries[i].nid <= entries[i - 1].nid)
        add(ndb_check::subnode_tree, info.ib, bid, nid, "entry " + dec(i) + " (NID " + hex(entries[i].nid) + ") is out of order");
    for (const entry& e : entries) {
      if (level == 0) {
        visit_node_blocks(e.nid, e.a, e.b, "subnode " + hex(e.nid) + " of block " + hex(bid));
      } else {
        block_info* c = reference(e.a, nid, "SIBLOCK " + hex(bid));
        if (!c) continue;
        if (!(e.a & 2)) {
          add(ndb_check::subnode_tree, info.ib, bid, nid, "SIENTRY " + hex(e.a) + " is a data block");
          continue;
        }
        visit_subnode_tree(e.a, *c, nid);
        if (c->btype == layout::btype_value && c->level != 0)
          add(ndb_check::subnode_tree, c->ib, e.a, nid, "an SIENTRY names a block that is not an SLBLOCK");
        else if (c->level == 0 && c->first_nid != e.nid)
          add(ndb_check::subnode_tree, info.ib, bid, nid,
              "SIENTRY key " + hex(e.nid) + ", its SLBLOCK begins with " + hex(c->first_nid));
      }
    }
  }

  // The bidData and bidSub of a node or a subnode.
  void visit_node_blocks(uint32_t nid, bidtype bid_data, bidtype bid_sub, const std::string& from) {
    if (bid_data) {
      if (block_info* d = reference(bid_data, nid, from + "'s bidData")) {
        if (bid_data & 2) visit_data_tree(bid_data, *d, nid);
      }
    }
    if (bid_sub) {
      if (block_info* s = reference(bid_sub, nid, from + "'s bidSub")) {
        if (!(bid_sub & 2))
          add(ndb_check::subnode_tree, s->ib, bid_sub, nid, from + "'s bidSub is a data block");
        else
          visit_subnode_tree(bid_sub, *s, nid);
      }
    }
  }

  void check_references() {
    const uint8_t* h = header.data();
    std::array<uint32_t, 32> highest{};  // the highest NID of each type in the NBT
    for (const node& n : nodes) {
      if (stopped) return;
      visit_node_blocks(n.nid, n.bid_data, n.bid_sub, "node " + hex(n.nid));
      highest[n.nid & 0x1F] = std::max(highest[n.nid & 0x1F], n.nid);
    }
    auto rgnid = [&](uint32_t type) { return get_le<uint32_t>(hlayout::rgnid::at(h) + 4 * type); };
    for (uint32_t type = 0; type < 32; ++type) {
      // A folder's tables (hierarchy, contents, associated contents, search
      // contents) take the folder's index, which the folder types count.
      bool table = type >= nid_type::hierarchy_table && type <= 0x10;
      uint32_t high = table ? std::max(rgnid(nid_type::folder), rgnid(nid_type::search_folder)) : rgnid(type);
      if (highest[type] >> 5 > high)
        add(ndb_check::header, hlayout::rgnid::offset + 4 * type, 0, highest[type],
            "rgnid[" + dec(type) + "] is " + hex(high) + ", below the index of a node in the NBT: a new NID may collide");
    }
    for (const auto& [bid, info] : blocks) {
      if (stopped || !nbt_complete) break;
      uint64_t expected = 1 + static_cast<uint64_t>(info.references);
      if (info.cref != expected)
        add(ndb_check::reference_count, info.ib, bid, 0,
            "cRef " + dec(info.cref) + ", but " + dec(info.references) + " referrer(s): expected " + dec(expected));
    }
    bidtype next_p = hlayout::bidNextP::get(h);
    if (!pages_seen.empty() && max_page_bid >= next_p)
      add(ndb_check::header, hlayout::bidNextP::offset, max_page_bid, 0,
          "bidNextP " + hex(next_p) + " is not above every page BID");
  }

  // ---- space

  void check_space() {
    std::sort(extents.begin(), extents.end(),
              [](const extent& a, const extent& b) { return a.offset < b.offset || (a.offset == b.offset && a.size < b.size); });
    auto describe = [](const extent& e) {
      switch (e.kind) {
        case extent_kind::map_page: return "map page at " + hex(e.offset);
        case extent_kind::btree_page: return "B-tree page " + hex(e.id) + " at " + hex(e.offset);
        case extent_kind::block: return "block " + hex(e.id) + " at " + hex(e.offset);
      }
      return std::string();
    };
    // Overlaps: each extent against the one reaching furthest before it.
    const extent* reach = nullptr;
    for (const extent& e : extents) {
      if (stopped) return;
      if (reach && e.offset < reach->offset + reach->size)
        add(ndb_check::overlap, e.offset, e.kind == extent_kind::map_page ? 0 : e.id, 0,
            describe(e) + " shares bytes with " + describe(*reach));
      if (!reach || e.offset + e.size > reach->offset + reach->size) reach = &e;
    }
    if (!maps_valid) return;

    // Region by region: used slots against the AMap, used pages against the PMap.
    std::vector<uint8_t> used(slots_per_region);
    size_t next = 0;
    for (uint64_t region = 0; region < regions && !stopped; ++region) {
      uint64_t start = region_offset(region), end = start + region_size;
      std::fill(used.begin(), used.end(), 0);
      const std::vector<uint8_t>& amap = amaps[region];
      const std::vector<uint8_t>& pmap = pmaps[region / 8];
      auto page_free = [&](size_t slot) {
        return !pmap.empty() && !bit(pmap, (region % 8) * pages_per_region + slot / 8);
      };
      while (next < extents.size() && extents[next].offset < end) {
        const extent& e = extents[next++];
        if (e.offset < start) continue;
        size_t first = static_cast<size_t>((e.offset - start) / block_alignment);
        size_t last = static_cast<size_t>(std::min<uint64_t>((e.offset + e.size - start + block_alignment - 1) / block_alignment,
                                                             slots_per_region));
        bool unmarked = false, on_free_page = false;
        for (size_t s = first; s < last; ++s) {
          used[s] = 1;
          if (!amap.empty() && !bit(amap, s)) unmarked = true;
          if (page_free(s)) on_free_page = true;
        }
        if (unmarked)
          add(ndb_check::unmarked_space, e.offset, e.kind == extent_kind::map_page ? 0 : e.id, 0,
              describe(e) + " lies in space its AMap marks free");
        if (on_free_page)
          add(ndb_check::unmarked_space, e.offset, e.kind == extent_kind::map_page ? 0 : e.id, 0,
              describe(e) + " lies on a page its PMap offers as free");
      }
      if (amap.empty() || !bbt_complete || !nbt_complete) continue;
      // Allocated but unused: runs of marked slots that nothing occupies,
      // other than pages the PMap keeps free for B-tree pages (those must
      // be marked, or the block allocator could take them).
      size_t s = 0;
      while (s < slots_per_region && !stopped) {
        if (page_free(s)) {
          bool marked = true;
          for (size_t k = s; k < s + 8; ++k) marked = marked && bit(amap, k);
          if (!marked)
            add(ndb_check::unmarked_space, start + block_alignment * s, 0, 0,
                "page free in its PMap is free in its AMap too: both allocators may hand it out");
          s += 8;
          continue;
        }
        if (!bit(amap, s) || used[s]) {
          ++s;
          continue;
        }
        size_t run = s;
        while (run < slots_per_region && bit(amap, run) && !used[run] && !page_free(run)) ++run;
        add(ndb_check::unused_space, start + block_alignment * s, 0, 0,
            dec((run - s) * block_alignment) + " bytes marked allocated in AMap " + dec(region) + " hold nothing");
        s = run;
      }
    }
  }

  std::vector<ndb_finding> run() {
    file_size = file.size();
    if (!check_header()) return std::move(findings);
    read_maps();
    if (maps_valid) check_map_summaries();
    walk_trees();
    check_blocks();
    check_references();
    check_space();
    return std::move(findings);
  }
};

template <ndb_bidtype bidtype>
ndb_walker<bidtype>::ndb_walker(IFile& file, ndb_walker_options options)
    : state_(std::make_unique<state>(file, options)) {}

template <ndb_bidtype bidtype>
ndb_walker<bidtype>::~ndb_walker() = default;

template <ndb_bidtype bidtype>
std::vector<ndb_finding> ndb_walker<bidtype>::run() {
  return state_->run();
}

template class ndb_walker<uint32_t>;
template class ndb_walker<uint64_t>;

std::vector<ndb_finding> check_file(IFile& file, ndb_walker_options options) {
  uint8_t start[12] = {};
  bool readable = false;
  try {
    if (file.is_open() && file.size() >= sizeof start) {
      file.read_at(0, start, sizeof start);
      readable = true;
    }
  } catch (const qm_retcode&) {
  }
  if (!readable) return {{ndb_check::unreadable, 0, 0, 0, "the file cannot be read"}};
  uint16_t version = get_le<uint16_t>(start + 10);
  if (version == 14 || version == 15) return ndb_walker<uint32_t>(file, options).run();
  if (version >= 23) return ndb_walker<uint64_t>(file, options).run();
  return {{ndb_check::header, 10, 0, 0, "wVer " + std::to_string(version) + " is neither an ANSI nor a Unicode file's"}};
}

std::vector<ndb_finding> check_file(std::u16string_view path, ndb_walker_options options) {
  std::unique_ptr<CMyFile> file;
  try {
    file = CMyFile::open_for_reading(path);
  } catch (const qm_retcode&) {
    return {{ndb_check::unreadable, 0, 0, 0, "the file cannot be opened"}};
  }
  return check_file(*file, options);
}

}  // namespace vendrel
