// Off-screen display and virtual clock (see offscreen.h). The key queue
// behaves like the real display's: 16 slots, at most 15 keys, the oldest
// dropped on overflow, navigation keys returned as byte 255 and a scan byte.
#include "offscreen.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "display/display.h"
#include "intro/host.h"

namespace offscreen {
namespace {

constexpr int kQueueSlots = 16;
constexpr uint16_t kFirstScanCode = 256;
// Scan byte of key codes 256.. (Up is 257 -> 'H'); the last entry also serves
// every code beyond it.
constexpr char kScanBytes[] = "XHPKMRSGOIQ;<=>?@ABCD";
constexpr uint64_t kNoConsoleKey = ~uint64_t{0};

struct State {
  bool open = false;
  bool open_result = true;
  int width = 0, height = 0;
  std::string title;
  uint16_t queue[kQueueSlots] = {};
  int write = 0, read = 0;
  std::multimap<uint64_t, uint16_t> schedule;
  uint64_t frames = 0;
  uint64_t clock = 0;
  uint64_t console_key_at = kNoConsoleKey;
  FrameHook frame_hook;
  uint64_t limit = 0;  // 0: none
  LimitHook on_limit;
  char key_text[3] = {};
};

State state;

void push_key(uint16_t code) {
  state.queue[state.write] = code;
  state.write = (state.write + 1) % kQueueSlots;
  if (state.write == state.read) state.read = (state.read + 1) % kQueueSlots;
}

uint16_t pop_key() {
  if (state.read == state.write) return 0;
  const uint16_t code = state.queue[state.read];
  state.read = (state.read + 1) % kQueueSlots;
  return code;
}

}  // namespace

void reset() { state = State{}; }

void schedule_key(uint64_t frame, uint16_t code) { state.schedule.emplace(frame, code); }
void set_frame_hook(FrameHook hook) { state.frame_hook = std::move(hook); }
void set_frame_limit(uint64_t limit, LimitHook on_limit) {
  state.limit = limit;
  state.on_limit = std::move(on_limit);
}
void set_open_result(bool ok) { state.open_result = ok; }
void set_console_key_at(uint64_t ms) { state.console_key_at = ms; }

uint64_t frames_presented() { return state.frames; }
uint64_t clock_ms() { return state.clock; }
bool is_open() { return state.open; }
int open_width() { return state.width; }
int open_height() { return state.height; }
const char *open_title() { return state.title.c_str(); }

}  // namespace offscreen

using offscreen::state;

extern "C" int display_open(const char *title, int width, int height) {
  if (!state.open_result) return 0;
  state.open = true;
  state.title = title;
  state.width = width;
  state.height = height;
  return 1;
}

extern "C" int display_update(const uint32_t *pixels) {
  const uint64_t frame = state.frames;
  // Keys scheduled for this frame arrive as if pumped from the window now.
  const auto [first, last] = state.schedule.equal_range(frame);
  for (auto it = first; it != last; ++it) offscreen::push_key(it->second);
  if (state.frame_hook) state.frame_hook(frame, pixels);
  ++state.frames;
  if (state.limit != 0 && state.frames >= state.limit && state.on_limit) state.on_limit();
  return 1;
}

extern "C" const char *display_read_key(void) {
  const uint16_t code = offscreen::pop_key();
  char *t = state.key_text;
  if (code == 0) {
    t[0] = 0;
  } else if (code < offscreen::kFirstScanCode) {
    t[0] = static_cast<char>(code);
    t[1] = 0;
  } else {
    const unsigned i = code - offscreen::kFirstScanCode;
    t[0] = static_cast<char>(0xFF);
    t[1] = offscreen::kScanBytes[i < 20 ? i : 20];
    t[2] = 0;
  }
  return t;
}

extern "C" int display_key_waiting(void) { return state.read != state.write; }

extern "C" void display_close(void) { state.open = false; }

extern "C" const char *display_error(void) { return state.open_result ? "" : "refused"; }

void host_wait_ms(uint32_t ms) { state.clock += ms; }

bool host_console_key() { return state.clock >= state.console_key_at; }

bool host_stop_requested() { return false; }
