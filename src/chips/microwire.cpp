// STE DMA sound and MicroWire: register file, the LMC1992 command decoder,
// the DMA rendered lazily up to each register access, its sound active line
// for the MFP, and the mix of a chunk with the YM's samples.

#include "chips/microwire.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

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
// is stored. A transfer shifts the data out at 1 MHz, bit 15 first, and
// data and mask rotate left with it: for 16 us they read rotated, then as
// written again. Replays wait for the mask to move and come back. The
// 68000 spends no cycles inside a routine, but a real polling instruction
// takes at least a microsecond: each read of a low byte moves the transfer
// on by a bit at least.
enum : uint32_t {
  kControl = 0x01,
  kStartHi = 0x03,
  kStartLo = 0x07,
  kCounterHi = 0x09,
  kCounterMid = 0x0B,
  kCounterLo = 0x0D,
  kEndHi = 0x0F,
  kEndLo = 0x13,
  kMode = 0x21,
  kDataHi = 0x22,
  kDataLo = 0x23,
  kMaskHi = 0x24,
  kMaskLo = 0x25,
};

// The MicroWire shifts a bit a microsecond, 16 bits a transfer.
constexpr uint64_t kMicroWireHz = 1000000;
constexpr uint64_t kMicroWireBits = 16;

constexpr uint8_t kControlPlay = 0x01;
constexpr uint8_t kControlLoop = 0x02;
constexpr uint8_t kModeMono = 0x80;

// Sample addresses wrap inside the 68000 memory.
constexpr uint32_t kAddressMask = MW_MEMORY_SIZE - 1;

// DMA positions are byte addresses in 32.32 fixed point: a step with 32
// fraction bits plays every rate at its true pitch.
constexpr int kFracBits = 32;

// Output levels (see the header): a DMA byte counts 128 (full scale -16384
// to 16256); the YM's gain by mixer setting, in 1/1024: 0 dB is half the
// YM's level, setting 0 is 12 dB below it (512 x 10^(-12/20) = 128.6),
// setting 2 mixes no YM. Setting 3 is reserved on the chip and leaves the
// mix as it was.
constexpr int32_t kDmaScale = 128;
constexpr std::array<int32_t, 3> kYmGain = {129, 512, 0};
constexpr int kYmGainShift = 10;

// LMC1992 value ranges: the values above these limits repeat the limit.
constexpr int kMasterMax = 40;  // 2 dB steps from -80 dB
constexpr int kSideMax = 20;    // 2 dB steps from -40 dB
constexpr int kToneMax = 12;    // 2 dB steps from -12 dB

// Register bytes from kResetBytes up are kept by a reset.
constexpr uint32_t kResetBytes = kMaskLo + 1;

constexpr uint32_t kChunk = TIMEBASE_MAX_CHUNK_SAMPLES;

// What the DMA reads before memory is attached: a stereo pair of zeros.
constexpr uint8_t kSilence[2] = {};

using i128 = __int128;

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(SteMicroWire, io) == 0);
SteMicroWire &chip(IoPlugin68 *self) { return *reinterpret_cast<SteMicroWire *>(self); }

const Timebase &timebase(const SteMicroWire &ste) {
  static const Timebase kDefault = {kClocksNominal, 44100, 0};
  return ste.timebase ? *ste.timebase : kDefault;
}

bool playing(const SteMicroWire &ste) { return (ste.regs[kControl] & kControlPlay) != 0; }
bool sounding(const SteMicroWire &ste) { return playing(ste) && !ste.empty; }

uint64_t address_at(const SteMicroWire &ste, uint32_t offset) {
  return (uint64_t{ste.regs[offset]} << 16) | (uint64_t{ste.regs[offset + 2]} << 8) |
         ste.regs[offset + 4];
}
uint64_t start_register(const SteMicroWire &ste) { return address_at(ste, kStartHi) << kFracBits; }
uint64_t end_register(const SteMicroWire &ste) { return address_at(ste, kEndHi) << kFracBits; }

// ---------------------------------------------------------------- time
//
// A time below is counted in 1/rate cycles (rate: output samples a second),
// absolute from the track's start: output sample n sits at n x cpu_hz,
// cycle c at c x rate. Byte counts are 32.32.

// Bytes a second the DMA plays in a mode: num / den.
struct ByteRate {
  uint64_t num;
  uint64_t den;
};

ByteRate byte_rate(const Timebase &tb, uint8_t mode) {
  const uint64_t bytes = (mode & kModeMono) ? 1 : 2;  // a stereo sample is a pair
  const uint64_t divider = 8u >> (mode & 3);          // rates 0-3: clock / 8, 4, 2, 1
  return {tb.clocks.dma.num * bytes, tb.clocks.dma.den * divider};
}

