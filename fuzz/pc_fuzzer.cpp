// Property contexts over untrusted heap blocks: the checker's decoder and
// the read path's strict one, with the last chunk of the input as the data
// of every subnode a value names.
#include <cstddef>
#include <cstdint>

#include "check/node_decode.h"
#include "common/errors.h"
#include "ltp/pc_reader.h"
#include "read_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrel;
  fuzz::heap_input in = fuzz::split_heap_input(data, size);
  const subnode_access access = fuzz::heap_subnodes(in);
  diag d;
  if (auto pc = decode_pc(in.blocks, access, d)) (void)pc->text(0x0037, 1252);
  const subnode_resolver resolver = fuzz::heap_resolver(in);
  try {
    if (in.unicode)
      (void)decode_property_context<uint64_t>(in.blocks, resolver);
    else
      (void)decode_property_context<uint32_t>(in.blocks, resolver);
  } catch (const qm_error&) {
  }
  return 0;
}
