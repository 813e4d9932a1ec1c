// vk68 play FILE [--track N]: real-time playback through SDL2 audio. Shows
// the track, its name, author and time, and the time played of the total;
// space pauses, n and p go to the next and previous track, the left and
// right arrow keys 5 s back and on, q or ESC quits. The tracks play in turn
// from the chosen one to the last. The terminal's mode is restored on every
// way out, signals included.
//
// SDL2 is loaded when this command runs, not linked: the other commands
// (render above all) stay free of its libraries and their memory.
#include <SDL.h>
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "playback.h"
#include "tool.h"

namespace vk68tool {
namespace {

constexpr int kDeviceSamples = 2048;         // ~46 ms per device buffer at 44.1 kHz
constexpr int kPollMs = 100;                 // key and display period
constexpr int kSeekSeconds = 5;              // a press of an arrow key
constexpr char kLeft = 0x02, kRight = 0x06;  // the arrow keys (as Ctrl-B, Ctrl-F)

// The terminal: raw keys while playing, the saved mode back at every exit.
struct termios g_saved;
volatile sig_atomic_t g_raw = 0;

void restore_terminal() {
  if (g_raw) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
  g_raw = 0;
}

void on_signal(int sig) {
  restore_terminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

void raw_terminal() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved) != 0) return;
  std::atexit(restore_terminal);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGABRT})
    signal(sig, on_signal);
  struct termios raw = g_saved;
  raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  g_raw = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

// The SDL2 functions used here, from the shared library.
struct Sdl {
  void *library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  template <typename F>
  F *get(F *, const char *name) {
    return library ? reinterpret_cast<F *>(dlsym(library, name)) : nullptr;
  }
#define VK68_SDL(name) decltype(&::name) name = get(&::name, #name)
  VK68_SDL(SDL_SetHint);
  VK68_SDL(SDL_Init);
  VK68_SDL(SDL_Quit);
  VK68_SDL(SDL_GetError);
  VK68_SDL(SDL_OpenAudioDevice);
  VK68_SDL(SDL_CloseAudioDevice);
  VK68_SDL(SDL_PauseAudioDevice);
  VK68_SDL(SDL_LockAudioDevice);
  VK68_SDL(SDL_UnlockAudioDevice);
#undef VK68_SDL
  bool loaded() const {
    return SDL_SetHint && SDL_Init && SDL_Quit && SDL_GetError && SDL_OpenAudioDevice &&
           SDL_CloseAudioDevice && SDL_PauseAudioDevice && SDL_LockAudioDevice &&
           SDL_UnlockAudioDevice;
  }
};

// What the audio thread and the main thread share; the device lock guards
// it (and the song).
struct Shared {
  vk68_song *song;
  std::string known_error = "";  // the song's failure text the keys' seeks left
  bool finished = false;
  bool failed = false;
};

// Fills the device's buffer; at a track's end the next one follows in the
// same buffer, after the last one the rest is silence.
void fill(void *user, Uint8 *stream, int len) {
  Shared &s = *static_cast<Shared *>(user);
  int16_t *out = reinterpret_cast<int16_t *>(stream);
  size_t n = size_t(len) / 4;
  while (n > 0 && !s.finished) {
    const size_t got = vk68_song_render(s.song, out, n);
    out += 2 * got;
    n -= got;
    if (n == 0) break;
    // The track ended, or its replay failed.
    const char *why = vk68_song_error(s.song);
    const int next = vk68_song_current_track(s.song) + 1;
    const bool last = next > vk68_song_track_count(s.song);
    s.failed =
        (why && s.known_error != why) || (!last && vk68_song_select_track(s.song, next) != 0);
    s.finished = s.failed || last;
  }
  std::memset(out, 0, n * 4);
}

// Keys pressed since the last call (waits up to kPollMs for the first);
// false at the end of the input. The left and right arrow keys (ESC [ D,
// ESC [ C, or ESC O D/C) come as kLeft and kRight; other cursor and
// function keys are left out; an ESC on its own is kept.
bool read_keys(std::string &keys) {
  keys.clear();
  struct pollfd fd = {STDIN_FILENO, POLLIN, 0};
  if (poll(&fd, 1, kPollMs) <= 0) return true;
  char bytes[64];
  const ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
  if (got <= 0) return false;
  for (ssize_t i = 0; i < got; ++i) {
    if (bytes[i] == 0x1B && i + 1 < got && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
      for (i += 2; i < got && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E); ++i) {
      }
      if (i < got && bytes[i] == 'D') keys += kLeft;
      if (i < got && bytes[i] == 'C') keys += kRight;
      continue;
    }
    keys += bytes[i];
  }
  return true;
}

// "MM:SS" for a number of seconds, "--:--" for none.
std::string clock_text(double seconds) {
  if (!(seconds > 0)) return "--:--";
  const auto whole = static_cast<unsigned long long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02llu:%02llu", whole / 60, whole % 60);
  return text;
}

