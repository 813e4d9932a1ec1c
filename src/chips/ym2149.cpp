/* YM-2149 sound generator: register ports on the 68000 bus, write queues,
 * and the per-frame renderer.
 *
 * While the 68000 runs, register writes are only queued with their cycle
 * positions. ym_render_frame then runs three stages over the frame, each
 * filling one word per 250 kHz step and replaying its own queue on the way:
 *   noise     -> noise word per step    (12-bit channel pattern)
 *   envelope  -> envelope level per step (level * 0x111)
 *   tone+mix  -> output level per step, through the mixing table
 * and averages groups of 4 steps (62500 Hz) picked at the output rate.
 *
 * A generator nobody hears over a stretch of steps (a square wave switched
 * off, muted or at volume 0; noise on no channel of the voice mask; the
 * envelope followed by none) is not stepped there: its counters and position
 * move on in one go, so it comes back in the phase it would have had. Runs in which no heard
 * channel follows the envelope or the noise hold one level and are filled at once.
 *
 * Time: every queue has a base, the cycle up to which its generator has been
 * rendered. A frame renders the whole steps from the base to the frame's end
 * and a write sounds from the start of the step its cycle falls in; the
 * cycles of an unfinished step are left for the next frame, whose
 * adjust-cycles call puts the base just below 0. The mixer register R7 feeds
 * both the noise and the tone stage and is queued for both, so each stage
 * sees it change at its own moment.
 *
 * 12-bit channel patterns: channel A owns bits 11-8, B bits 7-4, C bits 3-0;
 * AND-ing the tone, noise and volume patterns of a step gives the index of
 * the mixing table.
 */
#include "chips/ym2149.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "chips/wide_access.h"
#include "chips/ym_mixtable.h"

namespace {

// One generator step every 32 cycles of the 8 MHz 68000: 250 kHz, the rate
// at which a 2 MHz YM-2149 clocks its tone counters (2 MHz / 8).
constexpr int kCycleShift = 5;
constexpr int kCyclesPerStep = 1 << kCycleShift;
constexpr int kStepCapacity = YM_BUFFER_SIZE;
constexpr int kListCapacity = YM_LIST_CAPACITY;
// Peak of the rescaled mixing table (leaves headroom for the other chips).
constexpr uint32_t kOutputLevel = 0xD000;
constexpr int kScaleShift = 14;
// 62500 Hz, the rate of groups of four steps, as a 16.16 fraction numerator.
constexpr uint32_t kGroupRateFixed = 62500u << 16;

// Registers.
constexpr int kNoisePeriod = 6;
constexpr uint8_t kNoisePeriodMask = 0x1F;
constexpr int kMixer = 7;    // bits 0-2 tone off A/B/C, bits 3-5 noise off A/B/C
constexpr int kVolumeA = 8;  // 8-10: bit 4 follow the envelope, bits 3-0 level
constexpr int kEnvFine = 11;
constexpr int kEnvCoarse = 12;
constexpr int kEnvShape = 13;  // bit 3 continue, 2 attack, 1 alternate, 0 hold
constexpr int kLastReadable = 13;
constexpr uint8_t kMixerReset = 0x3F;
constexpr uint8_t kShapeReset = 10;

constexpr uint32_t kNibble[3] = {0xF00, 0x0F0, 0x00F};
constexpr uint32_t kAllVoices = 0xFFF;

// Envelope: 32 positions per fall or rise, shown as 16 levels.
constexpr uint32_t kEnvMask = 31;
constexpr int32_t kEnvRestart = 65536;  // beyond any period: advance at once

// The envelope as a write of `shape` to R13 leaves it: the first step
// advances at once, so the first level shown is that of position 1.
constexpr YmEnvelope restarted(uint8_t shape) {
  return {kEnvRestart, 0, 1, (shape & 4) ? 0 : kEnvMask, kEnvMask};
}

// The mixing table rescaled to the output level, built once for every chip.
const int32_t *mix_table() {
  static const std::array<int32_t, YM_MIX_TABLE_SIZE> table = [] {
    std::array<int32_t, YM_MIX_TABLE_SIZE> t;
    uint16_t stored[YM_MIX_TABLE_SIZE];
    ym_mix_table_build(stored);
    const uint32_t factor = (kOutputLevel << kScaleShift) / (stored[YM_MIX_TABLE_SIZE - 1] + 1u);
    for (int i = 0; i < YM_MIX_TABLE_SIZE; ++i) {
      t[i] = static_cast<int32_t>(std::min((stored[i] * factor) >> kScaleShift, kOutputLevel));
    }
    return t;
  }();
  return table.data();
}

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(Ym2149, io) == 0);
Ym2149 &chip(IoPlugin68 *self) { return *reinterpret_cast<Ym2149 *>(self); }

