/* The Atari ST's YM-2149 sound generator, plugged into the 68000 bus at
 * 0xFF8800-0xFF88FF.
 *
 * The replay routine selects a register through the select port (any address
 * of the page with bit 1 clear) and writes it through the data port (bit 1
 * set). A write takes effect at the generator step its 68000 cycle falls in:
 * the chip first steps its generators up to there, so writes need no queue.
 * The player then asks for the output of each stretch of cycles it has run
 * (ym_render).
 *
 * Time: the generators step at an eighth of the YM clock (250 kHz at 2 MHz),
 * counted from the start of the player's time base (chips/timebase.h): frame
 * cycle c falls in step floor((frame_start + c) * ym_hz / (8 * cpu_hz)),
 * exactly, whatever the frame lengths. A tone of period P toggles every P
 * steps: ym_hz / (16 P) Hz.
 *
 * Levels: each channel has a 5-bit DAC (32 levels). A fixed volume L (4 bits)
 * sounds at level 2L + 1, the envelope at each of the 32 levels in turn, so
 * a sawtooth envelope of frequency f steps at 32 f.
 *
 * Output: each change of the mixed level (the mixing table is not linear,
 * so the channels are mixed first) becomes a band-limited step at its exact
 * place on the output grid (chips/blep.h); output sample n shows the level
 * of sample time n - YM_OUTPUT_LAG, the kernel's reach. An AC coupling, as
 * on the real machine's audio output, centres it on 0: a first-order
 * high-pass at YM_COUPLING_HZ whose DC estimate is held within 32767 of the
 * signal, so the samples never leave 16 bits (a loud start after silence
 * moves the estimate at once instead of clipping), and a steady level,
 * silence included, settles at exactly 0.
 *
 * Each chip is an instance (Ym2149, below) whose storage its owner provides,
 * zeroed before the first use; instances share only the constant mixing
 * table.
 */
#ifndef VK68_CHIPS_YM2149_H
#define VK68_CHIPS_YM2149_H

#include <stdint.h>

#include "chips/blep.h"
#include "chips/timebase.h"
#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Output rates the chip supports, and the one players start with, in Hz. */
#define YM_RATE_MIN 6000
#define YM_RATE_MAX 50000
#define YM_RATE_DEFAULT 44100

/* Output samples between a level change and the sample that shows it. */
#define YM_OUTPUT_LAG 8

/* Corner frequency of the AC coupling, Hz. */
#define YM_COUPLING_HZ 5

typedef struct Ym2149 Ym2149;

/* Power-on: fills in the bus record (io) and the mixing table, hears every
 * voice, keeps `tb` (the player's time base, which outlives the chip) and
 * resets the chip. Returns 0. */
int ym_init(Ym2149 *ym, const Timebase *tb);

/* Power-on state: registers 0 except R7 = 0x3F (everything off) and R13 = 10,
 * generators restarted, output silent; the time base's rate and clocks taken
 * anew, and the chip's time restarted at the current frame's cycle 0
 * (frame_start). The player calls it when a track starts. Keeps the voice
 * mask. Returns 0. A RESET instruction on the bus resets the registers and
 * generators only, at the last write's step, and keeps the time. */
int ym_reset(Ym2149 *ym);

/* After a change of the time base's rate or clocks between two ym_render
 * calls: the chip's time restarts on the new grid at the cycle the last call
 * rendered up to. Registers and generators are kept; the output holds its
 * level for YM_OUTPUT_LAG samples. */
void ym_timebase_changed(Ym2149 *ym);

/* Steps the generators up to frame cycle `to_cycle` and writes the n output
 * samples of the stretch since the last call (signed, centred on 0, within
 * 16 bits; mono) to `out`: n = timebase_frame_samples(to_cycle) -
 * timebase_frame_samples(the last call's to_cycle), at most
 * TIMEBASE_MAX_CHUNK_SAMPLES. The samples are the same however the frames
 * are cut into calls. */
void ym_render(Ym2149 *ym, uint32_t to_cycle, int32_t *out, int n);

/* Channels heard: bit 0 A, bit 1 B, bit 2 C (default 7). voices >= 0 sets
 * them (other bits ignored) from the generators' current step; a negative
 * value only asks. Returns the channel bits in effect. */
int ym_voice_mask(Ym2149 *ym, int voices);

/* ---------------------------------------------------------------- state
 * What a chip holds; its owner embeds it and uses the functions above. */

/* The AC coupling (see the top). */
typedef struct {
  int64_t estimate; /* DC estimate, level << 16 */
  int32_t gain;     /* the estimate moves by difference x gain >> 16 a sample */
} YmCoupling;

/* Centres n samples of the mixed level in place (see the top). */
void ym_couple(YmCoupling *c, int32_t *samples, int n);

/* The envelope: one position every period steps, 32 positions per fall or
 * rise, each its own DAC level. */
typedef struct {
  uint32_t g; /* position */
  uint32_t c; /* 1 while moving, 0 once held */
  uint32_t h; /* 0 or 31: direction */
  uint32_t e; /* 0 or 31: silenced after a single shot */
} YmEnvelope;

struct Ym2149 {
  IoPlugin68 io; /* the bus record: "YM-2149", 0xFFFF8800-0xFFFF88FF */
  uint8_t regs[16];
  uint8_t selected;
  /* Generators, at the start of step `step`. Each counter is kept as the
   * step of its last event (tone toggle, noise clock, envelope advance) and
   * the step from which its period holds: the next event comes at
   * max(last + period, since). */
  int64_t step;
  int64_t tone_last[3], tone_since[3];
  uint32_t tone_bits; /* channel patterns (A bits 14-10, B 9-5, C 4-0) high */
  int64_t noise_last, noise_since;
  uint32_t noise_shift; /* 17 bits */
  int64_t env_last, env_since;
  YmEnvelope env;
  int32_t level; /* the mixed level of the last step rendered */
  /* Time: the current frame's cycle 0 as a step and a remainder of
   * cycle_den (the steps of frame cycle c are (frame_rem + c * cycle_num) /
   * cycle_den on from frame_step); the frame cycle rendered up to, and the
   * last step a write can fall in (see write_register). */
  const Timebase *tb;
  uint64_t frame_start;
  int64_t frame_step;
  uint64_t frame_rem;
  uint64_t cycle_num, cycle_den;
  uint32_t rendered;
  int64_t write_limit;
  int hold; /* samples still to show the level the time restarted with */
  int32_t held_level;
  uint32_t voice_mask; /* channels heard: A bits 14-10, B bits 9-5, C bits 4-0 */
  const uint16_t *mix; /* the rescaled mixing table, shared by all chips */
  YmCoupling coupling;
  chips::Blep blep;
};

#ifdef __cplusplus
}
#endif

#endif
