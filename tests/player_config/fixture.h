// Shared fixture for the configuration and resource tests: counting
// allocation hooks, a captured debug trace, a scratch directory under
// $TMPDIR, and the environment and resource paths restored afterwards.
#ifndef TESTS_PLAYER_CONFIG_FIXTURE_H
#define TESTS_PLAYER_CONFIG_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "player/vk68_msg.h"
#include "player/vk68_rsc.h"

namespace cfgtest {

inline long live_blocks = 0;
inline std::vector<std::string> trace;

inline void *counting_alloc(size_t n) {
  void *p = std::malloc(n ? n : 1);
  if (p) ++live_blocks;
  return p;
}
inline void counting_free(void *p) {
  --live_blocks;
  std::free(p);
}
inline int capture(void *, const char *format, va_list args) {
  char line[2048];
  std::vsnprintf(line, sizeof line, format, args);
  trace.emplace_back(line);
  return 0;
}

class Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    vk68_set_alloc(counting_alloc);
    vk68_set_free(counting_free);
    vk68_set_debug(capture);
    while (vk68_error_get()) {
    }
    trace.clear();
    for (const char *v : {"VK68_HOME", "VK68_DATA", "HOME"}) {
      const char *value = std::getenv(v);
      saved_env_.emplace_back(v, value ? std::optional<std::string>(value) : std::nullopt);
    }
    const char *tmp = std::getenv("TMPDIR");
    root_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vk68cfg_XXXXXX";
    ASSERT_NE(mkdtemp(root_.data()), nullptr);
    baseline_ = live_blocks;
  }

  void TearDown() override {
    VK68rsc_set_share(nullptr);
    VK68rsc_set_user(nullptr);
    vk68_set_debug(nullptr);
    EXPECT_EQ(live_blocks, baseline_) << "leaked blocks";
    for (auto &[name, value] : saved_env_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    std::string cmd = "rm -rf '" + root_ + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }

  std::string dir(const std::string &sub) {
    std::string d = root_ + "/" + sub;
    std::string cmd = "mkdir -p '" + d + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return d;
  }

  static void write_file(const std::string &path, const std::string &text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
  }

  static std::optional<std::string> read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  static std::vector<std::string> messages() {
    std::vector<std::string> all;
    while (const char *m = vk68_error_get()) all.emplace_back(m);
    return all;
  }

  static bool traced(const std::string &line) {
    for (const auto &t : trace)
      if (t == line) return true;
    return false;
  }

  std::string root_;
  long baseline_ = 0;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

}  // namespace cfgtest

#endif
