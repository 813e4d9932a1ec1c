// Wall clock and terminal for the real program: waits with nanosleep, and
// sees a console key when one is readable on stdin while stdin is a terminal.
#include "intro/host.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

void host_wait_ms(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

bool host_console_key() {
  if (isatty(STDIN_FILENO) == 0) return false;
  // A key only becomes readable without Enter in non-canonical mode; switch
  // to it just for the look and put the terminal back at once, so an
  // interrupted program never leaves the terminal changed.
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  bool key = false;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
    // Take the key so it does not end up on the shell's command line later.
    char buf[64];
    key = read(STDIN_FILENO, buf, sizeof buf) > 0;
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return key;
}
