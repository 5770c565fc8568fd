// SPDX-License-Identifier: Apache-2.0
#include <errno.h>
#include <limits.h>

#include <cstdio>
#include <cstring>

#include "admin_report.h"

namespace {

constexpr size_t LINE_SIZE = 1024;

// The one writer of every line on standard error.
void explain(const char* text)
{
    (void)fflush(stdout);
    (void)fprintf(stderr, "korvane: %s\n", text);
}

bool deviceExplained = false;

char failureLine[LINE_SIZE];

}  // namespace

void explainDeviceOpenFailure(int error)
{
    if (deviceExplained) {
        return;
    }
    deviceExplained = true;
    // No node, or a node with no driver behind it.
    bool absent = error == ENOENT || error == ENODEV || error == ENXIO;
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "cannot open the admin device /dev/zapi: %s%s",
                   strerror(error), absent ? " (is the storage system loaded?)" : "");
    explain(line);
}

void explainListingFailure(const char* directory, int error)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "cannot list %s: %s", directory, strerror(error));
    explain(line);
}

void explainFileFailure(const char* path, int error)
{
    // A path may be as long as PATH_MAX: the line is not cut.
    char line[LINE_SIZE + PATH_MAX];
    (void)snprintf(line, sizeof line, "%s: %s", path, strerror(error));
    explain(line);
}

void explainLockFailure(const char* path, int error)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "cannot lock %s: %s", path, strerror(error));
    explain(line);
}

void explainRefusal(const char* word, const char* name, const char* request, uint32_t status)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "%s \"%s\": the storage system refused %s (status %lu)", word,
                   name, request, static_cast<unsigned long>(status));
    explain(line);
}

void explainBadId(const char* word, const char* name, int status)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line,
                   "%s \"%s\": the list's ID text is not an object ID (status %d)", word, name,
                   status);
    explain(line);
}

void explainNotCompared(const char* word, const char* name, uint32_t status)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line,
                   "%s \"%s\" could not be read (status %lu): its ID was not compared", word, name,
                   static_cast<unsigned long>(status));
    explain(line);
}

void explainUndoList(const char* kind, const char* undo)
{
    char line[LINE_SIZE + 2 * PATH_MAX];
    (void)snprintf(line, sizeof line, UNDO_LIST_FORMAT, undo, kind, undo);
    explain(line);
}

void printFailureLine(const char* line)
{
    (void)fputs(line, stdout);
    if (failureLine[0] == '\0') {
        (void)snprintf(failureLine, sizeof failureLine, "%.*s",
                       static_cast<int>(strcspn(line, "\n")), line);
    }
}

const char* firstFailureLine()
{
    return failureLine;
}
