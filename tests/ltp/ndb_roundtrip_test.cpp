// Property contexts, tables and the named property map committed into a real
// file through the node database, then read back from the reopened file.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "ltp/name_to_id_map.h"
#include "ltp/ndb_link.h"
#include "ltp/pc_reader.h"
#include "ltp/property_set.h"
#include "ltp/table_context.h"
#include "ltp/table_templates.h"
#include "ltp/tc_reader.h"
#include "ltp_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
using chartype_of = std::conditional_t<sizeof(bidtype) == 4, char, char16_t>;

template <typename bidtype>
class NdbRoundTrip : public ::testing::Test {
 protected:
  using set_t = pst_property_set_impl<bidtype, chartype_of<bidtype>>;
  TempDir dir;
  std::filesystem::path path = dir / "roundtrip.pst";
  std::unique_ptr<pst_ndb<bidtype>> ndb = std::make_unique<pst_ndb<bidtype>>(wide_path(path), ndb_mode::create);

  void add(uint32_t nid, bidtype data, bidtype sub, uint32_t parent = 0) {
    ndb->add_node(node_id(nid), block_id<bidtype>(data), block_id<bidtype>(sub), node_id(parent));
  }
  std::unique_ptr<pst_ndb<bidtype>> reopen() {
    ndb->commit();
    ndb.reset();
    return std::make_unique<pst_ndb<bidtype>>(wide_path(path), ndb_mode::open_read);
  }
};
TYPED_TEST_SUITE(NdbRoundTrip, ltp_variants, ltp_variant_name);

