// varnkol-capture: runs the intro headless against the off-screen display and
// a virtual clock, presses scheduled keys and saves chosen frames as PNGs.
//
//   varnkol-capture --out DIR [--frames LIST] [--keys FRAME:KEY,...]
//                   [--max-frames N]
//
// Frames are counted as presented: frame 0 is the title, frame 1 the first
// scene frame. LIST is comma-separated numbers or ranges A-B. A key scheduled
// for frame F enters the key queue while frame F is presented, like a key
// pressed in the window; KEY is esc, enter, space, tab, backspace, up, down,
// left, right, insert, delete, home, end, pageup, pagedown, f1..f10 (in any
// case) or a single character. Each listed frame is written to DIR/frame-NNNNNN.png.
//
// Exit status: the intro's own (0 after its closing screen, 255 when it
// cannot start); 3 when it was stopped after N presented frames (default
// 36000, ten minutes at 60 frames per second); 2 for bad arguments; 1 when a
// PNG cannot be written.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "intro/driver.h"
#include "key_names.h"
#include "offscreen.h"

namespace {

constexpr int kStoppedAtLimit = 3;
constexpr int kUsageError = 2;
constexpr int kWriteError = 1;
constexpr uint64_t kDefaultMaxFrames = 36000;
constexpr int kWidth = 800, kHeight = 600;

constexpr const char *kUsage =
    "usage: varnkol-capture --out DIR [--frames LIST] [--keys FRAME:KEY,...] [--max-frames N]\n"
    "  Runs the intro headless on a virtual clock. Frame 0 is the title.\n"
    "  --frames LIST   frames to save as DIR/frame-NNNNNN.png (e.g. 0,10,100-120)\n"
    "  --keys LIST     FRAME:KEY pairs; the key enters the queue while FRAME is\n"
    "                  presented. KEY: esc enter space tab backspace up down left\n"
    "                  right insert delete home end pageup pagedown f1..f10 (in\n"
    "                  any case: esc, Esc, ESC) or a single character\n"
    "  --max-frames N  stop after N presented frames (default 36000)\n"
    "  Exit status: the intro's (0, or 255 when it cannot start), 3 when stopped\n"
    "  by --max-frames, 2 for bad arguments, 1 when a PNG cannot be written.\n";

void usage() { std::fputs(kUsage, stderr); }

std::optional<uint64_t> parse_number(std::string_view s) {
  if (s.empty() || s.size() > 18) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i)
    if (i == s.size() || s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  return parts;
}

bool parse_frames(std::string_view list, std::set<uint64_t> &frames) {
  for (std::string_view item : split(list, ',')) {
    const size_t dash = item.find('-');
    const auto a = parse_number(item.substr(0, dash));
    const auto b = dash == std::string_view::npos ? a : parse_number(item.substr(dash + 1));
    if (!a || !b || *b < *a || *b - *a > 1000000) return false;
    for (uint64_t f = *a; f <= *b; ++f) frames.insert(f);
  }
  return true;
}

bool parse_keys(std::string_view list) {
  for (std::string_view item : split(list, ',')) {
    const size_t colon = item.find(':');
    if (colon == std::string_view::npos) return false;
    const auto frame = parse_number(item.substr(0, colon));
    const uint16_t code = key_code_from_name(item.substr(colon + 1));
    if (!frame || code == 0) return false;
    offscreen::schedule_key(*frame, code);
  }
  return true;
}

bool write_png(const std::string &path, const uint32_t *pixels) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(kWidth * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t p = pixels[y * kWidth + x];
      row[3 * x] = static_cast<png_byte>(p >> 16);
      row[3 * x + 1] = static_cast<png_byte>(p >> 8);
      row[3 * x + 2] = static_cast<png_byte>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::string out;
  std::set<uint64_t> frames;
  uint64_t max_frames = kDefaultMaxFrames;
  offscreen::reset();
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--out" && has_value) {
      out = argv[++i];
    } else if (arg == "--frames" && has_value) {
      if (!parse_frames(argv[++i], frames)) return usage(), kUsageError;
    } else if (arg == "--keys" && has_value) {
      if (!parse_keys(argv[++i])) return usage(), kUsageError;
    } else if (arg == "--max-frames" && has_value) {
      const auto n = parse_number(argv[++i]);
      if (!n || *n == 0) return usage(), kUsageError;
      max_frames = *n;
    } else {
      return usage(), kUsageError;
    }
  }
  if (out.empty()) return usage(), kUsageError;
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "varnkol-capture: cannot create %s\n", out.c_str());
    return kWriteError;
  }

  offscreen::set_frame_hook([&](uint64_t frame, const uint32_t *pixels) {
    if (!frames.count(frame)) return;
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06llu.png", static_cast<unsigned long long>(frame));
    if (!write_png(out + name, pixels)) {
      std::fprintf(stderr, "varnkol-capture: cannot write %s%s\n", out.c_str(), name);
      std::fflush(nullptr);
      std::_Exit(kWriteError);
    }
  });
  // Leave at once from inside the driver; nothing else needs cleaning up.
  offscreen::set_frame_limit(max_frames, [] {
    std::fflush(nullptr);
    std::_Exit(kStoppedAtLimit);
  });
  return intro_run();
}
