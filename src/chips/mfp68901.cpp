// MFP 68901: register file and the four timers, with lazy counter updates
// and the interrupt-source answers the 68000 frame runner asks for.

#include "chips/mfp68901.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "chips/wide_access.h"

namespace {

// One MFP clock tick in internal units: 68000 cycles are multiplied by 192,
// and 8 MHz x 192 / 2.4576 MHz = 625.
constexpr uint32_t kUnitsPerCycle = 192;
constexpr uint32_t kUnitsPerTick = 625;

// Internal units per count by prescaler selector: the chip's dividers 4, 10,
// 16, 50, 64, 100 and 200 in MFP ticks; selector 0 stops the timer.
constexpr std::array<uint32_t, 8> kWidth = {
    0,
    4 * kUnitsPerTick,
    10 * kUnitsPerTick,
    16 * kUnitsPerTick,
    50 * kUnitsPerTick,
    64 * kUnitsPerTick,
    100 * kUnitsPerTick,
    200 * kUnitsPerTick,
};

// Register numbers; register n lives at the odd offset 2n + 1.
//
//  n  offset  register         n  offset  register
//  0  0x01    GPIP            12  0x19    TACR  timer A control
//  1  0x03    AER             13  0x1B    TBCR  timer B control
//  2  0x05    DDR             14  0x1D    TCDCR timers C (bits 6-4), D (2-0)
//  3  0x07    IERA            15  0x1F    TADR  timer A data
//  4  0x09    IERB            16  0x21    TBDR
//  5  0x0B    IPRA            17  0x23    TCDR
//  6  0x0D    IPRB            18  0x25    TDDR
//  7  0x0F    ISRA            19  0x27    SCR
//  8  0x11    ISRB            20  0x29    UCR
//  9  0x13    IMRA            21  0x2B    RSR
// 10  0x15    IMRB            22  0x2D    TSR
// 11  0x17    VR (vector base in bits 7-4)    23  0x2F  UDR
// Registers 24-31 are plain bytes without a role.
enum : int {
  kGpip = 0,
  kIera = 3,
  kImra = 9,
  kVr = 11,
  kTacr = 12,
  kTbcr = 13,
  kTcdcr = 14,
  kTadr = 15,
  kTddr = 18,
};

// Level of every timer interrupt on the ST.
constexpr uint32_t kTimerLevel = 6;

// Values after reset: vector base 0x40 (vectors 0x40-0x4F) and GPIP bit 7
// high (the monochrome-monitor detect line of the ST reads 1 on colour).
constexpr uint8_t kResetVr = 0x40;
constexpr uint8_t kResetGpip = 0x80;

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(Mfp68901, io) == 0);
Mfp68901 &chip(IoPlugin68 *self) { return *reinterpret_cast<Mfp68901 *>(self); }

uint8_t &reg(Mfp68901 &mfp, int n) { return mfp.regs[2 * n + 1]; }

bool running(const MfpTimer &t) { return t.width != 0; }

// The running timer with the smallest next time; on a tie the later timer
// in the order A, B, C, D wins.
void choose_next_timer(Mfp68901 &mfp) {
  MfpTimer *best = nullptr;
  for (MfpTimer &t : mfp.timers) {
    if (running(t) && (best == nullptr || t.next <= best->next)) {
      best = &t;
    }
  }
  mfp.next_timer = best;
}

void set_control(MfpTimer &t, uint32_t selector, uint32_t time) {
  if (selector == 0) {
    if (!running(t)) {
      return;
    }
    mfp_timer_update(&t, time);
    t.control = 0;
    t.remainder = 0;
    t.width = 0;
    t.period = 0;
    return;
  }
  if (!running(t)) {
    // Start: the count resumes where it stopped, with the sub-count phase
    // kept in remainder.
    t.last = time;
    t.control = selector;
    t.width = kWidth[selector];
    t.period = static_cast<uint32_t>(t.reload) * t.width;
    t.next = static_cast<int32_t>(time + static_cast<uint32_t>(t.count) * t.width - t.remainder);
    return;
  }
  if (selector == t.control) {
    return;
  }
  // New prescaler on a running timer: the phase within a count restarts.
  mfp_timer_update(&t, time);
  t.remainder = 0;
  t.control = selector;
  t.width = kWidth[selector];
  t.period = static_cast<uint32_t>(t.reload) * t.width;
  t.next = static_cast<int32_t>(time + static_cast<uint32_t>(t.count) * t.width);
}

