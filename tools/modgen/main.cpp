// modgen: turns a module text description into a ProTracker module file.
// Usage: modgen DESCRIPTION.txt OUT.mod
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "modtext.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fputs("usage: modgen DESCRIPTION OUT.mod\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "modgen: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  modgen::Module module;
  std::string error;
  if (!modgen::parse_module(text, module, error)) {
    std::fprintf(stderr, "%s:%s\n", argv[1], error.c_str() + 5);  // "file:N: what"
    return 1;
  }
  const std::vector<uint8_t> bytes = modgen::build_module(module);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "modgen: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
