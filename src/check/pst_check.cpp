#include "check/pst_check.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "check/node_decode.h"
#include "check/pst_reader.h"
#include "common/errors.h"
#include "common/file.h"
#include "ndb/walker.h"

namespace vendrel {

const char* to_string(check_severity severity) { return severity == check_severity::error ? "ERROR" : "WARN"; }

const char* to_string(check_area area) {
  switch (area) {
    case check_area::header: return "header";
    case check_area::maps: return "maps";
    case check_area::btrees: return "B-trees";
    case check_area::blocks: return "blocks";
    case check_area::reference_counts: return "reference counts";
    case check_area::nodes: return "nodes";
    case check_area::heaps_tables: return "heaps and tables";
    case check_area::folders_messages: return "folders and messages";
  }
  return "?";
}

size_t check_report::count(check_severity severity) const {
  return static_cast<size_t>(
      std::count_if(findings.begin(), findings.end(), [severity](const check_finding& f) { return f.severity == severity; }));
}

namespace {

constexpr uint32_t nid_message_store = 0x21;
constexpr uint32_t nid_name_to_id_map = 0x61;
constexpr uint32_t nid_root_folder = 0x122;
constexpr uint32_t nid_attachment_table = 0x671;
constexpr uint32_t nid_recipient_table = 0x692;
constexpr size_t max_embedding_depth = 64;

uint32_t nid_type_of(uint32_t nid) { return nid & 0x1F; }
uint32_t sibling(uint32_t nid, uint32_t type) { return (nid & ~0x1Fu) | type; }

// How a walker finding weighs for the mail client.
check_finding from_walker(const ndb_finding& f) {
  check_finding out;
  out.offset = f.offset;
  out.bid = f.bid;
  out.nid = f.nid;
  out.message = f.message;
  out.severity = check_severity::error;
  // The PMap is deprecated: the client allocates pages through the AMap.
  const bool pmap_only = f.message.find("PMap") != std::string::npos && f.message.find("AMap") == std::string::npos;
  switch (f.check) {
    case ndb_check::unreadable:
    case ndb_check::header:
      out.area = check_area::header;
      // Maps marked not valid are rebuilt by the client.
      if (f.message.find("fAMapValid") != std::string::npos) {
        out.area = check_area::maps;
        out.severity = check_severity::warn;
      }
      break;
    case ndb_check::map_page:
    case ndb_check::overlap:
    case ndb_check::unmarked_space:
      out.area = check_area::maps;
      if (pmap_only) out.severity = check_severity::warn;
      break;
    case ndb_check::map_summary:
      // rgbFM and rgbFP are deprecated, and the free totals only guide the
      // client's search for space: it reads the maps themselves.
      out.area = check_area::maps;
      out.severity = check_severity::warn;
      break;
    case ndb_check::unused_space:
      // Leaked space: the client never reuses it, nothing is lost.
      out.area = check_area::maps;
      out.severity = check_severity::warn;
      break;
    case ndb_check::btree_page:
      out.area = check_area::btrees;
      break;
    case ndb_check::block:
    case ndb_check::missing_block:
    case ndb_check::data_tree:
    case ndb_check::subnode_tree:
      out.area = check_area::blocks;
      break;
    case ndb_check::reference_count: {
      out.area = check_area::reference_counts;
      // "cRef N, but M referrer(s): expected E": a count above the
      // references only leaks the block once they are gone.
      unsigned long long cref = 0, referrers = 0, expected = 0;
      if (std::sscanf(f.message.c_str(), "cRef %llu, but %llu referrer(s): expected %llu", &cref, &referrers,
                      &expected) == 3 &&
          cref > expected)
        out.severity = check_severity::warn;
      break;
    }
    case ndb_check::truncated:
      out.area = check_area::header;
      out.severity = check_severity::warn;
      break;
  }
  return out;
}

class node_checker {
 public:
  node_checker(pst_reader& reader, check_report& report, const check_options& options)
      : r_(reader), report_(report), options_(options) {}

