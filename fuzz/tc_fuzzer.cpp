// Table contexts over untrusted heap blocks: TCINFO, the column
// descriptors, the row index, the row matrix in the heap or in a subnode
// (the last chunk of the input) and the cells, through the checker's
// decoder and the read path's strict one.
#include <cstddef>
#include <cstdint>

#include "check/node_decode.h"
#include "common/errors.h"
#include "ltp/tc_reader.h"
#include "read_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrel;
  fuzz::heap_input in = fuzz::split_heap_input(data, size);
  const subnode_access access = fuzz::heap_subnodes(in);
  diag d;
  if (auto tc = decode_tc(in.blocks, in.unicode, access, d)) {
    for (size_t r = 0; r < tc->rows.size() && r < 16; ++r)
      for (const auto& c : tc->columns) (void)tc->value(r, c);
  }
  const subnode_resolver resolver = fuzz::heap_resolver(in);
  try {
    decoded_tc tc = in.unicode ? decode_table_context<uint64_t>(in.blocks, resolver)
                               : decode_table_context<uint32_t>(in.blocks, resolver);
    for (size_t r = 0; r < tc.rows.size() && r < 16; ++r)
      for (const auto& c : tc.layout.columns) {
        (void)tc.cell(r, c.tag);
        (void)tc.cell_bytes(r, c.tag);
      }
  } catch (const qm_error&) {
  }
  return 0;
}
