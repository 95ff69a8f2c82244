// Whole files read back strictly: every node of a written file decodes as
// what its NID says (property contexts for the store, folders and items,
// table contexts for the templates and folder tables), every block a node
// names is in the block B-tree, and each folder's hierarchy and contents
// tables list exactly the folders and items whose nodes name it as parent.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ltp/table_templates.h"
#include "store_test_support.h"

namespace vendrel::test {
namespace {

template <typename V>
class FileCheck : public store_test {};
TYPED_TEST_SUITE(FileCheck, store_variants, store_variant_name);

bool is_table_nid(uint32_t nid) {
  const uint32_t type = nid & 0x1F;
  if (type == 0x0D || type == 0x0E || type == 0x0F) return true;
  if (nid == store_nid::receive_folder_table) return true;
  for (uint32_t t : tc_template_nids())
    if (t == nid) return true;
  return false;
}

TYPED_TEST(FileCheck, EveryNodeDecodesAndTablesMatchTheNodeTree) {
  using V = TypeParam;
  using C = typename V::chartype;
  using B = typename V::bidtype;
  const auto path = this->dir / "check.pst";
  // Folder NIDs in creation order under each parent, and the items filed.
  std::map<uint32_t, std::vector<uint32_t>> made;
  std::map<uint32_t, std::vector<uint32_t>> filed;
  {
    auto store = new_store<V>(path);
    auto add = [&](pst_folder* parent, const std::string& name, const char* cls) {
      ref<pst_folder> f = parent->create_subfolder(text<C>(name).c_str(), cls ? text<C>(cls).c_str() : nullptr, nullptr);
      made[static_cast<uint32_t>(parent->folder_nid())].push_back(static_cast<uint32_t>(f->folder_nid()));
      return f;
    };
    pst_folder* top = store->ipm_subtree();
    made[static_cast<uint32_t>(top->folder_nid())].push_back(static_cast<uint32_t>(store->deleted_items()->folder_nid()));
    ref<pst_folder> inbox = add(top, "Inbox", "IPF.Note");
    const std::vector<std::string> names = V::unicode
        ? std::vector<std::string>{"\xC3\x89t\xC3\xA9 \xC3\xA0 Z\xC3\xBCrich", "\xD0\x9A\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3",
                                   "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xF0\x9F\x98\x80 smile"}
        : std::vector<std::string>{"Reports", "Archive", "Old", "New"};
    for (const auto& n : names) add(add(inbox.get(), n, "IPF.Task").get(), "inner", nullptr);
    // Enough subfolders for a row index of two levels and a row matrix in a subnode.
    ref<pst_folder> many = add(top, "Many", "IPF.Note");
    for (int i = 0; i < 140; ++i) add(many.get(), "f" + std::to_string(i), nullptr);
    for (int i = 0; i < 3; ++i) {
      ref<pst_store_item> item = store->create_message();
      inbox->add_message(item.get());
      filed[static_cast<uint32_t>(inbox->folder_nid())].push_back(item->item_nid());
    }
    store->commit();
  }

  stored_file<B> file(path);
  EXPECT_NO_THROW(file.ndb().nbt().check());
  EXPECT_NO_THROW(file.ndb().bbt().check());
  std::map<uint32_t, std::set<uint32_t>> folder_children, item_children;
  size_t folders = 0, tables = 0, others = 0;
  for (const nbt_entry<B>& node : file.nodes()) {
    const uint32_t nid = node.nid.value();
    SCOPED_TRACE(nid);
    if (node.bid_data) {
      EXPECT_TRUE(file.ndb().lookup_block(node.bid_data));
    }
    if (node.bid_sub) {
      EXPECT_TRUE(file.ndb().lookup_block(node.bid_sub));
    }
    if (is_table_nid(nid)) {
      EXPECT_NO_THROW(file.tc(nid));
      ++tables;
    } else if ((nid & 0x1F) == nid_type::folder) {
      EXPECT_NO_THROW(file.pc(nid));
      if (nid != store_nid::root_folder) folder_children[node.nid_parent.value()].insert(nid);
      ++folders;
    } else if ((nid & 0x1F) == nid_type::message) {
      EXPECT_NO_THROW(file.pc(nid));
      item_children[node.nid_parent.value()].insert(nid);
    } else if (node.bid_data) {
      EXPECT_NO_THROW(file.pc(nid));
      ++others;
    }
  }
  EXPECT_EQ(folders, 4u + 1 + 4 * 2 + 1 + 140);
  EXPECT_EQ(tables, 11u + 3 * folders);
  EXPECT_EQ(others, 2u);  // the message store and the named property map

  for (const nbt_entry<B>& node : file.nodes()) {
    const uint32_t nid = node.nid.value();
    if ((nid & 0x1F) != nid_type::folder) continue;
    SCOPED_TRACE(nid);
    std::vector<uint32_t> rows = file.row_ids((nid & ~0x1Fu) | 0x0D);
    EXPECT_EQ(std::set<uint32_t>(rows.begin(), rows.end()), folder_children[nid]);
    if (made.count(nid)) {
      EXPECT_EQ(rows, made[nid]);
    }
    EXPECT_EQ(file.value_of(nid, 0x360A), rows.empty() ? 0u : 1u);
    std::vector<uint32_t> contents = file.row_ids((nid & ~0x1Fu) | 0x0E);
    EXPECT_EQ(std::set<uint32_t>(contents.begin(), contents.end()), item_children[nid]);
    if (filed.count(nid)) {
      EXPECT_EQ(contents, filed[nid]);
    }
    EXPECT_EQ(file.value_of(nid, 0x3602), contents.size());
  }
}

}  // namespace
}  // namespace vendrel::test
