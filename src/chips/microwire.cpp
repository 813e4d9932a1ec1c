// STE DMA sound and MicroWire: register file, the LMC1992 command decoder
// and the per-frame mixer that adds the DMA samples to the YM's.

#include "chips/microwire.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "chips/wide_access.h"

namespace {

// Register offsets from 0xFF8900 (odd ones are the chip's byte registers).
//
//  0x01        DMA control: bit 0 play, bit 1 loop
//  0x03-0x07   frame start address, bits 16-23, 8-15, 0-7
//  0x09-0x0D   frame address counter (read only: the playing address)
//  0x0F-0x13   frame end address, bits 16-23, 8-15, 0-7
//  0x21        sound mode: bits 0-1 rate, bit 7 mono
//  0x22-0x23   MicroWire data, high and low byte (writing 0x23 sends)
//  0x24-0x25   MicroWire mask, high and low byte
//
// Below 0x22 even offsets read 0 and ignore writes; from 0x22 up every byte
// is stored.
enum : uint32_t {
  kControl = 0x01,
  kStartHi = 0x03,
  kCounterHi = 0x09,
  kCounterMid = 0x0B,
  kCounterLo = 0x0D,
  kEndHi = 0x0F,
  kMode = 0x21,
  kDataHi = 0x22,
  kDataLo = 0x23,
  kMaskHi = 0x24,
  kMaskLo = 0x25,
};

constexpr uint32_t kControlPlay = 0x01;
constexpr uint32_t kControlLoop = 0x02;
constexpr uint32_t kModeMono = 0x80;

// Fastest DMA rate in Hz (the STE's 8 MHz / 160); the mode's rate bits
// halve it 3, 2, 1 or 0 times: 6258, 12516, 25033, 50066 Hz.
constexpr uint32_t kDmaTopRate = 50066;

// Sample addresses wrap inside the 68000 memory.
constexpr uint32_t kAddressMask = MW_MEMORY_SIZE - 1;

// Gains of the LMC1992 mixer settings, in 1/1024: output = (YM x YM gain +
// DMA x DMA gain) >> 10. Setting 2 plays the DMA alone at full scale (a
// byte of -128 at 262144 gives -32768); setting 1 mixes it 12 dB lower
// (65536) beside the YM, setting 0 another 24 dB lower (65536 / 10^1.2 =
// 4135). The YM is scaled by 3/4 whenever it is mixed in. Setting 3 is
// reserved on the chip and leaves the gains as they were.
struct Gains {
  int32_t dma;
  int32_t ym;
};
constexpr std::array<Gains, 3> kMixerGains = {{
    {4135, 768},
    {65536, 768},
    {262144, 0},
}};

// LMC1992 value ranges: the values above these limits repeat the limit.
constexpr int kMasterMax = 40;  // 2 dB steps from -80 dB
constexpr int kSideMax = 20;    // 2 dB steps from -40 dB
constexpr int kToneMax = 12;    // 2 dB steps from -12 dB

// DMA positions are byte addresses in 32.32 fixed point: a step with 32
// fraction bits plays every rate at its true pitch (a step of 8 fraction
// bits would play 12516 Hz almost 1 % flat at 44100 Hz).
constexpr int kFracBits = 32;

// Register bytes from kResetBytes up are kept by a reset.
constexpr uint32_t kResetBytes = kMaskLo + 1;

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(SteMicroWire, io) == 0);
SteMicroWire &chip(IoPlugin68 *self) { return *reinterpret_cast<SteMicroWire *>(self); }

uint64_t address_at(const SteMicroWire &ste, uint32_t offset) {
  return (uint64_t{ste.regs[offset]} << 16) | (uint64_t{ste.regs[offset + 2]} << 8) |
         ste.regs[offset + 4];
}

uint64_t frame_start(const SteMicroWire &ste) { return address_at(ste, kStartHi) << kFracBits; }
uint64_t frame_end(const SteMicroWire &ste) { return address_at(ste, kEndHi) << kFracBits; }

void set_gains(SteMicroWire &ste, const Gains &g) {
  ste.dma_gain = g.dma;
  ste.ym_gain = g.ym;
}
void set_mixer(SteMicroWire &ste, int v) {
  ste.lmc.mixer = v;
  if (v < 3) {
    set_gains(ste, kMixerGains[v]);
  }
}
void set_master(SteMicroWire &ste, int v) { ste.lmc.master_db = 2 * std::min(v, kMasterMax) - 80; }
void set_left(SteMicroWire &ste, int v) {
  ste.lmc.left_db = 2 * std::min(v, kSideMax) - 40;
  ste.lmc.lr_db = (ste.lmc.left_db + ste.lmc.right_db) / 2;
}
void set_right(SteMicroWire &ste, int v) {
  ste.lmc.right_db = 2 * std::min(v, kSideMax) - 40;
  ste.lmc.lr_db = (ste.lmc.left_db + ste.lmc.right_db) / 2;
}
void set_bass(SteMicroWire &ste, int v) { ste.lmc.bass_db = 2 * std::min(v, kToneMax) - 12; }
void set_treble(SteMicroWire &ste, int v) { ste.lmc.treble_db = 2 * std::min(v, kToneMax) - 12; }

