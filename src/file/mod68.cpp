// Amiga modules: layout detection and checks, the song walk that measures a
// track, and the VK68 disk that carries our replay and the module.
#include "file/mod68.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "vk68/vk68_msg.h"

// The 68000 replay, assembled from src/replay/protracker.s. Its init routine
// is at +0 and its play routine at +8; the module follows it.
extern "C" const unsigned char replay_protracker[];
extern "C" const unsigned long replay_protracker_size;

namespace {

// Module layout (offsets in bytes).
constexpr int32_t kTitle = 20;
constexpr int32_t kSampleHeader = 30;  // name 22, length, finetune, volume, loop start, loop length
constexpr int32_t kSongLength15 = 470;  // 20 + 15 * 30
constexpr int32_t kSongLength31 = 950;  // 20 + 31 * 30
constexpr int32_t kPositions = 128;
constexpr int32_t kSignature = 1080;
constexpr int32_t kHeader15 = 600;
constexpr int32_t kHeader31 = MOD68_HEADER_SIZE;
constexpr int32_t kRows = 64;
constexpr int32_t kCellBytes = 4;
constexpr int kChannels = 4;  // Paula's voices
constexpr int32_t kRowBytes = kChannels * kCellBytes;
constexpr int32_t kPatternBytes = kRows * kRowBytes;  // as played: four channels
constexpr int32_t kMaxVolume = 64;

// 68000 memory: the track loads at the default address 0x8000, or lower
// (above the system routine at 0x600-0x7FF) when the module needs the room;
// the replay's work area (1790 bytes) follows the module and the stack
// (init runs at the top, 16 bytes below the end) needs far less than 256.
constexpr uint32_t kMemory = 0x80000;
constexpr uint32_t kLoadAddress = 0x8000;
constexpr uint32_t kLowLoadAddress = 0x800;
constexpr uint32_t kWorkArea = 1790 + 256 + 16;

// Replay timing (see protracker.s): the ticks run on the CIA's E clock of
// 709379 Hz. A tick at tempo T lasts 3546895 / (2 T) E clock ticks, which
// the replay latches as whole ticks, one more whenever the fractions (in
// 1/65536) carry. Tracks count play calls of MOD68_CALL_RATE.
constexpr uint64_t kEClock = 709379;
constexpr uint32_t kETicks5s = 3546895;
constexpr int kDefaultSpeed = 6;
constexpr int kDefaultTempo = 125;
constexpr uint64_t kMaxTime = 2 * 3600 * kEClock;  // songs that never come back
// The 15-slot layout's byte after the song length sets the CIA timer as
// the Soundtrackers did: (240 - byte) x 122 E clock ticks per tick; 0 and
// 120 keep the default. Bytes above 228 play as 228.
constexpr uint32_t kStTempoStep = 122;
constexpr int kStDefaultTempo = 120;
constexpr int kStTempoFastest = 228;

const char *const kSignatures[] = {"M.K.", "M!K!", "M&K!", "4CHN", "FLT4"};

// ModPlug's packed samples: this mark, 16 signed steps, then a nibble per
// sample byte (low nibble first) naming the step from the byte before
// (from 0 for the first).
constexpr char kAdpcmMark[] = "ADPCM";
constexpr uint32_t kAdpcmMarkBytes = 5;
constexpr uint32_t kAdpcmSteps = 16;

uint32_t word(const uint8_t *p) { return (uint32_t{p[0]} << 8) | p[1]; }

// Names and titles: text bytes or zeros, no control characters.
bool plausible_text(const uint8_t *p, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (p[i] != 0 && p[i] < 32) return false;
  return true;
}

// Every complete sample header within `available` bytes looks like a
// module's (volume at most 64, finetune a nibble), and with `names` the
// title and the sample names are text. The original layout's names hold
// any bytes (control characters, leftovers after the terminating zero).
bool plausible_headers(const uint8_t *b, int32_t available, int32_t slots, bool names) {
  if (available < kTitle || (names && !plausible_text(b, kTitle))) return false;
  for (int32_t s = 0; s < slots; ++s) {
    const uint8_t *h = b + kTitle + s * kSampleHeader;
    if (h + kSampleHeader > b + available) break;
    if ((names && !plausible_text(h, 22)) || h[24] > 15 || h[25] > kMaxVolume) return false;
  }
  return true;
}

// A tick's length at a tempo: whole E clock ticks and 1/65536.
struct TickLength {
  uint32_t whole;
  uint32_t fraction;
};

TickLength tick_length(int tempo) {
  const uint32_t twice = 2 * uint32_t(tempo);
  return {kETicks5s / twice, (kETicks5s % twice << 16) / twice};
}

uint32_t highest_pattern(const uint8_t *positions, int32_t count) {
  uint32_t high = 0;
  for (int32_t i = 0; i < count; ++i) high = std::max<uint32_t>(high, positions[i]);
  return high;
}

int32_t song_length_offset(int32_t slots) { return slots == 31 ? kSongLength31 : kSongLength15; }
int32_t header_size(int32_t slots) { return slots == 31 ? kHeader31 : kHeader15; }

// Slot s's sample length in bytes (its header counts words).
uint32_t sample_length(const uint8_t *b, int32_t s) {
  return 2 * word(b + kTitle + s * kSampleHeader + 22);
}

uint32_t sample_bytes(const uint8_t *b, int32_t slots) {
  uint32_t total = 0;
  for (int32_t s = 0; s < slots; ++s) total += sample_length(b, s);
  return total;
}

// Channels of the 31-slot layout by its signature: 4 for the four-channel
// trackers', the count the multi-channel trackers' tags give ("6CHN",
// "12CH", "TDZ3", "FA08", "OCTA", ...), 0 for none of them.
int signature_channels(const uint8_t *sig) {
  for (const char *s : kSignatures)
    if (std::memcmp(sig, s, 4) == 0) return kChannels;
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  if (digit(sig[0]) && std::memcmp(sig + 1, "CHN", 3) == 0) return sig[0] - '0';
  if (digit(sig[0]) && digit(sig[1]) && sig[2] == 'C' && sig[3] == 'H')
    return (sig[0] - '0') * 10 + sig[1] - '0';
  if ((std::memcmp(sig, "TDZ", 3) == 0 || std::memcmp(sig, "FA0", 3) == 0) && digit(sig[3]))
    return sig[3] - '0';
  for (const char *s : {"FLT8", "OCTA", "OKTA", "CD81"})
    if (std::memcmp(sig, s, 4) == 0) return 8;
  return std::memcmp(sig, "CD61", 4) == 0 ? 6 : 0;
}

// Where each slot's data lies in the file (from `first` on, in slot order)
// and whether it is packed; `end` is where the last one ends.
struct StoredSample {
  uint32_t at = 0;
  bool packed = false;
};

std::array<StoredSample, 31> stored_samples(const uint8_t *b, int32_t size, int32_t slots,
                                            uint32_t first, uint32_t &end) {
  std::array<StoredSample, 31> stored{};
  end = first;
  for (int32_t s = 0; s < slots; ++s) {
    const uint32_t length = sample_length(b, s);
    stored[s].at = end;
    stored[s].packed = length > 0 && end + kAdpcmMarkBytes <= uint32_t(size) &&
                       std::memcmp(b + end, kAdpcmMark, kAdpcmMarkBytes) == 0;
    end += stored[s].packed ? kAdpcmMarkBytes + kAdpcmSteps + (length + 1) / 2 : length;
  }
  return stored;
}

// The module as it goes into the disk: the header from the file, positions
// past the song zeroed when only the song's patterns are stored, patterns
// of fewer channels widened to four, samples unpacked and padded with
// silence, and every loop inside its sample (the original 15-slot layout
// counts loop starts in bytes).
std::vector<uint8_t> normalized(const uint8_t *bytes, int32_t size, const Mod68Info &info) {
  const int32_t header = header_size(info.slots);
  std::vector<uint8_t> m(bytes, bytes + header);
  m.resize(info.size, 0);
  if (info.channels != kChannels) std::memcpy(&m[kSignature], kSignatures[0], 4);
  const int32_t row_bytes = info.channels * kCellBytes;
  for (int32_t row = 0; row < info.patterns * kRows; ++row)
    std::memcpy(&m[header + row * kRowBytes], bytes + header + row * row_bytes, row_bytes);
  uint32_t end = 0;
  const std::array<StoredSample, 31> stored = stored_samples(
      bytes, size, info.slots, uint32_t(header + info.patterns * row_bytes * kRows), end);
  uint8_t *out = m.data() + header + info.patterns * kPatternBytes;
  for (int32_t s = 0; s < info.slots; ++s) {
    const uint32_t length = sample_length(bytes, s), at = stored[s].at;
    if (!stored[s].packed) {
      if (at < uint32_t(size)) std::memcpy(out, bytes + at, std::min(length, uint32_t(size) - at));
    } else {
      const uint32_t steps = at + kAdpcmMarkBytes, nibbles = steps + kAdpcmSteps;
      uint8_t value = 0;
      for (uint32_t i = 0; i < length && nibbles + i / 2 < uint32_t(size); ++i)
        out[i] = value =
            uint8_t(value + bytes[steps + ((bytes[nibbles + i / 2] >> (i % 2 * 4)) & 15)]);
    }
    out += length;
  }
  uint8_t *positions = m.data() + song_length_offset(info.slots) + 2;
  if (highest_pattern(positions, kPositions) + 1 > uint32_t(info.patterns))
    std::fill(positions + info.song_length, positions + kPositions, 0);
  for (int32_t s = 0; s < info.slots; ++s) {
    uint8_t *h = m.data() + kTitle + s * kSampleHeader;
    const uint32_t length = word(h + 22);
    uint32_t start = word(h + 26), loop = word(h + 28);
    if (loop <= 1) continue;
    if (info.slots == 15) start /= 2;  // the Soundtrackers count loop starts in bytes
    if (start >= length) {
      start = 0;
      loop = 1;
    } else if (start + loop > length) {
      loop = length - start;
    }
    h[26] = uint8_t(start >> 8), h[27] = uint8_t(start);
    h[28] = uint8_t(loop >> 8), h[29] = uint8_t(loop);
  }
  return m;
}

// The replay's song logic, tick by tick, for what decides the time: rows,
// positions, speed and tempo, jumps, breaks, pattern loops and delays.
class SongWalk {
 public:
  SongWalk(const uint8_t *module, const Mod68Info &info, int32_t start) {
    const int32_t at = song_length_offset(info.slots);
    song_length_ = info.song_length;
    positions_ = module + at + 2;
    patterns_ = module + header_size(info.slots);
    channels_ = info.channels;
    layout15_ = info.slots == 15;
    position_ = start >= 0 && start < song_length_ ? start : 0;
    const int tempo = module[kSongLength15 + 1];
    if (info.slots == 15 && tempo != 0 && tempo != kStDefaultTempo)
      tick_length_ = {uint32_t(240 - std::min(tempo, kStTempoFastest)) * kStTempoStep, 0};
  }

