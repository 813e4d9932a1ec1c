// Cost of one 50 Hz frame (883 or 884 samples at 44100 Hz) of YM samples
// mixed with DMA sound at 50066 Hz, stereo and mono, looping over a 64 KiB
// frame; and the same with the frame switched 20 times in the frame (1 kHz)
// by register writes, each of which renders the DMA up to its cycle.
// Run: build/<dir>/bench/chips_ste/chips_ste_bench (Release build).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "chips/microwire.h"

namespace {

constexpr uint32_t kFrameCycles = 160256;  // a PAL ST's 50 Hz frame

void mix(benchmark::State &state, uint32_t mode, int switches) {
  std::vector<uint8_t> mem(MW_MEMORY_SIZE);
  for (size_t i = 0; i < mem.size(); ++i) {
    mem[i] = static_cast<uint8_t>(i * 7);
  }
  Timebase tb = {kClocksNominal, 44100, 0};
  SteMicroWire chip{};
  IoPlugin68 &ste = chip.io;
  mw_init(&chip);
  mw_attach(&chip, &tb, mem.data());
  ste.write_w(&ste, 0xFFFF8924u, 0x07FF, 0);
  ste.write_w(&ste, 0xFFFF8922u, 0x0401, 0);  // mixer 1: DMA and YM
  ste.write_b(&ste, 0xFFFF8903u, 0x01, 0);    // frame 0x010000-0x020000
  ste.write_b(&ste, 0xFFFF890Fu, 0x02, 0);
  ste.write_b(&ste, 0xFFFF8921u, mode, 0);
  ste.write_b(&ste, 0xFFFF8901u, 3, 0);  // play, loop
  std::vector<uint32_t> ym(TIMEBASE_MAX_CHUNK_SAMPLES);
  for (size_t i = 0; i < ym.size(); ++i) {
    ym[i] = static_cast<uint32_t>(static_cast<int>(i % 64) * 400 - 12800);
  }
  std::vector<uint32_t> buf(ym.size());
  for (auto _ : state) {
    ste.adjust_cycles(&ste, kFrameCycles);
    const int n = static_cast<int>(timebase_frame_samples(&tb, kFrameCycles));
    for (int k = 0; k < switches; ++k) {
      // Restart from the other half of the frame: stop, then play again.
      const uint32_t at = kFrameCycles / switches * k;
      ste.write_b(&ste, 0xFFFF8907u, (k & 1) << 7, at);
      ste.write_b(&ste, 0xFFFF8901u, 0, at);
      ste.write_b(&ste, 0xFFFF8901u, 3, at);
    }
    // Fresh YM samples each time; the copy (3.5 KB) is timed too.
    std::copy_n(ym.begin(), n, buf.begin());
    mw_mix(&chip, buf.data(), mem.data(), kFrameCycles, n);
    tb.frame_start += kFrameCycles;
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
}

void BM_MixStereo50k(benchmark::State &state) { mix(state, 0x03, 0); }
void BM_MixMono50k(benchmark::State &state) { mix(state, 0x83, 0); }
void BM_MixStereo50kSwitching1kHz(benchmark::State &state) { mix(state, 0x03, 20); }

}  // namespace

BENCHMARK(BM_MixStereo50k);
BENCHMARK(BM_MixMono50k);
BENCHMARK(BM_MixStereo50kSwitching1kHz);
