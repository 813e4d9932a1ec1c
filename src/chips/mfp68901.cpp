// MFP 68901: register file, the four timers with lazy counter updates, the
// STE's sound active line on timer A's input and GPIP 7, and the
// interrupt-source answers the 68000 frame runner asks for.

#include "chips/mfp68901.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>

#include "chips/wide_access.h"

namespace {

// The chip's prescaler dividers by selector 1-7, in MFP clock ticks;
// selector 0 counts no time.
constexpr std::array<int64_t, 8> kDivider = {0, 4, 10, 16, 50, 64, 100, 200};

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
  kAer = 1,
  kIera = 3,
  kIpra = 5,
  kIprb = 6,
  kImra = 9,
  kVr = 11,
  kTacr = 12,
  kTbcr = 13,
  kTcdcr = 14,
  kTadr = 15,
  kTddr = 18,
};

// Control value of the event count mode (TACR/TBCR bit 3 alone).
constexpr uint32_t kEventCount = 8;

// GPIP 7: its bit in GPIP, AER, IERA and IMRA, and its vector channel (the
// highest of the 16).
constexpr uint8_t kGpip7 = 0x80;
constexpr uint32_t kGpip7Channel = 15;
// AER bit 4 (GPIP 4's edge) also selects the edge timer A's input counts.
constexpr uint8_t kTimerAEdge = 0x10;

// Level of every MFP interrupt on the ST.
constexpr uint32_t kLevel = 6;

// Values after reset: vector base 0x40 (vectors 0x40-0x4F) and GPIP bit 7
// high (the monochrome-monitor detect line of the ST reads 1 on colour).
constexpr uint8_t kResetVr = 0x40;
constexpr uint8_t kResetGpip = 0x80;

// No frame end seen, none ahead.
constexpr int64_t kNever = INT64_MAX;

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(Mfp68901, io) == 0);
Mfp68901 &chip(IoPlugin68 *self) { return *reinterpret_cast<Mfp68901 *>(self); }

uint8_t &reg(Mfp68901 &mfp, int n) { return mfp.regs[2 * n + 1]; }

bool counts_time(const MfpTimer &t) { return t.width != 0; }
bool counts_events(const MfpTimer &t) { return t.control == kEventCount; }

int64_t time_of(const Mfp68901 &mfp, uint32_t cycle) {
  return static_cast<int64_t>(cycle) * mfp.units_per_cycle;
}

// A pair of A and B registers (IERA/IERB, IMRA/IMRB, IPRA/IPRB) as 16
// bits, bit n for channel n.
uint16_t pair(Mfp68901 &mfp, int a) { return uint16_t(reg(mfp, a) << 8 | reg(mfp, a + 1)); }

// An event of a channel: pending (IPR) when the channel is enabled (IER),
// whether or not it is masked (IMR); an event while its bit is set is no
// event of its own. A pending channel that is unmasked requests the
// interrupt; the highest channel goes first.
void raise(Mfp68901 &mfp, uint32_t channel) { mfp.ipr |= pair(mfp, kIera) & (1u << channel); }
uint16_t requests(Mfp68901 &mfp) { return mfp.ipr & pair(mfp, kImra); }

// The timer counting time with the smallest next time; on a tie the later
// timer in the order A, B, C, D wins.
void choose_next_timer(Mfp68901 &mfp) {
  MfpTimer *best = nullptr;
  for (MfpTimer &t : mfp.timers) {
    if (counts_time(t) && (best == nullptr || t.next <= best->next)) {
      best = &t;
    }
  }
  mfp.next_timer = best;
}

// A control value; only a change of the time prescaler in effect touches
// the count. Starting to count time (or with another prescaler) starts a
// fresh count phase at the current count; event count mode counts no time.
void set_control(Mfp68901 &mfp, MfpTimer &t, uint32_t value, int64_t time) {
  const uint32_t selector = value == kEventCount ? 0 : value & 7;
  const int64_t width = kDivider[selector] * mfp.units_per_tick;
  t.control = value;
  if (width == t.width) {
    return;
  }
  mfp_timer_update(&t, time);
  t.last = time;
  t.remainder = 0;
  t.width = width;
  t.period = t.reload * width;
  t.next = time + t.count * width;
}

void write_data(Mfp68901 &mfp, MfpTimer &t, int n, uint32_t value) {
  const int32_t v = value == 0 ? 256 : static_cast<int32_t>(value);
  t.reload = v;
  if (t.control != 0) {
    // The count runs on; the new reload takes effect at the next wrap.
    t.period = v * t.width;
  } else {
    t.count = v;
    reg(mfp, n) = static_cast<uint8_t>(v);
  }
}

