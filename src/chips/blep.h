// Band-limited synthesis of a piecewise-constant signal: a chip's output
// level, which changes only at the steps of its own clock, resampled to the
// output rate without aliasing.
//
// Each level change (a delta at an input step) becomes a band-limited step at
// its exact position on the output-sample grid; an output sample is the sum
// of all steps before it. The work is proportional to the number of level
// changes plus the number of output samples, not to the input clock.
//
// Kernel: the integral of a Kaiser-windowed sinc (beta 5, 15 samples wide),
// 16 taps per step, 256 phases per output sample (the phase nearest to the
// step's position: 1/512 sample off at worst). The sinc's cutoff is 0.45 of
// the output rate, so the response is flat to 0.35 of it, -1.7 dB at 0.405
// (17.9 kHz at 44.1 kHz), -6 dB at 0.45, -17 dB at 0.5, -43 dB at 0.55 and
// below -55 dB from 0.56 on; every output rate uses the same table. A
// phase's taps are the differences of the step's values at its 16 samples,
// each value rounded to 1/16384, so the taps add up to exactly 16384 and a
// step settles at exactly its height. The table is built on first use from
// IEEE basic operations only (no library sine), the same in every build.
//
// Time: the position of input step s is s * ratio output samples, ratio =
// output rate / input clock in 0.64 fixed point, formed with one 64x64->128
// bit product from the absolute 64-bit step index; it is off by at most
// s * 2^-64 samples (5e-11 after an hour at 250 kHz) and nothing is carried
// from one block to the next that could drift. Output sample k shows the
// signal at exactly time k: a step is centred on its position. The kernel
// reaches 7.5 samples ahead, so a read up to a step time returns the samples
// up to 7.5 before its position; the rest come with the next read. A reader
// may also take a given count of samples (blep_read_samples) while changes
// further ahead are already in, as a chip does that shows its output a fixed
// number of samples late.
//
// Arithmetic: 32-bit integers modulo 2^32 (harmless wrap-around: every
// output value fits in 32 bits), so every build gives the same samples; the
// running sum is exact, without drift, and no DC is removed: a constant
// level stays exactly that level.
//
// Cost: per level change one 128-bit product, a bounds check and five
// 4-lane multiply-adds (SSE2 pmaddwd), about 3 ns; per output sample one
// add, a shift and a store, plus clearing the slot, about 0.5 ns
// (bench/chips_blep).
#ifndef VK68_CHIPS_BLEP_H
#define VK68_CHIPS_BLEP_H

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace chips {

// Taps per step and phases per output sample.
constexpr int kBlepTaps = 16;
constexpr int kBlepPhaseBits = 8;
// Fixed-point scale of the taps: a step of height d adds up to d << 14, so
// levels of up to +-100000 (with the kernel's overshoot) fit in 32 bits.
constexpr int kBlepShift = 14;
// Output samples one block (the deltas added between two reads) may span;
// a delta beyond it is moved to its end.
constexpr int kBlepSpan = 4096;
// Largest change added in one go; larger ones are added in parts.
constexpr int32_t kBlepMaxDelta = 65534;
// A kernel row (one phase) holds each tap twice, as a pair of 16-bit words,
// after kBlepPad zero pairs and before zero pairs up to kBlepRow pairs: so
// that the taps can be added to slots 4-aligned, starting up to 3 early.
constexpr int kBlepPad = 3;
constexpr int kBlepRow = 24;
static_assert(kBlepPad + kBlepTaps + 3 < kBlepRow, "an early start reads within the row");

struct Blep {
  const int16_t *kernel;  // rows of kBlepRow pairs, one per phase
  uint64_t ratio;         // output samples per input step, 0.64 fixed point
  uint64_t origin;        // slot of buf[0] (output sample + 7, see blep.cpp)
  uint64_t first;         // slot of the first sample to write; earlier ones
                          // only pass their differences into the sum
  uint64_t pending;       // slots from buf[0] on that may hold differences
                          // (the others are 0)
  uint32_t sum;           // running sum of the read slots: level << kBlepShift
  // The differences of the unread samples, slot by slot from `origin`.
  alignas(16) uint32_t buf[kBlepSpan + kBlepTaps + kBlepPad + 1];
};

// Sets the clock (clock_num / clock_den input steps per second, faster than
// the output) and the output rate in Hz, and resets b.
void blep_init(Blep &b, uint64_t clock_num, uint64_t clock_den, uint32_t rate);

// Level `level` up to output sample `sample`, which the next read starts
// with; nothing pending; keeps the rates. Changes may come at the steps
// whose position lies up to 8 samples before `sample` (a reset at sample 0:
// from step 0 on).
void blep_reset(Blep &b, uint64_t sample = 0, int32_t level = 0);

// Position of input step s in slots: whole slots in the high 64 bits, the
// fraction (whose top bits pick the phase) in the low 64.
inline unsigned __int128 blep_position(const Blep &b, uint64_t step) {
  return static_cast<unsigned __int128>(step) * b.ratio + (uint64_t{1} << 63);
}

// Adds a level change of `delta` at input step `step`, which must not be
// earlier than the last read's time, nor later than kBlepSpan samples after
// it. Changes between two reads may come in any order.
inline void blep_add_delta(Blep &b, uint64_t step, int32_t delta) {
  // The taps multiply two 16-bit halves of the change: tap * half + tap * rest.
  while (delta > kBlepMaxDelta || delta < -kBlepMaxDelta) {
    blep_add_delta(b, step, delta / 2);
    delta -= delta / 2;
  }
  const int32_t half = delta / 2, rest = delta - half;
  const unsigned __int128 at = blep_position(b, step);
  uint64_t slot = static_cast<uint64_t>(at >> 64) - b.origin;
  if (slot > kBlepSpan) slot = static_cast<int64_t>(slot) < 0 ? 0 : kBlepSpan;
  const int16_t *row =
      b.kernel + (static_cast<uint64_t>(at) >> (64 - kBlepPhaseBits)) * (2 * kBlepRow);
#if defined(__SSE2__)
  // Aligned 4-slot groups from the one holding `slot`, so that the next
  // change's loads meet whole earlier stores; pmaddwd forms the products.
  const uint64_t early = slot & 3;
  const int16_t *k = row + 2 * (kBlepPad - early);
  uint32_t *out = b.buf + (slot - early);
  b.pending = std::max<uint64_t>(b.pending, slot - early + kBlepTaps + 4);
  const __m128i halves = _mm_set1_epi32(static_cast<int32_t>(
      (static_cast<uint32_t>(static_cast<uint16_t>(rest)) << 16) | static_cast<uint16_t>(half)));
  for (int i = 0; i < kBlepTaps + 4; i += 4) {
    auto *o = reinterpret_cast<__m128i *>(out + i);
    const __m128i taps = _mm_loadu_si128(reinterpret_cast<const __m128i *>(k + 2 * i));
    _mm_store_si128(o, _mm_add_epi32(_mm_load_si128(o), _mm_madd_epi16(taps, halves)));
  }
#else
  const int16_t *k = row + 2 * kBlepPad;
  uint32_t *out = b.buf + slot;
  b.pending = std::max<uint64_t>(b.pending, slot + kBlepTaps);
  for (int i = 0; i < kBlepTaps; ++i) {
    out[i] += static_cast<uint32_t>(k[2 * i] * half + k[2 * i + 1] * rest);
  }
#endif
}

// Writes the output samples that are complete at input step `step` (all
// changes before it added) to `out` and returns their count: those before
// the output position of `step` less 7.5 samples, at most kBlepSpan per call.
int blep_read(Blep &b, uint64_t step, int32_t *out);

// Writes the next n output samples (n <= kBlepSpan - kBlepTaps) to `out`.
// The caller has added every change before them: those at the steps whose
// position lies before the last sample's plus 7.5.
void blep_read_samples(Blep &b, int n, int32_t *out);

}  // namespace chips

#endif
