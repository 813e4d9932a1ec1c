// Shared pieces of the vk68 command: argument parsing, reporting, files.
#include "tool.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "vk68/vk68_msg.h"

namespace vk68tool {

bool parse(const Args &args, const std::vector<std::string> &flags,
           const std::vector<std::string> &valued, CommandLine &out) {
  auto known = [](const std::vector<std::string> &list, const std::string &word) {
    for (const std::string &w : list)
      if (w == word) return true;
    return false;
  };
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (options_done || a.size() < 2 || a[0] != '-') {
      out.operands.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (known(flags, a)) {
      out.options[a] = "";
    } else if (known(valued, a)) {
      if (i + 1 == args.size()) return usage_error("option '" + a + "' needs a value"), false;
      out.options[a] = args[++i];
    } else {
      return usage_error("unknown option '" + a + "'"), false;
    }
  }
  return true;
}

bool expect_operands(const CommandLine &line, const std::vector<std::string> &names) {
  if (line.operands.size() < names.size())
    return usage_error("missing " + names[line.operands.size()]), false;
  if (line.operands.size() > names.size())
    return usage_error("unexpected argument '" + line.operands[names.size()] + "'"), false;
  return true;
}

int usage_error(const std::string &what) {
  std::fprintf(stderr, "vk68: %s\nTry 'vk68 --help' for more information.\n", what.c_str());
  return kExitUsage;
}

int failure(const std::string &what) {
  std::fprintf(stderr, "vk68: %s\n", what.c_str());
  return kExitFailure;
}

int engine_failure() {
  while (const char *message = vk68_error_get()) std::fprintf(stderr, "vk68: %s\n", message);
  return kExitFailure;
}

std::string escaped(const char *text) { return text ? text : ""; }

Disk68 *load_disk(const std::string &path, VK68fileKind *kind) {
  Stream68 *stream = stream68_file_create(path.c_str(), STREAM68_READ);
  if (!stream) return nullptr;
  Disk68 *disk = VK68file_load_kind(stream, kind);
  stream68_destroy(stream);
  if (!disk) engine_failure();
  return disk;
}

bool read_file(const std::string &path, std::vector<uint8_t> &bytes) {
  std::ifstream in(path, std::ios::binary);
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in || in.bad()) return failure("cannot read " + path), false;
  return true;
}

bool write_file(const std::string &path, const void *bytes, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(bytes), std::streamsize(size));
  if (!out.flush()) return failure("cannot write " + path), false;
  return true;
}

}  // namespace vk68tool
