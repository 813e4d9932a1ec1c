// Atari ST video shifter registers: sync mode at 0xFF820A and resolution at
// 0xFF8260; every other address of the page reads 0 and ignores writes.
#include "chips/shifter.h"

#include <cstdint>

namespace {

// Register offsets, picked by the low 8 bits of the address alone.
constexpr uint32_t kSync = 0x0A;
constexpr uint32_t kResolution = 0x60;

// Sync mode bit 1 set: 50 Hz. The other bits read back as set on an ST.
constexpr uint8_t kSyncReset = 0xFE;
constexpr uint8_t kResolutionReset = 0;  // low resolution

uint8_t sync_mode = kSyncReset;
uint8_t resolution = kResolutionReset;

uint32_t shifter_read_b(uint32_t address, uint32_t) {
  switch (address & 0xFF) {
    case kSync: return sync_mode;
    case kResolution: return resolution;
    default: return 0;
  }
}

uint32_t shifter_read_w(uint32_t address, uint32_t cycle) {
  return (shifter_read_b(address, cycle) << 8) | shifter_read_b(address + 1, cycle);
}

uint32_t shifter_read_l(uint32_t address, uint32_t cycle) {
  return (shifter_read_w(address, cycle) << 16) | shifter_read_w(address + 2, cycle + 4);
}

void shifter_write_b(uint32_t address, uint32_t value, uint32_t) {
  switch (address & 0xFF) {
    case kSync: sync_mode = static_cast<uint8_t>(value); break;
    case kResolution: resolution = static_cast<uint8_t>(value); break;
    default: break;
  }
}

void shifter_write_w(uint32_t address, uint32_t value, uint32_t cycle) {
  shifter_write_b(address, value >> 8, cycle);
  shifter_write_b(address + 1, value, cycle);
}

void shifter_write_l(uint32_t address, uint32_t value, uint32_t cycle) {
  shifter_write_w(address, value >> 16, cycle);
  shifter_write_w(address + 2, value, cycle + 4);
}

}  // namespace

extern "C" {

IoPlugin68 shifter_io_plugin = {
    nullptr,        "Shifter",      0xFFFF8200u,     0xFFFF82FFu,     shifter_read_b,
    shifter_read_w, shifter_read_l, shifter_write_b, shifter_write_w, shifter_write_l,
    nullptr,        nullptr,        nullptr,         shifter_reset,
};

int shifter_reset(void) {
  sync_mode = kSyncReset;
  resolution = kResolutionReset;
  return 0;
}

}  // extern "C"
