#include "items/rtf_container.h"

#include <algorithm>

#include "common/errors.h"

namespace vendrel {

namespace {

void put_u32(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> make_uncompressed_rtf_container(std::string_view raw_rtf) {
  if (raw_rtf.size() > UINT32_MAX - rtf_compsize_extra)
    throw qm_invalid_arg("RTF body too large for the compressed-RTF container");
  const auto raw_size = static_cast<uint32_t>(raw_rtf.size());
  std::vector<uint8_t> out(rtf_container_header_size + raw_rtf.size());
  put_u32(out, 0, raw_size + rtf_compsize_extra);                // COMPSIZE
  put_u32(out, 4, raw_size);                                     // RAWSIZE
  put_u32(out, 8, rtf_comptype_uncompressed);                    // COMPTYPE
  put_u32(out, 12, 0);  // CRC: 0 in the uncompressed form ([MS-OXRTFCP] 2.1.3.1.1)
  std::copy(raw_rtf.begin(), raw_rtf.end(), out.begin() + rtf_container_header_size);
  return out;
}

}  // namespace vendrel
