// A new store file read back through the node database: its fixed nodes,
// the message store properties and entry IDs, the standard folders, the
// folder tables and the template blocks they share.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ltp/table_templates.h"
#include "platform/platform.h"
#include "store_test_support.h"

namespace vendrel::test {
namespace {

template <typename V>
class StoreFile : public store_test {};
TYPED_TEST_SUITE(StoreFile, store_variants, store_variant_name);

constexpr uint32_t ipm_nid = 0x8022, deleted_nid = 0x8042, search_nid = 0x8062;

TYPED_TEST(StoreFile, HoldsExactlyTheStorePropertiesEntryIdsAndMask) {
  using V = TypeParam;
  const auto path = this->dir / "new.pst";
  pst_guid record_key{};
  {
    auto store = new_store<V>(path);
    record_key = store->record_key();
    store->commit();
  }
  stored_file<typename V::bidtype> file(path);
  decoded_pc props = file.pc(store_nid::message_store);
  const uint16_t string_type = V::unicode ? 0x001F : 0x001E;
  std::set<uint32_t> tags;
  for (const auto& p : props.properties) tags.insert(p.tag());
  const std::set<uint32_t> expected = {0x0E340102, 0x0FF90102, 0x30010000u | string_type, 0x30040000u | string_type,
                                       0x35DF0003, 0x35E00102, 0x35E30102, 0x35E70102, 0x661E000B, 0x67FF0003};
  EXPECT_EQ(tags, expected);

  EXPECT_EQ(file.string_of(store_nid::message_store, 0x3001), "Personal Folders");
  EXPECT_EQ(file.string_of(store_nid::message_store, 0x3004), "");
  EXPECT_EQ(file.value_of(store_nid::message_store, 0x35DF), 0x89u);
  EXPECT_EQ(file.value_of(store_nid::message_store, 0x661E), 1u);
  EXPECT_EQ(file.value_of(store_nid::message_store, 0x67FF), 0u);
  EXPECT_EQ(props.find(0x0E34)->bytes, std::vector<uint8_t>(store_replica_constant.begin(), store_replica_constant.end()));
  EXPECT_EQ(props.find(0x0FF9)->bytes, std::vector<uint8_t>(record_key.begin(), record_key.end()));

  struct entry_id_case {
    uint16_t id;
    uint32_t folder;
    const char* name;
  };
  for (const entry_id_case& c : {entry_id_case{0x35E0, ipm_nid, "Start of IPM tree"},
                                 entry_id_case{0x35E3, deleted_nid, "Deleted Items"},
                                 entry_id_case{0x35E7, search_nid, "Search start"}}) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t>& id = props.find(c.id)->bytes;
    ASSERT_EQ(id.size(), 24u);
    EXPECT_TRUE(std::all_of(id.begin(), id.begin() + 4, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(record_key.begin(), record_key.end(), id.begin() + 4));
    EXPECT_EQ(get_le<uint32_t>(id.data() + 20), c.folder);
    EXPECT_EQ(file.string_of(c.folder, 0x3001), c.name);
  }
}

TYPED_TEST(StoreFile, WritesTheFixedNodesThatEveryFileNeeds) {
  using V = TypeParam;
  const auto path = this->dir / "fixed.pst";
  new_store<V>(path)->commit();
  stored_file<typename V::bidtype> file(path);
  EXPECT_NO_THROW(file.ndb().nbt().check());
  EXPECT_NO_THROW(file.ndb().bbt().check());

  for (uint32_t nid : tc_template_nids()) {
    SCOPED_TRACE(nid);
    auto node = file.node(nid);
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->bid_data);
    EXPECT_FALSE(node->bid_sub);
    EXPECT_EQ(node->nid_parent.value(), 0u);
    decoded_tc table = file.tc(nid);
    EXPECT_TRUE(table.rows.empty());
    EXPECT_EQ(table.layout.columns.size(), tc_template_columns(nid, V::unicode).size() + 2);
  }
  for (uint32_t nid : {0x1E1u, 0x201u, 0x281u, 0x2A1u, 0x321u, 0xEC1u}) {
    auto node = file.node(nid);
    ASSERT_TRUE(node) << nid;
    EXPECT_FALSE(node->bid_data);
    EXPECT_FALSE(node->bid_sub);
  }

