// What the player's modules share: the emulated machine, its fixed facts
// and the track change that the sample generation carries out between
// frames.
#ifndef VK68_PLAYER_PLAYER68_H
#define VK68_PLAYER_PLAYER68_H

#include <cstdint>

#include "chips/cia8520.h"
#include "chips/mfp68901.h"
#include "chips/microwire.h"
#include "chips/paula.h"
#include "chips/shifter.h"
#include "chips/timebase.h"
#include "chips/ym2149.h"
#include "emu68/emu68.h"
#include "vk68/player.h"

// The machine a player emulates: its 68000 and the chips a track plugs
// into it (the 68000's memory is the player's memory block).
struct Machine68 {
  Emu68 emu;
  Mfp68901 mfp;
  SteMicroWire ste;
  Paula paula;
  Cia8520 ciab;
  Shifter shifter;
  Ym2149 ym;
  // Where the track is on the 68000's cycle axis: the frames started since
  // the track's start, the current frame's length and the cycle up to which
  // it has been rendered.
  Timebase timebase;
  uint32_t replay_rate;  // the track's frames per second
  uint64_t frames_started;
  uint32_t frame_length;
  uint32_t frame_position;
  // The samples of the chunk last rendered, delivered from mix_position.
  uint32_t mix[TIMEBASE_MAX_CHUNK_SAMPLES];
};

namespace vk68 {

constexpr uint32_t kMemorySize = 0x80000;   // 512 KiB of 68000 memory
constexpr uint32_t kLoadAddress = 0x8000;   // a track's default load address
constexpr uint32_t kCycles50Hz = 160256;    // a PAL ST's 50 Hz frame: 313 lines x 512
constexpr uint32_t kMinReplayRate = 1;      // frames of any length play, in chunks
constexpr uint32_t kMaxReplayRate = 50000;  // as often as the STE's fastest DMA
                                            // sample: no replay is called faster

// Creates a player of its own, independent of every other one: its
// configuration values, 68000 memory, emulator and chips. `rate` is the
// output rate asked for (0: the configured one); the player's sampling_rate
// holds the rate set. The allocation hooks must be installed already; the
// resource directories and the debug hook are the process-wide ones (set
// the directories before players start on several threads: an unset one
// takes its default at its first use, unguarded). Null on failure
// (reported).
Player68 *player_create(uint32_t rate);
// Frees a player from player_create (null: nothing), with its disk. Unlike
// vk68_shutdown it saves no configuration and keeps the resource paths.
void player_destroy(Player68 *player);

// Carries out a pending change: 0 nothing to do, VK68_PROCESS_CHANGE a track
// started, VK68_PROCESS_STOPPED stopped, -1 failure (reported).
int apply_change_track(Player68 *player);

// Fills up to n samples of the current track (starting a pending track
// first) and returns how many it wrote, or -1 (reported). It stops early
// only after the last sample of a track's last frame when that frame was
// run in this call (so the caller can ask for another change than the next
// track before the next call carries it out), or when a stop is carried
// out. *status gets the VK68_PROCESS_* bits of the call.
int player_render(Player68 *player, uint32_t *buffer, int n, int *status);

// Output samples per frame at the player's rate (the average, truncated).
uint32_t samples_per_frame(const Player68 *player);

// The clocks the configuration asks for (nominal or PAL).
const MachineClocks &configured_clocks(const Player68 *player);

// The absolute cycle at which frame k of a track of `rate` frames a second
// starts on `clocks`: 160256 k for 50 Hz tracks (a PAL ST's VBL), else the
// k-th of `rate` frames a second, rounded down, so that no rounding adds up.
uint64_t track_cycle(const MachineClocks &clocks, uint32_t rate, uint64_t k);

// track_cycle for the current track on the machine's clocks.
uint64_t frame_cycle(const Player68 *player, uint64_t k);

}  // namespace vk68

#endif
