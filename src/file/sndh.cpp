// SNDH header reader: scans the tags after "SNDH" and fills a disk.
//
// Tags read (all multi-byte numbers are big-endian):
//   "TITL" text        disk name
//   "COMM" text        author of the first track (later ones inherit it)
//   "YEAR" text        the disk's year
//   "RIPP"/"CONV" text traced only
//   "MuMo", "**"       4 bytes, skipped
//   "##" digits        sub-tune count (at most 99; without it, one)
//   "!#" digits        default sub-tune, from 1
//   "TA"/"TB"/"TC"/"TD" digits  replay rate in Hz from a timer
//   "!V" digits        VBL replay rate, used only while no timer rate is set
//   "TIME" + one 16-bit count of seconds per sub-tune (0: default time)
//   "FRMS" + one 32-bit count of frames per sub-tune; a count other than 0
//          gives the time (at the replay rate) in place of "TIME"
//   "!#SN" + one 16-bit offset per sub-tune, from the tag to the sub-tune's
//          zero-terminated name
//   "HDNS"             end of the header
// Files in the wild pad tags to odd lengths and carry tags of their own:
// bytes that start no known tag are stepped over one at a time up to
// "HDNS". Only a file without "HDNS" ends its scan at eight such bytes in a
// row, before the scan could run into the code. A table stops short where
// a tag or the header's end begins; its missing entries count as 0.
#include "file/sndh.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "vk68/vk68_msg.h"

namespace {

constexpr int32_t kFirstSignatureOffset = 6;  // after at least three branches
constexpr int kMaxUnknown = 8;
constexpr char kSndhReplay[] = "sndh_ice";
// Every sub-tune may drive the YM and the STE's DMA sound.
constexpr uint32_t kSndhHardware = VK68_HW_YM | VK68_HW_STE;

// Tags whose value is text or a table: the four characters alone tell them.
constexpr const char *kWordTags[] = {"TITL", "COMM", "RIPP", "CONV", "YEAR",
                                     "TIME", "FRMS", "!#SN", "MuMo", "HDNS"};
// Tags whose value is a decimal number: two characters and a digit.
constexpr const char *kNumberTags[] = {"##", "!#", "!V", "TA", "TB", "TC", "TD"};

struct Scan {
  const uint8_t *b;
  int32_t size;

  bool is(int32_t c, const char *tag) const {
    const int32_t n = static_cast<int32_t>(std::strlen(tag));
    return c + n <= size && std::memcmp(b + c, tag, n) == 0;
  }

  bool digit(int32_t at) const { return at < size && b[at] >= '0' && b[at] <= '9'; }

  bool number_tag(int32_t c, const char *tag) const { return is(c, tag) && digit(c + 2); }

  // Whether a tag the reader knows starts at c.
  bool starts_tag(int32_t c) const {
    return std::any_of(std::begin(kWordTags), std::end(kWordTags),
                       [&](const char *t) { return is(c, t); }) ||
           std::any_of(std::begin(kNumberTags), std::end(kNumberTags),
                       [&](const char *t) { return number_tag(c, t); });
  }

  uint32_t be(int32_t at, int32_t n) const {
    uint32_t v = 0;
    for (int32_t i = 0; i < n; ++i) v = (v << 8) | b[at + i];
    return v;
  }

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
};

// A table of `count` entries of `width` bytes after the 4-character tag at
// `tag`.
struct Table {
  int32_t tag = -1;
  int32_t width = 0;

  // Entries present: up to `count`, stopping where a tag ("HDNS" too) or
  // the end of the file comes first.
  int32_t length(const Scan &s, uint32_t count) const {
    int32_t n = 0;
    for (int32_t at = tag + 4; n < int32_t(count) && at + width <= s.size && !s.starts_tag(at);
         at += width)
      ++n;
    return n;
  }