// ---------------------------------------------------------------- queues

void list_clear(YmWriteList &l, int32_t base) {
  l.base = base;
  l.count = 0;
}

// A full list keeps its newest write in the last slot.
void list_push(YmWriteList &l, int32_t cycle, uint8_t reg, uint8_t value) {
  int i = l.count < kListCapacity ? l.count++ : kListCapacity - 1;
  l.entries[i] = {cycle, reg, value};
}

void queue_write(Ym2149 &ym, uint8_t reg, uint8_t value, uint32_t cycle) {
  const auto c = static_cast<int32_t>(cycle);
  if (reg < kNoisePeriod || (reg >= kVolumeA && reg < kEnvFine)) {
    list_push(ym.tone_list, c, reg, value);
  } else if (reg == kNoisePeriod) {
    list_push(ym.noise_list, c, reg, value);
  } else if (reg == kMixer) {
    list_push(ym.tone_list, c, reg, value);
    list_push(ym.noise_list, c, reg, value);
  } else if (reg <= kEnvShape) {
    list_push(ym.env_list, c, reg, value);
  }
}

// The value a read of register r sees: the newest queued write, else the
// register file.
uint8_t read_register(const Ym2149 &ym, uint8_t r) {
  if (r > kLastReadable) return 0;
  const YmWriteList &l = (r == kNoisePeriod || r == kMixer) ? ym.noise_list
                         : r >= kEnvFine                    ? ym.env_list
                                                            : ym.tone_list;
  for (int i = l.count - 1; i >= 0; --i) {
    if (l.entries[i].reg == r) return l.entries[i].value;
  }
  return ym.regs[r];
}

// ------------------------------------------------------------- rendering

// Replays a list over `steps` steps: run(first, n) renders n steps from step
// `first`, apply(write) stores a write. A write takes effect from the start of
// the step its cycle falls in; writes outside the frame apply at its edges.
template <class Run, class Apply>
void replay(const YmWriteList &l, int steps, Run run, Apply apply) {
  int done = 0;
  for (int i = 0; i < l.count; ++i) {
    const YmWrite &w = l.entries[i];
    int64_t at = (static_cast<int64_t>(w.cycle) - l.base) >> kCycleShift;
    int step = static_cast<int>(std::clamp<int64_t>(at, done, steps));
    run(done, step - done);
    done = step;
    apply(w);
  }
  run(done, steps - done);
}

// Counters that fire and restart when they have reached their period at the
// start of a step and count every step (tone counters, the envelope's f):
// advances `counter` by n steps of `period` (>= 1) and returns how often it
// fired.
int32_t count_firings(int32_t &counter, int32_t period, int32_t n) {
  const int32_t first = std::max(period - counter, 0);  // step of the first firing
  if (n <= first) {
    counter += n;
    return 0;
  }
  const int32_t firings = 1 + (n - 1 - first) / period;
  counter = n - (first + (firings - 1) * period);
  return firings;
}

// The 17-bit noise shift register one clock later: the new bit 16 is bit 0
// XOR bit 2.
uint32_t noise_shifted(uint32_t shift) {
  return (shift >> 1) | (((shift ^ (shift >> 2)) & 1) << 16);
}

// The shift register `count` clocks later. The 15 bits that 15 clocks shift
// in are bits 0-14 XOR bits 2-16 of the current value, so they come at once.
uint32_t noise_shifted(uint32_t shift, int32_t count) {
  for (; count >= 15; count -= 15) shift = (shift >> 15) | (((shift ^ (shift >> 2)) & 0x7FFF) << 2);
  for (; count > 0; --count) shift = noise_shifted(shift);
  return shift;
}