void show_track(vk68_song *song, bool live) {
  const int track = vk68_song_current_track(song);
  const char *title = vk68_song_meta(song, track, "title");
  const char *artist = vk68_song_meta(song, track, "artist");
  std::printf("%strack %d/%d  %s%s%s  (%s)\n", live ? "\n" : "", track, vk68_song_track_count(song),
              escaped(title ? title : "(no title)").c_str(), artist ? " - " : "",
              escaped(artist).c_str(), clock_text(vk68_song_duration(song, track)).c_str());
}

}  // namespace

int cmd_play(const Args &args) {
  CommandLine line;
  if (!parse(args, {}, {"--track"}, line) || !expect_operands(line, {"music file"}))
    return kExitUsage;
  int track = 0;
  if (line.has("--track")) {
    const std::string &t = line.options["--track"];
    track = std::atoi(t.c_str());
    if (track < 1 || t.find_first_not_of("0123456789") != std::string::npos)
      return usage_error("option '--track' needs a track number, not '" + t + "'");
  }

  Sdl sdl;
  if (!sdl.loaded()) return failure("no sound device: cannot load SDL2 (libSDL2-2.0.so.0)");
  sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (sdl.SDL_Init(SDL_INIT_AUDIO) != 0)
    return failure(std::string("no sound device: ") + sdl.SDL_GetError());
  const std::string &path = line.operands[0];
  vk68_song_options options;
  vk68_song_options_init(&options);
  Shared shared{open_song(path, options)};
  if (!shared.song || !has_track(shared.song, path, track) ||
      (track && vk68_song_select_track(shared.song, track) != 0)) {
    if (shared.song && track) song_failure(shared.song, path);
    vk68_song_close(shared.song);
    sdl.SDL_Quit();
    return kExitFailure;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = vk68_song_rate(shared.song);
  want.format = AUDIO_S16SYS;  // the song's samples: left, right, host order
  want.channels = 2;
  want.samples = kDeviceSamples;
  want.callback = fill;
  want.userdata = &shared;
  const SDL_AudioDeviceID device = sdl.SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    const int status = failure(std::string("no sound device: ") + sdl.SDL_GetError());
    vk68_song_close(shared.song);
    sdl.SDL_Quit();
    return status;
  }

  raw_terminal();
  const bool live = isatty(STDOUT_FILENO);
  const char *title = vk68_song_meta(shared.song, 0, "title");
  std::printf("%s  (space: pause, n/p: next/previous track, left/right: -/+%d s, q: quit)\n",
              escaped(title ? title : path.c_str()).c_str(), kSeekSeconds);
  sdl.SDL_PauseAudioDevice(device, 0);
  bool paused = false, input = true, quit = false;
  int shown = 0;
  std::string keys;
  while (!quit) {
    if (input) {
      input = read_keys(keys);
    } else {
      poll(nullptr, 0, kPollMs);
    }
    sdl.SDL_LockAudioDevice(device);
    vk68_song *song = shared.song;
    for (char key : keys) {
      const int count = vk68_song_track_count(song), current = vk68_song_current_track(song);
      if (key == 'n' && current < count) vk68_song_select_track(song, current + 1);
      if (key == 'p' && current > 1) vk68_song_select_track(song, current - 1);
      if (key == kLeft || key == kRight) {
        // Within the track: from its start to its end when its length is
        // known (a seek past the end stands there, and the next track follows).
        const double end = vk68_song_duration(song, current);
        double to = vk68_song_position(song) + (key == kRight ? kSeekSeconds : -kSeekSeconds);
        if (end > 0) to = std::min(to, end);
        vk68_song_seek(song, std::max(to, 0.0));
      }
      const char *why = vk68_song_error(song);
      shared.known_error = why ? why : "";
      if (key == ' ') sdl.SDL_PauseAudioDevice(device, (paused = !paused) ? 1 : 0);
      if (key == 'q' || key == 'Q' || key == 0x1B) quit = true;
    }
    const int current = vk68_song_current_track(song);
    if (current != shown && current > 0) show_track(song, live);
    if (current > 0) shown = current;
    const std::string time = clock_text(vk68_song_position(song)) + " / " +
                             clock_text(vk68_song_duration(song, current));
    quit = quit || shared.finished;
    sdl.SDL_UnlockAudioDevice(device);
    if (live) {
      std::printf("\r  %s%s", time.c_str(), paused ? "  [paused]" : "          ");
      std::fflush(stdout);
    }
  }
  sdl.SDL_CloseAudioDevice(device);
  sdl.SDL_Quit();
  restore_terminal();
  if (live) std::printf("\n");
  const int status = shared.failed ? song_failure(shared.song, path) : kExitOk;
  vk68_song_close(shared.song);
  return status;
}

}  // namespace vk68tool