// Bytes per output sample, rounded down: positions fall behind by less than
// 2^-32 bytes a sample, under 50 cycles an hour at the slowest rate, far
// below a sample.
uint64_t step_of(const Timebase &tb, uint8_t mode) {
  const ByteRate r = byte_rate(tb, mode);
  return static_cast<uint64_t>((static_cast<i128>(r.num) << kFracBits) / (r.den * tb.rate));
}

// Bytes played in time t (t >= 0), and the time the bytes take.
uint64_t bytes_in(const Timebase &tb, uint8_t mode, i128 t) {
  const ByteRate r = byte_rate(tb, mode);
  return static_cast<uint64_t>(((t * r.num) << kFracBits) /
                               (static_cast<i128>(r.den) * tb.clocks.cpu_hz * tb.rate));
}
i128 time_of(const Timebase &tb, uint8_t mode, uint64_t bytes) {
  const ByteRate r = byte_rate(tb, mode);
  return static_cast<i128>(bytes) * r.den * tb.clocks.cpu_hz * tb.rate /
         (static_cast<i128>(r.num) << kFracBits);
}

// The track's output sample index of the current frame's sample 0.
uint64_t first_sample(const Timebase &tb) { return timebase_sample(&tb, tb.frame_start); }

// Time from frame cycle c to output sample `done` (the DMA's state).
i128 lead(const SteMicroWire &ste, const Timebase &tb, uint32_t c) {
  const i128 t = static_cast<i128>(first_sample(tb) + ste.done) * tb.clocks.cpu_hz -
                 static_cast<i128>(tb.frame_start + c) * tb.rate;
  return std::max<i128>(t, 0);
}

// The frame cycle of a frame end that fell `over` bytes before sample n.
int64_t end_cycle(const Timebase &tb, uint64_t n, uint64_t over, uint8_t mode) {
  const i128 t = static_cast<i128>(n) * tb.clocks.cpu_hz - time_of(tb, mode, over);
  const i128 rate = tb.rate;
  const i128 ceil = t >= 0 ? (t + rate - 1) / rate : -(-t / rate);
  return static_cast<int64_t>(ceil - tb.frame_start);
}

// ---------------------------------------------------------------- the DMA

// Latches the frame registers as a frame starts. An empty frame (start at
// or past its end) waits silently for registers that give it room.
void latch_frame(SteMicroWire &ste) {
  ste.position = start_register(ste);
  ste.end = end_register(ste);
  ste.empty = ste.position >= ste.end;
}

// The frame being played ends at output sample n (absolute), `position`
// past its end by what the step overshot. With loop on, the next frame
// starts at once from the registers, the overshoot carried over; else the
// DMA stops, its counter at the frame start.
void frame_end(SteMicroWire &ste, uint64_t n) {
  const uint64_t over = ste.position - ste.end;
  ste.ended = 1;
  ste.end_sample = n;
  ste.end_over = over;
  ste.end_mode = ste.regs[kMode];
  ste.end_looped = (ste.regs[kControl] & kControlLoop) != 0;
  latch_frame(ste);
  if (!ste.end_looped) {
    ste.regs[kControl] = 0;
    ste.empty = 0;
  } else if (!ste.empty) {
    ste.position += over;
  }
}

// DMA output for the chunk's buffer entries [i, i_end): one or two signed
// bytes a sample, read at the playing address; frame ends as they come.
template <bool Stereo>
void play(SteMicroWire &ste, uint32_t i, uint32_t i_end, uint64_t step, uint64_t n0) {
  // Without memory every address reads the two zero bytes of kSilence.
  const uint8_t *memory = ste.memory ? ste.memory : kSilence;
  const uint32_t mask = ste.memory ? kAddressMask : 0;
  uint64_t position = ste.position;
  uint64_t end = ste.end;
  for (; i < i_end; ++i) {
    if (position >= end) {
      // A frame shorter than a step may end again at once.
      ste.position = position;
      do {
        frame_end(ste, n0 + i);
      } while (sounding(ste) && ste.position >= ste.end);
      if (!sounding(ste)) {
        std::fill(ste.left + i, ste.left + i_end, 0);
        std::fill(ste.right + i, ste.right + i_end, 0);
        return;
      }
      position = ste.position;
      end = ste.end;
    }
    const uint32_t at = static_cast<uint32_t>(position >> kFracBits) & mask;
    if constexpr (Stereo) {
      ste.left[i] = static_cast<int16_t>(static_cast<int8_t>(memory[at & ~1u]) * kDmaScale);
      ste.right[i] = static_cast<int16_t>(static_cast<int8_t>(memory[at | 1u]) * kDmaScale);
    } else {
      const auto s = static_cast<int16_t>(static_cast<int8_t>(memory[at]) * kDmaScale);
      ste.left[i] = s;
      ste.right[i] = s;
    }
    position += step;
  }
  ste.position = position;
}

