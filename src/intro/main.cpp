// Entry point of the varnkol intro; it takes no arguments.
#include "intro/driver.h"

int main() { return intro_run(); }
