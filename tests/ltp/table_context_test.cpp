#include "ltp/table_context.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "ltp/property_set.h"
#include "ltp/table_templates.h"
#include "ltp/tc_reader.h"
#include "ltp_test_support.h"

namespace vendrel::test {
namespace {

const tc_column& column(const tc_layout& layout, uint32_t tag) {
  const tc_column* c = layout.find(tag);
  EXPECT_NE(c, nullptr) << std::hex << tag;
  return *c;
}

TEST(TableLayout, HierarchyColumns) {
  tc_layout L = compute_tc_layout(tc_template_columns(0x60D, false));
  ASSERT_EQ(L.columns.size(), 13u);
  EXPECT_EQ(column(L, tc_tag_row_id).offset, 0);
  EXPECT_EQ(column(L, tc_tag_row_version).offset, 4);
  EXPECT_EQ(column(L, 0x0E330014).offset, 8);  // the one 8-byte cell follows the row columns
  EXPECT_EQ(column(L, 0x0E330014).width, 8);
  const tc_column& flag = column(L, 0x360A000B);
  EXPECT_EQ(flag.width, 1);
  EXPECT_EQ(flag.offset + 1, L.end_1b);  // the only 1-byte cell is last before the CEB
  EXPECT_EQ(L.end_4b, L.end_2b);          // no 2-byte cells
  EXPECT_EQ(L.end_1b, 4 + 4 + 8 + 4 * 9 + 1);
  EXPECT_EQ(L.row_size, L.end_1b + 2);
  for (size_t i = 1; i < L.columns.size(); ++i) EXPECT_LT(L.columns[i - 1].tag, L.columns[i].tag);
  EXPECT_EQ(column(L, tc_tag_row_id).bit, 0);
  EXPECT_EQ(column(L, tc_tag_row_version).bit, 1);
}

TEST(TableLayout, CellWidthsByType) {
  struct {
    uint16_t type;
    int width;  // 0: rejected
  } cases[] = {{0x0002, 2}, {0x0003, 4}, {0x0004, 4}, {0x0005, 8}, {0x0006, 8}, {0x0007, 8}, {0x000A, 4},
               {0x000B, 1}, {0x000D, 4}, {0x0014, 8}, {0x001E, 4}, {0x001F, 4}, {0x0040, 8}, {0x0048, 4},
               {0x0102, 4}, {0x1003, 4}, {0x101F, 4}, {0x0000, 0}, {0x0001, 0}, {0x00FB, 0}};
  for (const auto& c : cases) {
    if (c.width)
      EXPECT_EQ(tc_cell_width(c.type), c.width) << c.type;
    else
      EXPECT_THROW(tc_cell_width(c.type), qm_invalid_arg) << c.type;
  }
  EXPECT_THROW(compute_tc_layout({0x30010001}), qm_invalid_arg);
}

TEST(TableLayout, TemplatesTakeTheFileStringType) {
  EXPECT_EQ(tc_template_nids().size(), 10u);
  for (uint32_t nid : tc_template_nids()) {
    for (bool unicode : {false, true}) {
      auto cols = tc_template_columns(nid, unicode);
      ASSERT_FALSE(cols.empty()) << nid;
      for (uint32_t tag : cols) {
        EXPECT_NE(tag_type(tag), unicode ? 0x001E : 0x001F) << std::hex << nid << " " << tag;
      }
      EXPECT_NO_THROW(compute_tc_layout(cols));
    }
  }
  EXPECT_EQ(tc_template_columns(0x60E, false).size(), 26u);
  EXPECT_EQ(tc_template_columns(0x62B, true), (std::vector<uint32_t>{0x66050003, 0x001A001F}));
  EXPECT_TRUE(tc_template_columns(0x123, true).empty());
}

template <typename bidtype>
using chartype_of = std::conditional_t<sizeof(bidtype) == 4, char, char16_t>;

template <typename bidtype>
class TableContext : public ::testing::Test {
 protected:
  memory_blocks<bidtype> store;
  std::unique_ptr<pst_tc<bidtype>> table(const std::vector<uint32_t>& tags) {
    return std::make_unique<pst_tc<bidtype>>(static_cast<pst_node_writer<bidtype>*>(&store), 0x12D, tags);
  }
  decoded_tc commit_and_decode(pst_tc<bidtype>& t) {
    auto r = t.commit();
    return decode_table_context<bidtype>(store.heap_blocks(r.data_bid), store.resolver(r.sub_bid));
  }
};
TYPED_TEST_SUITE(TableContext, ltp_variants, ltp_variant_name);

TYPED_TEST(TableContext, TemplateImageIsAnEmptyTable) {
  auto image = tc_template_image<TypeParam>(tc_template_columns(0x60D, sizeof(TypeParam) == 8));
  decoded_tc tc = decode_table_context<TypeParam>({image});
  EXPECT_EQ(tc.layout.columns.size(), 13u);
  EXPECT_EQ(tc.row_index_header, (bth_header{0xB5, 4, tc_row_number_size<TypeParam>, 0, 0}));
  EXPECT_EQ(tc.hid_row_index, 0x20u);
  EXPECT_EQ(tc.hid_rows, 0u);
  EXPECT_TRUE(tc.rows.empty());
  EXPECT_EQ(hnhdr_layout::hidUserRoot::get(image.data()), 0x40u);
}

TYPED_TEST(TableContext, RowsCarryIdVersionAndCells) {
  auto t = this->table(tc_template_columns(0x60D, sizeof(TypeParam) == 8));
  for (uint32_t id : {0x8022u, 0x8042u, 0x8062u}) t->add_row(id);
  EXPECT_EQ(t->set_cell(1, 0x36020003, 17), column(t->layout(), 0x36020003).offset);
  EXPECT_EQ(t->set_cell(1, 0x12340003, 1), -1);  // no such column: ignored
  EXPECT_THROW(t->set_cell(3, 0x36020003, 1), qm_invalid_arg);
  EXPECT_THROW(t->get_cell(3, 0x36020003), qm_invalid_arg);
  EXPECT_EQ(t->get_cell(1, 0x36020003), 17u);
  EXPECT_EQ(t->get_cell(0, 0x36020003), 0u);
  EXPECT_FALSE(t->has_cell(0, 0x36020003));

  decoded_tc tc = this->commit_and_decode(*t);
  ASSERT_EQ(tc.rows.size(), 3u);
  for (uint32_t r = 0; r < 3; ++r) EXPECT_EQ(tc.cell(r, tc_tag_row_version), 10u + r);
  EXPECT_EQ(tc.cell(2, tc_tag_row_id), 0x8062u);
  EXPECT_EQ(tc.cell(1, 0x36020003), 17u);
  EXPECT_FALSE(tc.has_cell(0, 0x36020003));
  EXPECT_EQ(tc.row_index, (std::vector<std::pair<uint32_t, uint32_t>>{{0x8022, 0}, {0x8042, 1}, {0x8062, 2}}));
  EXPECT_EQ(tc.row_index_header.index_levels, 0);
  EXPECT_TRUE(is_hid(tc.hid_rows));  // 3 x 55 bytes stay in the heap
}

TYPED_TEST(TableContext, TableWithoutRowsCannotCommit) {
  auto t = this->table({0x3001001E});
  EXPECT_THROW(t->commit(), qm_invalid_arg);
}

TYPED_TEST(TableContext, RepeatedRowIdMapsToTheNewestRow) {
  auto t = this->table({0x36020003});
  t->add_row(5);
  t->add_row(5);
  EXPECT_EQ(t->row_number(5), 1u);
  decoded_tc tc = this->commit_and_decode(*t);
  EXPECT_EQ(tc.rows.size(), 2u);
  EXPECT_EQ(tc.row_index, (std::vector<std::pair<uint32_t, uint32_t>>{{5, 1}}));
}

TYPED_TEST(TableContext, RowIndexLevels) {
  struct {
    size_t rows;
    uint8_t levels;
  } cases[] = {{1, 0}, {127, 0}, {128, 1}, {129, 1}, {1000, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    memory_blocks<TypeParam> store;
    pst_tc<TypeParam> t(static_cast<pst_node_writer<TypeParam>*>(&store), 0x12E, {0x36020003});
    // Row IDs in descending order: the index sorts them.
    for (size_t i = 0; i < c.rows; ++i) t.add_row(static_cast<uint32_t>((c.rows - i) * 32 + 4));
    auto r = t.commit();
    decoded_tc tc = decode_table_context<TypeParam>(store.heap_blocks(r.data_bid), store.resolver(r.sub_bid));
    EXPECT_EQ(tc.row_index_header.index_levels, c.levels);
    ASSERT_EQ(tc.row_index.size(), c.rows);
    EXPECT_EQ(tc.row_index.front().first, 36u);
    EXPECT_EQ(tc.row_index.front().second, c.rows - 1);
    EXPECT_EQ(tc.rows.size(), c.rows);
    if (c.levels == 1) {
      heap_view<TypeParam> view(store.heap_blocks(r.data_bid));
      EXPECT_EQ(view.at(tc.row_index_header.root, "t").size(), ((c.rows + 127) / 128) * 8);
    }
  }
}

TYPED_TEST(TableContext, RowMatrixMovesIntoSubnode3FAbove512Bytes) {
  // Row ID, version and one 4-byte cell: 12 bytes plus 1 CEB byte = 13.
  for (size_t rows : {39u, 40u}) {
    SCOPED_TRACE(rows);
    memory_blocks<TypeParam> store;
    pst_tc<TypeParam> t(static_cast<pst_node_writer<TypeParam>*>(&store), 0x12E, {0x36020003});
    ASSERT_EQ(t.layout().row_size, 13);
    for (size_t i = 0; i < rows; ++i) t.add_row(static_cast<uint32_t>(i + 1));
    auto r = t.commit();
    decoded_tc tc = decode_table_context<TypeParam>(store.heap_blocks(r.data_bid), store.resolver(r.sub_bid));
    EXPECT_EQ(tc.rows.size(), rows);
    if (rows * 13 <= 512) {
      EXPECT_TRUE(is_hid(tc.hid_rows));
      EXPECT_EQ(r.sub_bid, 0u);
    } else {
      EXPECT_EQ(tc.hid_rows, 0x3Fu);
      EXPECT_EQ(store.subnodes(r.sub_bid).front().nid, 0x3Fu);
    }
  }
}

TYPED_TEST(TableContext, RowMatrixBlocksNeverSplitARow) {
  // 26 columns: 101 bytes of cells and 4 CEB bytes.
  std::vector<uint32_t> tags;
  for (uint16_t i = 0; i < 23; ++i) tags.push_back(make_tag(0x6700 + i, 0x0003));
  tags.push_back(0x6800000B);
  memory_blocks<TypeParam> store;
  pst_tc<TypeParam> t(static_cast<pst_node_writer<TypeParam>*>(&store), 0x12E, tags);
  const size_t row_size = t.layout().row_size;
  ASSERT_EQ(row_size, 105u);
  const size_t per_block = heap_block_size<TypeParam> / row_size;
  for (size_t i = 0; i < per_block + 3; ++i) {
    t.add_row(static_cast<uint32_t>(i + 1));
    t.set_cell(static_cast<uint32_t>(i), 0x67160003, i);
  }
  auto r = t.commit();
  const auto& entry = store.subnodes(r.sub_bid).front();
  // Two data blocks under a data tree: a full one, then the last rows.
  ASSERT_EQ(store.trees.count(entry.data_bid), 1u);
  EXPECT_EQ(store.trees.at(entry.data_bid).size(), 2u);
  const std::vector<uint8_t> stream = store.node_data(entry.data_bid);
  EXPECT_EQ(stream.size(), heap_block_size<TypeParam> + 3 * row_size);
  // The first row of the second block starts at the block boundary.
  EXPECT_EQ(get_le<uint32_t>(stream.data() + heap_block_size<TypeParam>), per_block + 1);
  decoded_tc tc = decode_table_context<TypeParam>(store.heap_blocks(r.data_bid), store.resolver(r.sub_bid));
  ASSERT_EQ(tc.rows.size(), per_block + 3);
  for (size_t i = 0; i < tc.rows.size(); ++i) EXPECT_EQ(tc.cell(i, 0x67160003), i);
}

// A table that writes its full chunks early holds one block of rows in
// memory, and commits the same rows as one that keeps them all.
TYPED_TEST(TableContext, FullChunksWrittenEarlyGiveTheSameTable) {
  const std::vector<uint32_t> tags = {0x36020003, 0x0E070003};
  auto fill = [&](pst_tc<TypeParam>& t, size_t rows) {
    for (size_t i = 0; i < rows; ++i) {
      const uint32_t row = t.add_row(static_cast<uint32_t>(0x200 + 0x20 * i));
      t.set_cell(row, 0x36020003, i * 7);
      t.set_cell(row, 0x0E070003, i % 3);
    }
  };
  memory_blocks<TypeParam> kept_store, early_store;
  pst_tc<TypeParam> kept(static_cast<pst_node_writer<TypeParam>*>(&kept_store), 0x12E, tags);
  pst_tc<TypeParam> early(static_cast<pst_node_writer<TypeParam>*>(&early_store), 0x12E, tags);
  early.write_full_chunks_early();
  const size_t per_block = heap_block_size<TypeParam> / kept.layout().row_size;
  const size_t rows = 3 * per_block + 5;
  fill(kept, rows);
  fill(early, rows);
  EXPECT_EQ(early_store.blocks.size(), 3u) << "three full chunks written before the commit";
  EXPECT_THROW(early.row(0), qm_invalid_call);
  EXPECT_EQ(get_le<uint32_t>(early.row(static_cast<uint32_t>(rows - 1))), 0x200 + 0x20 * (rows - 1));
  auto a = kept.commit();
  auto b = early.commit();
  decoded_tc x = decode_table_context<TypeParam>(kept_store.heap_blocks(a.data_bid), kept_store.resolver(a.sub_bid));
  decoded_tc y = decode_table_context<TypeParam>(early_store.heap_blocks(b.data_bid), early_store.resolver(b.sub_bid));
  EXPECT_EQ(x.rows, y.rows);
  EXPECT_EQ(x.row_index, y.row_index);
  ASSERT_EQ(y.rows.size(), rows);
}

TEST(TableRowMatrix, AnsiBlockOf100ByteRowsHolds81Rows) {
  EXPECT_EQ(heap_block_size<uint32_t> / 100, 81u);
  EXPECT_EQ(heap_block_size<uint64_t> / 100, 81u);
}

TYPED_TEST(TableContext, CellValuesByTypeAndSize) {
  using set_t = pst_property_set_impl<TypeParam, chartype_of<TypeParam>>;
  const uint16_t str = file_string_type<chartype_of<TypeParam>>;
  std::vector<uint32_t> tags = {0x0E070003, 0x0E330014, 0x0E1B000B, 0x0E170002, 0x00390040,
                                make_tag(0x0037, str), 0x00710102, 0x0E300102, 0x30130102, 0x00360003};
  auto t = this->table(tags);
  auto source = make_ref<set_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), 0x200004);
  source->set_property(pst_property_value::of_u32(0x0E070003, 0x11223344));
  source->set_property(pst_property_value::of_u64(0x0E330014, 0x0102030405060708ull));
  source->set_property(pst_property_value::of_bool(0x0E1B000B, true));
  uint8_t minus_one[2] = {0xFF, 0xFF};
  source->set_property(pst_property_value(0x0E170002, minus_one, 2));
  source->set_property(pst_property_value::of_u64(0x00390040, 0x01D0000000000000ull));
  source->set_property(pst_property_value::of_string(0x0037001E, std::string("subject")));
  source->set_property(pst_property_value::of_bytes(0x00710102, pattern(512, 1)));
  source->set_property(pst_property_value::of_bytes(0x0E300102, pattern(513, 2)));
  source->set_property(pst_property_value::of_bytes(0x30130102, {}));
  // 0x0036 is missing: its cell stays unset.
  uint32_t row = t->add_row(0x200004);
  t->fill_row(row, *source);
  decoded_tc tc = this->commit_and_decode(*t);
  EXPECT_EQ(tc.cell(0, 0x0E070003), 0x11223344u);
  EXPECT_EQ(tc.cell(0, 0x0E330014), 0x0102030405060708ull);
  EXPECT_EQ(tc.cell(0, 0x0E1B000B), 1u);
  EXPECT_EQ(tc.cell(0, 0x0E170002), 0xFFFFu);
  EXPECT_EQ(tc.cell(0, 0x00390040), 0x01D0000000000000ull);
  EXPECT_FALSE(tc.has_cell(0, 0x00360003));
  EXPECT_TRUE(tc.has_cell(0, 0x30130102));
  EXPECT_EQ(tc.cell(0, 0x30130102), 0u);
  const uint32_t small = static_cast<uint32_t>(tc.cell(0, 0x00710102));
  const uint32_t large = static_cast<uint32_t>(tc.cell(0, 0x0E300102));
  EXPECT_TRUE(is_hid(small));
  EXPECT_EQ(large & 0x1F, 0x1Fu);
  EXPECT_EQ(*tc.cell_bytes(0, 0x00710102), pattern(512, 1));
  EXPECT_EQ(*tc.cell_bytes(0, 0x0E300102), pattern(513, 2));
  const pst_property_value* subject = source->get_property(0x37);
  EXPECT_EQ(subject->size(), sizeof(TypeParam) == 8 ? 14u : 7u);
  EXPECT_EQ(*tc.cell_bytes(0, make_tag(0x0037, str)),
            std::vector<uint8_t>(subject->data(), subject->data() + subject->size()));
}

TYPED_TEST(TableContext, FailingCellIsLoggedWithTheCallersText) {
  TempDir dir;
  log_capture log(dir / "log.txt");
  // A table without a node database cannot place a large cell.
  pst_tc<TypeParam> t(static_cast<pst_node_writer<TypeParam>*>(nullptr), 0x12E, {0x0E300102});
  using set_t = pst_property_set_impl<TypeParam, chartype_of<TypeParam>>;
  auto source = make_ref<set_t>(static_cast<pst_node_writer<TypeParam>*>(nullptr), 0x24);
  source->set_property(pst_property_value::of_bytes(0x0E300102, pattern(600, 2)));
  t.add_row(1);
  EXPECT_THROW(t.fill_row(0, *source), qm_invalid_call);
  EXPECT_EQ(log.count("set_prop failed [size=600,tag=E300102]"), 1u);
  EXPECT_THROW(t.fill_row(0, *source, [](size_t size, uint32_t tag) {
    logger().write_formatted("[PST] create_hierarchy_table : set_prop failed [size=%d,tag=%X]", int(size), tag);
  }), qm_invalid_call);
  EXPECT_EQ(log.count("[PST] create_hierarchy_table : set_prop failed [size=600,tag=E300102]"), 1u);
}

TYPED_TEST(TableContext, ManyRowsSpreadTheHeapOverBlocks) {
  // 2000 rows with a 300-byte string each: the strings fill many heap blocks,
  // the index gets two levels, the matrix goes to subnode 0x3F.
  const uint16_t str = file_string_type<chartype_of<TypeParam>>;
  auto t = this->table({make_tag(0x3001, str), 0x36020003});
  for (uint32_t i = 0; i < 2000; ++i) {
    uint32_t row = t->add_row(i * 32 + 2);
    auto bytes = pattern(300, static_cast<uint8_t>(i));
    t->set_cell_value(row, make_tag(0x3001, str), pst_property_value(make_tag(0x3001, str), bytes.data(), 300));
    t->set_cell(row, 0x36020003, i);
  }
  decoded_tc tc = this->commit_and_decode(*t);
  EXPECT_GT(tc.block_count, 60u);
  EXPECT_EQ(tc.row_index_header.index_levels, 1);
  EXPECT_EQ(tc.hid_rows, 0x3Fu);
  ASSERT_EQ(tc.rows.size(), 2000u);
  for (uint32_t i = 0; i < 2000; i += 97) {
    EXPECT_EQ(tc.cell(i, 0x36020003), i);
    EXPECT_EQ(*tc.cell_bytes(i, make_tag(0x3001, str)), pattern(300, static_cast<uint8_t>(i)));
  }
}

TYPED_TEST(TableContext, DecoderRejectsMalformedTables) {
  auto t = this->table({0x36020003});
  t->add_row(100);
  t->add_row(200);
  auto r = t->commit();
  const auto good = this->store.heap_blocks(r.data_bid);
  ASSERT_NO_THROW(decode_table_context<TypeParam>(good));
  heap_view<TypeParam> view(good);
  const size_t info_at = view.block(0).offsets()[1];
  const size_t rows_at = view.block(0).offsets()[hid_index(tcinfo_layout::hidRows::get(view.at(0x40, "t").data())) - 1];
  struct corruption {
    const char* what;
    size_t offset;
    uint8_t value;
  } cases[] = {
      {"client signature", 3, 0xBC},
      {"TCINFO type", info_at, 0x7D},
      {"TCINFO column count", info_at + 1, 4},
      {"row size", info_at + 8, 99},
      {"descriptor order", info_at + 22 + 3, 0xFF},  // first column's ID above the next
      {"row ID of a row", rows_at, 0x65},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto bad = good;
    bad[0][c.offset] = c.value;
    EXPECT_THROW(decode_table_context<TypeParam>(bad), qm_crf_error);
  }
}

}  // namespace
}  // namespace vendrel::test

