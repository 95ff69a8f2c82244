#include "ltp/table_templates.h"

#include "ltp/property_value.h"

namespace vendrel {

namespace {

struct template_columns {
  uint32_t nid;
  std::vector<uint32_t> tags;
};

const std::vector<template_columns>& templates() {
  static const std::vector<template_columns> sets = {
      {0x60D,
       {0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001E, 0x36020003, 0x36030003, 0x360A000B,
        0x3613001E, 0x66350003, 0x66360003}},
      {0x60E,
       {0x00170003, 0x001A001E, 0x00360003, 0x0037001E, 0x00390040, 0x0042001E, 0x0057000B, 0x0058000B,
        0x0070001F, 0x00710102, 0x0E03001E, 0x0E04001E, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003,
        0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3C0102, 0x0E3D0102, 0x10970003, 0x30080040,
        0x30130102, 0x65C60003}},
      {0x60F,
       {0x001A001E, 0x0E070003, 0x0E170003, 0x3001001E, 0x6800001E, 0x6803000B, 0x68051003, 0x682F001E,
        0x70030003, 0x70040102, 0x70050102, 0x7006001E, 0x70070003}},
      {0x610,
       {0x00170003, 0x001A001E, 0x00360003, 0x0037001E, 0x0042001E, 0x0057000B, 0x0058000B, 0x0E03001E,
        0x0E04001E, 0x0E05001E, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003, 0x0E2A000B, 0x30080040,
        0x67F10003}},
      {0x64C, {0x00390040, 0x0E100003, 0x0E140003}},
      {0x671, {0x0E200003, 0x3704001E, 0x37050003, 0x370B0003, 0x7FFE000B, 0x7FFF000B}},
      {0x692,
       {0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001E, 0x3002001E, 0x3003001E,
        0x300B0102, 0x39000003, 0x39FF001E, 0x3A40000B, 0x5FF6001E, 0x5FF70102, 0x5FFD0003, 0x5FFF0003}},
      {0x6B6, {0x0E330014, 0x0E370102, 0x0E380003}},
      {0x6D7, {0x001A001F, 0x0E300102, 0x0E310102, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3E0102}},
      {0x6F8, {0x0E330014, 0x30070040}},
      {0x62B, {0x66050003, 0x001A001E}},
  };
  return sets;
}

}  // namespace

const std::vector<uint32_t>& tc_template_nids() {
  static const std::vector<uint32_t> nids = {0x60D, 0x60E, 0x60F, 0x610, 0x64C, 0x671, 0x692, 0x6B6, 0x6D7, 0x6F8};
  return nids;
}

std::vector<uint32_t> tc_template_columns(uint32_t nid, bool unicode) {
  for (const auto& t : templates()) {
    if (t.nid != nid) continue;
    std::vector<uint32_t> out = t.tags;
    for (uint32_t& tag : out) {
      const uint16_t type = tag_type(tag);
      if (type == prop_type::string8 || type == prop_type::unicode)
        tag = make_tag(tag_id(tag), unicode ? prop_type::unicode : prop_type::string8);
    }
    return out;
  }
  return {};
}

}  // namespace vendrel
