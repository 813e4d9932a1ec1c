/* MFP 68901 of the Atari ST: its four timers, and on the STE the DMA sound's
 * "sound active" line on timer A's input and GPIP 7, as a plug-in of the
 * 68000 I/O bus.
 *
 * The timers raise the interrupts that let a replay routine run code at a
 * fixed rate inside each frame. An event of an enabled channel (IER) sets
 * its pending bit (IPR), which an unmasked channel (IMR) turns into a
 * request; the highest channel requesting is acknowledged first, clearing
 * its bit. Events while the bit is set make no interrupts of their own, and
 * a masked channel's interrupt waits until it is unmasked. There is no
 * in-service register: handlers end their interrupts themselves. Counters
 * are never stepped per cycle: each timer remembers when it was last brought
 * up to date and when it next fires, and its count is recomputed only when
 * it is read or reprogrammed.
 *
 * Time: the bus hands the chip 68000 cycles counted from the start of the
 * current frame. Internally a cycle is mfp_hz / g units and a tick of the
 * MFP's clock cpu_hz / g units (g = gcd of the two clocks), so both are
 * whole numbers of units and no period drifts (8 MHz: 192 and 625; a PAL
 * STE's 8,021,247 Hz: 819,200 and 2,673,749). Times are 64-bit: a frame of
 * a 1 Hz tune holds 8 million cycles.
 *
 * The DMA sound of an STE drives a line that is high while a sample frame
 * plays and drops at every frame end (in loop mode only for an instant, as
 * the next frame starts at once). It reaches timer A's event input (in
 * event count mode, control 8, timer A counts the edges that AER bit 4
 * selects: frame ends with the bit clear) and, XORed with the monochrome
 * monitor detect (1 on a colour monitor), GPIP 7, whose interrupt (channel
 * 15, IERA/IMRA bit 7) comes on the edge AER bit 7 selects: with the bit
 * set, the rising GPIP edge of a frame end. The player wires the line for
 * tracks with YM and STE hardware; without it GPIP 7 is a plain register
 * bit and timer A's input is idle, as timer B's always is.
 */
#ifndef VK68_CHIPS_MFP68901_H
#define VK68_CHIPS_MFP68901_H

#include <stdint.h>

#include "chips/timebase.h"
#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One timer. Times are in internal units. */
typedef struct {
  uint32_t channel;  /* vector number within the MFP's block of 16, fixed
                        per timer */
  uint32_t control;  /* control value 0-15: 0 stopped, 1-7 delay mode, 8
                        event count; 9-15 (pulse width) count as 1-7       */
  int64_t last;      /* time of the last update                          */
  int64_t next;      /* time of the next interrupt, while counting time  */
  int64_t remainder; /* units accumulated towards the next count          */
  int64_t width;     /* units per count; 0 unless counting time          */
  int64_t period;    /* reload x width: time between interrupts          */
  int32_t count;     /* current count, 1..256                            */
  int32_t reload;    /* data register value, 1..256 (0 written = 256)     */
} MfpTimer;

/* Timer indices. */
enum { MFP_TIMER_A = 0, MFP_TIMER_B = 1, MFP_TIMER_C = 2, MFP_TIMER_D = 3 };

/* What the DMA sound tells of its "sound active" line when the MFP looks at
 * it at a cycle. Cycles are frame cycles, negative for earlier frames. */
typedef struct {
  int64_t last_end; /* the latest frame end at or before the cycle asked
                       (INT64_MIN: none since the reset) */
  int64_t next_end; /* the next one after it as things stand (INT64_MAX:
                       none ahead) */
  int looped;       /* play went on after the latest frame end */
  int active;       /* the line at the cycle asked: 1 while a frame plays */
} MfpSoundActive;

/* The wire from the DMA sound chip: `sense` brings that chip up to `cycle`
 * and describes its line. No chip: not wired. */
typedef struct {
  void *chip;
  void (*sense)(void *chip, uint32_t cycle, MfpSoundActive *line);
} MfpSoundActiveWire;

/* One MFP; its owner provides the storage, zeroed before the first use. */
typedef struct {
  IoPlugin68 io;    /* the bus record: "MFP-68901" at 0xFFFFFA00-0xFFFFFA2F */
  uint8_t regs[64]; /* register n at the odd offset 2n + 1 */
  MfpTimer timers[4];
  MfpTimer *next_timer; /* the timer counting time that fires first, or null */
  Interrupt68 irq;      /* the interrupt handed to the CPU */
  /* Clocks: set by mfp_set_timebase, the nominal ones until then. */
  const Timebase *timebase;
  int64_t units_per_cycle;
  int64_t units_per_tick;
  /* The sound active line: wired by mfp_wire_sound_active, kept by a reset. */
  MfpSoundActiveWire sound;
  int64_t sound_seen; /* the latest frame end already taken into account */
  int64_t sound_next; /* the next frame end the DMA announced */
  uint8_t sound_level;
  uint16_t ipr; /* the interrupt pending registers, bit n for channel n:
                   IPRA the high byte, IPRB the low one */
} Mfp68901;

/* Fills in the bus record and resets the chip; returns 0. */
int mfp_init(Mfp68901 *mfp);
/* Register file cleared, VR = 0x40, GPIP = 0x80, all timers stopped with a
 * reload and count of 256, nothing pending. Keeps the time base and the
 * wiring. Returns 0. */
int mfp_reset(Mfp68901 *mfp);
/* The clocks to count with (cpu_hz and mfp_hz of the time base's clocks).
 * Set it, or change the clocks, while the timers are stopped (before a
 * track starts). */
void mfp_set_timebase(Mfp68901 *mfp, const Timebase *timebase);
/* Wires the DMA sound's line (a wire without chip: none). */
void mfp_wire_sound_active(Mfp68901 *mfp, MfpSoundActiveWire wire);
/* Brings a timer's count up to `time` (internal units). */
void mfp_timer_update(MfpTimer *timer, int64_t time);
/* Timer by index (MFP_TIMER_A..MFP_TIMER_D), or null for any other index. */
MfpTimer *mfp_timer(Mfp68901 *mfp, int index);

#ifdef __cplusplus
}
#endif

#endif