// An edge of the sound active line (its new level).
void sound_edge(Mfp68901 &mfp, uint8_t level) {
  if (level == mfp.sound_level) {
    return;
  }
  mfp.sound_level = level;
  const uint8_t aer = reg(mfp, kAer);
  MfpTimer &a = mfp.timers[MFP_TIMER_A];
  // Timer A counts the rising edges with AER bit 4 set, else the falling
  // ones; at 0 it interrupts and takes its data register again.
  if (counts_events(a) && ((aer & kTimerAEdge) != 0) == (level != 0) && --a.count == 0) {
    a.count = a.reload;
    raise(mfp, a.channel);
  }
  // GPIP 7 is the line XORed with the colour monitor's 1: it rises when the
  // line falls. AER bit 7 set: rising edges interrupt, else falling ones.
  const bool gpip_rises = level == 0;
  if (((aer & kGpip7) != 0) == gpip_rises) raise(mfp, kGpip7Channel);
}

// Takes in what the line did up to `cycle`: a frame end not seen yet (the
// line drops, and rises again at once when play goes on), then a change
// since (play started or stopped by the program).
void sense_sound(Mfp68901 &mfp, uint32_t cycle) {
  if (mfp.sound.chip == nullptr) {
    return;
  }
  MfpSoundActive line;
  mfp.sound.sense(mfp.sound.chip, cycle, &line);
  if (line.last_end > mfp.sound_seen) {
    sound_edge(mfp, 0);
    if (line.looped) sound_edge(mfp, 1);
    mfp.sound_seen = line.last_end;
  }
  sound_edge(mfp, line.active ? 1 : 0);
  mfp.sound_next = line.next_end;
}

// A frame end matters to the interrupts when timer A counts them or GPIP 7
// may interrupt.
bool hears_sound(Mfp68901 &mfp) {
  return counts_events(mfp.timers[MFP_TIMER_A]) || (reg(mfp, kIera) & kGpip7) != 0;
}

uint32_t read_byte(IoPlugin68 *self, uint32_t address, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  if ((address & 1) == 0) {
    return 0;
  }
  sense_sound(mfp, cycle);
  const int n = static_cast<int>((address >> 1) & 31);
  if (n >= kTadr && n <= kTddr) {
    MfpTimer &t = mfp.timers[n - kTadr];
    if (counts_time(t)) {
      mfp_timer_update(&t, time_of(mfp, cycle));
    }
    return static_cast<uint32_t>(t.count) & 0xFF;
  }
  if (n == kGpip && mfp.sound.chip != nullptr) {
    return (reg(mfp, kGpip) & ~kGpip7) | (mfp.sound_level ? 0 : kGpip7);
  }
  if (n == kIpra || n == kIprb) return n == kIpra ? mfp.ipr >> 8 : mfp.ipr & 0xFF;
  return reg(mfp, n);
}

