// Test fixture for engine code: counting allocation hooks installed, the
// message stack emptied, and a failure when a test leaks engine blocks.
#ifndef TESTS_SUPPORT_ENGINE_FIXTURE_H
#define TESTS_SUPPORT_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include "support/engine_hooks.h"

namespace enginetest {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_counting_hooks();
    messages();
    baseline_ = live_blocks;
  }
  void TearDown() override { EXPECT_EQ(live_blocks, baseline_) << "leaked engine blocks"; }

 private:
  long baseline_ = 0;
};

}  // namespace enginetest

#endif
