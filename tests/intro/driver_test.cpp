// The intro driver run end to end against the off-screen display, a virtual
// clock and a recording music stand-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "audio/music.h"
#include "intro/driver.h"
#include "intro/host.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"
#include "offscreen.h"

namespace {

// Music calls as the driver makes them, with the frame count and clock.
struct MusicCall {
  std::string what;
  uint64_t frames, clock;
  const void *file;
  size_t size;
};
std::vector<MusicCall> music_calls;
bool music_start_result = true;

void record(const char *what, const void *file = nullptr, size_t size = 0) {
  music_calls.push_back({what, offscreen::frames_presented(), offscreen::clock_ms(), file, size});
}

}  // namespace

extern "C" int music_start(const void *file, size_t size) {
  record("start", file, size);
  return music_start_result ? 1 : 0;
}
extern "C" void music_resume(void) { record("resume"); }
extern "C" void music_stop(void) { record("stop"); }

namespace {

constexpr uint16_t kEsc = 27;
constexpr uint32_t kBarColour = 0xF71F00;

using Frame = std::vector<uint32_t>;

class DriverTest : public ::testing::Test {
 protected:
  std::vector<Frame> frames;
  std::vector<uint64_t> clock_at_frame;
  std::set<uint64_t> keep;  // frames to copy (all when empty)

  void SetUp() override {
    offscreen::reset();
    music_calls.clear();
    music_start_result = true;
    offscreen::set_frame_hook([this](uint64_t f, const uint32_t *px) {
      clock_at_frame.push_back(offscreen::clock_ms());
      frames.emplace_back();
      if (keep.empty() || keep.count(f)) frames.back().assign(px, px + 800 * 600);
    });
    // A driver that never ends would hang the test; stop it loudly instead.
    offscreen::set_frame_limit(20000, [] {
      std::fprintf(stderr, "driver did not end\n");
      std::fflush(nullptr);
      std::_Exit(99);
    });
  }
  static uint32_t at(const Frame &f, int x, int y) { return f[y * 800 + x]; }
};

uint32_t logo_colour(int x, int y) {
  const int v = asset_logo_pixels[780 * y + x];
  return static_cast<uint32_t>(asset_logo_palette[3 * v] << 16 |
                               asset_logo_palette[3 * v + 1] << 8 | asset_logo_palette[3 * v + 2]);
}

TEST(IntroText, TableHoldsExactlyTheIntroLines) {
  fill_intro_text();
  const std::pair<int, size_t> lengths[] = {
      {1, 16},  {2, 17},  {4, 16},  {5, 13},  {7, 7},   {8, 8},   {9, 21},  {12, 18},
      {13, 12}, {16, 20}, {17, 20}, {21, 13}, {23, 17}, {24, 20}, {25, 16}, {26, 14},
      {31, 11}, {33, 23}, {34, 23}, {35, 23}, {45, 21}, {46, 21}};
  std::set<int> filled;
  for (auto [i, n] : lengths) {
    EXPECT_EQ(intro_text[i].size(), n) << i;
    filled.insert(i);
  }
  for (int i = 0; i < 81; ++i)
    if (!filled.count(i)) {
      EXPECT_TRUE(intro_text[i].empty()) << i;
    }
  const std::regex two_names("[A-Z0-9]+ [A-Z0-9]+");
  for (int i = 23; i <= 26; ++i)
    EXPECT_TRUE(std::regex_match(intro_text[i], two_names)) << intro_text[i];
  EXPECT_EQ(intro_text[1], " V A R N  K O L ");
  EXPECT_EQ(intro_text[7], "Quillon");
  EXPECT_EQ(intro_text[9], std::string(21, ' '));
  EXPECT_EQ(intro_text[35], "          Glimmerod II ");
}

TEST(Random, FifteenBitValuesInTheSameOrderEveryRun) {
  random_reset();
  std::vector<double> first;
  std::set<int> seen;
  double sum = 0;
  for (int i = 0; i < 100000; ++i) {
    const double v = random_unit();
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 1.0);
    const double k = v * 32768;
    ASSERT_EQ(k, std::floor(k));
    seen.insert(static_cast<int>(k));
    sum += v;
    if (i < 50) first.push_back(v);
  }
  EXPECT_NEAR(sum / 100000, 0.5, 0.01);
  EXPECT_GT(seen.size(), 30000u);
  random_reset();
  for (double v : first) EXPECT_EQ(random_unit(), v);
}

