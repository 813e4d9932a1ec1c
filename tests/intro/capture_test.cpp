// varnkol-capture end to end: runs the program, reads its PNGs back.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/pictures.h"

namespace {

namespace fs = std::filesystem;

int run(const std::string &args) {
  const std::string cmd = std::string(CAPTURE_TOOL) + " " + args + " >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Reads an 8-bit RGB PNG into 0x00RRGGBB pixels; false when it is not one.
bool read_png(const fs::path &path, int &w, int &h, std::vector<uint32_t> &px) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  img.format = PNG_FORMAT_RGB;
  std::vector<png_byte> buf(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return false;
  w = static_cast<int>(img.width);
  h = static_cast<int>(img.height);
  px.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < px.size(); ++i)
    px[i] = buf[3 * i] << 16 | buf[3 * i + 1] << 8 | buf[3 * i + 2];
  return true;
}

class CaptureTest : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("varnkol-capture-test-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(CaptureTest, WritesTheListedFramesAndExitsWithTheIntrosStatus) {
  ASSERT_EQ(run("--out " + dir.string() + " --frames 0,2-3,9 --keys 0:esc,3:esc"), 0);
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  // Frame 9 was never presented: the second ESC ended the run at frame 3.
  EXPECT_EQ(names,
            (std::vector<std::string>{"frame-000000.png", "frame-000002.png", "frame-000003.png"}));

  int w = 0, h = 0;
  std::vector<uint32_t> px;
  ASSERT_TRUE(read_png(dir / "frame-000000.png", w, h, px));
  ASSERT_EQ(w, 800);
  ASSERT_EQ(h, 600);
  EXPECT_EQ(px[0], 0u);
  const int v = asset_title_pixels[800 * 300 + 400];
  EXPECT_EQ(px[300 * 800 + 400], static_cast<uint32_t>(asset_title_palette[3 * v] << 16 |
                                                       asset_title_palette[3 * v + 1] << 8 |
                                                       asset_title_palette[3 * v + 2]));
  ASSERT_TRUE(read_png(dir / "frame-000003.png", w, h, px));
  EXPECT_EQ(px[50 * 800 + 5], 0xF71F00u);  // bar of the second closing frame
  EXPECT_EQ(px[300 * 800 + 400], 0u);
}

TEST_F(CaptureTest, StopsAfterMaxFramesWithStatusThree) {
  ASSERT_EQ(run("--out " + dir.string() + " --frames 4,5 --max-frames 5"), 3);
  EXPECT_TRUE(fs::exists(dir / "frame-000004.png"));
  EXPECT_FALSE(fs::exists(dir / "frame-000005.png"));
}

TEST_F(CaptureTest, RefusesBadArguments) {
  EXPECT_EQ(run(""), 2);
  EXPECT_EQ(run("--out " + dir.string() + " --keys 3:nosuchkey"), 2);
  EXPECT_EQ(run("--out " + dir.string() + " --frames 5-2"), 2);
  EXPECT_EQ(run("--out " + dir.string() + " --max-frames 0"), 2);
  EXPECT_EQ(run("--out " + dir.string() + " --bogus"), 2);
  EXPECT_EQ(run("--help"), 0);
}

}  // namespace
