/* The record a chip emulation plugs into the 68000's I/O bus.
 *
 * Every address with bit 23 set is I/O; bits 15-8 of it pick one of 256
 * pages, and a plugged chip owns the pages from its first address's to its
 * last address's. The bus hands the chip the full, unmasked address and the
 * CPU's cycle position within the current frame (68000 clock cycles).
 *
 * Every handler receives the record it was found in (`self`), so a chip
 * whose state embeds its record gets back to that state from it. A record is
 * plugged into one emulator at a time.
 */
#ifndef VK68_EMU68_IOPLUG68_H
#define VK68_EMU68_IOPLUG68_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What an interrupting chip hands the CPU: the address of the exception
 * vector to take and the interrupt level (0-7) the mask takes meanwhile. */
typedef struct {
  uint32_t vector;
  uint32_t level;
} Interrupt68;

/* "No interrupt pending" answer of next_interrupt. */
#define IO68_NO_INTERRUPT ((int32_t)0x80000000)

typedef struct IoPlugin68 IoPlugin68;

typedef uint32_t (*io68_read_t)(IoPlugin68 *self, uint32_t address, uint32_t cycle);
typedef void (*io68_write_t)(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle);

struct IoPlugin68 {
  IoPlugin68 *next;   /* link in the plugged list; set by plugging     */
  char name[32];      /* zero-terminated                               */
  uint32_t addr_lo;   /* first address: its bits 15-8 pick a page      */
  uint32_t addr_hi;   /* last address: the pages up to its own         */
  io68_read_t read_b; /* any of the six may be null: the default read  */
  io68_read_t read_w; /* returns 0, the default write does nothing     */
  io68_read_t read_l;
  io68_write_t write_b;
  io68_write_t write_w;
  io68_write_t write_l;
  /* The last four may be null too: a chip that raises no interrupt, keeps
   * no clock or has nothing to reset leaves them out. */
  /* Asked only of the selected interrupt source: the interrupt due at
   * `cycle`, or null when none is. The record must stay valid until the CPU
   * has read it. */
  Interrupt68 *(*interrupt)(IoPlugin68 *self, uint32_t cycle);
  /* Cycles from `cycle` to the next interrupt request, IO68_NO_INTERRUPT for
   * none; a negative value counts as 0. */
  int32_t (*next_interrupt)(IoPlugin68 *self, uint32_t cycle);
  /* Called at the start of every frame with the length of the frame that
   * just ended, so the chip can rebase its clock. */
  void (*adjust_cycles)(IoPlugin68 *self, uint32_t cycles);
  /* Called by the CPU reset. */
  int (*reset)(IoPlugin68 *self);
};

#ifdef __cplusplus
}
#endif

#endif
