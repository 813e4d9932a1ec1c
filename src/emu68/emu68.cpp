// The 68000 emulator's public operations on an instance: initialisation, the
// error stack, the frame runner with interrupt delivery, the I/O plugin
// registry and the block copies. The instruction handlers are bound here to
// the production memory map (bus68.h).
#include "emu68/emu68.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "emu68/bus68.h"
#include "emu68/decode68.h"

namespace emu68 {
namespace {

// Init and release clear the CPU and its bus: every field up to the
// interrupt source; the page tables are set apart.
constexpr size_t kCpuBytes = offsetof(Emu68, interrupt_source) + sizeof(IoPlugin68 *);

void clear_cpu(Emu68 &cpu) { std::memset(&cpu, 0, kCpuBytes); }

uint32_t step_limit(const Emu68 &cpu) {
  return cpu.step_limit ? cpu.step_limit : EMU68_MAX_STEPS_PER_FRAME;
}

uint32_t default_read(IoPlugin68 *, uint32_t, uint32_t) { return 0; }
void default_write(IoPlugin68 *, uint32_t, uint32_t, uint32_t) {}

// The page takes the plug-in and its handlers (the defaults where it has
// none); null leaves the page to the defaults alone.
void install_page(Emu68 &cpu, uint32_t page, IoPlugin68 *p) {
  IoPage68 &io = cpu.io[page & 0xFF];
  io.plugin = p;
  io.read[0] = p && p->read_b ? p->read_b : default_read;
  io.read[1] = p && p->read_w ? p->read_w : default_read;
  io.read[2] = p && p->read_l ? p->read_l : default_read;
  io.write[0] = p && p->write_b ? p->write_b : default_write;
  io.write[1] = p && p->write_w ? p->write_w : default_write;
  io.write[2] = p && p->write_l ? p->write_l : default_write;
}

uint32_t page_of(uint32_t address) { return (address >> 8) & 0xFF; }

// A plug-in owns the pages of its first address up to its last one's (its
// first alone when the last address's page lies below).
void install_pages(Emu68 &cpu, IoPlugin68 *p, IoPlugin68 *owner) {
  const uint32_t first = page_of(p->addr_lo);
  for (uint32_t page = first; page == first || page <= page_of(p->addr_hi); ++page)
    install_page(cpu, page, owner);
}

// Steps from cpu.pc until A7 rises to the watermark (at least one
// instruction). Counts executed instructions down from *left; false when
// they run out first. The PC stays in a register meanwhile and goes back to
// cpu.pc at the end.
bool run_until(Emu68 &cpu, uint32_t watermark, uint32_t *left) {
  uint32_t pc = cpu.pc, n = *left;
  bool returned = false;
  while (n != 0) {
    pc = step<MapBus>(cpu, pc);
    --n;
    if (cpu.a[7] >= watermark) {
      returned = true;
      break;
    }
  }
  cpu.pc = pc;
  *left = n;
  return returned;
}

// Words the newest illegal instruction's message onto the error stack.
void report_illegal(Emu68 &cpu) {
  if (!cpu.illegal_pending) return;
  cpu.illegal_pending = 0;
  EMU68_push_error(&cpu, "Illegal pc:%06x", cpu.illegal_pc);
}

}  // namespace
}  // namespace emu68

using namespace emu68;

