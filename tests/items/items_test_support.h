// Shared pieces of the item tests: the item classes installed for both file
// variants, and a committed file read back strictly: a message's property
// context, its subnodes, the property contexts of its attachments and the
// table contexts of its attachment and recipient tables.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "items/item_maker.h"
#include "items/message.h"
#include "items/message_tags.h"
#include "ndb/walker.h"
#include "store/store_test_support.h"

namespace vendrel::test {

template <typename V>
using message_of = pst_message_impl<typename V::bidtype, typename V::chartype>;

// The item classes for both variants; the test limits are restored after.
class items_test : public ::testing::Test {
 protected:
  void SetUp() override { install_item_classes(); }
  void TearDown() override { reset_limits_for_testing(); }
  TempDir dir;
};

template <typename V>
ref<message_of<V>> new_message(typename V::store& store) {
  ref<pst_store_item> item = store.create_message();
  auto* message = dynamic_cast<message_of<V>*>(item.get());
  EXPECT_NE(message, nullptr);
  return ref<message_of<V>>(message);
}

// An address built the way the library interface builds one.
template <typename C>
struct test_address {
  std::basic_string<C> email, name, type, key;
  std::vector<uint8_t> entry_id;
  test_address(std::string_view e, std::string_view n, std::string_view t = "SMTP")
      : email(text<C>(e)), name(text<C>(n)), type(text<C>(t)) {
    key = type + C(':') + email;
    entry_id.assign(24, 0);
    entry_id[22] = sizeof(C) == 2 ? 0x01 : 0x01;
    entry_id[23] = sizeof(C) == 2 ? 0x80 : 0x10;
    for (const auto* s : {&name, &type, &email}) {
      for (C c : *s) {
        entry_id.push_back(static_cast<uint8_t>(static_cast<std::make_unsigned_t<C>>(c) & 0xFF));
        if (sizeof(C) == 2) entry_id.push_back(static_cast<uint8_t>(static_cast<uint16_t>(c) >> 8));
      }
      for (size_t i = 0; i < sizeof(C); ++i) entry_id.push_back(0);
    }
  }
  pst_address<C> view() const { return {entry_id, email, name, type, key}; }
};

// What was written for one message, read back from the committed file.
template <typename V>
class written_message {
 public:
  using B = typename V::bidtype;
  written_message(stored_file<B>& file, uint32_t nid) : file_(file), nid_(nid) {}

  // The message's own node (a filed message) or the subnode an attachment
  // holds it under (an embedded message): data BID and subnode BID.
  written_message(stored_file<B>& file, uint32_t nid, block_id<B> data, block_id<B> sub)
      : file_(file), nid_(nid), data_(data), sub_(sub), embedded_(true) {}

  block_id<B> data_bid() {
    if (!embedded_) data_ = file_.node(nid_)->bid_data;
    return data_;
  }
  block_id<B> sub_bid() {
    if (!embedded_) sub_ = file_.node(nid_)->bid_sub;
    return sub_;
  }
  decoded_pc pc() {
    return decode_property_context<B>(read_heap_blocks(file_.ndb(), data_bid()),
                                      ndb_subnode_resolver(file_.ndb(), sub_bid()));
  }
  std::vector<subnode_entry<B>> subnodes() { return read_subnode_tree(file_.ndb(), sub_bid()); }
  std::optional<subnode_entry<B>> subnode(uint32_t nid) {
    for (const auto& e : subnodes())
      if (e.nid.value() == nid) return e;
    return std::nullopt;
  }
  decoded_tc table(uint32_t nid) {
    auto e = subnode(nid);
    if (!e) throw std::runtime_error("no table subnode");
    return decode_table_context<B>(read_heap_blocks(file_.ndb(), e->bid_data),
                                   ndb_subnode_resolver(file_.ndb(), e->bid_sub));
  }
  // The attachments in the order of the attachment table's rows.
  std::vector<uint32_t> attachment_nids() {
    std::vector<uint32_t> out;
    if (!subnode(msg::attachment_table_nid)) return out;
    decoded_tc t = table(msg::attachment_table_nid);
    for (size_t r = 0; r < t.rows.size(); ++r) out.push_back(static_cast<uint32_t>(t.cell(r, tc_tag_row_id)));
    return out;
  }
  decoded_pc attachment_pc(uint32_t nid) {
    auto e = subnode(nid);
    if (!e) throw std::runtime_error("no attachment subnode");
    return decode_property_context<B>(read_heap_blocks(file_.ndb(), e->bid_data),
                                      ndb_subnode_resolver(file_.ndb(), e->bid_sub));
  }
  std::vector<subnode_entry<B>> attachment_subnodes(uint32_t nid) {
    auto e = subnode(nid);
    if (!e) throw std::runtime_error("no attachment subnode");
    return read_subnode_tree(file_.ndb(), e->bid_sub);
  }
  // The message an embedded-message attachment holds.
  written_message embedded(uint32_t attachment_nid) {
    for (const auto& e : attachment_subnodes(attachment_nid))
      if (e.nid.type() == nid_type::message) return written_message(file_, e.nid.value(), e.bid_data, e.bid_sub);
    throw std::runtime_error("no embedded message");
  }

