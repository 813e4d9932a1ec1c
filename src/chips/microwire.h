/* Atari STE DMA sound and the MicroWire interface to its LMC1992 volume and
 * tone controller, as a plug-in of the 68000 I/O bus.
 *
 * DMA sound plays 8-bit signed samples from 68000 memory at one of four
 * rates (the time base's DMA clock divided by 8, 4, 2 or 1), mono or stereo,
 * timed to the cycle: a register access at a cycle first renders the DMA's
 * output samples before that cycle into the chip's chunk buffer, then acts.
 * Playing starts when the control register's play bit goes from 0 to 1; the
 * frame start and end registers are latched then and at every frame end
 * (in loop mode the next frame starts at once from the values they hold
 * then), so writes while a frame plays take effect at the next frame. The
 * frame address counter reads the address playing at the cycle of the read.
 * mw_mix finishes a chunk: it turns the YM's mono samples into packed stereo
 * words (left in bits 0-15, right in bits 16-31) with the DMA's added.
 *
 * Levels, as the STE's analogue mix and the LMC1992's mixer input select
 * make them: the DMA's full scale (-128..127) is -16384..16256 in every
 * setting; the YM is mixed at half its level (peaks near +-13312) with
 * setting 1, 12 dB lower with setting 0 and not at all with setting 2, so
 * the loudest YM and a full-scale DMA square together stay inside 16 bits
 * (YM samples beyond 16 bits are limited to them as they come in, so no
 * sum can wrap). The LMC1992's master and left and right volumes then
 * attenuate each side of the sum from the sample at the command's cycle
 * on; its tone settings (bass, treble) are decoded and stored, not heard.
 *
 * The DMA's "sound active" line goes to the MFP (mw_sound_active_wire):
 * high while a frame plays, it drops at each frame end, for an instant in
 * loop mode.
 *
 * Every sample address is taken modulo the 512 KiB of 68000 memory, so no
 * register value makes the chip read outside it.
 */
#ifndef VK68_CHIPS_MICROWIRE_H
#define VK68_CHIPS_MICROWIRE_H

#include <stdint.h>

#include "chips/mfp68901.h"
#include "chips/timebase.h"
#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the 68000 memory the DMA reads from; addresses wrap inside it. */
#define MW_MEMORY_SIZE 0x80000u

/* What the LMC1992 was last told. Volumes and tone in dB. */
typedef struct {
  int mixer;     /* 0..3: 0 DMA + YM at -12 dB; 1 DMA + YM; 2 DMA alone;
                    3 (reserved) leaves the mix as it was */
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
  IoPlugin68 io;    /* the bus record: "STE-MicroWire" at 0xFFFF8900-0xFFFF8925 */
  uint8_t regs[64]; /* register bytes by offset */
  /* The machine: set by mw_attach (nominal clocks at 44100 Hz and no
   * memory, read as silence, until then). */
  const Timebase *timebase;
  const uint8_t *memory;
  /* The DMA, at output sample `done` of the current frame. */
  uint64_t position; /* playing address, 32.32 */
  uint64_t end;      /* end address, 32.32, of the frame being played */
  uint8_t empty;     /* playing a loop whose latched frame is empty */
  /* The latest frame end, if `ended`: it fell `end_over` (32.32 bytes)
   * before output sample `end_sample` (counted from the track's start) at
   * the rate of mode `end_mode`. */
  uint8_t ended;
  uint8_t end_looped;
  uint8_t end_mode;
  uint64_t end_sample;
  uint64_t end_over;
  /* The current frame's output: samples rendered and the chunk's first. */
  uint32_t done;
  uint32_t chunk_first;
  /* The last MicroWire transfer, while `sending` (data and mask rotate as
   * the bits go out): the absolute cycle its data was written at, and the
   * reads of its low bytes since. */
  uint64_t send_cycle;
  uint32_t send_reads;
  uint8_t sending;
  int32_t ym_gain; /* of the mixer setting, in 1/1024 */
  uint16_t volume[2]; /* left and right, of the LMC1992's volumes, in 1/32768 */
  MwLmc1992 lmc;
  /* The chunk so far: the DMA's left and right output and the YM's gain. */
  int16_t left[TIMEBASE_MAX_CHUNK_SAMPLES];
  int16_t right[TIMEBASE_MAX_CHUNK_SAMPLES];
  int16_t ym_gains[TIMEBASE_MAX_CHUNK_SAMPLES];
  uint16_t volumes[2][TIMEBASE_MAX_CHUNK_SAMPLES];
} SteMicroWire;

/* Fills in the bus record and resets the chip; returns 0. */
int mw_init(SteMicroWire *ste);
/* Registers 0x00-0x25 cleared, DMA stopped, LMC1992 back to mixer 1 and full
 * volume with flat tone. Keeps the time base and memory. Returns 0. */
int mw_reset(SteMicroWire *ste);
/* The machine the chip belongs to: the player's time base (clocks, output
 * rate, the current frame's place) and the 68000 memory, MW_MEMORY_SIZE
 * bytes, the DMA reads. */
void mw_attach(SteMicroWire *ste, const Timebase *timebase, const uint8_t *memory);
/* Finishes the chunk that ends at frame cycle `to_cycle`: `buffer` holds its
 * n YM samples (signed 32-bit) on entry and n packed stereo words on return.
 * `memory` is the 68000 memory (the one attached). n <= 0 does nothing. */
void mw_mix(SteMicroWire *ste, uint32_t *buffer, const uint8_t *memory, uint32_t to_cycle, int n);
/* The decoded LMC1992 settings. */
const MwLmc1992 *mw_lmc1992(const SteMicroWire *ste);
/* The wire that takes the DMA's sound active line to an MFP
 * (mfp_wire_sound_active). */
MfpSoundActiveWire mw_sound_active_wire(SteMicroWire *ste);

#ifdef __cplusplus
}
#endif

#endif
