// Configuration reader under arbitrary file contents. A resource handler
// serves the input as config.txt from memory. After loading, every limited
// value must be within its range; saving the values and loading the saved
// text must give them back; and no engine block may be left behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/vk68_config.h"
#include "player/vk68_rsc.h"
#include "support/engine_hooks.h"
#include "vk68/vk68_msg.h"

namespace {

// The bytes the handler serves for reading, and the buffer it writes into.
std::vector<uint8_t> file_bytes;
std::vector<uint8_t> saved(4096);

Stream68 *memory_handler(int, const char *, int mode) {
  Stream68 *s = mode == STREAM68_WRITE
                    ? stream68_mem_create(saved.data(), int32_t(saved.size()), mode)
                    : stream68_mem_create(file_bytes.data(), int32_t(file_bytes.size()), mode);
  if (s && stream68_open(s) != 0) {
    stream68_destroy(s);
    s = nullptr;
  }
  return s;
}

void check_ranges(const int32_t *v) {
  for (int i = 0; i < VK68CONFIG_COUNT; ++i) {
    const VK68configKey *k = VK68config_key(i);
    if ((k->min || k->max) && (v[i] < k->min || v[i] > k->max)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  enginetest::install_counting_hooks();
  VK68rsc_set_handler(memory_handler);
  enginetest::messages();
  enginetest::live_blocks = 0;

  file_bytes.assign(data, data + size);
  int32_t values[VK68CONFIG_COUNT];
  if (VK68config_load(values) != 0) std::abort();
  check_ranges(values);

  std::fill(saved.begin(), saved.end(), 0);
  if (VK68config_save(values) != 0) std::abort();
  file_bytes.assign(saved.begin(),
                    saved.begin() + std::strlen(reinterpret_cast<char *>(saved.data())));
  int32_t again[VK68CONFIG_COUNT];
  if (VK68config_load(again) != 0 || std::memcmp(values, again, sizeof values) != 0) std::abort();

  // The number reader on the raw text, in every base it accepts.
  std::string text(reinterpret_cast<const char *>(data), size);
  for (int base : {0, 2, 8, 10, 16, 36}) {
    const char *end = nullptr;
    VK68config_strtol(text.c_str(), base, &end);
    if (end < text.c_str() || end > text.c_str() + text.size()) std::abort();
  }

  VK68rsc_set_share(nullptr);
  VK68rsc_set_user(nullptr);
  if (enginetest::live_blocks != 0) std::abort();
  return 0;
}
