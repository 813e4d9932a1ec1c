// The intro's music on SDL2 audio: the player on the embedded music file,
// track 1, and a device opened paused at 44100 Hz, 16-bit stereo whose
// callback takes the two quarter-second buffers in turn (music_buffers.h);
// each buffer is refilled on the device's thread as soon as the device has
// taken the whole of it.
//
// Device errors are shown in a message box captioned "Error" with SDL's text
// (on stderr where no box can be shown) and otherwise ignored: without a
// sound device the music is loaded but never heard.
#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/music.h"
#include "audio/music_buffers.h"

namespace {

// Stereo samples per callback (about 23 ms): the device's own buffer, small
// beside ours, and long enough for a refill to fit in.
constexpr Uint16 kDeviceSamples = 1024;

Player68 *player = nullptr;
SDL_AudioDeviceID device = 0;
bool audio_started = false;

void report_device_error() {
  char text[256] = {};
  std::snprintf(text, sizeof text, "%s", SDL_GetError());
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, nullptr) != 0)
    std::fprintf(stderr, "Error: %s\n", text);
}

void on_audio(void *, Uint8 *stream, int bytes) { music_output(stream, bytes / 4); }

void open_device() {
  audio_started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!audio_started) return report_device_error();
  SDL_AudioSpec want{};
  want.freq = kMusicRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceSamples;
  want.callback = on_audio;
  // Any other format the device wants is converted by SDL.
  device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (device == 0) return report_device_error();
  SDL_PauseAudioDevice(device, 1);
}

}  // namespace

int music_start(const void *file, size_t size) {
  VK68init init{};
  init.alloc = std::malloc;
  init.free = std::free;
  player = vk68_init(&init);
  if (!player) return 0;
  if (size > INT32_MAX || vk68_load_buffer(player, file, int32_t(size)) != 0) {
    vk68_shutdown(player);
    player = nullptr;
    return 0;
  }
  vk68_play(player, 1);
  music_buffers_reset(player);
  open_device();
  // The first call starts track 1 (its init routine runs here).
  music_fill(0);
  music_fill(1);
  if (device != 0) {
    music_queue(0, music_refill);
    music_queue(1, music_refill);
  }
  return 1;
}

void music_resume(void) {
  if (device != 0) SDL_PauseAudioDevice(device, 0);
}

void music_stop(void) {
  // Records first: a buffer the device finishes from now on is not refilled.
  // Pausing waits for a running callback, closing ends the device's thread,
  // so nothing uses the player any more when it is shut down.
  music_clear_refills();
  if (device != 0) {
    SDL_PauseAudioDevice(device, 1);
    SDL_CloseAudioDevice(device);
    device = 0;
  }
  if (audio_started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  audio_started = false;
  if (player) {
    vk68_stop(player);
    vk68_shutdown(player);
    player = nullptr;
  }
  music_buffers_reset(nullptr);
}
