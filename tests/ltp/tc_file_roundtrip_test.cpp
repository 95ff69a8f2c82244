// Table contexts committed into a real file through the node database, the
// file committed, walked and reopened, and every table decoded by the strict
// reader and compared cell by cell and row-index entry by entry with a model
// of what was set: 0 rows (the template path), 1, 127, 128, 129 and 20,000
// rows, with string and binary cells on both sides of 512 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <set>

#include "common/errors.h"
#include "file_roundtrip_support.h"
#include "ltp/property_set.h"
#include "ltp/table_context.h"
#include "ltp/table_templates.h"
#include "ltp/tc_reader.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

// What a column holds: a value in the row of the given width, or an HNID
// naming bytes.
struct column_spec {
  uint32_t tag;
  uint8_t width;  // the cell's width in the row
  bool in_row;
};

template <typename bidtype>
std::vector<column_spec> table_columns() {
  const uint16_t str = sizeof(bidtype) == 8 ? prop_type::unicode : prop_type::string8;
  return {
      {make_tag(0x0037, str), 4, false},
      {0x10090102, 4, false},
      {0x0E070003, 4, true},
      {0x40010002, 2, true},
      {0x0057000B, 1, true},
      {0x00390040, 8, true},
      {0x0E330014, 8, true},
      // Fixed 8-byte values sit in the row ([MS-PST] 2.3.4.4.1).
      {0x40020005, 8, true},
      {0x40030006, 8, true},
      {0x40040007, 8, true},
      {0x4005000A, 4, true},
      {0x40060048, 4, false},
      {0x40071003, 4, false},
      {make_tag(0x4008, prop_type::multi | str), 4, false},
      {0x4009000D, 4, false},
  };
}

// A cell as the model expects it.
struct cell_model {
  bool present = false;
  uint64_t value = 0;          // in-row cells
  std::vector<uint8_t> bytes;  // HNID cells
};

template <typename bidtype>
class TcFileRoundTrip : public ::testing::Test {
 protected:
  static constexpr bool unicode = sizeof(bidtype) == 8;
  static constexpr uint16_t file_string = unicode ? prop_type::unicode : prop_type::string8;
  static constexpr uint16_t other_string = unicode ? prop_type::string8 : prop_type::unicode;
  using set_t = pst_property_set_impl<bidtype, file_chartype<bidtype>>;

  struct row_model {
    uint32_t id = 0;
    std::map<uint32_t, cell_model> cells;
  };

  // The string cell: code units of the file's string type, so that its byte
  // size meets 512 from both sides in either variant.
  static std::optional<size_t> string_units(size_t r, bool many) {
    if (r % 11 == 10) return std::nullopt;
    if (many) return r % 97 == 5 ? 700 + r % 5 : (r * 37) % 200;
    static const size_t ansi[] = {0, 1, 100, 511, 512, 513, 2000};
    static const size_t wide[] = {0, 1, 50, 255, 256, 257, 1000};
    return (unicode ? wide : ansi)[r % 7];
  }
  static std::optional<size_t> binary_size(size_t r, bool many) {
    if (r % 13 == 12) return std::nullopt;
    if (many) return r % 89 == 7 ? 600 + r % 3 : (r * 53) % 250;
    static const size_t sizes[] = {0, 1, 100, 511, 512, 513, 3000};
    return sizes[(r + 3) % 7];
  }

