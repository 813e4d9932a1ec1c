/* The intro's full-screen display on SDL2.
 *
 * Opening takes the screen over with a real width x height mode when the
 * display offers one, else with the desktop mode and the frame scaled to
 * fit, letter-boxed. Frames go through a streaming texture in the window's
 * own pixel format, filled row by row by the converter for that format; a
 * window format without a converter (a 30-bit screen, say) gets an XRGB8888
 * texture, the frame's own layout, which SDL converts when it draws.
 * Key presses reach the key queue while the window is pumped inside
 * display_update, and only while the window has the keyboard focus; while
 * it has not, nothing is drawn but the frames keep their pace. Requests to
 * close the window are ignored: the intro ends by ESC.
 */
#include "display/display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <SDL.h>

#include "display/display_info.h"
#include "display/frame_pacer.h"
#include "display/key_queue.h"
#include "display/keymap.h"
#include "display/pixconv.h"
#include "display/screen_mode.h"

namespace {

// The frame's own layout (0x00RRGGBB in 32 bits); SDL converts a texture of
// it to any screen format.
constexpr Uint32 kFallbackFormat = SDL_PIXELFORMAT_RGB888;

struct Display {
  SDL_Window *window = nullptr;
  SDL_Renderer *renderer = nullptr;
  SDL_Texture *texture = nullptr;
  bool video_started = false;
  int width = 0;
  int height = 0;
  bool active = false;
  bool exact_mode = false;
  Uint32 format = SDL_PIXELFORMAT_UNKNOWN;
  const pixconv::Layout *layout = nullptr;
  pacing::FramePacer pacer;
  // Paces the frames skipped while the window lacks the focus: nothing is
  // presented then, so the retrace cannot pace them.
  pacing::FramePacer idle_pacer;
};

Display d;
keys::KeyQueue key_queue;
char key_text[3];
char error_text[256];

// Records why opening failed, with SDL's reason; returns false.
bool fail(const char *what) {
  std::snprintf(error_text, sizeof error_text, "%s: %s", what, SDL_GetError());
  return false;
}

// Where no display is, SDL falls back to its off-screen driver (frames
// drawn to memory, no keys) or its dummy one: the intro would run unseen
// and deaf to ESC. Either is taken only when SDL_VIDEODRIVER (one name or
// a comma-separated list) asks for it.
bool invisible_driver_unasked() {
  const char *driver = SDL_GetCurrentVideoDriver();
  if (!driver || (SDL_strcasecmp(driver, "offscreen") != 0 && SDL_strcasecmp(driver, "dummy") != 0))
    return false;
  const char *asked = std::getenv("SDL_VIDEODRIVER");
  for (const char *p = asked; p && *p;) {
    const char *end = std::strchr(p, ',');
    const size_t n = end ? size_t(end - p) : std::strlen(p);
    if (n == std::strlen(driver) && SDL_strncasecmp(p, driver, n) == 0) return false;
    p = end ? end + 1 : p + n;
  }
  return true;
}

bool unpaced_requested() {
  const char *v = std::getenv("VARNKOL_UNPACED");
  return v && std::strcmp(v, "1") == 0;
}

// Takes the screen with an exact mode of the frame's size when one exists,
// else the desktop's mode. The window is created with its full-screen flag
// rather than switched afterwards, and at the display's top-left corner, so
// that it covers the screen even where no window manager acts on full-screen
// requests (a window centred on the desktop would hang off the smaller mode).
SDL_Window *create_fullscreen_window(const char *title, int width, int height, bool &exact) {
  SDL_Rect bounds{};
  SDL_GetDisplayBounds(0, &bounds);
  std::vector<SDL_DisplayMode> modes(size_t(std::max(SDL_GetNumDisplayModes(0), 0)));
  for (size_t i = 0; i < modes.size(); ++i)
    if (SDL_GetDisplayMode(0, int(i), &modes[i]) != 0) modes[i] = SDL_DisplayMode{};
  int chosen = screen_mode::choose_mode(modes.data(), int(modes.size()), width, height);

  exact = false;
  if (chosen >= 0) {
    SDL_Window *w = SDL_CreateWindow(title, bounds.x, bounds.y, width, height,
                                     SDL_WINDOW_FULLSCREEN | SDL_WINDOW_HIDDEN);
    if (w && SDL_SetWindowDisplayMode(w, &modes[size_t(chosen)]) == 0) {
      SDL_ShowWindow(w);
      SDL_DisplayMode now{};
      if (SDL_GetCurrentDisplayMode(std::max(SDL_GetWindowDisplayIndex(w), 0), &now) == 0 &&
          now.w == width && now.h == height) {
        exact = true;
        return w;
      }
    }
    if (w) SDL_DestroyWindow(w);
  }
  // Sized like the desktop from the start, for the same reason.
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) != 0 || desktop.w <= 0 || desktop.h <= 0) {
    desktop.w = width;
    desktop.h = height;
  }
  return SDL_CreateWindow(title, bounds.x, bounds.y, desktop.w, desktop.h,
                          SDL_WINDOW_FULLSCREEN_DESKTOP);
}

