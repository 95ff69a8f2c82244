// Shared pieces of the store and folder tests: the two file variants as gtest
// type parameters, a minimal item that a folder can file, log capture, and a
// committed file opened again through the node database's read path.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "common/strings.h"
#include "ltp/pc_reader.h"
#include "ltp/tc_reader.h"
#include "ndb/ndb.h"
#include "store/folder.h"
#include "store/store.h"
#include "store/store_limits.h"
#include "store/text_forms.h"
#include "support/temp_dir.h"

namespace vendrel::test {

template <typename B, typename C>
struct store_variant {
  using bidtype = B;
  using chartype = C;
  using store = pst_store_impl<B, C>;
  using folder = pst_folder_impl<B, C>;
  static constexpr bool unicode = sizeof(B) == 8;
};
using ansi_variant = store_variant<uint32_t, char>;
using unicode_variant = store_variant<uint64_t, char16_t>;
using store_variants = ::testing::Types<ansi_variant, unicode_variant>;

struct store_variant_name {
  template <typename V>
  static std::string GetName(int) {
    return V::unicode ? "Unicode" : "Ansi";
  }
};

// Text in the width of C from UTF-8.
template <typename C>
std::basic_string<C> text(std::string_view utf8) {
  if constexpr (std::is_same_v<C, char>)
    return std::string(utf8);
  else
    return utf16(utf8);
}

// The smallest item a folder files: a property set with a message NID, a
// message class and message flags.
template <typename B, typename C>
class test_item final : public pst_property_set_impl<B, C>, public pst_store_item {
 public:
  test_item(pst_store_impl<B, C>& store, pst_item_kind kind)
      : pst_property_set_impl<B, C>(store.writer(), 0), kind_(kind) {
    this->set_nid(store.new_message_nid(this));
    pst_property_set_impl<B, C>::set_property(pst_property_value::of_u32(0x0E070003, 0));
    pst_property_set_impl<B, C>::set_property(pst_property_value::of_string(0x001A001E, std::string_view("IPM.Note")));
  }
  uint32_t item_nid() const override { return this->nid(); }
  pst_item_kind item_kind() const override { return kind_; }
  bool is_saved() const override { return saved_; }
  void commit() override {
    pst_property_set_impl<B, C>::commit();
    saved_ = true;
  }

 private:
  ~test_item() override = default;
  pst_item_kind kind_;
  bool saved_ = false;
};

template <typename B, typename C>
ref<pst_store_item> make_test_item(pst_store_impl<B, C>& store, pst_item_kind kind) {
  return ref<pst_store_item>(new test_item<B, C>(store, kind));
}

// Installs the test items for both variants while it lives.
class test_items_installed {
 public:
  test_items_installed()
      : ansi_(pst_store_impl<uint32_t, char>::installed_item_maker()),
        unicode_(pst_store_impl<uint64_t, char16_t>::installed_item_maker()) {
    pst_store_impl<uint32_t, char>::set_item_maker(&make_test_item<uint32_t, char>);
    pst_store_impl<uint64_t, char16_t>::set_item_maker(&make_test_item<uint64_t, char16_t>);
  }
  ~test_items_installed() {
    pst_store_impl<uint32_t, char>::set_item_maker(ansi_);
    pst_store_impl<uint64_t, char16_t>::set_item_maker(unicode_);
  }
  test_items_installed(const test_items_installed&) = delete;
  test_items_installed& operator=(const test_items_installed&) = delete;

 private:
  pst_store_impl<uint32_t, char>::item_maker ansi_;
  pst_store_impl<uint64_t, char16_t>::item_maker unicode_;
};

// Test items installed, the limits restored afterwards.
class store_test : public ::testing::Test {
 protected:
  void TearDown() override { reset_limits_for_testing(); }
  test_items_installed items;
  TempDir dir;
};

// Sends the library's log to a file while it lives.
class log_capture {
 public:
  explicit log_capture(std::filesystem::path path) : path_(std::move(path)) { logger().open(path_.string(), true); }
  ~log_capture() { logger().close(); }
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;
  std::string text() const { return read_file_text(path_); }
  bool has(const std::string& needle) const { return text().find(needle) != std::string::npos; }

 private:
  std::filesystem::path path_;
};

// A store created over a path of the variant's width.
template <typename V>
ref<typename V::store> new_store(const std::filesystem::path& path, int mode = store_mode::create) {
  if constexpr (V::unicode)
    return make_ref<typename V::store>(std::u16string_view(utf16(path.string())), mode);
  else
    return make_ref<typename V::store>(std::string_view(path.string()), mode);
}

// A committed file read back through the node database.
template <typename B>
class stored_file {
 public:
  explicit stored_file(const std::filesystem::path& path)
      : ndb_(std::make_unique<pst_ndb<B>>(std::u16string_view(utf16(path.string())), ndb_mode::open_read)) {}

  pst_ndb<B>& ndb() { return *ndb_; }
  std::optional<nbt_entry<B>> node(uint32_t nid) { return ndb_->lookup_node(node_id(nid)); }
  decoded_pc pc(uint32_t nid) { return read_property_context<B>(*ndb_, node_id(nid)); }
  decoded_tc tc(uint32_t nid) { return read_table_context<B>(*ndb_, node_id(nid)); }
  // Every node of the node B-tree.
  std::vector<nbt_entry<B>> nodes() {
    std::vector<nbt_entry<B>> all;
    ndb_->nbt().for_each([&](const nbt_entry<B>& e) { all.push_back(e); });
    return all;
  }
  // The row IDs of a table in row order.
  std::vector<uint32_t> row_ids(uint32_t nid) {
    decoded_tc table = tc(nid);
    std::vector<uint32_t> ids;
    for (size_t r = 0; r < table.rows.size(); ++r) ids.push_back(static_cast<uint32_t>(table.cell(r, 0x67F20003)));
    return ids;
  }
  // A string property of a node's PC as UTF-8.
  std::string string_of(uint32_t nid, uint16_t id) {
    decoded_pc p = pc(nid);
    const decoded_property* v = p.find(id);
    if (!v) return "<absent>";
    if (v->type == 0x001F) {
      std::u16string s(v->bytes.size() / 2, u'\0');
      for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(v->bytes[2 * i] | (v->bytes[2 * i + 1] << 8));
      return to_utf8(s);
    }
    return std::string(v->bytes.begin(), v->bytes.end());
  }
  uint64_t value_of(uint32_t nid, uint16_t id) {
    decoded_pc p = pc(nid);
    const decoded_property* v = p.find(id);
    if (!v) return ~uint64_t{0};
    uint64_t x = 0;
    for (size_t i = 0; i < v->bytes.size() && i < 8; ++i) x |= uint64_t{v->bytes[i]} << (8 * i);
    return x;
  }

 private:
  std::unique_ptr<pst_ndb<B>> ndb_;
};

}  // namespace vendrel::test
