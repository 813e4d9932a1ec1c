// Entry point of the varnkol intro; it takes no arguments.
#include "intro/driver.h"
#include "intro/host_posix.h"

int main() {
  host_begin();
  return host_end(intro_run());
}