int refresh_rate(SDL_Window *w, bool exact) {
  SDL_DisplayMode m{};
  if (exact ? SDL_GetWindowDisplayMode(w, &m)
            : SDL_GetDesktopDisplayMode(std::max(SDL_GetWindowDisplayIndex(w), 0), &m))
    return 0;
  return m.refresh_rate;
}

// A renderer that waits for the retrace when `vsync`, preferring hardware.
SDL_Renderer *create_renderer(SDL_Window *w, bool vsync) {
  Uint32 sync = vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
  SDL_Renderer *r = SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED | sync);
  return r ? r : SDL_CreateRenderer(w, -1, sync);
}

// The back buffer: a streaming texture in d.format.
bool create_texture() {
  d.texture =
      SDL_CreateTexture(d.renderer, d.format, SDL_TEXTUREACCESS_STREAMING, d.width, d.height);
  if (!d.texture) return false;
  // An alpha channel in the format carries the source's top byte (0), not
  // transparency.
  SDL_SetTextureBlendMode(d.texture, SDL_BLENDMODE_NONE);
  return true;
}

void release() {
  if (d.texture) SDL_DestroyTexture(d.texture);
  if (d.renderer) SDL_DestroyRenderer(d.renderer);
  if (d.window) {
    SDL_StopTextInput();
    SDL_DestroyWindow(d.window);  // leaves the screen mode as it was
    SDL_ShowCursor(SDL_ENABLE);
    SDL_EnableScreenSaver();
  }
  if (d.video_started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  d = Display{};
  keys::clear(key_queue);
}

bool open_display(const char *title, int width, int height) {
  // SIGINT and SIGTERM stay the program's: SDL's handlers would turn them
  // into quit events, which the display ignores.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail("cannot start SDL video");
  d.video_started = true;
  if (invisible_driver_unasked()) {
    std::snprintf(error_text, sizeof error_text, "no display available");
    return false;
  }
  d.width = width;
  d.height = height;

  d.window = create_fullscreen_window(title, width, height, d.exact_mode);
  if (!d.window) return fail("cannot create the full-screen window");

  bool unpaced = unpaced_requested();
  bool want_vsync = !unpaced && screen_mode::is_60_hz(refresh_rate(d.window, d.exact_mode));
  d.renderer = create_renderer(d.window, want_vsync);
  if (!d.renderer) return fail("cannot create a renderer");
  SDL_RendererInfo info{};
  bool vsync = want_vsync && SDL_GetRendererInfo(d.renderer, &info) == 0 &&
               (info.flags & SDL_RENDERER_PRESENTVSYNC);
  d.pacer = pacing::FramePacer(unpaced ? pacing::Mode::unpaced
                               : vsync ? pacing::Mode::vsync
                                       : pacing::Mode::timer,
                               pacing::frame_period);
  d.idle_pacer = pacing::FramePacer(pacing::Mode::timer, pacing::frame_period);

  // Scaled to the desktop, the frame keeps its proportions between black
  // bars and is smoothed.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
  if (SDL_RenderSetLogicalSize(d.renderer, width, height) != 0)
    return fail("cannot scale the frame to the screen");
  // A window format without a converter, or one the renderer refuses for
  // textures, gets the fallback.
  d.format = SDL_GetWindowPixelFormat(d.window);
  if (!screen_mode::layout_for_format(d.format) || !create_texture()) {
    d.format = kFallbackFormat;
    if (!create_texture()) return fail("cannot create the frame texture");
  }
  d.layout = screen_mode::layout_for_format(d.format);

  SDL_ShowCursor(SDL_DISABLE);
  SDL_DisableScreenSaver();
  SDL_StartTextInput();
  d.active = true;
  return true;
}

void pump_events() {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (e.type == SDL_WINDOWEVENT) {
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
        d.active = true;
      else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
        d.active = false;
    } else if (e.type == SDL_RENDER_DEVICE_RESET) {
      // The renderer lost its textures (another program had the
      // graphics device); a new back buffer is made below.
      SDL_DestroyTexture(d.texture);
      d.texture = nullptr;
    } else if (d.active) {
      if (uint16_t code = keys::key_code_for_event(e)) keys::push(key_queue, code);
    }
    // SDL_QUIT and window close requests fall through unhandled.
  }
}

