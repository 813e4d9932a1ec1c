// vk68 play FILE [--track N]: real-time playback through SDL2 audio. Shows
// the track, its name, author and time, and the time played; space pauses,
// n and p go to the next and previous track, q or ESC quits. The tracks
// play in turn from the chosen one to the last. The terminal's mode is
// restored on every way out, signals included.
//
// SDL2 is loaded when this command runs, not linked: the other commands
// (render above all) stay free of its libraries and their memory.
#include <SDL.h>
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "playback.h"
#include "tool.h"

namespace vk68tool {
namespace {

constexpr int kDeviceSamples = 2048;  // ~46 ms per device buffer at 44.1 kHz
constexpr int kPollMs = 100;          // key and display period

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
// it (and the player).
struct Shared {
  Player68 *player;
  uint64_t played = 0;  // samples of the current track
  bool finished = false;
  bool failed = false;
};

void fill(void *user, Uint8 *stream, int len) {
  Shared &s = *static_cast<Shared *>(user);
  uint32_t *out = reinterpret_cast<uint32_t *>(stream);
  int n = len / 4;
  while (n > 0 && !s.finished) {
    Pull p{};
    if (!pull(s.player, out, n, p)) {
      s.failed = s.finished = true;
      break;
    }
    if (p.changed) s.played = 0;
    if (p.changed && !s.player->track) s.finished = true;  // the last track ended
    out += p.written;
    n -= p.written;
    s.played += uint64_t(p.written);
  }
  std::memset(out, 0, size_t(n) * 4);
}

// Keys pressed since the last call (waits up to kPollMs for the first);
// false at the end of the input. Cursor and function keys (ESC [ ... or
// ESC O x) are left out; an ESC on its own is kept.
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
      continue;
    }
    keys += bytes[i];
  }
  return true;
}

// "MM:SS" for a number of seconds.
std::string clock_text(uint64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02llu:%02llu", (unsigned long long)(seconds / 60),
                (unsigned long long)(seconds % 60));
  return text;
}

void show_track(const Player68 *player, bool live) {
  VK68trackInfo info;
  if (vk68_track_info(player, nullptr, &info, -1) != 0) return;
  std::printf("%strack %d/%d  %s - %s  (%s)\n", live ? "\n" : "", info.track, info.tracks,
              escaped(info.name).c_str(), escaped(info.author).c_str(), info.time);
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
  Shared shared{open_player(line.operands[0], 0, -1)};
  if (!shared.player || !has_track(shared.player, line.operands[0], track) ||
      vk68_play(shared.player, track) < 0) {
    if (shared.player) {
      engine_failure();
      close_player(shared.player);
    }
    sdl.SDL_Quit();
    return kExitFailure;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = int(shared.player->sampling_rate);
  want.format = AUDIO_S16LSB;  // the player's words: left, right, little-endian
  want.channels = 2;
  want.samples = kDeviceSamples;
  want.callback = fill;
  want.userdata = &shared;
  const SDL_AudioDeviceID device = sdl.SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    const int status = failure(std::string("no sound device: ") + sdl.SDL_GetError());
    close_player(shared.player);
    sdl.SDL_Quit();
    return status;
  }

  raw_terminal();
  const bool live = isatty(STDOUT_FILENO);
  std::printf("%s  (space: pause, n/p: next/previous track, q: quit)\n",
              escaped(shared.player->disk->name).c_str());
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
    Player68 *p = shared.player;
    for (char key : keys) {
      const int count = vk68_track_count(p), current = vk68_play(p, -1);
      if (key == 'n' && current < count) vk68_play(p, current + 1);
      if (key == 'p' && current > 1) vk68_play(p, current - 1);
      if (key == ' ') sdl.SDL_PauseAudioDevice(device, (paused = !paused) ? 1 : 0);
      if (key == 'q' || key == 'Q' || key == 0x1B) quit = true;
    }
    const int current = vk68_play(p, -1);
    if (current != shown && current > 0) show_track(p, live);
    if (current > 0) shown = current;
    const uint64_t seconds = shared.played / p->sampling_rate;
    quit = quit || shared.finished;
    sdl.SDL_UnlockAudioDevice(device);
    if (live) {
      std::printf("\r  %s%s", clock_text(seconds).c_str(), paused ? "  [paused]" : "          ");
      std::fflush(stdout);
    }
  }
  sdl.SDL_CloseAudioDevice(device);
  sdl.SDL_Quit();
  restore_terminal();
  if (live) std::printf("\n");
  const bool failed = shared.failed;
  close_player(shared.player);
  return failed ? kExitFailure : kExitOk;
}

}  // namespace vk68tool
