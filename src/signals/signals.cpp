// SPDX-License-Identifier: Apache-2.0
// Termination requests are noted, not obeyed at once: a road stops at its next safe
// point, where nothing it has begun is left half done.
#include "signals.h"

#include <signal.h>

#include <cstdio>

namespace {

volatile sig_atomic_t firstSignal = 0;

void noteSignal(int number)
{
    if (firstSignal == 0) {
        firstSignal = number;
    }
}

}  // namespace

void installSignalHandlers()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    // A closed pipe then fails the write with EPIPE, which is reported like any failure.
    (void)sigaction(SIGPIPE, &ignore, nullptr);
    // A device request in flight is completed, never cut short: the object in hand is
    // finished before the road stops.
    interruptBlockingReads(false);
}

void interruptBlockingReads(bool interrupting)
{
    struct sigaction note {};
    note.sa_handler = noteSignal;
    sigemptyset(&note.sa_mask);
    // Restarted, a blocked call goes on; without SA_RESTART it fails with EINTR, so that
    // the caller sees the signal at once.
    note.sa_flags = interrupting ? 0 : SA_RESTART;
    const int noted[] = {SIGINT, SIGTERM, SIGHUP};
    for (int number : noted) {
        (void)sigaction(number, &note, nullptr);
    }
}

int caughtSignal()
{
    return firstSignal;
}

bool reportInterrupted(const char* lead)
{
    int number = firstSignal;
    if (number == 0) {
        return false;
    }
    printf("%sinterrupted by signal %d\n", lead, number);
    return true;
}
