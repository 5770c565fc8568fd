// SPDX-License-Identifier: Apache-2.0
// Termination requests are noted, not obeyed at once: a road stops at its next safe
// point, where nothing it has begun is left half done.
#include "signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

volatile sig_atomic_t firstSignal = 0;
// Set while a call waits that may never return; then the handler ends the process.
volatile sig_atomic_t waiting = 0;
// "<lead>interrupted by signal ", made before the wait, and the descriptor standard output
// uses: the handler may only copy bytes and write them.
char waitLine[128];
size_t waitLineLength = 0;
int waitOutput = 1;

void noteSignal(int number)
{
    if (waiting != 0) {
        char line[sizeof waitLine + 8];
        memcpy(line, waitLine, waitLineLength);
        size_t length = waitLineLength;
        char digits[8];
        size_t count = 0;
        for (unsigned value = static_cast<unsigned>(number); count == 0 || value != 0;
             value /= 10) {
            digits[count++] = static_cast<char>('0' + value % 10);
        }
        while (count > 0) {
            line[length++] = digits[--count];
        }
        line[length++] = '\n';
        // Nothing is left to do when the write fails: the exit status tells.
        ssize_t written = write(waitOutput, line, length);
        (void)written;
        _exit(255);
    }
    if (firstSignal == 0) {
        firstSignal = number;
    }
}

const int noted[] = {SIGINT, SIGTERM, SIGHUP};

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
    // One signal at a time: a second one cannot write a second line while the first ends
    // the process.
    sigemptyset(&note.sa_mask);
    for (int number : noted) {
        sigaddset(&note.sa_mask, number);
    }
    // A device request in flight is completed, never cut short: the object in hand is
    // finished before the road stops.
    note.sa_flags = SA_RESTART;
    for (int number : noted) {
        (void)sigaction(number, &note, nullptr);
    }
}

bool enterQuietWait(const char* lead)
{
    // Standard output is the only place to report a failure to write it: none is.
    (void)fflush(stdout);
    waitOutput = fileno(stdout);
    int written = snprintf(waitLine, sizeof waitLine, "%sinterrupted by signal ", lead);
    waitLineLength = (written < 0) ? 0 : strnlen(waitLine, sizeof waitLine);
    // Waiting is set before the noted signal is looked at: one that comes after the look
    // finds the handler ending the process, so none can slip in between and be missed.
    waiting = 1;
    if (firstSignal != 0) {
        waiting = 0;
        return true;
    }
    return false;
}

bool enterWait(const char* lead)
{
    return enterQuietWait(lead) && reportInterrupted(lead);
}

void leaveWait()
{
    waiting = 0;
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
