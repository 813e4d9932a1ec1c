// The player's life cycle and track control: statuses of vk68_process,
// track ends, restart, stop, seeking, track descriptions, runaway replay
// code and refused tracks. tone.vk68 holds eight tracks of 100 frames:
// tones (1-3), a play and an init routine that never return (4, 5), a
// 10 Hz track (6), an MFP timer C tune (7) and a 25 Hz STE-only track
// without DMA sound (8); the others run at 50 Hz, 2 seconds each.
#include "player/player_fixture.h"

namespace playertest {
namespace {

bool reported(const char *text) {
  for (const std::string &m : enginetest::messages())
    if (m.find(text) != std::string::npos) return true;
  return false;
}

using PlayerInit = enginetest::EngineTest;  // counts the blocks: shutdown frees the disk

TEST_F(PlayerInit, NeedsBothMemoryHooksAndIsSingle) {
  VK68init init{};
  init.alloc = enginetest::counting_alloc;
  EXPECT_EQ(vk68_init(&init), nullptr);
  EXPECT_TRUE(reported("missing dynamic memory handler(s)"));
  init.free = enginetest::counting_free;
  init.user_path = init.shared_path = TUNES "/none";
  init.sampling_rate = 22050;
  Player68 *p = vk68_init(&init);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(init.sampling_rate, 22050u);
  EXPECT_EQ(vk68_init(&init), nullptr);
  EXPECT_EQ(vk68_load_path(p, TUNES "/tone.vk68"), 0);
  EXPECT_EQ(vk68_load_path(p, TUNES "/ste.vk68"), -1);
  EXPECT_TRUE(reported("disk is already loaded"));
  vk68_shutdown(p);
  init.sampling_rate = 3000000000u;  // past INT32_MAX: the highest rate, not 0
  ASSERT_NE(p = vk68_init(&init), nullptr);
  EXPECT_EQ(init.sampling_rate, 50000u);
  EXPECT_EQ(p->sampling_rate, 50000u);
  vk68_shutdown(p);
  enginetest::messages();
}

TEST_F(PlayerTest, StatusesThroughTracks) {
  load("tone.vk68");
  std::vector<uint32_t> buffer(2000);
  ASSERT_EQ(vk68_play(player_, 2), 0);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 0), VK68_PROCESS_CHANGE);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 100), 0);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 100), VK68_PROCESS_IDLE);
  // The call that runs the last frame says so; the next plays the rest of
  // it out, then starts track 3 without writing more.
  int status = 0;
  for (int calls = 0; !(status & VK68_PROCESS_END) && calls < 100; ++calls)
    status = vk68_process(player_, buffer.data(), 883);
  EXPECT_EQ(status, VK68_PROCESS_END);
  EXPECT_EQ(player_->frames_played, 100u);
  const uint32_t rest = player_->mix_remaining;
  const std::vector<uint32_t> last(player_->mix_position, player_->mix_position + rest);
  std::fill(buffer.begin(), buffer.end(), 0x12345678u);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 883), VK68_PROCESS_CHANGE);
  EXPECT_TRUE(std::equal(last.begin(), last.end(), buffer.begin()));
  EXPECT_EQ(buffer[rest], 0x12345678u);
  EXPECT_EQ(vk68_play(player_, -1), 3);
  vk68_restart(player_);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 1), VK68_PROCESS_CHANGE);
  EXPECT_EQ(vk68_play(player_, -1), 1);
  EXPECT_EQ(vk68_stop(player_), 0);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 1), VK68_PROCESS_STOPPED);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 1), -1);
  // The last track's end is a stop. Without a YM, a 25 Hz frame makes
  // 44100 x 320000 / 8000000 samples.
  ASSERT_EQ(vk68_play(player_, 8), 0);
  int calls = 0;
  for (status = 0; !(status & VK68_PROCESS_END) && calls < 200; ++calls)
    status = vk68_process(player_, buffer.data(), 1764);
  EXPECT_EQ(status, VK68_PROCESS_END);
  EXPECT_EQ(calls, 100);
  EXPECT_EQ(vk68_process(player_, buffer.data(), 1), VK68_PROCESS_STOPPED);
  EXPECT_EQ(vk68_play(player_, 9), -1);
  EXPECT_TRUE(reported("track [9] out of range [8]"));
}

// Neither the YM's last samples nor the timer interrupts of the track
// before (they would fall inside the longer 25 Hz frames) may reach a
// track without YM.
TEST_F(PlayerTest, TrackWithoutYmOrAmigaIsSilent) {
  load("tone.vk68");
  EXPECT_GT(peak(render(7, 4410), 0), 1000);
  EXPECT_EQ(peak(render(8, 4410), 0), 0);
}

TEST_F(PlayerTest, FailedTracksReportAndLeaveThePlayerUsable) {
  load("tone.vk68");
  uint32_t word;
  const struct {
    int track;
    const char *message;
  } kFailures[] = {{4, "stopped"}, {5, "track init"}};
  for (const auto &f : kFailures) {
    ASSERT_EQ(vk68_play(player_, f.track), 0);
    EXPECT_EQ(vk68_process(player_, &word, 1), -1) << f.track;
    EXPECT_TRUE(reported(f.message)) << f.track;
    EXPECT_EQ(vk68_play(player_, -1), 0);
  }
  EXPECT_GT(peak(render(1, 100), 0), 0);
  // A 10 Hz track's frames play whole, in pieces.
  EXPECT_GT(peak(render(6, 10000), 0), 0);
  EXPECT_EQ(player_->cycles_per_frame, 800000u);
}

