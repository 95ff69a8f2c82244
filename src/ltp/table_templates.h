// The column sets of the tables the store creates: the template tables
// written empty at store creation, whose sets are also those of every
// folder's hierarchy, contents and associated contents tables, and the
// receive folder table.
#pragma once

#include <cstdint>
#include <vector>

namespace vendrel {

namespace tc_template_nid {
inline constexpr uint32_t hierarchy = 0x60D;
inline constexpr uint32_t contents = 0x60E;
inline constexpr uint32_t associated_contents = 0x60F;
inline constexpr uint32_t search_contents = 0x610;
inline constexpr uint32_t t64c = 0x64C;
inline constexpr uint32_t attachment = 0x671;
inline constexpr uint32_t recipient = 0x692;
inline constexpr uint32_t t6b6 = 0x6B6;
inline constexpr uint32_t t6d7 = 0x6D7;
inline constexpr uint32_t t6f8 = 0x6F8;
inline constexpr uint32_t receive_folder = 0x62B;
}  // namespace tc_template_nid

// The template NIDs in creation order.
const std::vector<uint32_t>& tc_template_nids();

// The listed columns (without the two row columns) of the table at `nid`
// for a file whose strings are UTF-16 (`unicode`) or 8-bit: string columns
// take the file's string type. An unknown NID gives an empty list.
std::vector<uint32_t> tc_template_columns(uint32_t nid, bool unicode);

}  // namespace vendrel
