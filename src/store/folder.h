// Folder objects: one folder of the store being written. A folder is a
// property set (its folder property context) with a list of subfolders, a
// contents table that grows by one row per filed message, counters, and the
// sibling part folders it opens when a part holds its limit of messages. On
// commit it writes its property context and node, then its hierarchy,
// contents and associated contents tables; tables without rows share the
// blocks of the store's empty template tables.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/base_object.h"
#include "ltp/property_set.h"
#include "ltp/table_context.h"
#include "store/store_item.h"

namespace vendrel {

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_store_impl;

// A line of the folder statistics: a text, the folder it is about and two counters.
struct pst_statistics_record {
  std::string text;
  std::string folder;
  uint32_t count = 0;
  uint32_t weight = 0;
  friend bool operator==(const pst_statistics_record&, const pst_statistics_record&) = default;
};

// Messages filed per item kind.
using pst_item_statistics = std::map<pst_item_kind, uint32_t>;

class pst_folder : public virtual pst_property_set {
 public:
  // Slots 0-2: the subfolder of that name, created when there is none (the
  // two forms without a class create it as "IPF.Note").
  virtual ref<pst_folder> get_or_create_subfolder(std::u16string_view name, std::u16string_view container_class) = 0;
  virtual ref<pst_folder> get_or_create_subfolder(std::u16string_view name) = 0;
  virtual ref<pst_folder> get_or_create_subfolder(std::string_view name) = 0;
  // Slots 3-4: a new subfolder; a name the folder already holds is
  // qm_invalid_arg. A null class means "IPF.Note", a null comment none.
  virtual ref<pst_folder> create_subfolder(const char16_t* name, const char16_t* container_class,
                                           const char16_t* comment) = 0;
  virtual ref<pst_folder> create_subfolder(const char* name, const char* container_class, const char* comment) = 0;
  // Slots 5-6: not supported (qm_invalid_call).
  virtual ref<pst_folder> get_folder(const char16_t* path) = 0;
  virtual ref<pst_folder> get_folder(const char* path) = 0;
  // Slots 7-8: exact, case-sensitive name comparison over the subfolders.
  virtual bool has_subfolder(std::u16string_view name) const = 0;
  virtual bool has_subfolder(std::string_view name) const = 0;
  // Slots 9-10: the display name (0x3001) in either width.
  virtual std::string display_name_narrow() const = 0;
  virtual std::u16string display_name() const = 0;
  // Slot 11: 0x10F4 present and non-zero.
  virtual bool is_hidden() const = 0;
  // Slot 12: a contents row for an item, in the part the free-folder rule
  // picks, without touching the item's node.
  virtual void add_message_row(pst_store_item* item) = 0;
  // Slot 13: files an item of this folder's store (or, through the mirror,
  // of the next store of the series): stamps it, commits it, inserts its
  // node under the chosen part and adds its contents row.
  virtual void add_message(pst_store_item* item) = 0;
  // Slot 14.
  virtual uint64_t folder_nid() const = 0;
  // Slot 16: messages per item kind of this folder and, once committed, of
  // all its subfolders.
  virtual pst_item_statistics statistics() const = 0;

  // After the property-set slots: a part folder beside this one, named after
  // it and the time, with the given container class; none for a folder
  // without parent.
  virtual ref<pst_folder> create_split_folder(std::u16string_view container_class) = 0;
  virtual ref<pst_folder> create_split_folder(std::string_view container_class) = 0;
  virtual void add_split_part(pst_folder* part) = 0;

