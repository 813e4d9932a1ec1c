// Speed of the 68000 core on the production memory map: a replay-like
// routine (mix.s) run as one frame, counted in emulated instructions.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "emu68/emu68.h"

extern "C" const unsigned char emu68_bench_mix[];
extern "C" const unsigned long emu68_bench_mix_size;

namespace {

constexpr uint32_t kOrigin = 0x1000;

struct Machine {
  std::vector<uint8_t> memory = std::vector<uint8_t>(0x80000 + 3);
  Emu68 emu{};
  Reg68 start{};

  Machine() {
    EMU68_init(&emu, memory.data(), 0x80000);
    EMU68_copy_in(&emu, kOrigin, emu68_bench_mix, static_cast<uint32_t>(emu68_bench_mix_size));
    EMU68_save_registers(&emu, &start);
    start.pc = kOrigin;
    start.sr = 0x2300;
  }
  // Instructions one frame executes, counted by single steps.
  uint64_t count() {
    EMU68_load_registers(&emu, &start);
    const uint32_t watermark = start.a[7];
    Reg68 r{};
    EMU68_save_registers(&emu, &r);
    r.a[7] = watermark - 4;
    EMU68_load_registers(&emu, &r);
    uint64_t n = 0;
    do {
      EMU68_step_one(&emu);
      ++n;
      EMU68_save_registers(&emu, &r);
    } while (r.a[7] < watermark);
    return n;
  }
};

void BM_ReplayMix(benchmark::State &state) {
  Machine m;
  const uint64_t per_frame = m.count();
  for (auto _ : state) {
    EMU68_load_registers(&m.emu, &m.start);
    if (EMU68_run_frame(&m.emu, 0) != 0) state.SkipWithError("frame did not return");
  }
  state.SetItemsProcessed(static_cast<int64_t>(per_frame * state.iterations()));
  state.counters["instructions/frame"] = static_cast<double>(per_frame);
}
BENCHMARK(BM_ReplayMix);

}  // namespace
