/* The intro's two sound buffers, apart from any sound system: a quarter
 * second each, filled from the player one stereo sample at a time (track 1
 * starts again, gaplessly, when it ends), queued, and handed to the device
 * in turn. When the device has taken the whole of a buffer, the refill
 * record of that buffer names the routine that fills and queues it again;
 * music_stop clears the records first, so a buffer played after that stays
 * empty and the player is left alone.
 *
 * Threads: the main thread resets, fills and queues before the device runs
 * and clears the records at the end; music_output runs on the device's
 * thread. The sound system must not run music_output while the main thread
 * is between reset and its last queue (a paused device does not), nor after
 * it has closed the device.
 */
#ifndef VARNKOL_AUDIO_MUSIC_BUFFERS_H
#define VARNKOL_AUDIO_MUSIC_BUFFERS_H

#include <atomic>
#include <cstdint>

#include "vk68/player.h"

// 44100 Hz, 16-bit stereo: one 32-bit word per stereo sample.
constexpr int kMusicRate = 44100;
constexpr int kMusicBufferSamples = kMusicRate / 4;

using MusicRefill = void (*)(int buffer);

struct MusicBuffers {
  Player68 *player = nullptr;
  // Bits 0-15 left, 16-31 right: interleaved 16-bit PCM in memory.
  uint32_t samples[2][kMusicBufferSamples];
  // Run when the device has played the buffer; null: the buffer is not refilled.
  std::atomic<MusicRefill> refill[2];
  // Waiting to be played; buffers play in the order queued.
  bool queued[2];
  int playing;   // the buffer the device takes samples from (when queued)
  int position;  // its samples already handed to the device
  // Buffers the device has played since the reset (read from other threads).
  std::atomic<uint32_t> played;
};

extern MusicBuffers music_buffers;

// Empty records and queue, samples from `player`.
void music_buffers_reset(Player68 *player);
// Fills a buffer, one vk68_process call per stereo sample: when a call
// reports the end of the track, vk68_restart and a second call for the same
// sample (it starts track 1 again without writing), so the buffer goes on
// with the track's beginning. A failed call leaves silence.
void music_fill(int buffer);
// Queues a filled buffer with `refill` in its record.
void music_queue(int buffer, MusicRefill refill);
// The refill routine: fills the buffer again and queues it again (its record
// stays as it is).
void music_refill(int buffer);
// No refill from now on.
void music_clear_refills();
// Hands the next `count` stereo samples to the device: the queued buffers in
// turn, silence when none is queued.
void music_output(uint8_t *stream, int count);

#endif
