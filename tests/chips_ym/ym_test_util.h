// Helpers for driving the YM-2149 module the way the 68000 bus does.
#pragma once

#include <cstdint>
#include <vector>

namespace ymtest {

// Bus addresses of the two ports.
constexpr uint32_t kSelect = 0xFFFF8800;
constexpr uint32_t kData = 0xFFFF8802;

// One 50 Hz frame of the 8 MHz 68000.
constexpr uint32_t kFrame = 160256;

// Levels the chip is measured at, one channel alone, levels 0-15.
constexpr uint16_t kSingle[16] = {0,    110,  230,  355,   582,   801,   1227,  1701,
                                  2471, 3403, 5071, 6940, 10426, 14762, 23799, 36754};

// A stored mixing-table level as the module rescales it to a 0xD000 peak.
int32_t scaled(uint32_t stored);

// Sample of a frame whose loudest moment is `peak` and which now sits at `level`.
int32_t centred(uint32_t level, uint32_t peak);

// Fresh chip at 44100 Hz with all voices on.
void fresh();

// Select `reg` and write `value` through the data port at `cycle`.
void write_reg(int reg, int value, uint32_t cycle = 0);

// Select `reg` and read it back through the select port.
uint32_t read_reg(int reg);

// Renders one frame, starts the next one (adjust) and returns the samples.
std::vector<int32_t> frame(uint32_t cycles = kFrame);

// Samples of `count` consecutive frames.
std::vector<int32_t> frames(int count, uint32_t cycles = kFrame);

}  // namespace ymtest
