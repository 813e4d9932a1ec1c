// Cost of mixing one 50 Hz frame (883 samples at 44100 Hz) of YM samples
// with DMA sound at 50066 Hz, stereo and mono, looping over a 64 KiB frame.
// Run: build/<dir>/bench/chips_ste/chips_ste_bench (Release build).

#include "chips/microwire.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int kFrame = 883;

void play(SteMicroWire &chip, uint32_t mode) {
  IoPlugin68 &ste = chip.io;
  mw_sampling_rate(&chip, 44100);
  mw_init(&chip);
  ste.write_w(&ste, 0xFFFF8924u, 0x07FF, 0);
  ste.write_w(&ste, 0xFFFF8922u, 0x0401, 0);  // mixer 1: DMA and YM
  ste.write_b(&ste, 0xFFFF8903u, 0x01, 0);    // frame 0x010000-0x020000
  ste.write_b(&ste, 0xFFFF890Fu, 0x02, 0);
  ste.write_b(&ste, 0xFFFF8921u, mode, 0);
  ste.write_b(&ste, 0xFFFF8901u, 3, 0);  // play, loop
}

void mix(benchmark::State &state, uint32_t mode) {
  std::vector<uint8_t> mem(MW_MEMORY_SIZE);
  for (size_t i = 0; i < mem.size(); ++i) {
    mem[i] = static_cast<uint8_t>(i * 7);
  }
  std::vector<uint32_t> ym(kFrame);
  for (int i = 0; i < kFrame; ++i) {
    ym[i] = static_cast<uint32_t>((i % 64) * 400 - 12800);
  }
  std::vector<uint32_t> buf(kFrame);
  SteMicroWire chip{};
  play(chip, mode);
  for (auto _ : state) {
    // Fresh YM samples each time; the copy (3.5 KB) is timed too.
    std::copy(ym.begin(), ym.end(), buf.begin());
    mw_mix(&chip, buf.data(), mem.data(), kFrame);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
}

void BM_MixStereo50k(benchmark::State &state) { mix(state, 0x03); }
void BM_MixMono50k(benchmark::State &state) { mix(state, 0x83); }

}  // namespace

BENCHMARK(BM_MixStereo50k);
BENCHMARK(BM_MixMono50k);
