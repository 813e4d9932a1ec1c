/* The 68000 emulator: one process-wide CPU, its 512 KiB memory and I/O bus.
 *
 * Error rule: operations with an int result return 0 on success; on failure
 * they push a message on the emulator's own error stack (4 messages of up to
 * 127 characters, newest on top) and return a negative value. The caller
 * reads the message with EMU68_pop_error.
 *
 * The emulator is not cycle-timed: instructions take no emulated time. The
 * cycle position only stamps bus accesses, so chips know when within the
 * frame a register access happened.
 */
#ifndef VK68_EMU68_EMU68_H
#define VK68_EMU68_EMU68_H

#include <stdint.h>

#include "emu68/ioplug68.h"
#include "vk68/reg68.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Instructions one EMU68_run_frame call may execute before it gives up on a
 * routine that never returns. */
#define EMU68_MAX_STEPS_PER_FRAME 50000000u

int EMU68_init(uint8_t *memory, int32_t size);
void EMU68_release(void);
int EMU68_is_debug_build(void);
void EMU68_reset_cpu(void);
void EMU68_load_registers(const Reg68 *regs);
void EMU68_save_registers(Reg68 *regs);
void EMU68_set_cycle_count(uint32_t cycle);
uint32_t EMU68_cycle_count(void);
IoPlugin68 *EMU68_select_interrupt_source(IoPlugin68 *source);

/* Executes exactly one instruction (nothing without memory). */
void EMU68_step_one(void);
/* Runs the routine at PC as a subroutine, then delivers the interrupts of
 * the selected source that fall before `budget` cycles. Returns 0, or a
 * negative value (with a message on the error stack) when the routine or an
 * interrupt handler did not return within EMU68_MAX_STEPS_PER_FRAME
 * instructions, or when no memory is installed; PC and A7 are restored
 * either way. */
int EMU68_run_frame(uint32_t budget);
/* Sets the instruction bound of EMU68_run_frame (0: back to
 * EMU68_MAX_STEPS_PER_FRAME) and returns the previous one; a host that runs
 * untrusted code many times (a fuzzer) gives up on runaways sooner. */
uint32_t EMU68_set_step_limit(uint32_t steps);

int EMU68_push_error(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
const char *EMU68_pop_error(void);

/* I/O bus. */
void EMU68_plug_io(IoPlugin68 *plugin);
int EMU68_unplug_io(IoPlugin68 *plugin);
void EMU68_unplug_all_io(void);
void EMU68_clear_io_page(int page);
void EMU68_clear_io_pages(void);

/* Block checks and copies between host memory and emulated RAM. */
int EMU68_check_block(uint32_t address, uint32_t length);
int EMU68_copy_in(uint32_t address, const void *source, uint32_t length);
int EMU68_copy_out(void *destination, uint32_t address, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
