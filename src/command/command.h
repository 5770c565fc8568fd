// SPDX-License-Identifier: Apache-2.0
// Command front end: the pool and volume commands that main dispatches to.
#pragma once

#include <cstdint>

#include "workflows.h"

// How a command ended; the values are its exit statuses (-1 leaves the process as 255).
enum CommandResult : int {
    COMMAND_DONE = 0,
    COMMAND_PARTIAL = 1,  // get: the file lacks some active objects; diff: put would change IDs
    COMMAND_FAILED = -1
};

// The direction word of the command line, decided once: get, put or diff (any case).
enum Direction : int { DIRECTION_GET, DIRECTION_PUT, DIRECTION_DIFF, DIRECTION_UNKNOWN };

// Runs the get or put road for the kind and writes its closing line, or runs the diff
// road. get keeps up to `keep` earlier lists (0: none); put and diff take only the pairs
// `only` names (none: all); put writes its undo list to `undo` (null: the kind's own).
CommandResult runPoolCommand(Direction direction, const char* path, uint32_t keep,
                             const NameFilter_s& only, const char* undo);
CommandResult runVolumeCommand(Direction direction, const char* path, uint32_t keep,
                               const NameFilter_s& only, const char* undo);

// Refuses, with its message, a list file that is the admin device, one for get that is a
// block device, and with `keep` one that is not a regular file (standard output, a device,
// FIFO or socket). 0 or -1.
int checkListFile(Direction direction, const char* path, uint32_t keep);
// Refuses, with its message, an undo list that is not a regular file, or none yet: standard
// output, the admin device, any other device, a directory, FIFO or socket, or the run
// lock's file (taken already). 0 or -1.
int checkUndoFile(const char* path);
// Names the list file for the lines that say it; the system log names it by its absolute
// path, resolved once before the run, so that every line names the same file.
void noteListFile(const char* path);
