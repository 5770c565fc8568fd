// SPDX-License-Identifier: Apache-2.0
// Termination requests noted instead of obeyed at once, so that a road stops where it is
// safe to.
#pragma once

// Ignores SIGPIPE and has SIGINT, SIGTERM and SIGHUP noted instead of ending the process.
// Called once, at the start of the process.
void installSignalHandlers();
// While `interrupting`, such a signal makes a blocked call fail with EINTR (a read of a pipe
// or terminal that may never end); otherwise the call is restarted (a device request).
void interruptBlockingReads(bool interrupting);
// The first of those signals received, 0 while none was.
int caughtSignal();
// When a signal has been noted, prints "<lead>interrupted by signal N" and returns true.
bool reportInterrupted(const char* lead);
