/* The 68000 emulator: an emulator instance (Emu68) holds one CPU, the
 * 512 KiB memory it is given and its I/O bus. Every operation takes the
 * instance first; instances share nothing, so different ones may run on
 * different threads at once.
 *
 * Error rule: operations with an int result return 0 on success; on failure
 * they push a message on the instance's own error stack (4 messages of up to
 * 127 characters, newest on top) and return a negative value. The caller
 * reads the message with EMU68_pop_error.
 *
 * The emulator is not cycle-timed: instructions take no emulated time. The
 * cycle position only stamps bus accesses, so chips know when within the
 * frame a register access happened. An illegal instruction's message
 * ("Illegal pc:XXXXXX", the newest one only) is put on the error stack when
 * the stack is next used.
 */
#ifndef VK68_EMU68_EMU68_H
#define VK68_EMU68_EMU68_H

#include <stdint.h>

#include "emu68/ioplug68.h"
#include "vk68/reg68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Instructions one frame may execute at most (the step limit's default)
 * before the emulator gives up on a routine that never returns. */
#define EMU68_MAX_STEPS_PER_FRAME 50000000u

/* The 68000's shortest instructions take 4 cycles. */
#define EMU68_MIN_CYCLES_PER_INSTRUCTION 4u

/* Messages the error stack keeps, and their size with the terminator. */
#define EMU68_ERROR_SLOTS 4
#define EMU68_ERROR_LENGTH 128

/* One of the 256 I/O pages: the plug-in that owns it (null for none) and
 * its handlers by access width (byte, word, long); the defaults stand in
 * for those it has none of. */
typedef struct {
  IoPlugin68 *plugin;
  io68_read_t read[3];
  io68_write_t write[3];
} IoPage68;

/* One emulator. The owner provides the storage (all zero is a valid
 * instance without memory, on which nothing runs) and reaches the fields
 * only through the operations below. */
typedef struct Emu68 {
  /* The first nineteen words are laid out like Reg68. */
  uint32_t d[8];
  uint32_t a[8];  /* a[7] is the only stack pointer */
  uint32_t usp;   /* touched only by MOVE An,USP and MOVE USP,An */
  uint32_t pc;    /* the PC between runs; a runner keeps it in a register */
  uint32_t sr;    /* low 16 bits used */
  uint32_t cycle; /* position within the current frame, 8 MHz cycles */
  uint32_t stopped;
  uint8_t *memory;
  uint32_t mask;
  uint32_t size;
  uint32_t io_count;
  IoPlugin68 *io_list;
  IoPlugin68 *interrupt_source;
  uint32_t step_limit;      /* instructions a frame may run; 0: the maximum */
  uint32_t frame_left;      /* instructions the routine and each handler of the
                               current frame may run (0: the frame failed) */
  uint32_t busy_until;      /* cycle at which the last interrupt handler ended */
  uint32_t illegal_pc;      /* address of the last illegal instruction ... */
  uint32_t illegal_pending; /* ... not yet reported on the error stack */
  IoPage68 io[256];
  int error_count; /* slot error_count - 1 is the newest */
  uint32_t error_seed;
  char errors[EMU68_ERROR_SLOTS][EMU68_ERROR_LENGTH];
} Emu68;

/* Installs the memory (size + 3 bytes: the 3 guard bytes behind the end
 * are cleared too) and brings the instance up: no plug-ins, no interrupt
 * source, every I/O page at the defaults, CPU reset. The error stack and
 * the step limit are kept. */
int EMU68_init(Emu68 *emu, uint8_t *memory, int32_t size);
/* Back to the state without memory; the error stack and the step limit
 * are kept. */
void EMU68_release(Emu68 *emu);
int EMU68_is_debug_build(void);
/* Resets the plugged chips, then the CPU: D0-A7 0, A7 = size - 4, PC 0,
 * SR 0x2700, cycle 0 (the RESET instruction resets only the chips). */
void EMU68_reset_cpu(Emu68 *emu);
void EMU68_load_registers(Emu68 *emu, const Reg68 *regs);
void EMU68_save_registers(const Emu68 *emu, Reg68 *regs);
void EMU68_set_cycle_count(Emu68 *emu, uint32_t cycle);
uint32_t EMU68_cycle_count(const Emu68 *emu);
IoPlugin68 *EMU68_select_interrupt_source(Emu68 *emu, IoPlugin68 *source);

/* Executes exactly one instruction (nothing without memory). */
void EMU68_step_one(Emu68 *emu);

/* A frame, run in steps: EMU68_start_frame tells the plugged chips the
 * length of the frame that ended (`previous` cycles: their clocks move back
 * by it), sets the cycle to 0 and runs the routine at PC as a subroutine;
 * EMU68_run_interrupts then delivers the interrupts of the selected source
 * that fall from the current cycle up to, not including, `until`, each
 * handler running to its return, and leaves the cycle at `until`; a frame
 * calls it with rising `until`. The routine, and each handler, may run at
 * most `instructions` instructions (and at most the step limit): a real
 * 68000 runs no more in the frame's cycles. A handler keeps the CPU busy
 * for 4 cycles per instruction it ran (the shortest instruction's time):
 * an interrupt due meanwhile comes when it ends, so the handlers of a frame
 * too run no more than its cycles allow. Both return 0, or a negative
 * value (with a message on the error stack) when the routine or a handler
 * did not return within the allowance, or without memory; PC, SR and A7
 * are restored either way, and a frame whose routine failed delivers no
 * interrupt. */
int EMU68_start_frame(Emu68 *emu, uint32_t previous, uint32_t instructions);
int EMU68_run_interrupts(Emu68 *emu, uint32_t until);
/* A whole frame at once: EMU68_start_frame with the current cycle as the
 * previous frame's length and the step limit as allowance, then
 * EMU68_run_interrupts up to `budget`. */
int EMU68_run_frame(Emu68 *emu, uint32_t budget);
/* Sets the step limit (0: back to EMU68_MAX_STEPS_PER_FRAME) and returns
 * the previous one; a host that runs untrusted code many times (a fuzzer)
 * gives up on runaways sooner. */
uint32_t EMU68_set_step_limit(Emu68 *emu, uint32_t steps);

int EMU68_push_error(Emu68 *emu, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
const char *EMU68_pop_error(Emu68 *emu);

/* I/O bus. A plug-in record is plugged into one emulator at a time. */
void EMU68_plug_io(Emu68 *emu, IoPlugin68 *plugin);
int EMU68_unplug_io(Emu68 *emu, IoPlugin68 *plugin);
void EMU68_unplug_all_io(Emu68 *emu);
void EMU68_clear_io_page(Emu68 *emu, int page);
void EMU68_clear_io_pages(Emu68 *emu);

/* Block checks and copies between host memory and emulated RAM. */
int EMU68_check_block(Emu68 *emu, uint32_t address, uint32_t length);
int EMU68_copy_in(Emu68 *emu, uint32_t address, const void *source, uint32_t length);
int EMU68_copy_out(Emu68 *emu, void *destination, uint32_t address, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
