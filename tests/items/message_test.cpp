// Messages written into a store and read back strictly from the committed
// file: the commit defaults and what they never overwrite, recipient rows
// and display strings, attachments by value (inline and streamed), OLE
// attachments, embedded messages sharing their blocks, the bound fields, and
// a walk of the whole file that checks every block and reference count.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "items_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

using namespace msg;

template <typename V>
class Message : public items_test {
 protected:
  using B = typename V::bidtype;
  using C = typename V::chartype;

  std::filesystem::path path() const { return dir / "messages.pst"; }
  typename V::store* store() {
    if (!store_) {
      store_ = new_store<V>(path());
      inbox_ = ref<pst_folder>(store_->ipm_subtree()->create_subfolder(text<C>("Inbox").c_str(), nullptr, nullptr));
    }
    return store_.get();
  }
  // Files the message into the inbox.
  void file(message_of<V>& m) { inbox_->add_message(&m); }
  // Commits the store and opens the file for reading.
  stored_file<B>& written() {
    if (!file_) {
      store_->commit();
      inbox_.reset();
      store_.reset();
      file_ = std::make_unique<stored_file<B>>(path());
    }
    return *file_;
  }
  written_message<V> read(uint32_t nid) { return written_message<V>(written(), nid); }
  // What the whole-file walker finds in the committed file.
  std::string findings() {
    stored_file<B>& file = written();
    const std::string walked = walker_findings(path());
    return walked + undecodable_messages(file);
  }

  ref<typename V::store> store_;
  ref<pst_folder> inbox_;
  std::unique_ptr<stored_file<B>> file_;
};
TYPED_TEST_SUITE(Message, store_variants, store_variant_name);

TYPED_TEST(Message, WithoutFieldsItGetsTheCommitDefaults) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  const uint64_t before = platform::system_time_as_filetime();
  this->file(*m);
  const uint64_t after = platform::system_time_as_filetime();
  const uint32_t nid = m->item_nid();
  EXPECT_EQ(nid & 0x1F, nid_type::message);
  auto w = this->read(nid);
  decoded_pc pc = w.pc();
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Note");
  EXPECT_EQ(text_of(pc.find(id_subject)), std::string("\x01\x01", 2));
  EXPECT_EQ(number_of(pc.find(id_message_flags)), 0u);  // set at creation: the default 8 does not apply
  EXPECT_EQ(number_of(pc.find(id_importance)), 1u);
  // 1250, or in an ANSI file the file's code page its 8-bit strings are in.
  EXPECT_EQ(number_of(pc.find(id_internet_codepage)), V::unicode ? 1250u : platform::file_code_page());
  if (!V::unicode) EXPECT_EQ(number_of(pc.find(id_message_codepage)), platform::file_code_page());
  if (V::unicode) EXPECT_EQ(pc.find(id_message_codepage), nullptr);
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 0xFFFFFFFFu);
  EXPECT_EQ(number_of(pc.find(id_alternate_recipient_allowed)), 1u);
  EXPECT_EQ(number_of(pc.find(id_has_attachments)), 0u);
  EXPECT_EQ(text_of(pc.find(id_current_version_name)), "9.0");
  EXPECT_EQ(text_of(pc.find(id_display_name)), "");
  ASSERT_NE(pc.find(id_search_key), nullptr);
  EXPECT_EQ(pc.find(id_search_key)->bytes, std::vector<uint8_t>(16, 0));
  EXPECT_EQ(pc.find(id_body), nullptr);  // bodies come with the bound fields
  const uint64_t delivery = number_of(pc.find(id_delivery_time));
  EXPECT_GE(delivery, before);
  EXPECT_LE(delivery, after);
  EXPECT_EQ(number_of(pc.find(id_creation_time)), delivery);
  EXPECT_EQ(number_of(pc.find(id_last_modification_time)), delivery);
  EXPECT_EQ(pc.find(id_attachment_total), nullptr);
  EXPECT_EQ(pc.find(id_recipient_heap_size), nullptr);
  EXPECT_EQ(pc.find(id_display_to), nullptr);
  EXPECT_FALSE(w.subnode(attachment_table_nid));
  EXPECT_FALSE(w.subnode(recipient_table_nid));
  EXPECT_NE(pc.find(id_message_size), nullptr);
  // The string types are the file's.
  EXPECT_EQ(pc.find(id_message_class)->type, file_string_type<typename V::chartype>);
}

