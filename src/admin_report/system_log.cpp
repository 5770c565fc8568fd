// SPDX-License-Identifier: Apache-2.0
#include <syslog.h>

#include <cstdio>

#include "admin_report.h"

namespace {

bool opened = false;
uint32_t changes = 0;

// A path, a name and the undo list's path twice, all shown escaped, may each be as long as
// PATH_MAX: the line is not cut.
constexpr size_t LINE_SIZE = 512 + 4 * sizeof(ShownText_s);

void logText(int priority, const char* text)
{
    if (!opened) {
        // Identity changes go where the account tools log theirs.
        openlog("korvane", LOG_PID, LOG_AUTHPRIV);
        opened = true;
    }
    // A name never reaches syslog as a format.
    syslog(priority, "%s", text);
}

// journald drops lines beyond 10,000 in 30 seconds and each line costs a few microseconds:
// past CHANGES_LOGGED a put's changes are only counted, the count logged before its
// closing line (diff shows them all beforehand).
void logUncounted(const char* kind)
{
    if (changes > CHANGES_LOGGED) {
        char line[LINE_SIZE];
        (void)snprintf(line, sizeof line, "put %s: %u more changes not logged one by one", kind,
                       changes - CHANGES_LOGGED);
        logText(LOG_NOTICE, line);
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
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "put %s \"%s\": ID %s -> %s", kind, shown(name).text, oldText,
                   newText);
    logText(LOG_NOTICE, line);
}

void logPutDone(const char* kind, const char* path, uint32_t changed, uint32_t held,
                uint32_t inactive)
{
    logUncounted(kind);
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, PUT_DONE_FORMAT, kind, shown(loggedName(path)).text, changed,
                   held, inactive);
    logText(LOG_NOTICE, line);
}

void logPutStopped(const char* kind, const char* path, const char* word, const char* name,
                   uint32_t changed, uint32_t left, const char* undo)
{
    logUncounted(kind);
    char line[LINE_SIZE];
    int length = snprintf(
        line, sizeof line, "put %s from \"%s\" stopped at %s \"%s\": %u changed, %u not applied",
        kind, shown(loggedName(path)).text, word, shown(name).text, changed, left);
    if (undo != nullptr && length > 0 && static_cast<size_t>(length) < sizeof line) {
        char* end = line + length;
        size_t room = sizeof line - static_cast<size_t>(length);
        int added = snprintf(end, room, "; ");
        if (added > 0 && static_cast<size_t>(added) < room) {
            (void)snprintf(end + added, room - static_cast<size_t>(added), UNDO_LIST_FORMAT,
                           shown(undo).text, kind, shown(undo).text);
        }
    }
    logText(LOG_ERR, line);
}

void logWarning(const char* line)
{
    logText(LOG_WARNING, line);
}

void logGetDone(const char* kind, const char* path, uint32_t saved, uint32_t unsaved)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "get %s to \"%s\": %u saved, %u could not be saved", kind,
                   shown(loggedName(path)).text, saved, unsaved);
    logText(LOG_INFO, line);
}

void logGetFailed(const char* kind, const char* path, const char* failure)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "get %s to \"%s\" failed: %s", kind,
                   shown(loggedName(path)).text, failure);
    logText(LOG_ERR, line);
}