  // Play calls up to the one nearest to the time the song comes back.
  uint32_t frames() {
    uint64_t time = 0;  // E clock ticks from the start to the next tick
    uint32_t length = next_length();
    while (time < kMaxTime && !(tick_ == 0 && delay_left_ == 0 && !first_visit())) {
      tick();
      time += length;
      length = next_length();
    }
    time = std::min(time, kMaxTime);
    return uint32_t((time * MOD68_CALL_RATE + kEClock / 2) / kEClock);
  }

 private:
  // The length of the tick after the running one, as the replay latches it.
  uint32_t next_length() {
    fraction_sum_ += tick_length_.fraction;
    const uint32_t carry = fraction_sum_ >> 16;
    fraction_sum_ &= 0xFFFF;
    return tick_length_.whole + carry;
  }

  void tick() {
    if (tick_ == 0) {
      if (delay_left_ == 0) {
        const int32_t row_bytes = channels_ * kCellBytes;
        const uint8_t *cell = patterns_ + (positions_[position_] * kRows + row_) * row_bytes;
        for (int c = 0; c < channels_; ++c, cell += kCellBytes) {
          command_[c] = cell[2] & 15;
          parameter_[c] = cell[3];
          row_effect(c);
        }
      } else {
        for (int c = 0; c < kChannels; ++c)  // a delayed row's tick 0 runs its E commands again
          if (command_[c] == 14 && parameter_[c] >> 4 == 6) pattern_loop(c, parameter_[c] & 15);
      }
      next_row();
    }
    if (jump_) next_position();
    tick_ = tick_ + 1 >= speed_ ? 0 : tick_ + 1;
  }

