// Amiga Paula: register file, DMA/interrupt control words and the four
// sample voices, rendered with linear interpolation up to each register
// write's cycle and handed out chunk by chunk.
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
constexpr uint32_t kVoicePeriod = 6;    // colour clocks per sample byte; 0 = 1
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
constexpr PaulaVoiceState kIdleVoice = {0, 0, 0, 2};  // a reset voice's one-word loop

// The 68000 memory the samples are read from; its addresses wrap at the end.
constexpr uint32_t kMemoryBytes = 0x80000;
constexpr uint32_t kMemoryMask = kMemoryBytes - 1;
constexpr uint32_t kLocationMask = 0x7FFFE;  // word aligned, within the memory

// Positions are 32.32 fixed point byte addresses. The interpolation weight
// of the next byte is the fraction's top 14 bits: a sample is
// s0 (16384 - w) + s1 w, narrowed to 8 fraction bits, times the volume
// (0-64) and shifted by 7: byte x volume x 2, so a full-scale byte (-128)
// at volume 64 gives -16384 and two voices on a side stay within 16 bits.
constexpr int kFracBits = 32;
constexpr int kWeightBits = 14;
constexpr int kNarrowShift = kWeightBits - 8;
constexpr int kVolumeShift = 7;
constexpr uint32_t kMaxVolume = 64;

// A loop of at most this many bytes, all equal (silence, mostly), plays a
// constant level without stepping through it.
constexpr uint32_t kConstantLoopBytes = 64;

// Voices 0 and 2 make the left channel (bits 0-15 of a stereo word),
// voices 1 and 3 the right one (bits 16-31).
constexpr int kLeftA = 0, kLeftB = 2, kRightA = 1, kRightB = 3;

// Voices are rendered in blocks of this many samples on the stack.
constexpr int kBlock = 512;
constexpr uint32_t kChunkSamples = TIMEBASE_MAX_CHUNK_SAMPLES;

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

// Loop window of voice v as its registers give it now, in bytes (the end
// may lie past the top of memory: the voice then reads on from address 0).
struct Window {
  uint32_t start;
  uint32_t end;
};

Window voice_window(const Paula &chip, int v) {
  const uint32_t r = kVoiceBase + kVoiceStride * v + kVoiceLocation;
  const uint32_t location =
      ((uint32_t{chip.reg[r + 1]} << 16) | (uint32_t{chip.reg[r + 2]} << 8) | chip.reg[r + 3]) &
      kLocationMask;
  const uint32_t words = voice_reg_word(chip, v, kVoiceLength);
  return {location, location + 2 * (words ? words : 0x10000)};
}

void start_voice(Paula &chip, int v) {
  const Window w = voice_window(chip, v);
  chip.voice[v] = {w.start, 0, w.start, w.end};
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

inline int16_t level(int32_t s0, int32_t s1, uint64_t pos, int32_t volume) {
  const int32_t w = static_cast<int32_t>(static_cast<uint32_t>(pos) >> (kFracBits - kWeightBits));
  const int32_t v = (s0 * (1 << kWeightBits) + (s1 - s0) * w) >> kNarrowShift;
  return static_cast<int16_t>((v * volume) >> kVolumeShift);
}

constexpr uint64_t at_byte(uint32_t byte) { return uint64_t{byte} << kFracBits; }

#if defined(__SSE2__)
// Renders the first multiple of four of n samples whose bytes and following
// bytes all lie inside the window and memory (see VoiceRun::render), four at
// a time; advances pos past them and returns how many it rendered. Exactly
// the scalar arithmetic: the fractions' low 32 bits step in 32-bit lanes,
// pmaddwd forms s0 (16384 - w) + s1 w, and after the narrowing shift
// v x volume (v fits 16 bits).
int render_quads(int16_t *dst, int n, const uint8_t *memory, uint64_t &pos, uint64_t step,
                 int32_t volume) {
  const int quads = n & ~3;
  const uint32_t low = static_cast<uint32_t>(pos), low_step = static_cast<uint32_t>(step);
  const __m128i one = _mm_set1_epi32(1 << kWeightBits);
  const __m128i volumes = _mm_set1_epi32(volume);
  const __m128i step4 = _mm_set1_epi32(static_cast<int32_t>(4 * low_step));
  __m128i fraction = _mm_setr_epi32(static_cast<int32_t>(low), static_cast<int32_t>(low + low_step),
                                    static_cast<int32_t>(low + 2 * low_step),
                                    static_cast<int32_t>(low + 3 * low_step));
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
    // Lane q: low word 16384 - w, high word w.
    const __m128i w = _mm_srli_epi32(fraction, kFracBits - kWeightBits);
    const __m128i weights = _mm_or_si128(_mm_slli_epi32(w, 16), _mm_sub_epi32(one, w));
    const __m128i v = _mm_srai_epi32(_mm_madd_epi16(samples, weights), kNarrowShift);
    const __m128i out = _mm_srai_epi32(_mm_madd_epi16(v, volumes), kVolumeShift);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + i), _mm_packs_epi32(out, out));
    fraction = _mm_add_epi32(fraction, step4);
  }
  return quads;
}
#else
int render_quads(int16_t *, int, const uint8_t *, uint64_t &, uint64_t, int32_t) { return 0; }
#endif

