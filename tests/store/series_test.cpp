// A store series: the names of further files, and a store that reaches its
// size limit going on in the next file with the same names, the same folder
// tree and the items filed into the mirrored folders; one commit writes all.
#include <gtest/gtest.h>

#include "store/series_name.h"
#include "store_test_support.h"

namespace vendrel::test {
namespace {

TEST(SeriesName, CountsOnFromTheNumberOfTheName) {
  struct name_case {
    const char* name;
    const char* next;
  };
  const name_case cases[] = {
      {"mail.pst", "mail - 001.pst"},
      {"mail - 001.pst", "mail - 002.pst"},
      {"mail - 009.pst", "mail - 010.pst"},
      {"mail - 099.pst", "mail - 100.pst"},
      {"mail - 999.pst", "mail - 1000.pst"},
      {"/data/archive", "/data/archive - 001.pst"},
      {"archive - 004", "archive - 005.pst"},
      {"mail - 000.pst", "mail - 000 - 001.pst"},  // 0 is no number of the series
      {"mail - 12.pst", "mail - 12 - 001.pst"},
      {"mail -001.pst", "mail -001 - 001.pst"},
      {"mail - 0x1.pst", "mail - 0x1 - 001.pst"},
      {"MAIL.PST", "MAIL.PST - 001.pst"},
      {".pst", " - 001.pst"},
  };
  for (const name_case& c : cases) {
    EXPECT_EQ(next_series_name(std::string_view(c.name)), c.next) << c.name;
    EXPECT_EQ(next_series_name(std::u16string_view(utf16(c.name))), utf16(c.next)) << c.name;
  }
  EXPECT_EQ(next_series_name(std::u16string_view(u"\u65E5\u672C - 041.pst")), u"\u65E5\u672C - 042.pst");
}

template <typename V>
class Series : public store_test {
 protected:
  using C = typename V::chartype;
  using folder_type = typename V::folder;