void write_data(Mfp68901 &mfp, MfpTimer &t, int n, uint32_t value) {
  const int32_t v = value == 0 ? 256 : static_cast<int32_t>(value);
  t.reload = v;
  if (running(t)) {
    // The count runs on; the new reload takes effect at the next wrap.
    t.period = static_cast<uint32_t>(v) * t.width;
  } else {
    t.count = v;
    reg(mfp, n) = static_cast<uint8_t>(v);
  }
}

uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  if ((address & 1) == 0) {
    return 0;
  }
  const int n = static_cast<int>((address >> 1) & 31);
  if (n >= kTadr && n <= kTddr) {
    MfpTimer &t = mfp.timers[n - kTadr];
    if (running(t)) {
      mfp_timer_update(&t, cycle * kUnitsPerCycle);
    }
    return static_cast<uint32_t>(t.count) & 0xFF;
  }
  return reg(mfp, n);
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  if ((address & 1) == 0) {
    return;
  }
  const int n = static_cast<int>((address >> 1) & 31);
  value &= 0xFF;
  const uint32_t time = cycle * kUnitsPerCycle;
  switch (n) {
    case kTacr:
    case kTbcr:
      // Bit 3 (event count and pulse width modes) is not emulated: 8 stops
      // the timer and 9-15 act as 1-7.
      reg(mfp, n) = static_cast<uint8_t>(value);
      set_control(mfp.timers[n - kTacr], value & 7, time);
      choose_next_timer(mfp);
      break;
    case kTcdcr:
      reg(mfp, n) = static_cast<uint8_t>(value);
      set_control(mfp.timers[MFP_TIMER_C], (value >> 4) & 7, time);
      set_control(mfp.timers[MFP_TIMER_D], value & 7, time);
      choose_next_timer(mfp);
      break;
    default:
      if (n >= kTadr && n <= kTddr) {
        write_data(mfp, mfp.timers[n - kTadr], n, value);
      } else {
        reg(mfp, n) = static_cast<uint8_t>(value);
      }
      break;
  }
}

// Only the odd byte of a word is a register; a long covers two registers,
// the second stamped 4 cycles later.
constexpr io68_read_t read_word = chips::read_wide<read_byte, 1, chips::Use::kLow>;
constexpr io68_write_t write_word = chips::write_wide<write_byte, 1, chips::Use::kLow>;

Interrupt68 *interrupt(IoPlugin68 *self, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  MfpTimer *t = mfp.next_timer;
  const int64_t now = static_cast<int64_t>(cycle) * kUnitsPerCycle;
  if (t == nullptr || now < t->next) {
    return nullptr;
  }
  // The timer moves on whether or not its interrupt gets through.
  t->next = static_cast<int32_t>(static_cast<uint32_t>(t->next) + t->period);
  choose_next_timer(mfp);
  const uint8_t enabled = reg(mfp, kIera + t->bank) & reg(mfp, kImra + t->bank);
  if ((enabled & t->bit) == 0) {
    return nullptr;
  }
  mfp.irq.vector = t->channel * 4 + (reg(mfp, kVr) & 0xF0u) * 4;
  mfp.irq.level = t->level;
  return &mfp.irq;
}

int32_t next_interrupt(IoPlugin68 *self, uint32_t cycle) {
  const MfpTimer *t = chip(self).next_timer;
  if (t == nullptr) {
    return IO68_NO_INTERRUPT;
  }
  const uint32_t due = (static_cast<uint32_t>(t->next) + kUnitsPerCycle - 1) / kUnitsPerCycle;
  return static_cast<int32_t>(due - cycle);
}

