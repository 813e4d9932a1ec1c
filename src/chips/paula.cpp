// Amiga Paula: register file, DMA/interrupt control words and the four
// sample voices, rendered with linear interpolation once per replay frame.
#include "chips/paula.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "chips/wide_access.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Register offsets within the chip's 256-byte page (Amiga custom chip map).
constexpr uint32_t kDmaconRead = 0x02;  // DMACONR
constexpr uint32_t kBeamHigh = 0x06;    // VHPOSR high byte: the beam counter
constexpr uint32_t kAdkconRead = 0x10;  // ADKCONR
constexpr uint32_t kIntenaRead = 0x1C;  // INTENAR
constexpr uint32_t kIntreqRead = 0x1E;  // INTREQR
constexpr uint32_t kDmacon = 0x96;
constexpr uint32_t kIntena = 0x9A;
constexpr uint32_t kIntreq = 0x9C;
constexpr uint32_t kAdkcon = 0x9E;
constexpr uint32_t kVoiceBase = 0xA0;  // AUD0LC; voice i at 0xA0 + 16 * i
constexpr uint32_t kVoiceStride = 16;
// Offsets within one voice's 16 registers.
constexpr uint32_t kVoiceLocation = 0;  // 32-bit, 24 bits used, bit 0 ignored
constexpr uint32_t kVoiceLength = 4;    // words; 0 = 65536
constexpr uint32_t kVoicePeriod = 6;    // clock ticks per sample; 0 = 1
constexpr uint32_t kVoiceVolume = 9;    // low byte of the volume word
constexpr uint32_t kVoiceData = 10;     // high byte: last sample played

constexpr int kVoices = 4;
constexpr uint32_t kSetClear = 0x8000;      // bit 15 of a control write: set, else clear
constexpr uint32_t kDmaMaster = 0x0200;     // DMACON DMAEN
constexpr uint32_t kIntMaster = 0x4000;     // INTENA INTEN
constexpr uint32_t kVoiceIntBits = 0x0780;  // INTENA/INTREQ AUD0-AUD3 (bits 7-10)
constexpr uint32_t kVoiceIntShift = 7;

constexpr uint16_t kDmaconReset = kDmaMaster;
constexpr uint16_t kIntenaReset = kIntMaster;
constexpr uint32_t kIdleLoopEnd = 2;  // voice state loop end after a reset

// Positions count 1/8192 byte, so byte offset = position >> 13 and a 32-bit
// position spans exactly the 512 KiB of 68000 memory.
constexpr int kFracBits = 13;
constexpr uint32_t kFracMask = (1u << kFracBits) - 1;
constexpr uint32_t kMemoryMask = 0x7FFFF;
// Length register (words) to position units: 2 bytes << 13.
constexpr int kLengthShift = kFracBits + 1;

// Voices play 3579610 / period samples per second (near the NTSC colour
// clock). Per output sample a voice advances K / period position units,
// K = 1789805 * 16384 / rate = 3579610 * 8192 / rate.
constexpr uint64_t kClockScaled = 29324165120ull;  // 1789805 * 16384
constexpr uint32_t kDefaultRate = 44100;

// Gain by volume 0-64; a sample's contribution is (sample * gain) >> 9, so a
// full-scale byte (-128) at volume 64 gives -16384 and two voices on one
// side stay within 16 bits.
constexpr std::array<int32_t, 65> kVolumeGain = {
    0,     1772,  3230,  4584,  5886,  7189,  8352,  9608,  10725, 11972, 13099, 14190, 15372,
    16487, 17506, 18589, 19739, 20751, 21815, 22933, 23869, 24843, 25857, 26912, 28011, 28864,
    30042, 30957, 31899, 32871, 33872, 34903, 35966, 36693, 37810, 38962, 39749, 40552, 41787,
    42631, 43492, 44371, 45267, 46182, 47115, 48067, 49038, 50028, 51039, 52070, 53122, 53656,
    54740, 55846, 56407, 57546, 58125, 59299, 59895, 61105, 61719, 62966, 63599, 64883, 65536};
constexpr int kGainShift = 9;