  decoded_tc receive = file.tc(store_nid::receive_folder_table);
  ASSERT_EQ(receive.rows.size(), 1u);
  EXPECT_EQ(receive.cell(0, 0x67F20003), store_nid::receive_folder_table);
  EXPECT_EQ(receive.cell(0, 0x66050003), store_nid::root_folder);
  EXPECT_TRUE(receive.has_cell(0, V::unicode ? 0x001A001F : 0x001A001E));

  EXPECT_NO_THROW(file.pc(store_nid::name_to_id_map));

  struct folder_case {
    uint32_t nid, parent;
  };
  for (const folder_case& c : {folder_case{store_nid::root_folder, store_nid::root_folder},
                               folder_case{ipm_nid, store_nid::root_folder}, folder_case{deleted_nid, ipm_nid},
                               folder_case{search_nid, store_nid::root_folder}}) {
    auto node = file.node(c.nid);
    ASSERT_TRUE(node) << c.nid;
    EXPECT_EQ(node->nid_parent.value(), c.parent) << c.nid;
  }
  // Caller folders live under the IPM subtree, which holds Deleted Items;
  // the search root stays beside it under the root.
  EXPECT_EQ(file.row_ids(0x122 + 0x0B), (std::vector<uint32_t>{ipm_nid, search_nid}));
  EXPECT_EQ(file.row_ids(ipm_nid + 0x0B), (std::vector<uint32_t>{deleted_nid}));
  EXPECT_EQ(file.value_of(ipm_nid, 0x360A), 1u);
  EXPECT_EQ(file.value_of(deleted_nid, 0x360A), 0u);
}

TYPED_TEST(StoreFile, HierarchyRowsAreTheSubfoldersInCreationOrder) {
  using V = TypeParam;
  using C = typename V::chartype;
  const auto path = this->dir / "tree.pst";
  uint32_t parent = 0, first = 0, second = 0;
  {
    auto store = new_store<V>(path);
    ref<pst_folder> a = store->top_folder()->create_subfolder(text<C>("Projects").c_str(), nullptr, nullptr);
    ref<pst_folder> b = a->create_subfolder(text<C>("Beta").c_str(), text<C>("IPF.Task").c_str(), nullptr);
    ref<pst_folder> c = a->create_subfolder(text<C>("Alpha").c_str(), text<C>("IPF.Contact").c_str(),
                                            text<C>("a comment").c_str());
    parent = static_cast<uint32_t>(a->folder_nid());
    first = static_cast<uint32_t>(b->folder_nid());
    second = static_cast<uint32_t>(c->folder_nid());
    store->commit();
  }
  stored_file<typename V::bidtype> file(path);
  EXPECT_EQ(file.row_ids(parent + 0x0B), (std::vector<uint32_t>{first, second}));
  EXPECT_EQ(file.value_of(parent, 0x360A), 1u);
  EXPECT_EQ(file.value_of(first, 0x360A), 0u);
  EXPECT_EQ(file.value_of(parent, 0x3602), 0u);
  EXPECT_EQ(file.string_of(parent, 0x3613), "IPF.Note");
  EXPECT_EQ(file.string_of(second, 0x3004), "a comment");

  decoded_tc rows = file.tc(parent + 0x0B);
  const uint32_t name_tag = V::unicode ? 0x3001001F : 0x3001001E;
  const uint32_t class_tag = V::unicode ? 0x3613001F : 0x3613001E;
  auto cell_text = [&](size_t row, uint32_t tag) {
    std::vector<uint8_t> bytes = rows.cell_bytes(row, tag).value();
    if (!V::unicode) return std::string(bytes.begin(), bytes.end());
    std::u16string s(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return to_utf8(s);
  };
  EXPECT_EQ(cell_text(0, name_tag), "Beta");
  EXPECT_EQ(cell_text(1, name_tag), "Alpha");
  EXPECT_EQ(cell_text(0, class_tag), "IPF.Task");
  EXPECT_EQ(cell_text(1, class_tag), "IPF.Contact");
  EXPECT_EQ(rows.cell(0, 0x360A000B), 0u);
}

TYPED_TEST(StoreFile, EmptyFolderTablesShareTheTemplateBlocks) {
  using V = TypeParam;
  using C = typename V::chartype;
  const auto path = this->dir / "shared.pst";
  pst_template_table<typename V::bidtype> hierarchy, contents, associated;
  {
    auto store = new_store<V>(path);
    store->top_folder()->create_subfolder(text<C>("Empty").c_str(), nullptr, nullptr);
    hierarchy = store->template_table(0x60D);
    contents = store->template_table(0x60E);
    associated = store->template_table(0x60F);
    store->commit();
  }
  stored_file<typename V::bidtype> file(path);
  // An unshared template shows the count a block starts with.
  auto unshared = file.ndb().lookup_block(file.node(0x610)->bid_data);
  ASSERT_TRUE(unshared);
  const uint16_t base = unshared->cref;
  auto cref = [&](typename V::bidtype bid) { return file.ndb().lookup_block(block_id<typename V::bidtype>(bid))->cref; };
  // Five folders: root, IPM subtree, Deleted Items, Search start, Empty; three have no subfolders.
  EXPECT_EQ(cref(contents.data_bid), base + 5);
  EXPECT_EQ(cref(associated.data_bid), base + 5);
  EXPECT_EQ(cref(hierarchy.data_bid), base + 3);

  auto empty_nid = file.row_ids(0x8022 + 0x0B).back();
  EXPECT_EQ(file.node(empty_nid + 0x0C)->bid_data.value(), contents.data_bid);
  EXPECT_EQ(file.node(empty_nid + 0x0D)->bid_data.value(), associated.data_bid);
  EXPECT_EQ(file.node(empty_nid + 0x0B)->bid_data.value(), hierarchy.data_bid);
}

// A block's reference count has 16 bits. Past 65,535 empty folders sharing
// a template's block, the next folders share a fresh copy of it, and every
// count in the file stays right.
TYPED_TEST(StoreFile, MoreEmptyFoldersThanABlockCanCountShareAFreshTemplateCopy) {
  using V = TypeParam;
  using C = typename V::chartype;
  const auto path = this->dir / "many.pst";
  constexpr int folders = 66000;
  pst_template_table<typename V::bidtype> first, last;
  {
    auto store = new_store<V>(path);
    first = store->template_table(0x60E);
    // Two parents: an ANSI table holds at most 65,536 rows.
    for (const char* parent : {"Many", "More"}) {
      ref<pst_folder> many = store->top_folder()->create_subfolder(text<C>(parent).c_str(), nullptr, nullptr);
      for (int i = 0; i < folders / 2; ++i)
        ASSERT_TRUE(many->create_subfolder(text<C>("Folder " + std::to_string(i)).c_str(), nullptr, nullptr));
    }
    ASSERT_NO_THROW(store->commit());
    last = store->template_table(0x60E);
  }
  EXPECT_NE(first.data_bid, last.data_bid);
  stored_file<typename V::bidtype> file(path);
  auto cref = [&](typename V::bidtype bid) { return file.ndb().lookup_block(block_id<typename V::bidtype>(bid))->cref; };
  EXPECT_EQ(cref(first.data_bid), 0xFFFF);
  EXPECT_GT(cref(last.data_bid), 2);
  EXPECT_EQ(check_file(std::u16string_view(utf16(path.string()))).size(), 0u);
}

TYPED_TEST(StoreFile, CommitWritesItsStepsInOrderAndOnlyOnce) {
  using V = TypeParam;
  const auto path = this->dir / "logged.pst";
  log_capture log(this->dir / "commit.log");
  auto store = new_store<V>(path);
  store->commit();
  const std::string text = log.text();
  const std::string steps[] = {
      "[PST] commit storage : name = [Personal Folders], file = [" + path.string() + "]",
      "[PST] commit root folder []",
      "[PST]    commit folder [                                ] : nid =      122, m_nid_parent =      122",
      "[PST]    commit folder [               Start of IPM tree] : nid =     8022",
      "[PST] commit properties",
      "[PST] commit name to id map",
      "[PST] storage size = " + std::to_string(std::filesystem::file_size(path)),
  };
  size_t at = 0;
  for (const std::string& step : steps) {
    size_t found = text.find(step, at);
    ASSERT_NE(found, std::string::npos) << step << "\n" << text;
    at = found + step.size();
  }
  EXPECT_THROW(store->commit(), qm_invalid_call);
  EXPECT_TRUE(log.has("[PST] pst_store_impl<bidtype,chartype>::commit() : exception"));
}

TYPED_TEST(StoreFile, OnlyAStoreDroppedUncommittedReportsUnsavedFolders) {
  using V = TypeParam;
  const std::string unsaved = "[PST]  pst_folder_impl<bidtype,chartype>::~pst_folder_impl called on unsaved folder";
  {
    log_capture log(this->dir / "committed.log");
    new_store<V>(this->dir / "committed.pst")->commit();
    EXPECT_FALSE(log.has(unsaved));
  }
  log_capture log(this->dir / "dropped.log");
  new_store<V>(this->dir / "dropped.pst");
  EXPECT_TRUE(log.has(unsaved));
}

TYPED_TEST(StoreFile, RefusesModesOtherThanCreationAndCopying) {
  using V = TypeParam;
  for (int mode : {0, 4, -1}) {
    try {
      new_store<V>(this->dir / "mode.pst", mode);
      ADD_FAILURE() << "mode " << mode;
    } catch (const qm_invalid_arg& e) {
      EXPECT_STREQ(e.what(), "invalid file mode");
    }
  }
  EXPECT_THROW(new_store<V>(this->dir / "mode.pst", store_mode::open_existing), qm_invalid_call);
  EXPECT_THROW(new_store<V>(this->dir / "no such directory" / "x.pst"), qm_cwf_error);
  auto store = new_store<V>(this->dir / "series.pst", store_mode::create_series);
  try {
    store->copy_to(store.get());
    ADD_FAILURE();
  } catch (const qm_invalid_call& e) {
    EXPECT_STREQ(e.what(), "pst_store_impl<bidtype,chartype>::copy_to unsupported");
  }
}

TYPED_TEST(StoreFile, DisplayNameTakesEitherWidthAndRefusesNull) {
  using V = TypeParam;
  auto store = new_store<V>(this->dir / "name.pst");
  store->set_display_name(u"\u00C9t\u00E9 \u65E5\u672C");
  // An ANSI store keeps what the file's code page can hold (1252 unless the
  // environment names another; GetACP on Windows).
  const uint32_t file = platform::file_code_page();
  EXPECT_EQ(store->display_name(), sizeof(typename V::chartype) == 1
                                       ? platform::multibyte_to_wide(file, platform::wide_to_multibyte(
                                                                               file, u"\u00C9t\u00E9 \u65E5\u672C"))
                                       : std::u16string(u"\u00C9t\u00E9 \u65E5\u672C"));
  store->set_display_name("plain");
  EXPECT_EQ(store->display_name_narrow(), "plain");
  EXPECT_THROW(store->set_display_name(static_cast<const char16_t*>(nullptr)), qm_invalid_arg);
  EXPECT_THROW(store->set_display_name(static_cast<const char*>(nullptr)), qm_invalid_arg);
  EXPECT_EQ(store->display_name(), u"plain");
}

TYPED_TEST(StoreFile, MessageNidsComeFromTheCounterAndOnlyForUnsavedItems) {
  using V = TypeParam;
  auto store = new_store<V>(this->dir / "nids.pst");
  ref<pst_store_item> first = store->create_message();
  ref<pst_store_item> second = store->create_task();
  EXPECT_EQ(first->item_nid() & 0x1F, 0x04u);
  EXPECT_EQ(second->item_nid(), first->item_nid() + 32);
  EXPECT_EQ(store->ndb().header().rgnid(nid_type::message), second->item_nid() >> 5);
  first->commit();
  EXPECT_THROW(store->new_message_nid(first.get()), qm_invalid_arg);
  EXPECT_THROW(store->new_message_nid(nullptr), qm_invalid_arg);
}

TYPED_TEST(StoreFile, NamedPropertiesStartAfterTheDefaultSet) {
  using V = TypeParam;
  auto store = new_store<V>(this->dir / "names.pst");
  const pst_guid common = *parse_guid("00062008-0000-0000-C000-000000000046");
  EXPECT_EQ(store->named_property_id({common.data(), 0, 0x8510, nullptr}), 0x8001u);
  EXPECT_EQ(store->named_property_id({ps_public_strings.data(), 1, 0, u"Keywords"}), 0x803Cu);
  const uint32_t added = store->named_property_id({common.data(), 1, 0, u"x-vendrel"});
  EXPECT_EQ(added, 0x812Cu);
  EXPECT_EQ(store->named_property_id({common.data(), 1, 0, u"x-vendrel"}), added);
}

TEST(StoreWithoutItems, ItemCreationNeedsTheItemClasses) {
  TempDir dir;
  test_items_installed restored_afterwards;
  pst_store_impl<uint32_t, char>::set_item_maker(nullptr);
  auto store = make_ref<pst_store_impl<uint32_t, char>>(std::string_view((dir / "x.pst").string()), 1);
  EXPECT_THROW(store->create_message(), qm_invalid_call);
}

}  // namespace
}  // namespace vendrel::test