// Noise: the shift register is clocked every 2 * R6 steps, every step when
// R6 is 0 (the chip's noise period register has 5 bits). A step's noise word
// is all ones while bit 0 is 1, else it passes only the channels whose noise
// is off.
void noise_run(Ym2149 &ym, int first, int n) {
  const uint32_t voice_mask = ym.voice_mask;
  const int32_t period = 2 * (ym.regs[kNoisePeriod] & kNoisePeriodMask);
  uint32_t disabled = 0;
  for (int ch = 0; ch < 3; ++ch) {
    if (ym.noise_mixer & (8 << ch)) disabled |= kNibble[ch];
  }
  uint32_t *out = ym.noise_buf + first;
  if ((~disabled & voice_mask) == 0) {
    // No channel heard takes the noise: it passes them all, and the shift
    // register only runs on. Counted like the tone counters, the noise
    // counter is one ahead (it counts before it compares).
    int32_t counter = ym.noise_counter + 1;
    ym.noise_shift = noise_shifted(ym.noise_shift, count_firings(counter, std::max(period, 1), n));
    ym.noise_counter = counter - 1;
    std::fill_n(out, n, 0xFFFFFFFFu);
    return;
  }
  uint32_t word = (ym.noise_shift & 1) ? 0xFFFFFFFFu : disabled;
  int32_t counter = ym.noise_counter;
  uint32_t shift = ym.noise_shift;
  for (; n > 0; --n) {
    if (++counter >= period) {
      shift = noise_shifted(shift);
      counter = 0;
      word = (shift & 1) ? 0xFFFFFFFFu : disabled;
    }
    *out++ = word;
  }
  ym.noise_counter = counter;
  ym.noise_shift = shift;
}

// Envelope period in steps, 0 counting as 1.
int32_t envelope_period(const Ym2149 &ym) {
  const int32_t period = (ym.regs[kEnvCoarse] << 8) | ym.regs[kEnvFine];
  return period ? period : 1;
}

// The envelope n steps on without showing its levels: the positions it
// passes in one go, and the ends of falls and rises among them.
void envelope_skip(Ym2149 &ym, int32_t n) {
  YmEnvelope &v = ym.env;
  const auto advances = static_cast<uint32_t>(count_firings(v.f, envelope_period(ym), n));
  const uint32_t to_end = kEnvMask + 1 - (v.g & kEnvMask);  // advances to the next end
  if (v.c == 0 || advances < to_end) {
    v.g += v.c * advances;
    return;
  }
  const uint8_t shape = ym.regs[kEnvShape];
  const bool hold = shape & 1, alternate = shape & 2;
  // A held envelope stops at the first end; otherwise each end may turn it.
  const uint32_t ends = hold ? 1 : 1 + (advances - to_end) / (kEnvMask + 1);
  if ((alternate != hold) && (ends & 1)) v.h ^= kEnvMask;
  v.c = hold ? 0 : 1;
  v.e = (shape & 8) ? kEnvMask : 0;
  v.g += hold ? to_end : advances;
}

// Envelope: advances one position every P steps; at the end of each fall or
// rise the shape bits decide whether it turns, holds, or goes silent.
void envelope_run(Ym2149 &ym, int first, int n) {
  const int32_t period = envelope_period(ym);
  const uint8_t shape = ym.regs[kEnvShape];
  uint32_t *out = ym.env_buf + first;
  while (n > 0) {
    int32_t run;
    if (period - ym.env.f <= 0) {
      uint32_t g = ym.env.g + ym.env.c;
      if ((g ^ ym.env.g) & 32) {
        if (((shape >> 1) ^ shape) & 1) ym.env.h ^= kEnvMask;
        ym.env.c = (shape & 1) ? 0 : 1;
        ym.env.e = (shape & 8) ? kEnvMask : 0;
      }
      ym.env.g = g;
      ym.env.f = 0;
      run = period;
    } else {
      run = period - ym.env.f;
    }
    run = std::min(run, n);
    uint32_t level = ((ym.env.g ^ ym.env.h) >> 1) & (ym.env.e >> 1);
    out = std::fill_n(out, run, level * 0x111);
    ym.env.f += run;
    n -= run;
  }
}

