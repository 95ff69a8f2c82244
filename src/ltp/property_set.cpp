#include "ltp/property_set.h"

#include <cstring>

#include "common/errors.h"
#include "common/logger.h"
#include "ltp/bth.h"
#include "ltp/heap.h"
#include "ltp/heap_reader.h"
#include "ltp/property_context.h"
#include "platform/platform.h"

namespace vendrel {

template <typename chartype>
pst_property_value to_file_string_type(const pst_property_value& value) {
  if (value.is_stream()) return value;
  if constexpr (std::is_same_v<chartype, char>) {
    // The 8-bit strings of an ANSI file are in the file's code page: UTF-16
    // values and the host's 8-bit strings are converted into it.
    if (value.type() == prop_type::unicode) {
      if (value.size() % 2) throw qm_invalid_arg("UTF-16 string value of odd byte size");
      std::string text = platform::wide_to_multibyte(platform::file_code_page(), value.as_unicode());
      return pst_property_value::of_string(make_tag(value.id(), prop_type::string8), text);
    }
    if (value.type() != prop_type::string8) return value;
    std::string text = host_to_file_string(value.as_string8());
    return pst_property_value::of_string(value.tag(), text);
  } else {
    if (value.type() != prop_type::string8) return value;
    std::u16string text = platform::multibyte_to_wide(platform::host_code_page(), value.as_string8());
    return pst_property_value::of_string(make_tag(value.id(), prop_type::unicode), text);
  }
}

std::string host_to_file_string(std::string_view host) {
  const uint32_t host_page = platform::host_code_page();
  const uint32_t file_page = platform::file_code_page();
  if (host_page == file_page) return std::string(host);
  return platform::wide_to_multibyte(file_page, platform::multibyte_to_wide(host_page, host));
}

std::u16string file_string_to_wide(std::string_view stored) {
  return platform::multibyte_to_wide(platform::file_code_page(), stored);
}

template pst_property_value to_file_string_type<char>(const pst_property_value&);
template pst_property_value to_file_string_type<char16_t>(const pst_property_value&);

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_property_set_impl<bidtype, chartype>::pst_property_set_impl(pst_node_writer<bidtype>* writer, uint32_t nid)
    : writer_(writer), nid_(nid) {}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_property_set_impl<bidtype, chartype>::pst_property_set_impl(pst_ndb<bidtype>* ndb, uint32_t nid)
    : owned_writer_(ndb ? std::make_unique<pst_ndb_link<bidtype>>(*ndb) : nullptr),
      writer_(owned_writer_.get()),
      nid_(nid) {}

template <ndb_bidtype bidtype, ltp_chartype chartype>
const pst_property_value* pst_property_set_impl<bidtype, chartype>::get_property(uint16_t id) const {
  auto it = properties_.find(id);
  return it == properties_.end() ? nullptr : &it->second;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_set_impl<bidtype, chartype>::set_property(const pst_property_value& value) {
  pst_property_value stored = to_file_string_type<chartype>(value);
  properties_.insert_or_assign(stored.id(), std::move(stored));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_property_set_impl<bidtype, chartype>::remove_property(uint16_t id) {
  return properties_.erase(id) > 0;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_set_impl<bidtype, chartype>::copy_to(pst_property_set*) {
  throw qm_invalid_call("pst_property_set_impl<bidtype,chartype>::copy_to unsupported");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_set_impl<bidtype, chartype>::commit() {
  if (!writer_) throw qm_invalid_call("property set without a node database");
  const bidtype previous_data = data_bid_;
  pc_commit_result<bidtype> result = commit_property_context<bidtype>(*writer_, properties_, extra_subnodes_, sub_bid_);
  if (previous_data) writer_->release_block(previous_data);
  data_bid_ = result.data_bid;
  sub_bid_ = result.sub_bid;
  subnodes_ = std::move(result.subnodes);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_set_impl<bidtype, chartype>::node_bids(uint64_t* data_bid, uint64_t* sub_bid) const {
  if (data_bid) *data_bid = data_bid_;
  if (sub_bid) *sub_bid = sub_bid_;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_property_set_impl<bidtype, chartype>::same_store(const pst_property_set* other) const {
  if (!other) return false;
  auto* impl = dynamic_cast<const pst_property_set_impl*>(other);
  if (!impl || !impl->writer_ || !writer_) return false;
  return impl->writer_->store_identity() == writer_->store_identity();
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_set_impl<bidtype, chartype>::add_extra_subnode(uint32_t nid, bidtype data_bid, bidtype sub_bid) {
  for (auto& s : extra_subnodes_) {
    if (s.nid == nid) {
      s = {nid, data_bid, sub_bid};
      return;
    }
  }
  extra_subnodes_.push_back({nid, data_bid, sub_bid});
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_property_set_impl<bidtype, chartype>::load(const std::vector<std::vector<uint8_t>>& heap_blocks) {
  if (heap_blocks.empty()) return false;
  std::vector<std::unique_ptr<pst_entries_block<bidtype>>> blocks;
  try {
    for (const auto& b : heap_blocks) blocks.push_back(std::make_unique<pst_entries_block<bidtype>>(b.data(), b.size()));
  } catch (const qm_error&) {
    return false;
  }
  const uint8_t* h = blocks[0]->buffer();
  if (hnhdr_layout::bSig::get(h) != hn_signature || hnhdr_layout::bClientSig::get(h) != hn_client_pc ||
      hnhdr_layout::hidUserRoot::get(h) != pc_user_root || blocks[0]->entry_count() < 1)
    return false;
  auto header_bytes = blocks[0]->entry(0);
  if (header_bytes.size() < bth_header_layout::size) return false;
  bth_header bth = bth_header::get(header_bytes.data());
  if (bth.type != bth_signature || bth.key_size != pc_bth_key_size || bth.entry_size != pc_bth_entry_size ||
      bth.index_levels != 0)
    return false;

  // Bytes of a HID, or nothing when it does not point into the heap.
  auto allocation = [&](uint32_t hid) -> std::optional<std::span<const uint8_t>> {
    const size_t b = hid_block(hid);
    const size_t i = hid_index(hid);
    if (b >= blocks.size() || i == 0 || i > blocks[b]->entry_count()) return std::nullopt;
    return static_cast<const pst_entries_block<bidtype>&>(*blocks[b]).entry(i - 1);
  };
  if (bth.root == 0) return true;
  auto records = allocation(bth.root);
  if (!records) return false;
  const size_t n = records->size() / pc_record_layout::size;
  for (size_t r = 0; r < n; ++r) {
    const uint8_t* rec = records->data() + r * pc_record_layout::size;
    const uint16_t id = pc_record_layout::wPropId::get(rec);
    const uint16_t type = pc_record_layout::wPropType::get(rec);
    const uint32_t hnid = pc_record_layout::dwValueHnid::get(rec);
    const uint32_t tag = make_tag(id, type);
    switch (type) {
      case prop_type::i2: {
        uint8_t v[2];
        put_le<uint16_t>(v, static_cast<uint16_t>(hnid));
        properties_.insert_or_assign(id, pst_property_value(tag, v, 2));
        continue;
      }
      case prop_type::i4:
      case prop_type::r4:
      case prop_type::error: {  // written inline, like the other 4-byte types
        uint8_t v[4];
        put_le<uint32_t>(v, hnid);
        properties_.insert_or_assign(id, pst_property_value(tag, v, 4));
        continue;
      }
      case prop_type::boolean: {
        uint8_t v = hnid ? 1 : 0;
        properties_.insert_or_assign(id, pst_property_value(tag, &v, 1));
        continue;
      }
      case prop_type::unspecified:
      case prop_type::i8:
        logger().write_formatted("[QMR] unknown property type (tag=%u, type=%u)", id, type);
        continue;
      default:
        break;
    }
    if (hnid == 0) {
      properties_.insert_or_assign(id, pst_property_value(tag, nullptr, 0));
      continue;
    }
    if (!is_hid(hnid)) continue;  // a subnode value
    auto bytes = allocation(hnid);
    if (!bytes) {
      const size_t b = hid_block(hnid);
      logger().write_formatted("[QMR] can't read data for property (ID=%04X, type=%04X), hid = %08X, entries_qnt = %d",
                               id, type, hnid, b < blocks.size() ? static_cast<int>(blocks[b]->entry_count()) : 0);
      continue;
    }
    properties_.insert_or_assign(id, pst_property_value(tag, bytes->data(), bytes->size()));
  }
  return true;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_property_set_impl<bidtype, chartype>::load_node(pst_ndb<bidtype>& ndb, node_id nid) {
  std::vector<std::vector<uint8_t>> blocks;
  try {
    auto entry = ndb.lookup_node(nid);
    if (!entry) return false;
    blocks = read_heap_blocks(ndb, entry->bid_data);
  } catch (const qm_error&) {
    return false;
  }
  return load(blocks);
}

template class pst_property_set_impl<uint32_t, char>;
template class pst_property_set_impl<uint64_t, char16_t>;

}  // namespace vendrel