  folder_type* make(folder_type* parent, const char* name, const char* cls = nullptr) {
    ref<pst_folder> f = parent->create_subfolder(text<C>(name).c_str(), cls ? text<C>(cls).c_str() : nullptr, nullptr);
    return dynamic_cast<folder_type*>(f.get());
  }
  static std::vector<std::string> names(const folder_type* f) {
    std::vector<std::string> out;
    for (const auto& s : f->subfolders()) out.push_back(log_text(s->name()));
    return out;
  }
  // Every folder below `f` and its mirror have the same names and classes.
  static void expect_mirrored(const folder_type* f) {
    ASSERT_NE(f->mirror(), nullptr) << log_text(f->name());
    EXPECT_EQ(log_text(f->mirror()->name()), log_text(f->name()));
    EXPECT_EQ(names(f->mirror()), names(f));
    for (const auto& sub : f->subfolders()) {
      EXPECT_EQ(log_text(sub->mirror()->container_class()), log_text(sub->container_class()));
      EXPECT_EQ(sub->mirror()->parent(), f->mirror());
      expect_mirrored(sub.get());
    }
  }
};
TYPED_TEST_SUITE(Series, store_variants, store_variant_name);

TYPED_TEST(Series, PastTheLimitItemsGoToTheNextFileWithTheSameTreeAndNames) {
  using V = TypeParam;
  log_capture log(this->dir / "series.log");
  const auto first_path = this->dir / "mail.pst";
  const auto second_path = this->dir / "mail - 001.pst";
  auto store = new_store<V>(first_path);
  auto* top = store->ipm_subtree();
  auto* inbox = this->make(top, "Inbox");
  this->make(this->make(inbox, "2024", "IPF.Task"), "March");
  const pst_guid guid = *parse_guid("11112222-3333-4444-5555-666677778888");
  const uint32_t before = store->named_property_id({guid.data(), 1, 0, u"before"});
  store->set_display_name(u"Series");

  // The first item stays: the file is not yet at the limit when it is made.
  set_file_size_limit_for_testing(V::unicode, store->file_end() + 1);
  ref<pst_store_item> first = store->create_message();
  inbox->add_message(first.get());
  EXPECT_EQ(store->duplicate(), nullptr);
  set_file_size_limit_for_testing(V::unicode, store->file_end());

  ref<pst_store_item> second = store->create_message();
  auto* next = store->duplicate();
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(std::filesystem::exists(second_path));
  EXPECT_TRUE(log.has("[PST] create duplicate storage " + second_path.string()));
  EXPECT_TRUE(next->same_store(second.get()));
  EXPECT_FALSE(store->same_store(second.get()));
  reset_limits_for_testing();

  // The named property map and the folder tree are copied with mirrors.
  EXPECT_EQ(next->name_map().lookup_or_add({guid.data(), 1, 0, u"before"}), before);
  const uint32_t after = store->named_property_id({guid.data(), 1, 0, u"after"});
  EXPECT_EQ(next->name_map().lookup_or_add({guid.data(), 1, 0, u"after"}), after);
  EXPECT_EQ(next->display_name(), u"Series");
  store->set_display_name("Renamed");
  EXPECT_EQ(next->display_name(), u"Renamed");
  this->expect_mirrored(store->root());
  EXPECT_EQ(store->ipm_subtree()->mirror(), next->ipm_subtree());
  EXPECT_EQ(store->search_root()->mirror(), next->search_root());
  auto* later = this->make(inbox, "Later", "IPF.Contact");
  ASSERT_NE(later->mirror(), nullptr);
  EXPECT_EQ(later->mirror()->parent(), inbox->mirror());
  this->expect_mirrored(store->root());

  // Items of the next file reach the mirrored folders; NIDs come from it too.
  inbox->add_message(second.get());
  EXPECT_EQ(inbox->content_count(), 1u);
  EXPECT_EQ(inbox->mirror()->content_count(), 1u);
  ref<pst_store_item> third = store->create_task();
  EXPECT_EQ(third->item_nid(), second->item_nid() + 32);
  later->add_message(third.get());
  EXPECT_EQ(later->mirror()->content_count(), 1u);

  const uint32_t inbox_nid = static_cast<uint32_t>(inbox->folder_nid());
  const uint32_t mirror_nid = static_cast<uint32_t>(inbox->mirror()->folder_nid());
  const uint32_t first_nid = first->item_nid(), second_nid = second->item_nid();
  store->commit();
  EXPECT_TRUE(next->committed());
  store.reset();

  stored_file<typename V::bidtype> one(first_path);
  stored_file<typename V::bidtype> two(second_path);
  EXPECT_EQ(one.row_ids(inbox_nid + 0x0C), std::vector<uint32_t>{first_nid});
  EXPECT_EQ(two.row_ids(mirror_nid + 0x0C), std::vector<uint32_t>{second_nid});
  EXPECT_EQ(two.node(second_nid)->nid_parent.value(), mirror_nid);
  EXPECT_EQ(one.node(first_nid)->nid_parent.value(), inbox_nid);
  EXPECT_EQ(two.string_of(store_nid::message_store, 0x3001), "Renamed");
  EXPECT_EQ(two.string_of(mirror_nid, 0x3001), "Inbox");
  EXPECT_NO_THROW(two.ndb().nbt().check());
}

TYPED_TEST(Series, EachFileOfTheSeriesGoesOnInTheNextOne) {
  using V = TypeParam;
  auto store = new_store<V>(this->dir / "archive");
  auto* inbox = this->make(store->ipm_subtree(), "Inbox");
  // Every file that holds an item is at the limit: each further item opens a file.
  set_file_size_limit_for_testing(V::unicode, 1);
  std::vector<ref<pst_store_item>> items;
  for (int i = 0; i < 3; ++i) {
    items.push_back(store->create_message());
    inbox->add_message(items.back().get());
  }
  ASSERT_NE(store->duplicate(), nullptr);
  ASSERT_NE(store->duplicate()->duplicate(), nullptr);
  EXPECT_EQ(store->duplicate()->duplicate()->duplicate(), nullptr);
  EXPECT_EQ(inbox->mirror()->mirror()->content_count(), 1u);
  store->commit();
  store.reset();
  for (const char* name : {"archive", "archive - 001.pst", "archive - 002.pst"}) {
    stored_file<typename V::bidtype> file(this->dir / name);
    EXPECT_EQ(file.string_of(0x8022, 0x3001), "Start of IPM tree") << name;
  }
}

}  // namespace
}  // namespace vendrel::test
