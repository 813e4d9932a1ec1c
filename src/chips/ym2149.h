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
 * One chip per process: module-level state, not thread-safe.
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

/* The bus record: "YM-2149", 0xFFFF8800-0xFFFF88FF. */
extern IoPlugin68 ym_io_plugin;

/* Prepares the mixing table and resets the chip. Returns 0. */
int ym_init(void);

/* Power-on state: registers 0 except R7 = 0x3F (everything off) and R13 = 10,
 * queues emptied, generators restarted. Keeps the sampling rate and the voice
 * mask. Returns 0 (it is also the bus record's reset). */
int ym_reset(void);

/* hz = 0: returns the current rate. Otherwise stores hz clamped to
 * YM_RATE_MIN..YM_RATE_MAX and returns the stored value. */
unsigned ym_sampling_rate(unsigned hz);

/* Renders a frame that ran for `cycles` 68000 cycles and returns the number of
 * samples now at the start of the output buffer. The bus's adjust-cycles call
 * with the same length must come before the next frame's writes. Frames longer
 * than YM_BUFFER_SIZE steps render their first YM_BUFFER_SIZE steps. */
int ym_render_frame(uint32_t cycles);

/* The output buffer, YM_BUFFER_SIZE words; also the player's mixing buffer. */
int32_t *ym_output_buffer(void);

/* Channels heard: bit 0 A, bit 1 B, bit 2 C (default 7). voices >= 0 sets
 * them (other bits ignored); a negative value only asks. Returns the channel
 * bits in effect. */
int ym_voice_mask(int voices);

#ifdef __cplusplus
}
#endif

#endif