  // Builds row r of the model and puts it into the table, through
  // set_cell_value or (every third row) by filling it from a property set.
  row_model fill(pst_tc<bidtype>& t, uint32_t row_id, size_t r, bool many) {
    row_model m;
    m.id = row_id;
    const uint32_t row = t.add_row(row_id);
    EXPECT_EQ(row, r);
    auto source = make_ref<set_t>(static_cast<pst_node_writer<bidtype>*>(nullptr), 0);
    const bool from_set = r % 3 == 0;
    size_t column_index = 0;
    for (const column_spec& c : table_columns<bidtype>()) {
      ++column_index;
      const uint16_t type = tag_type(c.tag);
      std::optional<pst_property_value> value;
      cell_model cell;
      const uint32_t seed = static_cast<uint32_t>(r * 131 + column_index);
      if (type == file_string) {
        auto units = string_units(r, many);
        if (units) {
          const std::string text = ascii_text(*units, seed);
          // Every fourth row hands the cell over in the other string type.
          const uint16_t given = r % 4 == 1 ? other_string : file_string;
          value = given == prop_type::unicode ? pst_property_value::of_string(make_tag(tag_id(c.tag), given), utf16(text))
                                              : pst_property_value::of_string(make_tag(tag_id(c.tag), given), text);
          cell.bytes = unicode ? utf16le(utf16(text)) : bytes_of(text);
        }
      } else if (type == prop_type::binary) {
        auto size = binary_size(r, many);
        if (size) {
          cell.bytes = random_bytes(*size, seed);
          value = pst_property_value(c.tag, cell.bytes.data(), cell.bytes.size());
        }
      } else if ((r + column_index) % 5 != 0) {
        if (c.in_row) {
          const uint64_t bits = (uint64_t{seed} * 0x9E3779B97F4A7C15ull) ^ (uint64_t{r} << 7);
          const size_t width = c.width;
          const uint64_t v = type == prop_type::boolean ? (r & 1) : width == 8 ? bits : bits & ((1ull << (8 * width)) - 1);
          auto b = le_bytes<uint64_t>(v, width);
          value = pst_property_value(c.tag, b.data(), b.size());
          cell.value = v;
        } else {
          cell.bytes = random_bytes(type == prop_type::clsid ? 16 : 4 + (r % 5) * 4, seed);
          value = pst_property_value(c.tag, cell.bytes.data(), cell.bytes.size());
        }
      }
      if (value) {
        cell.present = true;
        if (from_set)
          source->set_property(*value);
        else
          t.set_cell_value(row, c.tag, *value);
      }
      m.cells[c.tag] = std::move(cell);
    }
    if (from_set) t.fill_row(row, *source);
    return m;
  }

  // Row IDs in no particular order, no two alike.
  static std::vector<uint32_t> row_ids(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::set<uint32_t> seen;
    std::vector<uint32_t> out;
    while (out.size() < n) {
      uint32_t id = static_cast<uint32_t>(gen());
      if (seen.insert(id).second) out.push_back(id);
    }
    return out;
  }

  // Checks a decoded table against the model, cell by cell.
  void expect_table(const decoded_tc& t, const std::vector<row_model>& rows) {
    std::vector<uint32_t> listed;
    for (const auto& c : table_columns<bidtype>()) listed.push_back(c.tag);
    ASSERT_EQ(t.layout.columns.size(), listed.size() + 2);
    for (const auto& c : table_columns<bidtype>()) {
      const tc_column* col = t.layout.find(c.tag);
      ASSERT_NE(col, nullptr) << std::hex << c.tag;
      EXPECT_EQ(col->tag, c.tag);
      EXPECT_EQ(col->width, c.width) << std::hex << c.tag;
    }

    // The row index: every row ID with its row number, ascending.
    std::vector<std::pair<uint32_t, uint32_t>> index;
    for (size_t r = 0; r < rows.size(); ++r) index.emplace_back(rows[r].id, static_cast<uint32_t>(r));
    std::sort(index.begin(), index.end());
    ASSERT_EQ(t.row_index.size(), index.size());
    for (size_t i = 0; i < index.size(); ++i) {
      EXPECT_EQ(t.row_index[i], index[i]) << "index entry " << i;
      if (t.row_index[i] != index[i]) break;
    }
    EXPECT_EQ(t.row_index_header.index_levels, rows.size() >= 128 ? 1 : 0);
    EXPECT_EQ(t.row_index_header.root == 0, rows.empty());

    ASSERT_EQ(t.rows.size(), rows.size());
    heap_view<bidtype> heap(t.heap_blocks);
    size_t mismatches = 0;
    for (size_t r = 0; r < rows.size() && mismatches < 10; ++r) {
      SCOPED_TRACE(::testing::Message() << "row " << r);
      EXPECT_EQ(t.cell(r, tc_tag_row_id), rows[r].id);
      EXPECT_EQ(t.cell(r, tc_tag_row_version), r + 10);
      for (const auto& c : table_columns<bidtype>()) {
        const cell_model& m = rows[r].cells.at(c.tag);
        const bool present = t.has_cell(r, c.tag);
        EXPECT_EQ(present, m.present) << std::hex << c.tag;
        if (!present || !m.present) {
          mismatches += present != m.present;
          continue;
        }
        const uint64_t raw = t.cell(r, c.tag);
        if (c.in_row) {
          EXPECT_EQ(raw, m.value) << std::hex << c.tag;
          mismatches += raw != m.value;
          continue;
        }
        const uint32_t hnid = static_cast<uint32_t>(raw);
        std::vector<uint8_t> bytes;
        if (m.bytes.empty()) {
          EXPECT_EQ(hnid, 0u) << std::hex << c.tag;
        } else if (m.bytes.size() <= 512) {
          ASSERT_TRUE(is_hid(hnid)) << std::hex << c.tag << " " << hnid;
          auto b = heap.at(hnid, "cell");
          bytes.assign(b.begin(), b.end());
        } else {
          ASSERT_EQ(hnid & 0x1F, nid_type::internal) << std::hex << c.tag << " " << hnid;
          auto b = t.subnodes(hnid);
          ASSERT_TRUE(b) << std::hex << hnid;
          bytes = std::move(*b);
        }
        EXPECT_TRUE(bytes == m.bytes) << std::hex << c.tag << std::dec << ": " << bytes.size() << " bytes, expected "
                                      << m.bytes.size();
        mismatches += bytes != m.bytes;
      }
    }
    EXPECT_EQ(mismatches, 0u);
  }