// Whether a channel of the voice mask follows the envelope at some moment of
// the frame (the volumes are still as the frame found them). If none does,
// the envelope's levels are never looked at and need not be written.
bool envelope_heard(const Ym2149 &ym) {
  auto follows = [&ym](int reg, uint8_t value) {
    return reg >= kVolumeA && reg < kVolumeA + 3 && (value & 0x10) &&
           (ym.voice_mask & kNibble[reg - kVolumeA]);
  };
  for (int reg = kVolumeA; reg < kVolumeA + 3; ++reg) {
    if (follows(reg, ym.regs[reg])) return true;
  }
  const YmWriteList &l = ym.tone_list;
  return std::any_of(l.entries, l.entries + l.count,
                     [&](const YmWrite &w) { return follows(w.reg, w.value); });
}

// Volume nibble of a channel for the output centre: 15 when it follows the
// envelope.
uint32_t peak_nibble(uint8_t volume) { return (volume & 0x10) ? 15 : (volume & 15); }

// Half of the highest level the frame can reach, so that it swings about 0.
int32_t frame_centre(const Ym2149 &ym) {
  const int32_t *mix = ym.mix;
  const uint32_t voice_mask = ym.voice_mask;
  uint32_t index = 0;
  for (int ch = 0; ch < 3; ++ch) index |= peak_nibble(ym.regs[kVolumeA + ch]) << (8 - 4 * ch);
  int32_t peak = mix[index & voice_mask];
  const YmWriteList &l = ym.tone_list;
  for (int i = 0; i < l.count; ++i) {
    const YmWrite &w = l.entries[i];
    if (w.reg >= kVolumeA && w.reg < kVolumeA + 3) {
      int shift = 8 - 4 * (w.reg - kVolumeA);
      index = (index & ~(15u << shift)) | (peak_nibble(w.value) << shift);
    }
    if (i + 1 == l.count || l.entries[i + 1].cycle != w.cycle) {
      peak = std::max(peak, mix[index & voice_mask]);
    }
  }
  return (peak + 1) >> 1;
}

// Levels of n steps whose channels vary from step to step: the step's
// tone, noise and envelope words pick its entry of the mixing table. The
// buffers never overlap the table; saying so (restrict) lets the compiler
// do several steps at once.
void mix_steps(int32_t *__restrict out, const uint32_t *__restrict noise,
               const uint32_t *__restrict env, const int32_t *__restrict mix, int n, uint32_t tone,
               uint32_t env_sel, uint32_t fixed, int32_t centre) {
  for (int i = 0; i < n; ++i) {
    uint32_t index = tone & noise[i] & ((env_sel & env[i]) | fixed);
    out[i] = mix[index] - centre;
  }
}

// Tone and mix: square waves toggled every P steps, combined with the noise
// and envelope words of each step into a mixing-table index.
//
// A square wave is heard when its tone is on, its channel in the voice mask
// and its volume not a fixed 0. Only those cut the segment into runs, at
// their periods; the others get a limit no counter reaches, run through the
// segment untoggled, and count their toggles in one go at its end, which
// keeps their phase for when they are heard again.
void tone_run(Ym2149 &ym, int first, int n, int32_t centre) {
  constexpr int32_t kNever = INT32_MAX;
  const int32_t *mix = ym.mix;
  const uint32_t voice_mask = ym.voice_mask;
  int32_t period[3], limit[3];
  uint32_t tone_off = 0, noise_on = 0, env_sel = 0, fixed = 0;
  for (int ch = 0; ch < 3; ++ch) {
    int32_t p = ((ym.regs[2 * ch + 1] & 0x0F) << 8) | ym.regs[2 * ch];
    period[ch] = p ? p : 1;
    if (ym.tone_mixer & (1 << ch)) tone_off |= kNibble[ch];
    if (!(ym.tone_mixer & (8 << ch))) noise_on |= kNibble[ch];
    uint8_t volume = ym.regs[kVolumeA + ch];
    if (volume & 0x10) {
      env_sel |= kNibble[ch];
    } else {
      fixed |= (volume & 15u) * (kNibble[ch] & 0x111);
    }
  }
  const uint32_t heard = ~tone_off & voice_mask & (env_sel | fixed);
  // Channels whose level may change from step to step: those following the
  // envelope, and those with their noise on (the noise word passes the
  // others, whatever the noise stage did). A run without them is one level.
  const uint32_t varying = env_sel | (noise_on & fixed);
  for (int ch = 0; ch < 3; ++ch) limit[ch] = (heard & kNibble[ch]) ? period[ch] : kNever;
  const uint32_t *noise = ym.noise_buf + first;
  const uint32_t *env = ym.env_buf + first;
  int32_t *out = ym.out_buf + first;
  for (int left = n; left > 0;) {
    int32_t run = left;
    for (int ch = 0; ch < 3; ++ch) {
      if (ym.tone_counter[ch] >= limit[ch]) {
        ym.tone_counter[ch] = 0;
        ym.tone_out ^= kNibble[ch];
      }
      run = std::min(run, limit[ch] - ym.tone_counter[ch]);
    }
    const uint32_t tone = (ym.tone_out | tone_off) & voice_mask;
    if (tone & varying) {
      mix_steps(out, noise, env, mix, run, tone, env_sel, fixed, centre);
    } else {
      std::fill_n(out, run, mix[tone & fixed] - centre);
    }
    noise += run;
    env += run;
    out += run;
    for (int32_t &c : ym.tone_counter) c += run;
    left -= run;
  }
  for (int ch = 0; ch < 3; ++ch) {
    if (heard & kNibble[ch]) continue;
    ym.tone_counter[ch] -= n;  // back to where the segment found it
    if (count_firings(ym.tone_counter[ch], period[ch], n) & 1) ym.tone_out ^= kNibble[ch];
  }
}

