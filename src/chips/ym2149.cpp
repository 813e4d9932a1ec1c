/* YM-2149 sound generator: register ports on the 68000 bus, the generators
 * stepped from one level change to the next, and the output stage.
 *
 * Generators: three square waves toggled every P steps, a 17-bit noise
 * shift register clocked every 2 * R6 steps, and an envelope that moves one
 * position every P steps. A write first steps them up to the step its cycle
 * falls in, and so does ym_render up to the end of its stretch. Between two
 * such moments the registers hold still, and the generators go from event
 * to event: the next tone toggle, the next noise clock that changes the
 * noise bit, the next envelope advance, whichever comes first. Only the
 * events of generators that can be heard count (a tone switched on, in the
 * voice mask and not at a fixed volume 0; noise on such a channel; the
 * envelope followed by a channel of the voice mask); the others are brought
 * up to date in one go when they are heard again or their period changes,
 * so they keep their phase. After each event the three channels are mixed
 * through the mixing table, and a change of the mixed level goes to the
 * band-limited step buffer (blep).
 *
 * Counters: each generator keeps the step of its last event and the step
 * from which its period holds; its next event comes at max(last + period,
 * since). A period written below the count already reached fires at once,
 * as the chip's counters do when they compare.
 *
 * 15-bit channel patterns: channel A owns bits 14-10, B bits 9-5, C bits 4-0,
 * a 5-bit DAC level each (a fixed volume L is level 2L + 1, the envelope's
 * position its level); AND-ing the tone, noise and volume patterns gives the
 * index of the mixing table.
 */
#include "chips/ym2149.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <numeric>

#include "chips/wide_access.h"
#include "chips/ym_mixtable.h"

namespace {

// Peak of the rescaled mixing table (leaves headroom for the other chips).
constexpr uint32_t kOutputLevel = 0xD000;
static_assert(kOutputLevel <= UINT16_MAX, "the rescaled table holds 16-bit levels");
constexpr int kScaleShift = 14;
// YM clocks per generator step.
constexpr uint64_t kClocksPerStep = 8;

// Registers.
constexpr int kNoisePeriod = 6;
constexpr uint8_t kNoisePeriodMask = 0x1F;
constexpr int kMixer = 7;    // bits 0-2 tone off A/B/C, bits 3-5 noise off A/B/C
constexpr int kVolumeA = 8;  // 8-10: bit 4 follow the envelope, bits 3-0 level
constexpr int kEnvFine = 11;
constexpr int kEnvCoarse = 12;
constexpr int kEnvShape = 13;  // bit 3 continue, 2 attack, 1 alternate, 0 hold
constexpr int kIoPortA = 14;   // 14 and 15: the I/O ports, no sound
constexpr int kRegisters = 16;
constexpr uint8_t kMixerReset = 0x3F;
constexpr uint8_t kShapeReset = 10;

// A channel's 5 bits in a pattern, and the lowest of them.
constexpr uint32_t kChannel[3] = {0x7C00, 0x03E0, 0x001F};
constexpr uint32_t kChannelUnit = 0x0421;
constexpr uint32_t kAllVoices = 0x7FFF;

// Envelope: 32 positions per fall or rise, one DAC level each.
constexpr uint32_t kEnvMask = 31;
constexpr int64_t kNever = INT64_MAX;

// The AC coupling: the estimate moves by 2 pi fc / rate of the difference a
// sample (a first-order high-pass at fc), in 1/65536.
constexpr int64_t kCouplingNum =
    static_cast<int64_t>(2 * std::numbers::pi * YM_COUPLING_HZ * 65536 + 0.5);
constexpr int64_t kCouplingMax = int64_t{32767} << 16;

// The envelope as a write of `shape` to R13 leaves it: at position 0 (the
// top of a fall, the bottom of a rise), its period counting from the
// write's step, so that level holds a whole period as on the chip.
constexpr YmEnvelope restarted(uint8_t shape) {
  return {0, 1, (shape & 4) ? 0 : kEnvMask, kEnvMask};
}

// The mixing table rescaled to the output level (which fits 16 bits), built
// once for every chip, in place: 64 KiB, too much for a thread's stack.
const uint16_t *mix_table() {
  static const uint16_t *const table = [] {
    static std::array<uint16_t, YM_MIX_TABLE_SIZE> t;
    ym_mix_table_build(t.data());
    const uint32_t factor = (kOutputLevel << kScaleShift) / (t[YM_MIX_TABLE_SIZE - 1] + 1u);
    for (uint16_t &level : t) {
      level = static_cast<uint16_t>(std::min((level * factor) >> kScaleShift, kOutputLevel));
    }
    return t.data();
  }();
  return table;
}

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(Ym2149, io) == 0);
Ym2149 &chip(IoPlugin68 *self) { return *reinterpret_cast<Ym2149 *>(self); }

