// Songs: a music file behind one handle, with a player of its own. Loading
// from memory (VK68, SNDH, packed files, Amiga modules imported on the
// fly), rendering a track as 16-bit stereo with its loops and a clean end,
// lengths, position and seeking, and the file's texts by key.
#include "vk68/song.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "file/ice68.h"
#include "file/mod68.h"
#include "player/player68.h"
#include "player/vk68_config.h"
#include "player/vk68_rsc.h"

namespace {

constexpr int kChunk = 1024;                         // samples a song asks of its player at once
constexpr size_t kErrorSize = 256;                   // a failure text, as long as an engine message
constexpr int kMaxBlend = 65536;                     // Amiga blend: voices swapped
constexpr char kNoModule[] = "not an Amiga module";  // mod68_check: no module at all
// A loaded file's format text, by VK68fileKind's format and packing.
constexpr const char *kFormats[] = {"vk68", "sndh"};
constexpr const char *kPackings[] = {"", "+ice", "+gzip"};
constexpr char kPackedContent[] = "packed content";

}  // namespace

struct vk68_song {
  Player68 *player;
  int loops;          // passes of a track after its first
  int track;          // current track (1-based), 0: none
  int passes_left;    // loops still to come in the current track
  uint64_t played;    // samples since the current track's start
  bool ended;         // nothing more to render in the current track
  uint32_t failures;  // failures so far; error tells the latest
  char format[16];    // "sndh+ice", ...
  char error[kErrorSize];
  uint32_t chunk[kChunk];
};

namespace {

// What a song needs of the process once: allocation hooks (the C library's
// unless the host set some) and the resource directories' defaults, set
// before songs start on several threads.
void setup_once() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!vk68_set_alloc(nullptr)) vk68_set_alloc(std::malloc);
    if (!vk68_set_free(nullptr)) vk68_set_free(std::free);
    VK68rsc_set_defaults(nullptr, nullptr);
  });
}

// The calling thread's messages, set aside while a song call runs and put
// back when it returns: the engine's messages of the call are taken by the
// song, and the caller's stack is left as it was.
class MessageScope {
 public:
  MessageScope() {
    while (const char *m = vk68_error_get()) saved_.emplace_back(m);
  }
  ~MessageScope() {
    take();
    for (auto m = saved_.rbegin(); m != saved_.rend(); ++m) vk68_error_add("%s", m->c_str());
  }
  MessageScope(const MessageScope &) = delete;
  MessageScope &operator=(const MessageScope &) = delete;

  // The messages pushed since, oldest first (popped).
  std::vector<std::string> take() {
    std::vector<std::string> out;
    while (const char *m = vk68_error_get()) out.insert(out.begin(), m);
    return out;
  }

 private:
  std::vector<std::string> saved_;  // newest first
};

// Engine messages as one line for the song's user: the memory stream that
// held the caller's bytes (`outer`) goes unnamed, any other one is
// "packed content"; the cause (the oldest) comes first.
std::string user_text(const std::vector<std::string> &messages, const char *outer) {
  const std::string prefix = std::string(outer ? outer : "") + ": ";
  std::string out;
  for (const std::string &m : messages) {
    std::string text = m;
    if (outer && text.compare(0, prefix.size(), prefix) == 0) {
      text.erase(0, prefix.size());
    } else if (text.compare(0, 6, "mem://") == 0 && text.find(": ") != std::string::npos) {
      text.replace(0, text.find(": "), kPackedContent);
    }
    out += (out.empty() ? "" : "; ") + text;
  }
  return out.empty() ? "unknown failure" : out;
}

void put_text(char *to, size_t size, const std::string &text) {
  if (!to || size == 0) return;
  const size_t n = std::min(size - 1, text.size());
  std::memcpy(to, text.data(), n);
  to[n] = 0;
}

void fail(vk68_song *song, const std::string &why) {
  put_text(song->error, sizeof song->error, why);
  ++song->failures;
}

// A loaded file: the disk and its format text. Null disk on failure, with
// `why` set.
struct Loaded {
  Disk68 *disk = nullptr;
  std::string format, why;
};