TEST(Sleep, ConsoleKeyRule) {
  struct Case {
    uint32_t ms;
    uint64_t key_at;
    uint64_t slept;
  };
  const uint64_t never = ~uint64_t{0};
  const Case cases[] = {
      {99, 0, 99},          // short sleeps are one uninterrupted wait
      {100, 0, 0},          // a waiting key ends a long sleep before its first step
      {6000, never, 6000},  // 120 steps of 50
      {6000, 50, 50},       // key seen at the first step boundary after it
      {6000, 51, 100},     {6000, 1234, 1250}, {130, never, 130},  // 50 + 50 + 30
      {3000, 2999, 3000},
  };
  for (const Case &c : cases) {
    offscreen::reset();
    offscreen::set_console_key_at(c.key_at);
    sleep_ms(c.ms);
    EXPECT_EQ(offscreen::clock_ms(), c.slept) << c.ms << " key at " << c.key_at;
  }
}

TEST_F(DriverTest, StartsInOrderAndEndsWithStatusZeroAfterTwoEscapes) {
  offscreen::schedule_key(1, kEsc);
  offscreen::schedule_key(2, kEsc);
  EXPECT_EQ(intro_run(), 0);
  EXPECT_EQ(offscreen::frames_presented(), 3u);
  EXPECT_FALSE(offscreen::is_open());  // closed at the end
  EXPECT_STREQ(offscreen::open_title(), "VARN KOL");
  EXPECT_EQ(offscreen::open_width(), 800);
  EXPECT_EQ(offscreen::open_height(), 600);
  ASSERT_EQ(music_calls.size(), 3u);
  EXPECT_EQ(music_calls[0].what, "start");
  EXPECT_EQ(music_calls[0].file, nullptr);
  EXPECT_EQ(music_calls[0].size, 0u);
  EXPECT_EQ(music_calls[0].frames, 0u);
  EXPECT_EQ(music_calls[1].what, "resume");  // after the title and its 6 s
  EXPECT_EQ(music_calls[1].frames, 1u);
  EXPECT_EQ(music_calls[1].clock, 6000u);
  EXPECT_EQ(music_calls[2].what, "stop");  // after the one scene frame
  EXPECT_EQ(music_calls[2].frames, 2u);
}

TEST_F(DriverTest, TitleIsTheFirstFrame) {
  offscreen::schedule_key(1, kEsc);
  offscreen::schedule_key(2, kEsc);
  keep = {0};
  ASSERT_EQ(intro_run(), 0);
  const Frame &title = frames[0];
  for (int y = 0; y < 600; y += 3)
    for (int x = 0; x < 800; x += 3) {
      uint32_t expect = 0;
      if (y >= 1 && x >= 2 && x <= 798) {
        const int v = asset_title_pixels[800 * y + x];
        expect = static_cast<uint32_t>(asset_title_palette[3 * v] << 16 |
                                       asset_title_palette[3 * v + 1] << 8 |
                                       asset_title_palette[3 * v + 2]);
      }
      ASSERT_EQ(at(title, x, y), expect) << x << "," << y;
    }
}

TEST_F(DriverTest, EscapeDuringTheTitleDoesNotShortenItAndEndsTheSceneAfterOneFrame) {
  offscreen::schedule_key(0, kEsc);  // pressed while the title is shown
  offscreen::schedule_key(2, kEsc);
  EXPECT_EQ(intro_run(), 0);
  ASSERT_EQ(clock_at_frame.size(), 3u);
  EXPECT_EQ(clock_at_frame[1], 6000u);  // the whole title sleep
  EXPECT_EQ(music_calls[2].what, "stop");
  EXPECT_EQ(music_calls[2].frames, 2u);  // title + exactly one scene frame
}

TEST_F(DriverTest, ConsoleKeyShortensTheTitle) {
  offscreen::set_console_key_at(1234);
  offscreen::schedule_key(1, kEsc);
  offscreen::schedule_key(2, kEsc);
  EXPECT_EQ(intro_run(), 0);
  EXPECT_EQ(clock_at_frame[1], 1250u);
}

TEST_F(DriverTest, QueuedKeysAreReadOnePerFrameAndOnlyEscapeCounts) {
  // 'a', Up (byte 255 + 'H'), F1, ESC all pressed during the title.
  for (uint16_t code : {uint16_t{'a'}, uint16_t{257}, uint16_t{267}, kEsc})
    offscreen::schedule_key(0, code);
  offscreen::schedule_key(5, kEsc);
  EXPECT_EQ(intro_run(), 0);
  EXPECT_EQ(music_calls[2].what, "stop");
  EXPECT_EQ(music_calls[2].frames, 5u);  // title + four scene frames
  EXPECT_EQ(offscreen::frames_presented(), 6u);
}

