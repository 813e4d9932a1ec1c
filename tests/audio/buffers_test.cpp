// The two sound buffers on track 1 of a test tune (100 frames of a Paula
// tone): what the device gets across refills and the gapless restart, what
// it gets once the refill records are cleared, and silence from a player
// that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/music_buffers.h"
#include "support/default_player.h"
#include "support/engine_fixture.h"

namespace {

// The device takes samples in pieces that do not divide a buffer.
constexpr int kPiece = 1024;

class Buffers : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    start();
    // Track 1 from its start, samples one at a time, up to the call that
    // starts track 2: the loop.
    uint32_t w;
    int status;
    while (!((status = vk68_process(player_, &w, 1)) & VK68_PROCESS_CHANGE)) {
      ASSERT_GE(status, 0);
      track_.push_back(w);
    }
    // Its frames, a whole number of cycles each, give ceil(cycles x rate /
    // 8 MHz) samples.
    const uint64_t cycles = uint64_t(player_->frames_to_play) * player_->cycles_per_frame;
    ASSERT_EQ(track_.size(), (cycles * player_->sampling_rate + 7999999) / 8000000);
    vk68_shutdown(player_);
    // As music_start leaves it: both buffers filled and queued, nothing
    // played yet.
    start();
    music_buffers_reset(player_);
    music_fill(0);
    music_fill(1);
    music_queue(0, music_refill);
    music_queue(1, music_refill);
  }
  void TearDown() override {
    vk68_shutdown(player_);
    music_buffers_reset(nullptr);
    enginetest::messages();
    EngineTest::TearDown();
  }
  void start() {
    ASSERT_NE(player_ = enginetest::default_player(), nullptr);
    ASSERT_EQ(vk68_load_path(player_, TUNE), 0);
    ASSERT_EQ(vk68_play(player_, 1), 0);
    uint32_t first;
    ASSERT_GE(vk68_process(player_, &first, 0), 0);  // starts the track
  }
  // What the device gets for n samples, taken in pieces.
  std::vector<uint32_t> output(int n) {
    std::vector<uint32_t> out(n);
    for (int i = 0; i < n; i += kPiece)
      music_output(reinterpret_cast<uint8_t *>(&out[i]), std::min(kPiece, n - i));
    return out;
  }

  Player68 *player_ = nullptr;
  std::vector<uint32_t> track_;
};

TEST_F(Buffers, DeviceGetsTheTrackLoopedWithoutAGap) {
  EXPECT_EQ(music_buffers.played.load(), 0u);
  // The restart falls inside buffer k + 1.
  const size_t loop = track_.size();
  const int k = int(loop / kMusicBufferSamples);
  ASSERT_NE(loop % kMusicBufferSamples, 0u);
  const std::vector<uint32_t> out = output((k + 1) * kMusicBufferSamples + 77);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], track_[i % loop]) << "sample " << i;
  EXPECT_EQ(music_buffers.played.load(), unsigned(k + 1));
  // The buffer played last is queued again behind the other one with what
  // follows it.
  EXPECT_TRUE(music_buffers.queued[0] && music_buffers.queued[1]);
  EXPECT_EQ(music_buffers.samples[k % 2][0], track_[(k + 2) * kMusicBufferSamples % loop]);
}

TEST_F(Buffers, ClearedRecordsLeaveThePlayerAloneAndTheDeviceSilent) {
  const std::vector<uint32_t> before = output(kMusicBufferSamples + 500);
  music_clear_refills();
  const uint32_t frames = player_->frames_played;
  // What was queued still plays (the rest of buffer 2, then buffer 1 as
  // refilled), then silence.
  const std::vector<uint32_t> after = output(3 * kMusicBufferSamples);
  EXPECT_EQ(player_->frames_played, frames);
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 2 * kMusicBufferSamples - 500,
                         track_.begin() + before.size()));
  EXPECT_TRUE(std::all_of(after.end() - kMusicBufferSamples - 500, after.end(),
                          [](uint32_t w) { return w == 0; }));
  EXPECT_FALSE(music_buffers.queued[0] || music_buffers.queued[1]);
}

TEST_F(Buffers, FailingPlayerFillsSilence) {
  vk68_stop(player_);
  uint32_t w;
  // The frame under way plays out; then no track from now on.
  int status;
  while ((status = vk68_process(player_, &w, 1)) == VK68_PROCESS_IDLE) {
  }
  EXPECT_EQ(status, VK68_PROCESS_STOPPED);
  std::memset(music_buffers.samples[0], 0x5A, sizeof music_buffers.samples[0]);
  music_fill(0);
  EXPECT_TRUE(std::all_of(std::begin(music_buffers.samples[0]), std::end(music_buffers.samples[0]),
                          [](uint32_t s) { return s == 0; }));
}

}  // namespace