TYPED_TEST(NdbRoundTrip, PropertyContextWithHeapSubnodeAndStreamValues) {
  using set_t = typename TestFixture::set_t;
  auto set = make_ref<set_t>(this->ndb.get(), 0x200024);
  set->set_property(pst_property_value::of_u32(0x0E070003, 8));
  set->set_property(pst_property_value::of_string(0x0037001E, std::string("Hello")));
  set->set_property(pst_property_value::of_bytes(0x10090102, pattern(3000, 1)));
  set->set_property(pst_property_value::of_u64(0x00390040, 0x01D5000011112222ull));
  // A body written through a node-database stream of two blocks.
  ref<pst_xstream<TypeParam>> body(new pst_xstream<TypeParam>(this->ndb.get()));
  auto text = pattern(pst_xstream<TypeParam>::chunk + 100, 3);
  body->write(text.data(), text.size());
  set->set_property(pst_property_value(0x10000102, ref<pst_const_stream>(body.get())));
  set->commit();
  this->add(0x200024, set->data_bid(), set->sub_bid(), 0x122);

  auto reader = this->reopen();
  decoded_pc pc = read_property_context(*reader, node_id(0x200024));
  EXPECT_EQ(pc.find(0x0E07)->hnid, 8u);
  EXPECT_EQ(pc.find(0x0037)->bytes, set->get_property(0x37)->size() == 5 ? std::vector<uint8_t>({'H', 'e', 'l', 'l', 'o'})
                                                                          : std::vector<uint8_t>({'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0}));
  EXPECT_EQ(pc.find(0x1009)->kind, pc_value_kind::subnode);
  EXPECT_EQ(pc.find(0x1009)->bytes, pattern(3000, 1));
  EXPECT_EQ(pc.find(0x1000)->kind, pc_value_kind::subnode);
  EXPECT_EQ(pc.find(0x1000)->bytes, text);
  EXPECT_EQ(get_le<uint64_t>(pc.find(0x0039)->bytes.data()), 0x01D5000011112222ull);

  // The loader of a store opened for reading takes the in-heap values.
  auto back = make_ref<set_t>(reader.get(), 0x200024);
  ASSERT_TRUE(back->load_node(*reader, node_id(0x200024)));
  EXPECT_EQ(back->get_property(0x0E07)->as_u64(), 8u);
  EXPECT_EQ(back->get_property(0x0039)->as_u64(), 0x01D5000011112222ull);
  EXPECT_EQ(back->get_property(0x1009), nullptr);
  EXPECT_FALSE(back->load_node(*reader, node_id(0x200044)));
}

TYPED_TEST(NdbRoundTrip, MultiBlockPropertyContextUsesADataTree) {
  using set_t = typename TestFixture::set_t;
  auto set = make_ref<set_t>(this->ndb.get(), 0x61);
  for (uint16_t i = 0; i < 700; ++i) set->set_property(pst_property_value::of_u64(make_tag(0x2000 + i, 0x0040), i));
  set->commit();
  EXPECT_TRUE(block_id<TypeParam>(set->data_bid()).internal());
  this->add(0x61, set->data_bid(), set->sub_bid());
  auto reader = this->reopen();
  decoded_pc pc = read_property_context(*reader, node_id(0x61));
  EXPECT_GE(pc.block_count, 2u);
  ASSERT_EQ(pc.properties.size(), 700u);
  EXPECT_EQ(get_le<uint64_t>(pc.properties[699].bytes.data()), 699u);
}

TYPED_TEST(NdbRoundTrip, TablesSmallAndLarge) {
  const bool unicode = sizeof(TypeParam) == 8;
  const uint16_t str = unicode ? 0x001F : 0x001E;
  // The receive folder table: one row.
  pst_tc<TypeParam> small(this->ndb.get(), 0x62B, tc_template_columns(0x62B, unicode));
  small.add_row(0x62B);
  small.set_cell(0, 0x66050003, 0x122);
  small.set_cell(0, make_tag(0x001A, str), 0);
  auto r1 = small.commit();
  this->add(0x62B, r1.data_bid, r1.sub_bid);
  // A contents-like table of 3000 rows: heap of many blocks, two-level row
  // index, row matrix in subnode 0x3F, large cells in subnodes.
  pst_tc<TypeParam> large(this->ndb.get(), 0x802E, {make_tag(0x0037, str), 0x0E070003, 0x0E300102});
  for (uint32_t i = 0; i < 3000; ++i) {
    uint32_t row = large.add_row(0x200004 + i * 32);
    auto subject = pattern(100 + i % 50, static_cast<uint8_t>(i));
    large.set_cell_value(row, make_tag(0x0037, str), pst_property_value(make_tag(0x0037, str), subject.data(), subject.size()));
    large.set_cell(row, 0x0E070003, i);
    if (i % 500 == 0) {
      auto big = pattern(900, static_cast<uint8_t>(i));
      large.set_cell_value(row, 0x0E300102, pst_property_value(0x0E300102, big.data(), big.size()));
    }
  }
  auto r2 = large.commit();
  this->add(0x802E, r2.data_bid, r2.sub_bid);
  // A template written as it stands.
  auto image = tc_template_image<TypeParam>(tc_template_columns(0x60E, unicode));
  auto bid = this->ndb->write_block(block_kind::tc_heap, image.data(), image.size());
  this->add(0x60E, bid.value(), 0);

  auto reader = this->reopen();
  decoded_tc t1 = read_table_context(*reader, node_id(0x62B));
  ASSERT_EQ(t1.rows.size(), 1u);
  EXPECT_EQ(t1.cell(0, 0x66050003), 0x122u);
  EXPECT_EQ(t1.cell(0, tc_tag_row_id), 0x62Bu);

  decoded_tc t2 = read_table_context(*reader, node_id(0x802E));
  ASSERT_EQ(t2.rows.size(), 3000u);
  EXPECT_EQ(t2.row_index_header.index_levels, 1);
  EXPECT_EQ(t2.hid_rows, 0x3Fu);
  EXPECT_GT(t2.block_count, 30u);
  for (uint32_t i = 0; i < 3000; i += 123) {
    EXPECT_EQ(t2.cell(i, 0x0E070003), i);
    EXPECT_EQ(*t2.cell_bytes(i, make_tag(0x0037, str)), pattern(100 + i % 50, static_cast<uint8_t>(i)));
  }
  EXPECT_EQ(*t2.cell_bytes(1500, 0x0E300102), pattern(900, static_cast<uint8_t>(1500)));
  EXPECT_FALSE(t2.has_cell(1501, 0x0E300102));

  decoded_tc t3 = read_table_context(*reader, node_id(0x60E));
  EXPECT_EQ(t3.layout.columns.size(), 28u);
  EXPECT_TRUE(t3.rows.empty());
}

TYPED_TEST(NdbRoundTrip, NamedPropertyMap) {
  using map_t = pst_name_to_id_map<TypeParam, chartype_of<TypeParam>>;
  auto map = make_ref<map_t>(this->ndb.get());
  EXPECT_EQ(map->lookup_or_add({ps_public_strings.data(), 1, 0, u"X-Mailer-Thing"}), 0x812C);
  map->commit();
  this->add(0x61, map->data_bid(), map->sub_bid());
  auto reader = this->reopen();
  decoded_pc pc = read_property_context(*reader, node_id(0x61));
  name_map_streams s{pc.find(0x0002)->bytes, pc.find(0x0003)->bytes, pc.find(0x0004)->bytes};
  EXPECT_EQ(s.entries.size(), 301u * 8);
  auto loaded = make_ref<map_t>(static_cast<pst_node_writer<TypeParam>*>(nullptr), false);
  ASSERT_TRUE(loaded->load_streams(s));
  EXPECT_EQ(loaded->lookup_or_add({ps_public_strings.data(), 1, 0, u"X-Mailer-Thing"}), 0x812C);
  EXPECT_EQ(loaded->lookup_or_add({ps_public_strings.data(), 1, 0, u"Keywords"}), 0x803C);
}

}  // namespace
}  // namespace vendrel::test