// Voices 0 and 2 make the left channel (bits 0-15 of a stereo word),
// voices 1 and 3 the right one (bits 16-31).
constexpr int kLeftA = 0, kLeftB = 2, kRightA = 1, kRightB = 3;

// paula_mix renders the voices in blocks of this many samples on the stack.
constexpr int kBlock = 512;

// Per output sample a voice advances step_k / period position units. Below
// 7 Hz the step no longer fits 32 bits; it is held at the largest one.
constexpr uint32_t step_for(uint32_t rate) {
  return static_cast<uint32_t>(std::min<uint64_t>(kClockScaled / rate, UINT32_MAX));
}

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(Paula, io) == 0);
Paula &paula_of(IoPlugin68 *self) { return *reinterpret_cast<Paula *>(self); }

uint32_t set_clear(uint32_t old_value, uint32_t value) {
  return (value & kSetClear) ? ((old_value | value) & 0x7FFF) : (old_value & ~value);
}

uint32_t voice_reg_word(const Paula &chip, int v, uint32_t offset) {
  const uint32_t r = kVoiceBase + kVoiceStride * v + offset;
  return (uint32_t{chip.reg[r]} << 8) | chip.reg[r + 1];
}

// Loop window of voice v as its registers give it now. The shift drops the
// location's bits above 512 KiB.
struct Window {
  uint32_t start;
  uint32_t length;
  uint32_t end;  // may have wrapped below start
};

Window voice_window(const Paula &chip, int v) {
  const uint32_t r = kVoiceBase + kVoiceStride * v + kVoiceLocation;
  const uint32_t location =
      ((uint32_t{chip.reg[r + 1]} << 16) | (uint32_t{chip.reg[r + 2]} << 8) | chip.reg[r + 3]) &
      0xFFFFFE;
  const uint32_t words = voice_reg_word(chip, v, kVoiceLength);
  Window w;
  w.start = location << kFracBits;
  w.length = (words ? words : 0x10000) << kLengthShift;
  w.end = w.start + w.length;
  return w;
}

void start_voice(Paula &chip, int v) {
  const Window w = voice_window(chip, v);
  chip.voice[v] = {w.start, w.start, w.end};
}

uint32_t voices_on(const Paula &chip) {
  return (chip.dmacon & kDmaMaster) ? (chip.dmacon & 0xF) : 0;
}

void refresh_control_bytes(Paula &chip) {
  const auto put = [&chip](uint32_t r, uint32_t value) {
    chip.reg[r] = static_cast<uint8_t>((value >> 8) & 0x7F);
    chip.reg[r + 1] = static_cast<uint8_t>(value);
  };
  put(kDmaconRead, chip.dmacon);
  put(kIntenaRead, chip.intena);
  put(kIntreqRead, chip.intreq);
  put(kAdkconRead, chip.adkcon);
}

inline int16_t interpolate(int32_t s0, int32_t s1, uint32_t frac, int32_t gain) {
  // s1 * frac + s0 * (8192 - frac), arithmetic shift.
  const int32_t v = (s0 * (1 << kFracBits) + (s1 - s0) * static_cast<int32_t>(frac)) >> kFracBits;
  return static_cast<int16_t>((v * gain) >> kGainShift);  // within [-16384, 16384]
}

// First position from which the byte after the current one may lie outside
// the loop window ending at end (or past the top of memory): below it a
// sample needs neither a loop test nor the partner's wrap to the start.
uint32_t fast_limit(uint32_t end) {
  const uint32_t bytes = (end >> kFracBits) + ((end & kFracMask) != 0);  // ceil, <= 0x80000
  return bytes ? (bytes - 1) << kFracBits : 0;
}

