// Random numbers, sleeping and printing for the intro driver and the scene.
#include "intro/runtime.h"

#include <cstdio>

#include "intro/host.h"

namespace {

// Linear congruential generator, modulus 2^32; the 15 bits above bit 16 are
// the output (the upper bits of such a generator have the longest periods).
constexpr uint32_t kRandomMul = 1103515245u;
constexpr uint32_t kRandomAdd = 12345u;
constexpr uint32_t kRandomStart = 1u;  // never seeded: always this state

uint32_t random_state = kRandomStart;

// Sleeps of at least this length are cut into steps that watch the console.
constexpr uint32_t kLongSleepMs = 100;
constexpr uint32_t kSleepStepMs = 50;

}  // namespace

double random_unit() {
  random_state = random_state * kRandomMul + kRandomAdd;
  const uint32_t k = (random_state >> 16) & 0x7FFFu;
  return static_cast<double>(k) / 32768.0;
}

void random_reset() { random_state = kRandomStart; }

void sleep_ms(uint32_t ms) {
  if (ms < kLongSleepMs) {
    host_wait_ms(ms);
    return;
  }
  while (ms > 0 && !host_console_key() && !host_stop_requested()) {
    const uint32_t step = ms < kSleepStepMs ? ms : kSleepStepMs;
    host_wait_ms(step);
    ms -= step;
  }
}

void print_line(const char *text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void print_error(const char *what, const char *why) {
  std::fprintf(stderr, "varnkol: %s: %s\n", what, why);
}
