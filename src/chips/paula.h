/* Amiga Paula: the four DMA sound voices, as an I/O plug-in of the 68000 bus
 * ("AMIGA Paula", 0xDFF000-0xDFF0DF, page 0xF0).
 *
 * A replay routine programs the voice registers through the bus. A voice
 * plays clocks.paula_hz / period of its 8-bit signed sample bytes a second
 * (linearly interpolated to the output rate), at volume 0-64 of 64:
 * linear, a full-scale byte at volume 64 gives +-16384, so the two voices
 * of a side never clip. Voices 0 and 2 play on the left, 1 and 3 on the
 * right. The samples are read straight from the 512 KiB 68000 memory
 * (addresses wrap at its end). The chip raises no interrupts.
 *
 * Time: the output samples lie on the 68000's cycle axis as the Timebase
 * places them. A register write at frame cycle c is heard from the first
 * sample at or after c: the chip first renders the samples before c into
 * its chunk buffer (with the registers as they were), then applies the
 * write. paula_mix finishes the chunk and hands it out. Voice positions
 * are kept to 1/2^32 byte across calls, so the output is the same whatever
 * the chunking.
 */
#ifndef VK68_CHIPS_PAULA_H
#define VK68_CHIPS_PAULA_H

#include <stdint.h>

#include "chips/timebase.h"
#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where a voice is in its sample: the byte address and the fraction of a
 * byte. The loop window (byte addresses, end excluded) is the one latched
 * at the last start or loop; register changes reach it at the next loop. */
typedef struct {
  uint32_t position;
  uint32_t fraction; /* 1/2^32 byte */
  uint32_t loop_start;
  uint32_t loop_end;
} PaulaVoiceState;

/* One Paula; its owner provides the storage, zeroed before the first use. */
typedef struct {
  IoPlugin68 io; /* the bus record */
  const Timebase *timebase;
  const uint8_t *memory; /* the 512 KiB 68000 memory (plus its 3 guard bytes) */
  uint8_t reg[256];      /* register bytes by offset */
  uint16_t dmacon;
  uint16_t intena;
  uint16_t intreq;
  uint16_t adkcon;
  PaulaVoiceState voice[4];
  uint32_t chunk_start; /* samples of the frame before the chunk being rendered */
  uint32_t rendered;    /* samples of the frame rendered so far (up to the chunk's end) */
  uint32_t chunk[TIMEBASE_MAX_CHUNK_SAMPLES]; /* the chunk's stereo words so far */
} Paula;

/* Fills in the bus record, takes the machine's time base (read whenever the
 * chip renders: the output rate, clocks.paula_hz) and its 68000 memory, and
 * resets the chip. Returns 0. */
int paula_init(Paula *paula, const Timebase *timebase, const uint8_t *memory);
/* Registers and voices back to power-on, nothing rendered. Returns 0. */
int paula_reset(Paula *paula);
/* Hands out the next n samples of the frame (those up to frame cycle
 * `to_cycle`, by the player's count) as stereo words (left in bits 0-15,
 * right in bits 16-31), rendering what the register writes have not;
 * n <= 0 does nothing. Resets the beam counter. */
void paula_mix(Paula *paula, uint32_t *buffer, const uint8_t *memory, uint32_t to_cycle, int n);
/* Read-only view of voice 0-3. */
const PaulaVoiceState *paula_voice_state(const Paula *paula, int voice);

#ifdef __cplusplus
}
#endif

#endif
