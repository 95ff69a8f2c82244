#include "check/store_listing.h"

#include <memory>
#include <set>

#include "check/node_decode.h"
#include "check/pst_reader.h"
#include "common/errors.h"
#include "common/file.h"

namespace vendrel {

namespace {

constexpr uint32_t nid_message_store = 0x21;
constexpr uint32_t nid_root_folder = 0x122;
constexpr size_t max_folder_depth = 512;

// Everything the listing reads, with the failures it meets named in `error`.
class store_view {
 public:
  explicit store_view(IFile& file) : source_(file), reader_(source_) {}

  bool open(std::string& error) {
    std::string reason;
    if (!reader_.open(reason)) {
      error = reason;
      return false;
    }
    std::vector<std::string> problems;
    reader_.load_trees(problems);
    if (reader_.nodes().empty()) {
      error = "the node B-tree holds no nodes";
      return false;
    }
    if (auto store = pc(nid_message_store)) {
      if (auto cp = store->i4(0x3FFD)) code_page_ = *cp;
      else if (auto icp = store->i4(0x3FDE)) code_page_ = *icp;
      store_ = std::move(store);
    }
    return true;
  }

  uint32_t code_page() const { return code_page_; }
  const std::optional<pc_decoded>& store() const { return store_; }
  pst_reader& reader() { return reader_; }

  // Nodes may share blocks: past a budget of reads the listing stops, so
  // that a crafted file cannot make it read without bound.
  bool over_budget() const { return reader_.block_bytes_read() > 8 * reader_.file_size() + (uint64_t{256} << 20); }

  std::optional<pc_decoded> pc(uint32_t nid) {
    auto p = parts(nid);
    if (!p) return std::nullopt;
    diag d;
    return decode_pc(p->blocks, p->subnodes, d);
  }

  std::optional<tc_decoded> tc(uint32_t nid) {
    auto p = parts(nid);
    if (!p) return std::nullopt;
    diag d;
    return decode_tc(p->blocks, reader_.unicode(), p->subnodes, d);
  }

 private:
  struct node_parts {
    block_list blocks;
    subnode_access subnodes;
  };

  // A node's data blocks and subnodes as the decoders take them; nullopt
  // past the budget, for a missing node or when either cannot be read.
  std::optional<node_parts> parts(uint32_t nid) {
    if (over_budget()) return std::nullopt;
    const pst_node* n = reader_.node(nid);
    if (!n) return std::nullopt;
    std::string why;
    auto blocks = reader_.data_blocks(n->bid_data, why, uint64_t{64} << 20);
    auto subs = blocks ? reader_.subnodes(n->bid_sub, why) : std::nullopt;
    if (!subs) return std::nullopt;
    return node_parts{std::move(*blocks), access(std::move(*subs))};
  }

  subnode_access access(std::map<uint32_t, pst_subnode> subs) {
    auto shared = std::make_shared<std::map<uint32_t, pst_subnode>>(std::move(subs));
    subnode_access a;
    a.size = [this, shared](uint32_t nid, std::string& why) -> std::optional<uint64_t> {
      auto it = shared->find(nid);
      if (it == shared->end()) return std::nullopt;
      return reader_.data_size(it->second.bid_data, why);
    };
    a.bytes = [this, shared](uint32_t nid, uint64_t limit, std::string& why) -> std::optional<std::vector<uint8_t>> {
      auto it = shared->find(nid);
      if (it == shared->end()) return std::nullopt;
      return reader_.data(it->second.bid_data, why, limit);
    };
    return a;
  }

  file_check_source source_;
  pst_reader reader_;
  uint32_t code_page_ = 1252;
  std::optional<pc_decoded> store_;
};

// A stored subject may start with 0x01 and the length of its prefix.
std::string strip_subject(std::string s) {
  if (s.size() >= 2 && s[0] == '\x01') s.erase(0, 2);
  return s;
}

void note(std::string& error, const std::string& what) {
  if (!error.empty()) error += "; ";
  error += what;
}

void list_folder(store_view& view, uint32_t nid, int depth, const store_listing_callbacks& cb, std::string& error,
                 std::set<uint32_t>& seen) {
  if (depth > static_cast<int>(max_folder_depth) || !seen.insert(nid).second) {
    note(error, "folder " + check_hex(nid) + " is reached twice or too deep");
    return;
  }
  auto pc = view.pc(nid);
  if (!pc) {
    note(error, "folder " + check_hex(nid) + " cannot be read");
    return;
  }
  listed_folder f;
  f.nid = nid;
  f.depth = depth;
  f.name = pc->text(0x3001, view.code_page()).value_or("");
  f.container_class = pc->text(0x3613, view.code_page()).value_or("");
  std::vector<uint32_t> children, items;
  if (auto h = view.tc((nid & ~0x1Fu) | 0x0D)) children = h->row_ids();
  const bool search = (nid & 0x1F) == 0x03;
  if (auto c = view.tc((nid & ~0x1Fu) | (search ? 0x10 : 0x0E))) items = c->row_ids();
  f.item_count = static_cast<uint32_t>(items.size());
  f.subfolder_count = static_cast<uint32_t>(children.size());
  if (cb.folder) cb.folder(f);
  if (cb.item) {
    for (uint32_t m : items) {
      if (view.over_budget()) {
        note(error, "the listing stopped: the store names more data than the file holds several times over");
        return;
      }
      auto mpc = view.pc(m);
      if (!mpc) {
        note(error, "message " + check_hex(m) + " cannot be read");
        continue;
      }
      uint32_t cp = view.code_page();
      if (auto mcp = mpc->i4(0x3FFD)) cp = *mcp;
      listed_item it;
      it.nid = m;
      it.message_class = mpc->text(0x001A, cp).value_or("");
      if (auto t = mpc->i8(0x0E06)) it.time = static_cast<int64_t>(*t);
      else if (auto c = mpc->i8(0x3007)) it.time = static_cast<int64_t>(*c);
      it.sender = mpc->text(0x0C1A, cp).value_or(mpc->text(0x0042, cp).value_or(""));
      it.subject = strip_subject(mpc->text(0x0037, cp).value_or(""));
      cb.item(it);
    }
  }
  for (uint32_t child : children) list_folder(view, child, depth + 1, cb, error, seen);
}

std::unique_ptr<CMyFile> open_file(std::u16string_view path) {
  std::unique_ptr<CMyFile> file;
  try {
    file = CMyFile::open_for_reading(path);
  } catch (const qm_retcode&) {
  }
  if (file && !file->is_open()) file.reset();
  return file;
}

}  // namespace

bool list_store(std::u16string_view path, const store_listing_callbacks& callbacks, std::string& error) {
  error.clear();
  auto file = open_file(path);
  if (!file) {
    error = "the file cannot be opened";
    return false;
  }
  try {
    store_view view(*file);
    if (!view.open(error)) return false;
    if (!view.reader().node(nid_root_folder)) {
      error = "the store has no root folder";
      return false;
    }
    std::set<uint32_t> seen;
    list_folder(view, nid_root_folder, 0, callbacks, error, seen);
    return true;
  } catch (const std::bad_alloc&) {
    error = "out of memory";
    return false;
  }
}

std::string store_display_name(std::u16string_view path) {
  auto file = open_file(path);
  if (!file) return {};
  store_view view(*file);
  std::string error;
  if (!view.open(error) || !view.store()) return {};
  return view.store()->text(0x3001, view.code_page()).value_or("");
}

}  // namespace vendrel