  void run();

 private:
  void add(check_severity s, check_area area, uint32_t nid, std::string message, uint64_t bid = 0) {
    if (report_.findings.size() >= options_.max_findings) {
      truncated_ = true;
      return;
    }
    check_finding f;
    f.severity = s;
    f.area = area;
    f.nid = nid;
    f.bid = bid;
    f.offset = r_.node_entry_offset(nid);
    f.message = std::move(message);
    report_.findings.push_back(std::move(f));
  }
  void take(const diag& d, check_area area, uint32_t nid, const std::string& where) {
    for (const auto& i : d.items) add(i.severity, area, nid, where + ": " + i.message);
  }

  subnode_access access(const std::map<uint32_t, pst_subnode>* subs) {
    subnode_access a;
    a.size = [this, subs](uint32_t nid, std::string& why) -> std::optional<uint64_t> {
      if (!subs) return std::nullopt;
      auto it = subs->find(nid);
      if (it == subs->end()) return std::nullopt;
      return r_.data_size(it->second.bid_data, why);
    };
    a.bytes = [this, subs](uint32_t nid, uint64_t limit, std::string& why) -> std::optional<std::vector<uint8_t>> {
      if (!subs) return std::nullopt;
      auto it = subs->find(nid);
      if (it == subs->end()) {
        why = "no subnode " + check_hex(nid);
        return std::nullopt;
      }
      return r_.data(it->second.bid_data, why, limit);
    };
    return a;
  }

  // Reads a node's (or subnode's) data blocks and subnodes; nullopt with a
  // finding when they cannot be read.
  struct loaded {
    block_list blocks;
    std::map<uint32_t, pst_subnode> subs;
  };
  // Nodes may share blocks, so a crafted file could have the node level
  // read far more than the file holds: past a budget of reads it stops.
  bool over_budget() {
    if (r_.block_bytes_read() <= read_budget_) return false;
    if (!budget_reported_)
      add(check_severity::warn, check_area::nodes, 0,
          "the node level stopped: its nodes name more data than the file holds several times over");
    budget_reported_ = true;
    truncated_ = true;
    return true;
  }

  std::optional<loaded> load(uint32_t nid, uint64_t bid_data, uint64_t bid_sub, const std::string& where) {
    if (over_budget()) return std::nullopt;
    loaded l;
    std::string why;
    auto blocks = r_.data_blocks(bid_data, why, uint64_t{64} << 20);
    if (!blocks) {
      add(check_severity::error, check_area::nodes, nid, where + ": its data cannot be read (" + why + ")", bid_data);
      return std::nullopt;
    }
    l.blocks = std::move(*blocks);
    auto subs = r_.subnodes(bid_sub, why);
    if (!subs) {
      add(check_severity::error, check_area::nodes, nid, where + ": its subnodes cannot be read (" + why + ")", bid_sub);
      return std::nullopt;
    }
    l.subs = std::move(*subs);
    return l;
  }

  std::optional<pc_decoded> pc_of(uint32_t nid, const loaded& l, const std::string& where) {
    diag d;
    auto pc = decode_pc(l.blocks, access(&l.subs), d);
    take(d, check_area::heaps_tables, nid, where);
    return pc;
  }
  std::optional<tc_decoded> tc_of(uint32_t nid, uint64_t bid_data, uint64_t bid_sub, const std::string& where) {
    auto l = load(nid, bid_data, bid_sub, where);
    if (!l) return std::nullopt;
    diag d;
    auto tc = decode_tc(l->blocks, r_.unicode(), access(&l->subs), d);
    take(d, check_area::heaps_tables, nid, where);
    return tc;
  }

  void check_store();
  void check_name_map();
  void check_folder(const pst_node& folder);
  void check_message(uint32_t nid, uint64_t bid_data, uint64_t bid_sub, const std::string& where, size_t depth,
                     uint32_t report_nid);
  void check_table_node(const pst_node& n);

