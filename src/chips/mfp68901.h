/* MFP 68901 timers of the Atari ST, as a plug-in of the 68000 I/O bus.
 *
 * The four timers raise the interrupts that let a replay routine run code at
 * a fixed rate inside each frame. Counters are never stepped per cycle: each
 * timer remembers when it was last brought up to date and when it next
 * fires, and its count is recomputed only when it is read or reprogrammed.
 *
 * Time: the bus hands the chip 68000 cycles counted from the start of the
 * current frame. Internally every time is that cycle count times 192, so
 * one tick of the chip's 2.4576 MHz clock is exactly 625 internal units.
 */
#ifndef VK68_CHIPS_MFP68901_H
#define VK68_CHIPS_MFP68901_H

#include <stdint.h>

#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One timer. Times are in internal units (cycle x 192). */
typedef struct {
  /* Fixed per timer. */
  uint32_t channel; /* vector number within the MFP's block of 16         */
  uint32_t level;   /* 68000 interrupt level                              */
  uint8_t bit;      /* enable/mask bit in its bank                        */
  uint8_t bank;     /* 0: IERA/IMRA, 1: IERB/IMRB                         */
  /* Variable. */
  uint32_t last;      /* time of the last update                          */
  int32_t next;       /* time of the next interrupt                       */
  uint32_t remainder; /* units accumulated towards the next count          */
  uint32_t width;     /* units per count; 0 while stopped                 */
  uint32_t period;    /* reload x width: time between interrupts          */
  int32_t count;      /* current count, 1..256                            */
  int32_t reload;     /* data register value, 1..256 (0 written = 256)     */
  uint32_t control;   /* prescaler selector, 0 (stopped) .. 7              */
} MfpTimer;

/* Timer indices. */
enum { MFP_TIMER_A = 0, MFP_TIMER_B = 1, MFP_TIMER_C = 2, MFP_TIMER_D = 3 };

/* One MFP; its owner provides the storage. */
typedef struct {
  IoPlugin68 io;    /* the bus record: "MFP-68901" at 0xFFFFFA00-0xFFFFFA2F */
  uint8_t regs[64]; /* register n at the odd offset 2n + 1 */
  MfpTimer timers[4];
  MfpTimer *next_timer; /* the running timer that fires first, or null */
  Interrupt68 irq;      /* the interrupt handed to the CPU */
} Mfp68901;

/* Fills in the bus record and resets the chip; returns 0. */
int mfp_init(Mfp68901 *mfp);
/* Register file cleared, VR = 0x40, GPIP = 0x80, all timers stopped with a
 * reload and count of 256. Returns 0. */
int mfp_reset(Mfp68901 *mfp);
/* Brings a timer's count up to `time` (internal units). */
void mfp_timer_update(MfpTimer *timer, uint32_t time);
/* Timer by index (MFP_TIMER_A..MFP_TIMER_D), or null for any other index. */
MfpTimer *mfp_timer(Mfp68901 *mfp, int index);

#ifdef __cplusplus
}
#endif

#endif
