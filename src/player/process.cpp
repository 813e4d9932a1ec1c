// Sample generation: runs the replay frame by frame on the 68000, lets the
// track's chips render each frame into the mixing buffer and copies the
// samples out, applying track changes between frames.
#include <algorithm>
#include <cstring>

#include "emu68/emu68.h"
#include "player/mixer.h"
#include "player/player68.h"

namespace {

// Runs one frame and leaves its samples at the start of the mixing buffer;
// their count, or -1 when the replay code did not return (reported).
int render_frame(Player68 *p) {
  Emu68 *emu = &p->machine->emu;
  if (EMU68_run_frame(emu, p->cycles_per_frame) < 0) {
    const char *why = EMU68_pop_error(emu);
    return vk68_error_add("vk68_process() : track #%d stopped: %s", p->track_number,
                          why ? why : "replay failure");
  }
  uint32_t *mix = reinterpret_cast<uint32_t *>(ym_output_buffer(&p->machine->ym));
  const uint32_t hw = p->track->hardware;
  int count = int(p->samples_per_frame);
  if (hw & VK68_HW_AMIGA) {
    paula_mix(&p->machine->paula, mix, p->memory, count);
    mixer_blend(mix, mix, count, p->amiga_blend, 0, 0);
    return count;
  }
  if (hw & VK68_HW_YM) {
    count = ym_render_frame(&p->machine->ym, p->cycles_per_frame);
  } else {
    std::memset(mix, 0, sizeof *mix * size_t(count));  // no YM: its part is silent
  }
  if (hw & VK68_HW_STE) {
    mw_mix(&p->machine->ste, mix, p->memory, p->cycles_per_frame, count);
  } else {
    mixer_dup_left_to_right(mix, mix, count, 0);
  }
  return count;
}

// Runs the next frame into the mixing buffer and counts it; false when the
// replay code failed (reported), which stops the track.
bool next_frame(Player68 *p, int *status) {
  *status &= ~VK68_PROCESS_IDLE;
  const int count = render_frame(p);
  if (count < 0) {
    p->track = nullptr;
    p->track_number = 0;
    p->mix_remaining = 0;
    return false;
  }
  ++p->frames_played;
  p->machine->timebase.frame_start += p->cycles_per_frame;
  p->samples_played += uint32_t(count);
  if (p->frames_played >= p->frames_to_play) {
    *status |= VK68_PROCESS_END;
    p->pending = p->track_number + 1 > p->disk->track_count ? -1 : p->track_number + 1;
  }
  p->mix_position = reinterpret_cast<const uint32_t *>(ym_output_buffer(&p->machine->ym));
  p->mix_remaining = uint32_t(count);
  return true;
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
      // Every sample of a frame is delivered before a change takes effect,
      // and a track's last frame run in this call ends the call.
      if (*status & VK68_PROCESS_END) break;
      const int code = apply_change_track(p);
      if (code < 0) return -1;
      *status |= code;
      if (code == VK68_PROCESS_STOPPED) break;
      if (!p->track) return vk68_error_add("vk68_process() : no track to play");
      if (!next_frame(p, status)) return -1;
    }
    written += take_samples(p, buffer + written, n - written);
  }
  return written;
}

}  // namespace vk68

extern "C" int vk68_process(Player68 *p, uint32_t *buffer, int n) {
  if (!p || n < 0) return -1;
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
      const int code = vk68::apply_change_track(p);
      if (code < 0) return -1;
      if (code != 0) return (status & ~VK68_PROCESS_IDLE) | code;
      if (!next_frame(p, &status)) return -1;
    }
    const int k = take_samples(p, buffer, n);
    buffer += k;
    n -= k;
  }
  return status;
}
