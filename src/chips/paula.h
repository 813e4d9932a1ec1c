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

/* One Paula; its owner provides the storage, zeroed before the first use. */
typedef struct {
  IoPlugin68 io;    /* the bus record */
  uint8_t reg[256]; /* register bytes by offset */
  uint16_t dmacon;
  uint16_t intena;
  uint16_t intreq;
  uint16_t adkcon;
  PaulaVoiceState voice[4];
  uint32_t output_rate; /* Hz; kept by a reset */
  uint32_t step_k;      /* position units a voice advances per sample at period 1 */
} Paula;

/* Fills in the bus record and resets the chip; the output rate becomes
 * 44100 Hz unless one was set. Returns 0. */
int paula_init(Paula *paula);
/* Registers and voices back to power-on; the output rate survives. Returns 0. */
int paula_reset(Paula *paula);
/* 0 returns the current output rate in Hz; any other value becomes it and is
 * returned. */
uint32_t paula_sampling_rate(Paula *paula, uint32_t hz);
/* Renders n stereo words of the running voices into buffer (cleared first)
 * from the 512 KiB 68000 memory; n <= 0 does nothing. Resets the beam
 * counter. */
void paula_mix(Paula *paula, uint32_t *buffer, const uint8_t *memory, int n);
/* Read-only view of voice 0-3. */
const PaulaVoiceState *paula_voice_state(const Paula *paula, int voice);

#ifdef __cplusplus
}
#endif

#endif
