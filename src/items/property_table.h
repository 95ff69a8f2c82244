// A table of property rows written as a table context: a message's recipient
// table. Setting a property on the table adds a cell to its current row;
// commit writes the table context. Row IDs are sequence numbers (row-ID kind
// 32) or new NIDs of a given type.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ltp/property_set.h"
#include "ltp/table_context.h"

namespace vendrel {

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_store_impl;

class pst_property_table : public virtual pst_property_set {
 public:
  // Slot 0: makes a row current; an index not below the row count is qm_invalid_arg.
  virtual void select_row(uint32_t index) = 0;
  // Slot 1: starts a new row and makes it current.
  virtual void add_row() = 0;
  // Slots 2-4.
  virtual uint32_t row_count() const = 0;
  virtual uint32_t current_row() const = 0;
  virtual uint32_t current_row_id() const = 0;

 protected:
  ~pst_property_table() override = default;
};

// Row IDs are 1, 2, 3, ... with this kind; any other kind is a NID type.
inline constexpr uint32_t row_id_sequence = 32;

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_property_table_impl : public pst_property_table {
 public:
  using store_type = pst_store_impl<bidtype, chartype>;

  // A table for the node `nid` over the listed columns (string columns
  // should be given in the file's string type).
  pst_property_table_impl(store_type* store, uint32_t nid, const std::vector<uint32_t>& columns,
                          uint32_t row_id_kind);

  void select_row(uint32_t index) override;
  void add_row() override;
  uint32_t row_count() const override;
  uint32_t current_row() const override { return current_; }
  uint32_t current_row_id() const override;

  // Get, remove, copy and flag are not table operations (qm_invalid_call).
  const pst_property_value* get_property(uint16_t id) const override;
  // Adds a cell to the current row (add_property_impl).
  void set_property(const pst_property_value& value) override;
  bool remove_property(uint16_t id) override;
  void copy_to(pst_property_set* target) override;
  // Writes the table context; a table is committed once, and its rows leave
  // memory then. A table without rows writes nothing.
  void commit() override;
  uint8_t flag() const override;
  void node_bids(uint64_t* data_bid, uint64_t* sub_bid) const override;
  bool same_store(const pst_property_set* other) const override;

  void add_property_impl(const pst_property_value& value);

  bool committed() const { return committed_; }
  // Bytes of the committed table's heap: for one block, its used size with
  // the page map, rounded to even; for n blocks, (n - 1) x 8176 plus the
  // used size of the last one.
  uint32_t heap_size() const { return heap_size_; }
  // The table being built (null once committed).
  const pst_tc<bidtype>* table() const { return table_.get(); }

 protected:
  ~pst_property_table_impl() override;

 private:
  pst_tc<bidtype>& open_table();

  store_type* store_;
  uint32_t nid_;
  uint32_t row_id_kind_;
  std::unique_ptr<pst_tc<bidtype>> table_;
  uint32_t rows_ = 0;
  uint32_t current_ = 0;
  bool committed_ = false;
  bidtype data_bid_ = 0;
  bidtype sub_bid_ = 0;
  uint32_t heap_size_ = 0;
};

extern template class pst_property_table_impl<uint32_t, char>;
extern template class pst_property_table_impl<uint64_t, char16_t>;

}  // namespace vendrel