  // Records the row about to play with every channel's pattern loop state
  // (its count, and while a loop runs the row it goes back to); false when
  // the song has been there in that state before: from there on it plays
  // the same rows again. A loop's rows played again differ in their count.
  bool first_visit() {
    uint64_t state = 0;
    for (int c = 0; c < kChannels; ++c)
      state = state << 12 | uint64_t(loop_count_[c] ? loop_row_[c] : 0) << 6 | loop_count_[c];
    std::vector<uint64_t> &seen = visited_[size_t(position_) * kRows + size_t(row_)];
    if (std::find(seen.begin(), seen.end(), state) != seen.end()) return false;
    seen.push_back(state);
    return true;
  }

  void row_effect(int c) {
    const int p = parameter_[c];
    switch (command_[c]) {
      case 0xB:
        position_ = (p - 1) & 0xFF;
        break_row_ = 0;
        jump_ = true;
        break;
      case 0xD: {
        const int row = layout15_ ? 0 : (p >> 4) * 10 + (p & 15);  // Soundtrackers: row 0
        break_row_ = row > 63 ? 0 : row;
        jump_ = true;
        break;
      }
      case 0xE:
        if (layout15_) break;  // the Soundtrackers' E slides the volume
        if (p >> 4 == 6) pattern_loop(c, p & 15);
        if (p >> 4 == 0xE && delay_left_ == 0) delay_ = (p & 15) + 1;
        break;
      case 0xF:
        if (layout15_) {  // the Soundtrackers: a speed of 1-15, no tempo
          if (p & 15) speed_ = p & 15;
        } else if (p >= 32) {
          tick_length_ = tick_length(p);
        } else if (p > 0) {
          speed_ = p;
        }
        break;
      default: break;
    }
  }

