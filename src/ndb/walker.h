// A read-side check of a whole file at the node-database level. The walker
// reads the file on its own: raw reads through IFile, each structure
// decoded from the byte offsets of [MS-PST] written out in walker.cpp, not
// from the writer's layouts (ndb/disk.h) or page and tree classes, so that
// a mistake in those cannot hide itself. It reports every fault it finds
// instead of stopping at the first:
//
// - the header: magic, version, CRCs, sentinel, method, the ROOT values
//   (end of file, last AMap, free totals, the two tree roots), bidNextB and
//   bidNextP above every BID in use, rgnid[t] at or above the index of
//   every node of type t in the NBT;
// - every map page at its fixed slot of its region (AMap +0, PMap +0x200,
//   FMap +0x400, FPMap +0x600): type, CRC, signature, BID, the zero
//   padding before an ANSI page's map; and the summaries kept of them
//   (rgbFM and the FMap bytes, rgbFP and the FPMap bits: deprecated, and
//   not judged in a file that marks them all 0xFF, as the mail client
//   does), and cbAMapFree / cbPMapFree against the map bits;
// - both B-trees page by page (any depth up to cLevel 8): trailer, CRC,
//   signature, counts, levels, key order and the keys of internal entries;
// - every block of the BBT: placement, trailer, CRC, signature;
// - the data trees (XBLOCK, XXBLOCK) and subnode trees (SLBLOCK, SIBLOCK,
//   nested to any depth) below the NBT, and each block's cRef against 1 +
//   the references from NBT entries, data trees and subnode trees;
// - the space: every map slot, B-tree page and block inside space that its
//   AMap marks allocated (and not on a page its PMap offers as free), no two
//   of them sharing a byte, and no space marked allocated that nothing
//   uses, except the free pages of a page region. (When fAMapValid says the
//   maps are not valid, that is the one finding about them: a reader
//   rebuilds such maps.)
//
// Any bytes give findings, never a crash, a hang or an exception: every
// read is bounds-checked against the file, every loop runs over counts
// checked against the bytes that hold them, the B-tree recursion is as deep
// as the levels a page may have, nested subnode trees go on a work list,
// and what is kept per block is bounded by what the file holds.
//
// The result is a list of findings; an empty list means the file is clean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/file.h"
#include "ndb/types.h"

namespace vendrel {

// What a finding is about.
enum class ndb_check : uint8_t {
  unreadable,       // the file, or bytes a structure should occupy, could not be read
  header,           // a header field or CRC
  map_page,         // an AMap, PMap, FMap or FPMap page itself
  map_summary,      // what the header or an FMap / FPMap records of the maps
  btree_page,       // a BBT or NBT page
  block,            // a block's placement, trailer, signature or CRC
  missing_block,    // a reference to a BID the BBT does not hold
  data_tree,        // an XBLOCK or XXBLOCK
  subnode_tree,     // an SLBLOCK or SIBLOCK
  reference_count,  // a cRef other than 1 + the references to the block
  unmarked_space,   // space in use that its maps do not mark allocated
  unused_space,     // space marked allocated that nothing uses
  overlap,          // two structures that share bytes
  truncated,        // the walker stopped recording findings
};

const char* to_string(ndb_check check);

struct ndb_finding {
  ndb_check check = ndb_check::header;
  uint64_t offset = 0;  // file offset of the structure (of the field, for the header); 0 when none
  uint64_t bid = 0;     // BID of the block or page; 0 when none
  uint32_t nid = 0;     // NID of the node the structure belongs to; 0 when none
  std::string message;
};

// One line: "<check> at 0x<offset> bid 0x<bid> nid 0x<nid>: <message>",
// leaving out the parts that are 0.
std::string to_string(const ndb_finding& finding);

struct ndb_walker_options {
  // Findings recorded before the walker gives up recording (one last
  // finding of kind `truncated` says so).
  size_t max_findings = 1000;
};

template <ndb_bidtype bidtype>
class ndb_walker {
 public:
  explicit ndb_walker(IFile& file, ndb_walker_options options = {});
  ~ndb_walker();
  ndb_walker(const ndb_walker&) = delete;
  ndb_walker& operator=(const ndb_walker&) = delete;

  // Walks the whole file; the findings in the order they were made.
  std::vector<ndb_finding> run();

 private:
  struct state;
  std::unique_ptr<state> state_;
};

extern template class ndb_walker<uint32_t>;
extern template class ndb_walker<uint64_t>;

// Checks a file of either variant (told apart by wVer: 14 and 15 ANSI, 23
// and above Unicode). A file that cannot be opened or read is one finding
// of kind `unreadable`.
std::vector<ndb_finding> check_file(IFile& file, ndb_walker_options options = {});
std::vector<ndb_finding> check_file(std::u16string_view path, ndb_walker_options options = {});

}  // namespace vendrel
