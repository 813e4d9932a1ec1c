// ICE packer and depacker throughput on 100 KB of music-like data: short
// repeated patterns with variations and some noise.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "file/ice68.h"
#include "vk68/vk68_msg.h"

namespace {

std::vector<uint8_t> sample_data() {
  std::mt19937 rng(3);
  std::vector<uint8_t> d;
  while (d.size() < 100000) {
    if (rng() % 4 == 0 || d.size() < 64) {
      for (int i = 0; i < 16; ++i) d.push_back(uint8_t(rng() % 48));
    } else {
      size_t from = d.size() - 1 - rng() % std::min<size_t>(d.size() - 1, 4000);
      size_t len = 4 + rng() % 60;
      for (size_t i = 0; i < len; ++i) d.push_back(d[from + i % (d.size() - from)]);
    }
  }
  d.resize(100000);
  return d;
}

void BM_IcePack(benchmark::State &state) {
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  const auto data = sample_data();
  int32_t size = 0;
  for (auto _ : state) {
    void *p = ice_pack(data.data(), int32_t(data.size()), &size);
    benchmark::DoNotOptimize(p);
    vk68_free(p);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
  state.counters["ratio"] = double(size) / double(data.size());
}
BENCHMARK(BM_IcePack);

void BM_IceDepack(benchmark::State &state) {
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  const auto data = sample_data();
  int32_t size = 0;
  void *packed = ice_pack(data.data(), int32_t(data.size()), &size);
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    if (ice_depack(out.data(), packed) != 0) state.SkipWithError("depack failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != data) state.SkipWithError("depacked data differs");
  vk68_free(packed);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_IceDepack);

}  // namespace