TEST_F(DriverTest, HeldEscapeCanEndTheClosingScreenAtOnce) {
  offscreen::schedule_key(0, kEsc);
  offscreen::schedule_key(0, kEsc);
  EXPECT_EQ(intro_run(), 0);
  EXPECT_EQ(offscreen::frames_presented(), 3u);
}

TEST_F(DriverTest, FirstClosingFrameShowsTheLastSceneFrameUnderBarAndLogo) {
  offscreen::schedule_key(0, kEsc);
  offscreen::schedule_key(3, kEsc);
  ASSERT_EQ(intro_run(), 0);
  ASSERT_EQ(frames.size(), 4u);
  const Frame &scene_frame = frames[1], &first = frames[2], &second = frames[3];
  // Outside the bar (rows 1..95) the first closing frame is the scene frame.
  for (int y = 96; y < 600; ++y)
    for (int x = 0; x < 800; ++x)
      ASSERT_EQ(at(first, x, y), at(scene_frame, x, y)) << x << "," << y;
  EXPECT_EQ(at(scene_frame, 400, 300), 0x601335u);
  EXPECT_EQ(at(first, 5, 50), kBarColour);
  EXPECT_EQ(at(first, 0, 50), at(scene_frame, 0, 50));  // column 0 is never barred
  EXPECT_EQ(at(first, 400, 40), logo_colour(400 - 15, 40 - 10));
  // From the second closing frame on the background is black.
  EXPECT_EQ(at(second, 400, 300), 0u);
  EXPECT_EQ(at(second, 0, 50), 0u);
  EXPECT_EQ(at(second, 5, 50), kBarColour);
  EXPECT_EQ(at(second, 400, 40), logo_colour(400 - 15, 40 - 10));
}

TEST_F(DriverTest, BarBlinksOn150OfEvery300ClosingFrames) {
  const int closing = 2;  // first closing frame
  offscreen::schedule_key(0, kEsc);
  offscreen::schedule_key(closing + 620, kEsc);
  keep = {0};
  std::vector<uint32_t> bar_pixel;
  offscreen::set_frame_hook(
      [&](uint64_t, const uint32_t *px) { bar_pixel.push_back(px[50 * 800 + 5]); });
  ASSERT_EQ(intro_run(), 0);
  ASSERT_EQ(bar_pixel.size(), static_cast<size_t>(closing + 621));
  for (int i = 0; i <= 620; ++i) {
    const bool bar = i % 300 < 150;
    if (i == 0) continue;  // the first shows the scene under the bar anyway
    EXPECT_EQ(bar_pixel[closing + i], bar ? kBarColour : 0u) << "closing frame " << i;
  }
  EXPECT_EQ(bar_pixel[closing], kBarColour);
}

TEST_F(DriverTest, MusicFailureEndsWithMinusOneBeforeTheDisplay) {
  music_start_result = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(intro_run(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error loading song...\n");
  EXPECT_FALSE(offscreen::is_open());
  EXPECT_EQ(offscreen::frames_presented(), 0u);
  EXPECT_EQ(offscreen::clock_ms(), 3000u);
  ASSERT_EQ(music_calls.size(), 1u);
}

TEST_F(DriverTest, DisplayFailureEndsWithMinusOneSilently) {
  offscreen::set_open_result(false);
  testing::internal::CaptureStdout();
  EXPECT_EQ(intro_run(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(offscreen::frames_presented(), 0u);
  EXPECT_EQ(offscreen::clock_ms(), 0u);
  ASSERT_EQ(music_calls.size(), 1u);  // started, never resumed
}

TEST_F(DriverTest, RunsAreRepeatable) {
  offscreen::schedule_key(400, kEsc);
  offscreen::schedule_key(401, kEsc);
  keep = {399};
  ASSERT_EQ(intro_run(), 0);
  const Frame a = frames[399];
  frames.clear();
  offscreen::reset();
  SetUp();
  keep = {399};
  offscreen::schedule_key(400, kEsc);
  offscreen::schedule_key(401, kEsc);
  ASSERT_EQ(intro_run(), 0);
  EXPECT_TRUE(a == frames[399]);
}

}  // namespace
