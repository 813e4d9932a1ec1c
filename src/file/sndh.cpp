// SNDH header reader: scans the tags after "SNDH" and fills a disk.
//
// Tags read (all multi-byte numbers are big-endian):
//   "TITL" text        disk name
//   "COMM" text        author of the first track (later ones inherit it)
//   "RIPP"/"CONV"/"YEAR" text   traced only
//   "MuMo", "**"       4 bytes, skipped
//   "##" digits        sub-tune count (at most 99)
//   "TA"/"TB"/"TC"/"TD" digits  replay rate in Hz from a timer
//   "!V" digits        VBL replay rate, used only while no timer rate is set
//   "TIME" + one 16-bit count of seconds per sub-tune (0: default time)
//   "!#SN" + one 16-bit offset per sub-tune, from the tag to the sub-tune's
//          zero-terminated name
//   "HDNS"             end of the header
// Eight bytes in a row that start no tag also end the scan.
#include "file/sndh.h"

#include <cstring>

#include "vk68/vk68_msg.h"

namespace {

constexpr int32_t kFirstSignatureOffset = 6;  // after at least three branches
constexpr int kMaxUnknown = 8;
constexpr char kSndhReplay[] = "sndh_ice";

struct Scan {
  const uint8_t *b;
  int32_t size;

  bool is(int32_t c, const char *tag) const {
    const int32_t n = static_cast<int32_t>(std::strlen(tag));
    return c + n <= size && std::memcmp(b + c, tag, n) == 0;
  }

  uint32_t be16(int32_t at) const { return (uint32_t{b[at]} << 8) | b[at + 1]; }

  // Position just after the zero-terminated text at `at`; a text that runs
  // to the end of the file ends there (the spare zero bytes terminate it).
  int32_t text_end(int32_t at) const {
    const void *zero = std::memchr(b + at, 0, size - at);
    return zero ? static_cast<int32_t>(static_cast<const uint8_t *>(zero) - b) + 1 : size;
  }

  // Decimal digits from `at` up to `end`; the value saturates instead of
  // wrapping. Returns the position of the first non-digit.
  int32_t decimal(int32_t at, int32_t end, uint32_t *value) const {
    uint32_t v = 0;
    for (; at < end && b[at] >= '0' && b[at] <= '9'; ++at) {
      const uint32_t digit = b[at] - '0';
      v = v > (UINT32_MAX - digit) / 10 ? UINT32_MAX : v * 10 + digit;
    }
    *value = v;
    return at;
  }

  // Index `i` of the 16-bit table that follows the 4-character tag at
  // `tag`, or -1 when the entry lies outside the file.
  int32_t table(int32_t tag, int32_t i) const {
    const int32_t at = tag + 4 + 2 * i;
    return at + 2 <= size ? static_cast<int32_t>(be16(at)) : -1;
  }
};

// Start of sub-tune i's name, or -1 when the table gives none.
int32_t name_position(const Scan &s, int32_t tag, int32_t i) {
  const int32_t offset = s.table(tag, i);
  if (offset <= 0 || tag + offset >= s.size || s.b[tag + offset] == 0) return -1;
  return tag + offset;
}

}  // namespace

extern "C" int sndh_read(Disk68 *disk, const uint8_t *data, int32_t length) {
  vk68_debug("SNDH_INFO\n");
  Track68 &first = disk->tracks[0];
  first.data = data;
  first.data_size = static_cast<uint32_t>(length);
  disk->track_count = 0;

  const Scan s{data, length};
  int32_t c = -1;
  for (int32_t k = kFirstSignatureOffset; k + 4 <= length; ++k) {
    if (s.is(k, "SNDH")) {
      c = k + 4;
      break;
    }
  }
  if (c < 0) {
    vk68_debug("NO MAGIC ! What the heck\n");
    return -1;
  }
  vk68_debug("SNDH FIRST TAG at %d\n", c);

  int unknown = 0;
  uint32_t rate = 0;
  uint32_t count = 0;
  int32_t time_tag = -1;
  int32_t names_tag = -1;
  const int32_t digits_end = length - 4;
  while (c < length - 4) {
    const int32_t at = c;
    if (s.is(c, "COMM") || s.is(c, "TITL") || s.is(c, "RIPP") || s.is(c, "CONV") ||
        s.is(c, "YEAR")) {
      const char *text = reinterpret_cast<const char *>(data + c + 4);
      // An empty text counts as missing, as in VK68 files.
      const char *value = *text ? text : nullptr;
      if (s.is(c, "COMM")) {
        vk68_debug("FOUND COMM [%s]\n", text);
        first.author = value;
      } else if (s.is(c, "TITL")) {
        vk68_debug("FOUND TITL [%s]\n", text);
        disk->name = value;
      } else {
        vk68_debug("FOUND RIPP or CONV [%s]\n", text);
      }
      c = s.text_end(c + 4);
    } else if (s.is(c, "MuMo")) {
      vk68_debug("FOUND MuMo (don't know what to do ith that)\n");
      c += 4;
    } else if (s.is(c, "TIME")) {
      vk68_debug("FOUND TIME [%d]\n", static_cast<int>(count));
      time_tag = c;
      c += 4 + 2 * static_cast<int32_t>(count);
    } else if (s.is(c, "!#SN")) {
      names_tag = c;
      c += 4 + 2 * static_cast<int32_t>(count);
      // The names usually follow the offset table: step over those that do.
      for (uint32_t i = 0; i < count && c < length; ++i) {
        if (name_position(s, names_tag, static_cast<int32_t>(i)) == c) c = s.text_end(c);
      }
    } else if (s.is(c, "HDNS")) {
      break;
    } else if (s.is(c, "##")) {
      c = s.decimal(c + 2, digits_end, &count);
      if (count > DISK68_MAX_TRACKS) count = DISK68_MAX_TRACKS;
      vk68_debug("FOUND ## [%d]\n", static_cast<int>(count));
    } else if (s.is(c, "TA") || s.is(c, "TB") || s.is(c, "TC") || s.is(c, "TD")) {
      c = s.decimal(c + 2, digits_end, &rate);
      vk68_debug("FOUND Timer-%c [%u]\n", data[at + 1], rate);
    } else if (s.is(c, "!V")) {
      uint32_t vbl = 0;
      c = s.decimal(c + 2, digits_end, &vbl);
      if (rate == 0) {
        rate = vbl;
        vk68_debug("FOUND VBL [%u]\n", rate);
      }
    } else if (s.is(c, "**")) {
      c += 4;
    } else {
      ++unknown;
      vk68_debug("UNKNOWN TAG #%02d [%c%c%c%c] at %d\n", unknown, data[c], data[c + 1], data[c + 2],
                 data[c + 3], c);
      c += 1;
      if (unknown == kMaxUnknown) break;
      continue;
    }
    unknown = 0;
  }

  disk->track_count = static_cast<int32_t>(count);
  for (int32_t i = 0; i < disk->track_count; ++i) {
    Track68 &t = disk->tracks[i];
    t.frequency = rate;
    t.d0 = static_cast<uint32_t>(i + 1);
    t.replay = kSndhReplay;  // not inherited: every sub-tune needs it
    if (time_tag >= 0) {
      const int32_t seconds = s.table(time_tag, i);
      if (seconds > 0) t.time_ms = static_cast<uint32_t>(seconds) * 1000;
    }
    if (names_tag >= 0) {
      const int32_t at = name_position(s, names_tag, i);
      if (at >= 0) t.name = reinterpret_cast<const char *>(data + at);
    }
  }
  return 0;
}
