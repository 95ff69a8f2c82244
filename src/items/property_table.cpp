#include "items/property_table.h"

#include "common/errors.h"
#include "common/logger.h"
#include "items/message_tags.h"
#include "store/store.h"

namespace vendrel {

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_property_table_impl<bidtype, chartype>::pst_property_table_impl(store_type* store, uint32_t nid,
                                                                    const std::vector<uint32_t>& columns,
                                                                    uint32_t row_id_kind)
    : store_(store), nid_(nid), row_id_kind_(row_id_kind) {
  if (!store_) throw qm_invalid_arg("pst_property_table_impl: no store");
  table_ = std::make_unique<pst_tc<bidtype>>(store_->writer(), nid_, columns);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_property_table_impl<bidtype, chartype>::~pst_property_table_impl() = default;

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_tc<bidtype>& pst_property_table_impl<bidtype, chartype>::open_table() {
  if (committed_ || !table_) throw qm_invalid_call("pst_property_table_impl: the table has been committed");
  return *table_;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::select_row(uint32_t index) {
  if (index >= rows_) throw qm_invalid_arg("pst_property_table_impl::select_row: no row " + std::to_string(index));
  current_ = index;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::add_row() {
  pst_tc<bidtype>& table = open_table();
  const uint32_t id =
      row_id_kind_ == row_id_sequence ? rows_ + 1 : store_->ndb().allocate_nid(row_id_kind_).value();
  current_ = table.add_row(id);
  rows_ = static_cast<uint32_t>(table.row_count());
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint32_t pst_property_table_impl<bidtype, chartype>::row_count() const {
  return rows_;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint32_t pst_property_table_impl<bidtype, chartype>::current_row_id() const {
  if (!table_ || current_ >= rows_) throw qm_invalid_call("pst_property_table_impl: no current row");
  return static_cast<uint32_t>(table_->get_cell(current_, tc_tag_row_id));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
const pst_property_value* pst_property_table_impl<bidtype, chartype>::get_property(uint16_t) const {
  throw qm_invalid_call("pst_property_table_impl::get_property is not supported");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::set_property(const pst_property_value& value) {
  add_property_impl(value);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::add_property_impl(const pst_property_value& value) {
  try {
    if (rows_ == 0) throw qm_invalid_call("pst_property_table_impl: a cell needs a row");
    // Strings of the other width become the file's string type first.
    const pst_property_value cell = to_file_string_type<chartype>(value);
    const uint16_t type = cell.type();
    if (!(type & prop_type::multi)) tc_cell_width(type);  // an unknown type is qm_invalid_arg
    open_table().set_cell_value(current_, cell.tag(), cell);
  } catch (...) {
    logger().write_formatted("[PST] pst_property_table_impl<bidtype,chartype>::add_property_impl([tag=%X,size=%d]) : exception",
                             value.tag(), static_cast<int>(value.size()));
    throw;
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_property_table_impl<bidtype, chartype>::remove_property(uint16_t) {
  throw qm_invalid_call("pst_property_table_impl::remove_property is not supported");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::copy_to(pst_property_set*) {
  throw qm_invalid_call("pst_property_table_impl::copy_to is not supported");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint8_t pst_property_table_impl<bidtype, chartype>::flag() const {
  throw qm_invalid_call("pst_property_table_impl::flag is not supported");
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::commit() {
  if (committed_ || rows_ == 0) return;
  tc_commit_result<bidtype> written = table_->commit();
  data_bid_ = written.data_bid;
  sub_bid_ = written.sub_bid;
  if (!table_->multi_block()) {
    heap_size_ = static_cast<uint32_t>(table_->block0().used_size());
  } else {
    const std::vector<size_t>& sizes = table_->block_sizes();
    heap_size_ = static_cast<uint32_t>((sizes.size() - 1) * msg::heap_block_bytes + sizes.back());
  }
  heap_size_ = (heap_size_ + 1) & ~1u;
  committed_ = true;
  table_.reset();  // the rows are in the file now
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_property_table_impl<bidtype, chartype>::node_bids(uint64_t* data_bid, uint64_t* sub_bid) const {
  if (data_bid) *data_bid = data_bid_;
  if (sub_bid) *sub_bid = sub_bid_;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_property_table_impl<bidtype, chartype>::same_store(const pst_property_set* other) const {
  if (!other) return false;
  if (auto* table = dynamic_cast<const pst_property_table_impl*>(other)) return table->store_ == store_;
  auto* set = dynamic_cast<const pst_property_set_impl<bidtype, chartype>*>(other);
  return set && set->writer() && set->writer()->store_identity() == store_->writer()->store_identity();
}

template class pst_property_table_impl<uint32_t, char>;
template class pst_property_table_impl<uint64_t, char16_t>;

}  // namespace vendrel
