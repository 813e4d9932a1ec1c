// The 68000 emulator's public operations: state, initialisation, the error
// stack, the frame runner with interrupt delivery, the I/O plugin registry
// and the block copies. The instruction handlers are bound here to the
// production memory map (bus68.h).
#include "emu68/emu68.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "emu68/bus68.h"
#include "emu68/decode68.h"

namespace emu68 {

Cpu68 cpu;
io68_read_t io_read[3][256];
io68_write_t io_write[3][256];

namespace {

IoPlugin68 *interrupt_source;
uint32_t step_limit = EMU68_MAX_STEPS_PER_FRAME;

// Error stack: 4 messages of up to 127 characters; slot count-1 is newest.
constexpr int kErrorSlots = 4;
constexpr int kErrorLength = 128;
char errors[kErrorSlots][kErrorLength];
int error_count;
uint32_t error_seed = 0x1234567;

uint32_t default_read(uint32_t, uint32_t) { return 0; }
void default_write(uint32_t, uint32_t, uint32_t) {}

void install_page(uint32_t page, const IoPlugin68 *p) {
  page &= 0xFF;
  io_read[0][page] = p && p->read_b ? p->read_b : default_read;
  io_read[1][page] = p && p->read_w ? p->read_w : default_read;
  io_read[2][page] = p && p->read_l ? p->read_l : default_read;
  io_write[0][page] = p && p->write_b ? p->write_b : default_write;
  io_write[1][page] = p && p->write_w ? p->write_w : default_write;
  io_write[2][page] = p && p->write_l ? p->write_l : default_write;
}

uint32_t page_of(const IoPlugin68 *p) { return (p->addr_lo >> 8) & 0xFF; }

// Steps from cpu.pc until A7 rises to the watermark (at least one
// instruction). Counts executed instructions down from *left; false when
// they run out first. The PC stays in a register meanwhile and goes back to
// cpu.pc at the end.
bool run_until(uint32_t watermark, uint32_t *left) {
  uint32_t pc = cpu.pc, n = *left;
  bool returned = false;
  while (n != 0) {
    pc = step<MapBus>(pc);
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

}  // namespace
}  // namespace emu68

using namespace emu68;

extern "C" {

int EMU68_push_error(const char *format, ...) {
  int slot = error_count;
  if (error_count == kErrorSlots) {
    std::memmove(errors[0], errors[1], sizeof errors[0] * (kErrorSlots - 1));
    slot = kErrorSlots - 1;
  } else {
    ++error_count;
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(errors[slot], kErrorLength, format, args);
  va_end(args);
  error_seed = error_seed * 1103515245u + 12345u;
  return static_cast<int>(0xDEAD0000u | ((error_seed >> 16) & 0xFFF));
}

const char *EMU68_pop_error(void) {
  if (error_count == 0) return nullptr;
  return errors[--error_count];
}

int EMU68_init(uint8_t *memory, int32_t size) {
  std::memset(&cpu, 0, sizeof cpu);
  interrupt_source = nullptr;
  if (memory == nullptr) return EMU68_push_error("EMU68_init : NULL pointer");
  if (size < 0x20000) return EMU68_push_error("EMU68_init : memory amount must be >= 128Kb");
  if (size > 0x1000000) return EMU68_push_error("EMU68_init : memory amount must be < 16mb");
  if (size & (size - 1)) return EMU68_push_error("EMU68_init : memory amount must be a power of 2");
  cpu.memory = memory;
  cpu.size = static_cast<uint32_t>(size);
  cpu.mask = cpu.size - 1;
  if (size != 0x80000)
    return EMU68_push_error("EMU68_init : memory amount incompatible with EMU68 version");
  std::memset(memory, 0, cpu.size + 3);
  EMU68_clear_io_pages();
  EMU68_reset_cpu();
  return 0;
}

void EMU68_release(void) {
  std::memset(&cpu, 0, sizeof cpu);
  interrupt_source = nullptr;
}

int EMU68_is_debug_build(void) { return 0; }

void EMU68_reset_cpu(void) {
  for (IoPlugin68 *p = cpu.io_list; p != nullptr; p = p->next)
    if (p->reset) p->reset();
  std::memset(cpu.d, 0, sizeof cpu.d);
  std::memset(cpu.a, 0, sizeof cpu.a);
  cpu.cycle = 0;
  cpu.pc = 0;
  cpu.sr = 0x2700;
  cpu.a[7] = cpu.size - 4;
  cpu.stopped = 0;
}

void EMU68_load_registers(const Reg68 *regs) {
  if (regs == nullptr) return;
  std::memcpy(cpu.d, regs->d, sizeof cpu.d);
  std::memcpy(cpu.a, regs->a, sizeof cpu.a);
  cpu.usp = regs->usp;
  cpu.pc = regs->pc;
  cpu.sr = regs->sr;
}

void EMU68_save_registers(Reg68 *regs) {
  if (regs == nullptr) return;
  std::memcpy(regs->d, cpu.d, sizeof cpu.d);
  std::memcpy(regs->a, cpu.a, sizeof cpu.a);
  regs->usp = cpu.usp;
  regs->pc = cpu.pc;
  regs->sr = cpu.sr;
}

void EMU68_set_cycle_count(uint32_t cycle) { cpu.cycle = cycle; }
uint32_t EMU68_cycle_count(void) { return cpu.cycle; }

IoPlugin68 *EMU68_select_interrupt_source(IoPlugin68 *source) {
  IoPlugin68 *previous = interrupt_source;
  interrupt_source = source;
  return previous;
}

// Without memory (before EMU68_init or after EMU68_release) nothing runs.
void EMU68_step_one(void) {
  if (cpu.memory != nullptr) cpu.pc = step<MapBus>(cpu.pc);
}

uint32_t EMU68_set_step_limit(uint32_t steps) {
  const uint32_t previous = step_limit;
  step_limit = steps ? steps : EMU68_MAX_STEPS_PER_FRAME;
  return previous;
}

int EMU68_run_frame(uint32_t budget) {
  if (cpu.memory == nullptr) return EMU68_push_error("EMU68_run_frame : no memory");
  const uint32_t pc = cpu.pc, watermark = cpu.a[7];
  uint32_t left = step_limit;
  int result = 0;
  cpu.a[7] = watermark - 4;  // stands for the return address; never written
  for (IoPlugin68 *p = cpu.io_list; p != nullptr; p = p->next)
    if (p->adjust_cycles) p->adjust_cycles(cpu.cycle);
  cpu.cycle = 0;

  if (!run_until(watermark, &left)) {
    result = EMU68_push_error("EMU68_run_frame : routine at $%X did not return in %u instructions",
                              pc, step_limit);
  } else if (interrupt_source != nullptr && ((cpu.sr >> 8) & 7) < 6) {
    IoPlugin68 *source = interrupt_source;
    uint32_t t = 0;
    int32_t next = source->next_interrupt ? source->next_interrupt(t) : IO68_NO_INTERRUPT;
    while (next != IO68_NO_INTERRUPT) {
      t += next < 0 ? 0 : static_cast<uint32_t>(next);
      if (t >= budget) break;
      const Interrupt68 *irq = source->interrupt ? source->interrupt(t) : nullptr;
      if (irq != nullptr) {
        cpu.cycle = t;
        cpu.a[7] = watermark;
        cpu.pc = 0x12345678;
        push_long<MapBus>(cpu.pc);
        push_word<MapBus>(cpu.sr);
        cpu.sr = (cpu.sr & 0x70FF) | ((irq->level + 0x20) << 8);
        cpu.pc = MapBus::read32(irq->vector);
        if (!run_until(watermark, &left)) {
          result = EMU68_push_error(
              "EMU68_run_frame : interrupt handler at cycle %u did not return in %u instructions",
              t, step_limit);
          break;
        }
      }
      next = source->next_interrupt ? source->next_interrupt(t) : IO68_NO_INTERRUPT;
    }
  }
  cpu.a[7] = watermark;
  cpu.pc = pc;
  cpu.cycle = budget;
  return result;
}

void EMU68_plug_io(IoPlugin68 *plugin) {
  if (plugin == nullptr) return;
  for (IoPlugin68 *p = cpu.io_list; p != nullptr; p = p->next)
    if (p == plugin) return;
  plugin->next = cpu.io_list;
  cpu.io_list = plugin;
  ++cpu.io_count;
  install_page(page_of(plugin), plugin);
}

int EMU68_unplug_io(IoPlugin68 *plugin) {
  if (plugin == nullptr) return 0;
  for (IoPlugin68 **link = &cpu.io_list; *link != nullptr; link = &(*link)->next) {
    if (*link == plugin) {
      *link = plugin->next;
      --cpu.io_count;
      install_page(page_of(plugin), nullptr);
      return 0;
    }
  }
  return -1;
}

void EMU68_unplug_all_io(void) {
  while (cpu.io_list != nullptr) EMU68_unplug_io(cpu.io_list);
}

void EMU68_clear_io_page(int page) { install_page(static_cast<uint32_t>(page), nullptr); }

void EMU68_clear_io_pages(void) {
  for (int page = 0; page < 256; ++page) EMU68_clear_io_page(page);
}

int EMU68_check_block(uint32_t address, uint32_t length) {
  if (length > cpu.size)
    return EMU68_push_error("Not enought 68K memory ($%X>$%X)", length, cpu.size);
  uint32_t end = (address + length) & cpu.mask;
  // The second test catches a full-size block that does not start at 0,
  // whose end wraps exactly onto its start.
  if (end < address || address > cpu.size - length)
    return EMU68_push_error("68K memory overflow :($%X-$%X)", address, end);
  return 0;
}

int EMU68_copy_in(uint32_t address, const void *source, uint32_t length) {
  int err = EMU68_check_block(address, length);
  if (err < 0) return err;
  if (length != 0) std::memcpy(cpu.memory + address, source, length);
  return 0;
}

int EMU68_copy_out(void *destination, uint32_t address, uint32_t length) {
  int err = EMU68_check_block(address, length);
  if (err < 0) return err;
  if (length != 0) std::memcpy(destination, cpu.memory + address, length);
  return 0;
}

}  // extern "C"