void wait_for_next_frame(pacing::FramePacer &pacer) {
  pacing::Clock::time_point now = pacing::Clock::now();
  pacing::Clock::time_point until = pacer.after_present(now);
  if (until > now)
    std::this_thread::sleep_until(until);
  else
    std::this_thread::yield();
}

}  // namespace

extern "C" int display_open(const char *title, int width, int height) {
  error_text[0] = 0;
  if (d.window || d.video_started) {
    std::snprintf(error_text, sizeof error_text, "the display is already open");
    return 0;
  }
  if (!title || width <= 0 || height <= 0) {
    std::snprintf(error_text, sizeof error_text, "no title or no size given");
    return 0;
  }
  if (open_display(title, width, height)) return 1;
  release();
  return 0;
}

extern "C" int display_update(const uint32_t *pixels) {
  if (!d.window || !pixels) return 0;
  pump_events();
  if (!d.active) {
    wait_for_next_frame(d.idle_pacer);
    return 1;
  }

  void *dst;
  int pitch;
  if ((!d.texture && !create_texture()) || SDL_LockTexture(d.texture, nullptr, &dst, &pitch) != 0)
    return 0;  // this frame is lost; the next call tries again
  auto *row = static_cast<uint8_t *>(dst);
  for (int y = 0; y < d.height; ++y, row += pitch)
    d.layout->fastest(pixels + size_t(y) * size_t(d.width), row, size_t(d.width));
  SDL_UnlockTexture(d.texture);

  SDL_SetRenderDrawColor(d.renderer, 0, 0, 0, 255);
  SDL_RenderClear(d.renderer);
  SDL_RenderCopy(d.renderer, d.texture, nullptr, nullptr);
  SDL_RenderPresent(d.renderer);
  wait_for_next_frame(d.pacer);
  return 1;
}

extern "C" const char *display_read_key(void) {
  return keys::key_string(keys::pop(key_queue), key_text);
}

extern "C" int display_key_waiting(void) { return keys::waiting(key_queue) ? 1 : 0; }

extern "C" void display_close(void) { release(); }

extern "C" const char *display_error(void) { return error_text; }

DisplayInfo display_info() {
  return DisplayInfo{d.window != nullptr,
                     d.exact_mode,
                     d.format,
                     d.layout,
                     d.pacer.mode(),
                     d.active,
                     d.window ? SDL_GetWindowID(d.window) : 0};
}
