// Shared pieces of the vk68 command: argument parsing, reporting, files.
#include "tool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "vk68/vk68_msg.h"

namespace vk68tool {
namespace {

constexpr char kMemPrefix[] = "mem://";
thread_local std::vector<std::string> *t_failures = nullptr;
constexpr char kPackedContent[] = "packed content";

// Length of the memory stream name at `at` ("mem://" + two pointers as the
// C library prints them, "0x..." or "(nil)", joined by ':'), or 0.
size_t mem_name_length(const std::string &text, size_t at) {
  if (text.compare(at, sizeof kMemPrefix - 1, kMemPrefix) != 0) return 0;
  size_t i = at + sizeof kMemPrefix - 1;
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      if (text[i] != ':') return 0;
      ++i;
    }
    if (text.compare(i, 5, "(nil)") == 0) {
      i += 5;
    } else if (text.compare(i, 2, "0x") == 0) {
      i += 2;
      while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
    } else {
      return 0;
    }
  }
  return i - at;
}

// One engine message as the user should read it.
std::string user_text(const std::string &message, const std::string &stream,
                      const std::string &path) {
  std::string out;
  for (size_t i = 0; i < message.size();) {
    const size_t n = mem_name_length(message, i);
    if (n == 0) {
      out += message[i++];
    } else {
      out += !stream.empty() && message.compare(i, n, stream) == 0 ? path : kPackedContent;
      i += n;
    }
  }
  return out;
}

// Length of the well-formed UTF-8 sequence at `at` (1 to 4 bytes), or 0
// when the bytes there are not one: a stray continuation byte, a sequence
// cut short, an overlong form, a surrogate or a code past U+10FFFF.
size_t utf8_length(const std::string &text, size_t at) {
  auto byte = [&](size_t k) {
    return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0;
  };
  const unsigned char c = byte(0);
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;   // overlong
    if (c == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t k = 2; k < n; ++k)
    if ((byte(k) & 0xC0) != 0x80) return 0;
  return n;
}

// Room for everything the writer can put in a file: the magic, a header for
// every chunk, every text with its terminator, every block of data once.
size_t saved_size_bound(const Disk68 &d) {
  constexpr size_t kMagicAndBase = 64;
  constexpr size_t kChunksPerTrack = 14;  // MU MN AN CN RE D0 AT FR TI FQ TY DA, with margin
  constexpr size_t kChunk = 12;           // header and a 4-byte number
  auto text = [](const char *s) { return s ? std::strlen(s) + 1 : 0; };
  size_t bound = kMagicAndBase + 4 * kChunk + text(d.name);
  const uint8_t *data = nullptr;
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    bound += kChunksPerTrack * kChunk + text(t.name) + text(t.author) + text(t.composer) +
             text(t.replay);
    if (t.data != data) bound += t.data_size;
    data = t.data;
  }
  return bound;
}

}  // namespace

std::string quoted(const std::string &path) {
  std::string out(1, '\'');
  out += escaped(path);
  return out += '\'';
}

bool same_file(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string system_error(const std::string &what, const std::string &path) {
  return what + " " + quoted(path) + ": " + std::strerror(errno);
}

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
      return usage_error("unknown option '" + escaped(a) + "'"), false;
    }
  }
  return true;
}

bool expect_operands(const CommandLine &line, const std::vector<std::string> &names) {
  if (line.operands.size() < names.size())
    return usage_error("missing " + names[line.operands.size()]), false;
  if (line.operands.size() > names.size())
    return usage_error("unexpected argument '" + escaped(line.operands[names.size()]) + "'"), false;
  return true;
}

int usage_error(const std::string &what) {
  std::fprintf(stderr, "vk68: %s\nTry 'vk68 --help' for more information.\n", what.c_str());
  return kExitUsage;
}

int failure(const std::string &what) {
  if (t_failures)
    t_failures->push_back("vk68: " + what);
  else
    std::fprintf(stderr, "vk68: %s\n", what.c_str());
  return kExitFailure;
}

void capture_failures(std::vector<std::string> *sink) { t_failures = sink; }

int engine_failure(Stream68 *stream, const std::string &path) {
  std::vector<std::string> newest_first;
  while (const char *message = vk68_error_get()) newest_first.emplace_back(message);
  const char *name = stream68_name(stream);
  const std::string stream_name = name ? name : "";
  for (auto m = newest_first.rbegin(); m != newest_first.rend(); ++m)
    failure(escaped(user_text(*m, stream_name, path)));
  return kExitFailure;
}

std::string escaped(const char *text) { return escaped(std::string(text ? text : "")); }

std::string escaped(const std::string &text) {
  std::string out;
  auto hex = [&out](unsigned char c) {
    char code[5];
    std::snprintf(code, sizeof code, "\\x%02X", c);
    out += code;
  };
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = utf8_length(text, i);
    if (c == '\\') {
      out += "\\\\";
    } else if (n == 0 || c < 0x20 || c == 0x7F) {
      hex(c);  // C0 and DEL, and bytes that are not UTF-8
    } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      hex(c);  // C1 controls, U+0080 to U+009F
      hex(static_cast<unsigned char>(text[i + 1]));
    } else {
      out.append(text, i, n);
    }
    i += n ? n : 1;
  }
  return out;
}

