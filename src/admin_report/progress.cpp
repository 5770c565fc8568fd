// SPDX-License-Identifier: Apache-2.0
// The progress line of a long run, on standard error while it is a terminal: written over
// itself, and blanked before any other line reaches that terminal, so that no line ever
// starts behind it.
#include <stdio_ext.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "admin_report.h"

namespace {

// At most four lines a second: faster, a terminal only flickers.
constexpr int64_t DRAW_INTERVAL_NS = 250000000;
constexpr size_t LINE_SIZE = 128;

struct Progress_s {
    bool active;          // standard error is a terminal, and a run counts its objects
    bool sharesTerminal;  // standard output is a terminal too, held back while the line shows
    bool showing;         // the line stands on the terminal, the cursor at its end
    size_t shownLength;   // its bytes after the "\r"
    uint32_t total;
    int64_t nextDraw;  // CLOCK_MONOTONIC, in nanoseconds
    char lead[64];     // "get volume"
};

Progress_s progress;

int64_t monotonicNow()
{
    timespec now{};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Straight to descriptor 2, past the streams, whose messages have gone out before. A
// terminal that fails a write loses the line and nothing else.
void writeToTerminal(const char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t written = write(STDERR_FILENO, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

void drawProgress(uint32_t done)
{
    // Objects the directory gained after it was counted are counted in too.
    uint32_t total = (done > progress.total) ? done : progress.total;
    char line[LINE_SIZE];
    int length = snprintf(line, sizeof line, "\rkorvane: %s: %u of %u", progress.lead, done, total);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof line) {
        return;
    }
    writeToTerminal(line, static_cast<size_t>(length));
    progress.showing = true;
    progress.shownLength = static_cast<size_t>(length) - 1;
}

}  // namespace

bool progressWanted()
{
    return isatty(STDERR_FILENO) != 0;
}

void startProgress(const char* road, const char* kind, uint32_t total)
{
    progress = Progress_s{};
    if (!progressWanted()) {
        return;
    }
    progress.active = true;
    progress.sharesTerminal = isatty(fileno(stdout)) != 0;
    progress.total = total;
    // The first object read draws the line at once.
    progress.nextDraw = monotonicNow();
    (void)snprintf(progress.lead, sizeof progress.lead, "%s %s", road, kind);
}

void stepProgress(uint32_t done)
{
    if (!progress.active) {
        return;
    }
    // Messages printed for this object reach the terminal before the line is drawn again,
    // the line blanked first.
    if (progress.sharesTerminal && __fpending(stdout) > 0) {
        blankProgress();
        (void)fflush(stdout);
    }
    int64_t now = monotonicNow();
    if (now >= progress.nextDraw) {
        progress.nextDraw = now + DRAW_INTERVAL_NS;
        drawProgress(done);
    }
}

void blankProgress()
{
    if (!progress.showing) {
        return;
    }
    // Two columns more than the line: the terminal echoes a Ctrl-C as "^C" behind it. The
    // line, drawn from a buffer of LINE_SIZE bytes, was at most LINE_SIZE - 2 bytes.
    char blank[LINE_SIZE + 2];
    size_t length = progress.shownLength + 2;
    blank[0] = '\r';
    memset(blank + 1, ' ', length);
    blank[length + 1] = '\r';
    writeToTerminal(blank, length + 2);
    progress.showing = false;
}

void endProgress()
{
    blankProgress();
    progress.active = false;
}