// Renders the output samples of the frame up to `target` (exclusive).
void render(SteMicroWire &ste, const Timebase &tb, uint32_t target) {
  const uint32_t i = ste.done - ste.chunk_first, i_end = target - ste.chunk_first;
  std::fill(ste.ym_gains + i, ste.ym_gains + i_end, static_cast<int16_t>(ste.ym_gain));
  std::fill(ste.volumes[0] + i, ste.volumes[0] + i_end, ste.volume[0]);
  std::fill(ste.volumes[1] + i, ste.volumes[1] + i_end, ste.volume[1]);
  if (!sounding(ste)) {
    std::fill(ste.left + i, ste.left + i_end, 0);
    std::fill(ste.right + i, ste.right + i_end, 0);
  } else {
    const uint8_t mode = ste.regs[kMode];
    const uint64_t n0 = first_sample(tb) + ste.chunk_first;
    if (mode & kModeMono) {
      play<false>(ste, i, i_end, step_of(tb, mode), n0);
    } else {
      play<true>(ste, i, i_end, step_of(tb, mode), n0);
    }
  }
  ste.done = target;
}

// Brings the DMA to frame cycle c: the output samples before c rendered (as
// far as the chunk buffer goes), and every frame end due by c taken.
void catch_up(SteMicroWire &ste, uint32_t c) {
  const Timebase &tb = timebase(ste);
  const uint32_t target = std::min(timebase_frame_samples(&tb, c), ste.chunk_first + kChunk);
  if (target > ste.done) {
    render(ste, tb, target);
  }
  while (sounding(ste) && ste.position >= ste.end) {
    const uint64_t n = first_sample(tb) + ste.done;
    if (end_cycle(tb, n, ste.position - ste.end, ste.regs[kMode]) > static_cast<int64_t>(c)) {
      break;
    }
    frame_end(ste, n);
  }
}

// The address playing at frame cycle c (the DMA brought up to c).
uint64_t position_at(const SteMicroWire &ste, uint32_t c) {
  if (!sounding(ste)) {
    return ste.position;
  }
  const Timebase &tb = timebase(ste);
  const uint64_t back = bytes_in(tb, ste.regs[kMode], lead(ste, tb, c));
  return ste.position - std::min(back, ste.position);
}

// Play goes from off to on at cycle c: the frame registers are latched and
// the frame starts at c. An empty frame without loop stops at once.
void start(SteMicroWire &ste, uint32_t c) {
  latch_frame(ste);
  if (ste.empty) {
    if ((ste.regs[kControl] & kControlLoop) == 0) {
      ste.regs[kControl] = 0;
      ste.empty = 0;
    }
    return;
  }
  const Timebase &tb = timebase(ste);
  ste.position += bytes_in(tb, ste.regs[kMode], lead(ste, tb, c));
}

void write_control(SteMicroWire &ste, uint8_t value, uint32_t c) {
  const bool was = playing(ste);
  ste.regs[kControl] = value & (kControlPlay | kControlLoop);
  if (!was && playing(ste)) {
    start(ste, c);
  } else if (was && !playing(ste)) {
    latch_frame(ste);
    ste.empty = 0;
  }
}

// A new rate or channel count from cycle c on: the position at c is kept.
void write_mode(SteMicroWire &ste, uint8_t value, uint32_t c) {
  if (sounding(ste)) {
    const Timebase &tb = timebase(ste);
    const i128 t = lead(ste, tb, c);
    ste.position = position_at(ste, c) + bytes_in(tb, value, t);
  }
  ste.regs[kMode] = value;
}

// The frame registers count when a frame starts; a loop waiting on an empty
// frame takes them at once.
void write_frame_register(SteMicroWire &ste, uint32_t offset, uint8_t value, uint32_t c) {
  ste.regs[offset] = value;
  if (playing(ste) && ste.empty) {
    start(ste, c);
  }
}

// ---------------------------------------------------------------- LMC1992

