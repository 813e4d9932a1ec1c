// Fixture of the loader tests: loads from memory streams, releases the disk
// of the last load, and renders a disk as text so that two disks compare.
#ifndef TESTS_FILE_VK68_DISK_TEST_H
#define TESTS_FILE_VK68_DISK_TEST_H

#include <string>

#include "support/engine_fixture.h"
#include "support/music_files.h"
#include "vk68/vk68file.h"

namespace musictest {

class DiskTest : public enginetest::EngineTest {
 protected:
  void TearDown() override {
    vk68_free(disk_);
    EngineTest::TearDown();
  }
  Disk68 *load(const std::string &f, VK68fileKind *kind = nullptr) {
    vk68_free(disk_);
    Stream68 *s = stream68_mem_create(const_cast<char *>(f.data()), int32_t(f.size()), 1);
    disk_ = VK68file_load_kind(s, kind);
    stream68_destroy(s);
    return disk_;
  }
  Disk68 *disk_ = nullptr;
};

// Every field of a disk and its tracks; "=" marks data shared with the
// track before.
inline std::string describe(const Disk68 &d) {
  auto text = [](const char *s) { return (s ? std::string(s) : "null") + "|"; };
  std::string out = text(d.name) + " default " + std::to_string(d.default_track) + " total " +
                    std::to_string(d.total_ms) + " hw " + std::to_string(d.hardware) + "\n";
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    for (uint32_t v : {t.d0, t.load_address, t.frequency, t.start_ms, t.time_ms, t.frames,
                       t.hardware, t.data_size})
      out += std::to_string(v) + " ";
    out += text(t.name) + text(t.author) + text(t.composer) + text(t.replay);
    if (i > 0 && t.data == d.tracks[i - 1].data) out += " =";
    out += ' ';
    out.append(reinterpret_cast<const char *>(t.data), t.data_size) += '\n';
  }
  return out;
}

}  // namespace musictest

#endif
