/* The Atari ST's YM-2149 sound generator, plugged into the 68000 bus at
 * 0xFF8800-0xFF88FF.
 *
 * The replay routine selects a register through the select port (any address
 * of the page with bit 1 clear) and writes it through the data port (bit 1
 * set); every write is queued with the 68000 cycle at which it happened. Once
 * per replay frame ym_render_frame replays the queued writes at their cycle
 * positions while stepping the generators at 250 kHz (one step every 32
 * cycles), and leaves the frame's output samples (signed 32-bit, mono, centred
 * on 0, peaks near +-26624) at the start of ym_output_buffer.
 *
 * Each chip is an instance (Ym2149, below) whose storage its owner provides,
 * zeroed before the first use; instances share only the constant mixing
 * table.
 */
#ifndef VK68_CHIPS_YM2149_H
#define VK68_CHIPS_YM2149_H

#include <stdint.h>

#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Words in the output buffer, and generator steps one frame may cover
 * (10000 steps = 320000 cycles). */
#define YM_BUFFER_SIZE 10000

/* Output sampling rate bounds and default, in Hz. */
#define YM_RATE_MIN 6000
#define YM_RATE_MAX 50000
#define YM_RATE_DEFAULT 44100

typedef struct Ym2149 Ym2149;

/* Power-on: fills in the bus record (io) and the mixing table, hears every
 * voice and resets the chip; the sampling rate becomes YM_RATE_DEFAULT
 * unless ym_sampling_rate has set one. Returns 0. */
int ym_init(Ym2149 *ym);

/* Power-on state: registers 0 except R7 = 0x3F (everything off) and R13 = 10,
 * queues emptied, generators restarted. Keeps the sampling rate and the voice
 * mask. Returns 0 (it is also the bus record's reset). */
int ym_reset(Ym2149 *ym);

/* hz = 0: returns the current rate. Otherwise stores hz clamped to
 * YM_RATE_MIN..YM_RATE_MAX and returns the stored value. */
unsigned ym_sampling_rate(Ym2149 *ym, unsigned hz);

/* Renders a frame that ran for `cycles` 68000 cycles and returns the number of
 * samples now at the start of the output buffer. The bus's adjust-cycles call
 * with the same length must come before the next frame's writes. Frames longer
 * than YM_BUFFER_SIZE steps render their first YM_BUFFER_SIZE steps. */
int ym_render_frame(Ym2149 *ym, uint32_t cycles);

/* The output buffer, YM_BUFFER_SIZE words; also the player's mixing buffer. */
int32_t *ym_output_buffer(Ym2149 *ym);

/* Channels heard: bit 0 A, bit 1 B, bit 2 C (default 7). voices >= 0 sets
 * them (other bits ignored); a negative value only asks. Returns the channel
 * bits in effect. */
int ym_voice_mask(Ym2149 *ym, int voices);

/* ---------------------------------------------------------------- state
 * What a chip holds; its owner embeds it and uses the functions above. */

/* Writes one queue keeps per frame. */
#define YM_LIST_CAPACITY 2048

typedef struct {
  int32_t cycle; /* 68000 cycle in the frame */
  uint8_t reg;
  uint8_t value;
} YmWrite;

typedef struct {
  int32_t base; /* cycle up to which the generator has been rendered */
  int count;
  YmWrite entries[YM_LIST_CAPACITY];
} YmWriteList;

typedef struct {
  int32_t f;  /* steps since the last advance */
  uint32_t g; /* position, 32 per fall or rise */
  uint32_t c; /* 1 while moving, 0 once held */
  uint32_t h; /* 0 or 31: direction */
  uint32_t e; /* 0 or 31: silenced after a single shot */
} YmEnvelope;

struct Ym2149 {
  IoPlugin68 io; /* the bus record: "YM-2149", 0xFFFF8800-0xFFFF88FF */
  uint8_t regs[16];
  uint8_t selected;
  uint8_t noise_mixer; /* R7 as the noise stage sees it within the frame */
  uint8_t tone_mixer;  /* R7 as the tone stage sees it */
  YmWriteList tone_list, noise_list, env_list;
  int32_t tone_counter[3];
  uint32_t tone_out;
  int32_t noise_counter;
  uint32_t noise_shift; /* 17 bits */
  YmEnvelope env;
  int carry_steps; /* 0-3 steps of an unfinished group */
  int32_t carry_sum;
  /* Output settings, kept by a reset. */
  unsigned output_rate;
  uint32_t voice_mask; /* channels heard: A bits 11-8, B bits 7-4, C bits 3-0 */
  const int32_t *mix;  /* the rescaled mixing table, shared by all chips */
  /* One word per generator step of a frame. */
  uint32_t noise_buf[YM_BUFFER_SIZE];
  uint32_t env_buf[YM_BUFFER_SIZE];
  int32_t out_buf[YM_BUFFER_SIZE];
};

#ifdef __cplusplus
}
#endif

#endif