TYPED_TEST(Message, CallerValuesAreNeverOverwrittenByDefaults) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  m->set_property(pst_property_value::of_u32(0x00170003, 2));
  m->set_property(pst_property_value::of_u32(0x10800003, 7));
  m->set_property(pst_property_value::of_u32(0x3FDE0003, 65001));
  m->set_property(pst_property_value::of_bool(0x0002000B, false));
  m->set_property(pst_property_value::of_u64(0x30070040, 0x01D0000000000000ull));
  m->set_property(pst_property_value::of_string(0x001A001E, std::string_view("IPM.Note.Custom")));
  m->set_property(pst_property_value::of_string(0x3001001E, std::string_view("shown")));
  // Flags with the attachment bit although there is no attachment: the bit is computed.
  m->set_property(pst_property_value::of_u32(0x0E070003, 0x11));
  m->set_property(pst_property_value::of_u32(0x0E080003, 12345));
  this->file(*m);
  decoded_pc pc = this->read(m->item_nid()).pc();
  EXPECT_EQ(number_of(pc.find(id_importance)), 2u);
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 7u);
  EXPECT_EQ(number_of(pc.find(id_internet_codepage)), 65001u);
  EXPECT_EQ(number_of(pc.find(id_alternate_recipient_allowed)), 0u);
  EXPECT_EQ(number_of(pc.find(id_creation_time)), 0x01D0000000000000ull);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Note.Custom");
  EXPECT_EQ(text_of(pc.find(id_display_name)), "shown");
  EXPECT_EQ(number_of(pc.find(id_message_flags)), 0x1u);
  EXPECT_NE(number_of(pc.find(id_message_size)), 12345u);
}

template <typename C>
void add_recipient(pst_message& m, const test_address<C>& a, uint32_t type, uint32_t flags) {
  if constexpr (std::is_same_v<C, char>)
    m.add_recipientA(a.view(), type, flags);
  else
    m.add_recipient(a.view(), type, flags);
}

TYPED_TEST(Message, RecipientRowsAreNumberedAndNamedInTheDisplayStrings) {
  using V = TypeParam;
  using B = typename V::bidtype;
  auto store = this->store();
  auto m = new_message<V>(*store);
  // Both widths reach either file variant.
  const test_address<char> ann("ann@example.org", "Ann"), cy("cy@example.org", "Cy");
  const test_address<char16_t> bob("bob@example.org", "Bob", "EX"), dee("dee@example.org", "Dee");
  add_recipient(*m, ann, 1, 1);
  add_recipient(*m, bob, 1, 3);
  add_recipient(*m, cy, 3, 0);
  add_recipient(*m, dee, 7, 0);  // no display string for other types
  const uint8_t given_id[] = {1, 2, 3, 4, 5};
  m->add_recipientA(ann.view(), 2, 0, given_id, sizeof given_id);
  this->file(*m);
  auto w = this->read(m->item_nid());
  decoded_pc pc = w.pc();
  EXPECT_EQ(text_of(pc.find(id_display_to)), "Ann;Bob");
  EXPECT_EQ(text_of(pc.find(id_display_cc)), "Ann");
  EXPECT_EQ(text_of(pc.find(id_display_bcc)), "Cy");

  decoded_tc t = w.table(recipient_table_nid);
  ASSERT_EQ(t.rows.size(), 5u);
  for (size_t r = 0; r < t.rows.size(); ++r) {
    EXPECT_EQ(t.cell(r, tc_tag_row_id), r + 1);
    EXPECT_FALSE(t.has_cell(r, make_tag(0x39FF, file_string_type<typename V::chartype>)));
    EXPECT_EQ(t.cell(r, 0x0FFE0003), 6u);
    EXPECT_EQ(t.cell(r, 0x39000003), 0u);
    EXPECT_TRUE(t.has_cell(r, 0x0E0F000B));
    EXPECT_TRUE(t.has_cell(r, 0x5FFF0003));
  }
  const uint32_t name_tag = make_tag(id_display_name, file_string_type<typename V::chartype>);
  auto text_cell = [&](size_t r, uint16_t id) {
    auto bytes = t.cell_bytes(r, make_tag(id, file_string_type<typename V::chartype>));
    decoded_property p;
    p.type = file_string_type<typename V::chartype>;
    p.bytes = bytes.value_or(std::vector<uint8_t>{});
    return text_of(&p);
  };
  EXPECT_EQ(text_cell(1, id_display_name), "Bob");
  EXPECT_EQ(text_cell(1, id_address_type), "EX");
  EXPECT_EQ(text_cell(1, id_email_address), "bob@example.org");
  EXPECT_EQ(text_cell(1, id_recipient_display_name), "Bob");
  EXPECT_EQ(t.cell(1, 0x0C150003), 1u);
  EXPECT_EQ(t.cell(1, 0x5FFD0003), 3u);
  EXPECT_EQ(*t.cell_bytes(1, 0x0FF90102), bob.entry_id);
  EXPECT_EQ(*t.cell_bytes(1, 0x0FFF0102), bob.entry_id);
  EXPECT_EQ(*t.cell_bytes(1, 0x300B0102), bob.entry_id);
  EXPECT_EQ(*t.cell_bytes(1, 0x5FF70102), bob.entry_id);
  EXPECT_EQ(*t.cell_bytes(4, 0x0FFF0102), std::vector<uint8_t>(given_id, given_id + sizeof given_id));
  EXPECT_EQ(*t.cell_bytes(4, 0x0FF90102), ann.entry_id);
  (void)name_tag;

  // 0x6610: the bytes of the table's one heap block.
  auto table_node = w.subnode(recipient_table_nid);
  auto block = this->written().ndb().lookup_block(table_node->bid_data);
  ASSERT_TRUE(block);
  ASSERT_FALSE(table_node->bid_data.internal());
  EXPECT_EQ(number_of(pc.find(id_recipient_heap_size)), (block->cb + 1u) & ~1u);
  EXPECT_EQ(t.block_count, 1u);
  (void)sizeof(B);
}

