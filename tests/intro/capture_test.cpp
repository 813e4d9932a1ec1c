// varnkol-capture: its key names, and the program end to end with its PNGs
// read back.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "key_names.h"

namespace {

namespace fs = std::filesystem;

TEST(CaptureKeyNames, NamesInAnyCaseAndSingleCharacters) {
  const std::pair<const char *, uint16_t> names[] = {
      {"esc", 27},       {"ESC", 27},      {"Esc", 27},  {"enter", 13}, {"Space", 32},
      {"TAB", 9},        {"backspace", 8}, {"up", 257},  {"Left", 259}, {"pageup", 265},
      {"PageDown", 266}, {"f1", 267},      {"F10", 276}, {"a", 'a'},    {"A", 'A'},
      {"~", '~'},        {"escape", 0},    {"f11", 0},   {"", 0},       {" ", 0}};
  for (auto [name, code] : names) EXPECT_EQ(key_code_from_name(name), code) << name;
}

class CaptureTest : public ::testing::Test {
 protected:
  const fs::path dir =
      fs::temp_directory_path() / ("varnkol-capture-test-" + std::to_string(getpid()));
  void TearDown() override { fs::remove_all(dir); }
  int run(const std::string &args) {
    const int rc =
        std::system((std::string(CAPTURE_TOOL) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  // The 800x600 RGB picture of a written frame as 0x00RRGGBB.
  std::vector<uint32_t> frame(int n) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    const std::string path = (dir / ("frame-" + std::string(6 - std::to_string(n).size(), '0') +
                                     std::to_string(n) + ".png"))
                                 .string();
    std::vector<uint32_t> px;
    if (!png_image_begin_read_from_file(&img, path.c_str()) || img.width != 800 ||
        img.height != 600)
      return px;
    img.format = PNG_FORMAT_RGB;
    std::vector<png_byte> buf(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return px;
    for (size_t i = 0; i < buf.size(); i += 3)
      px.push_back(buf[i] << 16 | buf[i + 1] << 8 | buf[i + 2]);
    return px;
  }
};

TEST_F(CaptureTest, WritesTheListedFramesAndEndsWithTheIntrosStatus) {
  ASSERT_EQ(run("--out " + dir.string() + " --frames 0,2-3,9 --keys 0:Esc,3:ESC"), 0);
  // Frame 9 never came: the second ESC ended the run at frame 3.
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"frame-000000.png", "frame-000002.png", "frame-000003.png"}));
  const std::vector<uint32_t> title = frame(0), closing = frame(3);
  ASSERT_EQ(title.size(), 800u * 600u);
  ASSERT_EQ(closing.size(), 800u * 600u);
  const unsigned char *c = asset_title_palette + 3 * asset_title_pixels[800 * 300 + 400];
  EXPECT_EQ(title[300 * 800 + 400], uint32_t(c[0] << 16 | c[1] << 8 | c[2]));
  EXPECT_EQ(title[0], 0u);
  EXPECT_EQ(closing[50 * 800 + 5], 0xF71F00u);  // the bar of the second closing frame
  EXPECT_EQ(closing[300 * 800 + 400], 0u);

  fs::remove_all(dir);
  EXPECT_EQ(run("--out " + dir.string() + " --frames 4,5 --max-frames 5"), 3);
  EXPECT_EQ(frame(4).size(), 800u * 600u);
  EXPECT_FALSE(fs::exists(dir / "frame-000005.png"));
  for (const char *bad : {"", "--keys 3:nosuchkey", "--frames 5-2", "--max-frames 0", "--bogus"})
    EXPECT_EQ(run(std::string(*bad ? "--out " + dir.string() + " " : "") + bad), 2) << bad;
  EXPECT_EQ(run("--help"), 0);
}

}  // namespace