// Averages groups of 4 steps and picks them at the output rate; samples are
// written over the step buffer from its start. Returns the sample count.
int resample(Ym2149 &ym, int steps) {
  int32_t *s = ym.out_buf;
  int written = 0;
  int first = 0;
  if (ym.carry_steps > 0) {
    int m = std::min(4 - ym.carry_steps, steps);
    for (int i = 0; i < m; ++i) ym.carry_sum += s[i];
    ym.carry_steps += m;
    if (ym.carry_steps < 4) return 0;
    first = m;
  }
  const int32_t carried = ym.carry_sum >> 2;
  const int rest = steps - first;
  const int groups = rest >> 2;
  const int left = rest & 3;
  const int32_t *g = s + first;
  // The leftover steps, the frame's last ones, start the next group.
  ym.carry_steps = left;
  ym.carry_sum = 0;
  for (int i = 0; i < left; ++i) ym.carry_sum += g[4 * groups + i];
  if (first > 0) s[written++] = carried;

  const uint32_t step = kGroupRateFixed / ym.output_rate;
  const uint32_t end = static_cast<uint32_t>(groups) << 16;
  for (uint32_t pos = 0; pos < end; pos += step) {
    const int32_t *q = g + 4 * (pos >> 16);
    s[written++] = (q[0] + q[1] + q[2] + q[3]) >> 2;
  }
  return written;
}

// ------------------------------------------------------------ bus ports

// Select port: every address with bit 1 clear; data port: bit 1 set. Reads
// answer only at addresses that are multiples of 4.
uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t) {
  return (address & 3) ? 0 : read_register(chip(self), chip(self).selected);
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  Ym2149 &ym = chip(self);
  if (address & 2) {
    queue_write(ym, ym.selected, static_cast<uint8_t>(value), cycle);
  } else {
    ym.selected = static_cast<uint8_t>(value);
  }
}

// A word reaches the port through its high byte; a long is two words at the
// same cycle, so 0xRRxxVVxx at the select port selects RR and writes VV.
constexpr io68_read_t read_word = chips::read_wide<read_byte, 1, chips::Use::kHigh>;
constexpr io68_write_t write_word = chips::write_wide<write_byte, 1, chips::Use::kHigh>;

// The next frame counts its cycles from 0 again: rebase queued writes and
// rendered positions by the length of the frame that ended.
void adjust_cycles(IoPlugin68 *self, uint32_t cycles) {
  Ym2149 &ym = chip(self);
  for (YmWriteList *l : {&ym.tone_list, &ym.noise_list, &ym.env_list}) {
    l->base = static_cast<int32_t>(static_cast<uint32_t>(l->base) - cycles);
    for (int i = 0; i < l->count; ++i) {
      YmWrite &w = l->entries[i];
      w.cycle = static_cast<int32_t>(static_cast<uint32_t>(w.cycle) - cycles);
    }
  }
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
    .reset = [](IoPlugin68 *self) { return ym_reset(&chip(self)); },
};

}  // namespace