// ------------------------------------------------------------------ time

// The step frame cycle `cycle` falls in (cycle < 2^33).
int64_t step_of(const Ym2149 &ym, uint64_t cycle) {
  return ym.frame_step + static_cast<int64_t>((ym.frame_rem + cycle * ym.cycle_num) / ym.cycle_den);
}

// The 68000 runs at most one chunk ahead of the last render, and overruns
// the chunk's end by at most an interrupt handler: a write beyond that lies
// outside the track's time (a track's init code running before its first
// frame) and counts at the step reached.
constexpr uint64_t kWriteReach = TIMEBASE_MAX_CHUNK_CYCLES + 65536;

// Puts the current frame's cycle 0 at absolute cycle `start`, the frame
// rendered up to its cycle `rendered`.
void set_frame(Ym2149 &ym, uint64_t start, uint32_t rendered) {
  const unsigned __int128 scaled = static_cast<unsigned __int128>(start) * ym.cycle_num;
  ym.frame_start = start;
  ym.frame_step = static_cast<int64_t>(scaled / ym.cycle_den);
  ym.frame_rem = static_cast<uint64_t>(scaled % ym.cycle_den);
  ym.rendered = rendered;
  ym.write_limit = step_of(ym, rendered + kWriteReach);
}

// Takes the time base's clocks and rate and restarts the chip's time at
// frame cycle `cycle`, where the output shows `level` for the lag's
// samples. Returns the steps the generators' counts move by.
int64_t restart_time(Ym2149 &ym, uint32_t cycle, int32_t level) {
  const Timebase &tb = *ym.tb;
  const ClockRate clock = tb.clocks.ym;
  const uint64_t den = kClocksPerStep * clock.den * tb.clocks.cpu_hz;
  const uint64_t common = std::gcd(clock.num, den);
  ym.cycle_num = clock.num / common;
  ym.cycle_den = den / common;
  set_frame(ym, tb.frame_start, cycle);
  chips::blep_init(ym.blep, clock.num, kClocksPerStep * clock.den, tb.rate);
  chips::blep_reset(ym.blep, timebase_sample(&tb, tb.frame_start + cycle), level);
  ym.hold = YM_OUTPUT_LAG;
  ym.held_level = level;
  ym.coupling.gain = static_cast<int32_t>((kCouplingNum + tb.rate / 2) / tb.rate);
  const int64_t at = step_of(ym, cycle);
  const int64_t moved = at - ym.step;
  ym.step = at;
  return moved;
}

// ------------------------------------------------------------ generators

// What the registers and the voice mask make of the generators while they
// hold still.
struct Setup {
  int64_t tone_period[3], noise_period, env_period;  // in steps, >= 1
  // Channel patterns: tone or noise switched off, following the envelope;
  // the fixed levels of the others.
  uint32_t tone_off, noise_off, env_sel, fixed;
  // The channels whose tone, noise, envelope can be heard.
  uint32_t tone_heard, noise_heard, env_heard;
};

int64_t tone_period(const Ym2149 &ym, int ch) {
  const int32_t p = ((ym.regs[2 * ch + 1] & 0x0F) << 8) | ym.regs[2 * ch];
  return p ? p : 1;
}
// Every 2 * R6 steps, every step when R6 is 0.
int64_t noise_period(const Ym2149 &ym) {
  const int32_t p = 2 * (ym.regs[kNoisePeriod] & kNoisePeriodMask);
  return p ? p : 1;
}
int64_t env_period(const Ym2149 &ym) {
  const int32_t p = (ym.regs[kEnvCoarse] << 8) | ym.regs[kEnvFine];
  return p ? p : 1;
}

Setup setup(const Ym2149 &ym) {
  Setup s{};
  uint32_t audible = 0;  // channels of the voice mask not at a fixed 0
  for (int ch = 0; ch < 3; ++ch) {
    s.tone_period[ch] = tone_period(ym, ch);
    if (ym.regs[kMixer] & (1 << ch)) s.tone_off |= kChannel[ch];
    if (ym.regs[kMixer] & (8 << ch)) s.noise_off |= kChannel[ch];
    const uint8_t volume = ym.regs[kVolumeA + ch];
    if (volume & 0x10) {
      s.env_sel |= kChannel[ch];
    } else {
      // A fixed volume L sounds at DAC level 2L + 1.
      s.fixed |= (2 * (volume & 15u) + 1) * (kChannel[ch] & kChannelUnit);
    }
    if ((volume & 0x1F) != 0) audible |= kChannel[ch];
  }
  s.noise_period = noise_period(ym);
  s.env_period = env_period(ym);
  audible &= ym.voice_mask;
  s.tone_heard = audible & ~s.tone_off;
  s.noise_heard = audible & ~s.noise_off;
  s.env_heard = s.env_sel & ym.voice_mask;
  return s;
}

