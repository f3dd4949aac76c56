// The page scan of spool files against a plain memchr pass over the same buffer.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "spool/spool_file.h"

namespace {

constexpr size_t kFileSize = 256u << 20;
constexpr size_t kPages = 2000;

struct SyntheticSpool {
  std::vector<unsigned char> bytes;
};

// 2,000 pages of random record bytes (never 0xFF, so memchr for it reads everything),
// each starting with an EMF header.
const SyntheticSpool& Spool() {
  static const SyntheticSpool spool = [] {
    SyntheticSpool s;
    s.bytes.resize(kFileSize);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 254);
    for (auto& b : s.bytes) {
      b = static_cast<unsigned char>(byte(random));
    }
    unsigned char header[108] = {1, 0, 0, 0, 108, 0, 0, 0};
    std::memcpy(header + 40, " EMF", 4);
    const uint32_t page_bytes = kFileSize / kPages - 64;  // each page's own byte count
    std::memcpy(header + 48, &page_bytes, 4);
    for (size_t page = 0; page < kPages; ++page) {
      std::memcpy(s.bytes.data() + 64 + page * (kFileSize / kPages), header, sizeof header);
    }
    return s;
  }();
  return spool;
}

void BM_PageScan(benchmark::State& state) {
  const SyntheticSpool& spool = Spool();
  size_t pages = 0;
  for (auto _ : state) {
    pages = FindPages(spool.bytes).pages.size();
    benchmark::DoNotOptimize(pages);
  }
  state.counters["pages"] = static_cast<double>(pages);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_PageScan)->Unit(benchmark::kMillisecond);

void BM_Memchr(benchmark::State& state) {
  const SyntheticSpool& spool = Spool();
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memchr(spool.bytes.data(), 0xFF, spool.bytes.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_Memchr)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