  // Every heap block but the last has its fill level in the HNHDR (blocks
  // 0-7) or in the bitmap header of block 8, 136, ...; the last one's is 0.
  static void expect_fill_levels(const std::vector<std::vector<uint8_t>>& blocks) {
    for (size_t b = 0; b < blocks.size() || b < 8; ++b) {
      const uint8_t expected = b + 1 < blocks.size() ? heap_fill_level(stored_heap_used_size(blocks[b])) : 0;
      uint8_t stored;
      if (b < 8) {
        stored = get_fill_nibble(hnhdr_layout::rgbFillLevel::at(blocks[0].data()), b);
      } else {
        if (b >= blocks.size()) break;
        const size_t g = governing_bitmap_block(b);
        stored = get_fill_nibble(hnbitmaphdr_layout::rgbFillLevel::at(blocks[g].data()), b - g);
      }
      EXPECT_EQ(stored, expected) << "block " << b << " of " << blocks.size();
    }
  }

  // The blocks of the row matrix's subnode: full blocks of whole rows but the last.
  static void expect_row_matrix_blocks(pst_ndb<bidtype>& ndb, const nbt_entry<bidtype>& node, size_t rows,
                                       size_t row_size) {
    auto entry = find_subnode(ndb, node.bid_sub, node_id(tc_row_matrix_nid));
    ASSERT_TRUE(entry);
    const size_t block = heap_block_size<bidtype>;
    const size_t per_block = block / row_size;
    const size_t count = (rows + per_block - 1) / per_block;
    std::vector<size_t> sizes;
    if (entry->bid_data.internal()) {
      auto tree = pst_data_tree<bidtype>::load(&ndb, entry->bid_data);
      for (size_t i = 0; i < tree.count(); ++i) sizes.push_back(tree.size(i));
    } else {
      sizes.push_back(ndb.load_block(entry->bid_data)->size());
    }
    ASSERT_EQ(sizes.size(), count);
    for (size_t i = 0; i + 1 < count; ++i) EXPECT_EQ(sizes[i], block) << "row matrix block " << i;
    EXPECT_EQ(sizes.back(), (rows - (count - 1) * per_block) * row_size);
  }

  void round_trip(size_t n, uint32_t seed) {
    SCOPED_TRACE(::testing::Message() << n << " rows");
    ndb_file<bidtype> file;
    const bool many = n > 1000;
    const uint32_t nid = file.new_nid(nid_type::contents_table);
    std::vector<uint32_t> listed;
    for (const auto& c : table_columns<bidtype>()) listed.push_back(c.tag);
    std::vector<row_model> rows;
    size_t row_size = 0;
    if (n == 0) {
      // Owners write tables without rows from the template path.
      auto image = tc_template_image<bidtype>(listed);
      file.add(nid, file->write_block(block_kind::tc_heap, image.data(), image.size()).value(), 0);
    } else {
      pst_tc<bidtype> t(file.get(), nid, listed);
      row_size = t.layout().row_size;
      const auto ids = row_ids(n, seed);
      for (size_t r = 0; r < n; ++r) rows.push_back(fill(t, ids[r], r, many));
      auto result = t.commit();
      file.add(nid, result.data_bid, result.sub_bid);
    }

    auto& reader = file.reopen();
    decoded_tc t = read_table_context(reader, node_id(nid));
    expect_table(t, rows);
    auto node = reader.lookup_node(node_id(nid));
    ASSERT_TRUE(node);
    const auto blocks = read_heap_blocks(reader, node->bid_data);
    expect_fill_levels(blocks);
    // The large table reaches the second bitmap block (136).
    if (many) {
      EXPECT_GT(blocks.size(), 137u);
    }
    if (n == 0) {
      EXPECT_EQ(t.hid_rows, 0u);
    } else if (n * row_size <= 512 && t.block_count == 1) {
      EXPECT_TRUE(is_hid(t.hid_rows));
    } else {
      EXPECT_EQ(t.hid_rows, tc_row_matrix_nid);
      expect_row_matrix_blocks(reader, *node, n, row_size);
    }
  }
};
TYPED_TEST_SUITE(TcFileRoundTrip, ltp_variants, ltp_variant_name);

