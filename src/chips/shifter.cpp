// Atari ST video shifter registers: sync mode at 0xFF820A and resolution at
// 0xFF8260; every other address of the page reads 0 and ignores writes.
#include "chips/shifter.h"

#include <cstddef>
#include <cstdint>

#include "chips/wide_access.h"

namespace {

// Register offsets, picked by the low 8 bits of the address alone.
constexpr uint32_t kSync = 0x0A;
constexpr uint32_t kResolution = 0x60;

// Sync mode bit 1 set: 50 Hz. The other bits read back as set on an ST.
constexpr uint8_t kSyncReset = 0xFE;
constexpr uint8_t kResolutionReset = 0;  // low resolution

// The chip whose bus record this is (the record is its first member).
static_assert(offsetof(Shifter, io) == 0);
Shifter &chip(IoPlugin68 *self) { return *reinterpret_cast<Shifter *>(self); }

uint32_t shifter_read_b(IoPlugin68 *self, uint32_t address, uint32_t) {
  switch (address & 0xFF) {
    case kSync: return chip(self).sync_mode;
    case kResolution: return chip(self).resolution;
    default: return 0;
  }
}

void shifter_write_b(IoPlugin68 *self, uint32_t address, uint32_t value, uint32_t) {
  switch (address & 0xFF) {
    case kSync: chip(self).sync_mode = static_cast<uint8_t>(value); break;
    case kResolution: chip(self).resolution = static_cast<uint8_t>(value); break;
    default: break;
  }
}

// Words are two bytes; longs two words, the second stamped 4 cycles later.
using chips::read_wide;
using chips::Use;
using chips::write_wide;
constexpr io68_read_t shifter_read_w = read_wide<shifter_read_b, 1>;
constexpr io68_write_t shifter_write_w = write_wide<shifter_write_b, 1>;

constexpr IoPlugin68 kRecord = {
    .next = nullptr,
    .name = "Shifter",
    .addr_lo = 0xFFFF8200u,
    .addr_hi = 0xFFFF82FFu,
    .read_b = shifter_read_b,
    .read_w = shifter_read_w,
    .read_l = read_wide<shifter_read_w, 2, Use::kBoth, 4>,
    .write_b = shifter_write_b,
    .write_w = shifter_write_w,
    .write_l = write_wide<shifter_write_w, 2, Use::kBoth, 4>,
    .interrupt = nullptr,
    .next_interrupt = nullptr,
    .adjust_cycles = nullptr,
    .reset = [](IoPlugin68 *self) { return shifter_reset(&chip(self)); },
};

}  // namespace

extern "C" {

int shifter_init(Shifter *shifter) {
  shifter->io = kRecord;
  return shifter_reset(shifter);
}

int shifter_reset(Shifter *shifter) {
  shifter->sync_mode = kSyncReset;
  shifter->resolution = kResolutionReset;
  return 0;
}

}  // extern "C"
