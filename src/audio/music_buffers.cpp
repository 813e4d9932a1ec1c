// The intro's two sound buffers: filling with the gapless restart of track 1,
// queueing, refill records and the hand-over to the device.
#include "audio/music_buffers.h"

#include <algorithm>
#include <cstring>

MusicBuffers music_buffers;

void music_buffers_reset(Player68 *player) {
  MusicBuffers &m = music_buffers;
  m.player = player;
  for (int b = 0; b < 2; ++b) {
    m.refill[b].store(nullptr);
    m.queued[b] = false;
  }
  m.playing = 0;
  m.position = 0;
  m.played.store(0);
}

void music_fill(int buffer) {
  Player68 *player = music_buffers.player;
  uint32_t *out = music_buffers.samples[buffer];
  for (int i = 0; i < kMusicBufferSamples; ++i) {
    int status = vk68_process(player, &out[i], 1);
    // A call that carries out a change writes nothing: the sample comes
    // from the track it started.
    if (status > 0 && (status & VK68_PROCESS_CHANGE)) status = vk68_process(player, &out[i], 1);
    if (status < 0) {
      out[i] = 0;
    } else if (status & VK68_PROCESS_END) {
      // The track's last frame has begun: it plays out, then track 1 starts
      // again in its place.
      vk68_restart(player);
    }
  }
}

void music_queue(int buffer, MusicRefill refill) {
  music_buffers.refill[buffer].store(refill);
  music_buffers.queued[buffer] = true;
}

void music_refill(int buffer) {
  music_fill(buffer);
  music_buffers.queued[buffer] = true;
}

void music_clear_refills() {
  for (std::atomic<MusicRefill> &r : music_buffers.refill) r.store(nullptr);
}

void music_output(uint8_t *stream, int count) {
  MusicBuffers &m = music_buffers;
  while (count > 0) {
    const int b = m.playing;
    if (!m.queued[b]) {
      // Nothing queued (the buffers alternate, so the other one is not
      // queued either): silence.
      std::memset(stream, 0, size_t(count) * 4);
      return;
    }
    const int n = std::min(count, kMusicBufferSamples - m.position);
    std::memcpy(stream, &m.samples[b][m.position], size_t(n) * 4);
    stream += n * 4;
    count -= n;
    m.position += n;
    if (m.position == kMusicBufferSamples) {
      // The device has played buffer b: the other one goes on, b comes back
      // behind it if its record says so.
      m.queued[b] = false;
      m.playing = 1 - b;
      m.position = 0;
      m.played.fetch_add(1);
      if (MusicRefill refill = m.refill[b].load()) refill(b);
    }
  }
}