  pst_reader& r_;
  check_report& report_;
  const check_options& options_;
  bool truncated_ = false;
  bool budget_reported_ = false;
  uint64_t read_budget_ = 0;
  size_t embedded_seen_ = 0;
  static constexpr size_t max_embedded_messages = 1u << 16;
  std::map<uint32_t, std::vector<uint32_t>> children_;  // parent -> nodes naming it
  std::set<uint32_t> tables_checked_;
};

void node_checker::run() {
  read_budget_ = 8 * r_.file_size() + (uint64_t{256} << 20);
  for (const auto& [nid, n] : r_.nodes())
    if (n.parent && n.parent != nid) children_[n.parent].push_back(nid);

  if (!r_.node(nid_message_store))
    add(check_severity::error, check_area::nodes, nid_message_store, "the message store node is missing");
  else
    check_store();
  if (!r_.node(nid_name_to_id_map))
    add(check_severity::error, check_area::nodes, nid_name_to_id_map, "the name-to-ID map node is missing");
  else
    check_name_map();
  if (!r_.node(nid_root_folder))
    add(check_severity::error, check_area::nodes, nid_root_folder, "the root folder is missing");

  for (const auto& [nid, n] : r_.nodes()) {
    if (truncated_) break;
    const uint32_t type = nid_type_of(nid);
    if (type == 0x02 || type == 0x03) {
      ++report_.folders;
      check_folder(n);
    } else if (type == 0x04) {
      ++report_.messages;
      const pst_node* parent = r_.node(n.parent);
      if (!parent || (nid_type_of(n.parent) != 0x02 && nid_type_of(n.parent) != 0x03))
        add(check_severity::error, check_area::folders_messages, nid,
            "message's parent " + check_hex(n.parent) + " is not a folder in the NBT");
      check_message(nid, n.bid_data, n.bid_sub, "message " + check_hex(nid), 0, nid);
    }
  }
  // Tables that no folder reached (templates and strays).
  for (const auto& [nid, n] : r_.nodes()) {
    if (truncated_) break;
    const uint32_t type = nid_type_of(nid);
    if ((type >= 0x0D && type <= 0x12) && !tables_checked_.count(nid)) check_table_node(n);
  }
  if (truncated_ && !budget_reported_)
    add(check_severity::warn, check_area::header, 0, "too many findings: the rest are not recorded");
}

void node_checker::check_table_node(const pst_node& n) {
  tables_checked_.insert(n.nid);
  const uint32_t type = nid_type_of(n.nid);
  if ((type == 0x0D || type == 0x0E || type == 0x0F || type == 0x10) && n.nid >> 5 >= 0x40) {
    const uint32_t folder = (n.nid & ~0x1Fu) | (r_.node(sibling(n.nid, 0x03)) ? 0x03 : 0x02);
    if (!r_.node(folder))
      add(check_severity::warn, check_area::folders_messages, n.nid, "a folder table without its folder");
  }
  tc_of(n.nid, n.bid_data, n.bid_sub, "table " + check_hex(n.nid));
}

void node_checker::check_store() {
  const pst_node& n = *r_.node(nid_message_store);
  auto l = load(n.nid, n.bid_data, n.bid_sub, "message store");
  if (!l) return;
  auto pc = pc_of(n.nid, *l, "message store");
  if (!pc) return;
  if (!pc->find(0x0FF9))
    add(check_severity::error, check_area::folders_messages, n.nid, "message store: no PidTagRecordKey");
  if (!pc->find(0x35E0))
    add(check_severity::error, check_area::folders_messages, n.nid, "message store: no IPM subtree entry ID");
}

void node_checker::check_name_map() {
  const pst_node& n = *r_.node(nid_name_to_id_map);
  auto l = load(n.nid, n.bid_data, n.bid_sub, "name-to-ID map");
  if (!l) return;
  auto pc = pc_of(n.nid, *l, "name-to-ID map");
  if (!pc) return;
  auto err = [&](std::string m) { add(check_severity::error, check_area::heaps_tables, n.nid, "name-to-ID map: " + m); };
  auto warn = [&](std::string m) { add(check_severity::warn, check_area::heaps_tables, n.nid, "name-to-ID map: " + m); };
  auto buckets = pc->i4(0x0001);
  const pc_property* guids = pc->find(0x0002);
  const pc_property* entries = pc->find(0x0003);
  const pc_property* strings = pc->find(0x0004);
  if (!buckets || !guids || !entries || !strings) {
    err("the bucket count or one of the GUID, entry and string streams is missing");
    return;
  }
  if (guids->bytes.size() % 16) err("GUID stream of " + std::to_string(guids->bytes.size()) + " bytes");
  if (entries->bytes.size() % 8) err("entry stream of " + std::to_string(entries->bytes.size()) + " bytes");
  const size_t guid_count = guids->bytes.size() / 16;
  std::set<uint16_t> indexes;
  std::set<std::pair<uint32_t, uint16_t>> names;
  size_t bad = 0;
  for (size_t i = 0; i + 8 <= entries->bytes.size() && bad < 8; i += 8) {
    const uint8_t* e = entries->bytes.data() + i;
    const uint32_t id = e[0] | (e[1] << 8) | (e[2] << 16) | (uint32_t{e[3]} << 24);
    const uint16_t guid_field = static_cast<uint16_t>(e[4] | (e[5] << 8));
    const uint16_t index = static_cast<uint16_t>(e[6] | (e[7] << 8));
    const bool string_name = guid_field & 1;
    const uint16_t guid = guid_field >> 1;
    const std::string where = "entry " + std::to_string(i / 8);
    if (guid >= 3 && guid - 3u >= guid_count) {
      err(where + " names GUID " + std::to_string(guid) + " of " + std::to_string(guid_count)), ++bad;
      continue;
    }
    if (string_name) {
      const auto& s = strings->bytes;
      if (id % 4 || uint64_t{id} + 4 > s.size()) {
        err(where + ": string offset " + std::to_string(id) + " lies outside the string stream"), ++bad;
        continue;
      }
      const uint32_t len = s[id] | (s[id + 1] << 8) | (s[id + 2] << 16) | (uint32_t{s[id + 3]} << 24);
      if (uint64_t{id} + 4 + len > s.size() || len % 2) {
        err(where + ": a string name of " + std::to_string(len) + " bytes does not fit the string stream"), ++bad;
        continue;
      }
      if (len == 0) warn(where + ": an empty string name");
    }
    if (!indexes.insert(index).second) err(where + ": property index " + std::to_string(index) + " is used twice"), ++bad;
    if (!names.insert({id, guid_field}).second) warn(where + ": the same name is mapped twice");
  }
  // Every bucket entry mirrors an entry of the stream.
  std::set<uint64_t> stream;
  for (size_t i = 0; i + 8 <= entries->bytes.size(); i += 8) {
    uint64_t v = 0;
    for (size_t k = 0; k < 8; ++k) v |= uint64_t{entries->bytes[i + k]} << (8 * k);
    stream.insert(v);
  }
  size_t in_buckets = 0;
  for (const auto& p : pc->properties) {
    if (p.id < 0x1000 || p.id >= 0x1000 + *buckets) continue;
    if (p.bytes.size() % 8) {
      err("bucket " + check_hex(p.id) + " of " + std::to_string(p.bytes.size()) + " bytes");
      continue;
    }
    for (size_t i = 0; i + 8 <= p.bytes.size(); i += 8) {
      ++in_buckets;
      // Bucket entries carry the hash (or the numeric ID) in place of the
      // string offset; compare the GUID and index halves.
      uint64_t v = 0;
      for (size_t k = 0; k < 8; ++k) v |= uint64_t{p.bytes[i + k]} << (8 * k);
      const uint32_t index = static_cast<uint32_t>(v >> 48);
      if (!indexes.count(static_cast<uint16_t>(index)))
        err("bucket " + check_hex(p.id) + " names property index " + std::to_string(index) + ", which the entry stream lacks");
    }
  }
  if (in_buckets != entries->bytes.size() / 8)
    warn("the buckets hold " + std::to_string(in_buckets) + " entries, the entry stream " +
         std::to_string(entries->bytes.size() / 8));
}

void node_checker::check_folder(const pst_node& folder) {
  const uint32_t nid = folder.nid;
  const std::string where = "folder " + check_hex(nid);
  const bool search = nid_type_of(nid) == 0x03;
  // Parent
  if (nid == nid_root_folder) {
    if (folder.parent != nid)
      add(check_severity::warn, check_area::folders_messages, nid, "the root folder's parent is not itself");
  } else {
    const pst_node* p = r_.node(folder.parent);
    if (!p || nid_type_of(folder.parent) != 0x02)
      add(check_severity::error, check_area::folders_messages, nid,
          where + ": parent " + check_hex(folder.parent) + " is not a folder in the NBT");
  }
  auto l = load(nid, folder.bid_data, folder.bid_sub, where);
  std::optional<pc_decoded> pc;
  if (l) pc = pc_of(nid, *l, where);
  if (pc && !pc->find(0x3001))
    add(check_severity::warn, check_area::folders_messages, nid, where + ": no display name");

  // The folder's tables.
  auto table = [&](uint32_t type, const char* what, bool required) -> std::optional<tc_decoded> {
    const pst_node* t = r_.node(sibling(nid, type));
    if (!t) {
      if (required)
        add(check_severity::error, check_area::folders_messages, nid, where + ": its " + what + " table is missing");
      return std::nullopt;
    }
    tables_checked_.insert(t->nid);
    return tc_of(t->nid, t->bid_data, t->bid_sub, where + " " + what + " table");
  };
  std::optional<tc_decoded> hierarchy = table(0x0D, "hierarchy", !search);
  std::optional<tc_decoded> contents = table(search ? 0x10 : 0x0E, "contents", !search);
  std::optional<tc_decoded> associated = search ? std::nullopt : table(0x0F, "associated contents", !search);

  std::set<uint32_t> subfolders, messages;
  if (auto it = children_.find(nid); it != children_.end()) {
    for (uint32_t child : it->second) {
      const uint32_t t = nid_type_of(child);
      if (t == 0x02 || t == 0x03) subfolders.insert(child);
      if (t == 0x04) messages.insert(child);
    }
  }
  if (hierarchy) {
    std::set<uint32_t> listed;
    for (uint32_t id : hierarchy->row_ids()) {
      listed.insert(id);
      const pst_node* c = r_.node(id);
      if (!c)
        add(check_severity::error, check_area::folders_messages, nid,
            where + ": the hierarchy table lists folder " + check_hex(id) + ", which the NBT lacks");
      else if (c->parent != nid)
        add(check_severity::warn, check_area::folders_messages, nid,
            where + ": the hierarchy table lists folder " + check_hex(id) + ", whose parent is " + check_hex(c->parent));
    }
    for (uint32_t c : subfolders)
      if (!listed.count(c))
        add(check_severity::error, check_area::folders_messages, c,
            "folder " + check_hex(c) + " is missing from its parent's hierarchy table: the client does not show it");
    if (pc) {
      if (const pc_property* p = pc->find(0x360A); p && !p->bytes.empty() && (p->bytes[0] != 0) != !listed.empty())
        add(check_severity::warn, check_area::folders_messages, nid, where + ": PidTagSubfolders disagrees with its hierarchy table");
    }
  }
  std::set<uint32_t> listed_messages;
  auto contents_rows = [&](const std::optional<tc_decoded>& tc, const char* what, uint16_t count_prop) {
    if (!tc) return;
    size_t rows = 0;
    for (uint32_t id : tc->row_ids()) {
      ++rows;
      listed_messages.insert(id);
      const pst_node* m = r_.node(id);
      if (!m) {
        add(search ? check_severity::warn : check_severity::error, check_area::folders_messages, nid,
            where + ": the " + what + " table lists message " + check_hex(id) + ", which the NBT lacks");
      } else if (!search && m->parent != nid) {
        add(check_severity::warn, check_area::folders_messages, nid,
            where + ": the " + what + " table lists message " + check_hex(id) + ", whose parent is " + check_hex(m->parent));
      }
    }
    if (pc && count_prop) {
      if (auto count = pc->i4(count_prop); count && *count != rows)
        add(check_severity::warn, check_area::folders_messages, nid,
            where + ": its " + what + " count property says " + std::to_string(*count) + ", the table holds " +
                std::to_string(rows));
    }
  };
  contents_rows(contents, "contents", search ? 0 : 0x3602);
  contents_rows(associated, "associated contents", 0x3617);
  if (!search && (contents || associated))
    for (uint32_t m : messages)
      if (!listed_messages.count(m))
        add(check_severity::error, check_area::folders_messages, m,
            "message " + check_hex(m) + " is in no contents table of its folder " + check_hex(nid) +
                ": the client does not show it");
}

void node_checker::check_message(uint32_t nid, uint64_t bid_data, uint64_t bid_sub, const std::string& where,
                                 size_t depth, uint32_t report_nid) {
  if (depth > max_embedding_depth) {
    add(check_severity::error, check_area::folders_messages, report_nid,
        where + ": messages embedded more than " + std::to_string(max_embedding_depth) + " deep");
    return;
  }
  auto l = load(report_nid, bid_data, bid_sub, where);
  if (!l) return;
  auto pc = pc_of(report_nid, *l, where);
  if (pc && !pc->find(0x001A))
    add(check_severity::warn, check_area::folders_messages, report_nid, where + ": no message class");

  // Recipients
  if (auto it = l->subs.find(nid_recipient_table); it != l->subs.end()) {
    diag d;
    std::string why;
    auto blocks = r_.data_blocks(it->second.bid_data, why, uint64_t{64} << 20);
    auto subs = blocks ? r_.subnodes(it->second.bid_sub, why) : std::nullopt;
    if (!blocks || !subs) {
      add(check_severity::error, check_area::folders_messages, report_nid, where + ": the recipient table cannot be read (" + why + ")");
    } else {
      decode_tc(*blocks, r_.unicode(), access(&*subs), d);
      take(d, check_area::heaps_tables, report_nid, where + " recipient table");
    }
  }

  // Attachments
  std::set<uint32_t> attachment_nodes;
  for (const auto& [snid, s] : l->subs)
    if (nid_type_of(snid) == 0x05) attachment_nodes.insert(snid);
  std::set<uint32_t> listed;
  if (auto it = l->subs.find(nid_attachment_table); it != l->subs.end()) {
    std::string why;
    auto blocks = r_.data_blocks(it->second.bid_data, why, uint64_t{64} << 20);
    auto subs = blocks ? r_.subnodes(it->second.bid_sub, why) : std::nullopt;
    if (!blocks || !subs) {
      add(check_severity::error, check_area::folders_messages, report_nid, where + ": the attachment table cannot be read (" + why + ")");
    } else {
      diag d;
      auto tc = decode_tc(*blocks, r_.unicode(), access(&*subs), d);
      take(d, check_area::heaps_tables, report_nid, where + " attachment table");
      if (tc) {
        for (uint32_t id : tc->row_ids()) {
          listed.insert(id);
          if (!attachment_nodes.count(id))
            add(check_severity::error, check_area::folders_messages, report_nid,
                where + ": the attachment table lists attachment " + check_hex(id) + ", which the message does not hold");
        }
      }
    }
  } else if (!attachment_nodes.empty()) {
    add(check_severity::error, check_area::folders_messages, report_nid,
        where + ": attachments without an attachment table: the client does not show them");
  }
  for (uint32_t a : attachment_nodes)
    if (!listed.empty() && !listed.count(a))
      add(check_severity::error, check_area::folders_messages, report_nid,
          where + ": attachment " + check_hex(a) + " is not in the attachment table");
  if (pc) {
    if (auto flags = pc->i4(0x0E07)) {
      const bool has = (*flags & 0x10) != 0;
      if (has != !attachment_nodes.empty())
        add(check_severity::warn, check_area::folders_messages, report_nid,
            where + ": MSGFLAG_HASATTACH disagrees with its attachments");
    }
  }

  for (uint32_t a : attachment_nodes) {
    if (truncated_) return;
    const pst_subnode& s = l->subs.at(a);
    const std::string awhere = where + " attachment " + check_hex(a);
    auto al = load(report_nid, s.bid_data, s.bid_sub, awhere);
    if (!al) continue;
    auto apc = pc_of(report_nid, *al, awhere);
    if (!apc) continue;
    auto method = apc->i4(0x3705);
    if (!method) {
      add(check_severity::warn, check_area::folders_messages, report_nid, awhere + ": no attach method");
      continue;
    }
    if (*method == 5) {
      const pc_property* obj = apc->find(0x3701);
      if (!obj || obj->type != 0x000D || obj->bytes.size() != 8) {
        add(check_severity::error, check_area::folders_messages, report_nid,
            awhere + ": an embedded-message attachment without its message object");
        continue;
      }
      const uint32_t mnid = obj->bytes[0] | (obj->bytes[1] << 8) | (obj->bytes[2] << 16) | (uint32_t{obj->bytes[3]} << 24);
      auto m = al->subs.find(mnid);
      if (m == al->subs.end()) continue;  // reported by the PC decoding
      if (++embedded_seen_ > max_embedded_messages) {
        if (embedded_seen_ == max_embedded_messages + 1)
          add(check_severity::warn, check_area::folders_messages, report_nid,
              "more than " + std::to_string(max_embedded_messages) + " embedded messages: the rest are not checked");
        continue;
      }
      ++report_.messages;
      check_message(mnid, m->second.bid_data, m->second.bid_sub, awhere + " message " + check_hex(mnid), depth + 1,
                    report_nid);
    }
  }
}

}  // namespace

check_report check_pst(IFile& file, const check_options& options) {
  check_report report;
  file_check_source source(file);
  report.file_size = source.size();
  pst_reader reader(source);
  std::string reason;
  if (!reader.open(reason)) {
    report.unreadable_reason = reason;
    return report;
  }
  report.readable = true;
  report.unicode = reader.unicode();
  report.encoding = reader.crypt_method();

  ndb_walker_options walker_options;
  walker_options.max_findings = options.max_findings;
  bool btrees_reported = false;
  try {
    for (const ndb_finding& f : check_file(file, walker_options)) {
      check_finding c = from_walker(f);
      btrees_reported |= c.area == check_area::btrees;
      report.findings.push_back(std::move(c));
    }
  } catch (const std::exception& e) {
    report.findings.push_back({check_severity::error, check_area::header, 0, 0, 0,
                               std::string("the node-database walk stopped: ") + e.what()});
  }

  std::vector<std::string> problems;
  reader.load_trees(problems);
  if (!btrees_reported)
    for (auto& p : problems) report.findings.push_back({check_severity::error, check_area::btrees, 0, 0, 0, p});
  report.pages = reader.pages_read();
  report.blocks = reader.blocks().size();
  report.nodes = reader.nodes().size();
  if (reader.nodes().empty()) {
    report.readable = false;
    report.unreadable_reason = "the node B-tree holds no nodes";
    return report;
  }
  node_checker(reader, report, options).run();
  return report;
}

check_report check_pst(std::u16string_view path, const check_options& options) {
  std::unique_ptr<CMyFile> file;
  try {
    file = CMyFile::open_for_reading(path);
  } catch (const qm_retcode&) {
  }
  if (!file || !file->is_open()) {
    check_report report;
    report.unreadable_reason = "the file cannot be opened";
    return report;
  }
  return check_pst(*file, options);
}

}  // namespace vendrel