namespace vendrel::test {
namespace {

TEST(TableRowLimit, AnsiRowNumbersAre16Bit) {
  memory_blocks<uint32_t> store;
  pst_tc<uint32_t> ansi(static_cast<pst_node_writer<uint32_t>*>(&store), 0x12E, {0x36020003});
  for (uint32_t i = 0; i < 0x10000; ++i) ansi.add_row(i);
  EXPECT_THROW(ansi.add_row(0x10000), qm_invalid_call);
  memory_blocks<uint64_t> wide_store;
  pst_tc<uint64_t> unicode(static_cast<pst_node_writer<uint64_t>*>(&wide_store), 0x12E, {0x36020003});
  for (uint32_t i = 0; i <= 0x10000; ++i) unicode.add_row(i);
  EXPECT_EQ(unicode.row_count(), 0x10001u);
}

}  // namespace
}  // namespace vendrel::test

namespace vendrel::test {
namespace {

TEST(TableRowIndex, IndexTooLargeForOneIntermediateArrayGetsAnotherLevel) {
  // 773 leaves of 128 rows: their links (6184 bytes) exceed one allocation.
  memory_blocks<uint64_t> store;
  pst_tc<uint64_t> t(static_cast<pst_node_writer<uint64_t>*>(&store), 0x12E, {0x36020003});
  const uint32_t rows = 128 * 773;
  for (uint32_t i = 0; i < rows; ++i) t.add_row(i * 32 + 4);
  auto r = t.commit();
  decoded_tc tc = decode_table_context<uint64_t>(store.heap_blocks(r.data_bid), store.resolver(r.sub_bid));
  EXPECT_EQ(tc.row_index_header.index_levels, 2);
  ASSERT_EQ(tc.row_index.size(), rows);
  EXPECT_EQ(tc.row_index.back(), (std::pair<uint32_t, uint32_t>{(rows - 1) * 32 + 4, rows - 1}));
}

}  // namespace
}  // namespace vendrel::test
