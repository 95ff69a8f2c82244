// The checker's own node-database reading on a PST image: the header, the
// B-tree pages, blocks with their encoding, data trees and subnode trees of
// every node and subnode.
#include <cstddef>
#include <cstdint>

#include "check/pst_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrel;
  memory_check_source source({data, size});
  pst_reader reader(source);
  std::string why;
  if (!reader.open(why)) return 0;
  std::vector<std::string> problems;
  reader.load_trees(problems);
  size_t visited = 0;
  for (const auto& [nid, node] : reader.nodes()) {
    if (++visited > 64) break;
    (void)reader.data_size(node.bid_data, why);
    (void)reader.data(node.bid_data, why, 1 << 20);
    if (auto subs = reader.subnodes(node.bid_sub, why)) {
      for (const auto& [snid, sub] : *subs) {
        (void)reader.data_blocks(sub.bid_data, why, 1 << 20);
        (void)reader.subnodes(sub.bid_sub, why);
      }
    }
  }
  return 0;
}