void adjust_cycles(IoPlugin68 *self, uint32_t cycles) {
  if (cycles == 0) {
    return;
  }
  const uint32_t d = cycles * kUnitsPerCycle;
  for (MfpTimer &t : chip(self).timers) {
    if (!running(t)) {
      continue;
    }
    t.next = static_cast<int32_t>(static_cast<uint32_t>(t.next) - d);
    if (t.last >= d) {
      t.last -= d;
    } else {
      mfp_timer_update(&t, d);
      t.last = 0;
    }
    if (t.next < 0) {
      t.next = 0;
    }
    if (static_cast<int32_t>(t.last) < 0) {
      t.last = 0;
    }
  }
}

constexpr IoPlugin68 kRecord = {
    .next = nullptr,
    .name = "MFP-68901",
    .addr_lo = 0xFFFFFA00u,
    .addr_hi = 0xFFFFFA2Fu,
    .read_b = read_byte,
    .read_w = read_word,
    .read_l = chips::read_wide<read_word, 2, chips::Use::kBoth, 4>,
    .write_b = write_byte,
    .write_w = write_word,
    .write_l = chips::write_wide<write_word, 2, chips::Use::kBoth, 4>,
    .interrupt = interrupt,
    .next_interrupt = next_interrupt,
    .adjust_cycles = adjust_cycles,
    .reset = [](IoPlugin68 *self) { return mfp_reset(&chip(self)); },
};

}  // namespace

extern "C" {

int mfp_init(Mfp68901 *mfp) {
  mfp->io = kRecord;
  return mfp_reset(mfp);
}

// Register file clear but VR and GPIP, every timer stopped with a reload
// and count of 256 (whose data register byte reads 0).
int mfp_reset(Mfp68901 *mfp) {
  // Vector channel and enable bit of each timer: A and B in bank A, C and D
  // in bank B, as wired on the ST.
  struct Fixed {
    uint32_t channel;
    uint8_t bit;
    uint8_t bank;
  };
  constexpr std::array<Fixed, 4> kFixed = {{
      {13, 0x20, 0},  // A
      {8, 0x01, 0},   // B
      {5, 0x20, 1},   // C
      {4, 0x10, 1},   // D
  }};
  std::memset(mfp->regs, 0, sizeof mfp->regs);
  reg(*mfp, kVr) = kResetVr;
  reg(*mfp, kGpip) = kResetGpip;
  for (int i = 0; i < 4; ++i) {
    MfpTimer &t = mfp->timers[i];
    t = MfpTimer{};
    t.channel = kFixed[i].channel;
    t.level = kTimerLevel;
    t.bit = kFixed[i].bit;
    t.bank = kFixed[i].bank;
    t.count = 256;
    t.reload = 256;
  }
  mfp->next_timer = nullptr;
  mfp->irq = Interrupt68{};
  return 0;
}

void mfp_timer_update(MfpTimer *timer, uint32_t time) {
  MfpTimer &t = *timer;
  if (time == t.last) {
    return;
  }
  const uint32_t elapsed = time - t.last;
  t.last = time;
  if (!running(t)) {
    return;
  }
  const uint32_t sum = t.remainder + elapsed;
  const uint32_t q = sum / t.width;
  t.remainder = sum % t.width;
  // q is at most 2^32 / 2500, so the difference fits comfortably.
  const int32_t result = t.count - static_cast<int32_t>(q);
  if (result < 0) {
    t.count = t.reload + result % t.reload;
  } else if (result == 0) {
    t.count = t.reload;
  } else {
    t.count = result;
  }
}

MfpTimer *mfp_timer(Mfp68901 *mfp, int index) {
  if (index < 0 || index >= 4) {
    return nullptr;
  }
  return &mfp->timers[index];
}

}  // extern "C"
