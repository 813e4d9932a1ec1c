/* Screen mode and pixel layout choice. */
#include "display/screen_mode.h"

#include <cstdlib>

namespace screen_mode {

const pixconv::Layout *layout_for_format(Uint32 format) {
  int bpp;
  Uint32 r, g, b, a;
  if (SDL_ISPIXELFORMAT_FOURCC(format) || SDL_ISPIXELFORMAT_INDEXED(format) ||
      !SDL_PixelFormatEnumToMasks(format, &bpp, &r, &g, &b, &a))
    return nullptr;
  return pixconv::find_layout(SDL_BYTESPERPIXEL(format) * 8, r, g, b);
}

int choose_mode(const SDL_DisplayMode *modes, int count, int width, int height) {
  int best = -1;
  int best_bits = 0, best_distance = 0;
  for (int i = 0; i < count; ++i) {
    const SDL_DisplayMode &m = modes[i];
    if (m.w != width || m.h != height || SDL_ISPIXELFORMAT_INDEXED(m.format) ||
        SDL_ISPIXELFORMAT_FOURCC(m.format))
      continue;
    // Formats without a converter of their own rank last: SDL converts to
    // them, even to those it cannot name (a 30-bit screen's, for one).
    const pixconv::Layout *layout = layout_for_format(m.format);
    int bits = layout ? layout->bits : 0;
    int distance = std::abs(m.refresh_rate - 60);
    if (best < 0 || bits > best_bits || (bits == best_bits && distance < best_distance)) {
      best = i;
      best_bits = bits;
      best_distance = distance;
    }
  }
  return best;
}

bool is_60_hz(int refresh_rate) { return refresh_rate == 59 || refresh_rate == 60; }

}  // namespace screen_mode
