// What the test tunes sound like through the player: the pitch of each
// channel (0: silent) and, for Amiga voices, their level.
#include "player/player_fixture.h"

namespace playertest {
namespace {

constexpr double kYm = 2000000.0 / 16;     // YM tone: clock / (16 x period)
constexpr double kMfp = 2457600.0 / 2;     // a square wave of two timer periods
constexpr double kPaula = 3546895.0 / 32;  // a 32-byte wave: clock / (32 x period)

struct Case {
  const char *file;
  int track;
  double left, right;  // Hz
  int level;           // peak of a sounding side (0: not checked)
  int rate = 44100;
  double tolerance = 0.002;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.file << " #" << c.track << " " << c.rate; }

const Case kCases[] = {
    {"tone.vk68", 1, kYm / 284, kYm / 284, 0},
    {"tone.vk68", 3, kYm / 1000, kYm / 1000, 0},
    {"timer.vk68", 1, kMfp / (4 * 246), kMfp / (4 * 246), 0},  // timers A-D
    {"timer.vk68", 2, kMfp / (16 * 100), kMfp / (16 * 100), 0},
    {"timer.vk68", 3, kMfp / (64 * 96), kMfp / (64 * 96), 0},
    {"timer.vk68", 4, kMfp / (200 * 30), kMfp / (200 * 30), 0},
    {"ste.vk68", 1, 12516.0 / 128, 12516.0 / 128, 0, 44100, 0.015},  // mono
    {"ste.vk68", 2, 25033.0 / 64, 25033.0 / 32, 0, 44100, 0.015},    // stereo
    // Wave +-100 at volume v: 100 x v x 2.
    {"paula.vk68", 1, kPaula / 200, 0, 12800},
    {"paula.vk68", 2, 0, kPaula / 300, 9600},
    {"paula.vk68", 3, kPaula / 400, 0, 6400},
    {"paula.vk68", 4, 0, kPaula / 500, 3200},
    {"paula.vk68", 1, kPaula / 200, 0, 12800, 22050},
    {"tune.sndh", 1, kYm / 284, kYm / 284, 0},
    {"tune.sndh", 2, kYm / 142, kYm / 142, 0},
    // TOS calls, as tos.s describes them.
    {"tos.sndh", 1, kYm / 284, kYm / 284, 0},
    {"tos.sndh", 2, kMfp / (64 * 96), kMfp / (64 * 96), 0},
    {"tos.sndh", 3, kYm / 142, kYm / 142, 0},
    {"tos.sndh", 4, kMfp / (4 * 246), kMfp / (4 * 246), 0},  // Xbtimer A-D
    {"tos.sndh", 5, kMfp / (16 * 100), kMfp / (16 * 100), 0},
    {"tos.sndh", 6, kMfp / (64 * 96), kMfp / (64 * 96), 0},
    {"tos.sndh", 7, kMfp / (200 * 30), kMfp / (200 * 30), 0},
    {"reset.vk68", 1, kYm / 313, kYm / 313, 0},  // RESET in every frame
};

class Sound : public PlayerTest, public testing::WithParamInterface<Case> {};

TEST_P(Sound, PlaysAtItsPitchAndSide) {
  const Case &c = GetParam();
  load(c.file);
  ASSERT_EQ(vk68_config_set(player_, vk68_config_id("amiga_blend"), 0), 0);
  ASSERT_EQ(vk68_config_apply(player_), 0);
  ASSERT_EQ(vk68_sampling_rate(player_, c.rate), c.rate);
  const std::vector<uint32_t> s = render(c.track, c.rate * 3 / 2);
  const double want[2] = {c.left, c.right};
  for (int ch = 0; ch < 2; ++ch) {
    if (want[ch] == 0) {
      EXPECT_EQ(peak(s, ch), 0) << "channel " << ch;
      continue;
    }
    // From 0.1 s on: a YM tone's first edges ring about the silent level
    // (band-limited steps), and the output's AC coupling centres it within
    // a few milliseconds.
    const std::vector<uint32_t> settled(s.begin() + c.rate / 10, s.end());
    EXPECT_NEAR(pitch(settled, ch, c.rate), want[ch], want[ch] * c.tolerance) << "channel " << ch;
    const std::vector<uint32_t> end(s.end() - c.rate / 10, s.end());
    EXPECT_NEAR(pitch(end, ch, c.rate), want[ch], want[ch] * 0.05)
        << "channel " << ch << " at the end";
    if (c.level) {
      EXPECT_NEAR(peak(s, ch), c.level, 2) << "channel " << ch;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tunes, Sound, testing::ValuesIn(kCases));

TEST_F(PlayerTest, AmigaBlendHalfWayIsMono) {
  load("paula.vk68");
  vk68_config_set(player_, vk68_config_id("amiga_blend"), 32768);
  vk68_config_apply(player_);
  const std::vector<uint32_t> s = render(5, 4410);
  EXPECT_GT(peak(s, 0), 1000);
  for (uint32_t w : s) ASSERT_EQ(sample(w, 0), sample(w, 1));
}

}  // namespace
}  // namespace playertest