TYPED_TEST(Message, ManyRecipientsGiveAHeapOfSeveralBlocks) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  std::vector<test_address<char>> people;
  for (int i = 0; i < 120; ++i)
    people.emplace_back("person" + std::to_string(i) + "@example.org", "Person number " + std::to_string(i));
  for (const auto& p : people) add_recipient(*m, p, 1, 0);
  this->file(*m);
  auto w = this->read(m->item_nid());
  decoded_tc t = w.table(recipient_table_nid);
  ASSERT_EQ(t.rows.size(), 120u);
  ASSERT_GT(t.block_count, 1u);
  EXPECT_EQ(t.cell(119, tc_tag_row_id), 120u);
  // (n - 1) full blocks of 8176 bytes and the used size of the last one.
  auto blocks = read_heap_blocks(this->written().ndb(), w.subnode(recipient_table_nid)->bid_data);
  const uint64_t expected = (blocks.size() - 1) * 8176 + ((blocks.back().size() + 1) & ~size_t{1});
  EXPECT_EQ(number_of(w.pc().find(id_recipient_heap_size)), expected);
  std::string to;
  for (size_t i = 0; i < people.size(); ++i) to += (i ? ";" : "") + people[i].name;
  EXPECT_EQ(text_of(w.pc().find(id_display_to)), to);
}

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

TYPED_TEST(Message, AttachmentsByValueKeepTheirBytesAndNames) {
  using V = TypeParam;
  struct attachment_case {
    size_t size;
    const char* name;
    const char* content_id;
    const char* mime;
    const char* location;
    const char* extension;      // null: none
    pc_value_kind data_kind;
  };
  const attachment_case cases[] = {
      {0, "empty.txt", nullptr, nullptr, nullptr, ".txt", pc_value_kind::empty},
      {1, "one", nullptr, nullptr, nullptr, nullptr, pc_value_kind::heap},
      {200, "a.b.txt", "cid@1", "text/plain", nullptr, ".txt", pc_value_kind::heap},
      {201, "two01.bin", nullptr, "application/octet-stream", "http://example.org/x", ".bin", pc_value_kind::subnode},
      {8176, "block.dat", nullptr, nullptr, nullptr, ".dat", pc_value_kind::subnode},
      {8177, "block1.dat", nullptr, nullptr, nullptr, ".dat", pc_value_kind::subnode},
      {8181, "block2.dat", nullptr, nullptr, nullptr, ".dat", pc_value_kind::subnode},
      {100000, "big.zip", "cid@2", "application/zip", nullptr, ".zip", pc_value_kind::subnode},
  };
  auto store = this->store();
  auto m = new_message<V>(*store);
  std::vector<std::vector<uint8_t>> data;
  for (const auto& c : cases) {
    data.push_back(pattern(c.size, static_cast<uint8_t>(data.size())));
    m->add_file_attachment(data.back().data(), c.size, c.name, c.content_id, c.mime, c.location);
  }
  EXPECT_THROW(m->add_file_attachment(nullptr, 10, "x", nullptr, nullptr, nullptr), qm_invalid_arg);
  EXPECT_THROW(m->add_file_attachment(data[1].data(), 1, nullptr, nullptr, nullptr, nullptr), qm_invalid_arg);
  this->file(*m);
  auto w = this->read(m->item_nid());
  decoded_pc pc = w.pc();
  const std::vector<uint32_t> nids = w.attachment_nids();
  ASSERT_EQ(nids.size(), std::size(cases));
  uint64_t total = 0;
  for (size_t i = 0; i < nids.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nids[i] & 0x1F, nid_type::attachment);
    decoded_pc a = w.attachment_pc(nids[i]);
    const decoded_property* d = a.find(id_attach_data);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->type, prop_type::binary);
    EXPECT_EQ(d->kind, c.data_kind);
    EXPECT_TRUE(d->bytes == data[i]);
    EXPECT_EQ(number_of(a.find(id_attach_method)), attach_by_value);
    EXPECT_EQ(text_of(a.find(id_attach_filename)), c.name);
    EXPECT_EQ(text_of(a.find(id_attach_long_filename)), c.name);
    EXPECT_EQ(text_of(a.find(id_attach_extension)), c.extension ? c.extension : "<absent>");
    EXPECT_EQ(text_of(a.find(id_attach_content_location)), c.location ? c.location : c.name);
    EXPECT_EQ(text_of(a.find(id_attach_content_id)), c.content_id ? c.content_id : "<absent>");
    EXPECT_EQ(text_of(a.find(id_attach_mime_tag)), c.mime ? c.mime : "<absent>");
    EXPECT_EQ(number_of(a.find(id_rendering_position)), 0xFFFFFFFFu);
    EXPECT_EQ(number_of(a.find(id_attachment_hidden)), 0u);
    EXPECT_NE(a.find(id_exception_start_time), nullptr);
    EXPECT_EQ(number_of(a.find(id_attach_size)), c.size);
    EXPECT_EQ(a.find(id_attach_encoding)->bytes.size(), 0u);
    total += c.size;
  }
  EXPECT_EQ(number_of(pc.find(id_attachment_total)), total);
  EXPECT_EQ(number_of(pc.find(id_message_flags)) & message_flag_has_attachments, message_flag_has_attachments);
  decoded_tc t = w.table(attachment_table_nid);
  for (size_t r = 0; r < t.rows.size(); ++r) {
    EXPECT_EQ(t.cell(r, 0x0E200003), cases[r].size);
    EXPECT_EQ(t.cell(r, 0x37050003), attach_by_value);
    EXPECT_EQ(t.cell(r, 0x370B0003), 0xFFFFFFFFu);
    EXPECT_FALSE(t.has_cell(r, 0x7FFF000B));
    EXPECT_TRUE(t.has_cell(r, 0x7FFE000B));
  }
  EXPECT_EQ(this->findings(), "");
}

