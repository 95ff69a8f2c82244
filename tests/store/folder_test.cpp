// Folder objects: creating and finding subfolders, filing items with their
// counters and contents rows, part folders past the per-part limit.
#include <gtest/gtest.h>

#include <regex>

#include "store/split_folder_name.h"
#include "store_test_support.h"

namespace vendrel::test {
namespace {

template <typename V>
class Folder : public store_test {
 protected:
  using C = typename V::chartype;
  using folder_type = typename V::folder;

  void SetUp() override {
    store_test::SetUp();
    store = new_store<V>(this->dir / "folders.pst");
  }
  folder_type* top() { return store->ipm_subtree(); }
  folder_type* make(folder_type* parent, const char* name, const char* cls = nullptr) {
    ref<pst_folder> f = parent->create_subfolder(text<C>(name).c_str(), cls ? text<C>(cls).c_str() : nullptr, nullptr);
    return dynamic_cast<folder_type*>(f.get());
  }
  ref<pst_store_item> item(uint32_t flags, pst_item_kind kind = pst_item_kind::message) {
    ref<pst_store_item> i = store->create_item(kind);
    i->set_property(pst_property_value::of_u32(0x0E070003, flags));
    return i;
  }
  std::string name_of(const folder_type* f) { return log_text(f->name()); }

