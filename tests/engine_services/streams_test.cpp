// Engine services: memory and file streams and the generic operations over
// them; the message stack (one per thread), allocation hooks and time
// texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <thread>

#include "support/engine_fixture.h"
#include "vk68/stream68.h"

namespace {

using Streams = enginetest::EngineTest;

TEST_F(Streams, MemoryStreams) {
  char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, out[5] = {}, line[8];
  EXPECT_EQ(stream68_mem_create(nullptr, 4, STREAM68_READ), nullptr);
  Stream68 *s = stream68_mem_create(data, 10, STREAM68_READ | 4);  // extra mode bits dropped
  EXPECT_EQ(std::string(stream68_name(s)).rfind("mem://", 0), 0u);
  EXPECT_EQ(stream68_seek(s, 1), -1);  // closed
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_open(s), -1);
  EXPECT_EQ(stream68_seek_to(s, 10), 10);
  EXPECT_EQ(stream68_seek(s, 1), -1);
  EXPECT_EQ(stream68_seek(s, -3), 7);
  EXPECT_EQ(stream68_seek(s, -8), -1);
  EXPECT_EQ(stream68_read(s, out, 5), 3);  // cut at the end
  EXPECT_EQ(out[0] + out[2] + stream68_tell(s), 7 + 9 + 10);
  EXPECT_EQ(stream68_read(s, out, 5), 0);
  EXPECT_EQ(stream68_write(s, out, 1), -1);
  EXPECT_EQ(stream68_close(s) + stream68_close(s) + stream68_length(s), 0 - 1 - 1);
  stream68_destroy(s);
  s = stream68_mem_create(data, 4, STREAM68_WRITE);
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_read(s, out, 1), -1);
  EXPECT_EQ(stream68_write(s, "a\nbcdef", 7), 4);  // never grows
  EXPECT_EQ(data[3] + data[4], 'c' + 4);
  stream68_destroy(s);
  // Lines: up to and including '\n', cut at size - 1.
  s = stream68_mem_create(data, 10, STREAM68_READ);
  stream68_open(s);
  EXPECT_EQ(stream68_read_line(s, line, 2), 1);
  EXPECT_EQ(stream68_read_line(s, line, 8), 1);
  EXPECT_EQ(stream68_read_line(s, line, 8), 7);
  EXPECT_EQ(std::string(line), "bc\4\5\6\7\x08");
  EXPECT_EQ(stream68_read_line(s, line, 8), 1);
  EXPECT_EQ(stream68_read_line(s, line, 8), 0);
  EXPECT_EQ(stream68_read_line(s, line, 0), -1);
  stream68_close(s);
  EXPECT_EQ(stream68_read_line(s, line, 8), -1);
  stream68_destroy(s);
}

// A stream that only knows its position and records its seeks.
struct Recorder {
  Stream68 base;
  int32_t position;
  std::string calls;
};

TEST_F(Streams, GenericSeeks) {
  Recorder r{};
  r.base.ops.tell = [](Stream68 *s) { return reinterpret_cast<Recorder *>(s)->position; };
  r.base.ops.seek_forward = [](Stream68 *s, int32_t offset) {
    reinterpret_cast<Recorder *>(s)->calls.append("+").append(std::to_string(offset));
    return 0;
  };
  r.base.ops.seek_back = [](Stream68 *s, int32_t offset) {
    reinterpret_cast<Recorder *>(s)->calls += std::to_string(offset);
    return 0;
  };
  Stream68 *s = &r.base;
  r.position = 16;
  EXPECT_EQ(stream68_seek(s, 0), 16);
  EXPECT_EQ(stream68_seek(s, 4), 20);
  EXPECT_EQ(stream68_seek(s, -4), 12);
  EXPECT_EQ(stream68_seek_to(s, 3), 3);
  // Positions outside 0..INT32_MAX fail without moving.
  r.position = INT32_MAX - 1;
  EXPECT_EQ(stream68_seek(s, 10), -1);
  EXPECT_EQ(stream68_seek(s, 1), INT32_MAX);
  r.position = INT32_MAX;
  EXPECT_EQ(stream68_seek(s, 1), -1);  // one past the top
  EXPECT_EQ(stream68_seek_to(s, -5), -1);
  r.position = 10;
  EXPECT_EQ(stream68_seek(s, INT32_MIN), -1);
  EXPECT_EQ(r.calls, "+4-4-13+1");
  r.base.ops.seek_back = nullptr;
  EXPECT_EQ(stream68_seek(s, -1), -1);  // a missing slot fails
}

TEST_F(Streams, FileStreams) {
  const std::string file = path("data.bin");
  for (int mode : {0, STREAM68_READ | STREAM68_WRITE}) {  // neither creates a file
    Stream68 *s = stream68_file_create(file.c_str(), mode);
    EXPECT_EQ(stream68_open(s), -1);
    stream68_destroy(s);
  }
  EXPECT_NE(access(file.c_str(), F_OK), 0);
  Stream68 *s = stream68_file_create(file.c_str(), STREAM68_WRITE);
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_write(s, "hello world", 11), 11);
  stream68_destroy(s);
  s = stream68_file_create(file.c_str(), STREAM68_READ | STREAM68_WRITE);  // in place
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_write(s, "J", 1), 1);
  stream68_destroy(s);
  s = stream68_file_create(file.c_str(), STREAM68_READ);
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_seek(s, 6), 6);
  EXPECT_EQ(stream68_length(s), 11);
  char out[16] = {};
  EXPECT_EQ(stream68_read(s, out, 16), 5);  // length left the position
  EXPECT_EQ(stream68_seek(s, -11), 0);
  EXPECT_EQ(stream68_read(s, out + 5, 1), 1);
  EXPECT_STREQ(out, "worldJ");
  EXPECT_EQ(stream68_close(s) + stream68_tell(s), -1);
  stream68_destroy(s);
  // Sparse files: lengths beyond what a stream can address are refused.
  for (long long size : {(1LL << 31) - 1, 1LL << 31, (1LL << 32) + 100}) {
    ASSERT_EQ(truncate(file.c_str(), size), 0);
    s = stream68_file_create(file.c_str(), STREAM68_READ);
    const bool fits = size <= INT32_MAX;
    EXPECT_EQ(stream68_open(s), fits ? 0 : -1);
    EXPECT_EQ(stream68_length(s), fits ? INT32_MAX : -1);
    EXPECT_EQ(stream68_seek_to(s, INT32_MAX), fits ? INT32_MAX : -1);
    const std::string too_large =
        file + ": file too large (" + std::to_string(size) + " bytes, at most 2147483647)";
    EXPECT_EQ(enginetest::messages(), fits ? std::vector<std::string>() : std::vector{too_large});
    stream68_destroy(s);
  }
}

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
