// vk68 info [--json] FILE: what a music file holds, as text or JSON.
#include <nlohmann/json.hpp>

#include <cstdio>

#include "tool.h"
#include "vk68/vk68_msg.h"

namespace vk68tool {
namespace {

const char *format_name(int format) { return format == VK68FILE_FORMAT_SNDH ? "sndh" : "vk68"; }

const char *packing_name(int packing) {
  switch (packing) {
    case VK68FILE_PACKING_ICE: return "ice";
    case VK68FILE_PACKING_GZIP: return "gzip";
    default: return "none";
  }
}

nlohmann::ordered_json text(const char *s) {
  return s ? nlohmann::ordered_json(s) : nlohmann::ordered_json();
}

nlohmann::ordered_json disk_json(const std::string &path, const Disk68 &d,
                                 const VK68fileKind &kind) {
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

std::string shown(const char *s) { return s ? escaped(s) : "(none)"; }

void print_disk(const std::string &path, const Disk68 &d, const VK68fileKind &kind) {
  std::printf("file:      %s\n", escaped(path).c_str());
  std::printf("format:    %s (packing: %s)\n", format_name(kind.format),
              packing_name(kind.packing));
  std::printf("name:      %s\n", shown(d.name).c_str());
  std::printf("tracks:    %d (default %d)\n", d.track_count, d.default_track + 1);
  std::printf("time:      %s (%u ms)\n", vk68_long_time_str(nullptr, whole_seconds(d.total_ms)),
              d.total_ms);
  std::printf("hardware:  %s\n", VK68file_hardware_text(d.hardware));
  for (int i = 0; i < d.track_count; ++i) {
    const Track68 &t = d.tracks[i];
    std::printf("\ntrack %d: %s\n", i + 1, vk68_time_str(nullptr, i + 1, whole_seconds(t.time_ms)));
    std::printf("  name:      %s\n", shown(t.name).c_str());
    std::printf("  author:    %s\n", shown(t.author).c_str());
    std::printf("  composer:  %s\n", shown(t.composer).c_str());
    std::printf("  replay:    %s\n", t.replay ? escaped(t.replay).c_str() : "built-in");
    std::printf("  hardware:  %s\n", VK68file_hardware_text(t.hardware));
    std::printf("  rate:      %u Hz, %u frames, %u ms from %u ms\n", t.frequency, t.frames,
                t.time_ms, t.start_ms);
    std::printf("  data:      %u bytes at 0x%06X, d0 = %u\n", t.data_size, t.load_address, t.d0);
  }
}

}  // namespace

int cmd_info(const Args &args) {
  CommandLine line;
  if (!parse(args, {"--json"}, {}, line) || !expect_operands(line, {"input file"}))
    return kExitUsage;
  const std::string &path = line.operands[0];
  VK68fileKind kind{};
  Disk68 *disk = load_disk(path, &kind);
  if (!disk) return kExitFailure;
  if (line.has("--json")) {
    const std::string json =
        disk_json(path, *disk, kind).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", json.c_str());
  } else {
    print_disk(path, *disk, kind);
  }
  vk68_free(disk);
  return kExitOk;
}

}  // namespace vk68tool