TYPED_TEST(TcFileRoundTrip, SmallTables) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{127}, size_t{128}, size_t{129}})
    this->round_trip(n, static_cast<uint32_t>(n + 1));
}

// 20,000 rows: a heap of hundreds of blocks with bitmap headers, a row index
// of 157 leaves, a row matrix of hundreds of blocks and hundreds of subnodes.
TYPED_TEST(TcFileRoundTrip, TwentyThousandRows) { this->round_trip(20000, 7); }

// The templates the store writes for every new file, read back as empty
// tables of their column sets.
TYPED_TEST(TcFileRoundTrip, TemplatesReadBackAsEmptyTables) {
  constexpr bool unicode = TestFixture::unicode;
  ndb_file<TypeParam> file;
  for (uint32_t nid : tc_template_nids()) {
    auto image = tc_template_image<TypeParam>(tc_template_columns(nid, unicode));
    file.add(nid, file->write_block(block_kind::tc_heap, image.data(), image.size()).value(), 0);
  }
  auto& reader = file.reopen();
  for (uint32_t nid : tc_template_nids()) {
    SCOPED_TRACE(::testing::Message() << std::hex << nid);
    decoded_tc t = read_table_context(reader, node_id(nid));
    const auto listed = tc_template_columns(nid, unicode);
    EXPECT_EQ(t.layout.columns.size(), listed.size() + 2);
    for (uint32_t tag : listed) EXPECT_NE(t.layout.find(tag), nullptr) << std::hex << tag;
    EXPECT_TRUE(t.rows.empty());
    EXPECT_TRUE(t.row_index.empty());
    EXPECT_EQ(t.row_index_header.root, 0u);
    EXPECT_EQ(t.hid_rows, 0u);
  }
}

// Cells given as streams and as strings outside ASCII in the other string
// type: copied into the table's own subnodes, converted to the column's type.
TYPED_TEST(TcFileRoundTrip, StreamAndConvertedStringCells) {
  constexpr bool unicode = TestFixture::unicode;
  ndb_file<TypeParam> file;
  const uint32_t nid = file.new_nid(nid_type::contents_table);
  const uint32_t str_tag = make_tag(0x0037, TestFixture::file_string);
  pst_tc<TypeParam> t(file.get(), nid, {str_tag, 0x10090102});
  const std::u16string wide = u"Gr\u00FC\u00DFe \u20ACuro \u65E5\u672C";
  const std::string narrow = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC" "uro \xE6\x97\xA5\xE6\x9C\xAC";
  const bool utf8_page = platform::host_code_page() == 65001;
  std::vector<std::vector<uint8_t>> streamed;
  for (size_t size : {size_t{10}, size_t{512}, size_t{513}, size_t{20000}}) {
    const uint32_t row = t.add_row(static_cast<uint32_t>(0x100 + size));
    ref<pst_xstream<TypeParam>> stream(new pst_xstream<TypeParam>(file.get()));
    streamed.push_back(random_bytes(size, static_cast<uint32_t>(size)));
    stream->write(streamed.back().data(), size);
    t.set_cell_value(row, 0x10090102, pst_property_value(0x10090102, ref<pst_const_stream>(stream.get())));
    // The stream's own blocks are the caller's: written here as a node of their own.
    file.add(file.new_nid(nid_type::internal), stream->commit().value(), 0);
    if (unicode)
      t.set_cell_value(row, str_tag, pst_property_value::of_string(make_tag(0x0037, prop_type::string8), narrow));
    else
      t.set_cell_value(row, str_tag, pst_property_value::of_string(make_tag(0x0037, prop_type::unicode), wide));
  }
  auto result = t.commit();
  file.add(nid, result.data_bid, result.sub_bid);

  auto& reader = file.reopen();
  decoded_tc d = read_table_context(reader, node_id(nid));
  ASSERT_EQ(d.rows.size(), streamed.size());
  const std::vector<uint8_t> converted =
      unicode ? utf16le(utf8_page ? wide : platform::multibyte_to_wide(0, narrow))
              : bytes_of(platform::wide_to_multibyte(platform::file_code_page(), wide));  // the file's code page
  for (size_t r = 0; r < streamed.size(); ++r) {
    SCOPED_TRACE(r);
    const uint32_t hnid = static_cast<uint32_t>(d.cell(r, 0x10090102));
    EXPECT_EQ(hnid & 0x1F, nid_type::internal);  // a stream always makes a subnode
    EXPECT_TRUE(*d.cell_bytes(r, 0x10090102) == streamed[r]);
    EXPECT_EQ(*d.cell_bytes(r, str_tag), converted);
  }
}

}  // namespace
}  // namespace vendrel::test