TEST_F(PlayerTest, SeeksByTimeAndDescribesTracks) {
  load("tone.vk68");
  uint32_t word;
  EXPECT_EQ(vk68_seek(player_, 5500), 4000);
  EXPECT_EQ(vk68_process(player_, &word, 1), VK68_PROCESS_CHANGE);
  EXPECT_EQ(vk68_process(player_, &word, 1), VK68_PROCESS_IDLE);
  EXPECT_EQ(vk68_seek(player_, -1), 4020);   // one 20 ms frame into track 3
  EXPECT_EQ(vk68_seek(player_, 4100), -1);   // already there
  EXPECT_EQ(vk68_seek(player_, 26000), -1);  // 5 x 2 s, 10 s, 2 s, 4 s
  VK68trackInfo info;
  ASSERT_EQ(vk68_track_info(player_, nullptr, &info, -1), 0);
  EXPECT_EQ(info.track, 3);
  EXPECT_EQ(info.start_ms, 4000u);
  EXPECT_STREQ(info.time, "03 00:02");
  EXPECT_STREQ(info.hardware, "Yamaha-2149");
  ASSERT_EQ(vk68_track_info(player_, nullptr, &info, 0), 0);
  EXPECT_EQ(info.tracks, 8);
  EXPECT_EQ(info.time_ms, 26000u);
  EXPECT_STREQ(info.time, "08 00:26");
  EXPECT_STREQ(info.hardware, "Yamaha-2149 & MicroWire (STE)");
  EXPECT_EQ(vk68_track_info(player_, nullptr, &info, 9), -1);
}

// short.vk68: tracks of 3 frames at 50, 50 and 60 Hz, and a 60 Hz one of
// unknown length. Pulled one sample per call (as the intro does), every
// sample of every frame comes out: the samples of 3 x 160256 cycles (2651)
// and of 3 x 133333.3 cycles (2205), then the next track; the 4th plays
// the default time, 1 s.
TEST_F(PlayerTest, EveryFrameIsDeliveredWholeAcrossTrackEnds) {
  load("short.vk68");
  ASSERT_EQ(vk68_config_set(player_, vk68_config_id("default_time"), 1), 0);
  ASSERT_EQ(vk68_config_apply(player_), 0);
  std::vector<int> counts(5, 0);
  int ends = 0;
  for (int status = 0; status != VK68_PROCESS_STOPPED;) {
    uint32_t w;
    const int playing = vk68_play(player_, -1);
    status = vk68_process(player_, &w, 1);
    ASSERT_GE(status, 0);
    ends += (status & VK68_PROCESS_END) != 0;
    if (!(playing && (status & VK68_PROCESS_CHANGE))) ++counts[size_t(vk68_play(player_, -1))];
  }
  EXPECT_EQ(counts, (std::vector<int>{0, 2651, 2651, 2205, 44100}));
  EXPECT_EQ(ends, 4);
}

// A caller that loops the track whenever it sees the end bit never hears
// track 2, whatever its call size; and a track sounds the same whatever
// played before it (tone.s detunes itself with a register of the track
// before).
TEST_F(PlayerTest, LoopingOnTheEndBitAndCleanStarts) {
  load("short.vk68");
  // What calls write ends where a change left the rest (a word with two
  // different halves, which the YM never makes): track 1 again and again.
  constexpr uint32_t kUnwritten = 0x12345678;
  std::vector<uint32_t> heard;
  for (int calls = 0; calls < 12; ++calls) {
    std::vector<uint32_t> buffer(11025, kUnwritten);
    const int status = vk68_process(player_, buffer.data(), 11025);
    ASSERT_GE(status, 0);
    if (status & VK68_PROCESS_END) vk68_restart(player_);
    heard.insert(heard.end(), buffer.begin(), std::find(buffer.begin(), buffer.end(), kUnwritten));
  }
  ASSERT_GT(heard.size(), 5 * 2651u);
  for (size_t i = 2651; i < heard.size(); ++i) ASSERT_EQ(heard[i], heard[i % 2651]) << i;
  load_again("tone.vk68");
  const std::vector<uint32_t> alone = render(1, 4410);
  render(2, 4410);
  EXPECT_EQ(render(1, 4410), alone);
  // vk68_play(0) asks for the disk's default track (the 3rd of tos.sndh).
  load_again("tos.sndh");
  ASSERT_EQ(vk68_play(player_, 0), 0);
  uint32_t w;
  while (!(vk68_process(player_, &w, 1) & VK68_PROCESS_CHANGE)) {
  }
  EXPECT_EQ(vk68_play(player_, -1), 3);
}

// A handle is good until its shutdown; then every call fails without
// touching it (AddressSanitizer would see a use after free), a second
// shutdown too. A start without a configuration file leaves no message.
TEST_F(PlayerInit, HandlesEndWithTheirShutdown) {
  Player68 *p = enginetest::default_player();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(enginetest::messages(), std::vector<std::string>{});
  ASSERT_EQ(vk68_load_path(p, TUNES "/tone.vk68"), 0);
  vk68_shutdown(p);
  uint32_t w;
  EXPECT_EQ(vk68_process(p, &w, 1), -1);
  EXPECT_TRUE(reported("not a player"));
  EXPECT_EQ(vk68_play(p, 1), -1);
  EXPECT_EQ(vk68_track_count(p), -1);
  vk68_shutdown(p);
  enginetest::messages();
}

}  // namespace
}  // namespace playertest
