// Run-time services of the intro: the never-seeded 15-bit random numbers,
// sleeping with the console-key rule, and printing a line.
#pragma once

#include <cstdint>

// Next pseudo-random value k / 32768 with k in 0..32767. The generator starts
// from the same fixed state in every run, so the sequence never changes.
double random_unit();
// Puts the generator back to its start-of-run state (used between runs of
// the driver inside one process, e.g. by tests and the capture tool).
void random_reset();

// Sleeps `ms` milliseconds. A sleep of 100 ms or more is taken in 50 ms steps
// and ends at the first step boundary at which a console key is waiting or
// the program was asked to end; a shorter sleep is one uninterrupted wait.
void sleep_ms(uint32_t ms);

// Writes `text` and a newline to standard output.
void print_line(const char *text);
// Writes "varnkol: <what>: <why>" and a newline to standard error.
void print_error(const char *what, const char *why);
