// Requests to stop from outside the program: Ctrl-C (SIGINT), a service stop
// or shutdown (SIGTERM) and a closed terminal (SIGHUP). The handler only
// raises a flag; the main cycle looks at it between time steps, saves the
// run in progress and ends normally. A second signal of the same kind ends
// the program at once, so a program that hangs can still be stopped.
#pragma once

void installStopSignals();
bool stopRequested();
// Raises the flag as a signal would (tests, and callers that must stop).
void requestStop();
void clearStopRequest();