#if defined(__SSE2__)
// Renders the first multiple of four of n samples whose bytes and following
// bytes all lie inside the window and memory (see VoiceRun::render), four at
// a time; advances pos past them and returns how many it rendered. Exactly
// the scalar arithmetic: pmaddwd forms s0 * (8192 - frac) + s1 * frac in
// 32-bit lanes, and then v * gain as (v << 8) * (gain >> 8) + v * (gain & 255).
int render_quads(int16_t *dst, int n, const uint8_t *memory, uint32_t &pos, uint32_t step,
                 int32_t gain) {
  const int quads = n & ~3;
  const __m128i frac_mask = _mm_set1_epi32(kFracMask);
  const __m128i one = _mm_set1_epi32(1 << kFracBits);
  const __m128i low_word = _mm_set1_epi32(0xFFFF);
  const __m128i gain_pair = _mm_set1_epi32(((gain >> 8) << 16) | (gain & 0xFF));
  const __m128i step4 = _mm_set1_epi32(static_cast<int32_t>(4 * step));
  __m128i p =
      _mm_setr_epi32(static_cast<int32_t>(pos), static_cast<int32_t>(pos + step),
                     static_cast<int32_t>(pos + 2 * step), static_cast<int32_t>(pos + 3 * step));
  for (int i = 0; i < quads; i += 4) {
    // The four byte pairs (s0, s1), as 16-bit words in memory order.
    uint64_t pairs = 0;
    for (int q = 0; q < 4; ++q) {
      uint16_t pair;
      std::memcpy(&pair, memory + (pos >> kFracBits), sizeof pair);
      pairs |= uint64_t{pair} << (16 * q);
      pos += step;
    }
    // Lane q: low word s0, high word s1, both sign-extended.
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(&pairs));
    const __m128i samples = _mm_srai_epi16(_mm_unpacklo_epi8(_mm_setzero_si128(), bytes), 8);
    // Lane q: low word 8192 - frac, high word frac.
    const __m128i frac = _mm_and_si128(p, frac_mask);
    const __m128i weights = _mm_or_si128(_mm_slli_epi32(frac, 16), _mm_sub_epi32(one, frac));
    const __m128i v = _mm_srai_epi32(_mm_madd_epi16(samples, weights), kFracBits);
    // Lane q: low word v, high word v << 8.
    const __m128i v_pair = _mm_or_si128(_mm_slli_epi32(v, 24), _mm_and_si128(v, low_word));
    const __m128i out = _mm_srai_epi32(_mm_madd_epi16(v_pair, gain_pair), kGainShift);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + i), _mm_packs_epi32(out, out));
    p = _mm_add_epi32(p, step4);
  }
  return quads;
}
#else
int render_quads(int16_t *, int, const uint8_t *, uint32_t &, uint32_t, int32_t) { return 0; }
#endif

// One voice's walk through its sample during one paula_mix call: the
// registers are read once at the start, the state is stored at the end.
class VoiceRun {
 public:
  // False when the voice is silent for this call: its register window wraps
  // past the 32-bit position range, or its position lies beyond the
  // latched loop end.
  bool begin(const Paula &chip, int voice) {
    v_ = voice;
    const uint32_t volume =
        std::min<uint32_t>(chip.reg[kVoiceBase + kVoiceStride * v_ + kVoiceVolume] & 0x7F, 64);
    gain_ = kVolumeGain[volume];
    const uint32_t period = voice_reg_word(chip, v_, kVoicePeriod);
    step_ = chip.step_k / (period ? period : 1);
    w_ = voice_window(chip, v_);
    const PaulaVoiceState &state = chip.voice[v_];
    if (w_.end < w_.start || state.loop_end < state.position) return false;
    pos_ = state.position;
    cur_end_ = state.loop_end;
    limit_ = fast_limit(cur_end_);
    looped_ = false;
    s0_ = 0;
    return true;
  }

