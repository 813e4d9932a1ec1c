/* Atari STE DMA sound and the MicroWire interface to its LMC1992 volume and
 * tone controller, as a plug-in of the 68000 I/O bus.
 *
 * DMA sound plays 8-bit signed samples from 68000 memory at one of four
 * rates, mono or stereo. Once per replay frame mw_mix turns the YM's mono
 * samples into packed stereo words (left in bits 0-15, right in bits
 * 16-31), scaled by the LMC1992 mixer setting, with the DMA sound resampled
 * to the output rate added in. Of the LMC1992 commands only the mixer
 * selection changes the sound; the others are decoded and stored.
 *
 * Every sample address is taken modulo the 512 KiB of 68000 memory, so no
 * register value makes the mixer read outside it.
 */
#ifndef VK68_CHIPS_MICROWIRE_H
#define VK68_CHIPS_MICROWIRE_H

#include <stdint.h>

#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the 68000 memory the DMA reads from; addresses wrap inside it. */
#define MW_MEMORY_SIZE 0x80000u

/* Output rate before any is set. */
#define MW_DEFAULT_RATE 44100u

/* What the LMC1992 was last told. Volumes and tone in dB. */
typedef struct {
  int mixer;     /* 0..3: 0 DMA 24 dB below setting 1, + YM; 1 DMA + YM;
                    2 DMA alone (12 dB above setting 1); 3 gains unchanged */
  int master_db; /* -80..0 */
  int left_db;   /* -40..0 */
  int right_db;  /* -40..0 */
  int lr_db;     /* average of left and right */
  int bass_db;   /* -12..+12 */
  int treble_db; /* -12..+12 */
} MwLmc1992;

/* One STE sound chip set; its owner provides the storage, zeroed before the
 * first use. */
typedef struct {
  IoPlugin68 io;     /* the bus record: "STE-MicroWire" at 0xFFFF8900-0xFFFF8925 */
  uint8_t regs[64];  /* register bytes by offset */
  uint64_t position; /* playing address, 32.32 */
  uint64_t end;      /* end address, 32.32, of the frame being played */
  int32_t dma_gain;  /* the mixer setting's gains, in 1/1024 */
  int32_t ym_gain;
  MwLmc1992 lmc;
  uint32_t output_rate; /* Hz; kept by a reset */
} SteMicroWire;

/* Fills in the bus record and resets the chip; returns 0. The output rate
 * is MW_DEFAULT_RATE unless mw_sampling_rate has set one. */
int mw_init(SteMicroWire *ste);
/* Registers 0x00-0x25 cleared, DMA stopped, LMC1992 back to mixer 1 and full
 * volume with flat tone. The output rate is kept. Returns 0. */
int mw_reset(SteMicroWire *ste);
/* hz = 0 returns the current output rate; any other value becomes the rate
 * and is returned. */
uint32_t mw_sampling_rate(SteMicroWire *ste, uint32_t hz);
/* Mixes one frame in place: `buffer` holds n YM samples (signed 32-bit) on
 * entry and n packed stereo words on return. `memory` is the 68000 memory,
 * MW_MEMORY_SIZE bytes. n <= 0 does nothing. */
void mw_mix(SteMicroWire *ste, uint32_t *buffer, const uint8_t *memory, int n);
/* The decoded LMC1992 settings. */
const MwLmc1992 *mw_lmc1992(const SteMicroWire *ste);

#ifdef __cplusplus
}
#endif

#endif