 private:
  stored_file<B>& file_;
  uint32_t nid_;
  block_id<B> data_;
  block_id<B> sub_;
  bool embedded_ = false;
};

// A property's bytes as text of the file's width, as UTF-8.
inline std::string text_of(const decoded_property* p) {
  if (!p) return "<absent>";
  if (p->type == 0x001F) {
    std::u16string s(p->bytes.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(p->bytes[2 * i] | (p->bytes[2 * i + 1] << 8));
    return to_utf8(s);
  }
  return std::string(p->bytes.begin(), p->bytes.end());
}

inline uint64_t number_of(const decoded_property* p) {
  if (!p) return ~uint64_t{0};
  uint64_t x = 0;
  for (size_t i = 0; i < p->bytes.size() && i < 8; ++i) x |= uint64_t{p->bytes[i]} << (8 * i);
  return x;
}

// Every finding of the whole-file walker, one line each.
inline std::string walker_findings(const std::filesystem::path& path) {
  std::string out;
  for (const ndb_finding& f : check_file(std::u16string_view(utf16(path.string())))) out += to_string(f) + "\n";
  return out;
}

// Decodes every message of a committed file strictly, with all it holds:
// its property context, its attachment and recipient tables, the property
// contexts of its attachments and, below them, embedded messages. Returns
// one line per structure that does not decode.
template <typename B>
std::string undecodable_messages(stored_file<B>& file) {
  pst_ndb<B>& ndb = file.ndb();
  std::string problems;
  std::function<void(block_id<B>, block_id<B>, const std::string&)> message;
  auto attempt = [&](const std::string& where, const std::function<void()>& decode) {
    try {
      decode();
      return true;
    } catch (const std::exception& e) {
      problems += where + ": " + e.what() + "\n";
      return false;
    }
  };
  message = [&](block_id<B> data, block_id<B> sub, const std::string& where) {
    if (!attempt(where, [&] { decode_property_context<B>(read_heap_blocks(ndb, data), ndb_subnode_resolver(ndb, sub)); }))
      return;
    std::vector<subnode_entry<B>> entries;
    if (!attempt(where + " subnodes", [&] { entries = read_subnode_tree(ndb, sub); })) return;
    for (const auto& e : entries) {
      const std::string at = where + "/" + std::to_string(e.nid.value());
      if (e.nid.value() == msg::attachment_table_nid || e.nid.value() == msg::recipient_table_nid) {
        attempt(at, [&] { decode_table_context<B>(read_heap_blocks(ndb, e.bid_data), ndb_subnode_resolver(ndb, e.bid_sub)); });
      } else if (e.nid.type() == nid_type::attachment) {
        if (!attempt(at, [&] {
              decode_property_context<B>(read_heap_blocks(ndb, e.bid_data), ndb_subnode_resolver(ndb, e.bid_sub));
            }))
          continue;
        for (const auto& inner : read_subnode_tree(ndb, e.bid_sub))
          if (inner.nid.type() == nid_type::message) message(inner.bid_data, inner.bid_sub, at + "/embedded");
      }
    }
  };
  for (const auto& e : file.nodes())
    if (e.nid.type() == nid_type::message) message(e.bid_data, e.bid_sub, "message " + std::to_string(e.nid.value()));
  return problems;
}

}  // namespace vendrel::test