// The bytes of a gzip- or ICE-packed file unpacked (null when they are
// neither or do not unpack), from the engine's allocation hook; *packing
// tells which packing they have.
void *unpack(const uint8_t *bytes, int32_t size, int32_t *out_size, int *packing) {
  *packing = packing_of(bytes, size);
  if (*packing == VK68FILE_PACKING_NONE) return nullptr;
  const bool gzip = *packing == VK68FILE_PACKING_GZIP;
  Stream68 *s = stream68_mem_create(const_cast<uint8_t *>(bytes), size, STREAM68_READ);
  void *out = s && stream68_open(s) == 0 ? (gzip ? gzip_load(s, out_size) : ice_load(s, out_size))
                                         : nullptr;
  stream68_destroy(s);
  return out;
}

// A music file, or else an Amiga module (also a packed one) made into a
// disk of one track played by our replay.
Loaded load(const uint8_t *bytes, int32_t size, MessageScope &messages) {
  Loaded r;
  Stream68 *s = stream68_mem_create(const_cast<uint8_t *>(bytes), size, STREAM68_READ);
  const std::string outer = s ? stream68_name(s) : "";
  VK68fileKind kind{};
  r.disk = s ? VK68file_load_kind(s, &kind) : nullptr;
  stream68_destroy(s);
  const std::string loader_why = user_text(messages.take(), outer.c_str());
  if (r.disk) {
    r.format = std::string(kFormats[kind.format]) + kPackings[kind.packing];
    return r;
  }
  int packing = VK68FILE_PACKING_NONE;
  int32_t unpacked_size = 0;
  void *unpacked = unpack(bytes, size, &unpacked_size, &packing);
  const uint8_t *module = unpacked ? static_cast<const uint8_t *>(unpacked) : bytes;
  const int32_t module_size = unpacked ? unpacked_size : size;
  messages.take();  // a failed unpack was told by the loader already
  Mod68Info info;
  if (mod68_check(module, module_size, &info) == 0) {
    const Mod68Track track{0, nullptr};
    r.disk = mod68_disk(module, module_size, nullptr, nullptr, &track, 1);
    r.format = std::string("mod") + kPackings[packing];
  }
  vk68_free(unpacked);
  const std::string module_why = user_text(messages.take(), nullptr);
  if (!r.disk) {
    // A module refused for a reason of its own says why; bytes that are no
    // module at all, or too short to tell, get the music file loader's reason.
    const bool module_like = module_size >= MOD68_HEADER_SIZE &&
                             module_why.compare(0, sizeof kNoModule - 1, kNoModule) != 0;
    r.why = module_like ? module_why : loader_why;
  }
  return r;
}

// Checks one option against its range; false with `why` set.
bool option(int value, int lo, int hi, const char *what, std::string &why) {
  if (value == VK68_SONG_DEFAULT || (value >= lo && value <= hi)) return true;
  why = std::string(what) + " " + std::to_string(value) + " is not " + std::to_string(lo) + " to " +
        std::to_string(hi);
  return false;
}

// Samples of one pass of track t as the player renders it: those before
// the cycle where its last frame ends, on the clocks the song plays with.
uint64_t pass_samples(const Player68 *p, const Track68 &t) {
  Timebase time{};
  time.clocks = vk68::configured_clocks(p);
  time.rate = p->sampling_rate;
  return timebase_sample(&time, vk68::track_cycle(time.clocks, t.frequency, t.frames));
}

// Starts track n at once (what is left of the frame before is dropped).
int start_track(vk68_song *song, int n, MessageScope &messages) {
  Player68 *p = song->player;
  song->track = 0;
  song->ended = true;
  if (n < 1 || n > p->disk->track_count) {
    const int count = p->disk->track_count;
    fail(song, "no track " + std::to_string(n) + " (" + std::to_string(count) +
                   (count == 1 ? " track)" : " tracks)"));
    return -1;
  }
  if (vk68_play(p, n) < 0 || vk68::apply_change_track(p) < 0) {
    fail(song, user_text(messages.take(), nullptr));
    return -1;
  }
  song->track = n;
  song->passes_left = song->loops;
  song->played = 0;
  song->ended = false;
  return 0;
}

