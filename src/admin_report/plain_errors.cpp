// SPDX-License-Identifier: Apache-2.0
#include <errno.h>

#include <cstdio>
#include <cstring>

#include "admin_report.h"

namespace {

constexpr size_t LINE_SIZE = 1024;
// A line that shows a name or a path: it is not cut, however many bytes are escaped.
constexpr size_t SHOWN_LINE_SIZE = LINE_SIZE + sizeof(ShownText_s);

// The one writer of every line on standard error, the progress line's aside.
void explain(const char* text)
{
    blankProgress();
    (void)fflush(stdout);
    (void)fprintf(stderr, "korvane: %s\n", text);
    // Buffered while the messages go there on a terminal: the line goes out now.
    (void)fflush(stderr);
}

// A warning of get: on standard error and in the system log.
void warn(const char* text)
{
    explain(text);
    logWarning(text);
}

bool deviceExplained = false;

char failureLine[LINE_SIZE];

char listFile[PATH_MAX];
char absoluteListFile[PATH_MAX];

// What an error number of the storage system's own files most likely means: no node, or
// a node with no driver behind it, is a storage system not loaded.
const char* loadedHint(int error)
{
    return (error == ENOENT || error == ENODEV || error == ENXIO)
               ? " (is the storage system loaded?)"
               : "";
}

// Only root may open the admin device and the run lock's file.
const char* rootHint(int error)
{
    return (error == EACCES || error == EPERM) ? " (korvane must run as root)" : "";
}

}  // namespace

void explainDeviceOpenFailure(int error)
{
    if (deviceExplained) {
        return;
    }
    deviceExplained = true;
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "cannot open the admin device /dev/zapi: %s%s%s",
                   strerror(error), loadedHint(error), rootHint(error));
    explain(line);
}

void explainListingFailure(const char* directory, int error)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "cannot list %s: %s%s", directory, strerror(error),
                   loadedHint(error));
    explain(line);
}

void explainFileFailure(const char* path, int error)
{
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line, "%s: %s", shown(path).text, strerror(error));
    explain(line);
}

void explainLockFailure(const char* path, int error)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "cannot lock %s: %s%s", path, strerror(error),
                   rootHint(error));
    explain(line);
}

void explainRefusal(const char* word, const char* name, const char* request, uint32_t status)
{
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line, "%s \"%s\": the storage system refused %s (status %lu)", word,
                   shown(name).text, request, static_cast<unsigned long>(status));
    explain(line);
}

void explainBadId(const char* word, const char* name, int status)
{
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line,
                   "%s \"%s\": the list's ID text is not an object ID (status %d)", word,
                   shown(name).text, status);
    explain(line);
}

void explainWord(const char* lead, const char* word, const char* tail)
{
    // A word as long as a path fits; a longer one is cut.
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line, "%s\"%s\"%s", lead, shown(word).text, tail);
    explain(line);
}

void explainOtherKindsList(const char* held, const char* wanted)
{
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line, "%s holds a list of %s, not %s", shown(listFile).text, held,
                   wanted);
    explain(line);
}

void nameListFile(const char* path, const char* absolute)
{
    (void)snprintf(listFile, sizeof listFile, "%s", path);
    (void)snprintf(absoluteListFile, sizeof absoluteListFile, "%s", absolute);
}

const char* loggedName(const char* path)
{
    return (absoluteListFile[0] != '\0' && strcmp(path, listFile) == 0) ? absoluteListFile : path;
}

void explainUncheckedPair(uint32_t line, const char* word, const char* name)
{
    char text[SHOWN_LINE_SIZE];
    (void)snprintf(text, sizeof text, "line %u: %s \"%s\" has no check", line, word,
                   shown(name).text);
    explain(text);
}

void explainMoreUncheckedPairs(uint32_t count)
{
    char text[LINE_SIZE];
    (void)snprintf(text, sizeof text, "%u more pairs have no check", count);
    explain(text);
}

void explainNotCompared(const char* word, const char* name, uint32_t status)
{
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line,
                   "%s \"%s\" could not be read (status %lu): its ID was not compared", word,
                   shown(name).text, static_cast<unsigned long>(status));
    explain(line);
}

void explainPutDone(const char* kind, const char* path, uint32_t changed, uint32_t held,
                    uint32_t inactive)
{
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line, PUT_DONE_FORMAT, kind, shown(loggedName(path)).text, changed,
                   held, inactive);
    explain(line);
}

void explainUndoList(const char* kind, const char* undo)
{
    char line[LINE_SIZE + 2 * sizeof(ShownText_s)];
    (void)snprintf(line, sizeof line, UNDO_LIST_FORMAT, shown(undo).text, kind, shown(undo).text);
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

void warnIdChanged(const char* word, const char* name, const GUID* old, const GUID* now)
{
    char oldText[GUID_TEXT_SIZE];
    char newText[GUID_TEXT_SIZE];
    LB_GUIDToString(old, oldText);
    LB_GUIDToString(now, newText);
    char line[SHOWN_LINE_SIZE];
    (void)snprintf(line, sizeof line, "%s \"%s\" changed its ID since the last list: %s -> %s",
                   word, shown(name).text, oldText, newText);
    warn(line);
}

void warnMoreIdsChanged(const char* counted, uint32_t count)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "%u more %s changed their ID since the last list", count,
                   counted);
    warn(line);
}

void warnObjectsGone(const char* counted, uint32_t count)
{
    char line[LINE_SIZE];
    (void)snprintf(line, sizeof line, "%u %s of the last list are not in this one", count, counted);
    warn(line);
}
