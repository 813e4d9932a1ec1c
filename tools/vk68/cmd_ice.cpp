// vk68 ice pack|unpack IN OUT: ICE packing and unpacking of any file.
#include <cstdint>

#include "file/ice68.h"
#include "tool.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {

int cmd_ice(const Args &args) {
  CommandLine line;
  if (!parse(args, {}, {}, line) || !expect_operands(line, {"action", "input file", "output file"}))
    return kExitUsage;
  const std::string &action = line.operands[0];
  const std::string &in = line.operands[1];
  if (action != "pack" && action != "unpack")
    return usage_error("unknown ice action '" + escaped(action) + "' (pack or unpack)");
  Bytes bytes;
  if (!read_file(in, bytes)) return kExitFailure;
  int32_t size = 0;
  void *result = nullptr;
  if (action == "pack") {
    result = ice_pack(bytes.data(), int32_t(bytes.size()), &size);
    if (!result) return engine_failure();
  } else {
    Stream68 *stream = stream68_mem_create(bytes.data(), int32_t(bytes.size()), STREAM68_READ);
    if (stream68_open(stream) == 0) result = ice_load(stream, &size);
    if (!result) engine_failure(stream, in);
    stream68_destroy(stream);
    if (!result) return kExitFailure;
  }
  const bool written = write_file(line.operands[2], in, result, size_t(size));
  vk68_free(result);
  return written ? kExitOk : kExitFailure;
}

}  // namespace vk68tool
