// The embedded tune on an SDL audio device: the disk driver writing into
// /dev/null as fast as it can, so that refills follow each other without a
// pause.
// Nothing is played before music_resume; started and stopped again and
// again, no refill may still run when the player is shut down (the
// ThreadSanitizer build checks that, the others catch a player used after
// it is freed). Without a device the music starts and stops silently.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "assets/music_data.h"
#include "audio/music.h"
#include "audio/music_buffers.h"

namespace {

using namespace std::chrono_literals;

// Waits up to 30 s (the machine may be loaded) for `n` buffers played, and
// returns as soon as the device has taken the n-th: its refill has only
// begun then.
bool wait_played(uint32_t n) {
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (music_buffers.played.load() < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

class Device : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VK68_HOME", "/nonexistent", 1);  // no configuration file
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
  }
};

// Stopped right after a buffer was played, its refill is then running; the
// first round waits a while before music_resume, and nothing plays then.
TEST_F(Device, PlaysOnlyAfterResumeAndStopsWhileRefillsRun) {
  for (uint32_t round = 0; round < 12; ++round) {
    ASSERT_EQ(music_start(asset_music, asset_music_size), 1);
    EXPECT_TRUE(music_buffers.queued[0] && music_buffers.queued[1]);
    if (round == 0) {
      std::this_thread::sleep_for(300ms);
      EXPECT_EQ(music_buffers.played.load(), 0u);
    }
    music_resume();
    ASSERT_TRUE(wait_played(1 + round % 4));
    music_stop();
    EXPECT_EQ(music_buffers.player, nullptr);
    EXPECT_FALSE(music_buffers.refill[0].load() || music_buffers.refill[1].load());
  }
}

TEST_F(Device, WithoutADeviceTheMusicIsLoadedButSilent) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  // Nowhere to show a box: the error goes to stderr.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStderr();
  ASSERT_EQ(music_start(asset_music, asset_music_size), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("Error: ", 0), 0u);
  EXPECT_NE(music_buffers.player, nullptr);
  EXPECT_FALSE(music_buffers.queued[0] || music_buffers.queued[1]);
  music_resume();
  music_stop();
  EXPECT_EQ(music_buffers.player, nullptr);
}

TEST_F(Device, FileThatIsNoMusicFailsToStart) {
  const char junk[] = "not a music file";
  EXPECT_EQ(music_start(junk, sizeof junk), 0);
  EXPECT_EQ(music_start(nullptr, 0), 0);
  // Nothing was left behind: a real start works.
  ASSERT_EQ(music_start(asset_music, asset_music_size), 1);
  music_stop();
}

}  // namespace
