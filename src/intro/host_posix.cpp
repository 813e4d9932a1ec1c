// The real program's clock, terminal and signals.
//
// Waits use nanosleep. A console key is one readable on stdin while stdin is
// the terminal and this process is in its foreground process group; only
// then is the terminal's mode touched (a background job that did so would be
// stopped by the terminal), and only for the length of one look.
//
// SIGINT, SIGTERM and SIGHUP ask the driver to wind down: it stops the music,
// gives the screen back and returns, and host_end then ends the process by
// the same signal, as the default action would have. A second such signal
// ends the process at once. Fault signals give back what can still be given
// back (the terminal, then the screen, under a dead-man timer) before the
// default action runs.
#include "intro/host_posix.h"
#include "intro/host.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "display/display.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Seconds a clean-up after a fault may take before SIGALRM ends it.
constexpr unsigned kFaultCleanupSeconds = 2;

volatile sig_atomic_t stop_signal = 0;

// The terminal's mode while host_console_key has it switched.
termios saved_mode;
volatile sig_atomic_t terminal_switched = 0;

// Async-signal-safe.
void restore_terminal() {
  if (terminal_switched == 0) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
  terminal_switched = 0;
}

// Async-signal-safe: the handlers run with SA_NODEFER, so the signal is
// delivered at once.
void die_by(int sig) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigaction(sig, &dfl, nullptr);
  raise(sig);
}

extern "C" void on_stop_signal(int sig) {
  if (stop_signal == 0) {
    stop_signal = sig;
    return;
  }
  restore_terminal();
  die_by(sig);
}

extern "C" void on_fault_signal(int sig) {
  restore_terminal();
  // Giving the screen back calls into the window system, which is not safe
  // here and may hang when the fault hit inside it: the timer ends that.
  alarm(kFaultCleanupSeconds);
  display_close();
  die_by(sig);
}

void install(int sig, void (*handler)(int), int flags) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sa.sa_flags = flags;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
}

bool in_terminal_foreground() {
  const pid_t fg = tcgetpgrp(STDIN_FILENO);
  return fg != -1 && fg == getpgrp();
}

}  // namespace

void host_wait_ms(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR && stop_signal == 0) {
  }
}

bool host_console_key() {
  if (!in_terminal_foreground()) return false;
  // A key only becomes readable without Enter in non-canonical mode; switch
  // to it just for the look and put the terminal back at once.
  termios mode{};
  if (tcgetattr(STDIN_FILENO, &mode) != 0) return false;
  saved_mode = mode;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  terminal_switched = 1;
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &mode);
  bool key = false;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
    // Take the key so it does not end up on the shell's command line later.
    char buf[64];
    key = read(STDIN_FILENO, buf, sizeof buf) > 0;
  }
  restore_terminal();
  return key;
}

bool host_stop_requested() { return stop_signal != 0; }

void host_begin() {
  for (int sig : kStopSignals) install(sig, on_stop_signal, SA_NODEFER);
  for (int sig : kFaultSignals) install(sig, on_fault_signal, SA_NODEFER | SA_RESETHAND);
}

int host_end(int status) {
  if (stop_signal != 0) die_by(stop_signal);
  return status;
}
