// SPDX-License-Identifier: Apache-2.0
// Termination requests noted instead of obeyed at once, so that a road stops where it is
// safe to.
#pragma once

// Ignores SIGPIPE and has SIGINT, SIGTERM and SIGHUP noted instead of ending the process.
// Called once, at the start of the process.
void installSignalHandlers();
// Around one call that may wait for ever (the open of a FIFO no writer opens, the read of a
// pipe or a terminal): a signal noted before it is reported as reportInterrupted does, and
// then true: the call must not be made. Otherwise, until leaveWait, such a signal ends the
// process at once, exit status 255, its handler writing the same line to standard output,
// which is flushed first so that nothing printed before is lost.
bool enterWait(const char* lead);
// As enterWait, but a signal noted before is left for the caller to report.
bool enterQuietWait(const char* lead);
void leaveWait();
// The first of those signals received, 0 while none was.
int caughtSignal();
// When a signal has been noted, prints "<lead>interrupted by signal N" and returns true.
bool reportInterrupted(const char* lead);