// One voice's walk through its sample over a stretch of samples in which no
// register changes: the registers are read once at the start, the state is
// stored at the end.
class VoiceRun {
 public:
  // `clock` is the voice clock in 1/2^32 Hz; `rate` the output rate.
  void begin(const Paula &chip, int voice, uint64_t clock, uint32_t rate, const uint8_t *memory) {
    v_ = voice;
    memory_ = memory;
    const uint32_t r = kVoiceBase + kVoiceStride * v_;
    volume_ =
        static_cast<int32_t>(std::min<uint32_t>(chip.reg[r + kVoiceVolume] & 0x7F, kMaxVolume));
    const uint32_t period = voice_reg_word(chip, v_, kVoicePeriod);
    step_ = clock / (uint64_t{period ? period : 1} * rate);
    w_ = voice_window(chip, v_);
    const PaulaVoiceState &state = chip.voice[v_];
    pos_ = at_byte(state.position) | state.fraction;
    cur_ = {state.loop_start, state.loop_end};
    s0_ = static_cast<int8_t>(chip.reg[r + kVoiceData]);
    check_constant();
  }

  void render(int16_t *dst, int n) {
    int k = 0;
    while (k < n) {
      if (constant_) {
        std::fill(dst + k, dst + n, constant_level_);
        const uint64_t start = at_byte(cur_.start), length = at_byte(cur_.end - cur_.start);
        const unsigned __int128 ahead = static_cast<unsigned __int128>(n - k) * step_;
        pos_ = start + static_cast<uint64_t>((pos_ - start + ahead) % length);
        return;
      }
      const uint32_t byte = static_cast<uint32_t>(pos_ >> kFracBits);
      if (byte >= cur_.end) {
        loop();
        continue;
      }
      const uint32_t limit = std::min(cur_.end, kMemoryBytes);
      if (byte + 1 < limit) {
        // Every sample of this run has its byte and the next one inside
        // the window and inside memory.
        const uint64_t ahead = at_byte(limit - 1) - pos_;
        const uint64_t run_len = step_ ? (ahead + step_ - 1) / step_ : uint64_t(n - k);
        const int run = static_cast<int>(std::min<uint64_t>(run_len, uint64_t(n - k)));
        uint64_t pos = pos_;
        int32_t s0 = s0_;
        int i = render_quads(dst + k, run, memory_, pos, step_, volume_);
        if (i > 0) s0 = static_cast<int8_t>(memory_[(pos - step_) >> kFracBits]);
        for (; i < run; ++i) {
          const uint32_t idx = static_cast<uint32_t>(pos >> kFracBits);
          s0 = static_cast<int8_t>(memory_[idx]);
          dst[k + i] = level(s0, static_cast<int8_t>(memory_[idx + 1]), pos, volume_);
          pos += step_;
        }
        pos_ = pos;
        s0_ = s0;
        k += run;
      } else {
        // The window's last byte, whose partner is the byte the voice goes
        // on with (the registers' window start), or a byte at the top of
        // memory.
        s0_ = static_cast<int8_t>(memory_[byte & kMemoryMask]);
        const uint32_t next = byte + 1 < cur_.end ? byte + 1 : w_.start;
        dst[k++] = level(s0_, static_cast<int8_t>(memory_[next & kMemoryMask]), pos_, volume_);
        pos_ += step_;
      }
    }
  }

  void finish(Paula &chip) {
    if (pos_ >= at_byte(cur_.end)) loop();
    chip.reg[kVoiceBase + kVoiceStride * v_ + kVoiceData] = static_cast<uint8_t>(s0_);
    chip.voice[v_] = {static_cast<uint32_t>(pos_ >> kFracBits), static_cast<uint32_t>(pos_),
                      cur_.start, cur_.end};
  }

 private:
  // Past the loop end: continue from the registers' window, which becomes
  // the latched one.
  void loop() {
    pos_ = pos_ - at_byte(cur_.end) + at_byte(w_.start);
    cur_ = w_;
    if (pos_ >= at_byte(cur_.end))
      pos_ = at_byte(cur_.start) + (pos_ - at_byte(cur_.start)) % at_byte(cur_.end - cur_.start);
    check_constant();
  }

  // A voice inside a short loop of equal bytes that it keeps taking again
  // (the registers give the same window) plays that byte for ever.
  void check_constant() {
    constant_ = false;
    const uint32_t length = cur_.end - cur_.start;
    if (cur_.start != w_.start || cur_.end != w_.end || length > kConstantLoopBytes) return;
    const uint8_t first = memory_[cur_.start & kMemoryMask];
    for (uint32_t i = 1; i < length; ++i)
      if (memory_[(cur_.start + i) & kMemoryMask] != first) return;
    constant_ = true;
    s0_ = static_cast<int8_t>(first);
    constant_level_ = level(s0_, s0_, 0, volume_);
  }