// Renders up to `frames` samples of the current track into `out` (null:
// dropped); the count. At a pass's end the track starts again while loops
// are left, else the song ends there.
size_t render(vk68_song *song, int16_t *out, size_t frames, MessageScope &messages) {
  Player68 *p = song->player;
  size_t done = 0;
  while (done < frames && !song->ended) {
    const int n = int(std::min<size_t>(kChunk, frames - done));
    int status = 0;
    const int k = vk68::player_render(p, song->chunk, n, &status);
    if (k < 0) {
      fail(song, user_text(messages.take(), nullptr));
      song->ended = true;
      break;
    }
    if (out) {
      for (int i = 0; i < k; ++i) {
        out[2 * (done + size_t(i))] = int16_t(song->chunk[i] & 0xFFFF);
        out[2 * (done + size_t(i)) + 1] = int16_t(song->chunk[i] >> 16);
      }
    }
    done += size_t(k);
    song->played += uint64_t(k);
    if ((status & VK68_PROCESS_STOPPED) == VK68_PROCESS_STOPPED) {
      song->ended = true;
    } else if (status & VK68_PROCESS_END) {
      // The player has asked for the next track: this one again, or a stop.
      if (song->passes_left > 0) {
        --song->passes_left;
        vk68_play(p, song->track);
      } else {
        vk68_stop(p);
      }
    }
  }
  return done;
}

// A text of the file, or null for a missing one (the loader's "???" and
// empty texts).
const char *given(const char *text) {
  return text && *text && std::strcmp(text, "???") != 0 ? text : nullptr;
}

}  // namespace

