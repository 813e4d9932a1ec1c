// The machines' clocks and the mapping of output samples onto 68000 cycles.
#include "chips/timebase.h"

extern "C" {

const MachineClocks kClocksNominal = {
    .cpu_hz = 8000000,
    .ym = {2000000, 1},
    .dma = {50066, 1},
    .mfp_hz = 2457600,    // the MFP's 2.4576 MHz crystal
    .paula_hz = 3546895,  // PAL colour clock
    .cia_hz = 709379,     // PAL E clock (a tenth of the 7,093,790 Hz CPU clock)
};

const MachineClocks kClocksPal = {
    .cpu_hz = 8021247,      // 32,084,988 Hz / 4
    .ym = {8010613, 4},     // the 8,010,613 Hz sound clock / 4
    .dma = {8010613, 160},  // 50,066.33 Hz
    .mfp_hz = 2457600,
    .paula_hz = 3546895,
    .cia_hz = 709379,
};

uint64_t timebase_sample(const Timebase *t, uint64_t cycle) {
  // ceil(cycle * rate / cpu_hz) without overflow for any 64-bit cycle.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(cycle) * t->rate;
  const uint64_t hz = t->clocks.cpu_hz;
  return static_cast<uint64_t>((scaled + hz - 1) / hz);
}

uint32_t timebase_frame_samples(const Timebase *t, uint32_t cycle) {
  return static_cast<uint32_t>(timebase_sample(t, t->frame_start + cycle) -
                               timebase_sample(t, t->frame_start));
}

}  // extern "C"
