// Shared pieces of the vk68 command: exit statuses, argument parsing,
// reporting, and loading and writing files. Each command lives in its own
// cmd_<name>.cpp and has one line in the command table of main.cpp.
//
// Reporting rules: every message goes to stderr as "vk68: ...", the cause
// before its consequence; a file is named as the user gave it (escaped), and
// bytes unpacked from it as "packed content". Usage mistakes are one line
// and a hint to --help (status 2); everything else that fails is status 1.
#ifndef TOOLS_VK68_TOOL_H
#define TOOLS_VK68_TOOL_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "vk68/stream68.h"
#include "vk68/vk68file.h"

namespace vk68tool {

using Args = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

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
// "output file"); reports "missing <name>" or "unexpected argument '...'"
// and returns false otherwise.
bool expect_operands(const CommandLine &line, const std::vector<std::string> &names);

// "vk68: <what>" and a hint to --help on stderr; returns kExitUsage.
int usage_error(const std::string &what);
// "vk68: <what>" on stderr; returns kExitFailure.
int failure(const std::string &what);
// While a thread has a sink (null: none), failure() adds its lines there
// instead of printing them, so that a batch can print each file's lines
// together and in order.
void capture_failures(std::vector<std::string> *sink);
// A path as messages show it: escaped, between single quotes.
std::string quoted(const std::string &path);
// Whether two paths name the same file (device and inode).
bool same_file(const std::string &a, const std::string &b);
// "<what> '<path>': <the system's reason for errno>", the path escaped.
std::string system_error(const std::string &what, const std::string &path);
// Prints the engine's messages, oldest (the cause) first, and returns
// kExitFailure. `stream` is the engine stream that stood for `path`: its
// name is shown as the path; every other memory stream is "packed content".
int engine_failure(Stream68 *stream = nullptr, const std::string &path = "");

// Text from a file or the user, safe to print: control characters (C0, DEL,
// C1) and bytes that are not UTF-8 become \xNN, a backslash \\; UTF-8
// characters pass whole.
std::string escaped(const std::string &text);
std::string escaped(const char *text);

// A time in whole seconds, rounded up as the engine's own track time texts
// are (1.001 s shows as 2 s): every whole-second time the command shows.
int whole_seconds(uint32_t ms);
// An exact length: "m:ss.mmm", or "h:mm:ss.mmm" from an hour on.
std::string exact_time(uint64_t ms);

// Reads a whole file; a directory, a file the engine cannot address (over
// INT32_MAX bytes) or any system failure is reported with the file's name.
bool read_file(const std::string &path, Bytes &bytes);
// A file a command writes. "-" is standard output. A named file is written
// in place: a device, a pipe or a file that exists stays what it is, and
// only a regular file that this run created is removed when the command
// fails.
struct Output {
  std::string path;  // as the user gave it
  std::FILE *file = nullptr;
  bool seekable = false;  // a regular file opened by name: its start can be rewritten
  bool created = false;   // a regular file made by this run, removed on a failure
  dev_t device = 0;       // where the made file is, so that only it is removed
  ino_t inode = 0;
};
// Opens `path` for writing; refuses the file that `input` names (the same
// device and inode, by whatever path), and a terminal as standard output.
// Reports why and returns false when it cannot.
bool open_output(const std::string &path, const std::string &input, Output &out);
// Writes all the bytes; reports a failure.
bool write_output(Output &out, const void *bytes, size_t size);
// Closes the output (standard output is only flushed). When `ok` is false,
// or the close fails, a file this run created is removed. True when every
// byte was written.
bool close_output(Output &out, bool ok);
// The line a command prints on what it wrote: "<file>: <what>" on stdout,
// or on stderr when the file went to standard output.
void report_written(const std::string &path, const std::string &what);
// A whole file read from `input` written to `path` with the three above.
bool write_file(const std::string &path, const std::string &input, const void *bytes, size_t size);
// Reads a file and loads it as music (`kind`, when not null, tells what it
// was); reports why and returns null when it cannot ("empty file", "not a
// music file (...)", the engine's messages).
Disk68 *load_disk(const std::string &path, VK68fileKind *kind);
// Writes a disk as a VK68 file. The file is made in memory first, so that a
// disk the writer refuses is reported before `out` is written; `in` names
// where the disk came from (never overwritten). Returns an exit status.
int save_disk(const Disk68 &disk, const std::string &in, const std::string &out);

}  // namespace vk68tool

#endif
