/* Where a machine's chips meet in time: the clocks of the emulated machine
 * and the place of the output samples on the 68000's cycle axis.
 *
 * The 68000 runs a track frame by frame. Cycles are counted from the start
 * of the current frame (32-bit, as the bus stamps register accesses); the
 * frames follow each other without a gap, so frame cycle c is the absolute
 * cycle frame_start + c, counted from the track's start (64-bit). Output
 * sample n sits at the absolute cycle n * cpu_hz / rate (exact, rational):
 * the samples of a stretch of cycles [a, b) are those from
 * timebase_sample(a) up to, not including, timebase_sample(b). Nothing is
 * rounded per frame, so pitches and rates hold exactly over any length.
 *
 * The player renders a frame in chunks of at most TIMEBASE_MAX_CHUNK_CYCLES cycles:
 * after running the 68000 up to a chunk's end, it asks each chip for
 * exactly the chunk's samples. A chip that must act at the cycle of a
 * register access (a DMA voice whose registers change mid-chunk) renders
 * the samples before that cycle first, finding them with
 * timebase_frame_samples.
 */
#ifndef VK68_CHIPS_TIMEBASE_H
#define VK68_CHIPS_TIMEBASE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A frequency num / den Hz (den > 0). */
typedef struct {
  uint64_t num;
  uint64_t den;
} ClockRate;

/* The clocks of the emulated machines. */
typedef struct {
  uint32_t cpu_hz;   /* the 68000 */
  ClockRate ym;      /* the YM-2149's input clock (its tone counters count
                        at a sixteenth of it) */
  ClockRate dma;     /* the STE DMA sound's fastest rate (mode 3); the mode's
                        rate bits divide it by 1, 2, 4 or 8 */
  uint32_t mfp_hz;   /* the MFP 68901's timer clock */
  uint32_t paula_hz; /* the Amiga's colour clock, which Paula's periods count */
  uint32_t cia_hz;   /* the Amiga CIAs' E clock, which their timers count */
} MachineClocks;

/* The round figures the engine has always used: a 68000 at 8 MHz, the YM at
 * 2 MHz, DMA sound at 50,066 Hz. */
extern const MachineClocks kClocksNominal;
/* A real PAL STE (a 32,084,988 Hz crystal: 68000 at 8,021,247 Hz, YM and
 * DMA sound from the 8,010,613 Hz sound clock: YM at a quarter of it, DMA
 * at 1/160) and a PAL Amiga's Paula and CIAs. */
extern const MachineClocks kClocksPal;

/* The longest stretch of cycles the player asks the chips to render at once
 * (a little over 8192 YM steps of 32 cycles). At the highest output rate it
 * holds at most TIMEBASE_MAX_CHUNK_SAMPLES samples. */
#define TIMEBASE_MAX_CHUNK_CYCLES 262144u
#define TIMEBASE_MAX_CHUNK_SAMPLES 2048u

/* What the chips of one machine share, owned by the player. */
typedef struct {
  MachineClocks clocks;
  uint32_t rate;        /* output samples per second */
  uint64_t frame_start; /* absolute cycle of the current frame's cycle 0 */
} Timebase;

/* The first output sample at or after absolute cycle `cycle`. */
uint64_t timebase_sample(const Timebase *t, uint64_t cycle);

/* Output samples of the current frame that lie before its cycle `cycle`
 * (those at or after its cycle 0). */
uint32_t timebase_frame_samples(const Timebase *t, uint32_t cycle);

#ifdef __cplusplus
}
#endif

#endif
