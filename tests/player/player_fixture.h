// A player (counting allocation hooks, no resource files) for the test
// tunes, and what the tests measure in its output.
#ifndef TESTS_PLAYER_PLAYER_FIXTURE_H
#define TESTS_PLAYER_PLAYER_FIXTURE_H

#include <string>
#include <vector>

#include "support/default_player.h"
#include "support/engine_fixture.h"

namespace playertest {

inline int sample(uint32_t word, int ch) { return int16_t(word >> (16 * ch)); }

// Frequency from the rising zero crossings (interpolated) of channel ch.
inline double pitch(const std::vector<uint32_t> &s, int ch, double rate) {
  double first = -1, last = 0;
  int n = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    const double a = sample(s[i - 1], ch), b = sample(s[i], ch);
    if (a < 0 && b >= 0) last = double(i - 1) + a / (a - b), first = first < 0 ? last : first, ++n;
  }
  return n > 1 ? (n - 1) * rate / (last - first) : 0;
}

inline int peak(const std::vector<uint32_t> &s, int ch) {
  int p = 0;
  for (uint32_t w : s) p = std::max(p, std::abs(sample(w, ch)));
  return p;
}

class PlayerTest : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_NE(player_ = enginetest::default_player(), nullptr);
    enginetest::messages();
  }
  void TearDown() override {
    vk68_shutdown(player_);
    enginetest::messages();
    EngineTest::TearDown();
  }
  void load(const char *file) {
    ASSERT_EQ(vk68_load_path(player_, (TUNES "/" + std::string(file)).c_str()), 0);
  }
  // Another disk in place of the one attached.
  void load_again(const char *file) {
    vk68_close(player_);
    load(file);
  }
  // Starts a track (the frame under way plays out first) and renders its
  // first n samples.
  std::vector<uint32_t> render(int track, int n) {
    std::vector<uint32_t> out(static_cast<size_t>(n));
    EXPECT_EQ(vk68_play(player_, track), 0);
    if (!player_->track) {
      EXPECT_EQ(vk68_process(player_, out.data(), 0), VK68_PROCESS_CHANGE);  // starts it
    } else {
      int status = 0;
      for (int i = 0; i < 100000 && status >= 0 && !(status & VK68_PROCESS_CHANGE); ++i)
        status = vk68_process(player_, out.data(), 1);
    }
    EXPECT_GE(vk68_process(player_, out.data(), n), 0);
    return out;
  }

  Player68 *player_ = nullptr;
};

}  // namespace playertest

#endif
