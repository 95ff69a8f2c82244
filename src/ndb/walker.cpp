#include "ndb/walker.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "common/crc32.h"
#include "common/errors.h"

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

// ------------------------------------------------------------------ the layouts, read on their own
//
// The walker decodes every structure from the byte offsets of [MS-PST]
// written out here, not from the writer's layouts (ndb/disk.h) or page
// classes: a mistake in those would otherwise be made twice and never show.

template <typename bidtype>
struct raw;

template <>
struct raw<uint32_t> {
  static constexpr bool unicode = false;
  static constexpr const char* name = "ANSI";
  static constexpr size_t bid = 4;  // width of a BID, an IB and a B-tree key
  // 2.2.2.6 HEADER (with 2.2.2.5 ROOT)
  static constexpr size_t header_size = 512;
  static constexpr size_t dwMagic = 0, dwCRCPartial = 4, wMagicClient = 8, wVer = 10, bidNextB = 24,
                          bidNextP = 28, rgnid = 36, ibFileEof = 168, ibAMapLast = 172, cbAMapFree = 176,
                          cbPMapFree = 180, brefNBT = 184, brefBBT = 192, fAMapValid = 200, rgbFM = 204,
                          rgbFP = 332, bSentinel = 460, bCryptMethod = 461;
  static constexpr size_t crc_partial_size = 471;  // from wMagicClient
  static constexpr size_t dwCRCFull = 0, crc_full_size = 0;
  // 2.2.2.7.1 PAGETRAILER: ptype, ptypeRepeat, wSig, bid, dwCRC
  static constexpr size_t page_data = 500, ptype = 500, ptypeRepeat = 501, page_sig = 502, page_bid = 504,
                          page_crc = 508;
  // 2.2.2.7.2.1 AMAPPAGE and its kin: dwPadding, then the 496 map bytes
  static constexpr size_t map_bits = 4;
  // 2.2.2.7.7.1 BTPAGE
  static constexpr size_t bt_cEnt = 496, bt_cEntMax = 497, bt_cbEnt = 498, bt_cLevel = 499, bt_room = 496;
  // 2.2.2.7.7.2-4 BTENTRY, BBTENTRY, NBTENTRY
  static constexpr size_t btentry = 12, bbtentry = 12, nbtentry = 16;
  // 2.2.2.8.1 BLOCKTRAILER: cb, wSig, bid, dwCRC
  static constexpr size_t trailer = 12, t_cb = 0, t_sig = 2, t_bid = 4, t_crc = 8;
  static constexpr size_t max_payload = 8192 - trailer;
  // 2.2.2.8.3.3 SLBLOCK / SIBLOCK: entries after 4 bytes
  static constexpr size_t sl_entries = 4, slentry = 12, sientry = 8;
};

template <>
struct raw<uint64_t> {
  static constexpr bool unicode = true;
  static constexpr const char* name = "Unicode";
  static constexpr size_t bid = 8;
  static constexpr size_t header_size = 564;
  static constexpr size_t dwMagic = 0, dwCRCPartial = 4, wMagicClient = 8, wVer = 10, bidNextP = 32,
                          rgnid = 44, ibFileEof = 184, ibAMapLast = 192, cbAMapFree = 200, cbPMapFree = 208,
                          brefNBT = 216, brefBBT = 232, fAMapValid = 248, rgbFM = 256, rgbFP = 384,
                          bSentinel = 512, bCryptMethod = 513, bidNextB = 516;
  static constexpr size_t crc_partial_size = 471;
  static constexpr size_t dwCRCFull = 524, crc_full_size = 516;
  // PAGETRAILER: ptype, ptypeRepeat, wSig, dwCRC, bid
  static constexpr size_t page_data = 496, ptype = 496, ptypeRepeat = 497, page_sig = 498, page_crc = 500,
                          page_bid = 504;
  static constexpr size_t map_bits = 0;
  static constexpr size_t bt_cEnt = 488, bt_cEntMax = 489, bt_cbEnt = 490, bt_cLevel = 491, bt_room = 488;
  static constexpr size_t btentry = 24, bbtentry = 24, nbtentry = 32;
  // BLOCKTRAILER: cb, wSig, dwCRC, bid
  static constexpr size_t trailer = 16, t_cb = 0, t_sig = 2, t_crc = 4, t_bid = 8;
  static constexpr size_t max_payload = 8192 - trailer;
  static constexpr size_t sl_entries = 8, slentry = 24, sientry = 16;
};

// Shared by both variants.
constexpr uint32_t magic = 0x4E444221;  // "!BDN"
constexpr uint16_t magic_client_pst = 0x4D53;
constexpr uint64_t page_bytes = 512;
constexpr uint64_t slot_bytes = 64;
constexpr uint64_t first_amap = 0x4400;
constexpr uint64_t region_bytes = 496 * 8 * 64;  // what one AMap maps
constexpr size_t map_bytes = 496;
constexpr size_t region_slots = map_bytes * 8;
constexpr size_t region_pages = 496;
constexpr uint64_t header_fm_amaps = 128;    // AMaps rgbFM covers
constexpr uint64_t header_fp_pmaps = 1024;   // PMaps rgbFP covers
constexpr uint64_t map_page_span = 496;      // AMaps per FMap, PMaps per FPMap
constexpr uint8_t ptype_bbt = 0x80, ptype_nbt = 0x81, ptype_fmap = 0x82, ptype_pmap = 0x83, ptype_amap = 0x84,
                  ptype_fpmap = 0x85;
// Fixed map slots in a region (pages from its AMap).
constexpr unsigned slot_pmap = 1, slot_fmap = 2, slot_fpmap = 3;

uint64_t le(const uint8_t* p, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(p[i]) << (8 * i);
  return value;
}