extern "C" {

int EMU68_push_error(Emu68 *emu, const char *format, ...) {
  report_illegal(*emu);
  int slot = emu->error_count;
  if (emu->error_count == EMU68_ERROR_SLOTS) {
    std::memmove(emu->errors[0], emu->errors[1], sizeof emu->errors[0] * (EMU68_ERROR_SLOTS - 1));
    slot = EMU68_ERROR_SLOTS - 1;
  } else {
    ++emu->error_count;
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(emu->errors[slot], EMU68_ERROR_LENGTH, format, args);
  va_end(args);
  emu->error_seed = emu->error_seed * 1103515245u + 12345u;
  return static_cast<int>(0xDEAD0000u | ((emu->error_seed >> 16) & 0xFFF));
}

const char *EMU68_pop_error(Emu68 *emu) {
  report_illegal(*emu);
  if (emu->error_count == 0) return nullptr;
  return emu->errors[--emu->error_count];
}

int EMU68_init(Emu68 *emu, uint8_t *memory, int32_t size) {
  Emu68 &cpu = *emu;
  clear_cpu(cpu);
  if (memory == nullptr) return EMU68_push_error(emu, "EMU68_init : NULL pointer");
  if (size < 0x20000) return EMU68_push_error(emu, "EMU68_init : memory amount must be >= 128Kb");
  if (size > 0x1000000) return EMU68_push_error(emu, "EMU68_init : memory amount must be < 16mb");
  if (size & (size - 1))
    return EMU68_push_error(emu, "EMU68_init : memory amount must be a power of 2");
  cpu.memory = memory;
  cpu.size = static_cast<uint32_t>(size);
  cpu.mask = cpu.size - 1;
  if (size != 0x80000)
    return EMU68_push_error(emu, "EMU68_init : memory amount incompatible with EMU68 version");
  std::memset(memory, 0, cpu.size + 3);
  EMU68_clear_io_pages(emu);
  EMU68_reset_cpu(emu);
  return 0;
}

void EMU68_release(Emu68 *emu) { clear_cpu(*emu); }

int EMU68_is_debug_build(void) { return 0; }

void EMU68_reset_cpu(Emu68 *emu) {
  Emu68 &cpu = *emu;
  reset_devices(cpu);
  std::memset(cpu.d, 0, sizeof cpu.d);
  std::memset(cpu.a, 0, sizeof cpu.a);
  cpu.cycle = 0;
  cpu.pc = 0;
  cpu.sr = 0x2700;
  cpu.a[7] = cpu.size - 4;
  cpu.stopped = 0;
}

void EMU68_load_registers(Emu68 *emu, const Reg68 *regs) {
  if (regs == nullptr) return;
  std::memcpy(emu->d, regs->d, sizeof emu->d);
  std::memcpy(emu->a, regs->a, sizeof emu->a);
  emu->usp = regs->usp;
  emu->pc = regs->pc;
  emu->sr = regs->sr;
}

void EMU68_save_registers(const Emu68 *emu, Reg68 *regs) {
  if (regs == nullptr) return;
  std::memcpy(regs->d, emu->d, sizeof emu->d);
  std::memcpy(regs->a, emu->a, sizeof emu->a);
  regs->usp = emu->usp;
  regs->pc = emu->pc;
  regs->sr = emu->sr;
}

void EMU68_set_cycle_count(Emu68 *emu, uint32_t cycle) { emu->cycle = cycle; }
uint32_t EMU68_cycle_count(const Emu68 *emu) { return emu->cycle; }

IoPlugin68 *EMU68_select_interrupt_source(Emu68 *emu, IoPlugin68 *source) {
  IoPlugin68 *previous = emu->interrupt_source;
  emu->interrupt_source = source;
  return previous;
}

// Without memory (before EMU68_init or after EMU68_release) nothing runs.
void EMU68_step_one(Emu68 *emu) {
  if (emu->memory != nullptr) emu->pc = step<MapBus>(*emu, emu->pc);
}

uint32_t EMU68_set_step_limit(Emu68 *emu, uint32_t steps) {
  const uint32_t previous = step_limit(*emu);
  emu->step_limit = steps;
  return previous;
}

int EMU68_start_frame(Emu68 *emu, uint32_t previous, uint32_t instructions) {
  Emu68 &cpu = *emu;
  cpu.frame_left = 0;
  if (cpu.memory == nullptr) return EMU68_push_error(emu, "no memory");
  for (IoPlugin68 *p = cpu.io_list; p != nullptr; p = p->next)
    if (p->adjust_cycles) p->adjust_cycles(p, previous);
  cpu.cycle = 0;
  cpu.busy_until = 0;
  const uint32_t allowance = std::min(instructions, step_limit(cpu));
  cpu.frame_left = allowance;
  const uint32_t pc = cpu.pc, watermark = cpu.a[7], sr = cpu.sr;
  cpu.a[7] = watermark - 4;  // stands for the return address; never written
  uint32_t left = allowance;
  const bool returned = run_until(cpu, watermark, &left);
  // As the return from the interrupt that calls a play routine on the real
  // machine: a mask the routine left raised does not hold the frame's
  // interrupts back.
  cpu.sr = sr;
  cpu.a[7] = watermark;
  cpu.pc = pc;
  if (returned) return 0;
  cpu.frame_left = 0;
  return EMU68_push_error(emu, "the routine at $%X did not return within %u instructions", pc,
                          allowance);
}

int EMU68_run_interrupts(Emu68 *emu, uint32_t until) {
  Emu68 &cpu = *emu;
  IoPlugin68 *source = cpu.interrupt_source;
  int result = 0;
  if (cpu.frame_left != 0 && source != nullptr && ((cpu.sr >> 8) & 7) < 6) {
    const uint32_t pc = cpu.pc, watermark = cpu.a[7];
    uint32_t t = cpu.cycle;
    int32_t next = source->next_interrupt ? source->next_interrupt(source, t) : IO68_NO_INTERRUPT;
    while (next != IO68_NO_INTERRUPT) {
      // An interrupt waits for the handler before it to end.
      t = std::max(t + (next < 0 ? 0 : static_cast<uint32_t>(next)), cpu.busy_until);
      if (t >= until) break;
      const Interrupt68 *irq = source->interrupt ? source->interrupt(source, t) : nullptr;
      if (irq != nullptr) {
        cpu.cycle = t;
        cpu.a[7] = watermark;
        cpu.pc = 0x12345678;
        push_long<MapBus>(cpu, cpu.pc);
        push_word<MapBus>(cpu, cpu.sr);
        cpu.sr = (cpu.sr & 0x70FF) | ((irq->level + 0x20) << 8);
        cpu.pc = MapBus::read32(cpu, irq->vector);
        uint32_t left = cpu.frame_left;
        const bool returned = run_until(cpu, watermark, &left);
        // Instructions take no time where the chips are concerned, but a
        // handler keeps the CPU at least 4 cycles per instruction, so the
        // handlers of a frame run at most as many as its cycles allow.
        cpu.busy_until = t + EMU68_MIN_CYCLES_PER_INSTRUCTION * (cpu.frame_left - left);
        if (!returned) {
          result = EMU68_push_error(
              emu, "the interrupt handler at cycle %u did not return within its frame", t);
          cpu.frame_left = 0;
          break;
        }
      }
      next = source->next_interrupt ? source->next_interrupt(source, t) : IO68_NO_INTERRUPT;
    }
    cpu.a[7] = watermark;
    cpu.pc = pc;
  }
  cpu.cycle = until;
  return result;
}

int EMU68_run_frame(Emu68 *emu, uint32_t budget) {
  const int result = EMU68_start_frame(emu, emu->cycle, EMU68_MAX_STEPS_PER_FRAME);
  if (result < 0) {
    emu->cycle = budget;
    return result;
  }
  return EMU68_run_interrupts(emu, budget);
}

void EMU68_plug_io(Emu68 *emu, IoPlugin68 *plugin) {
  if (plugin == nullptr) return;
  for (IoPlugin68 *p = emu->io_list; p != nullptr; p = p->next)
    if (p == plugin) return;
  plugin->next = emu->io_list;
  emu->io_list = plugin;
  ++emu->io_count;
  install_pages(*emu, plugin, plugin);
}

int EMU68_unplug_io(Emu68 *emu, IoPlugin68 *plugin) {
  if (plugin == nullptr) return 0;
  for (IoPlugin68 **link = &emu->io_list; *link != nullptr; link = &(*link)->next) {
    if (*link == plugin) {
      *link = plugin->next;
      --emu->io_count;
      install_pages(*emu, plugin, nullptr);
      return 0;
    }
  }
  return -1;
}

void EMU68_unplug_all_io(Emu68 *emu) {
  while (emu->io_list != nullptr) EMU68_unplug_io(emu, emu->io_list);
}

void EMU68_clear_io_page(Emu68 *emu, int page) {
  install_page(*emu, static_cast<uint32_t>(page), nullptr);
}

void EMU68_clear_io_pages(Emu68 *emu) {
  for (int page = 0; page < 256; ++page) EMU68_clear_io_page(emu, page);
}

int EMU68_check_block(Emu68 *emu, uint32_t address, uint32_t length) {
  if (length > emu->size)
    return EMU68_push_error(emu, "Not enought 68K memory ($%X>$%X)", length, emu->size);
  uint32_t end = (address + length) & emu->mask;
  // The second test catches a full-size block that does not start at 0,
  // whose end wraps exactly onto its start.
  if (end < address || address > emu->size - length)
    return EMU68_push_error(emu, "68K memory overflow :($%X-$%X)", address, end);
  return 0;
}

int EMU68_copy_in(Emu68 *emu, uint32_t address, const void *source, uint32_t length) {
  int err = EMU68_check_block(emu, address, length);
  if (err < 0) return err;
  if (length != 0) std::memcpy(emu->memory + address, source, length);
  return 0;
}

int EMU68_copy_out(Emu68 *emu, void *destination, uint32_t address, uint32_t length) {
  int err = EMU68_check_block(emu, address, length);
  if (err < 0) return err;
  if (length != 0) std::memcpy(destination, emu->memory + address, length);
  return 0;
}

}  // extern "C"
