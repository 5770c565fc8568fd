// SPDX-License-Identifier: Apache-2.0
// Termination requests are noted, not obeyed at once: a road stops at its next safe
// point, where nothing it has begun is left half done.
#include <signal.h>

#include "name_list.h"

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

    struct sigaction note {};
    note.sa_handler = noteSignal;
    sigemptyset(&note.sa_mask);
    // No SA_RESTART: a blocking call returns, so that the signal is seen soon.
    note.sa_flags = 0;
    const int noted[] = {SIGINT, SIGTERM, SIGHUP};
    for (int number : noted) {
        (void)sigaction(number, &note, nullptr);
    }
}

int caughtSignal()
{
    return firstSignal;
}