 protected:
  ~pst_folder() override = default;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_folder_impl : public pst_property_set_impl<bidtype, chartype>, public pst_folder {
 public:
  using store_type = pst_store_impl<bidtype, chartype>;
  using string_type = std::basic_string<chartype>;

  // A new folder under `parent` with a fresh NID of type 0x02.
  pst_folder_impl(store_type* store, pst_folder_impl* parent);
  // A folder of a known NID (the store's root: 0x122 with parent 0x122).
  pst_folder_impl(store_type* store, pst_folder_impl* parent, uint32_t nid, uint32_t parent_nid);

  ref<pst_folder> get_or_create_subfolder(std::u16string_view name, std::u16string_view container_class) override;
  ref<pst_folder> get_or_create_subfolder(std::u16string_view name) override;
  ref<pst_folder> get_or_create_subfolder(std::string_view name) override;
  ref<pst_folder> create_subfolder(const char16_t* name, const char16_t* container_class,
                                   const char16_t* comment) override;
  ref<pst_folder> create_subfolder(const char* name, const char* container_class, const char* comment) override;
  ref<pst_folder> get_folder(const char16_t* path) override;
  ref<pst_folder> get_folder(const char* path) override;
  bool has_subfolder(std::u16string_view name) const override;
  bool has_subfolder(std::string_view name) const override;
  std::string display_name_narrow() const override;
  std::u16string display_name() const override;
  bool is_hidden() const override;
  void add_message_row(pst_store_item* item) override;
  void add_message(pst_store_item* item) override;
  uint64_t folder_nid() const override { return this->nid_; }
  pst_item_statistics statistics() const override { return kind_counts_; }
  ref<pst_folder> create_split_folder(std::u16string_view container_class) override;
  ref<pst_folder> create_split_folder(std::string_view container_class) override;
  void add_split_part(pst_folder* part) override;

  // The folder commit: properties and node, then the three tables; the
  // subfolders are committed as the hierarchy table is built.
  void commit() override;

  // The part that takes the next message: this folder, a part below the
  // limit, or a new part folder.
  pst_folder_impl* get_free_folder();
  void create_hierarchy_table();
  void create_content_table();
  void create_associated_content_table();

  uint32_t parent_nid() const { return parent_nid_; }
  pst_folder_impl* parent() const { return parent_; }
  const std::vector<ref<pst_folder_impl>>& subfolders() const { return subfolders_; }
  // The subfolder of that name in the folder's own width, or null.
  pst_folder_impl* find_subfolder(const string_type& name) const;
  const std::vector<ref<pst_folder_impl>>& parts() const { return parts_; }
  string_type name() const;
  string_type container_class() const;
  uint32_t content_count() const { return content_count_; }
  uint32_t unread_count() const { return unread_count_; }
  bool saved() const { return saved_; }
  const pst_tc<bidtype>* contents_table() const { return contents_.get(); }

  // The folder of the same path in the next store of the series.
  pst_folder_impl* mirror() const { return mirror_.get(); }
  void set_mirror(pst_folder_impl* mirror) { mirror_ = ref<pst_folder_impl>(mirror); }

  const std::vector<pst_statistics_record>& statistics_records() const { return statistics_; }
  void add_statistics_record(const pst_statistics_record& record) { statistics_.push_back(record); }

  static constexpr uint32_t hierarchy_table_nid(uint32_t nid) { return (nid & ~0x1Fu) | 0x0D; }
  static constexpr uint32_t contents_table_nid(uint32_t nid) { return (nid & ~0x1Fu) | 0x0E; }
  static constexpr uint32_t associated_contents_table_nid(uint32_t nid) { return (nid & ~0x1Fu) | 0x0F; }

 protected:
  ~pst_folder_impl() override;

 private:
  template <typename CharT>
  ref<pst_folder> create_subfolder_of(const CharT* name, const CharT* container_class, const CharT* comment);
  template <typename CharT>
  ref<pst_folder> get_or_create_of(std::basic_string_view<CharT> name, std::basic_string_view<CharT> container_class);
  // The contents row, the kind count and the counters of one filed item.
  void file_row(pst_store_item* item, uint64_t message_flags);
  pst_tc<bidtype>& contents();
  // A table node that shares a template table's blocks.
  void share_template(uint32_t table_nid, uint32_t template_nid);
  void merge_statistics(const pst_folder_impl& sub);

  store_type* store_;
  pst_folder_impl* parent_;
  uint32_t parent_nid_;
  std::vector<ref<pst_folder_impl>> subfolders_;
  // The subfolders by name: a folder's name is set when it is created and
  // never changes, and thousands of subfolders must not each be compared.
  std::unordered_map<string_type, pst_folder_impl*> subfolders_by_name_;
  std::vector<ref<pst_folder_impl>> parts_;
  std::unique_ptr<pst_tc<bidtype>> contents_;
  uint32_t content_count_ = 0;
  uint32_t unread_count_ = 0;
  uint32_t part_limit_;
  std::vector<pst_statistics_record> statistics_;
  pst_item_statistics kind_counts_;
  ref<pst_folder_impl> mirror_;
  bool saved_ = false;
};

extern template class pst_folder_impl<uint32_t, char>;
extern template class pst_folder_impl<uint64_t, char16_t>;

}  // namespace vendrel