// The envelope's DAC level, 0-31.
uint32_t env_level(const YmEnvelope &v) { return (v.g ^ v.h) & v.e; }

// The mixed level of the generators as they stand.
int32_t mixed(const Ym2149 &ym, const Setup &s) {
  const uint32_t noise = (ym.noise_shift & 1) ? kAllVoices : s.noise_off;
  const uint32_t volume = (s.env_sel & (env_level(ym.env) * kChannelUnit)) | s.fixed;
  return ym.mix[(ym.tone_bits | s.tone_off) & noise & volume & ym.voice_mask];
}

// Hands a change of the mixed level at step t to the blep.
void update_level(Ym2149 &ym, const Setup &s, int64_t t) {
  const int32_t level = mixed(ym, s);
  if (level != ym.level) {
    chips::blep_add_delta(ym.blep, static_cast<uint64_t>(t), level - ym.level);
    ym.level = level;
  }
}

// The events of a counter of `period` that come before step `to`; moves
// `last` to the last of them and returns their count.
int64_t events_before(int64_t &last, int64_t since, int64_t period, int64_t to) {
  const int64_t next = std::max(last + period, since);
  if (next >= to) return 0;
  const int64_t count = 1 + (to - 1 - next) / period;
  last = next + (count - 1) * period;
  return count;
}

void tone_catch_up(Ym2149 &ym, int ch, int64_t period, int64_t to) {
  if (events_before(ym.tone_last[ch], ym.tone_since[ch], period, to) & 1) {
    ym.tone_bits ^= kChannel[ch];
  }
}

// The 17-bit noise shift register `count` clocks later: each clock shifts it
// right and brings in bit 0 XOR bit 2 as bit 16. The 15 bits that 15 clocks
// bring in are bits 0-14 XOR bits 2-16 of the current value, so they come
// at once.
uint32_t noise_shifted(uint32_t shift, int64_t count) {
  for (; count >= 15; count -= 15) shift = (shift >> 15) | (((shift ^ (shift >> 2)) & 0x7FFF) << 2);
  for (; count > 0; --count) shift = (shift >> 1) | (((shift ^ (shift >> 2)) & 1) << 16);
  return shift;
}

void noise_catch_up(Ym2149 &ym, int64_t period, int64_t to) {
  ym.noise_shift =
      noise_shifted(ym.noise_shift, events_before(ym.noise_last, ym.noise_since, period, to));
}

// Clocks until the noise bit (bit 0) changes: after k clocks it is the
// current bit k. When bits 1-16 all equal it, 16 clocks change nothing.
int noise_clocks_to_change(uint32_t shift) {
  const uint32_t differ = (shift ^ (0u - (shift & 1))) & 0x1FFFE;
  return differ ? __builtin_ctz(differ) : 16;
}

// The envelope `count` advances on: the positions it passes in one go, and
// the ends of falls and rises among them, where the shape bits decide
// whether it turns, holds, or goes silent.
void env_advance(Ym2149 &ym, int64_t count) {
  YmEnvelope &v = ym.env;
  if (v.c == 0 || count == 0) return;
  const int64_t to_end = kEnvMask + 1 - (v.g & kEnvMask);  // advances to the next end
  if (count < to_end) {
    v.g += static_cast<uint32_t>(count);
    return;
  }
  const uint8_t shape = ym.regs[kEnvShape];
  const bool hold = shape & 1, alternate = shape & 2;
  // A held envelope stops at the first end; otherwise each end may turn it.
  const int64_t ends = hold ? 1 : 1 + (count - to_end) / (kEnvMask + 1);
  if ((alternate != hold) && (ends & 1)) v.h ^= kEnvMask;
  v.c = hold ? 0 : 1;
  v.e = (shape & 8) ? kEnvMask : 0;
  v.g += static_cast<uint32_t>(hold ? to_end : count);
}

void env_catch_up(Ym2149 &ym, int64_t period, int64_t to) {
  env_advance(ym, events_before(ym.env_last, ym.env_since, period, to));
}

