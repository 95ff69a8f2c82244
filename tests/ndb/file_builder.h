// Builds node-database files of random content from a fixed seed and keeps
// what it wrote, so that a test can read the file back and compare: nodes
// with one data block, with data trees (XBLOCK and XXBLOCK, over blocks of
// random sizes or written through a stream in random pieces), with subnode
// trees (nested, and past 340 entries), nodes sharing another's data, and
// nodes whose data or subnodes were replaced.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ndb_test_support.h"

namespace vendrel::test {

struct expected_subnode {
  node_id nid;
  std::vector<uint8_t> data;
  std::vector<expected_subnode> children;
};

struct expected_node {
  std::vector<uint8_t> data;
  std::vector<expected_subnode> subnodes;
};

template <typename bidtype>
class file_builder {
 public:
  using bid_t = block_id<bidtype>;
  static constexpr size_t max_payload = ndb_format<bidtype>::max_block_payload;

  file_builder(pst_ndb<bidtype>& ndb, uint32_t seed) : ndb_(ndb), rng_(seed) {}

  // Data blocks the file's nodes refer to (blocks shared or replaced are not counted).
  size_t data_blocks = 0;
  std::map<uint32_t, expected_node> nodes;

  size_t uniform(size_t low, size_t high) { return std::uniform_int_distribution<size_t>(low, high)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

  // 1 .. the largest payload, spread evenly over the orders of magnitude.
  size_t random_size() {
    double x = std::uniform_real_distribution<double>(0.0, std::log(static_cast<double>(max_payload)))(rng_);
    return std::clamp<size_t>(static_cast<size_t>(std::exp(x)), 1, max_payload);
  }

  std::vector<uint8_t> bytes(size_t size) { return pattern(size, static_cast<uint32_t>(rng_())); }

  // Node data of `blocks` blocks of random sizes: one data block, or a data
  // tree over them.
  bid_t write_data(size_t blocks, std::vector<uint8_t>& out) {
    out.clear();
    std::vector<std::pair<bid_t, size_t>> written;
    for (size_t i = 0; i < blocks; ++i) {
      size_t size = i == 0 && blocks == 1 && chance(0.02) ? max_payload : random_size();
      std::vector<uint8_t> data = bytes(size);
      written.emplace_back(ndb_.write_block(chance(0.5) ? block_kind::pc_heap : block_kind::stream, data.data(), size),
                           size);
      out.insert(out.end(), data.begin(), data.end());
    }
    data_blocks += blocks;
    if (blocks == 1) return written[0].first;
    pst_data_tree<bidtype> tree(&ndb_);
    for (const auto& [bid, size] : written) tree.append(bid, static_cast<uint32_t>(size));
    return tree.write(out.size());
  }

  // Node data written through a stream in pieces of random length (partial
  // chunks are read back, overlaid and rewritten), with one overwrite inside.
  bid_t write_stream(size_t size, std::vector<uint8_t>& out) {
    out = bytes(size);
    ref<pst_xstream<bidtype>> stream = make_ref<pst_xstream<bidtype>>(&ndb_);
    for (size_t at = 0; at < size;) {
      size_t piece = std::min(size - at, uniform(1, 3 * max_payload));
      stream->write(out.data() + at, piece);
      at += piece;
    }
    if (size > 10) {
      size_t at = uniform(0, size - 10);
      std::vector<uint8_t> patch = bytes(10);
      stream->write_at(at, patch.data(), patch.size());
      std::copy(patch.begin(), patch.end(), out.begin() + at);
    }
    data_blocks += (size + max_payload - 1) / max_payload;
    return stream->commit();
  }

  // `count` subnodes, each with data of 1..3 blocks and, while `depth` > 0,
  // sometimes subnodes of its own.
  bid_t write_subnodes(size_t count, int depth, std::vector<expected_subnode>& out) {
    std::vector<subnode_entry<bidtype>> entries;
    for (size_t i = 0; i < count; ++i) {
      expected_subnode sub;
      sub.nid = ndb_.new_subnode_nid();
      bid_t data = write_data(chance(0.9) ? 1 : uniform(2, 3), sub.data);
      bid_t children;
      if (depth > 0 && chance(0.05)) children = write_subnodes(uniform(1, 4), depth - 1, sub.children);
      entries.push_back({sub.nid, data, children});
      out.push_back(std::move(sub));
    }
    // The writer sorts; hand the entries over in any order.
    std::shuffle(entries.begin(), entries.end(), rng_);
    return write_subnode_tree(ndb_, entries);
  }

  node_id add(bid_t data, bid_t sub, expected_node expected) {
    node_id nid = ndb_.allocate_nid(nid_type::message);
    ndb_.add_node(nid, data, sub, node_id(0x122));
    nodes[nid.value()] = std::move(expected);
    return nid;
  }

  // One node of a random kind (more data blocks for the rarer kinds).
  void add_random_node() {
    expected_node node;
    bid_t data, sub;
    size_t roll = uniform(0, 99);
    if (roll < 70) {
      data = write_data(1, node.data);
    } else if (roll < 88) {
      data = write_data(uniform(2, 40), node.data);
    } else if (roll < 92) {
      data = write_stream(uniform(1, 12 * max_payload), node.data);
    } else {
      data = write_data(1, node.data);
      sub = write_subnodes(uniform(1, 20), 2, node.subnodes);
    }
    add(data, sub, std::move(node));
  }

  // A node whose data is another node's: a second referrer of that data.
  void add_sharing_node(uint32_t other) {
    auto entry = ndb_.lookup_node(node_id(other));
    ASSERT_TRUE(entry && entry->bid_data);
    ndb_.add_block_reference(entry->bid_data);
    add(entry->bid_data, {}, {nodes[other].data, {}});
  }

  // Gives a node new data (releasing the old) or, when it has subnodes, a
  // subnode tree with one entry changed, one dropped and one added.
  void replace(uint32_t nid) {
    auto entry = ndb_.lookup_node(node_id(nid));
    ASSERT_TRUE(entry);
    expected_node& node = nodes[nid];
    if (node.subnodes.size() < 2 || !entry->bid_sub) {
      bid_t data = write_data(uniform(1, 5), node.data);
      ndb_.add_node(node_id(nid), data, entry->bid_sub, entry->nid_parent);
      if (entry->bid_data) ndb_.release_block(entry->bid_data);
      return;
    }
    std::vector<subnode_entry<bidtype>> entries = read_subnode_tree(ndb_, entry->bid_sub);
    std::sort(node.subnodes.begin(), node.subnodes.end(),
              [](const expected_subnode& a, const expected_subnode& b) { return a.nid < b.nid; });
    size_t changed = uniform(0, entries.size() - 1);
    entries[changed].bid_data = write_data(1, node.subnodes[changed].data);
    size_t dropped = (changed + 1) % entries.size();
    entries.erase(entries.begin() + dropped);
    node.subnodes.erase(node.subnodes.begin() + dropped);
    expected_subnode added;
    added.nid = ndb_.new_subnode_nid();
    entries.push_back({added.nid, write_data(1, added.data), {}});
    node.subnodes.push_back(std::move(added));
    bid_t sub = write_subnode_tree(ndb_, entries, entry->bid_sub);
    ndb_.add_node(node_id(nid), entry->bid_data, sub, entry->nid_parent);
  }

  // Any node's NID, by position.
  uint32_t pick() {
    auto it = nodes.begin();
    std::advance(it, uniform(0, nodes.size() - 1));
    return it->first;
  }

 private:
  pst_ndb<bidtype>& ndb_;
  std::mt19937 rng_;
};

// Compares a stored subnode tree with what was written, recursively.
template <typename bidtype>
void expect_subnodes(pst_ndb<bidtype>& ndb, block_id<bidtype> bid_sub, std::vector<expected_subnode> expected,
                     const std::string& where) {
  std::vector<subnode_entry<bidtype>> stored = read_subnode_tree(ndb, bid_sub);
  std::sort(expected.begin(), expected.end(),
            [](const expected_subnode& a, const expected_subnode& b) { return a.nid < b.nid; });
  ASSERT_EQ(stored.size(), expected.size()) << where;
  for (size_t i = 0; i < stored.size(); ++i) {
    std::string here = where + "/" + std::to_string(stored[i].nid.value());
    ASSERT_EQ(stored[i].nid, expected[i].nid) << here;
    EXPECT_EQ(read_node_data(ndb, stored[i].bid_data), expected[i].data) << here;
    if (expected[i].children.empty()) {
      EXPECT_FALSE(stored[i].bid_sub) << here;
    } else {
      expect_subnodes(ndb, stored[i].bid_sub, expected[i].children, here);
    }
  }
}

// Reads every node back and compares data and subnodes.
template <typename bidtype>
void expect_nodes(pst_ndb<bidtype>& ndb, const std::map<uint32_t, expected_node>& nodes) {
  for (const auto& [nid, node] : nodes) {
    auto entry = ndb.lookup_node(node_id(nid));
    ASSERT_TRUE(entry) << nid;
    EXPECT_EQ(read_node_data(ndb, entry->bid_data), node.data) << "node " << nid;
    if (node.subnodes.empty())
      EXPECT_FALSE(entry->bid_sub) << nid;
    else
      expect_subnodes(ndb, entry->bid_sub, node.subnodes, "node " + std::to_string(nid));
  }
}

inline std::string describe(const std::vector<ndb_finding>& findings) {
  std::string out;
  for (size_t i = 0; i < findings.size() && i < 20; ++i) out += to_string(findings[i]) + "\n";
  if (findings.size() > 20) out += "... " + std::to_string(findings.size() - 20) + " more\n";
  return out;
}

inline std::vector<ndb_finding> check(const std::filesystem::path& path) { return check_file(wide(path)); }

}  // namespace vendrel::test
