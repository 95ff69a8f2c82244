#include "store/folder.h"

#include <cstdio>

#include "common/errors.h"
#include "common/logger.h"
#include "ltp/table_templates.h"
#include "platform/platform.h"
#include "store/split_folder_name.h"
#include "store/store.h"
#include "store/store_limits.h"
#include "store/text_forms.h"

namespace vendrel {

namespace {

constexpr uint16_t id_display_name = 0x3001;
constexpr uint16_t id_comment = 0x3004;
constexpr uint16_t id_container_class = 0x3613;
constexpr uint16_t id_hidden = 0x10F4;
constexpr uint16_t id_message_flags = 0x0E07;
constexpr uint32_t tag_replica = 0x0E340102;
constexpr uint32_t tag_instance_key = 0x0E300102;
constexpr uint32_t tag_change_key = 0x30130102;
constexpr uint32_t tag_change_number = 0x0E330014;
constexpr uint64_t change_number_value = 156;
constexpr uint32_t tag_content_count = 0x36020003;
constexpr uint32_t tag_content_unread = 0x36030003;
constexpr uint32_t tag_subfolders = 0x360A000B;
constexpr uint32_t message_flag_read = 0x1;

template <typename CharT>
std::basic_string<CharT> widened(const char* text) {
  return text_form<CharT>(std::string_view(text));
}

template <typename CharT>
const char* version_text() {
  return std::is_same_v<CharT, char> ? "ANSI version" : "Unicode version";
}

template <typename CharT>
std::string log_of(const CharT* text) {
  if (!text) return "(null)";
  std::optional<size_t> n = bounded_length(text);
  if (!n) return "(unreadable)";
  return log_text(std::basic_string_view<CharT>(text, *n));
}

}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_folder_impl<bidtype, chartype>::pst_folder_impl(store_type* store, pst_folder_impl* parent)
    : pst_property_set_impl<bidtype, chartype>(store->writer(),
                                               store->ndb().allocate_nid(nid_type::folder).value()),
      store_(store),
      parent_(parent),
      parent_nid_(parent ? parent->nid() : 0),
      part_limit_(part_message_limit(sizeof(bidtype) == 8)) {}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_folder_impl<bidtype, chartype>::pst_folder_impl(store_type* store, pst_folder_impl* parent, uint32_t nid,
                                                    uint32_t parent_nid)
    : pst_property_set_impl<bidtype, chartype>(store->writer(), nid),
      store_(store),
      parent_(parent),
      parent_nid_(parent_nid),
      part_limit_(part_message_limit(sizeof(bidtype) == 8)) {}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_folder_impl<bidtype, chartype>::~pst_folder_impl() {
  if (!saved_) logger().write_line("[PST]  pst_folder_impl<bidtype,chartype>::~pst_folder_impl called on unsaved folder");
}

// ------------------------------------------------------------------ names

template <ndb_bidtype bidtype, ltp_chartype chartype>
typename pst_folder_impl<bidtype, chartype>::string_type pst_folder_impl<bidtype, chartype>::name() const {
  return string_property<chartype>(*this, id_display_name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
typename pst_folder_impl<bidtype, chartype>::string_type pst_folder_impl<bidtype, chartype>::container_class() const {
  return string_property<chartype>(*this, id_container_class);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::string pst_folder_impl<bidtype, chartype>::display_name_narrow() const {
  return string_property<char>(*this, id_display_name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::u16string pst_folder_impl<bidtype, chartype>::display_name() const {
  return string_property<char16_t>(*this, id_display_name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_folder_impl<bidtype, chartype>::is_hidden() const {
  const pst_property_value* v = this->get_property(id_hidden);
  if (!v || v->size() == 0) return false;
  if (is_inline_type(v->type())) return v->as_u64() != 0;
  const uint8_t* bytes = v->data();
  for (size_t i = 0; bytes && i < v->size(); ++i)
    if (bytes[i]) return true;
  return false;
}

// ------------------------------------------------------------------ subfolders

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_folder_impl<bidtype, chartype>* pst_folder_impl<bidtype, chartype>::find_subfolder(const string_type& name) const {
  auto found = subfolders_by_name_.find(name);
  return found == subfolders_by_name_.end() ? nullptr : found->second;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_folder_impl<bidtype, chartype>::has_subfolder(std::u16string_view name) const {
  return find_subfolder(text_form<chartype>(name)) != nullptr;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_folder_impl<bidtype, chartype>::has_subfolder(std::string_view name) const {
  return find_subfolder(text_form<chartype>(name)) != nullptr;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::create_subfolder_of(const CharT* name, const CharT* container_class,
                                                                        const CharT* comment) {
  try {
    const std::basic_string_view<CharT> folder_name = checked_text(name, "the folder name");
    const std::basic_string_view<CharT> class_text =
        container_class ? checked_text(container_class, "the container class") : std::basic_string_view<CharT>();
    const std::basic_string<CharT> note = widened<CharT>("IPF.Note");
    const std::basic_string_view<CharT> folder_class = container_class ? class_text : std::basic_string_view<CharT>(note);

    if (find_subfolder(text_form<chartype>(folder_name)))
      throw qm_invalid_arg("pst_folder_impl::create_subfolder: the folder '" + log_text(folder_name) +
                           "' exists already");

    auto folder = make_ref<pst_folder_impl>(store_, this);
    folder->set_property(string_value<CharT>(id_display_name, folder_name));
    folder->set_property(string_value<CharT>(id_container_class, folder_class));
    logger().write_formatted("[PST] Just created a folder '%s' [class %s]", log_text(folder_name).c_str(),
                             log_text(folder_class).c_str());
    if (comment) folder->set_property(string_value<CharT>(id_comment, checked_text(comment, "the folder comment")));

    subfolders_.push_back(folder);
    subfolders_by_name_.emplace(folder->name(), folder.get());
    if (mirror_) {
      ref<pst_folder> twin = mirror_->create_subfolder(name, container_class, comment);
      auto* twin_impl = dynamic_cast<pst_folder_impl*>(twin.get());
      if (!twin_impl) throw qm_invalid_call("pst_folder_impl::create_subfolder: the mirror made a folder of another kind");
      folder->set_mirror(twin_impl);
    }
    return ref<pst_folder>(folder.get());
  } catch (...) {
    logger().write_formatted(
        "[PST] pst_folder_impl<bidtype,chartype>::create_subfolder([%s],[%s],[%s]) : exception [%s]",
        log_of(name).c_str(), log_of(container_class).c_str(), log_of(comment).c_str(), version_text<CharT>());
    throw;
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::create_subfolder(const char16_t* name,
                                                                     const char16_t* container_class,
                                                                     const char16_t* comment) {
  return create_subfolder_of<char16_t>(name, container_class, comment);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::create_subfolder(const char* name, const char* container_class,
                                                                     const char* comment) {
  return create_subfolder_of<char>(name, container_class, comment);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
template <typename CharT>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::get_or_create_of(std::basic_string_view<CharT> name,
                                                                     std::basic_string_view<CharT> container_class) {
  if (pst_folder_impl* existing = find_subfolder(text_form<chartype>(name))) return ref<pst_folder>(existing);
  const std::basic_string<CharT> n(name), c(container_class);
  return create_subfolder_of<CharT>(n.c_str(), c.c_str(), nullptr);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::get_or_create_subfolder(std::u16string_view name,
                                                                            std::u16string_view container_class) {
  return get_or_create_of<char16_t>(name, container_class);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::get_or_create_subfolder(std::u16string_view name) {
  return get_or_create_of<char16_t>(name, u"IPF.Note");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::get_or_create_subfolder(std::string_view name) {
  return get_or_create_of<char>(name, "IPF.Note");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::get_folder(const char16_t*) {
  throw qm_invalid_call("pst_folder_impl<bidtype,chartype>::get_folder(const wchar_t* path)");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::get_folder(const char*) {
  throw qm_invalid_call("pst_folder_impl<bidtype,chartype>::get_folder(const char* path)");
}

// ------------------------------------------------------------------ parts

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::create_split_folder(std::string_view container_class) {
  const std::string time = split_time_text(next_split_time(false));
  const int number = next_split_number();
  char tail[64];
  std::snprintf(tail, sizeof tail, "]_%d", number);
  const std::string folder_name = display_name_narrow() + " [Part created " + time + tail;
  logger().write_formatted("Creating split folder '%s'", folder_name.c_str());
  if (!parent_) {
    logger().write_formatted("Folder nid=0x%08x, parent = NULL", this->nid());
    return {};
  }
  const std::string cls(container_class);
  return parent_->create_subfolder(folder_name.c_str(), cls.c_str(), nullptr);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_folder_impl<bidtype, chartype>::create_split_folder(std::u16string_view container_class) {
  try {
    const std::string time = split_time_text(next_split_time(true));
    const std::u16string folder_name = display_name() + u" [Part created " + text_form<char16_t>(std::string_view(time)) + u"]_0";
    if (!parent_) {
      logger().write_formatted("Folder nid=0x%08x, parent = NULL", this->nid());
      return {};
    }
    const std::u16string cls(container_class);
    return parent_->create_subfolder(folder_name.c_str(), cls.c_str(), nullptr);
  } catch (...) {
    logger().write_formatted("[PST] pst_folder_impl<bidtype, wchar_t>::create_split_folder(%8x, %u)", this->nid(),
                             static_cast<unsigned>(container_class.size()));
    throw;
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::add_split_part(pst_folder* part) {
  auto* impl = dynamic_cast<pst_folder_impl*>(part);
  if (!impl) throw qm_invalid_arg("pst_folder_impl::add_split_part: not a folder of this store kind");
  parts_.push_back(ref<pst_folder_impl>(impl));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_folder_impl<bidtype, chartype>* pst_folder_impl<bidtype, chartype>::get_free_folder() {
  try {
    if (content_count_ < part_limit_) return this;
    for (const auto& part : parts_)
      if (part->content_count_ < part_limit_) return part.get();
    logger().write_line("[PST] pst_folder_impl<bidtype, chartype>::get_free_folder: creating a new folder");
    if (!this->get_property(id_container_class))
      throw qm_invalid_call("pst_folder_impl::get_free_folder: the folder has no container class");
    ref<pst_folder> split = create_split_folder(std::basic_string_view<chartype>(container_class()));
    if (!split) throw qm_invalid_call("pst_folder_impl::get_free_folder: a folder without parent cannot be split");
    add_split_part(split.get());
    return parts_.back().get();
  } catch (...) {
    logger().write_line("[PST] pst_folder_impl<bidtype,chartype>::get_free_folder() : exception");
    throw;
  }
}

// ------------------------------------------------------------------ messages

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_tc<bidtype>& pst_folder_impl<bidtype, chartype>::contents() {
  if (!contents_) {
    contents_ = std::make_unique<pst_tc<bidtype>>(this->writer_, contents_table_nid(this->nid()),
                                                  tc_template_columns(tc_template_nid::contents, store_type::unicode));
    // A row is filled once, when its item is filed: rows of a large folder
    // go to the file a block at a time instead of waiting for the commit.
    contents_->write_full_chunks_early();
  }
  return *contents_;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::file_row(pst_store_item* item, uint64_t message_flags) {
  pst_tc<bidtype>& table = contents();
  const uint32_t row = table.add_row(item->item_nid());
  table.fill_row(row, *item, [item](size_t size, uint32_t tag) {
    logger().write_formatted("[PST] pst_folder_impl<bidtype,chartype>::add_message(%p) : set_prop failed [size=%d,tag=%X]",
                             static_cast<const void*>(item), static_cast<int>(size), tag);
  });
  ++kind_counts_[item->item_kind()];
  ++content_count_;
  if (!(message_flags & message_flag_read)) ++unread_count_;
}

namespace {
uint64_t message_flags_of(const pst_property_set& item) {
  const pst_property_value* flags = item.get_property(id_message_flags);
  return flags ? flags->as_u64() : 0;
}
}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::add_message_row(pst_store_item* item) {
  if (!item) throw qm_invalid_arg("pst_folder_impl::add_message_row: no item");
  get_free_folder()->file_row(item, message_flags_of(*item));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::add_message(pst_store_item* item) {
  if (!item) throw qm_invalid_arg("pst_folder_impl::add_message: no item");
  if (!this->same_store(item)) {
    if (mirror_) return mirror_->add_message(item);
    throw qm_invalid_arg("pst_folder_impl::add_message: the item belongs to another store");
  }
  bool cell_failed = false;
  try {
    const uint64_t flags = message_flags_of(*item);
    item->set_property(pst_property_value(tag_replica, store_replica_constant.data(), store_replica_constant.size()));
    uint8_t instance[16];
    platform::create_guid(instance);
    item->set_property(pst_property_value(tag_instance_key, instance, sizeof instance));
    item->set_property(
        pst_property_value(tag_change_key, message_change_key_constant.data(), message_change_key_constant.size()));
    item->set_property(pst_property_value::of_u64(tag_change_number, change_number_value));

    pst_folder_impl* target = get_free_folder();
    item->commit();
    uint64_t data_bid = 0, sub_bid = 0;
    item->node_bids(&data_bid, &sub_bid);
    store_->ndb().add_node(node_id(item->item_nid()), block_id<bidtype>(static_cast<bidtype>(data_bid)),
                           block_id<bidtype>(static_cast<bidtype>(sub_bid)), node_id(target->nid()));
    try {
      target->file_row(item, flags);
    } catch (...) {
      cell_failed = true;
      throw;
    }
  } catch (...) {
    if (!cell_failed)
      logger().write_formatted("[QMR] pst_folder_impl<bidtype,chartype>::add_message(%p) : exception",
                               static_cast<const void*>(item));
    throw;
  }
}

// ------------------------------------------------------------------ commit

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::share_template(uint32_t table_nid, uint32_t template_nid) {
  // Template tables are one heap block, without subnodes.
  const block_id<bidtype> data = store_->share_template_block(template_nid);
  store_->ndb().add_node(node_id(table_nid), data, block_id<bidtype>(), node_id());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::merge_statistics(const pst_folder_impl& sub) {
  for (const auto& [kind, count] : sub.kind_counts_) kind_counts_[kind] += count;
  statistics_.insert(statistics_.end(), sub.statistics_.begin(), sub.statistics_.end());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::create_hierarchy_table() {
  const uint32_t table_nid = hierarchy_table_nid(this->nid());
  try {
    if (subfolders_.empty()) {
      share_template(table_nid, tc_template_nid::hierarchy);
      return;
    }
    pst_tc<bidtype> table(this->writer_, table_nid,
                          tc_template_columns(tc_template_nid::hierarchy, store_type::unicode));
    for (const auto& sub : subfolders_) {
      sub->set_property(pst_property_value(tag_replica, store_replica_constant.data(), store_replica_constant.size()));
      // The subfolder's commit completes its counters and statistics; the
      // row and the merge read them afterwards.
      sub->commit();
      merge_statistics(*sub);
      const uint32_t row = table.add_row(sub->nid());
      table.fill_row(row, *sub, [this](size_t size, uint32_t tag) {
        logger().write_formatted(
            "[PST] pst_folder_impl<bidtype,chartype>::create_hierarchy_table[nid=%X] : set_prop failed "
            "[size=%d,tag=%X]",
            this->nid(), static_cast<int>(size), tag);
      });
    }
    tc_commit_result<bidtype> written = table.commit();
    store_->ndb().add_node(node_id(table_nid), block_id<bidtype>(written.data_bid),
                           block_id<bidtype>(written.sub_bid), node_id());
  } catch (...) {
    logger().write_formatted("[PST] pst_folder_impl<bidtype,chartype>::create_hierarchy_table[nid=%X] : exception",
                             this->nid());
    throw;
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::create_associated_content_table() {
  share_template(associated_contents_table_nid(this->nid()), tc_template_nid::associated_contents);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::create_content_table() {
  const uint32_t table_nid = contents_table_nid(this->nid());
  try {
    if (!contents_ || contents_->row_count() == 0) {
      share_template(table_nid, tc_template_nid::contents);
      return;
    }
    tc_commit_result<bidtype> written = contents_->commit();
    store_->ndb().add_node(node_id(table_nid), block_id<bidtype>(written.data_bid),
                           block_id<bidtype>(written.sub_bid), node_id());
  } catch (...) {
    logger().write_line("[PST] pst_folder_impl<bidtype,chartype>::create_content_table() : exception");
    throw;
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_folder_impl<bidtype, chartype>::commit() {
  auto& log = logger();
  try {
    const string_type folder_name = name();
    const string_type folder_class = container_class();
    const uint32_t rows = contents_ ? static_cast<uint32_t>(contents_->row_count()) : 0;
    log.write_formatted(
        "[PST]    commit folder [%32s] : nid = %8llX, m_nid_parent = %8llX, messages =% 8d, folders =% 3d, "
        "unread =% 8d",
        log_text(folder_name).c_str(), static_cast<unsigned long long>(this->nid()),
        static_cast<unsigned long long>(parent_nid_), static_cast<int>(rows), static_cast<int>(subfolders_.size()),
        static_cast<int>(unread_count_));
    log.write_formatted("[PST]-->>>>%s", log_text(folder_class).c_str());

    if (rows > 0 && (folder_class == widened<chartype>("IPF.Contact") || folder_class == widened<chartype>("IPF.Task") ||
                     folder_class.empty())) {
      char text[512];
      std::snprintf(text, sizeof text,
                    "Results of search and recover for %s inside the corrupted data. Rating of this parameter is "
                    "based on quantity of recovered user types / total quantity of user types.",
                    log_text(folder_name).c_str());
      statistics_.push_back({text, log_text(folder_name), rows, 1});
    }

    // The name again in the file's string type, so that every folder has one.
    this->set_property(string_value<chartype>(id_display_name, folder_name));
    this->set_property(pst_property_value::of_u32(tag_content_count, rows));
    this->set_property(pst_property_value::of_u32(tag_content_unread, unread_count_));
    this->set_property(pst_property_value::of_bool(tag_subfolders, !subfolders_.empty()));

    pst_property_set_impl<bidtype, chartype>::commit();
    store_->ndb().add_node(node_id(this->nid()), block_id<bidtype>(this->data_bid_), block_id<bidtype>(this->sub_bid_),
                           node_id(parent_nid_));

    create_hierarchy_table();
    create_associated_content_table();
    create_content_table();
    saved_ = true;
  } catch (...) {
    log.write_formatted("[PST] pst_folder_impl<bidtype,chartype>::commit : exception [nid=%8llX]",
                        static_cast<unsigned long long>(this->nid()));
    throw;
  }
}

template class pst_folder_impl<uint32_t, char>;
template class pst_folder_impl<uint64_t, char16_t>;

}  // namespace vendrel
