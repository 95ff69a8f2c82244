// Property sets: the in-memory bag of properties of every object stored as a
// property context (the message store, folders, messages, attachments, the
// named property map). pst_property_set is the interface; the implementation
// keeps one value per 16-bit property ID and commits into a property context
// (ltp/property_context.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/base_object.h"
#include "ltp/ndb_link.h"
#include "ltp/node_writer.h"
#include "ltp/property_value.h"
#include "ndb/types.h"

namespace vendrel {

class pst_property_set : public virtual BaseObject {
 public:
  // Slot 0: the value of a property ID, or null.
  virtual const pst_property_value* get_property(uint16_t id) const = 0;
  // Slot 1: sets (or replaces) the value of the value's property ID.
  virtual void set_property(const pst_property_value& value) = 0;
  // Slot 2: removes a property; true if it was there.
  virtual bool remove_property(uint16_t id) = 0;
  // Slot 3: not supported (qm_invalid_call).
  virtual void copy_to(pst_property_set* target) = 0;
  // Slot 4: writes the object into the node database.
  virtual void commit() = 0;
  // Slot 5: the flag byte.
  virtual uint8_t flag() const = 0;
  // Slot 6: the data BID and subnode BID of the last commit.
  virtual void node_bids(uint64_t* data_bid, uint64_t* sub_bid) const = 0;
  // Slot 7: true when the other object is a property set bound to the same store.
  virtual bool same_store(const pst_property_set* other) const = 0;

 protected:
  ~pst_property_set() override = default;
};

template <typename chartype>
concept ltp_chartype = std::is_same_v<chartype, char> || std::is_same_v<chartype, char16_t>;

// The string type of a file: 0x001E in the ANSI file, 0x001F in the Unicode file.
template <typename chartype>
inline constexpr uint16_t file_string_type = std::is_same_v<chartype, char> ? prop_type::string8 : prop_type::unicode;

// A value converted to the file's string type. 8-bit strings handed to a
// property set are in the host's code page (platform::host_code_page); the
// 8-bit strings of an ANSI file are in the file's (platform::file_code_page).
// In the ANSI file a UTF-16 string and a host 8-bit string become 8-bit
// strings of the file's code page (what it cannot hold becomes "?"); in the
// Unicode file an 8-bit string becomes UTF-16. Any other value is unchanged.
// A UTF-16 value of odd byte size is qm_invalid_arg.
template <typename chartype>
pst_property_value to_file_string_type(const pst_property_value& value);

// A host 8-bit string in the file's code page, and a stored 8-bit string of
// an ANSI file as UTF-16.
std::string host_to_file_string(std::string_view host);
std::u16string file_string_to_wide(std::string_view stored);

// What committing one property context wrote.
template <ndb_bidtype bidtype>
struct pc_commit_result {
  bidtype data_bid = 0;
  bidtype sub_bid = 0;
  std::vector<ltp_subnode<bidtype>> subnodes;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_property_set_impl : public virtual pst_property_set {
 public:
  using properties = std::map<uint16_t, pst_property_value>;

  // A set for the node `nid`, writing through `writer` (the store's node database).
  pst_property_set_impl(pst_node_writer<bidtype>* writer, uint32_t nid);
  // A set bound to a node database directly.
  pst_property_set_impl(pst_ndb<bidtype>* ndb, uint32_t nid);

  const pst_property_value* get_property(uint16_t id) const override;
  void set_property(const pst_property_value& value) override;
  bool remove_property(uint16_t id) override;
  void copy_to(pst_property_set* target) override;
  void commit() override;
  uint8_t flag() const override { return flag_; }
  void node_bids(uint64_t* data_bid, uint64_t* sub_bid) const override;
  bool same_store(const pst_property_set* other) const override;

  // Fills the set from a stored property context: its heap blocks in order
  // and the node's subnodes. A context that is not a well-formed PC is
  // skipped without a message; returns whether it was read.
  bool load(const std::vector<std::vector<uint8_t>>& heap_blocks);
  // The same for a stored node of a node database opened for reading; a
  // node that is missing or cannot be read is skipped as well.
  bool load_node(pst_ndb<bidtype>& ndb, node_id nid);

  const properties& all_properties() const { return properties_; }
  uint32_t nid() const { return nid_; }
  void set_nid(uint32_t nid) { nid_ = nid; }
  void set_flag(uint8_t flag) { flag_ = flag; }
  bidtype data_bid() const { return data_bid_; }
  bidtype sub_bid() const { return sub_bid_; }
  const std::vector<ltp_subnode<bidtype>>& subnodes() const { return subnodes_; }
  pst_node_writer<bidtype>* writer() const { return writer_; }

  // Subnodes of the object's node that the owner adds to those the property
  // context writes (attachment tables, recipient tables, ...); written by
  // the next commit.
  void add_extra_subnode(uint32_t nid, bidtype data_bid, bidtype sub_bid);
  const std::vector<ltp_subnode<bidtype>>& extra_subnodes() const { return extra_subnodes_; }

 protected:
  ~pst_property_set_impl() override = default;

  std::unique_ptr<pst_node_writer<bidtype>> owned_writer_;
  pst_node_writer<bidtype>* writer_;
  uint32_t nid_;
  properties properties_;
  uint8_t flag_ = 0;
  bidtype data_bid_ = 0;
  bidtype sub_bid_ = 0;
  std::vector<ltp_subnode<bidtype>> subnodes_;
  std::vector<ltp_subnode<bidtype>> extra_subnodes_;
};

}  // namespace vendrel