void set_mixer(SteMicroWire &ste, int v) {
  ste.lmc.mixer = v;
  if (v < 3) {
    ste.ym_gain = kYmGain[v];
  }
}
// 10^(-db/20) in 1/32768 for attenuations of 0, 2, ..., 120 dB, each step
// a factor 10^(-1/10) from the one before (basic operations only, the same
// in every build).
const std::array<uint16_t, 61> kAttenuation = [] {
  std::array<uint16_t, 61> a{};
  double g = 32768;
  for (uint16_t &v : a) {
    v = static_cast<uint16_t>(g + 0.5);
    g *= 0.7943282347242815;  // 10^(-0.1)
  }
  return a;
}();

// The sides' gains: master plus side volume.
void set_volumes(SteMicroWire &ste) {
  ste.lmc.lr_db = (ste.lmc.left_db + ste.lmc.right_db) / 2;
  ste.volume[0] = kAttenuation[-(ste.lmc.master_db + ste.lmc.left_db) / 2];
  ste.volume[1] = kAttenuation[-(ste.lmc.master_db + ste.lmc.right_db) / 2];
}
void set_master(SteMicroWire &ste, int v) {
  ste.lmc.master_db = 2 * std::min(v, kMasterMax) - 80;
  set_volumes(ste);
}
void set_left(SteMicroWire &ste, int v) {
  ste.lmc.left_db = 2 * std::min(v, kSideMax) - 40;
  set_volumes(ste);
}
void set_right(SteMicroWire &ste, int v) {
  ste.lmc.right_db = 2 * std::min(v, kSideMax) - 40;
  set_volumes(ste);
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

// ---------------------------------------------------------------- the bus

// A MicroWire register (data or mask) at the cycle of a read.
uint32_t read_microwire(SteMicroWire &ste, uint32_t offset, uint32_t cycle) {
  const uint32_t even = offset & ~1u;
  uint32_t word = uint32_t(ste.regs[even]) << 8 | ste.regs[even + 1];
  if (ste.sending) {
    const Timebase &tb = timebase(ste);
    const uint64_t bits = std::max<uint64_t>(
        (tb.frame_start + cycle - ste.send_cycle) * kMicroWireHz / tb.clocks.cpu_hz,
        ste.send_reads);
    ste.send_reads += offset & 1;
    if (bits >= kMicroWireBits) {
      ste.sending = 0;
    } else {
      word = ((word << bits) | (word >> (kMicroWireBits - bits))) & 0xFFFF;
    }
  }
  return offset & 1 ? word & 0xFF : word >> 8;
}

uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t cycle) {
  SteMicroWire &ste = chip(self);
  const uint32_t offset = address & 0x3F;
  if (offset >= kDataHi) {
    return offset <= kMaskLo ? read_microwire(ste, offset, cycle) : ste.regs[offset];
  }
  if ((offset & 1) == 0) {
    return 0;
  }
  catch_up(ste, cycle);
  switch (offset) {
    case kCounterHi: return (position_at(ste, cycle) >> (kFracBits + 16)) & 0xFF;
    case kCounterMid: return (position_at(ste, cycle) >> (kFracBits + 8)) & 0xFF;
    case kCounterLo: return (position_at(ste, cycle) >> kFracBits) & 0xFF;
    default: return ste.regs[offset];
  }
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  SteMicroWire &ste = chip(self);
  const uint32_t offset = address & 0x3F;
  const auto byte = static_cast<uint8_t>(value);
  if (offset >= kDataHi) {
    if (offset == kDataLo) catch_up(ste, cycle);
    ste.regs[offset] = byte;
    if (offset == kDataLo) {
      send_command(ste);
      ste.send_cycle = timebase(ste).frame_start + cycle;
      ste.send_reads = 0;
      ste.sending = 1;
    }
    return;
  }
  if ((offset & 1) == 0 || (offset >= kCounterHi && offset <= kCounterLo)) {
    return;
  }
  catch_up(ste, cycle);
  if (offset == kControl) {
    write_control(ste, byte, cycle);
  } else if (offset == kMode) {
    write_mode(ste, byte, cycle);
  } else if ((offset >= kStartHi && offset <= kStartLo) || (offset >= kEndHi && offset <= kEndLo)) {
    write_frame_register(ste, offset, byte, cycle);
  } else {
    ste.regs[offset] = byte;
  }
}

// Words are two bytes, longs two words. A long read stamps its second word
// 4 cycles later; a long write sends all four bytes at once.
constexpr io68_read_t read_word = chips::read_wide<read_byte, 1>;
constexpr io68_write_t write_word = chips::write_wide<write_byte, 1>;

// A new frame: its output samples count from 0.
void adjust_cycles(IoPlugin68 *self, uint32_t) {
  SteMicroWire &ste = chip(self);
  ste.done = 0;
  ste.chunk_first = 0;
}