  void pattern_loop(int c, int x) {
    if (x == 0) {
      loop_row_[c] = row_;
      return;
    }
    if (loop_count_[c] == 0) {
      loop_count_[c] = x;
    } else if (--loop_count_[c] == 0) {
      return;
    }
    break_row_ = loop_row_[c];
    loop_jump_ = true;
  }

  void next_row() {
    int row = row_ + 1;
    if (delay_) {
      delay_left_ = delay_;
      delay_ = 0;
    }
    if (delay_left_ && --delay_left_) --row;
    if (loop_jump_) {
      loop_jump_ = false;
      row = break_row_;
      break_row_ = 0;
    }
    row_ = row;
    if (row_ >= kRows) next_position();
  }

  void next_position() {
    row_ = break_row_;
    break_row_ = 0;
    jump_ = false;
    position_ = (position_ + 1) & 127;
    if (position_ >= song_length_) position_ = 0;
  }

  int32_t song_length_ = 0;
  const uint8_t *positions_ = nullptr;
  const uint8_t *patterns_ = nullptr;
  int channels_ = kChannels;
  bool layout15_ = false;
  int position_ = 0, row_ = 0, tick_ = 0, speed_ = kDefaultSpeed;
  int break_row_ = 0, delay_ = 0, delay_left_ = 0;
  bool jump_ = false, loop_jump_ = false;
  TickLength tick_length_ = tick_length(kDefaultTempo);
  uint32_t fraction_sum_ = 0;
  std::array<int, kChannels> command_{}, parameter_{}, loop_row_{}, loop_count_{};
  std::vector<std::vector<uint64_t>> visited_ =
      std::vector<std::vector<uint64_t>>(kPositions * kRows);  // loop states by position and row
};

uint32_t load_address(const Mod68Info &info) {
  const uint32_t need = uint32_t(replay_protracker_size) + uint32_t(info.size) + kWorkArea;
  return kLoadAddress + need <= kMemory ? kLoadAddress : kLowLoadAddress;
}

}  // namespace

