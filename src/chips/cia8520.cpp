// Amiga CIA-B: the two interval timers, kept as the exact time of their next
// underflow rather than stepped, and the interrupt control register.
#include "chips/cia8520.h"

#include <cstddef>
#include <cstdint>

#include "chips/wide_access.h"

namespace {

// Register numbers (address bits 11-8).
constexpr uint32_t kTimerALow = 4;  // TALO; timer t's low byte at 4 + 2 t, high at 5 + 2 t
constexpr uint32_t kTimerBHigh = 7;
constexpr uint32_t kIcr = 13;  // interrupt control
constexpr uint32_t kCra = 14;  // control of timer A; CRB (15) of timer B

// Control register bits.
constexpr uint8_t kStart = 0x01;
constexpr uint8_t kLoad = 0x10;  // strobe: the counter takes the latch now

constexpr uint8_t kIcrSet = 0x80;  // written: set the given mask bits, else clear them
constexpr uint8_t kIcrAny = 0x80;  // read: some enabled underflow is pending
constexpr uint8_t kTimerBits = 0x03;
constexpr uint16_t kResetLatch = 0xFFFF;

// CIA-B's interrupt reaches the 68000 at level 6 (Paula's EXTER), taken
// through the level's autovector.
constexpr uint32_t kLevel = 6;
constexpr uint32_t kAutovector6 = 0x78;

static_assert(offsetof(Cia8520, io) == 0);
Cia8520 &cia_of(IoPlugin68 *self) { return *reinterpret_cast<Cia8520 *>(self); }

bool running(const CiaTimer &t) { return t.control & kStart; }

// Ticks of a count or a latch: 0 stands for 65536.
int64_t ticks(uint16_t count) { return count ? count : 0x10000; }

int64_t units_per_cycle(const Cia8520 &cia) { return cia.timebase->clocks.cia_hz; }
int64_t units_per_tick(const Cia8520 &cia) { return cia.timebase->clocks.cpu_hz; }

// The count of timer t at time `now`: the E clock ticks left to its
// underflow.
uint16_t count_at(const Cia8520 &cia, const CiaTimer &t, int64_t now) {
  if (!running(t)) return t.counter;
  const int64_t tick = units_per_tick(cia);
  return static_cast<uint16_t>((t.next - now + tick - 1) / tick);
}

void start(const Cia8520 &cia, CiaTimer &t, int64_t now) {
  t.next = now + ticks(t.counter) * units_per_tick(cia);
}

void write_control(Cia8520 &cia, CiaTimer &t, uint8_t value, int64_t now) {
  const bool was_running = running(t);
  if (was_running) t.counter = count_at(cia, t, now);
  t.control = value & ~kLoad;
  if (value & kLoad) t.counter = t.latch;
  if (running(t) && (!was_running || (value & kLoad))) start(cia, t, now);
}

uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t cycle) {
  Cia8520 &cia = cia_of(self);
  if (address & 1) return 0;  // the odd bytes belong to CIA-A
  const uint32_t r = (address >> 8) & 15;
  const int64_t now = int64_t{cycle} * units_per_cycle(cia);
  if (r >= kTimerALow && r <= kTimerBHigh) {
    const uint16_t count = count_at(cia, cia.timer[(r - kTimerALow) / 2], now);
    return (r & 1) ? count >> 8 : count & 0xFF;
  }
  if (r == kIcr) {
    const uint8_t data = cia.icr_data;
    cia.icr_data = 0;
    return data | ((data & cia.icr_mask) ? kIcrAny : 0);
  }
  if (r >= kCra) return cia.timer[r - kCra].control;
  return 0;
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  Cia8520 &cia = cia_of(self);
  if (address & 1) return;
  const uint32_t r = (address >> 8) & 15;
  const uint8_t v = static_cast<uint8_t>(value);
  const int64_t now = int64_t{cycle} * units_per_cycle(cia);
  if (r >= kTimerALow && r <= kTimerBHigh) {
    CiaTimer &t = cia.timer[(r - kTimerALow) / 2];
    if (r & 1) {
      t.latch = static_cast<uint16_t>((t.latch & 0xFF) | (v << 8));
      if (!running(t)) t.counter = t.latch;  // a stopped timer loads its high byte's latch
    } else {
      t.latch = static_cast<uint16_t>((t.latch & 0xFF00) | v);
    }
  } else if (r == kIcr) {
    const uint8_t bits = v & kTimerBits;
    cia.icr_mask = (v & kIcrSet) ? (cia.icr_mask | bits) : (cia.icr_mask & ~bits);
  } else if (r >= kCra) {
    write_control(cia, cia.timer[r - kCra], v, now);
  }
}