  void render(int16_t *dst, int n, const uint8_t *memory) {
    int k = 0;
    while (k < n) {
      if (pos_ >= cur_end_) loop();
      if (pos_ < limit_) {
        // Every sample of this run has its byte and the next one inside the
        // window and inside memory.
        const uint64_t ahead = limit_ - pos_;
        const uint64_t run_len = step_ ? (ahead + step_ - 1) / step_ : static_cast<uint64_t>(n - k);
        const int run = static_cast<int>(std::min<uint64_t>(run_len, static_cast<uint64_t>(n - k)));
        uint32_t pos = static_cast<uint32_t>(pos_);
        int32_t s0 = s0_;
        int i = render_quads(dst + k, run, memory, pos, step_, gain_);
        if (i > 0) s0 = static_cast<int8_t>(memory[(pos - step_) >> kFracBits]);
        for (; i < run; ++i) {
          const uint32_t idx = pos >> kFracBits;
          s0 = static_cast<int8_t>(memory[idx]);
          const int32_t s1 = static_cast<int8_t>(memory[idx + 1]);
          dst[k + i] = interpolate(s0, s1, pos & kFracMask, gain_);
          pos += step_;
        }
        pos_ += static_cast<uint64_t>(run) * step_;  // may pass 2^32: see pos_
        s0_ = s0;
        k += run;
      } else {
        // The window's last byte, whose partner is the loop start's byte.
        const uint32_t idx = static_cast<uint32_t>(pos_ >> kFracBits);
        s0_ = static_cast<int8_t>(memory[idx & kMemoryMask]);
        uint32_t j = idx + 1;
        if ((j << kFracBits) >= cur_end_) j = w_.start >> kFracBits;
        const int32_t s1 = static_cast<int8_t>(memory[j & kMemoryMask]);
        dst[k++] = interpolate(s0_, s1, static_cast<uint32_t>(pos_) & kFracMask, gain_);
        pos_ += step_;
      }
    }
  }

  void finish(Paula &chip) {
    if (pos_ >= cur_end_) loop();
    chip.reg[kVoiceBase + kVoiceStride * v_ + kVoiceData] = static_cast<uint8_t>(s0_);
    PaulaVoiceState &state = chip.voice[v_];
    state.position = static_cast<uint32_t>(pos_);  // below the loop end again
    if (looped_) {
      state.loop_start = w_.start;
      state.loop_end = w_.end;
    }
  }

 private:
  // Past the loop end: continue from the registers' window, which becomes
  // the latched one.
  void loop() {
    pos_ = pos_ - cur_end_ + w_.start;
    cur_end_ = w_.end;
    if (pos_ >= w_.end) pos_ = w_.start + (pos_ - w_.start) % w_.length;
    limit_ = fast_limit(cur_end_);
    looped_ = true;
  }

  int v_ = 0;
  int32_t gain_ = 0;
  uint32_t step_ = 0;
  Window w_{};
  // 64 bits: with a short period a step from near the top of memory passes
  // 2^32, and such a step reaches the loop end like any other.
  uint64_t pos_ = 0;
  uint32_t cur_end_ = 0;
  uint32_t limit_ = 0;
  bool looped_ = false;
  int32_t s0_ = 0;  // last sample byte played
};

// Bus handlers. Only the low 8 bits of the address pick the register.

uint32_t paula_read_b(IoPlugin68 *self, uint32_t address, uint32_t) {
  Paula &chip = paula_of(self);
  const uint32_t r = address & 0xFF;
  if (r == kBeamHigh) return chip.reg[kBeamHigh]++;
  refresh_control_bytes(chip);
  return chip.reg[r];
}

uint32_t paula_read_w(IoPlugin68 *self, uint32_t address, uint32_t) {
  const Paula &chip = paula_of(self);
  const uint32_t r = address & 0xFF;
  switch (r) {
    case kDmaconRead: return chip.dmacon & 0x7FFFu;
    case kIntenaRead: return chip.intena & 0x7FFFu;
    case kIntreqRead: return chip.intreq & 0x7FFFu;
    case kAdkcon: return chip.adkcon & 0x7FFFu;
    default: return (uint32_t{chip.reg[r]} << 8) | chip.reg[(r + 1) & 0xFF];
  }
}

void paula_write_w(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t) {
  Paula &chip = paula_of(self);
  const uint32_t r = address & 0xFF;
  value &= 0xFFFF;
  chip.reg[r] = static_cast<uint8_t>(value >> 8);
  chip.reg[(r + 1) & 0xFF] = static_cast<uint8_t>(value);
  switch (r) {
    case kDmacon: {
      const uint32_t before = voices_on(chip);
      chip.dmacon = static_cast<uint16_t>(set_clear(chip.dmacon, value));
      const uint32_t started = voices_on(chip) & ~before;
      for (int v = 0; v < kVoices; ++v) {
        if (started & (1u << v)) start_voice(chip, v);
      }
      break;
    }
    case kIntena: chip.intena = static_cast<uint16_t>(set_clear(chip.intena, value)); break;
    case kAdkcon: chip.adkcon = static_cast<uint16_t>(set_clear(chip.adkcon, value)); break;
    case kIntreq:
      if (!(value & kSetClear)) {
        chip.intreq = static_cast<uint16_t>(chip.intreq & ~value);
      } else {
        // Requesting a voice interrupt that is masked, or already pending,
        // restarts that voice from its registers.
        const uint32_t enabled = (chip.intena & kIntMaster) ? (chip.intena & kVoiceIntBits) : 0;
        const uint32_t restart = value & (~enabled | chip.intreq);
        for (int v = 0; v < kVoices; ++v) {
          if (restart & (1u << (kVoiceIntShift + v))) start_voice(chip, v);
        }
        chip.intreq = static_cast<uint16_t>((chip.intreq | value) & 0x7FFF);
      }
      break;
    default: break;
  }
}

