// vk68 convert IN OUT: any loadable music file written as a VK68 file.
#include "tool.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {

int cmd_convert(const Args &args) {
  CommandLine line;
  if (!parse(args, {}, {}, line) || !expect_operands(line, {"input file", "output file"}))
    return kExitUsage;
  Disk68 *disk = load_disk(line.operands[0], nullptr);
  if (!disk) return kExitFailure;
  const int status = save_disk(*disk, line.operands[0], line.operands[1]);
  vk68_free(disk);
  return status;
}

}  // namespace vk68tool