TYPED_TEST(Message, OnlyAttachmentsWithContentIdAndMimeTagCountAsInline) {
  using V = TypeParam;
  auto store = this->store();
  const uint8_t bytes[] = {1, 2, 3};
  auto inline_only = new_message<V>(*store);
  inline_only->add_file_attachment(bytes, 3, "logo.png", "logo@x", "image/png", nullptr);
  auto mixed = new_message<V>(*store);
  mixed->add_file_attachment(bytes, 3, "logo.png", "logo@x", "image/png", nullptr);
  mixed->add_file_attachment(bytes, 3, "half.png", "half@x", nullptr, nullptr);
  auto empty = new_message<V>(*store);
  empty->create_attachment();
  for (auto* m : {inline_only.get(), mixed.get(), empty.get()}) this->file(*m);
  EXPECT_EQ(number_of(this->read(inline_only->item_nid()).pc().find(id_message_flags)) & 0x10, 0u);
  EXPECT_EQ(number_of(this->read(mixed->item_nid()).pc().find(id_message_flags)) & 0x10, 0x10u);
  auto w = this->read(empty->item_nid());
  EXPECT_EQ(number_of(w.pc().find(id_message_flags)) & 0x10, 0x10u);
  decoded_pc a = w.attachment_pc(w.attachment_nids().at(0));
  ASSERT_NE(a.find(id_attach_data), nullptr);  // an empty binary
  EXPECT_EQ(a.find(id_attach_data)->type, prop_type::binary);
  EXPECT_EQ(a.find(id_attach_data)->bytes.size(), 0u);
  EXPECT_EQ(number_of(a.find(id_attach_method)), 0u);
}

// A stream that is not the node database's own.
class memory_stream final : public pst_const_stream {
 public:
  explicit memory_stream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  uint64_t seek(uint64_t p) override { return position_ = std::min<uint64_t>(p, bytes_.size()); }
  uint64_t position() const override { return position_; }
  size_t read(void* buffer, size_t n) override {
    // Short reads, so that the copy loops.
    n = std::min<size_t>({n, 1000, static_cast<size_t>(bytes_.size() - position_)});
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return n;
  }
  size_t read_at(uint64_t p, void* buffer, size_t n) override {
    if (seek(p) != p) return 0;
    return read(buffer, n);
  }
  bool at_end() const override { return position_ >= bytes_.size(); }
  size_t chunk_size() const override { return 1000; }

 private:
  ~memory_stream() override = default;
  std::vector<uint8_t> bytes_;
  uint64_t position_ = 0;
};

TYPED_TEST(Message, OleAttachmentsReferToADataSubnode) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  const auto from_memory = pattern(20000, 3);
  const auto from_stream = pattern(9000, 9);
  m->add_ole_attachment(from_memory.data(), from_memory.size(), "Picture (Device Independent Bitmap)");
  ref<pst_const_stream> source(new memory_stream(from_stream));
  m->add_ole_attachment_stream(source.get(), "Worksheet");
  EXPECT_THROW(m->add_ole_attachment_stream(nullptr, "x"), qm_invalid_arg);
  EXPECT_THROW(m->add_ole_attachment(from_memory.data(), 10, nullptr), qm_invalid_arg);
  EXPECT_THROW(m->add_ole_attachment(nullptr, 10, "x"), qm_invalid_arg);
  this->file(*m);
  auto w = this->read(m->item_nid());
  const auto nids = w.attachment_nids();
  ASSERT_EQ(nids.size(), 2u);
  const std::vector<uint8_t>* expected[] = {&from_memory, &from_stream};
  const char* names[] = {"Picture (Device Independent Bitmap)", "Worksheet"};
  for (size_t i = 0; i < 2; ++i) {
    decoded_pc a = w.attachment_pc(nids[i]);
    const decoded_property* object = a.find(id_attach_data);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->type, prop_type::object);
    ASSERT_EQ(object->bytes.size(), 8u);
    const uint32_t data_nid = get_le<uint32_t>(object->bytes.data());
    EXPECT_EQ(data_nid & 0x1F, nid_type::ole_attachment_data);
    EXPECT_EQ(get_le<uint32_t>(object->bytes.data() + 4), expected[i]->size());
    EXPECT_EQ(number_of(a.find(id_attach_method)), attach_ole);
    EXPECT_EQ(text_of(a.find(id_display_name)), names[i]);
    bool found = false;
    for (const auto& e : w.attachment_subnodes(nids[i])) {
      if (e.nid.value() != data_nid) continue;
      found = true;
      EXPECT_FALSE(e.bid_sub);
      ref<pst_xstream<typename V::bidtype>> s = pst_xstream<typename V::bidtype>::open(&this->written().ndb(), e.bid_data);
      std::vector<uint8_t> bytes(s->size());
      s->read(bytes.data(), bytes.size());
      EXPECT_TRUE(bytes == *expected[i]);
    }
    EXPECT_TRUE(found);
  }
  EXPECT_EQ(this->findings(), "");
}

