#include "store/store.h"

#include <cstdio>

#include "common/errors.h"
#include "common/logger.h"
#include "ltp/table_context.h"
#include "ltp/table_templates.h"
#include "platform/platform.h"
#include "store/series_name.h"
#include "store/store_limits.h"
#include "store/text_forms.h"

namespace vendrel {

const std::array<uint8_t, 24> store_replica_constant = {0x01, 0x00, 0x00, 0x00, 0x3E, 0xC2, 0x4E, 0x2B,
                                                        0x6B, 0x70, 0x6F, 0x49, 0x92, 0xE6, 0x89, 0x37,
                                                        0xC1, 0x59, 0x46, 0x97, 0x01, 0x00, 0x00, 0x00};
const std::array<uint8_t, 16> message_change_key_constant = {0xB8, 0x6E, 0x6A, 0x28, 0xCA, 0x5F, 0x08, 0x35,
                                                             0x9B, 0x21, 0x39, 0x4E, 0x5C, 0xEA, 0x37, 0xA5};

namespace {

// Message store properties.
constexpr uint32_t tag_store_flags = 0x67FF0003;
constexpr uint16_t id_display_name = 0x3001;
constexpr uint16_t id_comment = 0x3004;
constexpr uint32_t tag_store_support = 0x661E000B;
constexpr uint32_t tag_replica = 0x0E340102;
constexpr uint32_t tag_record_key = 0x0FF90102;
constexpr uint32_t tag_ipm_subtree_entry_id = 0x35E00102;
constexpr uint32_t tag_wastebasket_entry_id = 0x35E30102;
constexpr uint32_t tag_finder_entry_id = 0x35E70102;
constexpr uint32_t tag_valid_folder_mask = 0x35DF0003;
// Folder properties set on the fixed folders.
constexpr uint32_t tag_content_count = 0x36020003;
constexpr uint32_t tag_content_unread = 0x36030003;
constexpr uint32_t tag_subfolders_long = 0x360A0003;
constexpr uint16_t id_container_class = 0x3613;
// Receive folder table cells.
constexpr uint32_t tag_receive_folder_nid = 0x66050003;
constexpr uint16_t id_message_class = 0x001A;

constexpr uint32_t empty_node_nids[] = {0x1E1, 0x201, 0x281, 0x2A1, 0x321, 0xEC1};

template <typename chartype>
std::basic_string<chartype> literal(const char* text) {
  return text_form<chartype>(std::string_view(text));
}

}  // namespace

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_store_impl<bidtype, chartype>::pst_store_impl(std::u16string_view path, int mode,
                                                  const external_file_callbacks* external)
    : pst_property_set_impl<bidtype, chartype>(static_cast<pst_node_writer<bidtype>*>(nullptr), store_nid::message_store), wide_path_(path) {
  create(mode, external);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_store_impl<bidtype, chartype>::pst_store_impl(std::string_view path, int mode,
                                                  const external_file_callbacks* external)
    : pst_property_set_impl<bidtype, chartype>(static_cast<pst_node_writer<bidtype>*>(nullptr), store_nid::message_store),
      wide_path_(platform::multibyte_to_wide(0, path)),
      narrow_path_(path),
      narrow_(true) {
  create(mode, external);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_store_impl<bidtype, chartype>::~pst_store_impl() = default;

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::create(int mode, const external_file_callbacks* external) {
  if (mode == store_mode::open_existing)
    throw qm_invalid_call("pst_store_impl: adding to an existing file is not supported");
  if (mode != store_mode::create && mode != store_mode::create_series) throw qm_invalid_arg("invalid file mode");
  external_ = external;

  // 1. The file and the named property map with its default names.
  if (narrow_)
    ndb_ = std::make_unique<pst_ndb<bidtype>>(std::string_view(narrow_path_), ndb_mode::create, external);
  else
    ndb_ = std::make_unique<pst_ndb<bidtype>>(std::u16string_view(wide_path_), ndb_mode::create, external);
  link_ = std::make_unique<pst_ndb_link<bidtype>>(*ndb_);
  this->writer_ = link_.get();
  name_map_ = ref<map_type>(new map_type(link_.get(), true));

  write_template_tables();        // 2
  set_store_properties();         // 3
  create_standard_folders();      // 4 to 8
  write_empty_nodes();            // 9
  write_receive_folder_table();   // 10
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::write_template_tables() {
  for (uint32_t nid : tc_template_nids()) {
    const block_id<bidtype> bid = write_template_block(nid);
    ndb_->add_node(node_id(nid), bid, block_id<bidtype>(), node_id());
    if (nid == tc_template_nid::hierarchy || nid == tc_template_nid::contents ||
        nid == tc_template_nid::associated_contents)
      templates_.push_back({nid, bid.value(), 0});
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
block_id<bidtype> pst_store_impl<bidtype, chartype>::write_template_block(uint32_t nid) {
  std::vector<uint8_t> image = tc_template_image<bidtype>(tc_template_columns(nid, unicode));
  return ndb_->write_block(block_kind::tc_heap, image.data(), image.size());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
const pst_template_table<bidtype>& pst_store_impl<bidtype, chartype>::template_table(uint32_t nid) const {
  for (const auto& t : templates_)
    if (t.nid == nid) return t;
  throw qm_invalid_call("pst_store_impl: no template table " + std::to_string(nid));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
block_id<bidtype> pst_store_impl<bidtype, chartype>::share_template_block(uint32_t nid) {
  // The store's own entry, which a fresh copy replaces.
  auto& t = const_cast<pst_template_table<bidtype>&>(template_table(nid));
  const block_id<bidtype> bid(t.data_bid);
  std::optional<bbt_entry<bidtype>> entry = ndb_->lookup_block(bid);
  if (entry && entry->cref < 0xFFFF) {
    ndb_->add_block_reference(bid);
    return bid;
  }
  // Written with the one reference its first sharer places.
  const block_id<bidtype> copy = write_template_block(nid);
  t.data_bid = copy.value();
  return copy;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::set_store_properties() {
  this->set_property(pst_property_value::of_u32(tag_store_flags, 0));
  this->set_property(string_value<chartype>(id_display_name, literal<chartype>("Personal Folders")));
  this->set_property(string_value<chartype>(id_comment, std::basic_string<chartype>()));
  this->set_property(pst_property_value::of_bool(tag_store_support, true));
  this->set_property(pst_property_value(tag_replica, store_replica_constant.data(), store_replica_constant.size()));
  platform::create_guid(record_key_.data());
  this->set_property(pst_property_value(tag_record_key, record_key_.data(), record_key_.size()));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::vector<uint8_t> pst_store_impl<bidtype, chartype>::entry_id(uint32_t nid) const {
  std::vector<uint8_t> id(24, 0);
  std::copy(record_key_.begin(), record_key_.end(), id.begin() + 4);
  put_le<uint32_t>(id.data() + 20, nid);
  return id;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<typename pst_store_impl<bidtype, chartype>::folder_type> pst_store_impl<bidtype, chartype>::create_fixed_folder(
    folder_type* parent, const char* name, uint32_t subfolders_value, const char* failure) {
  try {
    std::basic_string<chartype> text = literal<chartype>(name);
    std::basic_string<chartype> note = literal<chartype>("IPF.Note");
    ref<pst_folder> made = parent->create_subfolder(text.c_str(), note.c_str(), nullptr);
    ref<folder_type> folder(dynamic_cast<folder_type*>(made.get()));
    if (!folder) throw qm_invalid_call("pst_store_impl: a fixed folder of another kind");
    folder->set_property(pst_property_value::of_u32(tag_content_count, 0));
    folder->set_property(pst_property_value::of_u32(tag_content_unread, 0));
    folder->set_property(pst_property_value::of_u32(tag_subfolders_long, subfolders_value));
    folder->set_property(string_value<chartype>(id_container_class, std::basic_string<chartype>()));
    return folder;
  } catch (const qm_error&) {
    logger().write_line(failure);
    return {};
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::create_standard_folders() {
  root_ = make_ref<folder_type>(this, nullptr, store_nid::root_folder, store_nid::root_folder);
  uint32_t mask = 0;
  ipm_subtree_ = create_fixed_folder(root_.get(), "Start of IPM tree", 1, "[PST] start of ipm tree not created");
  if (ipm_subtree_) {
    this->set_property(pst_property_value::of_bytes(tag_ipm_subtree_entry_id, entry_id(ipm_subtree_->nid())));
    mask |= 0x1;
    deleted_items_ = create_fixed_folder(ipm_subtree_.get(), "Deleted Items", 0, "[PST] basket not  created");
    if (deleted_items_) {
      this->set_property(pst_property_value::of_bytes(tag_wastebasket_entry_id, entry_id(deleted_items_->nid())));
      mask |= 0x8;
    }
  }
  search_root_ = create_fixed_folder(root_.get(), "Search start", 0, "[PST] start of search not created");
  if (search_root_) {
    this->set_property(pst_property_value::of_bytes(tag_finder_entry_id, entry_id(search_root_->nid())));
    mask |= 0x80;
  }
  this->set_property(pst_property_value::of_u32(tag_valid_folder_mask, mask));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::write_empty_nodes() {
  for (uint32_t nid : empty_node_nids) ndb_->add_node(node_id(nid), {}, {}, node_id());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::write_receive_folder_table() {
  pst_tc<bidtype> table(link_.get(), store_nid::receive_folder_table,
                        tc_template_columns(store_nid::receive_folder_table, unicode));
  uint32_t row = table.add_row(store_nid::receive_folder_table);
  table.set_cell(row, tag_receive_folder_nid, store_nid::root_folder);
  table.set_cell(row, make_tag(id_message_class, file_string_type<chartype>), 0);
  tc_commit_result<bidtype> written = table.commit();
  ndb_->add_node(node_id(store_nid::receive_folder_table), block_id<bidtype>(written.data_bid),
                 block_id<bidtype>(written.sub_bid), node_id());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_folder> pst_store_impl<bidtype, chartype>::top_folder() {
  return ref<pst_folder>(ipm_subtree_ ? ipm_subtree_.get() : root_.get());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::string pst_store_impl<bidtype, chartype>::display_name_narrow() const {
  return string_property<char>(*this, id_display_name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::u16string pst_store_impl<bidtype, chartype>::display_name() const {
  return string_property<char16_t>(*this, id_display_name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::set_display_name(const char16_t* name) {
  this->set_property(string_value<char16_t>(id_display_name, checked_text(name, "the store's display name")));
  if (duplicate_) duplicate_->set_display_name(name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::set_display_name(const char* name) {
  this->set_property(string_value<char>(id_display_name, checked_text(name, "the store's display name")));
  if (duplicate_) duplicate_->set_display_name(name);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint32_t pst_store_impl<bidtype, chartype>::named_property_id(const pst_named_property& property) {
  uint32_t id = name_map_->lookup_or_add(property);
  if (duplicate_) id = duplicate_->named_property_id(property);
  return id;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint32_t pst_store_impl<bidtype, chartype>::new_message_nid(const pst_store_item* item) {
  if (!item || item->is_saved()) throw qm_invalid_arg("pst_store_impl::new_message_nid: the item is already saved");
  if (duplicate_) return duplicate_->new_message_nid(item);
  return ndb_->allocate_nid(nid_type::message).value();
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint64_t pst_store_impl<bidtype, chartype>::file_end() const {
  return static_cast<uint64_t>(ndb_->header().file_eof());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_store_item> pst_store_impl<bidtype, chartype>::create_item(pst_item_kind kind) {
  // A store that holds no item yet keeps the first one even past the limit:
  // a further file would start at the same size and pass it on for ever.
  if (!duplicate_ && items_created_ > 0 && file_end() >= file_size_limit(unicode)) create_duplicate();
  if (duplicate_) return duplicate_->create_item(kind);
  if (!item_maker_) throw qm_invalid_call("pst_store_impl: no item classes are installed");
  ref<pst_store_item> item = item_maker_(*this, kind);
  ++items_created_;
  return item;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::create_duplicate() {
  if (narrow_) {
    std::string name = next_series_name(std::string_view(narrow_path_));
    logger().write_formatted("[PST] create duplicate storage %s", name.c_str());
    duplicate_ = make_ref<pst_store_impl>(std::string_view(name), store_mode::create_series, external_);
  } else {
    std::u16string name = next_series_name(std::u16string_view(wide_path_));
    logger().write_formatted("[PST] create duplicate storage %s", to_utf8(name).c_str());
    duplicate_ = make_ref<pst_store_impl>(std::u16string_view(name), store_mode::create_series, external_);
  }
  name_map_->copy_into(*duplicate_->name_map_);
  // The series shows one name: the duplicate takes this store's display name.
  if (const pst_property_value* name = this->get_property(id_display_name)) duplicate_->set_property(*name);
  copy_folder_tree(*root_, *duplicate_->root_);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::copy_folder_tree(folder_type& from, folder_type& to) {
  from.set_mirror(&to);
  for (const ref<folder_type>& sub : from.subfolders()) {
    const std::basic_string<chartype> name = sub->name();
    folder_type* counterpart = to.find_subfolder(name);
    if (!counterpart) {
      const std::basic_string<chartype> container_class = sub->container_class();
      ref<pst_folder> made = to.create_subfolder(name.c_str(), container_class.c_str(), nullptr);
      counterpart = dynamic_cast<folder_type*>(made.get());
      if (!counterpart) throw qm_invalid_call("pst_store_impl: a mirrored folder of another kind");
    }
    copy_folder_tree(*sub, *counterpart);
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::copy_to(pst_property_set*) {
  throw qm_invalid_call("pst_store_impl<bidtype,chartype>::copy_to unsupported");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_store_impl<bidtype, chartype>::commit() {
  auto& log = logger();
  try {
    if (committed_) throw qm_invalid_call("pst_store_impl: the store has been committed");
    log.write_line("[PST]");
    log.write_formatted("[PST] commit storage : name = [%s], file = [%s]", log_text(display_name()).c_str(),
                        log_text(wide_path_).c_str());
    for (const auto& record : statistics_) root_->add_statistics_record(record);

    log.write_formatted("[PST] commit root folder [%s]", log_text(root_->name()).c_str());
    root_->commit();

    log.write_line("[PST] commit properties");
    pst_property_set_impl<bidtype, chartype>::commit();
    ndb_->add_node(node_id(store_nid::message_store), block_id<bidtype>(this->data_bid_),
                   block_id<bidtype>(this->sub_bid_), node_id());

    log.write_line("[PST] commit name to id map");
    name_map_->commit();
    ndb_->add_node(node_id(store_nid::name_to_id_map), block_id<bidtype>(name_map_->data_bid()),
                   block_id<bidtype>(name_map_->sub_bid()), node_id());

    ndb_->commit();
    committed_ = true;
    // Success only once the file is on stable storage and closed: a file
    // system may report a failed write-back at the flush or the close.
    ndb_->close();
    log.write_formatted("[PST] storage size = %lld", static_cast<long long>(file_end()));
    log.write_line("[PST]");

    if (duplicate_) duplicate_->commit();
  } catch (...) {
    log.write_line("[PST] pst_store_impl<bidtype,chartype>::commit() : exception");
    throw;
  }
}

template class pst_store_impl<uint32_t, char>;
template class pst_store_impl<uint64_t, char16_t>;

ref<pst_store> create_unicode_store(std::u16string_view path) {
  return make_ref<pst_store_impl<uint64_t, char16_t>>(path, store_mode::create);
}

ref<pst_store> create_ansi_store(std::string_view path) {
  return make_ref<pst_store_impl<uint32_t, char>>(path, store_mode::create);
}

}  // namespace vendrel