void write_byte(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  if ((address & 1) == 0) {
    return;
  }
  sense_sound(mfp, cycle);
  const int n = static_cast<int>((address >> 1) & 31);
  value &= 0xFF;
  const int64_t time = time_of(mfp, cycle);
  switch (n) {
    case kTacr:
    case kTbcr:
      reg(mfp, n) = static_cast<uint8_t>(value);
      set_control(mfp, mfp.timers[n - kTacr], value & 15, time);
      choose_next_timer(mfp);
      break;
    case kTcdcr:
      reg(mfp, n) = static_cast<uint8_t>(value);
      set_control(mfp, mfp.timers[MFP_TIMER_C], (value >> 4) & 7, time);
      set_control(mfp, mfp.timers[MFP_TIMER_D], value & 7, time);
      choose_next_timer(mfp);
      break;
    case kIera:
    case kIera + 1:
      // A disabled channel loses what it had pending.
      reg(mfp, n) = static_cast<uint8_t>(value);
      mfp.ipr &= pair(mfp, kIera);
      break;
    case kIpra:
    case kIprb:
      // Writing 0 to a bit clears it; 1 leaves it.
      mfp.ipr &= n == kIpra ? value << 8 | 0xFF : 0xFF00 | value;
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

Interrupt68 *deliver(Mfp68901 &mfp, uint32_t channel) {
  mfp.irq.vector = channel * 4 + (reg(mfp, kVr) & 0xF0u) * 4;
  mfp.irq.level = kLevel;
  return &mfp.irq;
}

Interrupt68 *interrupt(IoPlugin68 *self, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  sense_sound(mfp, cycle);
  // A timer due moves on, its underflows up to now one event (see raise).
  MfpTimer *t = mfp.next_timer;
  const int64_t now = time_of(mfp, cycle);
  if (!requests(mfp) && t != nullptr && now >= t->next) {
    t->next += ((now - t->next) / t->period + 1) * t->period;
    choose_next_timer(mfp);
    raise(mfp, t->channel);
  }
  // The highest channel requesting is acknowledged: its pending bit clears.
  const uint16_t r = requests(mfp);
  if (r == 0) return nullptr;
  const uint32_t channel = 31 - static_cast<uint32_t>(__builtin_clz(r));
  mfp.ipr &= ~(1u << channel);
  return deliver(mfp, channel);
}

int32_t next_interrupt(IoPlugin68 *self, uint32_t cycle) {
  Mfp68901 &mfp = chip(self);
  sense_sound(mfp, cycle);
  if (requests(mfp) != 0) {
    return 0;
  }
  int64_t due = kNever;
  if (const MfpTimer *t = mfp.next_timer) {
    due = (t->next + mfp.units_per_cycle - 1) / mfp.units_per_cycle;
  }
  // The DMA announces only frame ends after the cycle it was brought to;
  // anything else would never be taken and must not stop time.
  if (mfp.sound.chip != nullptr && hears_sound(mfp) && mfp.sound_next > cycle) {
    due = std::min(due, mfp.sound_next);
  }
  if (due == kNever) {
    return IO68_NO_INTERRUPT;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(due - cycle, 0, INT32_MAX));
}

// Every time moves back by the frame's length, keeping each timer's phase.
// An interrupt still due from the frame that ended (the CPU did not take it:
// its mask was up, or it fell in the frame's last cycle) comes at the new
// frame's start; of several missed, one.
void adjust_cycles(IoPlugin68 *self, uint32_t cycles) {
  if (cycles == 0) {
    return;
  }
  Mfp68901 &mfp = chip(self);
  const int64_t d = time_of(mfp, cycles);
  for (MfpTimer &t : mfp.timers) {
    if (!counts_time(t)) {
      continue;
    }
    mfp_timer_update(&t, d);
    t.last -= d;
    t.next -= d;
    if (t.next < -t.period) {
      t.next += (-t.next - 1) / t.period * t.period;
    }
  }
  if (mfp.sound_seen != INT64_MIN) mfp.sound_seen -= cycles;
  if (mfp.sound_next != kNever) mfp.sound_next -= cycles;
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
  // Vector channel of each timer, as wired on the ST: A 13, B 8, C 5, D 4
  // (its enable and mask bit is bit channel % 8 of IERA/IMRA for 8-15, of
  // IERB/IMRB for 0-7).
  constexpr std::array<uint32_t, 4> kChannel = {13, 8, 5, 4};
  std::memset(mfp->regs, 0, sizeof mfp->regs);
  reg(*mfp, kVr) = kResetVr;
  reg(*mfp, kGpip) = kResetGpip;
  for (int i = 0; i < 4; ++i) {
    MfpTimer &t = mfp->timers[i];
    t = MfpTimer{};
    t.channel = kChannel[i];
    t.count = 256;
    t.reload = 256;
  }
  mfp->next_timer = nullptr;
  mfp->irq = Interrupt68{};
  mfp->sound_seen = INT64_MIN;
  mfp->sound_next = kNever;
  mfp->sound_level = 0;
  mfp->ipr = 0;
  mfp_set_timebase(mfp, mfp->timebase);
  return 0;
}

void mfp_set_timebase(Mfp68901 *mfp, const Timebase *timebase) {
  mfp->timebase = timebase;
  const MachineClocks &c = timebase ? timebase->clocks : kClocksNominal;
  const int64_t g = std::gcd(int64_t{c.cpu_hz}, int64_t{c.mfp_hz});
  mfp->units_per_cycle = c.mfp_hz / g;
  mfp->units_per_tick = c.cpu_hz / g;
}

void mfp_wire_sound_active(Mfp68901 *mfp, MfpSoundActiveWire wire) {
  mfp->sound = wire;
  mfp->sound_seen = INT64_MIN;
  mfp->sound_next = kNever;
  mfp->sound_level = 0;
}

// A time before the last update (a long access stamps its second half 4
// cycles later than the next access may come) changes nothing.
void mfp_timer_update(MfpTimer *timer, int64_t time) {
  MfpTimer &t = *timer;
  if (time <= t.last) {
    return;
  }
  const int64_t elapsed = time - t.last;
  t.last = time;
  if (!counts_time(t)) {
    return;
  }
  const int64_t sum = t.remainder + elapsed;
  const int64_t q = sum / t.width;
  t.remainder = sum % t.width;
  const int64_t result = t.count - q;
  if (result < 0) {
    t.count = static_cast<int32_t>(t.reload + result % t.reload);
  } else if (result == 0) {
    t.count = t.reload;
  } else {
    t.count = static_cast<int32_t>(result);
  }
}

MfpTimer *mfp_timer(Mfp68901 *mfp, int index) {
  if (index < 0 || index >= 4) {
    return nullptr;
  }
  return &mfp->timers[index];
}

}  // extern "C"
