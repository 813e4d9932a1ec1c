// Test fixture for engine code: counting allocation hooks, an empty message
// stack, no debug hook, a scratch directory of the test's own (where commands
// run by a test leave their output), and a failure when a test leaks engine
// blocks.
#ifndef TESTS_SUPPORT_ENGINE_FIXTURE_H
#define TESTS_SUPPORT_ENGINE_FIXTURE_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/engine_hooks.h"

namespace enginetest {

// What a command did: its exit status (-1: it did not exit) and its output.
struct Outcome {
  int status;
  std::string out, err;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_counting_hooks();
    vk68_set_debug(nullptr);
    messages();
    baseline_ = live_blocks;
    std::string tmpl = (std::filesystem::temp_directory_path() / "vk68test-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    vk68_set_debug(nullptr);
    EXPECT_EQ(live_blocks.load(), baseline_) << "leaked engine blocks";
    std::filesystem::remove_all(dir_);
  }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  std::string write(const std::string &name, const std::string &bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }
  static std::string read(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(missing)";
  }
  Outcome run_command(const std::string &command) const {
    const std::string out = path("stdout"), err = path("stderr");
    const int raw = std::system((command + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read(out), read(err)};
  }

  std::filesystem::path dir_;
  long baseline_ = 0;
};


}  // namespace enginetest

#endif