// Steps the generators from ym.step up to step `to`, the registers holding
// still, handing every change of the mixed level to the blep.
void generate(Ym2149 &ym, int64_t to) {
  if (to <= ym.step) return;
  const Setup s = setup(ym);
  const int64_t from = ym.step;
  int64_t tone_next[3];
  for (int ch = 0; ch < 3; ++ch) {
    tone_next[ch] = kNever;
    if (s.tone_heard & kChannel[ch]) {
      tone_catch_up(ym, ch, s.tone_period[ch], from);
      tone_next[ch] = std::max(ym.tone_last[ch] + s.tone_period[ch], ym.tone_since[ch]);
    }
  }
  // The noise's next event is the clock that changes its bit.
  int64_t noise_next = kNever;
  int noise_clocks = 0;
  auto plan_noise = [&] {
    noise_clocks = noise_clocks_to_change(ym.noise_shift);
    noise_next = std::max(ym.noise_last + s.noise_period, ym.noise_since) +
                 (noise_clocks - 1) * s.noise_period;
  };
  if (s.noise_heard) {
    noise_catch_up(ym, s.noise_period, from);
    plan_noise();
  }
  // The envelope's next event is its next advance (every one changes its
  // level but at the ends of a course); none once it holds.
  int64_t env_next = kNever;
  auto plan_env = [&] {
    env_next = ym.env.c ? std::max(ym.env_last + s.env_period, ym.env_since) : kNever;
  };
  if (s.env_heard) {
    env_catch_up(ym, s.env_period, from);
    plan_env();
  }

  update_level(ym, s, from);
  for (;;) {
    const int64_t t = std::min({tone_next[0], tone_next[1], tone_next[2], noise_next, env_next});
    if (t >= to) break;
    for (int ch = 0; ch < 3; ++ch) {
      if (tone_next[ch] == t) {
        ym.tone_bits ^= kChannel[ch];
        ym.tone_last[ch] = t;
        tone_next[ch] = t + s.tone_period[ch];
      }
    }
    if (noise_next == t) {
      ym.noise_shift = noise_shifted(ym.noise_shift, noise_clocks);
      ym.noise_last = t;
      plan_noise();
    }
    if (env_next == t) {
      env_advance(ym, 1);
      ym.env_last = t;
      plan_env();
    }
    update_level(ym, s, t);
  }
  ym.step = to;
}

// Power-on state of the registers and generators, at the current step.
void reset_generators(Ym2149 &ym) {
  constexpr uint8_t kResetRegs[kRegisters] = {0, 0, 0, 0, 0, 0,           0, kMixerReset,
                                              0, 0, 0, 0, 0, kShapeReset, 0, 0};
  std::copy(kResetRegs, kResetRegs + kRegisters, ym.regs);
  ym.selected = 0;
  const int64_t now = ym.step;
  for (int ch = 0; ch < 3; ++ch) ym.tone_last[ch] = ym.tone_since[ch] = now;
  ym.tone_bits = 0;
  // The noise counter starts at 0, as just after a clock.
  ym.noise_last = now - 1;
  ym.noise_since = now;
  ym.noise_shift = 1;
  ym.env = restarted(kShapeReset);
  ym.env_last = now;
  ym.env_since = now;
}

// ------------------------------------------------------------ bus ports

void write_register(Ym2149 &ym, uint8_t reg, uint8_t value, uint32_t cycle) {
  if (reg >= kRegisters) return;
  // Only a write to R13 acts without changing the value: it restarts the
  // envelope.
  if (reg != kEnvShape && ym.regs[reg] == value) return;
  // A write counts from the step its cycle falls in, never before the steps
  // already rendered (see kWriteReach for those beyond).
  int64_t at = step_of(ym, cycle);
  if (at > ym.write_limit || at < ym.step) at = ym.step;
  if (reg < kIoPortA) generate(ym, at);
  if (reg < kNoisePeriod) {
    const int ch = reg >> 1;
    tone_catch_up(ym, ch, tone_period(ym, ch), at);
    ym.tone_since[ch] = at;
  } else if (reg == kNoisePeriod) {
    noise_catch_up(ym, noise_period(ym), at);
    ym.noise_since = at;
  } else if (reg == kEnvFine || reg == kEnvCoarse) {
    env_catch_up(ym, env_period(ym), at);
    ym.env_since = at;
  } else if (reg == kEnvShape) {
    ym.env = restarted(value);
    ym.env_last = at;
    ym.env_since = at;
  }
  ym.regs[reg] = value;
}

