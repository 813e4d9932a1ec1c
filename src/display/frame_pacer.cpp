/* Frame pacing: deadlines on a fixed grid, or a check that vsync paces. */
#include "display/frame_pacer.h"

namespace pacing {

Clock::time_point FramePacer::after_present(Clock::time_point now) {
  switch (mode_) {
    case Mode::unpaced: return now;

    case Mode::vsync:
      if (frames_++ == 0) first_ = now;
      if (frames_ < vsync_probe_frames) return now;
      // Intervals shorter than three quarters of a period on average mean
      // presenting did not wait for the retrace.
      if ((now - first_) * 4 < period_ * 3 * (frames_ - 1)) {
        mode_ = Mode::timer;
        started_ = true;
        next_ = now + period_;
        return next_;
      }
      frames_ = 0;
      return now;

    case Mode::timer:
      if (!started_) {
        started_ = true;
        next_ = now + period_;
        return next_;
      }
      next_ += period_;
      if (now - next_ > period_) next_ = now;
      return next_ < now ? now : next_;
  }
  return now;
}

}  // namespace pacing
