/* Paces presented frames to a steady rate.
 *
 * The scene advances by a fixed step per frame, so it only looks right at
 * its intended 60 frames per second. Three ways of getting there:
 *   vsync   - presenting waits for the display's retrace (a 60 Hz display);
 *             the pacer only checks, over the first frames, that it really
 *             does, and falls back to the timer when frames come faster.
 *   timer   - the pacer hands out absolute deadlines one period apart, so
 *             the rate does not drift with the time each frame takes; after
 *             a stall of more than a period it starts afresh from the
 *             present instead of racing to catch up.
 *   unpaced - no waiting at all.
 */
#ifndef VARNKOL_DISPLAY_FRAME_PACER_H
#define VARNKOL_DISPLAY_FRAME_PACER_H

#include <chrono>

namespace pacing {

using Clock = std::chrono::steady_clock;

enum class Mode { unpaced, vsync, timer };

inline constexpr Clock::duration frame_period =
    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / 60.0));

class FramePacer {
 public:
  FramePacer() = default;
  FramePacer(Mode mode, Clock::duration period) : mode_(mode), period_(period) {}

  /* Called right after a frame was presented at `now`; returns the time
   * until which the caller sleeps before drawing the next frame (`now`
   * when there is nothing to wait for). */
  Clock::time_point after_present(Clock::time_point now);

  Mode mode() const { return mode_; }

  /* Frames a vsync display is watched for before it is trusted. */
  static constexpr int vsync_probe_frames = 30;

 private:
  Mode mode_ = Mode::unpaced;
  Clock::duration period_{};
  bool started_ = false;
  int frames_ = 0;
  Clock::time_point first_{};
  Clock::time_point next_{};
};

}  // namespace pacing

#endif
