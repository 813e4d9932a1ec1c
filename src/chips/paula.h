/* Amiga Paula: the four DMA sound voices, as an I/O plug-in of the 68000 bus
 * ("AMIGA Paula", 0xDFF000-0xDFF0DF, page 0xF0).
 *
 * A replay routine programs the voice registers through the bus; once per
 * replay frame the player calls paula_mix, which renders the frame as packed
 * stereo words (left in bits 0-15, right in bits 16-31), reading the 8-bit
 * signed samples straight from the 512 KiB 68000 memory. Voices 0 and 2 play
 * on the left, 1 and 3 on the right. The chip raises no interrupts.
 */
#ifndef VK68_CHIPS_PAULA_H
#define VK68_CHIPS_PAULA_H

#include <stdint.h>

#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where a voice is in its sample, in 1/8192 byte (byte offset << 13, so the
 * byte offset is always within 512 KiB). The loop window is the one latched
 * at the last start or loop; register changes reach it at the next loop. */
typedef struct {
  uint32_t position;
  uint32_t loop_start;
  uint32_t loop_end;
} PaulaVoiceState;

extern IoPlugin68 paula_io_plugin;

/* Resets the chip and sets the output rate to 44100 Hz unless one was set.
 * Returns 0. */
int paula_init(void);
/* Registers and voices back to power-on; the output rate survives. Returns 0. */
int paula_reset(void);
/* 0 returns the current output rate in Hz; any other value becomes it and is
 * returned. */
uint32_t paula_sampling_rate(uint32_t hz);
/* Renders n stereo words of the running voices into buffer (cleared first)
 * from the 512 KiB 68000 memory; n <= 0 does nothing. Resets the beam
 * counter. */
void paula_mix(uint32_t *buffer, const uint8_t *memory, int n);
/* Read-only view of voice 0-3. */
const PaulaVoiceState *paula_voice_state(int voice);

#ifdef __cplusplus
}
#endif

#endif