  // Entry i, or 0 when the table has no such entry.
  uint32_t entry(const Scan &s, uint32_t count, int32_t i) const {
    if (tag < 0 || i >= length(s, count)) return 0;
    return s.be(tag + 4 + width * i, width);
  }
};

// Start of sub-tune i's name, or -1 when the table gives none.
int32_t name_position(const Scan &s, const Table &names, uint32_t count, int32_t i) {
  const uint32_t offset = names.entry(s, count, i);
  const int32_t at = names.tag + static_cast<int32_t>(offset);
  if (offset == 0 || at >= s.size || s.b[at] == 0) return -1;
  return at;
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

  // The header ends at the first "HDNS"; without one the scan gives up on
  // a run of unknown bytes.
  constexpr uint8_t kEnd[] = {'H', 'D', 'N', 'S'};
  const uint8_t *hdns = std::search(data + c, data + length, kEnd, kEnd + 4);
  const int32_t end = static_cast<int32_t>(hdns - data);
  const bool has_end = end < length;

  int unknown = 0;
  uint32_t rate = 0;
  uint32_t count = 0;
  uint32_t default_tune = 0;
  Table times{-1, 2}, frames{-1, 4}, names{-1, 2};
  const int32_t digits_end = length - 4;
  while (c < end && c < length - 4) {
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
      } else if (s.is(c, "YEAR")) {
        vk68_debug("FOUND YEAR [%s]\n", text);
        disk->year = value;
      } else {
        vk68_debug("FOUND RIPP or CONV [%s]\n", text);
      }
      c = s.text_end(c + 4);
    } else if (s.is(c, "MuMo")) {
      vk68_debug("FOUND MuMo (don't know what to do ith that)\n");
      c += 4;
    } else if (s.is(c, "TIME") || s.is(c, "FRMS")) {
      vk68_debug("FOUND %.4s [%d]\n", reinterpret_cast<const char *>(data + c),
                 static_cast<int>(count));
      Table &t = s.is(c, "TIME") ? times : frames;
      t.tag = c;
      c += 4 + t.width * t.length(s, count);
    } else if (s.is(c, "!#SN")) {
      names.tag = c;
      c += 4 + names.width * names.length(s, count);
      // The names usually follow the offset table: step over those that do.
      for (uint32_t i = 0; i < count && c < length; ++i) {
        if (name_position(s, names, count, static_cast<int32_t>(i)) == c) c = s.text_end(c);
      }
    } else if (s.number_tag(c, "##")) {
      c = s.decimal(c + 2, digits_end, &count);
      if (count > DISK68_MAX_TRACKS) count = DISK68_MAX_TRACKS;
      vk68_debug("FOUND ## [%d]\n", static_cast<int>(count));
    } else if (s.number_tag(c, "!#")) {
      c = s.decimal(c + 2, digits_end, &default_tune);
      vk68_debug("FOUND !# [%u]\n", default_tune);
    } else if (s.number_tag(c, "TA") || s.number_tag(c, "TB") || s.number_tag(c, "TC") ||
               s.number_tag(c, "TD")) {
      c = s.decimal(c + 2, digits_end, &rate);
      vk68_debug("FOUND Timer-%c [%u]\n", data[at + 1], rate);
    } else if (s.number_tag(c, "!V")) {
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
      if (!has_end && unknown == kMaxUnknown) break;
      continue;
    }
    unknown = 0;
  }

  // Files without "##" (older ones have none) hold one tune.
  disk->track_count = count ? static_cast<int32_t>(count) : 1;
  if (default_tune >= 1 && default_tune <= uint32_t(disk->track_count))
    disk->default_track = static_cast<int32_t>(default_tune) - 1;
  for (int32_t i = 0; i < disk->track_count; ++i) {
    Track68 &t = disk->tracks[i];
    t.frequency = rate;
    t.d0 = static_cast<uint32_t>(i + 1);
    t.hardware = kSndhHardware;
    t.replay = kSndhReplay;  // not inherited: every sub-tune needs it
    // The consistency pass takes a frame count over the time.
    t.frames = frames.entry(s, count, i);
    t.time_ms = times.entry(s, count, i) * 1000;
    const int32_t name = name_position(s, names, count, i);
    if (name >= 0) t.name = reinterpret_cast<const char *>(data + name);
  }
  return 0;
}