// A MicroWire transfer to the LMC1992: the mask marks which data bits are
// sent. The first two sent bits must be the device address 10, followed by
// nine command bits:
//
//   bits 8-6  function          bits 5-0
//   000       mixer             bits 1-0: setting
//   001       bass              bits 3-0
//   010       treble            bits 3-0
//   011       master volume     bits 5-0
//   100       right volume      bits 4-0
//   101       left volume       bits 4-0
//   11x       none
void send_command(SteMicroWire &ste) {
  uint32_t mask = (static_cast<uint32_t>(ste.regs[kMaskHi]) << 8) | ste.regs[kMaskLo];
  uint32_t data = (static_cast<uint32_t>(ste.regs[kDataHi]) << 8) | ste.regs[kDataLo];
  // Align the first two consecutive mask bits with bits 15-14.
  while (mask != 0 && (mask & 0xC000) != 0xC000) {
    mask <<= 1;
    data <<= 1;
  }
  if ((data & 0xC000) != 0x8000) {
    return;
  }
  mask <<= 2;
  data <<= 2;
  if (mask == 0) {
    return;
  }
  // Then nine consecutive mask bits carry the command.
  while ((mask & 0xFF80) != 0xFF80) {
    mask <<= 1;
    data <<= 1;
    if (mask == 0) {
      return;
    }
  }
  const int command = static_cast<int>((data >> 7) & 0x1FF);
  switch (command >> 6) {
    case 0: set_mixer(ste, command & 3); break;
    case 1: set_bass(ste, command & 0x0F); break;
    case 2: set_treble(ste, command & 0x0F); break;
    case 3: set_master(ste, command & 0x3F); break;
    case 4: set_right(ste, command & 0x1F); break;
    case 5: set_left(ste, command & 0x1F); break;
    default: break;
  }
}

// Every control write restarts the frame from its start, a write of 0 too.
void write_control(SteMicroWire &ste, uint32_t value) {
  ste.position = frame_start(ste);
  ste.end = frame_end(ste);
  ste.regs[kControl] = static_cast<uint8_t>(value & (kControlPlay | kControlLoop));
}

uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t) {
  const SteMicroWire &ste = chip(self);
  const uint32_t offset = address & 0x3F;
  if (offset < kDataHi) {
    if ((offset & 1) == 0) {
      return 0;
    }
    switch (offset) {
      case kCounterHi: return (ste.position >> (kFracBits + 16)) & 0xFF;
      case kCounterMid: return (ste.position >> (kFracBits + 8)) & 0xFF;
      case kCounterLo: return (ste.position >> kFracBits) & 0xFF;
      default: break;
    }
  }
  return ste.regs[offset];
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t) {
  SteMicroWire &ste = chip(self);
  const uint32_t offset = address & 0x3F;
  value &= 0xFF;
  if (offset < kDataHi) {
    if ((offset & 1) == 0 || offset == kCounterHi || offset == kCounterMid ||
        offset == kCounterLo) {
      return;
    }
    if (offset == kControl) {
      write_control(ste, value);
    } else {
      ste.regs[offset] = static_cast<uint8_t>(value);
    }
    return;
  }
  ste.regs[offset] = static_cast<uint8_t>(value);
  if (offset == kDataLo) {
    send_command(ste);
  }
}

// Words are two bytes, longs two words. A long read stamps its second word
// 4 cycles later; a long write sends all four bytes at once.
constexpr io68_read_t read_word = chips::read_wide<read_byte, 1>;
constexpr io68_write_t write_word = chips::write_wide<write_byte, 1>;

inline uint32_t pack(int32_t left, int32_t right) {
  return (static_cast<uint32_t>(left) & 0xFFFF) | (static_cast<uint32_t>(right) << 16);
}

// Products and sums below are taken modulo 2^32 and then shifted
// arithmetically: the 32-bit result of the chip's arithmetic, without
// signed overflow whatever the buffer holds.

// The YM alone, in both channels.
void mix_ym(const SteMicroWire &ste, uint32_t *buffer, int n) {
  const uint32_t ym_gain = static_cast<uint32_t>(ste.ym_gain);
  for (int i = 0; i < n; ++i) {
    const int32_t s = static_cast<int32_t>(buffer[i] * ym_gain) >> 10;
    buffer[i] = pack(s, s);
  }
}

// The frame being played has ended. With loop on, play goes on in the frame
// the registers hold now, past its start by what the step overshot (the
// sub-byte phase is kept), wrapping as often as a frame shorter than one
// step needs; a frame whose start is at or after its end plays silence
// without advancing, and is taken up again from the registers at every
// mw_mix call until it has room. Without loop the DMA stops.
enum class Wrap { kPlaying, kSilent, kStopped };

