// vk68 render and vk68 play from the command line: WAV files, time, rate,
// blend, exit statuses, and playback through SDL's disk and missing drivers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kDir = [] {
  char name[] = "/tmp/vk68-tools-XXXXXX";
  return std::string(mkdtemp(name));
}();
const struct Cleanup {
  ~Cleanup() { std::filesystem::remove_all(kDir); }
} kCleanup;

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs vk68 with the words (and an environment/input prefix), with its
// configuration in the test's directory; exit status.
int vk68(const std::string &words, const std::string &prefix = "") {
  const std::string cmd = prefix + " VK68_HOME=" + kDir + " " VK68 " " + words + " >" + kDir +
                          "/out 2>" + kDir + "/err";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The stereo samples of a 16-bit PCM WAV file at `rate`, checking its header.
std::vector<int16_t> wav(const std::string &path, uint32_t rate) {
  const std::string b = slurp(path);
  auto le = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | uint8_t(b[at + size_t(i)]);
    return v;
  };
  EXPECT_GE(b.size(), 44u);
  if (b.size() < 44) return {};
  EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data");
  EXPECT_EQ(le(4, 4), b.size() - 8);
  EXPECT_EQ(le(20, 2), 1u);  // PCM
  EXPECT_EQ(le(22, 2), 2u);  // stereo
  EXPECT_EQ(le(24, 4), rate);
  EXPECT_EQ(le(34, 2), 16u);
  EXPECT_EQ(le(40, 4), b.size() - 44);
  std::vector<int16_t> s((b.size() - 44) / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(le(44 + 2 * i, 2));
  return s;
}

TEST(Render, OwnTimeOfEveryTrack) {
  ASSERT_EQ(vk68("render " TUNES "/paula.vk68 --all -o " + kDir + "/all.wav"), 0)
      << slurp(kDir + "/err");
  // Five tracks of 2 s; the engine ends a track within its last 20 ms frame.
  const double seconds = double(wav(kDir + "/all.wav", 44100).size()) / 2 / 44100;
  EXPECT_NEAR(seconds, 10.0, 5 * 0.02);
  EXPECT_EQ(slurp(kDir + "/err"), "");  // no progress bar without a terminal
}

TEST(Render, FixedTimeLoopsTheTrackAtTheRateAsked) {
  ASSERT_EQ(
      vk68("render " TUNES "/timer.vk68 --track 3 --seconds 3 --rate 22050 -o " + kDir + "/t.wav"),
      0);
  const std::vector<int16_t> s = wav(kDir + "/t.wav", 22050);
  ASSERT_EQ(s.size(), 2u * 3 * 22050);
  int rising = 0;  // timer C's square wave: 2457600 / 64 / 96 / 2 = 200 Hz
  for (size_t i = 2; i < s.size(); i += 2) rising += s[i - 2] < 0 && s[i] >= 0;
  EXPECT_NEAR(rising, 600, 3);
}

TEST(Render, BlendHalfWayIsMono) {
  ASSERT_EQ(
      vk68("render " TUNES "/paula.vk68 --track 1 --blend 32768 --seconds 1 -o " + kDir + "/m.wav"),
      0);
  const std::vector<int16_t> s = wav(kDir + "/m.wav", 44100);
  int peak = 0;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    ASSERT_EQ(s[i], s[i + 1]);
    peak = std::max(peak, std::abs(int(s[i])));
  }
  EXPECT_GT(peak, 1000);
  // The blend held for that run only: the saved configuration keeps its own.
  const std::string config = slurp(kDir + "/config.txt");
  EXPECT_NE(config.find("amiga_blend"), std::string::npos);
  EXPECT_EQ(config.find("32768"), std::string::npos);
}

TEST(Render, ExitStatuses) {
  const struct {
    std::string words;
    int status;
    const char *message;
  } kCases[] = {
      {"", 2, "missing music file"},
      {TUNES "/tone.vk68 --all --track 2 -o x.wav", 2, "exclude"},
      {TUNES "/tone.vk68 --rate 5 -o x.wav", 2, "--rate"},
      {TUNES "/tone.vk68", 2, "missing output file"},
      {TUNES "/tone.vk68 --track 4 -o " + kDir + "/runaway.wav", 1, "did not return"},
      {TUNES "/tone.vk68 -o /nonexistent/dir/x.wav", 1, "cannot write"},
  };
  for (const auto &c : kCases) {
    EXPECT_EQ(vk68("render " + c.words), c.status) << c.words;
    EXPECT_NE(slurp(kDir + "/err").find(c.message), std::string::npos) << slurp(kDir + "/err");
  }
  EXPECT_EQ(access((kDir + "/runaway.wav").c_str(), F_OK), -1);  // no broken file left
}

TEST(Play, WithoutSoundDeviceFails) {
  EXPECT_EQ(vk68("play " TUNES "/tune.sndh", "SDL_AUDIODRIVER=none-such"), 1);
  EXPECT_NE(slurp(kDir + "/err").find("no sound device"), std::string::npos);
}

TEST(Play, PlaysUntilQuit) {
  const std::string raw = kDir + "/device.raw";
  ASSERT_EQ(vk68("play " TUNES "/tune.sndh --track 2",
                 "(sleep 1; printf q) | SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + raw),
            0)
      << slurp(kDir + "/err");
  EXPECT_NE(slurp(kDir + "/out").find("track 2/2  Two tunes"), std::string::npos);
  const std::string sound = slurp(raw);
  EXPECT_NE(sound.find_first_not_of('\0'), std::string::npos);
}

}  // namespace
