// Fixture of the loader tests: engine blocks checked for leaks, and the disk
// of the last load released before the next load and at the end.
#pragma once

#include "builders.h"
#include "vk68/stream68.h"
#include "vk68/vk68file.h"
#include "support/engine_fixture.h"

namespace vk68test {

class DiskTest : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    vk68_set_debug(nullptr);
  }
  void TearDown() override {
    vk68_free(disk_);
    vk68_set_debug(nullptr);
    EngineTest::TearDown();
  }
  // Loads from a memory stream; `kind` receives the format and packing.
  Disk68 *load(const Bytes &f, VK68fileKind *kind = nullptr) {
    vk68_free(disk_);
    Stream68 *s =
        stream68_mem_create(const_cast<uint8_t *>(f.data()), int32_t(f.size()), STREAM68_READ);
    disk_ = VK68file_load_kind(s, kind);
    stream68_destroy(s);
    return disk_;
  }
  Disk68 *disk_ = nullptr;
};

}  // namespace vk68test
