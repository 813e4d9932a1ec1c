/* Amiga CIA-B (an 8520), as a plug-in of the 68000 I/O bus: its two
 * interval timers and interrupt control register, the parts a module
 * replay times its ticks with ("AMIGA CIA-B", 0xBFD000-0xBFDFFF, register r
 * at 0xBFD000 + 0x100 r, on the even bytes; pages 0xD0-0xDF).
 *
 * The timers count the E clock (the Timebase's clocks.cia_hz). A running
 * timer counts down from its latch and underflows after `latch` ticks (0:
 * 65536), sets its bit in the interrupt data and reloads. An underflow
 * whose bit is enabled in the mask interrupts the 68000 at level 6 through
 * autovector 0x78, as CIA-B does through Paula's EXTER line; reading the
 * interrupt control register acknowledges (clears) the data. The one-shot
 * mode (a timer runs continuously), counting external pulses, the time of
 * day counter, the serial and the parallel ports are not emulated.
 *
 * Time: every time is kept in units of 1 / (cpu_hz x cia_hz) s, from the
 * start of the current frame: a 68000 cycle is cia_hz units, an E clock
 * tick cpu_hz units, so the timers run exactly on the E clock whatever the
 * 68000's clock, and an underflow interrupts at the first cycle at or
 * after its exact time.
 */
#ifndef VK68_CHIPS_CIA8520_H
#define VK68_CHIPS_CIA8520_H

#include <stdint.h>

#include "chips/timebase.h"
#include "emu68/ioplug68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One timer. */
typedef struct {
  uint16_t latch;   /* the value the counter (re)loads */
  uint16_t counter; /* while stopped: the count it resumes from */
  uint8_t control;  /* CRA / CRB as written, without the load strobe */
  int64_t next;     /* while running: time of the next underflow */
} CiaTimer;

/* One CIA; its owner provides the storage, zeroed before the first use. */
typedef struct {
  IoPlugin68 io; /* the bus record */
  const Timebase *timebase;
  CiaTimer timer[2]; /* A, B */
  uint8_t icr_data;  /* underflows not yet acknowledged (bits 0-1) */
  uint8_t icr_mask;  /* underflows that interrupt */
  Interrupt68 irq;   /* the interrupt handed to the 68000 */
} Cia8520;

/* Fills in the bus record, takes the machine's time base (read whenever
 * the chip needs the clocks) and resets the chip. Returns 0. */
int cia_init(Cia8520 *cia, const Timebase *timebase);
/* Timers stopped with latch and counter 0xFFFF, interrupts cleared and
 * masked. Returns 0. */
int cia_reset(Cia8520 *cia);

#ifdef __cplusplus
}
#endif

#endif
