// File and memory streams and the generic operations over them.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vk68/stream68.h"
#include "vk68/vk68_msg.h"

namespace {

class Streams : public ::testing::Test {
 protected:
  void SetUp() override {
    vk68_set_alloc(std::malloc);
    vk68_set_free(std::free);
  }
};

TEST_F(Streams, EmptyMemoryStreamWithoutBuffer) {
  Stream68 *s = stream68_mem_create(nullptr, 0, STREAM68_READ);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_length(s), 0);
  char c;
  EXPECT_EQ(stream68_read(s, &c, 1), 0);
  stream68_destroy(s);
  EXPECT_EQ(stream68_mem_create(nullptr, 4, STREAM68_READ), nullptr);
  EXPECT_EQ(stream68_mem_create(&c, -1, STREAM68_READ), nullptr);
}

TEST_F(Streams, MemoryReadIsCutAtTheEnd) {
  unsigned char data[10];
  for (int i = 0; i < 10; ++i) data[i] = static_cast<unsigned char>(i);
  Stream68 *s = stream68_mem_create(data, 10, STREAM68_READ);
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_seek_to(s, 8), 8);
  unsigned char out[5] = {};
  EXPECT_EQ(stream68_read(s, out, 5), 2);
  EXPECT_EQ(out[0], 8);
  EXPECT_EQ(out[1], 9);
  EXPECT_EQ(stream68_tell(s), 10);
  EXPECT_EQ(stream68_read(s, out, 5), 0);
  EXPECT_EQ(stream68_read(s, out, -1), -1);
  stream68_destroy(s);
}

TEST_F(Streams, MemorySeekBounds) {
  unsigned char data[10] = {};
  Stream68 *s = stream68_mem_create(data, 10, STREAM68_READ);
  EXPECT_EQ(stream68_seek(s, 1), -1);  // closed
  ASSERT_EQ(stream68_open(s), 0);
  EXPECT_EQ(stream68_seek_to(s, 10), 10);
  EXPECT_EQ(stream68_seek(s, 1), -1);
  EXPECT_EQ(stream68_tell(s), 10);
  EXPECT_EQ(stream68_seek_to(s, 3), 3);
  EXPECT_EQ(stream68_seek(s, -4), -1);
  EXPECT_EQ(stream68_tell(s), 3);
  stream68_destroy(s);
}

