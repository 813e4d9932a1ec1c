// Sample generation: runs the replay frame by frame on the 68000, each frame
// in chunks of cycles whose samples the track's chips render into the
// mixing buffer, copies the samples out and applies track changes between
// frames.
#include <algorithm>
#include <cstring>

#include "emu68/emu68.h"
#include "player/handles.h"
#include "player/mixer.h"
#include "player/player68.h"

namespace {

using vk68::frame_cycle;

// Starts the track's next frame: the chips move their clocks back by the
// length of the frame that ended, and the replay's play routine runs at
// cycle 0 with the frame's instruction allowance.
bool start_frame(Player68 *p) {
  Machine68 &m = *p->machine;
  const uint64_t k = m.frames_started++;
  const uint32_t previous = m.frame_length;
  m.timebase.frame_start = frame_cycle(p, k);
  m.frame_length = uint32_t(frame_cycle(p, k + 1) - m.timebase.frame_start);
  m.frame_position = 0;
  // As many instructions as the frame's cycles hold at the fastest.
  const uint32_t allowance = m.frame_length / EMU68_MIN_CYCLES_PER_INSTRUCTION;
  return EMU68_start_frame(&m.emu, previous, allowance) == 0;
}

// Renders the next chunk of the current frame (starting a frame first when
// the last one is complete) into the mixing buffer; the number of samples,
// or -1 when the replay code failed (reported).
int render_chunk(Player68 *p) {
  Machine68 &m = *p->machine;
  Emu68 *emu = &m.emu;
  const bool ok =
      (m.frame_position < m.frame_length || start_frame(p)) &&
      EMU68_run_interrupts(
          emu, std::min(m.frame_length, m.frame_position + TIMEBASE_MAX_CHUNK_CYCLES)) == 0;
  if (!ok) {
    const char *why = EMU68_pop_error(emu);
    return vk68_error_add("track %d stopped: %s", p->track_number, why ? why : "replay failure");
  }
  const uint32_t from = m.frame_position, to = EMU68_cycle_count(emu);
  m.frame_position = to;
  const int count =
      int(timebase_frame_samples(&m.timebase, to) - timebase_frame_samples(&m.timebase, from));
  uint32_t *mix = m.mix;
  const uint32_t hw = p->track->hardware;
  if (hw & VK68_HW_AMIGA) {
    paula_mix(&m.paula, mix, p->memory, to, count);
    mixer_blend(mix, mix, count, p->amiga_blend, 0, 0);
    return count;
  }
  if (hw & VK68_HW_YM) {
    ym_render(&m.ym, to, reinterpret_cast<int32_t *>(mix), count);
  } else {
    std::memset(mix, 0, sizeof *mix * size_t(count));  // no YM: its part is silent
  }
  if (hw & VK68_HW_STE) {
    mw_mix(&m.ste, mix, p->memory, to, count);
  } else {
    mixer_dup_left_to_right(mix, mix, count, 0);
  }
  return count;
}

// Runs the next chunk into the mixing buffer and counts the frame when the
// chunk completes it; false when the replay code failed (reported), which
// stops the track.
bool next_chunk(Player68 *p, int *status) {
  *status &= ~VK68_PROCESS_IDLE;
  const int count = render_chunk(p);
  if (count < 0) {
    p->track = nullptr;
    p->track_number = 0;
    p->mix_remaining = 0;
    return false;
  }
  Machine68 &m = *p->machine;
  p->samples_played += uint32_t(count);
  if (m.frame_position == m.frame_length && ++p->frames_played >= p->frames_to_play) {
    *status |= VK68_PROCESS_END;
    p->pending = p->track_number + 1 > p->disk->track_count ? -1 : p->track_number + 1;
  }
  p->mix_position = m.mix;
  p->mix_remaining = uint32_t(count);
  return true;
}

// A change waits until the frame under way is complete and its samples are
// delivered.
bool frame_used_up(const Player68 *p) {
  return p->mix_remaining == 0 && p->machine->frame_position == p->machine->frame_length;
}

// Copies up to n waiting samples of the current frame; returns how many.
int take_samples(Player68 *p, uint32_t *buffer, int n) {
  const uint32_t k = std::min(p->mix_remaining, uint32_t(n));
  std::memcpy(buffer, p->mix_position, sizeof *buffer * k);
  p->mix_position += k;
  p->mix_remaining -= k;
  return int(k);
}

}  // namespace

namespace vk68 {

int player_render(Player68 *p, uint32_t *buffer, int n, int *status) {
  *status = VK68_PROCESS_IDLE;
  int written = 0;
  while (written < n) {
    if (p->mix_remaining == 0) {
      if (frame_used_up(p)) {
        // A track's last frame run in this call ends the call.
        if (*status & VK68_PROCESS_END) break;
        const int code = apply_change_track(p);
        if (code < 0) return -1;
        *status |= code;
        if (code == VK68_PROCESS_STOPPED) break;
      }
      if (!p->track) return vk68_error_add("vk68_process() : no track to play");
      if (!next_chunk(p, status)) return -1;
    }
    written += take_samples(p, buffer + written, n - written);
  }
  return written;
}

}  // namespace vk68

extern "C" int vk68_process(Player68 *p, uint32_t *buffer, int n) {
  if (!vk68::handle_alive(p) || n < 0) return -1;
  int status = VK68_PROCESS_IDLE;
  if (!p->track) {
    if (!p->disk) return vk68_error_add("vk68_process() : no disk loaded");
    status = vk68::apply_change_track(p);
    if (status < 0) return -1;
    if (!p->track) return vk68_error_add("vk68_process() : no track to play");
  }
  if (n == 0) return status;
  if (!buffer) return vk68_error_add("vk68_process() : no buffer");

  while (n > 0) {
    if (p->mix_remaining == 0) {
      // A change takes effect once the frame before it is used up; the call
      // then returns with the rest of the buffer unwritten, its bits added
      // to those of the frames it ran (a track's end among them).
      if (frame_used_up(p)) {
        const int code = vk68::apply_change_track(p);
        if (code < 0) return -1;
        if (code != 0) return (status & ~VK68_PROCESS_IDLE) | code;
      }
      if (!next_chunk(p, &status)) return -1;
    }
    const int k = take_samples(p, buffer, n);
    buffer += k;
    n -= k;
  }
  return status;
}
