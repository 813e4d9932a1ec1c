// vk68 import MODULE [-o OUT.vk68] [--name TEXT] [--author TEXT]: an Amiga
// module as a VK68 file of one track played by our own replay.
#include <cstdio>

#include "file/mod68.h"
#include "tool.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {

namespace {

// song.mod -> song.vk68; other names get ".vk68" added.
std::string default_output(const std::string &in) {
  const size_t slash = in.find_last_of('/');
  const size_t dot = in.find_last_of('.');
  const bool has_mod = dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
                       (in.compare(dot, std::string::npos, ".mod") == 0 ||
                        in.compare(dot, std::string::npos, ".MOD") == 0);
  return (has_mod ? in.substr(0, dot) : in) + ".vk68";
}

std::string base_name(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int cmd_import(const Args &args) {
  CommandLine line;
  if (!parse(args, {}, {"-o", "--name", "--author"}, line) ||
      !expect_operands(line, {"module file"}))
    return kExitUsage;
  const std::string &in = line.operands[0];
  const std::string out = line.has("-o") ? line.options.at("-o") : default_output(in);
  Bytes bytes;
  if (!read_file(in, bytes)) return kExitFailure;
  Mod68Info info;
  if (mod68_check(bytes.data(), int32_t(bytes.size()), &info) < 0) {
    const char *why = vk68_error_get();
    return failure(escaped(in) + ": " + (why ? why : "not an Amiga module"));
  }
  if (info.missing > 0)
    std::fprintf(stderr,
                 "vk68: warning: %s: sample data cut short by %d bytes, played as silence\n",
                 escaped(in).c_str(), int(info.missing));
  std::string name = line.has("--name") ? line.options.at("--name") : info.title;
  if (name.empty()) name = base_name(in);
  const std::string author = line.has("--author") ? line.options.at("--author") : "";
  const Mod68Track track{0, name.c_str()};
  Disk68 *disk = mod68_disk(bytes.data(), int32_t(bytes.size()), name.c_str(),
                            author.empty() ? nullptr : author.c_str(), &track, 1);
  if (!disk) return engine_failure();
  const uint32_t ms = disk->tracks[0].time_ms;
  const int status = save_disk(*disk, in, out);
  vk68_free(disk);
  if (status != kExitOk) return status;
  std::string what(1, '"');
  what += escaped(name) + "\", " + exact_time(ms);
  report_written(out, what);
  return kExitOk;
}

}  // namespace vk68tool
