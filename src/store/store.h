// Store objects: one PST file being written. A store owns the node database
// of its file, the message store properties (node 0x21, the store's own
// property set), the named property map (node 0x61) and the folder tree
// under the root folder 0x122. A new store writes the fixed nodes every file
// needs; it hands out items and message NIDs, moves on to a further file of
// its series when its file reaches the size limit, and commits everything in
// a fixed order, the rest of the series after it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/base_object.h"
#include "common/file.h"
#include "ltp/name_to_id_map.h"
#include "ltp/ndb_link.h"
#include "ltp/property_set.h"
#include "ndb/ndb.h"
#include "store/folder.h"
#include "store/store_item.h"

namespace vendrel {

// Store file modes: 1 creates a new file; 3 does the same for the further
// files of a series; 2 (adding to an existing file) is not supported.
namespace store_mode {
inline constexpr int create = 1;
inline constexpr int open_existing = 2;
inline constexpr int create_series = 3;
}  // namespace store_mode

// NIDs and tags of the message store.
namespace store_nid {
inline constexpr uint32_t message_store = 0x21;
inline constexpr uint32_t name_to_id_map = 0x61;
inline constexpr uint32_t root_folder = 0x122;
inline constexpr uint32_t receive_folder_table = 0x62B;
}  // namespace store_nid

// The 24 bytes stored as 0x0E34 on the store, its folders and messages.
extern const std::array<uint8_t, 24> store_replica_constant;
// The 16 bytes stored as 0x3013 on every filed message.
extern const std::array<uint8_t, 16> message_change_key_constant;

class pst_store : public virtual pst_property_set {
 public:
  // Slot 0: the root folder 0x122 (none when absent).
  virtual ref<pst_folder> root_folder() = 0;
  // Slots 1-2: the display name (0x3001), "" when absent.
  virtual std::string display_name_narrow() const = 0;
  virtual std::u16string display_name() const = 0;
  // Slots 3-4: set the display name here and in the rest of the series; a
  // string that is null or not readable within 1 MiB is qm_invalid_arg.
  virtual void set_display_name(const char16_t* name) = 0;
  virtual void set_display_name(const char* name) = 0;
  // Slots 6-10: a new item bound to the store that serves new items: this
  // one, or the newest of its series once the file reached its size limit.
  virtual ref<pst_store_item> create_sticky_note() = 0;
  virtual ref<pst_store_item> create_appointment() = 0;
  virtual ref<pst_store_item> create_contact() = 0;
  virtual ref<pst_store_item> create_task() = 0;
  virtual ref<pst_store_item> create_message() = 0;
  // Slot 14: the property ID (0x8000 and above) of a named property, added
  // to the map of every store of the series when new.
  virtual uint32_t named_property_id(const pst_named_property& property) = 0;
  // Slot 15: a NID of type 0x04 for an item not yet saved (qm_invalid_arg otherwise).
  virtual uint32_t new_message_nid(const pst_store_item* item) = 0;

  // The folder under which caller folders live: the IPM subtree ("Start of
  // IPM tree"), or the root folder when the subtree could not be created.
  virtual ref<pst_folder> top_folder() = 0;

