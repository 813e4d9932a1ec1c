// vk68 convert IN OUT: any loadable music file written as a VK68 file.
#include "tool.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {

int cmd_convert(const Args &args) {
  CommandLine line;
  if (!parse(args, {}, {}, line) || !expect_operands(line, {"input file", "output file"}))
    return kExitUsage;
  VK68fileKind kind{};
  Disk68 *disk = load_disk(line.operands[0], &kind);
  if (!disk) return kExitFailure;
  const int result = VK68file_save_path(line.operands[1].c_str(), disk);
  vk68_free(disk);
  return result == 0 ? kExitOk : engine_failure();
}

}  // namespace vk68tool