void sense(void *self, uint32_t cycle, MfpSoundActive *line) {
  SteMicroWire &ste = *static_cast<SteMicroWire *>(self);
  catch_up(ste, cycle);
  const Timebase &tb = timebase(ste);
  line->active = playing(ste) ? 1 : 0;
  line->looped = ste.end_looped;
  line->last_end =
      ste.ended ? end_cycle(tb, ste.end_sample, ste.end_over, ste.end_mode) : INT64_MIN;
  line->next_end = INT64_MAX;
  if (sounding(ste)) {
    // The sample at which the position reaches the end, stepping as play
    // does.
    const uint8_t mode = ste.regs[kMode];
    const uint64_t step = step_of(tb, mode);
    const uint64_t k = ste.position >= ste.end ? 0 : (ste.end - ste.position + step - 1) / step;
    line->next_end =
        end_cycle(tb, first_sample(tb) + ste.done + k, ste.position + k * step - ste.end, mode);
  }
}

// One output word: the YM at its gain and the DMA, each side at its volume.
// A YM sample is taken as 16 bits (its peaks are near +-26624); at most
// half of it (16384) and the DMA (16384) then always fit 16 bits, and a
// volume (at most 32768 / 32768) only makes a sum smaller.
static_assert(*std::max_element(kYmGain.begin(), kYmGain.end()) <= 1 << (kYmGainShift - 1) &&
              128 * kDmaScale <= 1 << 14);
inline uint32_t mix_word(int32_t ym, int16_t gain, int16_t left, int16_t right, int32_t vl,
                         int32_t vr) {
  const int32_t y = (std::clamp(ym, INT16_MIN, INT16_MAX) * gain) >> kYmGainShift;
  return (static_cast<uint32_t>(((y + left) * vl) >> 15) & 0xFFFF) |
         (static_cast<uint32_t>(((y + right) * vr) >> 15) << 16);
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
    .adjust_cycles = adjust_cycles,
    .reset = [](IoPlugin68 *self) { return mw_reset(&chip(self)); },
};

}  // namespace

extern "C" {

int mw_init(SteMicroWire *ste) {
  ste->io = kRecord;
  ste->done = 0;
  ste->chunk_first = 0;
  return mw_reset(ste);
}

// As after the commands mixer 1, master 40, left 20, right 20, treble 0
// and bass 0.
int mw_reset(SteMicroWire *ste) {
  std::fill(ste->regs, ste->regs + kResetBytes, 0);
  ste->position = 0;
  ste->end = 0;
  ste->empty = 0;
  ste->ended = 0;
  ste->end_looped = 0;
  ste->end_mode = 0;
  ste->end_sample = 0;
  ste->sending = 0;
  ste->end_over = 0;
  ste->ym_gain = kYmGain[1];
  ste->lmc = {1, 0, 0, 0, 0, -12, -12};
  set_volumes(*ste);
  return 0;
}

void mw_attach(SteMicroWire *ste, const Timebase *timebase, const uint8_t *memory) {
  ste->timebase = timebase;
  ste->memory = memory;
}

void mw_mix(SteMicroWire *chip, uint32_t *buffer, const uint8_t *memory, uint32_t, int n) {
  SteMicroWire &ste = *chip;
  ste.memory = memory;
  const Timebase &tb = timebase(ste);
  while (n > 0) {
    const uint32_t k = std::min(static_cast<uint32_t>(n), kChunk);
    const uint32_t target = ste.chunk_first + k;
    if (target > ste.done) {
      render(ste, tb, target);
    }
    for (uint32_t i = 0; i < k; ++i) {
      buffer[i] = mix_word(static_cast<int32_t>(buffer[i]), ste.ym_gains[i], ste.left[i],
                           ste.right[i], ste.volumes[0][i], ste.volumes[1][i]);
    }
    // Samples already rendered past the chunk open the next one.
    const uint32_t ahead = ste.done - target;
    std::memmove(ste.left, ste.left + k, ahead * sizeof *ste.left);
    std::memmove(ste.right, ste.right + k, ahead * sizeof *ste.right);
    std::memmove(ste.ym_gains, ste.ym_gains + k, ahead * sizeof *ste.ym_gains);
    for (uint16_t *v : ste.volumes) std::memmove(v, v + k, ahead * sizeof *v);
    ste.chunk_first = target;
    buffer += k;
    n -= static_cast<int>(k);
  }
}

const MwLmc1992 *mw_lmc1992(const SteMicroWire *ste) { return &ste->lmc; }

MfpSoundActiveWire mw_sound_active_wire(SteMicroWire *ste) { return {ste, sense}; }

}  // extern "C"
