// vk68 render and vk68 play from the command line: WAV files, time, rate,
// blend, exit statuses, and playback through SDL's disk and missing drivers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
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

// Runs vk68 (after an environment or input prefix), its configuration in
// the test's directory; the exit status.
int vk68(const std::string &words, const std::string &prefix = "") {
  const int status = std::system((prefix + " VK68_HOME=" + kDir + " " VK68 " " + words + " >" +
                                  kDir + "/out 2>" + kDir + "/err")
                                     .c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Samples (left, right, ...) of a WAV file, after checking its header.
std::vector<int16_t> wav(const std::string &path, uint32_t rate) {
  const std::string b = slurp(path);
  if (b.size() < 44) return {};
  uint32_t f[11];  // the header as 32-bit little-endian words
  std::memcpy(f, b.data(), 44);
  EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data");
  EXPECT_EQ(f[1], b.size() - 8);
  EXPECT_EQ(f[5], 0x20001u);  // PCM, 2 channels
  EXPECT_EQ(f[6], rate);
  EXPECT_EQ(f[8], 0x100004u);  // 4 bytes a sample, 16 bits
  EXPECT_EQ(f[10], b.size() - 44);
  std::vector<int16_t> s((b.size() - 44) / 2);
  std::memcpy(s.data(), b.data() + 44, s.size() * 2);
  return s;
}

TEST(Render, EveryTrackForItsOwnTime) {
  ASSERT_EQ(vk68("render " TUNES "/paula.vk68 --all -o " + kDir + "/all.wav"), 0);
  // Five 2-second tracks; the engine ends a track within its last 20 ms.
  EXPECT_NEAR(double(wav(kDir + "/all.wav", 44100).size()) / 2 / 44100, 10.0, 5 * 0.02);
  EXPECT_EQ(slurp(kDir + "/err"), "");  // no progress bar without a terminal
}

// A fixed time loops the track; rate and blend hold for this run only.
TEST(Render, FixedTimeRateAndBlend) {
  ASSERT_EQ(vk68("render " TUNES "/paula.vk68 --track 1 --seconds 3 --rate 22050 --blend 32768 "
                 "-o " +
                 kDir + "/m.wav"),
            0);
  const std::vector<int16_t> s = wav(kDir + "/m.wav", 22050);
  ASSERT_EQ(s.size(), 2u * 3 * 22050);
  int rising = 0;  // voice 0: 3579610 / 200 / 32 = 559.3 Hz, on both sides
  for (size_t i = 2; i < s.size(); i += 2) {
    ASSERT_EQ(s[i], s[i + 1]);
    rising += s[i - 2] < 0 && s[i] >= 0;
  }
  EXPECT_NEAR(rising, 3 * 559.3, 4);
  const std::string config = slurp(kDir + "/config.txt");
  EXPECT_NE(config.find("amiga_blend"), std::string::npos);
  EXPECT_EQ(config.find("32768"), std::string::npos);
}

TEST(Commands, ExitStatuses) {
  const struct {
    std::string words, prefix;
    int status;
    const char *message;
  } kCases[] = {
      {"render", "", 2, "missing music file"},
      {"render " TUNES "/tone.vk68 --all --track 2 -o x.wav", "", 2, "exclude"},
      {"render " TUNES "/tone.vk68 --rate 5 -o x.wav", "", 2, "--rate"},
      {"render " TUNES "/tone.vk68", "", 2, "missing output file"},
      {"render " TUNES "/tone.vk68 --track 4 -o " + kDir + "/stuck.wav", "", 1, "did not return"},
      {"render " TUNES "/tone.vk68 -o /nonexistent/x.wav", "", 1, "cannot write"},
      {"play " TUNES "/tune.sndh", "SDL_AUDIODRIVER=none-such", 1, "no sound device"},
  };
  for (const auto &c : kCases) {
    EXPECT_EQ(vk68(c.words, c.prefix), c.status) << c.words;
    EXPECT_NE(slurp(kDir + "/err").find(c.message), std::string::npos) << slurp(kDir + "/err");
  }
  EXPECT_FALSE(std::filesystem::exists(kDir + "/stuck.wav"));  // no broken file left
}

TEST(Commands, PlayUntilQuit) {
  const std::string raw = kDir + "/device.raw";
  ASSERT_EQ(vk68("play " TUNES "/tune.sndh --track 2",
                 "(sleep 1; printf q) | SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + raw),
            0);
  EXPECT_NE(slurp(kDir + "/out").find("track 2/2  Two tunes"), std::string::npos);
  EXPECT_NE(slurp(raw).find_first_not_of('\0'), std::string::npos);
}

}  // namespace