TEST_F(Streams, MemoryModesAndOpenClose) {
  unsigned char data[4] = {1, 2, 3, 4};
  unsigned char byte = 0;
  Stream68 *w = stream68_mem_create(data, 4, STREAM68_WRITE);
  ASSERT_EQ(stream68_open(w), 0);
  EXPECT_EQ(stream68_open(w), -1);  // already open
  EXPECT_EQ(stream68_read(w, &byte, 1), -1);
  unsigned char six[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(stream68_write(w, six, 6), 4);  // never grows
  EXPECT_EQ(data[3], 9);
  EXPECT_EQ(stream68_close(w), 0);
  EXPECT_EQ(stream68_close(w), -1);
  EXPECT_EQ(stream68_length(w), -1);
  stream68_destroy(w);

  Stream68 *r = stream68_mem_create(data, 4, STREAM68_READ | 4);  // extra bits dropped
  ASSERT_EQ(stream68_open(r), 0);
  EXPECT_EQ(stream68_write(r, &byte, 1), -1);
  stream68_destroy(r);

  Stream68 *none = stream68_mem_create(data, 4, 0);
  EXPECT_EQ(stream68_open(none), -1);
  stream68_destroy(none);
}

TEST_F(Streams, MemoryNameCarriesPrefixAndBounds) {
  unsigned char data[16];
  Stream68 *s = stream68_mem_create(data, 16, STREAM68_READ);
  std::string name = stream68_name(s);
  EXPECT_EQ(name.rfind("mem://", 0), 0u);
  char expected[64];
  std::snprintf(expected, sizeof expected, "mem://%p:%p", static_cast<void *>(data),
                static_cast<void *>(data + 16));
  EXPECT_EQ(name, expected);
  stream68_destroy(s);
}

// A stream whose seek slots record what they were given.
struct Recorder {
  Stream68 base;
  int32_t position;
  int forward_calls, back_calls;
  int32_t last_offset;
};

int32_t rec_tell(Stream68 *s) { return reinterpret_cast<Recorder *>(s)->position; }
int rec_forward(Stream68 *s, int32_t offset) {
  auto *r = reinterpret_cast<Recorder *>(s);
  ++r->forward_calls;
  r->last_offset = offset;
  r->position += offset;
  return 0;
}
int rec_back(Stream68 *s, int32_t offset) {
  auto *r = reinterpret_cast<Recorder *>(s);
  ++r->back_calls;
  r->last_offset = offset;
  r->position += offset;
  return 0;
}

TEST_F(Streams, RelativeSeekPicksTheSlotBySign) {
  Recorder r{};
  r.base.ops.tell = rec_tell;
  r.base.ops.seek_forward = rec_forward;
  r.base.ops.seek_back = rec_back;
  Stream68 *s = &r.base;
  EXPECT_EQ(stream68_seek(s, 0), 0);
  EXPECT_EQ(r.forward_calls + r.back_calls, 0);
  EXPECT_EQ(stream68_seek(s, 16), 16);
  EXPECT_EQ(r.forward_calls, 1);
  EXPECT_EQ(stream68_seek(s, -4), 12);
  EXPECT_EQ(r.back_calls, 1);
  EXPECT_EQ(r.last_offset, -4);
  r.base.ops.seek_back = nullptr;
  EXPECT_EQ(stream68_seek(s, -1), -1);
  r.base.ops.tell = nullptr;
  EXPECT_EQ(stream68_seek_to(s, 3), -1);
  // Missing slots make the generic operations fail, null streams too.
  EXPECT_EQ(stream68_read(s, nullptr, 1), -1);
  EXPECT_EQ(stream68_name(s), nullptr);
  EXPECT_EQ(stream68_open(nullptr), -1);
  stream68_destroy(nullptr);
}

TEST_F(Streams, ReadLine) {
  char text[] = "key = 1\nsecond line\nlast";
  Stream68 *s = stream68_mem_create(text, static_cast<int32_t>(std::strlen(text)), STREAM68_READ);
  ASSERT_EQ(stream68_open(s), 0);
  char line[8];
  EXPECT_EQ(stream68_read_line(s, line, sizeof line), 7);  // cut at size - 1
  EXPECT_STREQ(line, "key = 1");
  EXPECT_EQ(stream68_read_line(s, line, sizeof line), 1);
  EXPECT_STREQ(line, "\n");
  char big[64];
  EXPECT_EQ(stream68_read_line(s, big, sizeof big), 12);
  EXPECT_STREQ(big, "second line\n");
  EXPECT_EQ(stream68_read_line(s, big, sizeof big), 4);
  EXPECT_STREQ(big, "last");
  EXPECT_EQ(stream68_read_line(s, big, sizeof big), 0);
  EXPECT_EQ(stream68_read_line(s, big, 0), -1);
  stream68_close(s);
  EXPECT_EQ(stream68_read_line(s, big, sizeof big), -1);  // closed: read fails
  stream68_destroy(s);
}

class FileStreams : public Streams {
 protected:
  void SetUp() override {
    Streams::SetUp();
    char tmpl[] = "/tmp/vk68-stream-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string dir_;
};

TEST_F(FileStreams, WriteReadLengthAndModes) {
  std::string path = dir_ + "/data.bin";
  EXPECT_EQ(stream68_file_create("", STREAM68_READ), nullptr);
  EXPECT_EQ(stream68_file_create(nullptr, STREAM68_READ), nullptr);

  Stream68 *none = stream68_file_create(path.c_str(), 0);
  EXPECT_EQ(stream68_open(none), -1);
  stream68_destroy(none);
  EXPECT_NE(access(path.c_str(), F_OK), 0);  // mode 0 creates nothing

  Stream68 *update = stream68_file_create(path.c_str(), STREAM68_READ | STREAM68_WRITE);
  EXPECT_EQ(stream68_open(update), -1);  // update needs an existing file
  stream68_destroy(update);

  Stream68 *w = stream68_file_create(path.c_str(), STREAM68_WRITE);
  EXPECT_STREQ(stream68_name(w), path.c_str());
  EXPECT_EQ(stream68_write(w, "abc", 3), -1);  // not open
  ASSERT_EQ(stream68_open(w), 0);
  EXPECT_EQ(stream68_write(w, "hello world", 11), 11);
  stream68_destroy(w);  // closes

  Stream68 *r = stream68_file_create(path.c_str(), STREAM68_READ);
  ASSERT_EQ(stream68_open(r), 0);
  EXPECT_EQ(stream68_seek(r, 6), 6);
  EXPECT_EQ(stream68_length(r), 11);
  EXPECT_EQ(stream68_tell(r), 6);  // length leaves the position
  char out[16] = {};
  EXPECT_EQ(stream68_read(r, out, 16), 5);
  EXPECT_STREQ(out, "world");
  EXPECT_EQ(stream68_seek(r, -11), 0);
  EXPECT_EQ(stream68_close(r), 0);
  EXPECT_EQ(stream68_close(r), -1);
  EXPECT_EQ(stream68_tell(r), -1);
  stream68_destroy(r);

  update = stream68_file_create(path.c_str(), STREAM68_READ | STREAM68_WRITE);
  ASSERT_EQ(stream68_open(update), 0);
  EXPECT_EQ(stream68_write(update, "J", 1), 1);
  stream68_destroy(update);
  FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char first = 0;
  ASSERT_EQ(std::fread(&first, 1, 1, f), 1u);
  std::fclose(f);
  EXPECT_EQ(first, 'J');
}

}  // namespace
