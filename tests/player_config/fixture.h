// Shared fixture for the configuration and resource tests: counting
// allocation hooks (from the engine fixture), a captured debug trace, a scratch directory under
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

#include "vk68/vk68_msg.h"
#include "player/vk68_rsc.h"
#include "support/engine_fixture.h"

namespace cfgtest {

inline std::vector<std::string> trace;

inline int capture(void *, const char *format, va_list args) {
  char line[2048];
  std::vsnprintf(line, sizeof line, format, args);
  trace.emplace_back(line);
  return 0;
}

class Fixture : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    vk68_set_debug(capture);
    trace.clear();
    for (const char *v : {"VK68_HOME", "VK68_DATA", "HOME"}) {
      const char *value = std::getenv(v);
      saved_env_.emplace_back(v, value ? std::optional<std::string>(value) : std::nullopt);
    }
    const char *tmp = std::getenv("TMPDIR");
    root_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vk68cfg_XXXXXX";
    ASSERT_NE(mkdtemp(root_.data()), nullptr);
  }

  void TearDown() override {
    VK68rsc_set_share(nullptr);
    VK68rsc_set_user(nullptr);
    vk68_set_debug(nullptr);
    EngineTest::TearDown();
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

  static std::vector<std::string> messages() { return enginetest::messages(); }

  static bool traced(const std::string &line) {
    for (const auto &t : trace)
      if (t == line) return true;
    return false;
  }

  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

}  // namespace cfgtest

#endif
