// Message stack (one per thread), allocation hooks and time texts of the
// engine.
#include <gtest/gtest.h>

#include <thread>

#include "support/engine_hooks.h"

namespace {

using enginetest::messages;
using Strings = std::vector<std::string>;

TEST(Messages, StackKeepsTheEightNewest) {
  enginetest::install_counting_hooks();
  messages();
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(vk68_error_add("message %d", i), -1);
  EXPECT_EQ(messages(), (Strings{"message 2", "message 3", "message 4", "message 5", "message 6",
                                 "message 7", "message 8", "message 9"}));
  EXPECT_EQ(vk68_error_get(), nullptr);
  vk68_error_add("%s", std::string(400, 'x').c_str());
  EXPECT_EQ(messages(), Strings{std::string(255, 'x')});
  // A failing allocation hook is reported; a null hook keeps the one
  // installed; releasing no block calls no hook.
  vk68_set_alloc([](size_t) -> void * { return nullptr; });
  vk68_set_alloc(nullptr);
  EXPECT_EQ(vk68_alloc(8), nullptr);
  enginetest::install_counting_hooks();
  EXPECT_EQ(vk68_free(nullptr), 0);
  EXPECT_EQ(messages(), Strings{"dynamic memory allocation error."});
  // Each thread has a stack of its own.
  vk68_error_add("here");
  Strings there;
  std::thread([&there] {
    vk68_error_add("there");
    there = messages();
  }).join();
  EXPECT_EQ(there, Strings{"there"});
  EXPECT_EQ(messages(), Strings{"here"});
}

TEST(TimeText, TrackTimesAndLongDurations) {
  const std::tuple<int, int, const char *> tracks[] = {
      {3, 125, "03 02:05"}, {0, -1, "-- --:--"},  {150, 7200, "99 99:59"},
      {-4, 0, "-- 00:00"},  {12, -7, "12 --:--"}, {99, 5999, "99 99:59"},
  };
  for (const auto &[track, seconds, text] : tracks) {
    char buffer[9];
    EXPECT_STREQ(vk68_time_str(buffer, track, seconds), text);
  }
  EXPECT_STREQ(vk68_time_str(nullptr, 1, 61), "01 01:01");
  // clang-format off
  const std::pair<int, const char *> durations[] = {
      {0, "none"}, {-3, "none"}, {59, "00' 59\""}, {3661, " 1h, 01' 01\""},
      {90061, "1 day,  1h, 01' 01\""}, {172800, "2 days,  0h, 00' 00\""},
      {INT32_MAX, "24855 days,  3h, 14' 07\""}};
  // clang-format on
  for (const auto &[seconds, text] : durations) {
    char buffer[32];
    EXPECT_STREQ(vk68_long_time_str(buffer, seconds), text);
  }
}

}  // namespace