extern "C" {

void vk68_song_options_init(vk68_song_options *options) {
  if (!options) return;
  options->rate = VK68_SONG_DEFAULT;
  options->amiga_blend = VK68_SONG_DEFAULT;
  options->clock = VK68_SONG_DEFAULT;
  options->loops = VK68_SONG_DEFAULT;
}

vk68_song *vk68_song_open(const void *bytes, size_t size, const vk68_song_options *options,
                          char *error, size_t error_size) {
  setup_once();
  MessageScope messages;
  vk68_song_options o;
  vk68_song_options_init(&o);
  if (options) o = *options;
  if (o.rate == 0) o.rate = VK68_SONG_DEFAULT;
  std::string why;
  Loaded file;
  if (!option(o.rate, YM_RATE_MIN, YM_RATE_MAX, "output rate", why) ||
      !option(o.amiga_blend, 0, kMaxBlend, "Amiga blend", why) ||
      !option(o.clock, VK68_SONG_CLOCK_NOMINAL, VK68_SONG_CLOCK_PAL, "clock", why) ||
      !option(o.loops, 0, INT32_MAX, "loop count", why)) {
  } else if (!bytes || size == 0) {
    why = "empty file";
  } else if (size > size_t(INT32_MAX)) {
    why = "file too large (" + std::to_string(size) + " bytes, at most " +
          std::to_string(INT32_MAX) + ")";
  } else {
    file = load(static_cast<const uint8_t *>(bytes), int32_t(size), messages);
    why = file.why;
  }
  if (!file.disk) {
    put_text(error, error_size, why);
    return nullptr;
  }

  auto *song = static_cast<vk68_song *>(vk68_alloc(sizeof(vk68_song)));
  Player68 *p =
      song ? vk68::player_create(o.rate == VK68_SONG_DEFAULT ? 0 : uint32_t(o.rate)) : nullptr;
  if (!p) {
    vk68_free(song);
    vk68_free(file.disk);
    put_text(error, error_size, "out of memory");
    return nullptr;
  }
  std::memset(song, 0, sizeof *song);
  song->player = p;
  song->loops = o.loops == VK68_SONG_DEFAULT ? 0 : o.loops;
  put_text(song->format, sizeof song->format, file.format);
  // The options over the configured values; the configuration's rate is
  // what the player has now.
  vk68_config_set(p, VK68CONFIG_SAMPLING_RATE, int32_t(p->sampling_rate));
  if (o.amiga_blend != VK68_SONG_DEFAULT) vk68_config_set(p, VK68CONFIG_AMIGA_BLEND, o.amiga_blend);
  if (o.clock != VK68_SONG_DEFAULT) vk68_config_set(p, VK68CONFIG_CLOCK, o.clock);
  if (vk68_load_disk(p, file.disk) < 0 || vk68_config_apply(p) < 0 ||
      start_track(song, file.disk->default_track + 1, messages) < 0) {
    put_text(error, error_size, song->failures ? song->error : user_text(messages.take(), nullptr));
    vk68_song_close(song);
    return nullptr;
  }
  messages.take();  // the configuration file may be missing: no failure
  return song;
}

void vk68_song_close(vk68_song *song) {
  if (!song) return;
  MessageScope messages;
  vk68::player_destroy(song->player);
  vk68_free(song);
}

int vk68_song_rate(const vk68_song *song) { return song ? int(song->player->sampling_rate) : 0; }

int vk68_song_track_count(const vk68_song *song) {
  return song ? song->player->disk->track_count : 0;
}

int vk68_song_current_track(const vk68_song *song) { return song ? song->track : 0; }

int vk68_song_select_track(vk68_song *song, int track) {
  if (!song) return -1;
  MessageScope messages;
  return start_track(song, track, messages);
}

size_t vk68_song_render(vk68_song *song, int16_t *stereo, size_t frames) {
  if (!song || !stereo) return 0;
  MessageScope messages;
  return render(song, stereo, frames, messages);
}

double vk68_song_duration(const vk68_song *song, int track) {
  if (!song || track < 1 || track > song->player->disk->track_count) return 0;
  const Player68 *p = song->player;
  const uint64_t pass = pass_samples(p, p->disk->tracks[track - 1]);
  return double(pass) * (double(song->loops) + 1) / p->sampling_rate;
}

double vk68_song_position(const vk68_song *song) {
  return song ? double(song->played) / song->player->sampling_rate : 0;
}

int vk68_song_seek(vk68_song *song, double seconds) {
  if (!song) return -1;
  char text[96];
  if (!(seconds >= 0) || !song->track) {
    if (song->track)
      std::snprintf(text, sizeof text, "cannot seek to %g s", seconds);
    else
      std::snprintf(text, sizeof text, "no current track to seek in");
    fail(song, text);
    return -1;
  }
  MessageScope messages;
  const double exact = std::nearbyint(seconds * song->player->sampling_rate);
  const uint64_t target = exact < 0x1p63 ? uint64_t(exact) : UINT64_MAX;
  if (target < song->played && start_track(song, song->track, messages) < 0) return -1;
  const uint32_t failures = song->failures;
  while (song->played < target && !song->ended)
    render(song, nullptr, size_t(std::min<uint64_t>(target - song->played, SIZE_MAX)), messages);
  if (song->played == target) return 0;
  if (song->failures == failures) {  // else the replay failed on the way, and said why
    std::snprintf(text, sizeof text, "%.3f s is past the end of track %d", seconds, song->track);
    fail(song, text);
  }
  return -1;
}

const char *vk68_song_meta(const vk68_song *song, int track, const char *key) {
  if (!song || !key || track < 0 || track > song->player->disk->track_count) return nullptr;
  const Disk68 &d = *song->player->disk;
  const Track68 &t = d.tracks[track ? track - 1 : d.default_track];
  const std::string k = key;
  if (k == "title") return given(track ? t.name : d.name);
  if (k == "artist") return given(t.author);
  if (k == "composer") {
    const char *author = given(t.author);
    const char *composer = given(t.composer);
    return composer && (!author || std::strcmp(author, composer) != 0) ? composer : nullptr;
  }
  if (k == "year") return given(d.year);
  if (k == "replay") return t.replay ? t.replay : "built-in";
  if (k == "hardware") return VK68file_hardware_text(track ? t.hardware : d.hardware);
  if (k == "format") return song->format;
  return nullptr;
}

const char *vk68_song_error(const vk68_song *song) {
  return song && song->failures ? song->error : nullptr;
}

}  // extern "C"
