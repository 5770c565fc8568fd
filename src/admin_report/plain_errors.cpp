// SPDX-License-Identifier: Apache-2.0
#include <errno.h>
#include <stdarg.h>

#include <cstdio>
#include <cstring>

#include "admin_report.h"

namespace {

// The one writer of every line on standard error.
void explain(const char* format, ...) __attribute__((format(printf, 1, 2)));
void explain(const char* format, ...)
{
    (void)fflush(stdout);
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    (void)vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    (void)fprintf(stderr, "korvane: %s\n", line);
}

bool deviceExplained = false;

char failureLine[1024];

}  // namespace

void explainDeviceOpenFailure(int error)
{
    if (deviceExplained) {
        return;
    }
    deviceExplained = true;
    // No node, or a node with no driver behind it.
    bool absent = error == ENOENT || error == ENODEV || error == ENXIO;
    explain("cannot open the admin device /dev/zapi: %s%s", strerror(error),
            absent ? " (is the storage system loaded?)" : "");
}

void explainListingFailure(const char* directory, int error)
{
    explain("cannot list %s: %s", directory, strerror(error));
}

void explainFileFailure(const char* path, int error)
{
    explain("%s: %s", path, strerror(error));
}

void explainLockFailure(const char* path, int error)
{
    explain("cannot lock %s: %s", path, strerror(error));
}

void explainRefusal(const char* word, const char* name, const char* request, uint32_t status)
{
    explain("%s \"%s\": the storage system refused %s (status %lu)", word, name, request,
            static_cast<unsigned long>(status));
}

void explainBadId(const char* word, const char* name, int status)
{
    explain("%s \"%s\": the list's ID text is not an object ID (status %d)", word, name, status);
}

void printFailureLine(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    if (failureLine[0] == '\0') {
        va_list kept;
        va_copy(kept, arguments);
        (void)vsnprintf(failureLine, sizeof failureLine, format, kept);
        va_end(kept);
        failureLine[strcspn(failureLine, "\n")] = '\0';
    }
    (void)vprintf(format, arguments);
    va_end(arguments);
}

const char* firstFailureLine()
{
    return failureLine;
}
