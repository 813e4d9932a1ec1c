// Cost of one replay frame of Paula output: paula_mix of 883 samples (a
// 50 Hz frame at 44100 Hz, rounded up) with all four voices playing looped
// samples at typical music periods.
#include "chips/paula.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kBase = 0xFFDFF000;
Paula chip;

void ww(uint32_t r, uint32_t v) { chip.io.write_w(&chip.io, kBase + r, v, 0); }
void wl(uint32_t r, uint32_t v) { chip.io.write_l(&chip.io, kBase + r, v, 0); }

void BM_PaulaMixFourVoices(benchmark::State &state) {
  std::vector<uint8_t> memory(512 * 1024);
  std::mt19937 rng(5);
  for (auto &b : memory) b = static_cast<uint8_t>(rng());
  paula_sampling_rate(&chip, 44100);
  paula_init(&chip);
  // Sample lengths (words) and periods of a typical module: short looped
  // instruments and longer one-shots, notes from C-1 to C-3.
  const uint32_t words[4] = {2000, 320, 8000, 64};
  const uint32_t periods[4] = {856, 428, 214, 113};
  for (uint32_t v = 0; v < 4; ++v) {
    const uint32_t r = 0xA0 + 16 * v;
    wl(r, 0x10000 + 0x10000 * v);
    ww(r + 4, words[v]);
    ww(r + 6, periods[v]);
    ww(r + 8, 48 + 4 * v);
  }
  ww(0x96, 0x820F);
  std::vector<uint32_t> buffer(883);
  for (auto _ : state) {
    paula_mix(&chip, buffer.data(), memory.data(), static_cast<int>(buffer.size()));
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_PaulaMixFourVoices);

}  // namespace
