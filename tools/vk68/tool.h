// Shared pieces of the vk68 command: exit statuses, argument parsing,
// reporting, and loading and writing files. Each command lives in its own
// cmd_<name>.cpp and has one line in the command table of main.cpp.
#ifndef TOOLS_VK68_TOOL_H
#define TOOLS_VK68_TOOL_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vk68/vk68file.h"

namespace vk68tool {

using Args = std::vector<std::string>;

// Exit statuses: success, a failure (I/O or engine), a usage mistake.
enum { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// A command's words split into options and operands. Flags are stored with
// an empty value; "--" ends the options.
struct CommandLine {
  std::map<std::string, std::string> options;
  std::vector<std::string> operands;

  bool has(const std::string &option) const { return options.count(option) != 0; }
};

// Splits `args`; `flags` are the options without a value, `valued` those
// that take the next word. On a mistake reports it and returns false (the
// command then returns kExitUsage).
bool parse(const Args &args, const std::vector<std::string> &flags,
           const std::vector<std::string> &valued, CommandLine &out);
// Checks that the operands are exactly the ones named (e.g. "input file",
// "output file"); reports "missing <name>" or "unexpected argument" and
// returns false otherwise.
bool expect_operands(const CommandLine &line, const std::vector<std::string> &names);

// "vk68: <what>" and a hint to --help on stderr; returns kExitUsage.
int usage_error(const std::string &what);
// "vk68: <what>" on stderr; returns kExitFailure.
int failure(const std::string &what);
// Prints the engine's messages on stderr and returns kExitFailure.
int engine_failure();

// A text taken from a file, with control characters escaped so that
// printing it cannot drive the terminal.
std::string escaped(const char *text);

// Loads a music file; reports why and returns null when it cannot.
Disk68 *load_disk(const std::string &path, VK68fileKind *kind);
// Whole-file reading and writing; each reports the file and the reason and
// returns false on failure.
bool read_file(const std::string &path, std::vector<uint8_t> &bytes);
bool write_file(const std::string &path, const void *bytes, size_t size);

}  // namespace vk68tool

#endif
