// The key queue against a model, frame pacing on a fake clock, and the
// choice of screen mode.
#include "display/frame_pacer.h"
#include "display/key_queue.h"
#include "display/screen_mode.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

namespace {

TEST(KeyQueue, MatchesAFifoThatKeepsTheNewestFifteen) {
  keys::KeyQueue q{};
  std::deque<uint16_t> model;
  std::mt19937 rng(5);
  uint16_t next = 1;
  for (int step = 0; step < 5000; ++step) {
    // Runs of pushes long enough to overflow, and of pops past empty.
    const bool push = (step / 20) % 2 ? rng() % 4 != 0 : rng() % 4 == 0;
    if (push) {
      keys::push(q, next);
      model.push_back(next++);
      if (model.size() > 15) model.pop_front();
    } else {
      ASSERT_EQ(keys::pop(q), model.empty() ? 0 : model.front()) << step;
      if (!model.empty()) model.pop_front();
    }
    ASSERT_EQ(keys::waiting(q), !model.empty()) << step;
  }
}

using pacing::Clock;
using std::chrono::milliseconds;
constexpr Clock::duration kPeriod = milliseconds(16);
const Clock::time_point t0{milliseconds(1000)};

TEST(FramePacer, TimerKeepsItsGridAndRestartsAfterAStall) {
  pacing::FramePacer p(pacing::Mode::timer, kPeriod);
  EXPECT_EQ(p.after_present(t0), t0 + kPeriod);
  // Frames ending anywhere in their period get deadlines on the grid.
  int k = 1;
  for (int finish : {3, 15, 1, 9, 0}) {
    EXPECT_EQ(p.after_present(t0 + kPeriod * k + milliseconds(finish)), t0 + kPeriod * (k + 1));
    ++k;
  }
  // Late by less than a period: no wait, the grid stays.
  const Clock::time_point late = t0 + kPeriod * (k + 1) + milliseconds(8);
  EXPECT_EQ(p.after_present(late), late);
  EXPECT_EQ(p.after_present(late + milliseconds(1)), t0 + kPeriod * (k + 2));
  // A stall of a second: no burst of catch-up frames, a fresh grid.
  const Clock::time_point stalled = late + milliseconds(1000);
  EXPECT_EQ(p.after_present(stalled), stalled);
  EXPECT_EQ(p.after_present(stalled + milliseconds(5)), stalled + kPeriod);
}

TEST(FramePacer, VsyncIsTrustedOnlyWhenPresentingWaits) {
  Clock::time_point t = t0;
  pacing::FramePacer real(pacing::Mode::vsync, kPeriod), fake(pacing::Mode::vsync, kPeriod);
  for (int i = 0; i < 3 * pacing::FramePacer::vsync_probe_frames; ++i) {
    t += kPeriod;
    EXPECT_EQ(real.after_present(t), t);
  }
  EXPECT_EQ(real.mode(), pacing::Mode::vsync);
  // Presents 2 ms apart: nothing waits for the retrace, the timer takes over.
  for (int i = 1; i < pacing::FramePacer::vsync_probe_frames; ++i) {
    t += milliseconds(2);
    EXPECT_EQ(fake.after_present(t), t);
  }
  t += milliseconds(2);
  EXPECT_EQ(fake.after_present(t), t + kPeriod);
  EXPECT_EQ(fake.mode(), pacing::Mode::timer);
  pacing::FramePacer unpaced(pacing::Mode::unpaced, kPeriod);
  EXPECT_EQ(unpaced.after_present(t), t);
  EXPECT_EQ(unpaced.after_present(t), t);
}

SDL_DisplayMode mode(int w, int h, Uint32 format, int hz) {
  SDL_DisplayMode m{};
  m.w = w;
  m.h = h;
  m.format = format;
  m.refresh_rate = hz;
  return m;
}

TEST(ScreenMode, ExactSizeThenDepthThenNearestSixtyHertz) {
  const SDL_DisplayMode modes[] = {
      mode(800, 600, SDL_PIXELFORMAT_INDEX8, 60),    // 0 palettised: never
      mode(800, 600, SDL_PIXELFORMAT_UNKNOWN, 60),   // 1 no converter: SDL's
      mode(1920, 1080, SDL_PIXELFORMAT_RGB888, 60),  // 2 wrong size
      mode(800, 600, SDL_PIXELFORMAT_RGB565, 60),    // 3
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 75),    // 4
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 59),    // 5
      mode(800, 600, SDL_PIXELFORMAT_RGB888, 56),    // 6
  };
  const std::pair<int, int> best_among_first[] = {{1, -1}, {2, 1}, {3, 1}, {4, 3}, {5, 4}, {7, 5}};
  for (auto [count, best] : best_among_first)
    EXPECT_EQ(screen_mode::choose_mode(modes, count, 800, 600), best) << count;
  EXPECT_EQ(screen_mode::choose_mode(modes, 7, 640, 480), -1);
  EXPECT_TRUE(screen_mode::is_60_hz(59) && screen_mode::is_60_hz(60));
  EXPECT_FALSE(screen_mode::is_60_hz(0) || screen_mode::is_60_hz(61) || screen_mode::is_60_hz(120));
}

}  // namespace
