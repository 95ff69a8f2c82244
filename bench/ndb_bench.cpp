// Blocks written through the node database, per second and in MB/s of
// payload, for full 8 KiB blocks and 512-byte blocks, next to a raw
// sequential write of the same on-disk bytes (payload, padding, trailer)
// with pwrite. Files go to $TMPDIR (or /tmp) and are removed afterwards.
//
//   bench_ndb --benchmark_min_time=1 --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ndb/ndb.h"

namespace {

using namespace vendrel;

std::filesystem::path bench_file(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::filesystem::path(dir && *dir ? dir : "/tmp") / (std::string("vendrel_bench_") + name);
}

std::u16string wide(const std::filesystem::path& path) {
  std::string narrow = path.string();
  return std::u16string(narrow.begin(), narrow.end());  // an ASCII path
}

// The payload of a block that takes `disk` bytes on disk.
template <typename bidtype>
size_t payload_for(size_t disk) {
  return disk - ndb_format<bidtype>::block_trailer_size;
}

std::vector<uint8_t> pattern(size_t size) {
  std::vector<uint8_t> data(size);
  uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return data;
}

// Blocks through pst_ndb::write_block: space from the AMaps, a BID, the
// trailer and CRC, the write, the BBT entry. The commit at the end (pages
// and header) is outside the timing.
template <typename bidtype>
void BM_NdbWriteBlock(benchmark::State& state) {
  const size_t disk = static_cast<size_t>(state.range(0));
  const size_t payload = payload_for<bidtype>(disk);
  auto path = bench_file(sizeof(bidtype) == 4 ? "ansi.pst" : "unicode.pst");
  std::vector<uint8_t> data = pattern(payload);
  {
    pst_ndb<bidtype> ndb(wide(path), ndb_mode::create);
    for (auto _ : state) {
      block_id<bidtype> bid = ndb.write_block(block_kind::stream, data.data(), data.size());
      benchmark::DoNotOptimize(bid);
    }
    ndb.commit();  // after the timed loop
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(payload));
  state.counters["payload"] = static_cast<double>(payload);
}

// The same on-disk bytes written one block at a time with pwrite.
void BM_RawPwrite(benchmark::State& state) {
  const size_t disk = static_cast<size_t>(state.range(0));
  const size_t payload = payload_for<uint64_t>(disk);
  auto path = bench_file("raw.bin");
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (fd < 0) {
    state.SkipWithError("cannot create the file");
    return;
  }
  std::vector<uint8_t> image = pattern(disk);
  off_t offset = 0;
  for (auto _ : state) {
    if (::pwrite(fd, image.data(), image.size(), offset) != static_cast<ssize_t>(image.size())) {
      state.SkipWithError("pwrite failed");
      break;
    }
    offset += static_cast<off_t>(image.size());
  }
  ::close(fd);
  std::filesystem::remove(path);
  state.SetItemsProcessed(state.iterations());
  // Counted as the node database's payload, so that MB/s compare directly.
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(payload));
  state.counters["payload"] = static_cast<double>(payload);
}

BENCHMARK_TEMPLATE(BM_NdbWriteBlock, uint32_t)->Name("ndb_write_block/ansi")->Arg(8192)->Arg(512);
BENCHMARK_TEMPLATE(BM_NdbWriteBlock, uint64_t)->Name("ndb_write_block/unicode")->Arg(8192)->Arg(512);
BENCHMARK(BM_RawPwrite)->Name("raw_pwrite")->Arg(8192)->Arg(512);

}  // namespace
