// Process-wide duties of the real program (host_posix.cpp), around the
// intro's run.
#pragma once

// Installs the handlers of the stop signals (SIGINT, SIGTERM, SIGHUP) and of
// the fault signals.
void host_begin();
// After the run has wound down: ends the process by the stop signal that
// asked for it, if one did; else returns `status`.
int host_end(int status);