extern "C" {

int ym_init(Ym2149 *ym) {
  ym->io = kRecord;
  ym->mix = mix_table();
  if (ym->output_rate == 0) ym->output_rate = YM_RATE_DEFAULT;
  ym->voice_mask = kAllVoices;
  return ym_reset(ym);
}

// Registers 0 but the mixer (everything off) and the envelope shape, lists
// empty, generators at their start, the envelope restarted with shape 10.
int ym_reset(Ym2149 *ym) {
  constexpr uint8_t kResetRegs[16] = {0, 0, 0, 0, 0, 0,           0, kMixerReset,
                                      0, 0, 0, 0, 0, kShapeReset, 0, 0};
  std::copy(kResetRegs, kResetRegs + 16, ym->regs);
  ym->selected = 0;
  ym->noise_mixer = kMixerReset;
  ym->tone_mixer = kMixerReset;
  for (YmWriteList *l : {&ym->tone_list, &ym->noise_list, &ym->env_list}) list_clear(*l, 0);
  std::fill_n(ym->tone_counter, 3, 0);
  ym->tone_out = 0;
  ym->noise_counter = 0;
  ym->noise_shift = 1;
  ym->env = restarted(kShapeReset);
  ym->carry_steps = 0;
  ym->carry_sum = 0;
  return 0;
}

unsigned ym_sampling_rate(Ym2149 *ym, unsigned hz) {
  if (hz != 0) ym->output_rate = std::clamp<unsigned>(hz, YM_RATE_MIN, YM_RATE_MAX);
  return ym->output_rate;
}

int ym_render_frame(Ym2149 *chip, uint32_t cycles) {
  Ym2149 &ym = *chip;
  // All three lists share one base. The frame covers the whole steps from it
  // to the frame's end; the cycles beyond the last whole step are left for
  // the next frame (the base ends up just below 0 after adjust_cycles).
  const int32_t base = ym.tone_list.base;
  const int64_t span = static_cast<int64_t>(cycles) - base;
  const int64_t whole = span > 0 ? span >> kCycleShift : 0;
  const int steps = static_cast<int>(std::min<int64_t>(whole, kStepCapacity));

  replay(
      ym.noise_list, steps, [&ym](int first, int n) { noise_run(ym, first, n); },
      [&ym](const YmWrite &w) {
        ym.regs[w.reg] = w.value;
        if (w.reg == kMixer) ym.noise_mixer = w.value;
      });
  // When no channel heard follows the envelope, it only moves on: its words
  // are left as they were, and the tone stage masks them all out.
  const bool show_envelope = envelope_heard(ym);
  replay(
      ym.env_list, steps,
      [&ym, show_envelope](int first, int n) {
        if (show_envelope) {
          envelope_run(ym, first, n);
        } else {
          envelope_skip(ym, n);
        }
      },
      [&ym](const YmWrite &w) {
        ym.regs[w.reg] = w.value;
        if (w.reg == kEnvShape) ym.env = restarted(w.value);
      });
  const int32_t centre = frame_centre(ym);
  replay(
      ym.tone_list, steps, [&ym, centre](int first, int n) { tone_run(ym, first, n, centre); },
      [&ym](const YmWrite &w) {
        ym.regs[w.reg] = w.value;
        if (w.reg == kMixer) ym.tone_mixer = w.value;
      });

  const auto next = static_cast<int32_t>(static_cast<uint32_t>(base) +
                                         static_cast<uint32_t>(whole) * kCyclesPerStep);
  list_clear(ym.tone_list, next);
  list_clear(ym.noise_list, next);
  list_clear(ym.env_list, next);
  return resample(ym, steps);
}

int32_t *ym_output_buffer(Ym2149 *ym) { return ym->out_buf; }

int ym_voice_mask(Ym2149 *ym, int voices) {
  if (voices >= 0) {
    ym->voice_mask = 0;
    for (int ch = 0; ch < 3; ++ch) {
      if (voices & (1 << ch)) ym->voice_mask |= kNibble[ch];
    }
  }
  int bits = 0;
  for (int ch = 0; ch < 3; ++ch) {
    if (ym->voice_mask & kNibble[ch]) bits |= 1 << ch;
  }
  return bits;
}

}  // extern "C"