// The running timer that underflows first (A on a tie), or null.
CiaTimer *first_due(Cia8520 &cia) {
  CiaTimer *first = nullptr;
  for (CiaTimer &t : cia.timer)
    if (running(t) && (!first || t.next < first->next)) first = &t;
  return first;
}

Interrupt68 *interrupt(IoPlugin68 *self, uint32_t cycle) {
  Cia8520 &cia = cia_of(self);
  CiaTimer *t = first_due(cia);
  if (!t || int64_t{cycle} * units_per_cycle(cia) < t->next) return nullptr;
  const uint8_t bit = static_cast<uint8_t>(1u << (t - cia.timer));
  t->next += ticks(t->latch) * units_per_tick(cia);
  cia.icr_data |= bit;
  if (!(cia.icr_mask & bit)) return nullptr;
  cia.irq = {kAutovector6, kLevel};
  return &cia.irq;
}

int32_t next_interrupt(IoPlugin68 *self, uint32_t cycle) {
  Cia8520 &cia = cia_of(self);
  const CiaTimer *t = first_due(cia);
  if (!t) return IO68_NO_INTERRUPT;
  const int64_t unit = units_per_cycle(cia);
  const int64_t due = (t->next + unit - 1) / unit;  // the first cycle at or after it
  return static_cast<int32_t>(due - int64_t{cycle});
}

void adjust_cycles(IoPlugin68 *self, uint32_t cycles) {
  Cia8520 &cia = cia_of(self);
  for (CiaTimer &t : cia.timer)
    if (running(t)) t.next -= int64_t{cycles} * units_per_cycle(cia);
}

// Only the even byte of a word is a register; a long covers two of them,
// the second stamped 4 cycles later.
constexpr io68_read_t read_word = chips::read_wide<read_byte, 1, chips::Use::kHigh>;
constexpr io68_write_t write_word = chips::write_wide<write_byte, 1, chips::Use::kHigh>;

constexpr IoPlugin68 kRecord = {
    .next = nullptr,
    .name = "AMIGA CIA-B",
    .addr_lo = 0xFFBFD000u,
    .addr_hi = 0xFFBFDFFFu,
    .read_b = read_byte,
    .read_w = read_word,
    .read_l = chips::read_wide<read_word, 2, chips::Use::kBoth, 4>,
    .write_b = write_byte,
    .write_w = write_word,
    .write_l = chips::write_wide<write_word, 2, chips::Use::kBoth, 4>,
    .interrupt = interrupt,
    .next_interrupt = next_interrupt,
    .adjust_cycles = adjust_cycles,
    .reset = [](IoPlugin68 *self) { return cia_reset(&cia_of(self)); },
};

}  // namespace

extern "C" {

int cia_init(Cia8520 *cia, const Timebase *timebase) {
  cia->io = kRecord;
  cia->timebase = timebase;
  return cia_reset(cia);
}

int cia_reset(Cia8520 *cia) {
  for (CiaTimer &t : cia->timer) t = {kResetLatch, kResetLatch, 0, 0};
  cia->icr_data = 0;
  cia->icr_mask = 0;
  cia->irq = Interrupt68{};
  return 0;
}

}  // extern "C"