// Select port: every address with bit 1 clear; data port: bit 1 set. Reads
// answer only at addresses that are multiples of 4; a register beyond 15
// reads 0.
uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t) {
  const Ym2149 &ym = chip(self);
  if ((address & 3) || ym.selected >= kRegisters) return 0;
  return ym.regs[ym.selected];
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  Ym2149 &ym = chip(self);
  if (address & 2) {
    write_register(ym, ym.selected, static_cast<uint8_t>(value), cycle);
  } else {
    ym.selected = static_cast<uint8_t>(value);
  }
}

// A word reaches the port through its high byte; a long is two words at the
// same cycle, so 0xRRxxVVxx at the select port selects RR and writes VV.
constexpr io68_read_t read_word = chips::read_wide<read_byte, 1, chips::Use::kHigh>;
constexpr io68_write_t write_word = chips::write_wide<write_byte, 1, chips::Use::kHigh>;

// The next frame counts its cycles from 0 again: cycle 0 moves on by the
// length of the frame that ended.
void adjust_cycles(IoPlugin68 *self, uint32_t cycles) {
  Ym2149 &ym = chip(self);
  set_frame(ym, ym.frame_start + cycles, ym.rendered > cycles ? ym.rendered - cycles : 0);
}

constexpr IoPlugin68 kRecord = {
    .next = nullptr,
    .name = "YM-2149",
    .addr_lo = 0xFFFF8800,
    .addr_hi = 0xFFFF88FF,
    .read_b = read_byte,
    .read_w = read_word,
    .read_l = chips::read_wide<read_word, 2>,
    .write_b = write_byte,
    .write_w = write_word,
    .write_l = chips::write_wide<write_word, 2>,
    .interrupt = nullptr,
    .next_interrupt = nullptr,
    .adjust_cycles = adjust_cycles,
    .reset =
        [](IoPlugin68 *self) {
          reset_generators(chip(self));
          return 0;
        },
};

}  // namespace

extern "C" {

int ym_init(Ym2149 *ym, const Timebase *tb) {
  ym->io = kRecord;
  ym->mix = mix_table();
  ym->voice_mask = kAllVoices;
  ym->tb = tb;
  return ym_reset(ym);
}

int ym_reset(Ym2149 *ym) {
  ym->level = 0;
  ym->coupling.estimate = 0;
  restart_time(*ym, 0, 0);
  reset_generators(*ym);
  return 0;
}

void ym_timebase_changed(Ym2149 *ym) {
  const int64_t moved = restart_time(*ym, ym->rendered, ym->level);
  for (int ch = 0; ch < 3; ++ch) {
    ym->tone_last[ch] += moved;
    ym->tone_since[ch] += moved;
  }
  ym->noise_last += moved;
  ym->noise_since += moved;
  ym->env_last += moved;
  ym->env_since += moved;
}

void ym_render(Ym2149 *ym, uint32_t to_cycle, int32_t *out, int n) {
  generate(*ym, step_of(*ym, to_cycle));
  ym->rendered = to_cycle;
  ym->write_limit = step_of(*ym, to_cycle + kWriteReach);
  // With no change waiting and the coupling settled on the level, the
  // samples are all 0.
  const bool settled =
      ym->hold == 0 && ym->blep.pending == 0 && ym->coupling.estimate == int64_t{ym->level} << 16;
  const int held = std::min(ym->hold, n);
  std::fill_n(out, held, ym->held_level);
  ym->hold -= held;
  constexpr int kPiece = chips::kBlepSpan - chips::kBlepTaps;
  for (int done = held; done < n; done += kPiece) {
    chips::blep_read_samples(ym->blep, std::min(n - done, kPiece), out + done);
  }
  if (settled) {
    std::fill_n(out, n, 0);
  } else {
    ym_couple(&ym->coupling, out, n);
  }
}

void ym_couple(YmCoupling *c, int32_t *samples, int n) {
  int64_t estimate = c->estimate;
  const int64_t gain = c->gain;
  for (int i = 0; i < n; ++i) {
    const int64_t x = int64_t{samples[i]} << 16;
    estimate = std::clamp(estimate, x - kCouplingMax, x + kCouplingMax);
    samples[i] -= static_cast<int32_t>((estimate + 0x8000) >> 16);
    estimate += ((x - estimate) * gain) >> 16;
  }
  c->estimate = estimate;
}

int ym_voice_mask(Ym2149 *ym, int voices) {
  if (voices >= 0) {
    ym->voice_mask = 0;
    for (int ch = 0; ch < 3; ++ch) {
      if (voices & (1 << ch)) ym->voice_mask |= kChannel[ch];
    }
  }
  int bits = 0;
  for (int ch = 0; ch < 3; ++ch) {
    if (ym->voice_mask & kChannel[ch]) bits |= 1 << ch;
  }
  return bits;
}

}  // extern "C"
