// Independent players (the engine's internal player_create) on two threads
// at once: each renders its tunes sample for sample as a player does alone.
#include <algorithm>
#include <barrier>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "player/player68.h"
#include "support/engine_fixture.h"

namespace {

struct Tune {
  const char *file;
  int track;
};
// A YM square wave on MFP timer A, STE DMA sound in stereo, four Paula voices.
constexpr Tune kTimer{"timer.vk68", 1}, kSte{"ste.vk68", 2}, kPaula{"paula.vk68", 5};
// Samples of each tune (1.8 s, within the tracks' 2 s), rendered in chunks.
constexpr int kSamples = 79380, kChunk = 4410;

using Renders = std::vector<std::vector<uint32_t>>;

// A player of its own renders the tunes in turn, each from its start (the
// first sample dropped). Every chunk waits at `sync` for the other players'
// chunks, so that the players take turns or run at once, never far apart.
// Failures land in `failed`, checked by the caller's thread.
Renders play(const std::vector<Tune> &tunes, std::barrier<> &sync, std::string &failed) {
  Renders out;
  Player68 *p = vk68::player_create(44100);
  enginetest::messages();  // the configuration file is missing
  for (const Tune &t : tunes) {
    std::vector<uint32_t> s(kSamples);
    vk68_close(p);
    if (!p || vk68_load_path(p, (TUNES "/" + std::string(t.file)).c_str()) != 0 ||
        vk68_play(p, t.track) != 0 || vk68_process(p, s.data(), 1) < 0)
      failed += std::string(t.file) + " failed; ";
    for (int done = 0; done < kSamples; done += kChunk) {
      sync.arrive_and_wait();
      const int status = vk68_process(p, s.data() + done, std::min(kChunk, kSamples - done));
      if ((status & ~VK68_PROCESS_IDLE) != 0) failed += std::string(t.file) + " stopped; ";
    }
    out.push_back(std::move(s));
  }
  vk68::player_destroy(p);
  // Whatever this thread's calls reported stays with this thread.
  for (const std::string &m : enginetest::messages()) failed += m + "; ";
  return out;
}

// Index of the first sample that differs, or -1.
long difference(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (i >= b.size() || a[i] != b[i]) return long(i);
  return a.size() == b.size() ? -1 : long(a.size());
}

using PlayerThreads = enginetest::EngineTest;

TEST_F(PlayerThreads, TwoPlayersAtOnceRenderAsEachAlone) {
  // The resource directories are process-wide: set before players run.
  vk68_set_user("/nonexistent");
  vk68_set_share("/nonexistent");
  std::barrier<> one(1);
  std::string failed;
  const Renders alone = play({kTimer, kSte, kPaula}, one, failed);
  ASSERT_EQ(failed, "");
  for (int i = 0; i < 3; ++i) ASSERT_NE(difference(alone[i], alone[(i + 1) % 3]), -1) << i;
  // The second thread plays the same tunes in another order, so that the
  // two players render different tunes at the same time.
  std::barrier<> both(2);
  std::string failed_a, failed_b;
  Renders a, b;
  std::thread ta([&] { a = play({kTimer, kSte, kPaula}, both, failed_a); });
  std::thread tb([&] { b = play({kPaula, kTimer, kSte}, both, failed_b); });
  ta.join();
  tb.join();
  EXPECT_EQ(failed_a + failed_b, "");
  ASSERT_EQ(a.size(), 3u);
  ASSERT_EQ(b.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(difference(a[i], alone[i]), -1) << "first thread, tune " << i;
    EXPECT_EQ(difference(b[(i + 1) % 3], alone[i]), -1) << "second thread, tune " << i;
  }
  vk68_set_user(nullptr);
  vk68_set_share(nullptr);
}

}  // namespace