void paula_write_b(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  if (address & 1) {
    paula_of(self).reg[address & 0xFF] = static_cast<uint8_t>(value);
  } else {
    paula_write_w(self, address, value & 0xFF, cycle);
  }
}

// A long is two words; a long read stamps its second word 4 cycles later.
constexpr IoPlugin68 kRecord = {
    .next = nullptr,
    .name = "AMIGA Paula",
    .addr_lo = 0xFFDFF000u,
    .addr_hi = 0xFFDFF0DFu,
    .read_b = paula_read_b,
    .read_w = paula_read_w,
    .read_l = chips::read_wide<paula_read_w, 2, chips::Use::kBoth, 4>,
    .write_b = paula_write_b,
    .write_w = paula_write_w,
    .write_l = chips::write_wide<paula_write_w, 2>,
    .interrupt = nullptr,
    .next_interrupt = nullptr,
    .adjust_cycles = nullptr,
    .reset = [](IoPlugin68 *self) { return paula_reset(&paula_of(self)); },
};

}  // namespace

extern "C" {

// Everything a reset puts back.
int paula_reset(Paula *paula) {
  std::memset(paula->reg, 0, sizeof paula->reg);
  paula->dmacon = kDmaconReset;
  paula->intena = kIntenaReset;
  paula->intreq = 0;
  paula->adkcon = 0;
  for (PaulaVoiceState &v : paula->voice) v = {0, 0, kIdleLoopEnd};
  return 0;
}

int paula_init(Paula *paula) {
  paula->io = kRecord;
  if (paula->output_rate == 0) paula_sampling_rate(paula, kDefaultRate);
  return paula_reset(paula);
}

uint32_t paula_sampling_rate(Paula *paula, uint32_t hz) {
  if (hz != 0) {
    paula->output_rate = hz;
    paula->step_k = step_for(hz);
  }
  return paula->output_rate;
}

void paula_mix(Paula *paula, uint32_t *buffer, const uint8_t *memory, int n) {
  if (n <= 0) return;
  Paula &chip = *paula;
  const uint32_t on = voices_on(chip);
  std::array<VoiceRun, kVoices> runs;
  std::array<bool, kVoices> playing{};
  int16_t side[kVoices][kBlock] = {};  // a silent voice's block stays 0
  for (int v = 0; v < kVoices; ++v) playing[v] = (on & (1u << v)) && runs[v].begin(chip, v);
  for (int done = 0; done < n; done += kBlock) {
    const int count = std::min(kBlock, n - done);
    for (int v = 0; v < kVoices; ++v) {
      if (playing[v]) runs[v].render(side[v], count, memory);
    }
    for (int k = 0; k < count; ++k) {
      // 16-bit wrap-around sums of each side's two voices.
      const uint32_t l = static_cast<uint16_t>(side[kLeftA][k] + side[kLeftB][k]);
      const uint32_t r = static_cast<uint16_t>(side[kRightA][k] + side[kRightB][k]);
      buffer[done + k] = l | (r << 16);
    }
  }
  for (int v = 0; v < kVoices; ++v) {
    if (playing[v]) runs[v].finish(chip);
  }
  chip.reg[kBeamHigh] = 0;
}

const PaulaVoiceState *paula_voice_state(const Paula *paula, int voice) {
  return (voice >= 0 && voice < kVoices) ? &paula->voice[voice] : nullptr;
}

}  // extern "C"
