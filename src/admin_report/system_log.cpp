// SPDX-License-Identifier: Apache-2.0
#include <stdarg.h>
#include <syslog.h>

#include <cstdio>

#include "admin_report.h"

namespace {

bool opened = false;
uint32_t changes = 0;

void logLine(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logLine(int priority, const char* format, ...)
{
    if (!opened) {
        // Identity changes go where the account tools log theirs.
        openlog("korvane", LOG_PID, LOG_AUTHPRIV);
        opened = true;
    }
    // Formatted here, so that a name never reaches syslog as a format.
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    (void)vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    syslog(priority, "%s", line);
}

// journald drops lines beyond 10,000 in 30 seconds and each line costs a few microseconds:
// past CHANGES_LOGGED a put's changes are only counted, the count logged before its
// closing line (diff shows them all beforehand).
void logUncounted(const char* kind)
{
    if (changes > CHANGES_LOGGED) {
        logLine(LOG_NOTICE, "put %s: %u more changes not logged one by one", kind,
                changes - CHANGES_LOGGED);
    }
}

}  // namespace

void logChange(const char* kind, const char* name, const GUID* old, const GUID* now)
{
    if (++changes > CHANGES_LOGGED) {
        return;
    }
    char oldText[GUID_TEXT_SIZE];
    char newText[GUID_TEXT_SIZE];
    LB_GUIDToString(old, oldText);
    LB_GUIDToString(now, newText);
    logLine(LOG_NOTICE, "put %s \"%s\": ID %s -> %s", kind, name, oldText, newText);
}

void logPutDone(const char* kind, const char* path, uint32_t changed, uint32_t held,
                uint32_t inactive)
{
    logUncounted(kind);
    logLine(LOG_NOTICE,
            "put %s from \"%s\": %u changed, %u already held their ID, %u inactive skipped", kind,
            path, changed, held, inactive);
}

void logPutStopped(const char* kind, const char* path, const char* word, const char* name,
                   uint32_t changed, uint32_t left)
{
    logUncounted(kind);
    logLine(LOG_ERR, "put %s from \"%s\" stopped at %s \"%s\": %u changed, %u not applied", kind,
            path, word, name, changed, left);
}

void logGetDone(const char* kind, const char* path, uint32_t saved, uint32_t unsaved)
{
    logLine(LOG_INFO, "get %s to \"%s\": %u saved, %u could not be saved", kind, path, saved,
            unsaved);
}

void logGetFailed(const char* kind, const char* path, const char* line)
{
    logLine(LOG_ERR, "get %s to \"%s\" failed: %s", kind, path, line);
}