uint16_t signature(uint64_t ib, uint64_t bid) {
  uint32_t x = static_cast<uint32_t>(ib ^ bid);
  return static_cast<uint16_t>((x >> 16) ^ x);
}

uint64_t amap_at(uint64_t region) { return first_amap + region * region_bytes; }
bool has_pmap(uint64_t region) { return region % 8 == 0; }
bool has_fmap(uint64_t region) { return region >= header_fm_amaps && (region - header_fm_amaps) % map_page_span == 0; }
bool has_fpmap(uint64_t region) {
  return has_pmap(region) && region / 8 >= header_fp_pmaps && (region / 8 - header_fp_pmaps) % map_page_span == 0;
}
// The pages at a region's start its map slots keep.
unsigned reserved_pages(uint64_t region) {
  return has_fpmap(region) ? slot_fpmap + 1 : has_fmap(region) ? slot_fmap + 1 : has_pmap(region) ? slot_pmap + 1 : 1;
}

bool bit(const std::vector<uint8_t>& bits, size_t index) { return (bits[index / 8] & (0x80 >> (index % 8))) != 0; }

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
  using L = raw<bidtype>;

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
    bool readable = false;  // the stored block passed its checks
    bool visited = false;   // its tree content was walked
    int level = -1;         // of a walked tree block
    uint8_t btype = 0;      // of a walked tree block
    uint32_t first_nid = 0; // of a walked SLBLOCK
    uint64_t total = 0;     // lcbTotal of a walked XBLOCK or XXBLOCK
  };

  struct node {
    uint32_t nid;
    uint64_t bid_data;
    uint64_t bid_sub;
  };

  // A subnode tree still to walk, with the node it belongs to.
  struct pending_tree {
    uint64_t bid;
    uint32_t nid;
  };

  IFile& file;
  ndb_walker_options options;
  std::vector<ndb_finding> findings;
  bool stopped = false;
  uint64_t file_size = 0;

  std::array<uint8_t, L::header_size> header{};
  uint64_t eof = 0;
  uint64_t regions = 0;         // regions present in the file
  uint64_t header_regions = 0;  // regions the header claims
  // A tree page that could not be used leaves its tree incomplete: what
  // depends on all of it (references, unused space) is not judged then.
  bool bbt_complete = true, nbt_complete = true;
  // fAMapValid: maps marked not valid are read and checked as pages, but
  // what they say about the space is not judged.
  bool maps_valid = true;
  uint64_t bbt_root_bid = 0, bbt_root_ib = 0, nbt_root_bid = 0, nbt_root_ib = 0;

  // Per region: AMap bits; per PMap: its bits (empty when unreadable).
  std::vector<std::vector<uint8_t>> amaps;
  std::vector<std::vector<uint8_t>> pmaps;
  std::map<uint64_t, std::vector<uint8_t>> fmaps;   // by first AMap index
  std::map<uint64_t, std::vector<uint8_t>> fpmaps;  // by first PMap index

  std::vector<extent> extents;
  std::map<uint64_t, block_info> blocks;
  std::vector<node> nodes;
  std::set<uint64_t> pages_seen;
  uint64_t max_page_bid = 0;
  std::vector<pending_tree> pending;

  state(IFile& f, ndb_walker_options o) : file(f), options(o) {}

  const uint8_t* h() const { return header.data(); }
  uint64_t hbid(size_t offset) const { return le(h() + offset, L::bid); }

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
    if (size > 0xFFFFFFFFu || offset > file_size || size > file_size - offset) return false;
    try {
      file.read_at(offset, buffer, static_cast<uint32_t>(size));
      return true;
    } catch (const qm_retcode&) {
      return false;
    } catch (const std::exception&) {
      return false;
    }
  }

  static uint8_t longest_free_run(const std::vector<uint8_t>& bits) {
    size_t best = 0, run = 0;
    for (size_t i = 0; i < region_slots; ++i) {
      run = bit(bits, i) ? 0 : run + 1;
      best = std::max(best, run);
    }
    return static_cast<uint8_t>(std::min<size_t>(best, 255));
  }

  static bool has_clear_bit(const std::vector<uint8_t>& bits) {
    for (size_t i = 0; i < map_bytes; ++i)
      if (bits[i] != 0xFF) return true;
    return false;
  }

  // ---- the header

  bool check_header() {
    if (!read(0, header.data(), header.size())) {
      add(ndb_check::unreadable, 0, 0, 0, "the file is shorter than its header");
      return false;
    }
    if (le(h() + L::dwMagic, 4) != magic)
      add(ndb_check::header, L::dwMagic, 0, 0, "dwMagic is " + hex(le(h() + L::dwMagic, 4)));
    uint64_t version = le(h() + L::wVer, 2);
    bool version_ok = L::unicode ? version >= 23 : (version == 14 || version == 15);
    if (!version_ok)
      add(ndb_check::header, L::wVer, 0, 0, "wVer " + dec(version) + " is not a " + L::name + " file's");
    if (le(h() + L::wMagicClient, 2) != magic_client_pst)
      add(ndb_check::header, L::wMagicClient, 0, 0, "wMagicClient is " + hex(le(h() + L::wMagicClient, 2)));
    uint32_t partial = crc32(h() + 8, L::crc_partial_size);
    if (partial != le(h() + L::dwCRCPartial, 4))
      add(ndb_check::header, L::dwCRCPartial, 0, 0,
          "dwCRCPartial is " + hex(le(h() + L::dwCRCPartial, 4)) + ", the bytes give " + hex(partial));
    if constexpr (L::unicode) {
      uint32_t full = crc32(h() + 8, L::crc_full_size);
      if (full != le(h() + L::dwCRCFull, 4))
        add(ndb_check::header, L::dwCRCFull, 0, 0,
            "dwCRCFull is " + hex(le(h() + L::dwCRCFull, 4)) + ", the bytes give " + hex(full));
    }
    if (h()[L::bSentinel] != 0x80) add(ndb_check::header, L::bSentinel, 0, 0, "bSentinel is " + hex(h()[L::bSentinel]));
    if (h()[L::bCryptMethod] > 2)
      add(ndb_check::header, L::bCryptMethod, 0, 0, "bCryptMethod " + dec(h()[L::bCryptMethod]) + " is unknown");
    // 2 (VALID_AMAP2) as written today; 1 (VALID_AMAP1) in older files.
    uint8_t valid = h()[L::fAMapValid];
    maps_valid = valid == 1 || valid == 2;
    if (!maps_valid)
      add(ndb_check::header, L::fAMapValid, 0, 0,
          "fAMapValid is " + dec(valid) + ": the maps are marked not valid (a reader rebuilds them)");

    eof = hbid(L::ibFileEof);
    uint64_t amap_last = hbid(L::ibAMapLast);
    if (eof <= first_amap || (eof - first_amap) % region_bytes != 0)
      add(ndb_check::header, L::ibFileEof, 0, 0, "ibFileEof " + hex(eof) + " is not the end of a region");
    regions = eof > first_amap ? (eof - first_amap) / region_bytes : 0;
    header_regions = regions;
    if (regions > 0 && amap_last != amap_at(regions - 1))
      add(ndb_check::header, L::ibAMapLast, 0, 0,
          "ibAMapLast " + hex(amap_last) + " is not the last region's AMap " + hex(amap_at(regions - 1)));
    if (file_size < eof) {
      add(ndb_check::unreadable, L::ibFileEof, 0, 0,
          "the file holds " + dec(file_size) + " bytes, ibFileEof says " + dec(eof));
      // Walk only what is there.
      regions = file_size > first_amap ? (file_size - first_amap) / region_bytes : 0;
    }
    nbt_root_bid = hbid(L::brefNBT);
    nbt_root_ib = hbid(L::brefNBT + L::bid);
    bbt_root_bid = hbid(L::brefBBT);
    bbt_root_ib = hbid(L::brefBBT + L::bid);
    return true;
  }

  // ---- pages

  // Reads and checks one page: trailer type, CRC and signature. nullopt
  // (with a finding) when unusable. Map pages carry wSig 0 and their own
  // offset as BID; B-tree pages the signature of their offset and BID.
  std::optional<std::array<uint8_t, page_bytes>> read_page(uint64_t offset, uint8_t expected, ndb_check check,
                                                           const std::string& what) {
    std::array<uint8_t, page_bytes> image;
    if (offset % page_bytes != 0 || offset < first_amap || offset > eof || page_bytes > eof - offset) {
      add(check, offset, 0, 0, what + " lies outside the file's regions or off a page boundary");
      return std::nullopt;
    }
    if (!read(offset, image.data(), image.size())) {
      add(ndb_check::unreadable, offset, 0, 0, what + " cannot be read");
      return std::nullopt;
    }
    const uint8_t* p = image.data();
    uint64_t bid = le(p + L::page_bid, L::bid);
    bool ok = true;
    uint8_t type = p[L::ptype];
    if (type != expected || p[L::ptypeRepeat] != type) {
      add(check, offset, bid, 0,
          what + ": ptype " + hex(type) + " / " + hex(p[L::ptypeRepeat]) + ", expected " + hex(expected));
      ok = false;
    }
    uint32_t crc = crc32(p, L::page_data);
    if (crc != le(p + L::page_crc, 4)) {
      add(check, offset, bid, 0, what + ": dwCRC " + hex(le(p + L::page_crc, 4)) + ", the data gives " + hex(crc));
      ok = false;
    }
    bool map = expected != ptype_bbt && expected != ptype_nbt;
    uint16_t sig = map ? 0 : signature(offset, bid);
    if (le(p + L::page_sig, 2) != sig) {
      add(check, offset, bid, 0, what + ": wSig " + hex(le(p + L::page_sig, 2)) + ", expected " + hex(sig));
      ok = false;
    }
    if (!ok) return std::nullopt;
    return image;
  }

  void read_maps() {
    amaps.assign(regions, {});
    pmaps.assign((regions + 7) / 8, {});
    for (uint64_t region = 0; region < regions && !stopped; ++region) {
      uint64_t base = amap_at(region);
      struct wanted {
        bool present;
        unsigned slot;
        uint8_t type;
        const char* name;
      };
      const wanted maps[] = {{true, 0, ptype_amap, "AMap"},
                             {has_pmap(region), slot_pmap, ptype_pmap, "PMap"},
                             {has_fmap(region), slot_fmap, ptype_fmap, "FMap"},
                             {has_fpmap(region), slot_fpmap, ptype_fpmap, "FPMap"}};
      // Every slot up to the last map in use is the maps' own, used or not.
      extents.push_back({base, page_bytes * reserved_pages(region), extent_kind::map_page, base});
      for (const auto& m : maps) {
        if (!m.present) continue;
        uint64_t at = base + page_bytes * m.slot;
        auto image = read_page(at, m.type, ndb_check::map_page, std::string(m.name) + " of region " + dec(region));
        if (!image) continue;
        const uint8_t* p = image->data();
        uint64_t bid = le(p + L::page_bid, L::bid);
        if (bid != at) add(ndb_check::map_page, at, bid, 0, std::string(m.name) + " carries a BID other than its offset");
        // An ANSI map page opens with 4 bytes of zero padding.
        for (size_t i = 0; i < L::map_bits; ++i)
          if (p[i] != 0) {
            add(ndb_check::map_page, at, bid, 0,
                std::string(m.name) + ": the padding before the map holds " + hex(le(p, L::map_bits)));
            break;
          }
        std::vector<uint8_t> data(p + L::map_bits, p + L::map_bits + map_bytes);
        switch (m.type) {
          case ptype_amap: {
            // The AMap maps itself and the map slots after it.
            bool marked = true;
            for (size_t s = 0; s < 8 * reserved_pages(region); ++s) marked = marked && bit(data, s);
            if (!marked) add(ndb_check::map_page, at, bid, 0, "AMap " + dec(region) + " does not mark its map slots allocated");
            amaps[region] = std::move(data);
            break;
          }
          case ptype_pmap: pmaps[region / 8] = std::move(data); break;
          case ptype_fmap: fmaps[region] = std::move(data); break;
          case ptype_fpmap: fpmaps[region / 8] = std::move(data); break;
          default: break;
        }
      }
    }
  }

  // The header's and the FMaps' / FPMaps' records of the maps, and the free
  // totals. The free-slot and full-PMap records are deprecated: a file
  // whose rgbFM (or rgbFP) is all 0xFF does not keep them (the mail
  // client's files), and they are then not judged.
  void check_map_summaries() {
    const uint8_t* rgbFM = h() + L::rgbFM;
    const uint8_t* rgbFP = h() + L::rgbFP;
    const bool fm_kept = std::any_of(rgbFM, rgbFM + 128, [](uint8_t b) { return b != 0xFF; });
    const bool fp_kept = std::any_of(rgbFP, rgbFP + 128, [](uint8_t b) { return b != 0xFF; });
    uint64_t amap_free = 0, pmap_free = 0;
    for (uint64_t region = 0; region < regions; ++region) {
      if (amaps[region].empty()) continue;
      for (size_t i = 0; i < region_slots; ++i) amap_free += bit(amaps[region], i) ? 0 : slot_bytes;
      if (!fm_kept) continue;
      uint8_t value = longest_free_run(amaps[region]);
      std::optional<uint8_t> recorded;
      uint64_t where = 0;
      if (region < header_fm_amaps) {
        recorded = rgbFM[region];
        where = L::rgbFM + region;
      } else {
        uint64_t first = header_fm_amaps + (region - header_fm_amaps) / map_page_span * map_page_span;
        if (auto found = fmaps.find(first); found != fmaps.end()) {
          recorded = found->second[region - first];
          where = amap_at(first) + page_bytes * slot_fmap + L::map_bits + (region - first);
        }
      }
      if (recorded && *recorded != value)
        add(ndb_check::map_summary, where, 0, 0,
            "AMap " + dec(region) + " has a longest free run of " + dec(value) + " slots, recorded as " + dec(*recorded));
    }
    if (fm_kept) {
      for (uint64_t region = header_regions; region < header_fm_amaps; ++region)
        if (rgbFM[region] != 0)
          add(ndb_check::map_summary, L::rgbFM + region, 0, 0,
              "rgbFM holds " + dec(rgbFM[region]) + " for AMap " + dec(region) + ", which does not exist");
      for (const auto& [first, values] : fmaps)
        for (uint64_t j = 0; j < map_page_span; ++j)
          if (first + j >= header_regions && values[j] != 0) {
            add(ndb_check::map_summary, amap_at(first) + page_bytes * slot_fmap, 0, 0,
                "FMap holds " + dec(values[j]) + " for AMap " + dec(first + j) + ", which does not exist");
            break;
          }
    }

    const uint64_t pmap_count = pmaps.size();
    for (uint64_t index = 0; index < pmap_count; ++index) {
      if (pmaps[index].empty()) continue;
      for (size_t i = 0; i < region_slots; ++i) {
        if (bit(pmaps[index], i)) continue;
        uint64_t region = 8 * index + i / region_pages;
        if (region >= header_regions)
          add(ndb_check::map_summary, amap_at(8 * index) + page_bytes * slot_pmap, 0, 0,
              "PMap " + dec(index) + " offers page " + hex(amap_at(8 * index) + page_bytes * i) +
                  " beyond the end of the file");
        else
          pmap_free += page_bytes;
      }
      if (!fp_kept) continue;
      bool full = !has_clear_bit(pmaps[index]);
      std::optional<bool> recorded;
      uint64_t where = 0;
      if (index < header_fp_pmaps) {
        recorded = (rgbFP[index / 8] & (0x80 >> (index % 8))) != 0;
        where = L::rgbFP + index / 8;
      } else {
        uint64_t first = header_fp_pmaps + (index - header_fp_pmaps) / map_page_span * map_page_span;
        if (auto found = fpmaps.find(first); found != fpmaps.end()) {
          recorded = bit(found->second, index - first);
          where = amap_at(8 * first) + page_bytes * slot_fpmap + L::map_bits + (index - first) / 8;
        }
      }
      if (recorded && *recorded != full)
        add(ndb_check::map_summary, where, 0, 0,
            "PMap " + dec(index) + (full ? " has no free page" : " has free pages") + ", recorded as " +
                (*recorded ? "full" : "not full"));
    }
    if (fp_kept)
      for (uint64_t index = std::max<uint64_t>(pmap_count, (header_regions + 7) / 8); index < header_fp_pmaps; ++index)
        if ((rgbFP[index / 8] & (0x80 >> (index % 8))) == 0)
          add(ndb_check::map_summary, L::rgbFP + index / 8, 0, 0, "rgbFP offers PMap " + dec(index) + ", which does not exist");

    uint64_t amap_total = hbid(L::cbAMapFree), pmap_total = hbid(L::cbPMapFree);
    if (amap_total != amap_free)
      add(ndb_check::map_summary, L::cbAMapFree, 0, 0,
          "cbAMapFree is " + dec(amap_total) + ", the AMaps have " + dec(amap_free) + " bytes free");
    if (pmap_total != pmap_free)
      add(ndb_check::map_summary, L::cbPMapFree, 0, 0,
          "cbPMapFree is " + dec(pmap_total) + ", the PMaps have " + dec(pmap_free) + " bytes free");
  }

  // ---- B-trees

  struct tree_kind {
    uint8_t type;
    const char* name;
    size_t leaf_size;
  };

  // Walks the page at (bid, ib); returns the first key of the page (nullopt
  // when the page is unusable). `level` is the level the parent expects (-1
  // for the root); [low, high) the keys it may hold. The recursion is as
  // deep as the tree: a page's children must be one level below it, and
  // cLevel is at most 8.
  std::optional<uint64_t> walk_tree(const tree_kind& kind, uint64_t ref_bid, uint64_t ref_ib, int level,
                                    std::optional<uint64_t> low, std::optional<uint64_t> high) {
    if (stopped) return std::nullopt;
    std::optional<uint64_t> first = walk_page(kind, ref_bid, ref_ib, level, low, high);
    if (!first) (kind.type == ptype_bbt ? bbt_complete : nbt_complete) = false;
    return first;
  }

  std::optional<uint64_t> walk_page(const tree_kind& kind, uint64_t ref_bid, uint64_t offset, int level,
                                    std::optional<uint64_t> low, std::optional<uint64_t> high) {
    std::string what = std::string(kind.name) + " page";
    if (!pages_seen.insert(offset).second) {
      add(ndb_check::btree_page, offset, ref_bid, 0, what + " is reached twice");
      return std::nullopt;
    }
    if (offset % page_bytes == 0 && offset >= first_amap && offset <= eof && page_bytes <= eof - offset)
      extents.push_back({offset, page_bytes, extent_kind::btree_page, ref_bid});
    auto image = read_page(offset, kind.type, ndb_check::btree_page, what);
    if (!image) return std::nullopt;
    const uint8_t* p = image->data();
    uint64_t bid = le(p + L::page_bid, L::bid);
    max_page_bid = std::max(max_page_bid, bid);
    if (bid != ref_bid) {
      add(ndb_check::btree_page, offset, bid, 0, what + " carries BID " + hex(bid) + ", its parent names " + hex(ref_bid));
      return std::nullopt;
    }
    size_t count = p[L::bt_cEnt], max = p[L::bt_cEntMax], size = p[L::bt_cbEnt];
    int page_level = p[L::bt_cLevel];
    if (level >= 0 && page_level != level) {
      add(ndb_check::btree_page, offset, bid, 0, what + " has cLevel " + dec(page_level) + ", expected " + dec(level));
      return std::nullopt;
    }
    if (page_level > 8) {
      add(ndb_check::btree_page, offset, bid, 0, what + " has cLevel " + dec(page_level));
      return std::nullopt;
    }
    size_t expected_size = page_level == 0 ? kind.leaf_size : L::btentry;
    size_t expected_max = L::bt_room / expected_size;
    if (size != expected_size || max != expected_max || count > max) {
      add(ndb_check::btree_page, offset, bid, 0,
          what + " counts: cEnt " + dec(count) + ", cEntMax " + dec(max) + ", cbEnt " + dec(size) +
              "; expected cEntMax " + dec(expected_max) + ", cbEnt " + dec(expected_size));
      return std::nullopt;
    }
    if (count == 0) {
      add(ndb_check::btree_page, offset, bid, 0, what + " holds no entries");
      return std::nullopt;
    }
    // Keys: a BTENTRY's btkey, a BBTENTRY's BID, an NBTENTRY's NID (the low
    // 4 bytes of its bid-wide field).
    auto key_at = [&](size_t i) -> uint64_t {
      const uint8_t* e = p + i * size;
      if (page_level > 0 || kind.type == ptype_bbt) return le(e, L::bid);
      return le(e, 4);
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
        // BTENTRY: btkey, BREF (bid, ib)
        uint64_t key = key_at(i);
        uint64_t child_bid = le(e + L::bid, L::bid), child_ib = le(e + 2 * L::bid, L::bid);
        std::optional<uint64_t> next = i + 1 < count ? std::optional<uint64_t>(key_at(i + 1)) : high;
        std::optional<uint64_t> first = walk_tree(kind, child_bid, child_ib, page_level - 1, key, next);
        if (first && *first != key)
          add(ndb_check::btree_page, offset, bid, 0,
              what + ": entry " + dec(i) + " has key " + hex(key) + ", its child begins with " + hex(*first));
      } else if (kind.type == ptype_bbt) {
        // BBTENTRY: BREF (bid, ib), cb, cRef
        block_info info;
        uint64_t block = le(e, L::bid);
        info.ib = le(e + L::bid, L::bid);
        info.cb = static_cast<uint16_t>(le(e + 2 * L::bid, 2));
        info.cref = static_cast<uint16_t>(le(e + 2 * L::bid + 2, 2));
        // Distinct blocks take 64 bytes each at least: a BBT that lists more
        // than the file can hold is not followed further (and memory stays
        // in proportion to the file).
        if (blocks.size() >= file_size / slot_bytes) {
          if (bbt_complete) add(ndb_check::btree_page, offset, bid, 0, what + ": the BBT lists more blocks than the file can hold");
          bbt_complete = false;
          break;
        }
        if (!blocks.emplace(block, info).second) add(ndb_check::btree_page, offset, block, 0, "the BBT lists the block twice");
      } else {
        // NBTENTRY: nid (bid wide), bidData, bidSub, nidParent
        nodes.push_back({static_cast<uint32_t>(le(e, 4)), le(e + L::bid, L::bid), le(e + 2 * L::bid, L::bid)});
      }
    }
    return key_at(0);
  }

  void walk_trees() {
    const tree_kind bbt{ptype_bbt, "BBT", L::bbtentry};
    const tree_kind nbt{ptype_nbt, "NBT", L::nbtentry};
    struct root {
      const tree_kind& kind;
      uint64_t bid, ib;
      size_t field;
    };
    for (const root& r : {root{bbt, bbt_root_bid, bbt_root_ib, L::brefBBT}, root{nbt, nbt_root_bid, nbt_root_ib, L::brefNBT}}) {
      if (r.ib == 0 && r.bid == 0) continue;  // an empty tree
      if (r.ib == 0) {
        add(ndb_check::header, r.field, r.bid, 0, std::string(r.kind.name) + " root has a BID but no offset");
        continue;
      }
      walk_tree(r.kind, r.bid, r.ib, -1, std::nullopt, std::nullopt);
    }
  }

  // ---- blocks

  // Reads ranges in ascending order through a window of the file, loaded
  // a few megabytes at a time.
  class sequential_reader {
   public:
    explicit sequential_reader(state& owner) : owner_(owner) {}
    // The bytes of [offset, offset + size), valid until the next read;
    // nullptr when they cannot be read.
    const uint8_t* read(uint64_t offset, size_t size) {
      if (offset < start_ || offset + size > start_ + window_.size()) {
        if (offset > owner_.file_size || size > owner_.file_size - offset) return nullptr;
        const uint64_t length = std::min<uint64_t>(std::max<size_t>(window_bytes, size), owner_.file_size - offset);
        window_.resize(static_cast<size_t>(length));
        start_ = offset;
        if (!owner_.read(offset, window_.data(), window_.size())) {
          window_.clear();
          // Too near a fault to read the whole window: the range alone.
          single_.resize(size);
          return owner_.read(offset, single_.data(), size) ? single_.data() : nullptr;
        }
      }
      return window_.data() + (offset - start_);
    }

   private:
    static constexpr size_t window_bytes = size_t{4} << 20;
    state& owner_;
    uint64_t start_ = 0;
    std::vector<uint8_t> window_;
    std::vector<uint8_t> single_;
  };

  // The block image (payload and trailer, 64-byte aligned) of a BBT entry;
  // empty when it cannot be read.
  std::vector<uint8_t> read_block(const block_info& info) {
    size_t disk = (info.cb + L::trailer + slot_bytes - 1) / slot_bytes * slot_bytes;
    std::vector<uint8_t> image(disk);
    if (!read(info.ib, image.data(), image.size())) image.clear();
    return image;
  }

  void check_blocks() {
    uint64_t next_b = hbid(L::bidNextB);
    if (!blocks.empty() && blocks.rbegin()->first >= next_b)
      add(ndb_check::header, L::bidNextB, blocks.rbegin()->first, 0,
          "bidNextB " + hex(next_b) + " is not above the highest BID in use");
    // In file order, through a window of several megabytes: the blocks are
    // read as one sequential pass over the file rather than a call each.
    std::vector<std::pair<const uint64_t, block_info>*> by_offset;
    by_offset.reserve(blocks.size());
    for (auto& entry : blocks) by_offset.push_back(&entry);
    std::sort(by_offset.begin(), by_offset.end(), [](const auto* a, const auto* b) {
      return a->second.ib != b->second.ib ? a->second.ib < b->second.ib : a->first < b->first;
    });
    sequential_reader reader(*this);
    for (auto* entry : by_offset) {
      const uint64_t bid = entry->first;
      block_info& info = entry->second;
      if (stopped) return;
      if (bid == 0 || (bid & 1) != 0) add(ndb_check::block, info.ib, bid, 0, "the BID has its reserved bit set or is 0");
      if (info.cb == 0 || info.cb > L::max_payload) {
        add(ndb_check::block, info.ib, bid, 0, "cb " + dec(info.cb) + " is not a block size");
        continue;
      }
      uint64_t disk = (info.cb + L::trailer + slot_bytes - 1) / slot_bytes * slot_bytes;
      if (info.ib % slot_bytes != 0 || info.ib < first_amap || info.ib > eof || disk > eof - info.ib) {
        add(ndb_check::block, info.ib, bid, 0, "the block lies off a 64-byte boundary or outside the regions");
        continue;
      }
      uint64_t region = (info.ib - first_amap) / region_bytes;
      if (info.ib + disk > amap_at(region) + region_bytes)
        add(ndb_check::block, info.ib, bid, 0, "the block runs past the end of region " + dec(region));
      extents.push_back({info.ib, disk, extent_kind::block, bid});
      const uint8_t* image = reader.read(info.ib, disk);
      if (!image) {
        add(ndb_check::unreadable, info.ib, bid, 0, "the block cannot be read");
        continue;
      }
      const uint8_t* t = image + disk - L::trailer;
      bool ok = true;
      if (le(t + L::t_cb, 2) != info.cb) {
        add(ndb_check::block, info.ib, bid, 0,
            "the trailer's cb " + dec(le(t + L::t_cb, 2)) + " differs from the BBT's " + dec(info.cb));
        ok = false;
      }
      if (le(t + L::t_bid, L::bid) != bid) {
        add(ndb_check::block, info.ib, bid, 0, "the trailer carries BID " + hex(le(t + L::t_bid, L::bid)));
        ok = false;
      }
      if (le(t + L::t_sig, 2) != signature(info.ib, bid)) {
        add(ndb_check::block, info.ib, bid, 0,
            "wSig " + hex(le(t + L::t_sig, 2)) + ", expected " + hex(signature(info.ib, bid)));
        ok = false;
      }
      uint32_t crc = crc32(image, info.cb);
      if (le(t + L::t_crc, 4) != crc) {
        add(ndb_check::block, info.ib, bid, 0, "dwCRC " + hex(le(t + L::t_crc, 4)) + ", the payload gives " + hex(crc));
        ok = false;
      }
      info.readable = ok;
    }
  }

  // ---- references

  // Counts one reference to `bid`; the block's entry, or nullptr when the
  // BBT does not hold it.
  block_info* reference(uint64_t bid, uint32_t nid, const char* from, uint64_t from_id) {
    auto found = blocks.find(bid);
    if (found == blocks.end()) {
      if (bbt_complete)
        add(ndb_check::missing_block, 0, bid, nid, std::string(from) + " " + hex(from_id) + " names a block the BBT does not hold");
      return nullptr;
    }
    ++found->second.references;
    return &found->second;
  }

  // The payload of an internal block that passed its checks (internal
  // blocks are never encoded); empty otherwise.
  std::vector<uint8_t> payload(const block_info& info) {
    if (!info.readable) return {};
    std::vector<uint8_t> image = read_block(info);
    image.resize(image.empty() ? 0 : info.cb);
    return image;
  }

  // [MS-PST] 2.2.2.8.3.2: an XBLOCK (cLevel 1) lists data blocks, an
  // XXBLOCK (cLevel 2) lists XBLOCKs: btype 1, cLevel, cEnt (2 bytes),
  // lcbTotal (4 bytes), then cEnt BIDs. Walked once; afterwards info.level
  // and info.total hold what it is (level -1: unusable). `expected` is the
  // level the referrer calls for (0: any). The recursion is at most one
  // level deep: an XXBLOCK's children must be XBLOCKs.
  void visit_data_tree(uint64_t bid, block_info& info, uint32_t nid, int expected) {
    if (info.visited) return;
    info.visited = true;
    std::vector<uint8_t> p = payload(info);
    if (p.empty()) return;
    if (p.size() < 8 || p[0] != 0x01) {
      add(ndb_check::data_tree, info.ib, bid, nid, "an internal block named as node data is not an XBLOCK or XXBLOCK");
      return;
    }
    int level = p[1];
    size_t count = le(p.data() + 2, 2);
    uint64_t total = le(p.data() + 4, 4);
    if ((level != 1 && level != 2) || count == 0 || 8 + count * L::bid > p.size()) {
      add(ndb_check::data_tree, info.ib, bid, nid,
          "cLevel " + dec(level) + ", cEnt " + dec(count) + " in a block of " + dec(p.size()) + " bytes");
      return;
    }
    info.level = level;
    info.btype = 0x01;
    info.total = total;
    if (expected != 0 && level != expected) {
      add(ndb_check::data_tree, info.ib, bid, nid, "an XXBLOCK entry is not an XBLOCK");
      return;
    }
    uint64_t sum = 0;
    bool complete = true;
    for (size_t i = 0; i < count; ++i) {
      uint64_t child = le(p.data() + 8 + i * L::bid, L::bid);
      block_info* c = reference(child, nid, "data tree block", bid);
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
        visit_data_tree(child, *c, nid, 1);
        if (c->level != 1) {
          complete = false;
          continue;
        }
        sum += c->total;
      }
    }
    if (complete && sum != total)
      add(ndb_check::data_tree, info.ib, bid, nid, "lcbTotal " + dec(total) + ", the blocks below hold " + dec(sum) + " bytes");
  }

  // [MS-PST] 2.2.2.8.3.3: an SLBLOCK (cLevel 0) of SLENTRYs (nid, bidData,
  // bidSub), an SIBLOCK (cLevel 1) of SIENTRYs (nid, bid of an SLBLOCK):
  // btype 2, cLevel, cEnt (2 bytes), (Unicode: 4 bytes of padding), then
  // the entries. A subnode's own subnode tree goes on the work list, so
  // that nesting to any depth stays off the call stack.
  void visit_subnode_tree(uint64_t bid, block_info& info, uint32_t nid, int expected) {
    if (info.visited) return;
    info.visited = true;
    std::vector<uint8_t> p = payload(info);
    if (p.empty()) return;
    if (p.size() < L::sl_entries || p[0] != 0x02) {
      add(ndb_check::subnode_tree, info.ib, bid, nid, "an internal block named as subnodes is not an SLBLOCK or SIBLOCK");
      return;
    }
    int level = p[1];
    size_t count = le(p.data() + 2, 2);
    size_t entry_size = level == 0 ? L::slentry : L::sientry;
    if (level > 1 || count == 0 || L::sl_entries + count * entry_size > p.size()) {
      add(ndb_check::subnode_tree, info.ib, bid, nid,
          "cLevel " + dec(level) + ", cEnt " + dec(count) + " in a block of " + dec(p.size()) + " bytes");
      return;
    }
    info.level = level;
    info.btype = 0x02;
    info.first_nid = static_cast<uint32_t>(le(p.data() + L::sl_entries, 4));
    if (expected >= 0 && level != expected) {
      add(ndb_check::subnode_tree, info.ib, bid, nid, "an SIENTRY names a block that is not an SLBLOCK");
      return;
    }
    uint32_t previous = 0;
    for (size_t i = 0; i < count && !stopped; ++i) {
      const uint8_t* e = p.data() + L::sl_entries + i * entry_size;
      uint32_t entry_nid = static_cast<uint32_t>(le(e, 4));
      if (i > 0 && entry_nid <= previous)
        add(ndb_check::subnode_tree, info.ib, bid, nid, "entry " + dec(i) + " (NID " + hex(entry_nid) + ") is out of order");
      previous = entry_nid;
      if (level == 0) {
        visit_node_blocks(entry_nid, le(e + L::bid, L::bid), le(e + 2 * L::bid, L::bid), "subnode in block", bid);
      } else {
        uint64_t child = le(e + L::bid, L::bid);
        block_info* c = reference(child, nid, "SIBLOCK", bid);
        if (!c) continue;
        if (!(child & 2)) {
          add(ndb_check::subnode_tree, info.ib, bid, nid, "SIENTRY " + hex(child) + " is a data block");
          continue;
        }
        visit_subnode_tree(child, *c, nid, 0);
        if (c->level == 0 && c->first_nid != entry_nid)
          add(ndb_check::subnode_tree, info.ib, bid, nid,
              "SIENTRY key " + hex(entry_nid) + ", its SLBLOCK begins with " + hex(c->first_nid));
      }
    }
  }

  // The bidData and bidSub of a node or a subnode.
  void visit_node_blocks(uint32_t nid, uint64_t bid_data, uint64_t bid_sub, const char* from, uint64_t from_id) {
    if (bid_data) {
      if (block_info* d = reference(bid_data, nid, from, from_id))
        if (bid_data & 2) visit_data_tree(bid_data, *d, nid, 0);
    }
    if (bid_sub) {
      if (block_info* s = reference(bid_sub, nid, from, from_id)) {
        if (!(bid_sub & 2))
          add(ndb_check::subnode_tree, s->ib, bid_sub, nid, "a bidSub names a data block");
        else
          pending.push_back({bid_sub, nid});
      }
    }
  }

  void check_references() {
    std::array<uint32_t, 32> highest{};  // the highest NID index of each type in the NBT
    std::array<uint32_t, 32> highest_nid{};
    for (const node& n : nodes) {
      if (stopped) return;
      visit_node_blocks(n.nid, n.bid_data, n.bid_sub, "node", n.nid);
      while (!pending.empty() && !stopped) {
        pending_tree next = pending.back();
        pending.pop_back();
        auto found = blocks.find(next.bid);
        if (found != blocks.end()) visit_subnode_tree(next.bid, found->second, next.nid, -1);
      }
      uint32_t type = n.nid & 0x1F, index = n.nid >> 5;
      if (index >= highest[type]) {
        highest[type] = index;
        highest_nid[type] = n.nid;
      }
    }
    // rgnid[t] is at least the index of every node of type t: a new NID
    // is taken from it, and must not be one in use.
    for (uint32_t type = 0; type < 32; ++type) {
      uint64_t counter = le(h() + L::rgnid + 4 * type, 4);
      if (highest_nid[type] && highest[type] > counter)
        add(ndb_check::header, L::rgnid + 4 * type, 0, highest_nid[type],
            "rgnid[" + dec(type) + "] is " + hex(counter) + ", below the index " + hex(highest[type]) +
                " of a node in the NBT: a new NID may collide");
    }
    for (const auto& [bid, info] : blocks) {
      if (stopped || !nbt_complete) break;
      uint64_t expected = 1 + static_cast<uint64_t>(info.references);
      if (info.cref != expected)
        add(ndb_check::reference_count, info.ib, bid, 0,
            "cRef " + dec(info.cref) + ", but " + dec(info.references) + " referrer(s): expected " + dec(expected));
    }
    uint64_t next_p = hbid(L::bidNextP);
    if (!pages_seen.empty() && max_page_bid >= next_p)
      add(ndb_check::header, L::bidNextP, max_page_bid, 0, "bidNextP " + hex(next_p) + " is not above every page BID");
  }

  // ---- space

  void check_space() {
    std::sort(extents.begin(), extents.end(), [](const extent& a, const extent& b) {
      return a.offset < b.offset || (a.offset == b.offset && a.size < b.size);
    });
    auto describe = [](const extent& e) {
      switch (e.kind) {
        case extent_kind::map_page: return "map pages at " + hex(e.offset);
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

    // Region by region, slot by slot: used slots against the AMap, used
    // pages against the PMap.
    std::vector<uint8_t> used(region_slots);
    size_t next = 0;
    for (uint64_t region = 0; region < regions && !stopped; ++region) {
      uint64_t start = amap_at(region), end = start + region_bytes;
      std::fill(used.begin(), used.end(), 0);
      const std::vector<uint8_t>& amap = amaps[region];
      const std::vector<uint8_t>& pmap = pmaps[region / 8];
      auto page_free = [&](size_t slot) { return !pmap.empty() && !bit(pmap, (region % 8) * region_pages + slot / 8); };
      while (next < extents.size() && extents[next].offset < end) {
        const extent& e = extents[next++];
        if (e.offset < start) continue;
        size_t first = static_cast<size_t>((e.offset - start) / slot_bytes);
        size_t last = static_cast<size_t>(
            std::min<uint64_t>((e.offset - start + e.size + slot_bytes - 1) / slot_bytes, region_slots));
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
      while (s < region_slots && !stopped) {
        if (page_free(s)) {
          bool marked = true;
          for (size_t k = s; k < s + 8; ++k) marked = marked && bit(amap, k);
          if (!marked)
            add(ndb_check::unmarked_space, start + slot_bytes * s, 0, 0,
                "page free in its PMap is free in its AMap too: both allocators may hand it out");
          s += 8;
          continue;
        }
        if (!bit(amap, s) || used[s]) {
          ++s;
          continue;
        }
        size_t run = s;
        while (run < region_slots && bit(amap, run) && !used[run] && !page_free(run)) ++run;
        add(ndb_check::unused_space, start + slot_bytes * s, 0, 0,
            dec((run - s) * slot_bytes) + " bytes marked allocated in AMap " + dec(region) + " hold nothing");
        s = run;
      }
    }
  }

  std::vector<ndb_finding> run() {
    try {
      file_size = file.size();
    } catch (...) {
      file_size = 0;
    }
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
  try {
    return state_->run();
  } catch (const std::bad_alloc&) {
    auto findings = std::move(state_->findings);
    findings.push_back({ndb_check::truncated, 0, 0, 0, "the walk ran out of memory and stopped"});
    return findings;
  }
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
  uint16_t version = static_cast<uint16_t>(le(start + 10, 2));
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
