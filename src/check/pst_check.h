// The file checker behind `vendrel check`: reads any PST (either variant,
// any of the three encodings, written here or by the mail client) and
// reports what it finds, area by area. It builds on the node-database
// walker (ndb/walker.h) and adds the node level: heaps, BTHs, property and
// table contexts, the name map, folders and messages (embedded ones to any
// depth). Every read is bounds-checked and every loop and recursion is
// bounded, so a hostile file gives findings, never a crash or a hang.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vendrel {

// ERROR: the mail client may lose or damage data. WARN: an inconsistency
// that the client repairs or ignores, or a value [MS-PST] allows but the
// client's own files don't use.
enum class check_severity : uint8_t { warn, error };

enum class check_area : uint8_t {
  header,
  maps,              // AMap, PMap, FMap, FPMap, DList
  btrees,            // NBT and BBT pages
  blocks,            // placement, trailers, CRCs, data and subnode trees
  reference_counts,  // cRef against the references found
  nodes,             // NBT entries, NID counters, parents
  heaps_tables,      // heap-on-node, BTH, PC, TC, name map
  folders_messages,  // the folder tree, contents tables, messages, recipients, attachments
};

const char* to_string(check_severity severity);  // "ERROR", "WARN"
const char* to_string(check_area area);          // "header", "maps", ...

struct check_finding {
  check_severity severity = check_severity::error;
  check_area area = check_area::header;
  uint64_t offset = 0;  // file offset; 0 when none
  uint64_t bid = 0;     // 0 when none
  uint32_t nid = 0;     // 0 when none
  std::string message;  // UTF-8
};

struct check_options {
  size_t max_findings = 1000;
};

struct check_report {
  // False when the file cannot be read as a PST at all (not a PST, or a
  // header too damaged to go on); `unreadable_reason` says why.
  bool readable = false;
  std::string unreadable_reason;
  bool unicode = false;
  uint8_t encoding = 0;  // bCryptMethod: 0 none, 1 permute, 2 cyclic
  uint64_t file_size = 0;
  uint64_t pages = 0, blocks = 0, nodes = 0, folders = 0, messages = 0;
  std::vector<check_finding> findings;

  size_t count(check_severity severity) const;
};

// Checks the file at `path` (UTF-16). Never throws for anything in the file.
check_report check_pst(std::u16string_view path, const check_options& options = {});
// The same over an open file (any IFile: a file, a stream, test callbacks).
class IFile;
check_report check_pst(IFile& file, const check_options& options = {});

}  // namespace vendrel
