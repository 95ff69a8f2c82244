// The node-database walker on a PST image: the header, the map pages, both
// B-trees, every block, the data and subnode trees and the space check.
#include <cstddef>
#include <cstdint>

#include "ndb/walker.h"
#include "read_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrel;
  fuzz::memory_stream stream({data, size});
  if (auto file = stream.open()) {
    ndb_walker_options options;
    options.max_findings = 200;
    (void)check_file(*file, options);
  }
  return 0;
}