Wrap frame_ended(SteMicroWire &ste, uint64_t start, uint64_t next_end) {
  if ((ste.regs[kControl] & kControlLoop) == 0) {
    ste.regs[kControl] = 0;
    ste.position = start;
    ste.end = next_end;
    return Wrap::kStopped;
  }
  const uint64_t past = ste.position - ste.end;
  ste.end = next_end;
  if (start >= next_end) {
    ste.position = start;
    return Wrap::kSilent;
  }
  ste.position = start + past % (next_end - start);
  return Wrap::kPlaying;
}

// YM plus DMA for up to n words; returns how many were mixed before the DMA
// stopped or fell silent (n if it did neither).
template <bool Stereo>
int mix_dma(SteMicroWire &ste, uint32_t *buffer, const uint8_t *memory, int n, uint64_t step,
            uint64_t start, uint64_t next_end) {
  const uint32_t ym_gain = static_cast<uint32_t>(ste.ym_gain);
  const uint32_t dma_gain = static_cast<uint32_t>(ste.dma_gain);
  uint64_t position = ste.position;
  uint64_t end = ste.end;
  for (int i = 0; i < n; ++i) {
    const uint32_t at = static_cast<uint32_t>(position >> kFracBits) & kAddressMask;
    int32_t a;
    int32_t b;
    if constexpr (Stereo) {
      a = static_cast<int8_t>(memory[at & ~1u]);
      b = static_cast<int8_t>(memory[(at & ~1u) + 1]);
    } else {
      a = b = static_cast<int8_t>(memory[at]);
    }
    const uint32_t ym = buffer[i] * ym_gain;
    buffer[i] = pack(static_cast<int32_t>(ym + static_cast<uint32_t>(a) * dma_gain) >> 10,
                     static_cast<int32_t>(ym + static_cast<uint32_t>(b) * dma_gain) >> 10);
    position += step;
    if (position >= end) {
      ste.position = position;
      ste.end = end;
      if (frame_ended(ste, start, next_end) != Wrap::kPlaying) {
        return i + 1;
      }
      position = ste.position;
      end = ste.end;
    }
  }
  ste.position = position;
  ste.end = end;
  return n;
}

constexpr IoPlugin68 kRecord = {
    .next = nullptr,
    .name = "STE-MicroWire",
    .addr_lo = 0xFFFF8900u,
    .addr_hi = 0xFFFF8925u,
    .read_b = read_byte,
    .read_w = read_word,
    .read_l = chips::read_wide<read_word, 2, chips::Use::kBoth, 4>,
    .write_b = write_byte,
    .write_w = write_word,
    .write_l = chips::write_wide<write_word, 2>,
    .interrupt = nullptr,
    .next_interrupt = nullptr,
    .adjust_cycles = nullptr,
    .reset = [](IoPlugin68 *self) { return mw_reset(&chip(self)); },
};

}  // namespace

extern "C" {

int mw_init(SteMicroWire *ste) {
  ste->io = kRecord;
  if (ste->output_rate == 0) ste->output_rate = MW_DEFAULT_RATE;
  return mw_reset(ste);
}

// As after the commands mixer 1, master 40, left 20, right 20, treble 0
// and bass 0.
int mw_reset(SteMicroWire *ste) {
  std::fill(ste->regs, ste->regs + kResetBytes, 0);
  ste->position = 0;
  ste->end = 0;
  set_gains(*ste, kMixerGains[1]);
  ste->lmc = {1, 0, 0, 0, 0, -12, -12};
  return 0;
}

uint32_t mw_sampling_rate(SteMicroWire *ste, uint32_t hz) {
  if (hz != 0) {
    ste->output_rate = hz;
  }
  return ste->output_rate;
}

void mw_mix(SteMicroWire *chip, uint32_t *buffer, const uint8_t *memory, int n) {
  if (n <= 0) {
    return;
  }
  SteMicroWire &ste = *chip;
  if ((ste.regs[kControl] & kControlPlay) == 0) {
    mix_ym(ste, buffer, n);
    return;
  }
  const uint8_t mode = ste.regs[kMode];
  const bool stereo = (mode & kModeMono) == 0;
  // A stereo sample is two bytes, so its step through memory is doubled.
  const uint32_t dma_rate = kDmaTopRate >> (3 - (mode & 3));
  const uint64_t step = (uint64_t{dma_rate} << (kFracBits + (stereo ? 1 : 0))) / ste.output_rate;
  const uint64_t start = frame_start(ste);
  const uint64_t next_end = frame_end(ste);
  if (ste.position >= ste.end && frame_ended(ste, start, next_end) != Wrap::kPlaying) {
    mix_ym(ste, buffer, n);
    return;
  }
  const int done = stereo ? mix_dma<true>(ste, buffer, memory, n, step, start, next_end)
                          : mix_dma<false>(ste, buffer, memory, n, step, start, next_end);
  mix_ym(ste, buffer + done, n - done);
}

const MwLmc1992 *mw_lmc1992(const SteMicroWire *ste) { return &ste->lmc; }

}  // extern "C"