  int v_ = 0;
  const uint8_t *memory_ = nullptr;
  int32_t volume_ = 0;
  uint64_t step_ = 0;  // 32.32 bytes per output sample
  Window w_{};         // the registers' window
  Window cur_{};       // the latched window
  uint64_t pos_ = 0;   // 32.32 byte address
  bool constant_ = false;
  int16_t constant_level_ = 0;
  int32_t s0_ = 0;  // last sample byte played
};

// Stereo words of the voices' blocks: each side the 16-bit sum of its two
// voices (never beyond -32768..32512).
void mix_sides(const int16_t (*side)[kBlock], uint32_t *out, int n) {
  int k = 0;
#if defined(__SSE2__)
  for (; k + 8 <= n; k += 8) {
    const auto load = [k](const int16_t *voice) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i *>(voice + k));
    };
    const __m128i l = _mm_add_epi16(load(side[kLeftA]), load(side[kLeftB]));
    const __m128i r = _mm_add_epi16(load(side[kRightA]), load(side[kRightB]));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), _mm_unpacklo_epi16(l, r));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k + 4), _mm_unpackhi_epi16(l, r));
  }
#endif
  for (; k < n; ++k) {
    const uint32_t l = static_cast<uint16_t>(side[kLeftA][k] + side[kLeftB][k]);
    const uint32_t r = static_cast<uint16_t>(side[kRightA][k] + side[kRightB][k]);
    out[k] = l | (r << 16);
  }
}

// Renders n samples after the chunk's first `at` into the chunk buffer.
void render(Paula &chip, uint32_t at, uint32_t n) {
  const Timebase &t = *chip.timebase;
  const uint64_t clock = uint64_t{t.clocks.paula_hz} << kFracBits;
  const uint32_t rate = std::max<uint32_t>(t.rate, 1);
  const uint32_t on = voices_on(chip);
  std::array<VoiceRun, kVoices> runs;
  std::array<bool, kVoices> playing{};
  int16_t side[kVoices][kBlock];
  for (int v = 0; v < kVoices; ++v) {
    playing[v] = on & (1u << v);
    if (playing[v]) {
      runs[v].begin(chip, v, clock, rate, chip.memory);
    } else {
      std::fill_n(side[v], std::min<uint32_t>(n, kBlock), 0);  // a silent voice's block stays 0
    }
  }
  uint32_t *out = chip.chunk + at;
  for (uint32_t done = 0; done < n; done += kBlock) {
    const int count = static_cast<int>(std::min<uint32_t>(kBlock, n - done));
    for (int v = 0; v < kVoices; ++v)
      if (playing[v]) runs[v].render(side[v], count);
    mix_sides(side, out + done, count);
  }
  for (int v = 0; v < kVoices; ++v)
    if (playing[v]) runs[v].finish(chip);
}

// Renders the samples of the frame before its cycle `cycle` that are not
// yet, as far as the chunk buffer holds them.
void catch_up(Paula &chip, uint32_t cycle) {
  const uint32_t target =
      std::min(timebase_frame_samples(chip.timebase, cycle), chip.chunk_start + kChunkSamples);
  if (target <= chip.rendered) return;
  render(chip, chip.rendered - chip.chunk_start, target - chip.rendered);
  chip.rendered = target;
}

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

void paula_write_w(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  Paula &chip = paula_of(self);
  catch_up(chip, cycle);
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
    Paula &chip = paula_of(self);
    catch_up(chip, cycle);
    chip.reg[address & 0xFF] = static_cast<uint8_t>(value);
  } else {
    paula_write_w(self, address, value & 0xFF, cycle);
  }
}

// A new frame: its samples count from 0.
void paula_adjust_cycles(IoPlugin68 *self, uint32_t) {
  Paula &chip = paula_of(self);
  chip.chunk_start = chip.rendered = 0;
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
    .adjust_cycles = paula_adjust_cycles,
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
  for (PaulaVoiceState &v : paula->voice) v = kIdleVoice;
  paula->chunk_start = 0;
  paula->rendered = 0;
  return 0;
}

int paula_init(Paula *paula, const Timebase *timebase, const uint8_t *memory) {
  paula->io = kRecord;
  paula->timebase = timebase;
  paula->memory = memory;
  return paula_reset(paula);
}

void paula_mix(Paula *paula, uint32_t *buffer, const uint8_t *memory, uint32_t, int n) {
  Paula &chip = *paula;
  chip.memory = memory;
  for (uint32_t done = 0; done < uint32_t(std::max(n, 0));) {
    const uint32_t take = std::min(uint32_t(n) - done, kChunkSamples);
    const uint32_t ready = chip.rendered - chip.chunk_start;
    if (ready < take) render(chip, ready, take - ready);
    std::memcpy(buffer + done, chip.chunk, take * sizeof *buffer);
    chip.chunk_start = chip.rendered = chip.chunk_start + take;
    done += take;
  }
  chip.reg[kBeamHigh] = 0;
}

const PaulaVoiceState *paula_voice_state(const Paula *paula, int voice) {
  return (voice >= 0 && voice < kVoices) ? &paula->voice[voice] : nullptr;
}

}  // extern "C"
