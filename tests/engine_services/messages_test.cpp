// Message stack, hooks and time texts of the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "vk68/vk68_msg.h"

namespace {

void drain() {
  while (vk68_error_get()) {
  }
}

TEST(Messages, StackKeepsTheEightNewestAndPopsNewestFirst) {
  drain();
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(vk68_error_add("message %d", i), -1);
  for (int i = 9; i >= 2; --i) {
    const char *m = vk68_error_get();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(std::string(m), "message " + std::to_string(i));
  }
  EXPECT_EQ(vk68_error_get(), nullptr);
  EXPECT_EQ(vk68_error_get(), nullptr);
  vk68_error_add("after");
  EXPECT_STREQ(vk68_error_get(), "after");
}

TEST(Messages, LongMessageIsCutTo255Characters) {
  drain();
  std::string text(400, 'x');
  vk68_error_add("%s", text.c_str());
  EXPECT_EQ(std::string(vk68_error_get()), std::string(255, 'x'));
}

int g_debug_calls;
std::string g_debug_text;
void *g_seen_cookie;

int record_debug(void *cookie, const char *format, va_list args) {
  char text[256];
  vsnprintf(text, sizeof text, format, args);
  g_debug_text = text;
  g_seen_cookie = cookie;
  return ++g_debug_calls;
}

TEST(Messages, DebugHookReceivesCookieAndFormattedLine) {
  int cookie = 0;
  vk68_set_debug(nullptr);
  EXPECT_EQ(vk68_debug("ignored %d", 1), 0);
  EXPECT_EQ(vk68_set_debug(record_debug), nullptr);
  vk68_set_cookie(&cookie);
  g_debug_calls = 0;
  EXPECT_EQ(vk68_debug("value=%d\n", 42), 1);
  EXPECT_EQ(g_debug_text, "value=42\n");
  EXPECT_EQ(g_seen_cookie, &cookie);
  EXPECT_EQ(vk68_set_debug(nullptr), record_debug);
  EXPECT_EQ(vk68_set_cookie(nullptr), &cookie);
}

int g_allocs, g_frees;
void *count_alloc(size_t n) {
  ++g_allocs;
  return std::malloc(n);
}
void *fail_alloc(size_t) { return nullptr; }
void count_free(void *p) {
  ++g_frees;
  std::free(p);
}

TEST(Messages, AllocationGoesThroughTheHooks) {
  drain();
  vk68_set_alloc(count_alloc);
  vk68_set_free(count_free);
  g_allocs = g_frees = 0;
  void *p = vk68_alloc(16);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(vk68_free(p), 0);
  EXPECT_EQ(vk68_free(nullptr), 0);  // calls no hook
  EXPECT_EQ(g_allocs, 1);
  EXPECT_EQ(g_frees, 1);

  // A null hook leaves the current one installed.
  EXPECT_EQ(vk68_set_alloc(nullptr), count_alloc);
  EXPECT_EQ(vk68_set_alloc(fail_alloc), count_alloc);
  EXPECT_EQ(vk68_alloc(8), nullptr);
  EXPECT_STREQ(vk68_error_get(), "dynamic memory allocation error.");
  vk68_set_alloc(count_alloc);
}

struct TimeCase {
  int track, seconds;
  const char *text;
};

TEST(TimeText, TrackAndTime) {
  const TimeCase cases[] = {
      {3, 125, "03 02:05"}, {0, -1, "-- --:--"},  {150, 7200, "99 99:59"},
      {-4, 0, "-- 00:00"},  {12, -7, "12 --:--"}, {99, 5999, "99 99:59"},
  };
  for (const auto &c : cases) {
    char buffer[9];
    EXPECT_STREQ(vk68_time_str(buffer, c.track, c.seconds), c.text) << c.track << " " << c.seconds;
  }
  EXPECT_STREQ(vk68_time_str(nullptr, 1, 61), "01 01:01");
}

TEST(TimeText, LongDurations) {
  char buffer[32];
  EXPECT_STREQ(vk68_long_time_str(buffer, 0), "none");
  EXPECT_STREQ(vk68_long_time_str(buffer, -3), "none");
  EXPECT_STREQ(vk68_long_time_str(buffer, 59), "00' 59\"");
  EXPECT_STREQ(vk68_long_time_str(buffer, 3661), " 1h, 01' 01\"");
  EXPECT_STREQ(vk68_long_time_str(buffer, 90061), "1 day,  1h, 01' 01\"");
  EXPECT_STREQ(vk68_long_time_str(buffer, 172800), "2 days,  0h, 00' 00\"");
  EXPECT_STREQ(vk68_long_time_str(buffer, 2147483647), "24855 days,  3h, 14' 07\"");
}

}  // namespace
