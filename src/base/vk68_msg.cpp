// The engine's message stack and time-text buffers (one set per thread),
// its debug and allocation hooks (process-wide), and the time texts.
#include "vk68/vk68_msg.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kSlots = 8;
constexpr int kSlotSize = 256;

thread_local char g_messages[kSlots][kSlotSize];
thread_local int g_count = 0;

vk68_alloc_t g_alloc = nullptr;
vk68_free_t g_free = nullptr;
vk68_debug_t g_debug = nullptr;
void *g_cookie = nullptr;

thread_local char g_time_text[9] = "-- --:--";
thread_local char g_long_time_text[32];

}  // namespace

extern "C" int vk68_error_add(const char *format, ...) {
  if (g_count == kSlots) {
    std::memmove(g_messages[0], g_messages[1], sizeof g_messages[0] * (kSlots - 1));
    g_count = kSlots - 1;
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_messages[g_count], kSlotSize, format, args);
  va_end(args);
  ++g_count;
  return -1;
}

extern "C" const char *vk68_error_get(void) {
  if (g_count <= 0) {
    g_count = 0;
    return nullptr;
  }
  return g_messages[--g_count];
}

extern "C" int vk68_debug(const char *format, ...) {
  if (!g_debug) return 0;
  va_list args;
  va_start(args, format);
  int result = g_debug(g_cookie, format, args);
  va_end(args);
  return result;
}

extern "C" void *vk68_alloc(size_t size) {
  if (!g_alloc) {
    vk68_error_add("dynamic memory allocation handler not set.");
    return nullptr;
  }
  void *block = g_alloc(size);
  if (!block) vk68_error_add("dynamic memory allocation error.");
  return block;
}

extern "C" int vk68_free(void *block) {
  if (!block) return 0;
  if (!g_free) return vk68_error_add("dynamic memory free handler not set.");
  g_free(block);
  return 0;
}

extern "C" vk68_alloc_t vk68_set_alloc(vk68_alloc_t hook) {
  vk68_alloc_t previous = g_alloc;
  if (hook) g_alloc = hook;
  return previous;
}

extern "C" vk68_free_t vk68_set_free(vk68_free_t hook) {
  vk68_free_t previous = g_free;
  if (hook) g_free = hook;
  return previous;
}

extern "C" vk68_debug_t vk68_set_debug(vk68_debug_t hook) {
  vk68_debug_t previous = g_debug;
  g_debug = hook;
  return previous;
}

extern "C" void *vk68_set_cookie(void *cookie) {
  void *previous = g_cookie;
  g_cookie = cookie;
  return previous;
}

extern "C" char *vk68_time_str(char *buffer, int track, int seconds) {
  char *out = buffer ? buffer : g_time_text;
  char text[32];
  if (track <= 0) {
    std::memcpy(text, "--", 2);
  } else {
    std::snprintf(text, 3, "%02u", static_cast<unsigned>(track > 99 ? 99 : track));
  }
  text[2] = ' ';
  if (seconds < 0) {
    std::memcpy(text + 3, "--:--", 6);
  } else {
    unsigned s = static_cast<unsigned>(seconds > 5999 ? 5999 : seconds);
    std::snprintf(text + 3, 6, "%02u:%02u", s / 60, s % 60);
  }
  std::memcpy(out, text, 8);
  out[8] = 0;
  return out;
}

extern "C" char *vk68_long_time_str(char *buffer, int seconds) {
  char *out = buffer ? buffer : g_long_time_text;
  if (seconds <= 0) {
    std::snprintf(out, 32, "none");
    return out;
  }
  // At most "24855 days, 23h, 59' 59\"" for a 32-bit count: fits in 32.
  char text[64];
  constexpr size_t kSize = sizeof text;
  int s = seconds;
  int d = s / 86400;
  int h = s / 3600 - 24 * d;
  int m = s / 60 - 60 * (s / 3600);
  int r = s % 60;
  if (d > 0) {
    std::snprintf(text, kSize, "%d day%s, %2dh, %02d' %02d\"", d, d > 1 ? "s" : "", h, m, r);
  } else if (h > 0) {
    std::snprintf(text, kSize, "%2dh, %02d' %02d\"", h, m, r);
  } else {
    std::snprintf(text, kSize, "%02d' %02d\"", m, r);
  }
  text[31] = 0;
  std::memcpy(out, text, std::strlen(text) + 1);
  return out;
}