extern "C" {

int mod68_check(const uint8_t *b, int32_t size, Mod68Info *info) {
  if (!b || size < 0 || !info) return vk68_error_add("no module given to check");
  *info = Mod68Info{};
  int32_t slots = 0, channels = 0;
  if (size >= kHeader31) {
    channels = signature_channels(b + kSignature);
    if (channels > kChannels)
      return vk68_error_add("%d channels: only %d play on Paula", channels, kChannels);
    if (channels > 0) slots = 31;
  }
  if (!slots && size >= kHeader15 && plausible_headers(b, size, 15, false)) {
    const int32_t length = b[kSongLength15];
    if (length >= 1 && length <= kPositions &&
        highest_pattern(b + kSongLength15 + 2, kPositions) < 64)
      slots = 15, channels = kChannels;
  }
  if (!slots) {
    if (size < kHeader31 && size > kTitle && plausible_headers(b, size, 31, true) &&
        (size <= kSongLength31 || (b[kSongLength31] >= 1 && b[kSongLength31] <= kPositions)))
      return vk68_error_add("module cut short in its header or position list (%d of %d bytes)",
                            int(size), int(kHeader31));
    return vk68_error_add("not an Amiga module (no 4-channel ProTracker signature)");
  }
  const int32_t at = song_length_offset(slots);
  const int32_t length = b[at];
  if (length < 1 || length > kPositions)
    return vk68_error_add("module song length %d is not 1 to 128", int(length));
  const int32_t header = header_size(slots);
  const int32_t pattern_bytes = kRows * channels * kCellBytes;
  const uint32_t samples = sample_bytes(b, slots);
  // Trackers store every pattern named in the position list; some files
  // hold only those the song uses.
  int32_t patterns = int32_t(highest_pattern(b + at + 2, kPositions)) + 1;
  // An 8-channel tracker wrote "M.K." too; its files are exactly as long as
  // their patterns of 8 channels and their samples.
  if (slots == 31 && std::memcmp(b + kSignature, "M.K.", 4) == 0 &&
      uint32_t(size) == uint32_t(header + 2 * patterns * pattern_bytes) + samples)
    return vk68_error_add("8 channels (in a module marked M.K.): only %d play on Paula", kChannels);
  if (header + patterns * pattern_bytes > size)
    patterns = int32_t(highest_pattern(b + at + 2, length)) + 1;
  const int32_t need = header + patterns * pattern_bytes;
  if (need > size)
    return vk68_error_add("module cut short in its patterns (%d of %d bytes)", int(size),
                          int(need));
  const uint32_t total = uint32_t(header + patterns * kPatternBytes) + samples;
  const uint32_t room = kMemory - kLowLoadAddress - uint32_t(replay_protracker_size) - kWorkArea;
  if (total > room)
    return vk68_error_add(
        "module too large: %u bytes, at most %u fit in the 68000's memory with the replay",
        unsigned(total), unsigned(room));
  uint32_t end = 0;
  const std::array<StoredSample, 31> stored = stored_samples(b, size, slots, uint32_t(need), end);
  info->slots = slots;
  info->channels = channels;
  info->song_length = length;
  info->patterns = patterns;
  info->size = int32_t(total);
  info->missing = end > uint32_t(size) ? int32_t(end - uint32_t(size)) : 0;
  info->packed = std::any_of(stored.begin(), stored.end(), [](auto s) { return s.packed; });
  int32_t n = kTitle;
  std::memcpy(info->title, b, kTitle);
  while (n > 0 && (info->title[n - 1] == ' ' || info->title[n - 1] == 0)) info->title[--n] = 0;
  return 0;
}

uint32_t mod68_frames(const uint8_t *bytes, const Mod68Info *info, int32_t start) {
  return SongWalk(bytes, *info, start).frames();
}

Disk68 *mod68_disk(const uint8_t *bytes, int32_t size, const char *name, const char *author,
                   const Mod68Track *tracks, int count) {
  Mod68Info info;
  if (mod68_check(bytes, size, &info) < 0) return nullptr;
  if (!tracks || count < 1 || count > DISK68_MAX_TRACKS) {
    vk68_error_add("%d tracks asked for: a disk holds 1 to %d", count, DISK68_MAX_TRACKS);
    return nullptr;
  }
  for (int i = 0; i < count; ++i) {
    if (tracks[i].start < 0 || tracks[i].start >= info.song_length) {
      vk68_error_add("song position %d does not exist (track %d): the song has %d",
                     int(tracks[i].start), i + 1, int(info.song_length));
      return nullptr;
    }
  }
  const std::vector<uint8_t> module = normalized(bytes, size, info);
  // One block: the record, the replay and the module, then the texts.
  std::string texts;
  auto add_text = [&texts](const char *s) {
    const size_t at = texts.size();
    texts.append(s).push_back('\0');
    return at;
  };
  const size_t disk_name = add_text(name ? name : info.title);
  const size_t author_at = add_text(author ? author : "");
  std::vector<size_t> track_names;
  for (int i = 0; i < count; ++i)
    track_names.push_back(add_text(tracks[i].name ? tracks[i].name : info.title));
  const size_t replay = replay_protracker_size;
  const size_t data_size = replay + module.size();
  auto *disk = static_cast<Disk68 *>(vk68_alloc(sizeof(Disk68) + data_size + texts.size()));
  if (!disk) return nullptr;
  std::memset(disk, 0, sizeof(Disk68));
  auto *data = reinterpret_cast<uint8_t *>(disk + 1);
  std::memcpy(data, replay_protracker, replay);
  std::memcpy(data + replay, module.data(), module.size());
  char *text = reinterpret_cast<char *>(data + data_size);
  std::memcpy(text, texts.data(), texts.size());
  disk->track_count = count;
  disk->name = text + disk_name;
  disk->hardware = VK68_HW_AMIGA;
  for (int i = 0; i < count; ++i) {
    Track68 &t = disk->tracks[i];
    t.d0 = uint32_t(tracks[i].start);
    t.load_address = load_address(info);
    t.frequency = MOD68_CALL_RATE;
    t.frames = mod68_frames(bytes, &info, tracks[i].start);
    t.time_ms = t.frames * (1000 / MOD68_CALL_RATE);
    t.start_ms = disk->total_ms;
    disk->total_ms += t.time_ms;
    t.hardware = VK68_HW_AMIGA;
    t.name = text + track_names[i];
    t.author = author ? text + author_at : nullptr;
    t.composer = t.author;
    t.data = data;
    t.data_size = uint32_t(data_size);
  }
  return disk;
}

}  // extern "C"