int whole_seconds(uint32_t ms) { return int((uint64_t{ms} + 999) / 1000); }

std::string exact_time(uint64_t ms) {
  char text[48];
  const auto part = [ms](uint64_t unit, uint64_t count) {
    return static_cast<unsigned long long>(ms / unit % count);
  };
  if (ms >= 3600000)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu",
                  static_cast<unsigned long long>(ms / 3600000), part(60000, 60), part(1000, 60),
                  part(1, 1000));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu.%03llu", part(60000, 60), part(1000, 60),
                  part(1, 1000));
  return text;
}

bool read_file(const std::string &path, Bytes &bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(system_error("cannot read", path)), false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (ok && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    ok = false;
  } else if (ok && S_ISREG(st.st_mode) && st.st_size > INT32_MAX) {
    ::close(fd);
    return failure("cannot read " + quoted(path) + ": file too large (" +
                   std::to_string(st.st_size) + " bytes, at most " + std::to_string(INT32_MAX) +
                   ")"),
           false;
  }
  bytes.clear();
  uint8_t block[65536];
  while (ok) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    bytes.insert(bytes.end(), block, block + got);
    if (bytes.size() > size_t(INT32_MAX)) {
      errno = EFBIG;
      ok = false;
    }
  }
  if (!ok) failure(system_error("cannot read", path));
  ::close(fd);
  return ok;
}

bool open_output(const std::string &path, const std::string &input, Output &out) {
  out = Output{path};
  if (path == "-") {
    if (isatty(STDOUT_FILENO))
      return failure("cannot write to standard output: it is a terminal"), false;
    out.file = stdout;
    return true;
  }
  if (same_file(input, path))
    return failure("cannot write " + quoted(path) + ": it is the input file"), false;
  // A new file, made here, or else the existing one opened in place.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  out.created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0) {
    out.seekable = S_ISREG(st.st_mode);
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.file = fdopen(fd, "wb");
  }
  if (!out.file) {
    failure(system_error("cannot write", path));
    if (fd >= 0) ::close(fd);
    close_output(out, false);
    return false;
  }
  return true;
}

bool write_output(Output &out, const void *bytes, size_t size) {
  if (std::fwrite(bytes, 1, size, out.file) == size) return true;
  return failure(system_error("cannot write", out.path)), false;
}

bool close_output(Output &out, bool ok) {
  if (out.file) {
    errno = 0;
    bool done = std::fflush(out.file) == 0 && !std::ferror(out.file);
    int error = done ? 0 : errno;
    if (out.file != stdout && std::fclose(out.file) != 0 && done) {
      done = false;
      error = errno;
    }
    out.file = nullptr;
    if (ok && !done) {
      errno = error ? error : EIO;
      failure(system_error("cannot write", out.path));
      ok = false;
    }
  }
  // Only the regular file made in this run, and only while the name still
  // leads to it.
  struct stat st;
  if (!ok && out.created && lstat(out.path.c_str(), &st) == 0 && st.st_dev == out.device &&
      st.st_ino == out.inode)
    unlink(out.path.c_str());
  return ok;
}

void report_written(const std::string &path, const std::string &what) {
  if (path == "-")
    std::fprintf(stderr, "standard output: %s\n", what.c_str());
  else
    std::printf("%s: %s\n", escaped(path).c_str(), what.c_str());
}

bool write_file(const std::string &path, const std::string &input, const void *bytes, size_t size) {
  Output out;
  if (!open_output(path, input, out)) return false;
  return close_output(out, write_output(out, bytes, size));
}

Disk68 *load_disk(const std::string &path, VK68fileKind *kind) {
  Bytes bytes;
  if (!read_file(path, bytes)) return nullptr;
  if (bytes.empty()) return failure(escaped(path) + ": empty file"), nullptr;
  Stream68 *stream = stream68_mem_create(bytes.data(), int32_t(bytes.size()), STREAM68_READ);
  Disk68 *disk = VK68file_load_kind(stream, kind);
  if (!disk) engine_failure(stream, path);
  stream68_destroy(stream);
  return disk;
}

int save_disk(const Disk68 &disk, const std::string &in, const std::string &out) {
  const size_t bound = saved_size_bound(disk);
  if (bound > size_t(INT32_MAX)) return failure(escaped(in) + ": too large to convert");
  Bytes file(bound);
  Stream68 *stream = stream68_mem_create(file.data(), int32_t(bound), STREAM68_WRITE);
  const int saved = VK68file_save(stream, &disk);
  const int status = saved == 0 ? kExitOk : engine_failure(stream, out);
  stream68_destroy(stream);
  if (status != kExitOk) return status;
  // The file is the magic and the base chunk, whose size the writer set.
  constexpr size_t kMagicSize = 56;
  const uint8_t *base_size = file.data() + kMagicSize + 4;
  const size_t length = kMagicSize + (base_size[0] | base_size[1] << 8 | base_size[2] << 16 |
                                      size_t{base_size[3]} << 24);
  return write_file(out, in, file.data(), length) ? kExitOk : kExitFailure;
}

}  // namespace vk68tool
