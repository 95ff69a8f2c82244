// Heap-on-node and BTree-on-heap decoding over untrusted heap blocks: the
// checker's decoder (any BTH the heap's user root names) and the strict
// reader of the library's read path.
#include <cstddef>
#include <cstdint>

#include "check/node_decode.h"
#include "common/errors.h"
#include "ltp/heap_reader.h"
#include "read_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrel;
  fuzz::heap_input in = fuzz::split_heap_input(data, size);
  diag d;
  if (auto heap = decode_heap(in.blocks, d)) {
    (void)decode_bth(*heap, heap->user_root, 0, 0, "fuzz", d);
    for (uint32_t hid = 0x20; hid < 0x20 * 8; hid += 0x20) (void)heap->at(hid);
  }
  try {
    if (in.unicode) {
      heap_view<uint64_t> view(in.blocks);
      (void)view.valid(0x20);
    } else {
      heap_view<uint32_t> view(in.blocks);
      (void)view.valid(0x20);
    }
  } catch (const qm_error&) {
  }
  return 0;
}
