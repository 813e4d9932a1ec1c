// VK68 music files: header check, loader (VK68, SNDH, ICE, gzip), chunk
// walk, consistency pass, writer and probe.
#include "vk68/vk68file.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "file/ice68.h"
#include "file/sndh.h"
#include "vk68/vk68_msg.h"

namespace {

// 53 characters, two spaces and the terminator.
constexpr char kMagic[] = "VK68 Music-file / (c) (LuK)astor Brevin / MorVekA-Tul  ";
constexpr int kMagicSize = 56;
static_assert(sizeof kMagic == kMagicSize);

constexpr int kChunkHeader = 8;
constexpr int kTextPadding = 3;  // zero bytes after a VK68 disk's chunk data
constexpr int kSndhSpare = 4;    // zero bytes after an SNDH disk's file bytes
constexpr int32_t kMinSndhSize = 33;
// Packed data may hold packed data again; a file that depacks to itself
// must not recurse for ever.
constexpr int kMaxNesting = 8;

constexpr uint32_t kDefaultLoadAddress = 0x8000;
constexpr uint32_t kDefaultFrequency = 50;
constexpr uint32_t kDefaultHardware = VK68_HW_YM;
constexpr char kUnknown[] = "???";
constexpr char kEmptyText[] = "";
constexpr char kReplayNameRule[] = "letters, digits, '_', '-' and '.' only, not starting with '.'";

// Why a file does not load, in the words of its one message
// "<stream name>: <why>". Reasons with a detail are formatted into a
// buffer of this size.
constexpr size_t kWhySize = 200;
constexpr char kNotMusic[] = "not a music file (no VK68, SNDH, ICE or gzip signature)";
constexpr char kNoBase[] = "damaged VK68 file (no base chunk after its signature)";
constexpr char kBadBase[] = "damaged VK68 file (impossible size in its base chunk)";
constexpr char kCutShort[] = "VK68 file cut short (its header gives more data than follows)";
constexpr char kChunkOverrun[] = "damaged VK68 file (a chunk runs past the end of its data)";
constexpr char kNoTrack[] = "no track in the file";
constexpr char kBadSndh[] = "damaged SNDH file (its header is cut short or unreadable)";
constexpr char kOutOfMemory[] = "out of memory";
constexpr char kReadError[] = "read error";
constexpr char kWriteError[] = "write error";
constexpr char kTellError[] = "cannot tell the write position";

// The header check answers a chunk data size (>= 0), -1, or one of these
// kinds: the negated big-endian value of four ASCII characters.
constexpr int32_t kind_code(char a, char b, char c, char d) {
  return -static_cast<int32_t>((uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8) |
                               uint32_t(d));
}
constexpr int32_t kKindGzip = kind_code('g', 'z', 'i', 'p');
constexpr int32_t kKindIce = kind_code('i', 'c', 'e', '!');
constexpr int32_t kKindSndh = kind_code('s', 'n', 'd', 'h');

constexpr const char *kHardwareText[8] = {
    "none",
    "Yamaha-2149",
    "MicroWire (STE)",
    "Yamaha-2149 & MicroWire (STE)",
    "Amiga/Paula",
    "Yamaha-2149  & Amiga/Paula",
    "MicroWire (STE) & Amiga/Paula",
    "Yamaha-2149 & MicroWire (STE) & Amiga/Paula",
};

uint32_t le32(const uint8_t *p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void put_le32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint16_t code16(char a, char b) {
  return static_cast<uint16_t>((uint8_t(a) << 8) | uint8_t(b));
}

uint8_t *data_area(Disk68 *disk) { return reinterpret_cast<uint8_t *>(disk + 1); }

const char *stream_name(Stream68 *s) {
  const char *name = stream68_name(s);
  return name ? name : "<nil>";
}

// Time conversions, exact on the unsigned operands and truncated; results
// too large for 32 bits saturate.
uint32_t saturate(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }
uint32_t frames_to_ms(uint32_t frames, uint32_t hz) {
  return saturate(uint64_t{frames} * 1000 / hz);
}
uint32_t ms_to_frames(uint32_t ms, uint32_t hz) { return saturate(uint64_t{ms} * hz / 1000); }

// ---------------------------------------------------------------- header

// On a failure, `why` (when given) receives the reason.
int32_t header_check(Stream68 *s, const char **why) {
  auto fail = [why](const char *reason) {
    if (why) *why = reason;
    return -1;
  };
  uint8_t id[kMagicSize];
  const int32_t got = stream68_read(s, id, kMagicSize);
  if (got == kMagicSize && std::memcmp(id, kMagic, kMagicSize) == 0) {
    uint8_t base[4];
    if (stream68_read(s, base, 4) != 4 || std::memcmp(base, "VK68", 4) != 0) return fail(kNoBase);
    const int32_t n = stream68_read(s, base, 4);
    const uint32_t size = le32(base);
    if (n != 4 || size <= kChunkHeader || size > INT32_MAX) return fail(kBadBase);
    return static_cast<int32_t>(size - kChunkHeader);
  }
  // Packed and SNDH files may be shorter than the magic: test what came.
  const int packing = packing_of(id, got);
  if (packing == VK68FILE_PACKING_GZIP) return kKindGzip;
  if (packing == VK68FILE_PACKING_ICE) return kKindIce;
  for (int32_t k = 6; k + 4 <= got; ++k) {
    if (std::memcmp(id + k, "SNDH", 4) == 0) return kKindSndh;
  }
  return fail(kNotMusic);
}

// ------------------------------------------------------------ chunk walk

bool is_track_chunk(uint16_t code) {
  switch (code) {
    case code16('M', 'N'):
    case code16('A', 'N'):
    case code16('C', 'N'):
    case code16('R', 'E'):
    case code16('D', '0'):
    case code16('A', 'T'):
    case code16('T', 'I'):
    case code16('F', 'R'):
    case code16('F', 'Q'):
    case code16('T', 'Y'):
    case code16('D', 'A'): return true;
    default: return false;
  }
}

// A text payload; the last payload byte is forced to the terminator so a
// text never runs into the next chunk. An empty chunk is an empty text: only
// a missing chunk lets a track inherit the previous track's text.
const char *text_payload(uint8_t *p, uint32_t size) {
  if (size == 0) return kEmptyText;
  p[size - 1] = 0;
  return reinterpret_cast<const char *>(p);
}

// A number payload; a payload shorter than 4 bytes gives its own bytes.
uint32_t number_payload(const uint8_t *p, uint32_t size) {
  uint8_t v[4] = {};
  std::memcpy(v, p, size < 4 ? size : 4);
  return le32(v);
}

void apply_track_chunk(Track68 &t, uint16_t code, uint8_t *p, uint32_t size) {
  switch (code) {
    case code16('M', 'N'): t.name = text_payload(p, size); break;
    case code16('A', 'N'): t.author = text_payload(p, size); break;
    case code16('C', 'N'): t.composer = text_payload(p, size); break;
    case code16('R', 'E'): t.replay = text_payload(p, size); break;
    case code16('D', '0'): t.d0 = number_payload(p, size); break;
    case code16('A', 'T'): t.load_address = number_payload(p, size); break;
    case code16('T', 'I'): t.time_ms = saturate(uint64_t{number_payload(p, size)} * 1000); break;
    case code16('F', 'R'): t.frames = number_payload(p, size); break;
    case code16('F', 'Q'): t.frequency = number_payload(p, size); break;
    case code16('T', 'Y'): t.hardware = number_payload(p, size); break;
    case code16('D', 'A'):
      t.data = p;
      t.data_size = size;
      break;
    default: break;
  }
}

// Walks the n bytes of chunk data. Returns null on success, else the
// failure reason (one with a detail is formatted in `why`).
const char *walk_chunks(Disk68 *disk, uint8_t *cursor, uint32_t n, char *why) {
  uint32_t remaining = n;
  Track68 *track = nullptr;
  while (remaining >= kChunkHeader && cursor[0] == 'V' && cursor[1] == 'K') {
    const uint16_t id = code16(static_cast<char>(cursor[2]), static_cast<char>(cursor[3]));
    const uint32_t size = le32(cursor + 4);
    remaining -= kChunkHeader;
    cursor += kChunkHeader;
    // "EF" and a 100th "MU" end the walk whatever their size says.
    if (id == code16('E', 'F')) return nullptr;
    if (id == code16('M', 'U') && disk->track_count == DISK68_MAX_TRACKS) return nullptr;
    if (size > remaining) return kChunkOverrun;
    if (id == code16('M', 'U')) {
      track = &disk->tracks[disk->track_count++];
    } else if (is_track_chunk(id)) {
      if (!track) {
        std::snprintf(why, kWhySize, "damaged VK68 file (chunk %c%c before the first track)",
                      cursor[-6], cursor[-5]);
        return why;
      }
      apply_track_chunk(*track, id, cursor, size);
      // A replay name is a file name in the replay directory: nothing that
      // could lead out of it.
      if (id == code16('R', 'E') && !VK68file_replay_name_ok(track->replay)) {
        std::snprintf(why, kWhySize, "replay name '%s' refused (%s)", track->replay,
                      kReplayNameRule);
        return why;
      }
    } else if (id == code16('F', 'N')) {
      disk->name = text_payload(cursor, size);
    } else if (id == code16('D', 'F')) {
      disk->default_track = static_cast<int32_t>(number_payload(cursor, size));
    }
    remaining -= size;
    cursor += size;
  }
  return remaining == 0 ? nullptr : kChunkOverrun;
}

// ------------------------------------------------------- consistency pass

// Null when the disk is complete, else the reason (formatted in `why`).
const char *check_disk(Disk68 *disk, char *why) {
  if (disk->track_count < 1) return kNoTrack;
  if (disk->default_track < 0 || disk->default_track >= disk->track_count) disk->default_track = 0;
  if (!disk->name) disk->name = kUnknown;

  disk->total_ms = 0;
  disk->hardware = 0;
  const char *name = disk->name;
  const char *author = kUnknown;
  const char *composer = nullptr;
  const uint8_t *data = nullptr;
  uint32_t data_size = 0;
  for (int i = 0; i < disk->track_count; ++i) {
    Track68 &t = disk->tracks[i];
    if (!t.load_address) t.load_address = kDefaultLoadAddress;
    if (!t.frequency) t.frequency = kDefaultFrequency;
    if (!t.frames)
      t.frames = ms_to_frames(t.time_ms, t.frequency);
    else
      t.time_ms = frames_to_ms(t.frames, t.frequency);
    t.start_ms = disk->total_ms;
    disk->total_ms = saturate(uint64_t{disk->total_ms} + t.time_ms);
    if (!t.hardware) t.hardware = kDefaultHardware;
    disk->hardware |= t.hardware;
    if (!t.name) t.name = name;
    if (!t.author) t.author = author;
    if (!t.composer) t.composer = composer ? composer : t.author;
    if (!t.data) {
      t.data = data;
      t.data_size = data_size;
    }
    if (!t.data) {
      std::snprintf(why, kWhySize, "track %d has no music data", i + 1);
      return why;
    }
    name = t.name;
    author = t.author;
    composer = t.composer;
    data = t.data;
    data_size = t.data_size;
  }
  return nullptr;
}

// ----------------------------------------------------------------- loader

Disk68 *load_buffer(const void *bytes, int32_t size, VK68fileKind *kind, int depth);

void set_kind(VK68fileKind *kind, int format, int packing) {
  if (!kind) return;
  if (format >= 0) kind->format = format;
  kind->packing = packing;
}

// Chunk data of n bytes behind the header just read.
Disk68 *load_vk68(Stream68 *s, int32_t n, const char **reason, char *why) {
  // A size beyond what the stream holds is refused before allocating.
  const int32_t length = stream68_length(s);
  const int32_t position = stream68_tell(s);
  if (length >= 0 && position >= 0 && n > length - position) {
    *reason = kCutShort;
    return nullptr;
  }
  auto *disk = static_cast<Disk68 *>(vk68_alloc(sizeof(Disk68) + size_t(n) + kTextPadding));
  if (!disk) {
    *reason = kOutOfMemory;
    return nullptr;
  }
  std::memset(disk, 0, sizeof(Disk68) + size_t(n) + kTextPadding);
  if (stream68_read(s, data_area(disk), n) != n) {
    *reason = kCutShort;
  } else if ((*reason = walk_chunks(disk, data_area(disk), uint32_t(n), why)) == nullptr) {
    if ((*reason = check_disk(disk, why)) == nullptr) return disk;
  }
  vk68_free(disk);
  return nullptr;
}

Disk68 *load_sndh(Stream68 *s, const char **reason, char *why) {
  vk68_debug("SNDH dans la place\n");
  *reason = kBadSndh;
  const int32_t length = stream68_length(s);
  if (stream68_seek_to(s, 0) != 0 || length < kMinSndhSize) return nullptr;
  const size_t total = sizeof(Disk68) + size_t(length) + kSndhSpare;
  auto *disk = static_cast<Disk68 *>(vk68_alloc(total));
  if (!disk) {
    *reason = kOutOfMemory;
    return nullptr;
  }
  std::memset(disk, 0, total);
  if (stream68_read(s, data_area(disk), length) == length &&
      sndh_read(disk, data_area(disk), length) == 0) {
    if ((*reason = check_disk(disk, why)) == nullptr) return disk;
  }
  vk68_free(disk);
  return nullptr;
}

// ICE or gzip: depack the whole stream and load what comes out. The
// depacker and the inner load report their own failures; the outermost
// packed file adds what they mean for it.
Disk68 *load_packed(Stream68 *s, int32_t kind_found, VK68fileKind *kind, int depth,
                    const char **reason) {
  const bool ice = kind_found == kKindIce;
  *reason = "packed in itself too many times over";
  if (depth >= kMaxNesting) return nullptr;
  if (ice) vk68_debug("ICE LOAD [%s]!\n", stream_name(s));
  *reason = kReadError;
  if (stream68_seek_to(s, 0) != 0) return nullptr;
  int32_t size = 0;
  void *buffer = ice ? ice_load(s, &size) : gzip_load(s, &size);
  vk68_debug("-> %p %d\n", buffer, size);
  *reason = nullptr;
  if (!buffer) return nullptr;
  Disk68 *disk = load_buffer(buffer, size, kind, depth + 1);
  vk68_free(buffer);
  if (disk)
    set_kind(kind, -1, ice ? VK68FILE_PACKING_ICE : VK68FILE_PACKING_GZIP);
  else if (depth == 0)  // said once, of the file itself, not of each packing inside
    *reason =
        ice ? "its ICE-packed content does not load" : "its gzip-packed content does not load";
  return disk;
}

Disk68 *load_stream(Stream68 *s, VK68fileKind *kind, int depth) {
  const char *name = stream_name(s);
  char why[kWhySize];
  const char *reason = why;
  Disk68 *disk = nullptr;
  errno = 0;
  if (stream68_open(s) != 0) {
    std::snprintf(why, sizeof why, "cannot open the file (%s)",
                  errno ? std::strerror(errno) : "no such stream");
  } else {
    const int32_t n = header_check(s, &reason);
    if (n >= 0) {
      disk = load_vk68(s, n, &reason, why);
      if (disk) set_kind(kind, VK68FILE_FORMAT_VK68, VK68FILE_PACKING_NONE);
    } else if (n == kKindSndh) {
      disk = load_sndh(s, &reason, why);
      if (disk) set_kind(kind, VK68FILE_FORMAT_SNDH, VK68FILE_PACKING_NONE);
    } else if (n == kKindIce || n == kKindGzip) {
      disk = load_packed(s, n, kind, depth, &reason);
    }
  }
  if (disk) return disk;
  stream68_close(s);
  if (reason) vk68_error_add("%s: %s", name, reason);
  return nullptr;
}

Disk68 *load_buffer(const void *bytes, int32_t size, VK68fileKind *kind, int depth) {
  // The stream only reads: the buffer is never written through it.
  Stream68 *s = stream68_mem_create(const_cast<void *>(bytes), size, STREAM68_READ);
  if (!s) {
    vk68_error_add("%s", kOutOfMemory);
    return nullptr;
  }
  Disk68 *disk = load_stream(s, kind, depth);
  stream68_destroy(s);
  return disk;
}

// ------------------------------------------------------------------ probe

int probe_buffer(const void *bytes, int32_t size, int depth);

int probe_stream(Stream68 *s, int depth) {
  if (stream68_open(s) != 0) return -1;
  const int32_t n = header_check(s, nullptr);
  if (n >= 0) return 0;
  if (n == kKindSndh) {
    vk68_debug("SNDH OK!\n");
    return 0;
  }
  if ((n != kKindIce && n != kKindGzip) || depth >= kMaxNesting) return -1;
  const uint32_t letters = static_cast<uint32_t>(-n);
  vk68_debug("%s depack %c%c%c%c\n", stream_name(s), int(letters >> 24), int(letters >> 16 & 0xFF),
             int(letters >> 8 & 0xFF), int(letters & 0xFF));
  const bool ice = n == kKindIce;
  if (ice) vk68_debug("ICE VERIFY [%s]!\n", stream_name(s));
  if (stream68_seek_to(s, 0) != 0) return -1;
  int32_t size = 0;
  void *buffer = ice ? ice_load(s, &size) : gzip_load(s, &size);
  vk68_debug("-> %p %d\n", buffer, size);
  if (!buffer) return -1;
  const int result = probe_buffer(buffer, size, depth + 1);
  vk68_debug("-> %d %p %d\n", result, buffer, size);
  vk68_free(buffer);
  return result;
}

int probe_buffer(const void *bytes, int32_t size, int depth) {
  Stream68 *s = stream68_mem_create(const_cast<void *>(bytes), size, STREAM68_READ);
  if (!s) return -1;
  const int result = probe_stream(s, depth);
  stream68_destroy(s);
  return result;
}

// ----------------------------------------------------------------- writer

bool write_all(Stream68 *s, const void *p, uint32_t size) {
  return stream68_write(s, p, static_cast<int32_t>(size)) == static_cast<int32_t>(size);
}

bool write_chunk(Stream68 *s, const char *code, const void *payload, uint32_t size) {
  uint8_t header[kChunkHeader] = {'V', 'K', uint8_t(code[0]), uint8_t(code[1])};
  put_le32(header + 4, size);
  if (!write_all(s, header, kChunkHeader)) return false;
  return size == 0 || !payload || write_all(s, payload, size);
}

// Present texts only, empty ones included; the terminator is written too.
bool write_text(Stream68 *s, const char *code, const char *text) {
  if (!text) return true;
  return write_chunk(s, code, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

// A text that only needs writing when it differs from the previous value.
bool write_changed_text(Stream68 *s, const char *code, const char *text, const char *previous) {
  if (!text || text == previous || (previous && std::strcmp(text, previous) == 0)) return true;
  return write_text(s, code, text);
}

bool write_number(Stream68 *s, const char *code, uint32_t value, bool always = false) {
  if (!value && !always) return true;
  uint8_t payload[4];
  put_le32(payload, value);
  return write_chunk(s, code, payload, 4);
}

bool write_track(Stream68 *s, const Track68 &t, const char *&name, const char *&author,
                 const char *&composer, const uint8_t *&data) {
  const bool ok =
      write_chunk(s, "MU", nullptr, 0) && write_changed_text(s, "MN", t.name, name) &&
      write_changed_text(s, "AN", t.author, author) &&
      write_changed_text(s, "CN", t.composer, composer) && write_text(s, "RE", t.replay) &&
      write_number(s, "D0", t.d0) &&
      write_number(s, "AT", t.load_address == kDefaultLoadAddress ? 0 : t.load_address) &&
      write_number(s, "FR", t.frames) && write_number(s, "TI", t.time_ms / 1000) &&
      write_number(s, "FQ", t.frequency == kDefaultFrequency ? 0 : t.frequency) &&
      write_number(s, "TY", t.hardware, true);
  if (!ok) return false;
  const bool new_data = t.data && t.data != data;
  if (new_data && !write_chunk(s, "DA", t.data, t.data_size)) return false;
  if (t.name) name = t.name;
  if (t.author) author = t.author;
  if (t.composer) composer = t.composer;
  if (new_data) data = t.data;
  return true;
}

// Writes the whole file into the opened stream; null or the reason.
const char *write_disk(Stream68 *s, const Disk68 *disk) {
  if (stream68_write(s, kMagic, kMagicSize) != kMagicSize) return kWriteError;
  const int32_t start = stream68_tell(s);
  if (start < 0) return kTellError;
  // The base chunk "68"; its size is filled in at the end.
  if (!write_chunk(s, "68", nullptr, 0)) return kWriteError;
  if (!write_text(s, "FN", disk->name) || !write_number(s, "DF", uint32_t(disk->default_track)))
    return kWriteError;
  const char *name = disk->name;
  const char *author = nullptr;
  const char *composer = nullptr;
  const uint8_t *data = nullptr;
  for (int i = 0; i < disk->track_count; ++i) {
    if (!write_track(s, disk->tracks[i], name, author, composer, data)) return kWriteError;
  }
  if (!write_chunk(s, "EF", nullptr, 0)) return kWriteError;
  const int32_t end = stream68_tell(s);
  if (end < 0) return kTellError;
  if (stream68_seek(s, start - end) < 0) return "cannot go back to its header";
  if (!write_chunk(s, "68", nullptr, static_cast<uint32_t>(end - start))) return kWriteError;
  return nullptr;
}

}  // namespace

// ------------------------------------------------------------------- API

extern "C" Disk68 *VK68file_load_kind(Stream68 *stream, VK68fileKind *kind) {
  return load_stream(stream, kind, 0);
}

extern "C" Disk68 *VK68file_load(Stream68 *stream) { return load_stream(stream, nullptr, 0); }

extern "C" Disk68 *VK68file_load_path(const char *path) {
  Stream68 *s = stream68_file_create(path, STREAM68_READ);
  if (!s) {
    vk68_error_add("%s: cannot open the file", path ? path : "<nil>");
    return nullptr;
  }
  Disk68 *disk = load_stream(s, nullptr, 0);
  stream68_destroy(s);
  return disk;
}

extern "C" Disk68 *VK68file_load_buffer(const void *bytes, int32_t size) {
  return load_buffer(bytes, size, nullptr, 0);
}

extern "C" int VK68file_save(Stream68 *stream, const Disk68 *disk) {
  if (!stream || !disk) return vk68_error_add("cannot write a VK68 file: no stream or no disk");
  char why[kWhySize];
  const char *reason = "cannot open it for writing";
  if (disk->track_count < 1 || disk->track_count > DISK68_MAX_TRACKS) {
    std::snprintf(why, sizeof why, "%d tracks; a file holds 1 to %d", int(disk->track_count),
                  DISK68_MAX_TRACKS);
    reason = why;
  } else if (stream68_open(stream) == 0) {
    reason = write_disk(stream, disk);
    if (stream68_close(stream) != 0 && !reason) reason = kWriteError;
    if (!reason) return 0;
  }
  stream68_close(stream);
  return vk68_error_add("%s: cannot write the VK68 file (%s)", stream_name(stream), reason);
}

extern "C" int VK68file_save_path(const char *path, const Disk68 *disk) {
  Stream68 *s = stream68_file_create(path, STREAM68_WRITE);
  const int result = VK68file_save(s, disk);
  stream68_destroy(s);
  return result;
}

extern "C" int VK68file_save_buffer(void *bytes, int32_t size, const Disk68 *disk) {
  Stream68 *s = stream68_mem_create(bytes, size, STREAM68_WRITE);
  const int result = VK68file_save(s, disk);
  stream68_destroy(s);
  return result;
}

extern "C" int VK68file_probe(Stream68 *stream) { return probe_stream(stream, 0); }

extern "C" int VK68file_probe_path(const char *path) {
  Stream68 *s = stream68_file_create(path, STREAM68_READ);
  const int result = s ? probe_stream(s, 0) : -1;
  stream68_destroy(s);
  return result;
}

extern "C" int VK68file_probe_buffer(const void *bytes, int32_t size) {
  return probe_buffer(bytes, size, 0);
}

extern "C" int VK68file_replay_name_ok(const char *name) {
  if (!name || !*name || *name == '.') return 0;
  for (; *name; ++name) {
    const char c = *name;
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-' || c == '.';
    if (!ok) return 0;
  }
  return 1;
}

extern "C" const char *VK68file_hardware_text(uint32_t hardware) {
  return kHardwareText[hardware & 7];
}