TYPED_TEST(Message, EmbeddedMessagesShareTheirBlocksThreeDeep) {
  using V = TypeParam;
  using C = typename V::chartype;
  auto store = this->store();
  const auto bytes = pattern(30000, 5);
  // Innermost first: each is committed, then attached to the next.
  auto inner = new_message<V>(*store);
  inner->set_property(pst_property_value::of_string(string_tag<C>(id_subject), text<C>("\x01\x01Inner")));
  inner->add_file_attachment(bytes.data(), bytes.size(), "inner.bin", nullptr, nullptr, nullptr);
  add_recipient(*inner, test_address<char>("in@example.org", "In"), 1, 0);
  inner->commit();
  auto middle = new_message<V>(*store);
  middle->set_property(pst_property_value::of_string(string_tag<C>(id_subject), text<C>("\x01\x05RE: Middle")));
  middle->add_message_attachment(inner.get());
  middle->commit();
  auto outer = new_message<V>(*store);
  outer->add_message_attachment(middle.get());
  // The same message twice, and a message that is also filed.
  outer->add_message_attachment(inner.get());
  auto filed = new_message<V>(*store);
  filed->set_property(pst_property_value::of_string(string_tag<C>(id_subject), text<C>("\x01\x01" "Filed")));
  this->file(*filed);
  outer->add_message_attachment(filed.get());
  this->file(*outer);
  const uint32_t outer_nid = outer->item_nid(), filed_nid = filed->item_nid();
  inner.reset();
  middle.reset();
  outer.reset();
  filed.reset();

  EXPECT_EQ(this->findings(), "");
  auto w = this->read(outer_nid);
  const auto nids = w.attachment_nids();
  ASSERT_EQ(nids.size(), 3u);
  const char* names[] = {"RE: Middle", "Inner", "Filed"};
  for (size_t i = 0; i < 3; ++i) {
    decoded_pc a = w.attachment_pc(nids[i]);
    EXPECT_EQ(number_of(a.find(id_attach_method)), attach_embedded_message);
    EXPECT_EQ(text_of(a.find(id_display_name)), names[i]);
    EXPECT_EQ(a.find(id_attach_data)->type, prop_type::object);
  }
  auto middle_read = w.embedded(nids[0]);
  decoded_pc object = w.attachment_pc(nids[0]);
  EXPECT_EQ(get_le<uint32_t>(object.find(id_attach_data)->bytes.data() + 4),
            number_of(middle_read.pc().find(id_message_size)));
  EXPECT_EQ(text_of(middle_read.pc().find(id_subject)), "\x01\x05RE: Middle");
  auto inner_read = middle_read.embedded(middle_read.attachment_nids().at(0));
  EXPECT_EQ(text_of(inner_read.pc().find(id_subject)), "\x01\x01Inner");
  decoded_pc inner_attachment = inner_read.attachment_pc(inner_read.attachment_nids().at(0));
  EXPECT_TRUE(inner_attachment.find(id_attach_data)->bytes == bytes);
  EXPECT_EQ(text_of(inner_read.pc().find(id_display_to)), "In");
  // The inner message's blocks are the same under both of its attachments.
  auto again = w.embedded(nids[1]);
  EXPECT_EQ(again.data_bid(), inner_read.data_bid());
  EXPECT_EQ(again.sub_bid(), inner_read.sub_bid());
  EXPECT_EQ(w.embedded(nids[2]).data_bid(), this->written().node(filed_nid)->bid_data);
}

