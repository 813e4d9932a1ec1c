// vk68: shows what a music file holds, converts it to a VK68 file, and packs
// or unpacks ICE files. Engine failures print the engine's messages, newest
// first, on stderr and exit with status 1.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "file/ice68.h"
#include "vk68/vk68file.h"
#include "vk68/vk68_msg.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

constexpr char kUsage[] =
    "usage: vk68 <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  info [--json] FILE     show the disk and its tracks (VK68, SNDH, ICE- or\n"
    "                         gzip-packed files)\n"
    "  convert IN OUT         write any loadable file as a VK68 file\n"
    "  ice pack IN OUT        pack a file with ICE\n"
    "  ice unpack IN OUT      unpack an ICE file\n"
    "  --help                 this text\n";

int usage_error() {
  std::fputs(kUsage, stderr);
  return kUsageError;
}

int engine_failure() {
  while (const char *message = vk68_error_get()) std::fprintf(stderr, "vk68: %s\n", message);
  return kFailure;
}

int failure(const std::string &what) {
  std::fprintf(stderr, "vk68: %s\n", what.c_str());
  return kFailure;
}

const char *format_name(int format) { return format == VK68FILE_FORMAT_SNDH ? "sndh" : "vk68"; }

const char *packing_name(int packing) {
  switch (packing) {
    case VK68FILE_PACKING_ICE: return "ice";
    case VK68FILE_PACKING_GZIP: return "gzip";
    default: return "none";
  }
}

Disk68 *load(const char *path, VK68fileKind *kind) {
  Stream68 *stream = stream68_file_create(path, STREAM68_READ);
  if (!stream) return nullptr;
  Disk68 *disk = VK68file_load_kind(stream, kind);
  stream68_destroy(stream);
  return disk;
}

nlohmann::ordered_json text(const char *s) {
  return s ? nlohmann::ordered_json(s) : nlohmann::ordered_json();
}

nlohmann::ordered_json disk_json(const char *path, const Disk68 &d, const VK68fileKind &kind) {
  nlohmann::ordered_json tracks = nlohmann::ordered_json::array();
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    tracks.push_back({
        {"number", i + 1},
        {"name", text(t.name)},
        {"author", text(t.author)},
        {"composer", text(t.composer)},
        {"replay", text(t.replay)},
        {"hardware", t.hardware},
        {"hardware_text", VK68file_hardware_text(t.hardware)},
        {"frequency", t.frequency},
        {"frames", t.frames},
        {"time_ms", t.time_ms},
        {"start_ms", t.start_ms},
        {"load_address", t.load_address},
        {"d0", t.d0},
        {"data_size", t.data_size},
    });
  }
  return {
      {"file", path},
      {"format", format_name(kind.format)},
      {"packing", packing_name(kind.packing)},
      {"name", text(d.name)},
      {"tracks", d.track_count},
      {"default_track", d.default_track + 1},
      {"total_ms", d.total_ms},
      {"hardware", d.hardware},
      {"hardware_text", VK68file_hardware_text(d.hardware)},
      {"track", tracks},
  };
}

const char *or_none(const char *s) { return s ? s : "(none)"; }

void print_disk(const char *path, const Disk68 &d, const VK68fileKind &kind) {
  std::printf("file:      %s\n", path);
  std::printf("format:    %s (packing: %s)\n", format_name(kind.format),
              packing_name(kind.packing));
  std::printf("name:      %s\n", or_none(d.name));
  std::printf("tracks:    %d (default %d)\n", d.track_count, d.default_track + 1);
  std::printf("time:      %s (%u ms)\n", vk68_long_time_str(nullptr, int(d.total_ms / 1000)),
              d.total_ms);
  std::printf("hardware:  %s\n", VK68file_hardware_text(d.hardware));
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    std::printf("\ntrack %d: %s\n", i + 1,
                vk68_time_str(nullptr, i + 1, int((t.time_ms + 999) / 1000)));
    std::printf("  name:      %s\n", or_none(t.name));
    std::printf("  author:    %s\n", or_none(t.author));
    std::printf("  composer:  %s\n", or_none(t.composer));
    std::printf("  replay:    %s\n", t.replay ? t.replay : "built-in");
    std::printf("  hardware:  %s\n", VK68file_hardware_text(t.hardware));
    std::printf("  rate:      %u Hz, %u frames, %u ms from %u ms\n", t.frequency, t.frames,
                t.time_ms, t.start_ms);
    std::printf("  data:      %u bytes at 0x%06X, d0 = %u\n", t.data_size, t.load_address, t.d0);
  }
}

int info(const std::vector<std::string> &args) {
  bool json = false;
  const char *path = nullptr;
  for (const std::string &a : args) {
    if (a == "--json") {
      json = true;
    } else if (!path && (a.empty() || a[0] != '-')) {
      path = a.c_str();
    } else {
      return usage_error();
    }
  }
  if (!path) return usage_error();
  VK68fileKind kind{};
  Disk68 *disk = load(path, &kind);
  if (!disk) return engine_failure();
  if (json) {
    std::cout << disk_json(path, *disk, kind)
                     .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
              << '\n';
  } else {
    print_disk(path, *disk, kind);
  }
  vk68_free(disk);
  return 0;
}

int convert(const std::vector<std::string> &args) {
  if (args.size() != 2) return usage_error();
  VK68fileKind kind{};
  Disk68 *disk = load(args[0].c_str(), &kind);
  if (!disk) return engine_failure();
  const int result = VK68file_save_path(args[1].c_str(), disk);
  vk68_free(disk);
  return result == 0 ? 0 : engine_failure();
}

bool read_file(const std::string &path, std::vector<char> &bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool write_file(const std::string &path, const void *bytes, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(bytes), std::streamsize(size));
  return bool(out.flush());
}

int ice(const std::vector<std::string> &args) {
  if (args.size() != 3 || (args[0] != "pack" && args[0] != "unpack")) return usage_error();
  const std::string &in = args[1];
  const std::string &out = args[2];
  int32_t size = 0;
  void *result = nullptr;
  if (args[0] == "pack") {
    std::vector<char> bytes;
    if (!read_file(in, bytes)) return failure("cannot read " + in);
    if (bytes.size() > size_t(INT32_MAX)) return failure(in + " is too large");
    result = ice_pack(bytes.data(), int32_t(bytes.size()), &size);
  } else {
    result = ice_load_file(in.c_str(), &size);
  }
  if (!result) return engine_failure();
  const bool written = write_file(out, result, size_t(size));
  vk68_free(result);
  return written ? 0 : failure("cannot write " + out);
}

}  // namespace

int main(int argc, char **argv) {
  vk68_set_alloc(std::malloc);
  vk68_set_free(std::free);
  if (argc < 2) return usage_error();
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "info") return info(args);
  if (command == "convert") return convert(args);
  if (command == "ice") return ice(args);
  std::fprintf(stderr, "vk68: unknown command '%s'\n", command.c_str());
  return usage_error();
}