  ref<typename V::store> store;
};
TYPED_TEST_SUITE(Folder, store_variants, store_variant_name);

TYPED_TEST(Folder, RefusesANameItHoldsButComparesCaseSensitively) {
  log_capture log(this->dir / "names.log");
  auto* top = this->top();
  EXPECT_THROW(this->make(top, "Deleted Items"), qm_invalid_arg);
  EXPECT_TRUE(log.has("create_subfolder([Deleted Items],[(null)],[(null)]) : exception"));
  auto* lower = this->make(top, "deleted items");
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(this->name_of(lower), "deleted items");
  EXPECT_EQ(top->subfolders().size(), 2u);
  EXPECT_TRUE(top->has_subfolder(u"Deleted Items"));
  EXPECT_TRUE(top->has_subfolder(std::string_view("deleted items")));
  EXPECT_FALSE(top->has_subfolder(u"DELETED ITEMS"));
  EXPECT_THROW(top->create_subfolder(static_cast<const char*>(nullptr), nullptr, nullptr), qm_invalid_arg);
}

TYPED_TEST(Folder, NewFoldersTakeNameClassCommentAndANewNid) {
  log_capture log(this->dir / "created.log");
  auto* top = this->top();
  ref<pst_folder> a = top->create_subfolder(u"\u00C5rsrapport", nullptr, u"yearly");
  ref<pst_folder> b = top->create_subfolder("Tasks", "IPF.Task", nullptr);
  auto* fa = dynamic_cast<typename TestFixture::folder_type*>(a.get());
  auto* fb = dynamic_cast<typename TestFixture::folder_type*>(b.get());
  EXPECT_EQ(fa->display_name(), u"\u00C5rsrapport");
  EXPECT_EQ(log_text(fa->container_class()), "IPF.Note");
  EXPECT_EQ(log_text(fb->container_class()), "IPF.Task");
  EXPECT_EQ(string_property<char>(*fa, 0x3004), "yearly");
  EXPECT_FALSE(fb->get_property(0x3004));
  EXPECT_EQ(fa->folder_nid() & 0x1F, 0x02u);
  EXPECT_EQ(fb->folder_nid(), fa->folder_nid() + 32);
  EXPECT_EQ(fa->parent_nid(), top->folder_nid());
  EXPECT_TRUE(log.has("[PST] Just created a folder 'Tasks' [class IPF.Task]"));
  // The forms without a class find the folder or make an "IPF.Note" one.
  EXPECT_EQ(top->get_or_create_subfolder(std::string_view("Tasks")).get(), b.get());
  ref<pst_folder> made = top->get_or_create_subfolder(u"Later");
  EXPECT_EQ(log_text(dynamic_cast<typename TestFixture::folder_type*>(made.get())->container_class()), "IPF.Note");
  ref<pst_folder> classed = top->get_or_create_subfolder(u"People", u"IPF.Contact");
  EXPECT_EQ(log_text(dynamic_cast<typename TestFixture::folder_type*>(classed.get())->container_class()),
            "IPF.Contact");
}

TYPED_TEST(Folder, PathLookupIsNotSupportedAndHiddenNeedsANonZeroFlag) {
  auto* top = this->top();
  try {
    top->get_folder(u"a\\b");
    ADD_FAILURE();
  } catch (const qm_invalid_call& e) {
    EXPECT_STREQ(e.what(), "pst_folder_impl<bidtype,chartype>::get_folder(const wchar_t* path)");
  }
  try {
    top->get_folder("a\\b");
    ADD_FAILURE();
  } catch (const qm_invalid_call& e) {
    EXPECT_STREQ(e.what(), "pst_folder_impl<bidtype,chartype>::get_folder(const char* path)");
  }
  EXPECT_FALSE(top->is_hidden());
  top->set_property(pst_property_value::of_bool(0x10F4000B, false));
  EXPECT_FALSE(top->is_hidden());
  top->set_property(pst_property_value::of_bool(0x10F4000B, true));
  EXPECT_TRUE(top->is_hidden());
}

TYPED_TEST(Folder, FiledItemsGetRowsCountsAndTheirNodes) {
  using V = TypeParam;
  auto* inbox = this->make(this->top(), "Inbox");
  ref<pst_store_item> unread = this->item(0);
  ref<pst_store_item> read = this->item(1);
  ref<pst_store_item> task = this->item(0, pst_item_kind::task);
  for (auto* i : {unread.get(), read.get(), task.get()}) inbox->add_message(i);

  EXPECT_EQ(inbox->content_count(), 3u);
  EXPECT_EQ(inbox->unread_count(), 2u);
  EXPECT_EQ(inbox->statistics(), (pst_item_statistics{{pst_item_kind::message, 2}, {pst_item_kind::task, 1}}));
  EXPECT_TRUE(read->is_saved());
  EXPECT_EQ(read->get_property(0x0E33)->as_u64(), 156u);
  EXPECT_EQ(read->get_property(0x0E30)->size(), 16u);
  EXPECT_EQ(std::vector<uint8_t>(read->get_property(0x3013)->data(), read->get_property(0x3013)->data() + 16),
            std::vector<uint8_t>(message_change_key_constant.begin(), message_change_key_constant.end()));

  const uint32_t inbox_nid = static_cast<uint32_t>(inbox->folder_nid());
  const std::vector<uint32_t> items = {unread->item_nid(), read->item_nid(), task->item_nid()};
  const auto path = this->dir / "folders.pst";
  this->store->commit();
  this->store.reset();

  stored_file<typename V::bidtype> file(path);
  EXPECT_EQ(file.row_ids(inbox_nid + 0x0C), items);
  for (uint32_t nid : items) EXPECT_EQ(file.node(nid)->nid_parent.value(), inbox_nid);
  EXPECT_EQ(file.value_of(inbox_nid, 0x3602), 3u);
  EXPECT_EQ(file.value_of(inbox_nid, 0x3603), 2u);
  decoded_tc contents = file.tc(inbox_nid + 0x0C);
  EXPECT_EQ(contents.cell(1, 0x0E070003), 1u);
  EXPECT_EQ(contents.cell(0, 0x0E330014), 156u);
  EXPECT_EQ(file.string_of(items[0], 0x001A), "IPM.Note");
}

TYPED_TEST(Folder, RefusesItemsOfAnotherStore) {
  auto other = new_store<TypeParam>(this->dir / "other.pst");
  ref<pst_store_item> foreign = other->create_message();
  EXPECT_THROW(this->top()->add_message(foreign.get()), qm_invalid_arg);
  EXPECT_THROW(this->top()->add_message(nullptr), qm_invalid_arg);
  EXPECT_EQ(this->top()->content_count(), 0u);
}

TYPED_TEST(Folder, AFullPartSendsItemsToNewSiblingParts) {
  using V = TypeParam;
  set_part_message_limit_for_testing(2);
  this->store = new_store<V>(this->dir / "parts.pst");
  log_capture log(this->dir / "parts.log");
  auto* top = this->top();
  auto* inbox = this->make(top, "Inbox", "IPF.Note");
  std::vector<ref<pst_store_item>> items;
  for (int i = 0; i < 5; ++i) {
    items.push_back(this->item(0));
    inbox->add_message(items.back().get());
  }
  ASSERT_EQ(inbox->parts().size(), 2u);
  EXPECT_EQ(inbox->content_count(), 2u);
  EXPECT_EQ(inbox->parts()[0]->content_count(), 2u);
  EXPECT_EQ(inbox->parts()[1]->content_count(), 1u);
  EXPECT_TRUE(log.has("[PST] pst_folder_impl<bidtype, chartype>::get_free_folder: creating a new folder"));

  // The parts are siblings of the folder, named after it and the time.
  ASSERT_EQ(top->subfolders().size(), 4u);  // Deleted Items, Inbox and two parts
  const std::regex pattern(V::unicode ? R"(Inbox \[Part created \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\]_0)"
                                      : R"(Inbox \[Part created \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\]_\d+)");
  for (const auto& part : inbox->parts()) {
    EXPECT_EQ(part->parent(), top);
    EXPECT_TRUE(std::regex_match(this->name_of(part.get()), pattern)) << this->name_of(part.get());
    EXPECT_EQ(log_text(part->container_class()), "IPF.Note");
  }
  EXPECT_NE(this->name_of(inbox->parts()[0].get()), this->name_of(inbox->parts()[1].get()));

  const uint32_t part_nid = static_cast<uint32_t>(inbox->parts()[1]->folder_nid());
  const uint32_t last = items.back()->item_nid();
  this->store->commit();
  this->store.reset();
  stored_file<typename V::bidtype> file(this->dir / "parts.pst");
  EXPECT_EQ(file.node(last)->nid_parent.value(), part_nid);
  EXPECT_EQ(file.row_ids(part_nid + 0x0C), std::vector<uint32_t>{last});
  EXPECT_EQ(file.value_of(part_nid, 0x3602), 1u);
}

TYPED_TEST(Folder, AFolderWithoutClassCannotBeSplit) {
  set_part_message_limit_for_testing(1);
  this->store = new_store<TypeParam>(this->dir / "noclass.pst");
  auto* inbox = this->make(this->top(), "Inbox");
  inbox->remove_property(0x3613);
  ref<pst_store_item> first = this->item(0), second = this->item(0);
  inbox->add_message(first.get());
  EXPECT_THROW(inbox->add_message(second.get()), qm_invalid_call);
  // The root has no parent to hold a part beside it.
  log_capture log(this->dir / "root.log");
  auto* root = this->store->root();
  root->set_property(string_value<char>(0x3613, "IPF.Note"));
  root->add_message(this->item(0).get());
  ref<pst_store_item> third = this->item(0);
  EXPECT_THROW(root->add_message(third.get()), qm_invalid_call);
  EXPECT_TRUE(log.has("Folder nid=0x00000122, parent = NULL"));
}

TEST(SplitFolderTime, TwoPartsInTheSameSecondAreOneSecondApart) {
  for (bool wide : {false, true}) {
    const uint64_t first = next_split_time(wide);
    const uint64_t second = next_split_time(wide);
    const uint64_t third = next_split_time(wide);
    EXPECT_GT(second, first);
    EXPECT_GT(third, second);
  }
  EXPECT_EQ(split_time_text(0).size(), std::string("01.01.1601 00:00:00").size());
}

}  // namespace
}  // namespace vendrel::test