TYPED_TEST(Message, AnEmbeddedMessageIsNamedAfterItsSubject) {
  using V = TypeParam;
  using C = typename V::chartype;
  struct name_case {
    std::optional<std::string> subject;  // none: the property is removed
    std::string name;
  };
  const std::string long_text(300, 'x');
  const name_case cases[] = {
      {std::string("\x01\x01Quarterly report"), "Quarterly report"},
      {std::string("\x01\x05RE: Quarterly"), "RE: Quarterly"},
      {std::string("\x01\x01\x01\x01"), ""},
      {std::string("Plain"), "Plain"},
      {std::string("\x01\x01") + long_text, long_text.substr(0, 254)},
      {std::string(""), " "},
      {std::nullopt, "unnamed attached message"},
  };
  auto store = this->store();
  auto holder = new_message<V>(*store);
  for (const auto& c : cases) {
    auto m = new_message<V>(*store);
    m->commit();  // the default subject is \x01\x01
    if (c.subject)
      m->set_property(pst_property_value::of_string(string_tag<C>(id_subject), text<C>(*c.subject)));
    else
      m->remove_property(id_subject);
    holder->add_message_attachment(m.get());
  }
  auto never_set = new_message<V>(*store);
  never_set->commit();
  holder->add_message_attachment(never_set.get());
  this->file(*holder);
  auto w = this->read(holder->item_nid());
  const auto nids = w.attachment_nids();
  ASSERT_EQ(nids.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(text_of(w.attachment_pc(nids[i]).find(id_display_name)), cases[i].name) << i;
  EXPECT_EQ(text_of(w.attachment_pc(nids.back()).find(id_display_name)), "");
}

TYPED_TEST(Message, OnlyCommittedMessagesOfTheSameFileCanBeEmbedded) {
  using V = TypeParam;
  auto store = this->store();
  auto holder = new_message<V>(*store);
  auto open = new_message<V>(*store);
  EXPECT_THROW(holder->add_message_attachment(open.get()), qm_invalid_call);
  EXPECT_THROW(holder->add_message_attachment(holder.get()), qm_invalid_call);
  EXPECT_THROW(holder->add_message_attachment(nullptr), qm_invalid_arg);
  // A message of the other variant, and one of another file of the same variant.
  using other = std::conditional_t<V::unicode, ansi_variant, unicode_variant>;
  auto other_store = new_store<other>(this->dir / "other.pst");
  auto foreign = new_message<other>(*other_store);
  foreign->commit();
  EXPECT_THROW(holder->add_message_attachment(foreign.get()), qm_invalid_call);
  EXPECT_TRUE(holder->attachments().empty());
}

TYPED_TEST(Message, AMessageOfAnotherFileIsCopiedIn) {
  using V = TypeParam;
  using C = typename V::chartype;
  // As when a series moves on to its next file while a message is held.
  auto earlier_store = new_store<V>(this->dir / "earlier.pst");
  auto earlier = new_message<V>(*earlier_store);
  earlier->set_property(pst_property_value::of_string(string_tag<C>(id_subject), text<C>("\x01\x01" "Earlier")));
  const auto bytes = pattern(50000, 1);
  earlier->add_file_attachment(bytes.data(), bytes.size(), "big.bin", nullptr, nullptr, nullptr);
  add_recipient(*earlier, test_address<char>("e@example.org", "E"), 1, 0);
  earlier->commit();
  auto holder = new_message<V>(*this->store());
  holder->add_message_attachment(earlier.get());
  this->file(*holder);
  const uint32_t nid = holder->item_nid();
  holder.reset();
  earlier.reset();
  earlier_store.reset();
  EXPECT_EQ(this->findings(), "");
  auto w = this->read(nid);
  auto copy = w.embedded(w.attachment_nids().at(0));
  EXPECT_EQ(text_of(copy.pc().find(id_subject)), "\x01\x01" "Earlier");
  EXPECT_EQ(text_of(copy.pc().find(id_display_to)), "E");
  EXPECT_TRUE(copy.attachment_pc(copy.attachment_nids().at(0)).find(id_attach_data)->bytes == bytes);
  EXPECT_EQ(copy.table(recipient_table_nid).rows.size(), 1u);
}

template <typename C>
pst_message_fields<C> rich_fields(const test_address<C>& sender, const std::basic_string<C>& subject,
                                  const std::basic_string<C>& body, const std::basic_string<C>& headers,
                                  const std::basic_string<C>& billing, const std::basic_string<C>& mileage) {
  pst_message_fields<C> f;
  f.code_page = 1252;
  f.subject = subject;
  f.plain_body = body;
  f.importance = 2;
  f.message_flags = 0x11;
  f.transport_headers = headers;
  f.creation_time = 0x01D9000000000001ull;
  f.last_modification_time = 0x01D9000000000002ull;
  f.client_submit_time = 0x01D9000000000003ull;
  f.delivery_time = 0x01D9000000000004ull;
  f.priority = -1;
  f.sensitivity = 3;
  f.billing_information = billing;
  f.mileage = mileage;
  f.sender = sender.view();
  return f;
}

TYPED_TEST(Message, BoundFieldsBecomeProperties) {
  using V = TypeParam;
  auto store = this->store();
  auto wide = new_message<V>(*store);
  auto narrow = new_message<V>(*store);
  const test_address<char16_t> ws("sender@example.org", "Sender");
  const test_address<char> ns("sender@example.org", "Sender");
  const std::u16string long_subject = u"\x01\x01" + std::u16string(300, u'y');
  wide->apply_fields(rich_fields<char16_t>(ws, long_subject, u"Body", u"X-Test: 1", u"Bill", u"42 km"));
  narrow->apply_fieldsA(rich_fields<char>(ns, "\x01\x01Short", "Body", "X-Test: 1", "Bill", "42 km"));
  this->file(*wide);
  this->file(*narrow);
  for (auto [nid, is_wide] : {std::pair{wide->item_nid(), true}, std::pair{narrow->item_nid(), false}}) {
    SCOPED_TRACE(is_wide ? "wide" : "narrow");
    decoded_pc pc = this->read(nid).pc();
    if (is_wide) {
      EXPECT_EQ(text_of(pc.find(id_subject)), to_utf8(long_subject.substr(0, 257)));
      // The wide record has no code page: the default of the file's variant.
      EXPECT_EQ(number_of(pc.find(id_internet_codepage)), V::unicode ? 1250u : platform::file_code_page());
    } else {
      EXPECT_EQ(text_of(pc.find(id_subject)), "\x01\x01Short");
      EXPECT_EQ(number_of(pc.find(id_internet_codepage)), 1252u);
    }
    EXPECT_EQ(text_of(pc.find(id_body)), "Body");
    EXPECT_EQ(number_of(pc.find(id_importance)), 2u);
    EXPECT_EQ(number_of(pc.find(id_message_flags)), 0x1u);
    EXPECT_EQ(text_of(pc.find(id_transport_headers)), "X-Test: 1");
    EXPECT_EQ(number_of(pc.find(id_creation_time)), 0x01D9000000000001ull);
    EXPECT_EQ(number_of(pc.find(id_last_modification_time)), 0x01D9000000000002ull);
    EXPECT_EQ(number_of(pc.find(id_client_submit_time)), 0x01D9000000000003ull);
    EXPECT_EQ(number_of(pc.find(id_delivery_time)), 0x01D9000000000004ull);
    EXPECT_EQ(number_of(pc.find(id_priority)), 0xFFFFFFFFu);
    EXPECT_EQ(number_of(pc.find(id_sensitivity)), 3u);
    EXPECT_EQ(text_of(pc.find(id_billing)), "Bill");
    EXPECT_EQ(text_of(pc.find(id_mileage)), "42 km");
    for (uint16_t id : {id_sender_name, id_sent_representing_name}) EXPECT_EQ(text_of(pc.find(id)), "Sender");
    for (uint16_t id : {id_sender_email, id_sent_representing_email})
      EXPECT_EQ(text_of(pc.find(id)), "sender@example.org");
    for (uint16_t id : {id_sender_address_type, id_sent_representing_address_type})
      EXPECT_EQ(text_of(pc.find(id)), "SMTP");
    const auto& entry_id = is_wide ? ws.entry_id : ns.entry_id;
    for (uint16_t id : {id_sender_entry_id, id_sent_representing_entry_id}) EXPECT_EQ(pc.find(id)->bytes, entry_id);
    std::vector<uint8_t> key;
    for (char c : std::string("SMTP:sender@example.org")) {
      key.push_back(static_cast<uint8_t>(c));
      if (is_wide) key.push_back(0);
    }
    for (uint16_t id : {id_sender_search_key, id_sent_representing_search_key}) EXPECT_EQ(pc.find(id)->bytes, key);
  }
}

TYPED_TEST(Message, ANarrowRecordWithoutCodePageTakesTheFilesCodePage) {
  using V = TypeParam;
  log_capture log(this->dir / "codepage.log");
  auto store = this->store();
  auto m = new_message<V>(*store);
  pst_message_fields<char> f;
  f.code_page = 0;
  m->apply_fieldsA(f);
  this->file(*m);
  const uint32_t acp = platform::file_code_page();
  EXPECT_TRUE(log.has("[PST] invalid codepage, set to " + std::to_string(acp)));
  decoded_pc pc = this->read(m->item_nid()).pc();
  EXPECT_EQ(number_of(pc.find(id_internet_codepage)), acp);
  // No body at all: an empty plain body and none of the other bodies.
  ASSERT_NE(pc.find(id_body), nullptr);
  EXPECT_EQ(pc.find(id_body)->bytes.size(), 0u);
  EXPECT_EQ(pc.find(id_body_html), nullptr);
  EXPECT_EQ(pc.find(id_rtf_compressed), nullptr);
}

TYPED_TEST(Message, CommonBinariesAreNamedProperties) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  const uint8_t a[] = {1, 2}, b[] = {3, 4, 5};
  m->set_common_binaries(a, sizeof a, b, sizeof b);
  this->file(*m);
  decoded_pc pc = this->read(m->item_nid()).pc();
  EXPECT_EQ(pc.find(id_common_binary_a)->bytes, std::vector<uint8_t>(a, a + 2));
  EXPECT_EQ(pc.find(id_common_binary_b)->bytes, std::vector<uint8_t>(b, b + 3));
  EXPECT_EQ(number_of(pc.find(id_common_long)), 0x09000000u);
  // The fixed IDs are the ones the named property map hands out.
  const pst_guid common = *parse_guid("00062008-0000-0000-C000-000000000046");
  (void)common;
}