 protected:
  ~pst_store() override = default;
};

// A table node written at creation whose blocks empty folder tables share.
template <ndb_bidtype bidtype>
struct pst_template_table {
  uint32_t nid = 0;
  bidtype data_bid = 0;
  bidtype sub_bid = 0;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_store_impl : public pst_property_set_impl<bidtype, chartype>, public pst_store {
 public:
  using folder_type = pst_folder_impl<bidtype, chartype>;
  using map_type = pst_name_to_id_map<bidtype, chartype>;
  static constexpr bool unicode = std::is_same_v<chartype, char16_t>;

  // Makes the items of a kind for a store; installed by the item classes.
  using item_maker = ref<pst_store_item> (*)(pst_store_impl& store, pst_item_kind kind);
  static void set_item_maker(item_maker maker) { item_maker_ = maker; }
  static item_maker installed_item_maker() { return item_maker_; }

  // Creates the file (modes 1 and 3) with its fixed nodes. `external` routes
  // the file's calls through a caller's callbacks. Mode 2 is qm_invalid_call,
  // any other mode qm_invalid_arg "invalid file mode"; file errors are
  // qm_cwf_error.
  pst_store_impl(std::u16string_view path, int mode, const external_file_callbacks* external = nullptr);
  pst_store_impl(std::string_view path, int mode, const external_file_callbacks* external = nullptr);

  ref<pst_folder> root_folder() override { return ref<pst_folder>(root_.get()); }
  std::string display_name_narrow() const override;
  std::u16string display_name() const override;
  void set_display_name(const char16_t* name) override;
  void set_display_name(const char* name) override;
  ref<pst_store_item> create_sticky_note() override { return create_item(pst_item_kind::sticky_note); }
  ref<pst_store_item> create_appointment() override { return create_item(pst_item_kind::appointment); }
  ref<pst_store_item> create_contact() override { return create_item(pst_item_kind::contact); }
  ref<pst_store_item> create_task() override { return create_item(pst_item_kind::task); }
  ref<pst_store_item> create_message() override { return create_item(pst_item_kind::message); }
  uint32_t named_property_id(const pst_named_property& property) override;
  uint32_t new_message_nid(const pst_store_item* item) override;
  ref<pst_folder> top_folder() override;

  // The store as a property set cannot be copied into another.
  void copy_to(pst_property_set* target) override;
  // Writes the folder tree, the store properties, the named property map,
  // the node database's pages and header, then the rest of the series.
  void commit() override;

  ref<pst_store_item> create_item(pst_item_kind kind);

  pst_ndb<bidtype>& ndb() { return *ndb_; }
  pst_node_writer<bidtype>* writer() { return link_.get(); }
  map_type& name_map() { return *name_map_; }
  const pst_template_table<bidtype>& template_table(uint32_t nid) const;
  // The template table's data block for one more table node, its reference
  // taken for the caller. A block's reference count has 16 bits: when the
  // template's block has as many as it can hold, a fresh copy of it is
  // written and shared from then on.
  block_id<bidtype> share_template_block(uint32_t nid);
  const pst_guid& record_key() const { return record_key_; }
  // 4 zero bytes, the record key, the NID.
  std::vector<uint8_t> entry_id(uint32_t nid) const;

  folder_type* root() const { return root_.get(); }
  folder_type* ipm_subtree() const { return ipm_subtree_.get(); }
  folder_type* deleted_items() const { return deleted_items_.get(); }
  folder_type* search_root() const { return search_root_.get(); }
  // The next store of the series, none before the size limit was reached.
  pst_store_impl* duplicate() const { return duplicate_.get(); }
  // The file name as given, in the width it was given.
  std::u16string file_name() const { return wide_path_; }
  bool committed() const { return committed_; }
  // The end of the file as the node database knows it.
  uint64_t file_end() const;

  void add_statistics_record(const pst_statistics_record& record) { statistics_.push_back(record); }

 protected:
  ~pst_store_impl() override;

 private:
  void create(int mode, const external_file_callbacks* external);
  void write_template_tables();
  // One template table's image as a new heap block.
  block_id<bidtype> write_template_block(uint32_t nid);
  void set_store_properties();
  void create_standard_folders();
  void write_empty_nodes();
  void write_receive_folder_table();
  // Creates a fixed folder; null (and the log line) when that fails.
  ref<folder_type> create_fixed_folder(folder_type* parent, const char* name, uint32_t subfolders_value,
                                       const char* failure);
  void create_duplicate();
  void copy_folder_tree(folder_type& from, folder_type& to);

  std::u16string wide_path_;
  std::string narrow_path_;
  bool narrow_ = false;
  const external_file_callbacks* external_ = nullptr;
  std::unique_ptr<pst_ndb<bidtype>> ndb_;
  std::unique_ptr<pst_ndb_link<bidtype>> link_;
  ref<map_type> name_map_;
  std::vector<pst_template_table<bidtype>> templates_;
  pst_guid record_key_{};
  ref<folder_type> root_;
  ref<folder_type> ipm_subtree_;
  ref<folder_type> deleted_items_;
  ref<folder_type> search_root_;
  ref<pst_store_impl> duplicate_;
  std::vector<pst_statistics_record> statistics_;
  uint64_t items_created_ = 0;
  bool committed_ = false;

  static inline item_maker item_maker_ = nullptr;
};

extern template class pst_store_impl<uint32_t, char>;
extern template class pst_store_impl<uint64_t, char16_t>;

// The stores the library interface creates: a Unicode file over a UTF-16
// path, an ANSI file over an 8-bit path.
ref<pst_store> create_unicode_store(std::u16string_view path);
ref<pst_store> create_ansi_store(std::string_view path);

}  // namespace vendrel
