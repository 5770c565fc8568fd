// SPDX-License-Identifier: Apache-2.0
// What the administrator reads besides the system's own lines on standard output: one plain
// line on standard error for each failure those lines give only as a number, and the record
// of each get and put in the system log.
#pragma once

#include <limits.h>

#include <cstdint>

#include "object_id.h"

// A name or a path as korvane shows it, on standard output and error and in the system
// log: each byte below 0x20 and the byte 0x7f as "\xHH" (two lower-case hex digits), every
// other byte as it is. Names come from the storage system and may hold any byte but '/'
// and NUL: a line feed would forge a line of output or a record of the system log, an
// escape sequence would change what a terminal shows. Used as printf("%s", shown(name).text):
// the record lives to the end of the full expression.
struct ShownText_s {
    char text[4 * PATH_MAX + 1];
};
// Any text of up to PATH_MAX bytes is shown whole; a longer one (no file could have that
// path) ends where the record is full, never inside an "\xHH".
ShownText_s shown(const char* text);

// "korvane: " lines on standard error, each after standard output is flushed, so that on a
// terminal it follows the line it explains.

// The admin device could not be opened (errno). Said once per run: the device is tried
// again for every object, always for the same reason.
void explainDeviceOpenFailure(int error);
// The admin directory `directory` could not be listed. Absent, it is the storage system
// that is not loaded.
void explainListingFailure(const char* directory, int error);
// The list file at `path` could not be opened, read, written, synced, closed or renamed.
void explainFileFailure(const char* path, int error);
// The run lock's file at `path` could not be opened or locked.
void explainLockFailure(const char* path, int error);
// The storage system refused `request` for the object named `name` of the kind `word`
// ("Pool" or "Volume").
void explainRefusal(const char* word, const char* name, const char* request, uint32_t status);
// The ID text the list holds for the object is not one.
void explainBadId(const char* word, const char* name, int status);
// A word of the command line that is refused: `lead`, the word in double quotes, `tail`.
void explainWord(const char* lead, const char* word, const char* tail);
// The list file noted by nameListFile holds a list of the other kind: `held` and `wanted`
// are "pools" or "volumes".
void explainOtherKindsList(const char* held, const char* wanted);

// What get found in the list it replaced, on standard error and in the system log at
// warning: an object (`word` "Pool" or "Volume") whose ID is another now; how many more
// did so than were named; how many objects of the last list this one lacks (`counted`:
// "pools" or "volumes").
void warnIdChanged(const char* word, const char* name, const GUID* old, const GUID* now);
void warnMoreIdsChanged(const char* counted, uint32_t count);
void warnObjectsGone(const char* counted, uint32_t count);

// A line on standard error that tells how far a long run is, while standard error is a
// terminal: "korvane: ROAD KIND: N of M", written over itself at most four times a second,
// never on standard output or in the system log. Every other line on standard error is
// written after the line is blanked, and so is every message on standard output when
// that is a terminal too: the caller keeps standard output fully buffered then, so that
// stepProgress finds there what was printed since the last step.
// True when standard error is a terminal: only then is counting the objects worth it.
bool progressWanted();
// A run of `total` objects begins (`road` "get", "put" or "diff", `kind` "pool" or
// "volume"). Nothing is shown when standard error is no terminal.
void startProgress(const char* road, const char* kind, uint32_t total);
// `done` objects are through: the line is drawn when a quarter of a second has passed
// since it was last drawn (at once for the first object).
void stepProgress(uint32_t done);
// Blanks the line, if it shows, until the next step draws it again.
void blankProgress();
// The run is over, however it ended: the line is blanked for good.
void endProgress();

// The list file as the command line gives it, and by its absolute path: noted once before
// the run reads or writes it.
void nameListFile(const char* path, const char* absolute);
// What the system log calls the file at `path`: the absolute path noted for it, else `path`.
const char* loggedName(const char* path);
// A pair of the list file at `line` carries no check while another pair does; past the
// first ones named, the number of the others.
void explainUncheckedPair(uint32_t line, const char* word, const char* name);
void explainMoreUncheckedPairs(uint32_t count);
// An object that put does not change could not be read (the status of the failed request),
// so no ID of the list was compared with its own.
void explainNotCompared(const char* word, const char* name, uint32_t status);
// A stopped put's way back, as standard error and the system log's stop line say it: the
// undo list's path, the kind ("pool" or "volume"), the path again.
inline constexpr char UNDO_LIST_FORMAT[] =
    "the IDs from before this put are in \"%s\"; korvane put %s %s puts them back";
void explainUndoList(const char* kind, const char* undo);

// A get's failure: printed on standard output like any message (`line` ends in a line
// feed) and, the first of the run, kept for the system log.
void printFailureLine(const char* line);
// The kept line without its line feed, "" when none was printed.
const char* firstFailureLine();

// The system log (ident korvane, the process ID, the authentication facility). `kind` is
// "pool" or "volume", `word` "Pool" or "Volume"; `path` is named as loggedName names it.

// One changed ID of a put; only the first CHANGES_LOGGED of a run get a line each.
inline constexpr uint32_t CHANGES_LOGGED = 1000;
void logChange(const char* kind, const char* name, const GUID* old, const GUID* now);
// A put that walked its whole list; a put that stopped (the counts of its stop line).
// A put's closing line, in the system log and on standard error alike: the kind ("pool" or
// "volume"), the list file as the log names it, the counts.
inline constexpr char PUT_DONE_FORMAT[] =
    "put %s from \"%s\": %u changed, %u already held their ID, %u inactive skipped";
void logPutDone(const char* kind, const char* path, uint32_t changed, uint32_t held,
                uint32_t inactive);
// The same line on standard error, so that the administrator sees what the put did.
void explainPutDone(const char* kind, const char* path, uint32_t changed, uint32_t held,
                    uint32_t inactive);
// `undo`: where the IDs from before the put are, null when none were written.
void logPutStopped(const char* kind, const char* path, const char* word, const char* name,
                   uint32_t changed, uint32_t left, const char* undo);
// A warning of get (see warnIdChanged), at warning, worded as on standard error but
// without "korvane: ", as every line of the log is.
void logWarning(const char* line);
// A get that wrote its file; a get that failed, with the line that said why.
void logGetDone(const char* kind, const char* path, uint32_t saved, uint32_t unsaved);
void logGetFailed(const char* kind, const char* path, const char* failure);
