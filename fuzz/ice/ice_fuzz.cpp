// ICE depacker and packer under arbitrary input:
//  - the input (after two bytes that give the output size U, below 64 KiB)
//    is a packed stream behind a valid header, depacked into a block of
//    exactly U bytes, so any read or write outside the buffers is caught;
//  - the whole input goes through ice_load as a file from a memory stream;
//  - the input is packed and must depack to itself.
// Every engine block must be released again after each input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "file/ice68.h"
#include "support/engine_hooks.h"
#include "vk68/vk68_msg.h"

namespace {

void put_be32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  enginetest::install_counting_hooks();
  enginetest::messages();
  enginetest::live_blocks = 0;

  if (size >= 2) {
    const uint32_t u = uint32_t(data[0]) << 8 | data[1];
    const size_t stream = size - 2;
    std::vector<uint8_t> packed(12 + stream);
    std::memcpy(packed.data(), "ICE!", 4);
    put_be32(packed.data() + 4, uint32_t(packed.size()));
    put_be32(packed.data() + 8, u);
    if (stream) std::memcpy(packed.data() + 12, data + 2, stream);
    std::vector<uint8_t> out(u);
    int r = ice_depack(out.data(), packed.data());
    if (r != 0 && r != -1) std::abort();
  }

  std::vector<uint8_t> file(data, data + size);
  if (Stream68 *s = stream68_mem_create(file.data(), int32_t(size), STREAM68_READ)) {
    if (stream68_open(s) == 0) {
      int32_t n = -1;
      void *out = ice_load(s, &n);
      if (!out && n != 0) std::abort();
      vk68_free(out);
    }
    stream68_destroy(s);
  }

  int32_t psize = 0;
  if (void *packed = ice_pack(data, int32_t(size), &psize)) {
    std::vector<uint8_t> back(size + 1);
    if (ice_depacked_size(packed, nullptr) != int32_t(size) ||
        ice_depack(back.data(), packed) != 0 || std::memcmp(back.data(), data, size) != 0)
      std::abort();
    vk68_free(packed);
  } else if (size <= 33037) {
    std::abort();  // only longer data can lack a place for a copy
  }

  if (enginetest::live_blocks != 0) std::abort();
  return 0;
}