TYPED_TEST(Message, ARecipientTableOnlyTakesCellsOfItsRows) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  auto& table = m->recipients();
  EXPECT_THROW(table.set_property(pst_property_value::of_u32(0x0C150003, 1)), qm_invalid_call);
  EXPECT_THROW(table.select_row(0), qm_invalid_arg);
  table.add_row();
  table.add_row();
  EXPECT_EQ(table.row_count(), 2u);
  EXPECT_EQ(table.current_row_id(), 2u);
  table.select_row(0);
  EXPECT_EQ(table.current_row_id(), 1u);
  EXPECT_THROW(table.select_row(2), qm_invalid_arg);
  EXPECT_THROW(table.get_property(0x0C15), qm_invalid_call);
  EXPECT_THROW(table.remove_property(0x0C15), qm_invalid_call);
  EXPECT_THROW(table.flag(), qm_invalid_call);
  // A tag of no column is dropped; a column's tag of the other string width is taken.
  table.set_property(pst_property_value::of_u32(0x12340003, 9));
  table.set_property(pst_property_value::of_string(0x3001001F, std::u16string_view(u"Wide")));
  table.set_property(pst_property_value::of_string(0x3003001E, std::string_view("narrow@example.org")));
  EXPECT_THROW(table.set_property(pst_property_value(0x0C150010, "x", 1)), qm_invalid_arg);
}

TYPED_TEST(Message, FilingTheMessageCommitsItOnce) {
  using V = TypeParam;
  auto store = this->store();
  auto m = new_message<V>(*store);
  EXPECT_FALSE(m->is_saved());
  EXPECT_EQ(m->flag(), 0);
  this->file(*m);
  EXPECT_TRUE(m->is_saved());
  EXPECT_EQ(m->flag(), 1);
  EXPECT_THROW(store->new_message_nid(m.get()), qm_invalid_arg);
  EXPECT_EQ(this->findings(), "");
}


// A stored string property as the characters it stands for: UTF-16 as it
// is, 8-bit in the file's code page.
std::u16string stored_chars(const decoded_property* p) {
  if (!p) return u"<absent>";
  if (p->type == prop_type::unicode) {
    std::u16string s(p->bytes.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(p->bytes[2 * i] | (p->bytes[2 * i + 1] << 8));
    return s;
  }
  return platform::multibyte_to_wide(platform::file_code_page(),
                                     std::string_view(reinterpret_cast<const char*>(p->bytes.data()), p->bytes.size()));
}

// What a file keeps of characters: all of them in a Unicode file, in an ANSI
// file what its code page holds.
std::u16string kept(bool unicode, const std::u16string& text) {
  if (unicode) return text;
  const uint32_t file = platform::file_code_page();
  return platform::multibyte_to_wide(file, platform::wide_to_multibyte(file, text));
}


TYPED_TEST(Message, LongSubjectsAndTheirAttachmentNamesAreCutOnACharacter) {
  using V = TypeParam;
  using C = typename V::chartype;
  const std::u16string prefix = u"\x01\x01";
  const std::u16string smile = u"\U0001F600";  // a surrogate pair; 4 bytes in UTF-8
  const std::u16string ni = u"\u4F60";         // 3 bytes in UTF-8
  struct cut_case {
    bool wide;
    std::u16string subject;
    std::u16string stored;
  };
  const cut_case cases[] = {
      // 257 code units would end between the halves of the pair.
      {true, prefix + std::u16string(254, u'a') + smile + u"b", prefix + std::u16string(254, u'a')},
      {true, prefix + std::u16string(253, u'a') + smile + u"b", prefix + std::u16string(253, u'a') + smile},
      // 257 bytes of UTF-8 would end inside the character.
      {false, prefix + std::u16string(254, u'a') + ni + u"b", prefix + std::u16string(254, u'a')},
      {false, prefix + std::u16string(253, u'a') + ni + u"b", prefix + std::u16string(253, u'a')},
      {false, prefix + std::u16string(252, u'a') + ni + u"b", prefix + std::u16string(252, u'a') + ni},
  };
  auto store = this->store();
  std::vector<uint32_t> nids;
  // The narrow cases count UTF-8 bytes: the host's narrow text on Linux (on
  // Windows it is the ANSI code page, where these characters are one byte).
  const bool utf8_host = platform::host_code_page() == 65001;
  for (const cut_case& c : cases) {
    if (!c.wide && !utf8_host) {
      nids.push_back(0);
      continue;
    }
    auto m = new_message<V>(*store);
    if (c.wide) {
      pst_message_fields<char16_t> f;
      f.subject = c.subject;
      m->apply_fields(f);
    } else {
      const std::string host = platform::wide_to_multibyte(0, c.subject);
      pst_message_fields<char> f;
      f.subject = host;
      m->apply_fieldsA(f);
    }
    this->file(*m);
    nids.push_back(m->item_nid());
  }
  // An embedded message's attachment is named after at most 256 code units of its subject.
  auto holder = new_message<V>(*store);
  auto inner = new_message<V>(*store);
  inner->commit();
  const std::u16string subject = prefix + std::u16string(253, u'x') + smile + u"z";
  inner->set_property(pst_property_value::of_string(make_tag(id_subject, prop_type::unicode), std::u16string_view(subject)));
  holder->add_message_attachment(inner.get());
  this->file(*holder);
  for (size_t i = 0; i < std::size(cases); ++i)
    if (nids[i]) EXPECT_EQ(stored_chars(this->read(nids[i]).pc().find(id_subject)), kept(V::unicode, cases[i].stored)) << i;
  auto w = this->read(holder->item_nid());
  const auto attachments = w.attachment_nids();
  ASSERT_EQ(attachments.size(), 1u);
  // In an ANSI file the pair was one "?" already, which fits.
  EXPECT_EQ(stored_chars(w.attachment_pc(attachments[0]).find(id_display_name)),
            std::u16string(253, u'x') + (V::unicode ? u"" : u"?"));
  (void)sizeof(C);
}

}  // namespace
}  // namespace vendrel::test
